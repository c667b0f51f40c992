#include "Text1252.h"

#include <array>

namespace zq {

namespace {

// Code points of 0x80..0x9F; 0 marks the five bytes 1252 leaves undefined.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

bool isLetter(char c) {
    const unsigned char u = uc(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z')) return true;
    if (u >= 0xC0) return u != 0xD7 && u != 0xF7;
    return u == 0x8A || u == 0x8C || u == 0x8E || u == 0x9A || u == 0x9C || u == 0x9E ||
           u == 0x9F || u == 0x83;
}

bool isUpper(char c) {
    const unsigned char u = uc(c);
    return (u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7) || u == 0x8A ||
           u == 0x8C || u == 0x8E || u == 0x9F;
}

char toLower(char c) {
    const unsigned char u = uc(c);
    if (u >= 'A' && u <= 'Z') return static_cast<char>(u + 32);
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char>(u + 32);
    if (u == 0x8A || u == 0x8C || u == 0x8E) return static_cast<char>(u + 16);
    if (u == 0x9F) return static_cast<char>(0xFF);
    return c;
}

char toUpper(char c) {
    const unsigned char u = uc(c);
    if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 32);
    if (u == 0x9A || u == 0x9C || u == 0x9E) return static_cast<char>(u - 16);
    if (u == 0xFF) return static_cast<char>(0x9F);
    return c;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = toLower(c);
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (toLower(a[i]) != toLower(b[i])) return false;
    return true;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && equalsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (isSpace(s.front()) || uc(s.front()) == 0xA0))
        s.remove_prefix(1);
    while (!s.empty() && (isSpace(s.back()) || uc(s.back()) == 0xA0))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(current));
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            current += c;
        }
    }
    if (!current.empty()) lines.push_back(std::move(current));
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += "\r\n";
        out += lines[i];
    }
    return out;
}

int cp1252FromCodePoint(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] != 0 && kHigh[i] == cp) return static_cast<int>(0x80 + i);
    if ((cp >= 0x2000 && cp <= 0x200A) || cp == 0x202F || cp == 0x205F || cp == 0x3000) return ' ';
    if ((cp >= 0x200B && cp <= 0x200F) || cp == 0x2060 || cp == 0xFEFF || cp == 0x00AD ||
        (cp >= 0xFE00 && cp <= 0xFE0F))
        return 0;
    switch (cp) {
    case 0x2010:
    case 0x2011:
    case 0x2012:
    case 0x2212:
        return '-';
    case 0x2015:
        return 0x97;
    case 0x2032:
        return '\'';
    case 0x2033:
        return '"';
    default:
        return -1;
    }
}

namespace {

// Decodes one UTF-8 sequence at text[i]; returns its length, 0 when invalid.
std::size_t decodeUtf8(std::string_view text, std::size_t i, char32_t& cp) {
    const unsigned char b0 = uc(text[i]);
    std::size_t len = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const unsigned char b = uc(text[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

} // namespace

bool looksLikeUtf8(std::string_view text) {
    std::size_t valid = 0, invalid = 0;
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t len = decodeUtf8(text, i, cp);
        if (len == 0) {
            ++invalid;
            ++i;
            continue;
        }
        valid += len > 1 ? 1 : 0;
        i += len;
    }
    // a stray Windows-1252 byte in an otherwise UTF-8 body (a pasted quote, a broken
    // signature) should not leave the rest unreadable
    return valid > invalid;
}

std::string utf8ToCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        std::size_t len = decodeUtf8(text, i, cp);
        if (len == 0) { // not UTF-8 after all: keep the byte as it is
            out += text[i++];
            continue;
        }
        i += len;
        const int b = cp1252FromCodePoint(cp);
        if (b > 0) out += static_cast<char>(b);
    }
    return out;
}

std::string cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        const unsigned char u = uc(c);
        char32_t cp = u;
        if (u >= 0x80 && u < 0xA0) cp = kHigh[u - 0x80] != 0 ? kHigh[u - 0x80] : 0xFFFD;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

} // namespace zq
