#include <korp/KorpStreams.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <korp/KorpErrors.h>
#include <platform/LargeFiles.h>

namespace korp {

namespace {

constexpr const char* kInvalidOperation = "Invalid stream operation";

[[noreturn]] void FileError(const char* what, const std::string& fileName) {
    throw EStreamError(std::string(what) + " \"" + fileName + "\". " + std::strerror(errno));
}

} // namespace

// ---- TStream ----

void TStream::SetSize(std::int64_t) {
    throw EStreamError(kInvalidOperation);
}
std::size_t TStream::Read(void*, std::size_t) {
    throw EStreamError(kInvalidOperation);
}
std::size_t TStream::Write(const void*, std::size_t) {
    throw EStreamError(kInvalidOperation);
}
std::int64_t TStream::Seek(std::int64_t, TSeekOrigin) {
    throw EStreamError(kInvalidOperation);
}

std::int64_t TStream::Size() {
    const std::int64_t pos = Seek(0, TSeekOrigin::soCurrent);
    const std::int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(pos, TSeekOrigin::soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, std::size_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EStreamError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::int64_t>(count, 1 << 16)));
    std::int64_t left = count;
    while (left > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(left, buffer.size()));
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        left -= static_cast<std::int64_t>(n);
    }
    return count;
}

// ---- TMemoryStream ----

void TMemoryStream::SetSize(std::int64_t newSize) {
    if (newSize < 0) throw EStreamError(kInvalidOperation);
    data_.resize(static_cast<std::size_t>(newSize));
    pos_ = std::min(pos_, data_.size());
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (pos_ >= data_.size()) return 0;
    const std::size_t n = std::min(count, data_.size() - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0) return 0;
    if (pos_ == data_.size()) {
        data_.append(static_cast<const char*>(buffer), count);
    } else {
        if (pos_ + count > data_.size()) data_.resize(pos_ + count);
        std::memcpy(data_.data() + pos_, buffer, count);
    }
    pos_ += count;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent) base = static_cast<std::int64_t>(pos_);
    if (origin == TSeekOrigin::soEnd) base = static_cast<std::int64_t>(data_.size());
    const std::int64_t target = base + offset;
    if (target < 0) throw EStreamError(kInvalidOperation);
    pos_ = static_cast<std::size_t>(target);
    return target;
}

void TMemoryStream::Clear() {
    data_.clear();
    data_.shrink_to_fit();
    pos_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    const std::int64_t size = source.Size();
    std::string data(static_cast<std::size_t>(size), '\0');
    source.ReadBuffer(data.data(), data.size());
    data_.swap(data);
    pos_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, TFileMode::fmOpenRead);
    LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
    TFileStream file(fileName, TFileMode::fmCreate);
    file.WriteBuffer(data_);
}

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : fileName_(fileName) {
    const char* how = mode == TFileMode::fmCreate     ? "w+b"
                      : mode == TFileMode::fmOpenRead ? "rb"
                                                      : "r+b";
    file_ = std::fopen(fileName.c_str(), how);
    if (file_ == nullptr)
        FileError(mode == TFileMode::fmCreate ? "Cannot create file" : "Cannot open file",
                  fileName);
    // Decoders write a few bytes at a time; a large buffer keeps that cheap.
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

TFileStream::TFileStream(std::pair<std::FILE*, std::string> openFile)
    : file_(openFile.first), fileName_(std::move(openFile.second)) {
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

TFileStream::~TFileStream() {
    Close();
}

void TFileStream::Close() noexcept {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

std::FILE* TFileStream::Handle() {
    if (file_ == nullptr) throw EStreamError(kInvalidOperation);
    return file_;
}

void TFileStream::SetSize(std::int64_t newSize) {
    std::FILE* f = Handle();
    if (newSize < 0 || std::fflush(f) != 0 || platform::TruncateFile(f, newSize) != 0)
        FileError("Cannot resize file", fileName_);
    if (platform::TellFile(f) > newSize) platform::SeekFile(f, newSize, SEEK_SET);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
    std::FILE* f = Handle();
    // C streams need a positioning call between a write and a read.
    if (lastWasWrite_) platform::SeekFile(f, 0, SEEK_CUR);
    lastWasWrite_ = false;
    const std::size_t n = std::fread(buffer, 1, count, f);
    if (n < count && std::ferror(f)) FileError("Cannot read file", fileName_);
    return n;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
    std::FILE* f = Handle();
    if (!lastWasWrite_) platform::SeekFile(f, 0, SEEK_CUR);
    lastWasWrite_ = true;
    const std::size_t n = std::fwrite(buffer, 1, count, f);
    if (n < count) FileError("Cannot write file", fileName_);
    return n;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::FILE* f = Handle();
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                       : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                          : SEEK_END;
    if (!(origin == TSeekOrigin::soCurrent && offset == 0) &&
        platform::SeekFile(f, offset, whence) != 0)
        throw EStreamError(kInvalidOperation);
    return platform::TellFile(f);
}

// ---- TStringList ----

std::vector<std::string_view> TStringList::Views() const {
    return {lines_.begin(), lines_.end()};
}

void TStringList::Insert(std::size_t i, std::string line) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(std::min(i, lines_.size())),
                  std::move(line));
}

void TStringList::Delete(std::size_t i) {
    if (i < lines_.size()) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
}

std::string TStringList::Text() const {
    std::size_t size = 0;
    for (const auto& line : lines_)
        size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const auto& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void TStringList::SetText(std::string_view text) {
    lines_.clear();
    AddText(text);
}

namespace {

// The first CR or LF in [p, end), or end. Sixteen bytes at a time where the processor allows:
// a message is mostly lines of some tens of bytes, and one pass finds both kinds of line end.
const char* FindLineEnd(const char* p, const char* const end) {
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int found =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)));
        if (found != 0) return p + __builtin_ctz(static_cast<unsigned>(found));
    }
