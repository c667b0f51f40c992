#include "Text1252.h"

#include <encoding/Cp1252.h>
#include <encoding/Utf8.h>

namespace zq {

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
    if (const int byte = encoding::UnicodeToCp1252(cp, encoding::Undefined::AsReplacement);
        byte >= 0)
        return byte;
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

bool looksLikeUtf8(std::string_view text) {
    std::size_t valid = 0, invalid = 0;
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t len = encoding::DecodeUtf8(text, i, cp);
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
        std::size_t len = encoding::DecodeUtf8(text, i, cp);
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

} // namespace zq
