// zk_cstring: the growable 8-bit string of morvik's base (configuration reader, file classes,
// exceptions). The buffer grows in steps of 32 bytes and never shrinks. Running out of memory
// throws OutOfMemory (a std::bad_alloc) and leaves the string as it was.
#pragma once

#include <cstddef>
#include <cstdint>

class zk_cstring {
public:
    zk_cstring();
    zk_cstring(const char* text); // NOLINT(google-explicit-constructor): used like a literal
    zk_cstring(const zk_cstring& other);
    zk_cstring(zk_cstring&& other) noexcept;
    ~zk_cstring();

    zk_cstring& operator=(const zk_cstring& other);
    zk_cstring& operator=(zk_cstring&& other) noexcept;
    zk_cstring& operator=(const char* text);

    zk_cstring& operator+=(const char* text);
    zk_cstring& operator+=(const zk_cstring& other);
    zk_cstring& operator+=(char c);

    friend zk_cstring operator+(const zk_cstring& a, const char* b);
    friend zk_cstring operator+(const zk_cstring& a, const zk_cstring& b);

    // The character at index; the terminating zero at index == length, 0 beyond.
    char operator[](std::size_t index) const;

    // Characters from..to, both included. Bad bounds print a message and give the empty string.
    zk_cstring subset(std::uint32_t from, std::uint32_t to) const;
    // Removes the last n characters; n >= length leaves the empty string.
    void Chop(std::uint32_t n);
    // ASCII A-Z to a-z in place; other bytes stay.
    void ToLower();
    // Ensures room for n characters plus the terminator (capacity a multiple of 32, > n).
    void Reserve(std::uint32_t n);

    const char* c_str() const { return buf_ != nullptr ? buf_ : ""; }
    std::uint32_t length() const { return len_; }
    std::uint32_t capacity() const { return cap_; }
    bool empty() const { return len_ == 0; }

    friend bool operator==(const zk_cstring& a, const zk_cstring& b);
    friend bool operator==(const zk_cstring& a, const char* b);

private:
    void append(const char* text, std::uint32_t n);
    void assign(const char* text, std::uint32_t n);

    char* buf_ = nullptr;
    std::uint32_t len_ = 0;
    std::uint32_t cap_ = 0;
};

// printf-style formatting into a zk_cstring of whatever length the result needs.
zk_cstring zk_format(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