#endif
    while (p < end && *p != '\r' && *p != '\n')
        ++p;
    return p;
}

// Calls take(line) for each line of text, ended by CR LF, LF or CR; a final line end adds no
// empty line.
template <typename Take> void ForEachLine(std::string_view text, Take&& take) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* const stop = FindLineEnd(p, end);
        take(std::string_view(p, static_cast<std::size_t>(stop - p)));
        if (stop == end) break;
        p = stop + 1;
        if (*stop == '\r' && p < end && *p == '\n') ++p; // CR LF
    }
}

} // namespace

void TLineStarts::Add(std::string_view piece) {
    const char* const begin = piece.data();
    const char* const end = begin + piece.size();
    for (const char* p = FindLineEnd(begin, end); p < end; p = FindLineEnd(p + 1, end)) {
        const std::size_t at = size_ + static_cast<std::size_t>(p - begin);
        // An LF right after a CR ends the line the CR ended: the next one starts after both.
        const char before = p > begin ? p[-1] : last_;
        if (*p == '\n' && before == '\r') {
            lines_.back().start = at + 1;
        } else {
            lines_.back().end = at;
            lines_.push_back({at + 1, kOpen});
        }
    }
    if (!piece.empty()) last_ = piece.back();
    size_ += piece.size();
}

std::vector<std::string_view> TLineStarts::Lines(std::string_view text) const {
    std::vector<std::string_view> lines;
    lines.reserve(lines_.size());
    for (const Line& line : lines_) {
        if (line.start >= text.size()) break; // after a final line end: no line
        const std::size_t stop = std::min(line.end, text.size());
        lines.emplace_back(text.data() + line.start, stop - line.start);
    }
    return lines;
}

void TStringList::AddText(std::string_view text) {
    ForEachLine(text, [&](std::string_view line) { lines_.emplace_back(line); });
}

void TStringList::LoadFromStream(TStream& stream) {
    // Read in chunks so that a large message is never held twice (as text and as lines).
    lines_.clear();
    std::string text;
    std::vector<char> chunk(1 << 20);
    for (;;) {
        const std::size_t n = stream.Read(chunk.data(), chunk.size());
        if (n == 0) break;
        // What is held from before has no line end but perhaps a CR at its very end: only the
        // new bytes (and that CR) need looking at, so a line of many megabytes stays linear.
        const std::size_t from = text.empty() ? 0 : text.size() - 1;
        text.append(chunk.data(), n);
        // Split up to the last line end whose kind is known: an LF, or a CR with something after
        // it (a CR at the very end may be the first half of CR LF).
        std::size_t cut = std::string::npos;
        for (std::size_t i = text.size(); i-- > from;) {
            if (text[i] == '\n' || (text[i] == '\r' && i + 1 < text.size())) {
                cut = i;
                break;
            }
        }
        if (cut == std::string::npos) continue;
        AddText(std::string_view(text).substr(0, cut + 1));
        text.erase(0, cut + 1);
    }
    AddText(text);
}

void TStringList::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, TFileMode::fmOpenRead);
    LoadFromStream(file);
}

void TStringList::SaveToStream(TStream& stream) const {
    stream.WriteBuffer(Text());
}

} // namespace korp
