// Character classes and conversions for Windows-1252 text, the only encoding inside zq.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace zq {

inline unsigned char uc(char c) {
    return static_cast<unsigned char>(c);
}
inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(char c);
inline bool isAlnum(char c) {
    return isDigit(c) || isLetter(c);
}
inline bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool isUpper(char c);
char toLower(char c);
char toUpper(char c);
std::string lower(std::string_view s);
bool equalsNoCase(std::string_view a, std::string_view b);
bool startsWithNoCase(std::string_view s, std::string_view prefix);
bool endsWithNoCase(std::string_view s, std::string_view suffix);
std::string_view trim(std::string_view s);

// Joins pieces of text. Also keeps clear of `"text" + std::string(...)`, which g++ 12 at -O3
// wrongly reports as an overlapping copy.
template <class... Pieces> std::string cat(const Pieces&... pieces) {
    std::string out;
    (out.append(pieces), ...);
    return out;
}

// Entries of a list by their first letter, any case, so that testing text against a long list of
// words or phrases compares only those that can match.
class FirstLetterIndex {
public:
    // entries must outlive the index; their order is kept within a letter
    void build(const std::vector<std::string>& entries) {
        for (auto& bucket : buckets_)
            bucket.clear();
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (!entries[i].empty()) buckets_[uc(toLower(entries[i][0]))].push_back(i);
    }
    // Indexes of the entries that start with the first letter of text, in their order.
    const std::vector<std::size_t>& candidates(std::string_view text) const {
        static const std::vector<std::size_t> none;
        return text.empty() ? none : buckets_[uc(toLower(text[0]))];
    }

private:
    std::array<std::vector<std::size_t>, 256> buckets_;
};

// Splits at LF, CR LF or CR; the line breaks are not kept.
std::vector<std::string> splitLines(std::string_view text);
// Joins lines with CR LF between them (none after the last).
std::string joinLines(const std::vector<std::string>& lines);

// The Windows-1252 byte for a Unicode code point: -1 when there is none, 0 when the code point
// is invisible (zero-width, byte-order mark) and should vanish; other spaces map to ' '.
int cp1252FromCodePoint(char32_t cp);
// True when text holds UTF-8 multi-byte sequences and few bytes that are not UTF-8.
bool looksLikeUtf8(std::string_view text);
// Converts UTF-8 to Windows-1252; characters without a 1252 form are dropped (an emoji or a
// Chinese character cannot be spoken by a Dutch voice anyway); bytes that are not UTF-8 stay.
std::string utf8ToCp1252(std::string_view text);

} // namespace zq
