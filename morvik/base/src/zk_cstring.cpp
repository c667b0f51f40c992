#include <morvik/base/zk_cstring.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include <morvik/base/OutOfMemory.h>

namespace {

// Also for a length the 32-bit length cannot hold: there is no room for such a string either.
[[noreturn]] void NoMemory() {
    throw OutOfMemory("Not enough memory available for string");
}

std::uint32_t LengthOf(const char* text) {
    if (text == nullptr) return 0;
    std::size_t n = std::strlen(text);
    if (n > UINT32_MAX - 64) NoMemory();
    return static_cast<std::uint32_t>(n);
}

} // namespace

zk_cstring::zk_cstring() {
    Reserve(0);
}

zk_cstring::zk_cstring(const char* text) {
    assign(text, LengthOf(text));
}

zk_cstring::zk_cstring(const zk_cstring& other) {
    assign(other.buf_, other.len_);
}

zk_cstring::zk_cstring(zk_cstring&& other) noexcept
    : buf_(std::exchange(other.buf_, nullptr)), len_(std::exchange(other.len_, 0)),
      cap_(std::exchange(other.cap_, 0)) {}

zk_cstring::~zk_cstring() {
    std::free(buf_);
}

zk_cstring& zk_cstring::operator=(const zk_cstring& other) {
    if (this != &other) assign(other.buf_, other.len_);
    return *this;
}

zk_cstring& zk_cstring::operator=(zk_cstring&& other) noexcept {
    if (this != &other) {
        std::free(buf_);
        buf_ = std::exchange(other.buf_, nullptr);
        len_ = std::exchange(other.len_, 0);
        cap_ = std::exchange(other.cap_, 0);
    }
    return *this;
}

zk_cstring& zk_cstring::operator=(const char* text) {
    assign(text, LengthOf(text));
    return *this;
}

zk_cstring& zk_cstring::operator+=(const char* text) {
    append(text, LengthOf(text));
    return *this;
}

zk_cstring& zk_cstring::operator+=(const zk_cstring& other) {
    append(other.buf_, other.len_);
    return *this;
}

zk_cstring& zk_cstring::operator+=(char c) {
    if (c != '\0') append(&c, 1);
    return *this;
}

zk_cstring operator+(const zk_cstring& a, const char* b) {
    zk_cstring r(a);
    r += b;
    return r;
}

zk_cstring operator+(const zk_cstring& a, const zk_cstring& b) {
    zk_cstring r(a);
    r += b;
    return r;
}

char zk_cstring::operator[](std::size_t index) const {
    return index < len_ ? buf_[index] : '\0';
}

zk_cstring zk_cstring::subset(std::uint32_t from, std::uint32_t to) const {
    zk_cstring r;
    if (from > to || to >= len_) {
        std::fputs("Parameter error in zk_cstring::subset!\n", stderr);
        return r;
    }
    r.assign(buf_ + from, to - from + 1);
    return r;
}

void zk_cstring::Chop(std::uint32_t n) {
    if (buf_ == nullptr) Reserve(0);
    len_ = n >= len_ ? 0 : len_ - n;
    buf_[len_] = '\0';
}

void zk_cstring::ToLower() {
    for (std::uint32_t i = 0; i < len_; ++i) {
        if (buf_[i] >= 'A' && buf_[i] <= 'Z') buf_[i] = static_cast<char>(buf_[i] - 'A' + 'a');
    }
}

void zk_cstring::Reserve(std::uint32_t n) {
    if (n < cap_) return;
    if (n > UINT32_MAX - 64) NoMemory();
    std::uint32_t cap = (n + 32) / 32 * 32;
    // realloc keeps the old text; on large blocks it avoids copying, which keeps the
    // 32-byte growth steps affordable for long strings.
    char* grown = static_cast<char*>(std::realloc(buf_, cap));
    // A failed realloc leaves the old buffer as it was, and so the string.
    if (grown == nullptr) NoMemory();
    if (buf_ == nullptr) grown[0] = '\0';
    buf_ = grown;
    cap_ = cap;
}

void zk_cstring::append(const char* text, std::uint32_t n) {
    if (buf_ == nullptr) Reserve(0);
    if (n == 0) return;
    if (n > UINT32_MAX - 64 - len_) NoMemory();
    if (text >= buf_ && text < buf_ + cap_) {
        // Appending part of ourselves: the buffer may move while growing.
        zk_cstring copy;
        copy.assign(text, n);
        append(copy.buf_, n);
        return;
    }
    Reserve(len_ + n);
    std::memcpy(buf_ + len_, text, n);
    len_ += n;
    buf_[len_] = '\0';
}

void zk_cstring::assign(const char* text, std::uint32_t n) {
    if (buf_ != nullptr && text >= buf_ && text < buf_ + cap_) {
        std::memmove(buf_, text, n);
        len_ = n;
        buf_[len_] = '\0';
        return;
    }
    Reserve(n);
    if (n > 0) std::memcpy(buf_, text, n);
    len_ = n;
    buf_[len_] = '\0';
}

bool operator==(const zk_cstring& a, const zk_cstring& b) {
    return a.len_ == b.len_ && (a.len_ == 0 || std::memcmp(a.buf_, b.buf_, a.len_) == 0);
}

bool operator==(const zk_cstring& a, const char* b) {
    return std::strcmp(a.c_str(), b != nullptr ? b : "") == 0;
}

zk_cstring zk_format(const char* fmt, ...) {
    std::va_list args;
    va_start(args, fmt);
    std::va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    zk_cstring r;
    if (n > 0) {
        std::string text;
        try {
            text.resize(static_cast<std::size_t>(n));
        } catch (const std::bad_alloc&) {
            va_end(again);
            NoMemory();
        }
        // The terminator lands on the string's own.
        std::vsnprintf(text.data(), text.size() + 1, fmt, again);
        va_end(again);
        r = text.c_str();
        return r;
    }
    va_end(again);
    return r;
}
