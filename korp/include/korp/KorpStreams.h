// Byte streams and string lists of the mail component.
//
// Text is 8-bit (Windows-1252) throughout; a std::string holds bytes, never UTF-8 by contract.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korp {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

/// Byte-stream base. The four virtual operations come in this order: SetSize, Read, Write,
/// Seek. The base supports none of them: each throws EStreamError "Invalid stream operation".
class TStream {
public:
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream() = default;

    virtual void SetSize(std::int64_t newSize);
    /// Reads up to count bytes; returns how many were read (0 at the end).
    virtual std::size_t Read(void* buffer, std::size_t count);
    /// Writes count bytes; returns how many were taken.
    virtual std::size_t Write(const void* buffer, std::size_t count);
    /// Moves the position; returns the new position from the start.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin);

    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
    std::int64_t Size();
    /// Read or Write that must move every byte; a short transfer throws EStreamError.
    void ReadBuffer(void* buffer, std::size_t count);
    void WriteBuffer(const void* buffer, std::size_t count);
    void WriteBuffer(std::string_view bytes) { WriteBuffer(bytes.data(), bytes.size()); }
    /// Copies count bytes from source's position; count 0 copies all of source from its start.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

/// A stream held in memory. Seeking past the end is allowed; a later write fills the gap with 0.
class TMemoryStream : public TStream {
public:
    void SetSize(std::int64_t newSize) override;
    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    void Clear();
    /// Makes room for bytes in all, so that writes up to that size do not move the content.
    void Reserve(std::size_t bytes) { data_.reserve(bytes); }
    const char* Memory() const { return data_.data(); }
    /// The whole content, independent of the position.
    std::string_view Bytes() const { return data_; }
    /// Replaces the content by all of source (from its start); the position goes to 0.
    void LoadFromStream(TStream& source);
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

private:
    std::string data_;
    std::size_t pos_ = 0;
};

enum class TFileMode {
    fmCreate,       ///< create or truncate, read and write
    fmOpenRead,     ///< existing file, read only
    fmOpenReadWrite ///< existing file, read and write
};

/// A stream over a file on disk, buffered. Opening failures throw EStreamError naming the file.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, TFileMode mode);
    ~TFileStream() override;

    void SetSize(std::int64_t newSize) override;
    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    const std::string& FileName() const { return fileName_; }
    /// Closes the file; later operations throw EStreamError. Called by the destructor.
    void Close() noexcept;

protected:
    /// Takes over an open file (used for temporary files created with exclusive access).
    explicit TFileStream(std::pair<std::FILE*, std::string> openFile);

private:
    std::FILE* Handle();
    std::FILE* file_ = nullptr;
    std::string fileName_;
    bool lastWasWrite_ = false;
};

/// An ordered list of 8-bit lines. Its text form ends every line with CR LF; loading text splits
/// at CR LF, LF or CR (a final line end adds no empty line).
class TStringList {
public:
    std::size_t Count() const { return lines_.size(); }
    bool Empty() const { return lines_.empty(); }
    const std::string& operator[](std::size_t i) const { return lines_[i]; }
    std::string& operator[](std::size_t i) { return lines_[i]; }

    void Add(std::string line) { lines_.push_back(std::move(line)); }
    void Insert(std::size_t i, std::string line);
    void Delete(std::size_t i);
    void Clear() { lines_.clear(); }
    void Assign(const TStringList& other) { lines_ = other.lines_; }

    std::string Text() const;
    void SetText(std::string_view text);
    /// Appends the lines of text (split as SetText does).
    void AddText(std::string_view text);
    void LoadFromStream(TStream& stream);
    void LoadFromFile(const std::string& fileName);
    void SaveToStream(TStream& stream) const;

    /// The lines as views, valid while the list is left unchanged.
    std::vector<std::string_view> Views() const;
    std::vector<std::string>& Lines() { return lines_; }
    const std::vector<std::string>& Lines() const { return lines_; }
    auto begin() const { return lines_.begin(); }
    auto end() const { return lines_.end(); }

private:
    std::vector<std::string> lines_;
};

/// Where the lines of a text start, noted while the text arrives piece by piece, so that its
/// lines are known without a second pass over it: Lines(text) gives, as views into the whole
/// text, the lines TStringList::SetText(text) makes.
class TLineStarts {
public:
    /// Notes the next piece of the text.
    void Add(std::string_view piece);
    /// The lines of text, which must be the pieces given to Add, joined.
    std::vector<std::string_view> Lines(std::string_view text) const;

private:
    static constexpr std::size_t kOpen = static_cast<std::size_t>(-1); // no line end yet
    struct Line {
        std::size_t start; // its first byte
        std::size_t end;   // its line end, or kOpen
    };
    std::vector<Line> lines_{{0, kOpen}};
    std::size_t size_ = 0; // bytes noted so far
    char last_ = 0;        // the last of them
};

} // namespace korp
