// A case of the mail corpus (tests/data/zq/corpus): a mail body and what a listener must and must
// not hear of it. A case file is UTF-8:
//
//   # what the body is, in a comment
//   skip-quoted: yes          the reader's "skip replies" setting (default no)
//   charset: utf-8            hand the body over as UTF-8, undeclared (default Windows-1252)
//   hear: Met vriendelijke groet
//   silent: 020 123 4567
//   ====
//   the body, to the end of the file
//
// "hear" text must be in what the three engines make of the body; "silent" text must be neither
// there nor in what Schoonmaken alone makes of it (before numbers become words). Both compare
// without regard to case and to how lines are broken.
#pragma once

#include <cstddef>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zqcorpus {

struct Case {
    std::string body; // as handed to the engines
    bool skipQuoted = false;
    std::vector<std::string> hear, silent; // Windows-1252
};

// UTF-8 to Windows-1252, enough for Dutch text: Latin-1 and the characters of 0x80..0x9F.
inline std::string toCp1252(std::string_view utf8) {
    static const char32_t high[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        std::size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        if (i + len > utf8.size()) len = 1;
        char32_t cp = len == 1 ? b : b & (0xFF >> (len + 1));
        for (std::size_t k = 1; k < len; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += len;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        for (int k = 0; k < 32; ++k)
            if (high[k] == cp) out += static_cast<char>(0x80 + k);
    }
    return out;
}

// Lower case with blanks squeezed, for comparing what is heard.
inline std::string normalized(std::string_view cp1252) {
    std::string out;
    for (char c : cp1252) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u == ' ' || u == '\t' || u == '\r' || u == '\n') {
            if (!out.empty() && out.back() != ' ') out += ' ';
            continue;
        }
        if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) u += 0x20;
        out += static_cast<char>(u);
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

inline bool hears(std::string_view text, std::string_view phrase) {
    return normalized(text).find(normalized(phrase)) != std::string::npos;
}

// Reads a case; nullopt with a reason in error when the file is not one.
inline std::optional<Case> parse(std::string_view text, std::string& error) {
    Case c;
    bool utf8 = false;
    std::size_t pos = 0;
    for (;;) {
        if (pos >= text.size()) {
            error = "no \"====\" line before the body";
            return std::nullopt;
        }
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line == "====") break;
        if (line.empty() || line.front() == '#') continue;
        const std::size_t colon = line.find(": ");
        const std::string_view key = line.substr(0, colon);
        const std::string_view value =
            colon == std::string_view::npos ? "" : line.substr(colon + 2);
        if (key == "skip-quoted" && (value == "yes" || value == "no")) {
            c.skipQuoted = value == "yes";
        } else if (key == "charset" && (value == "utf-8" || value == "windows-1252")) {
            utf8 = value == "utf-8";
        } else if (key == "hear" && !value.empty()) {
            c.hear.push_back(toCp1252(value));
        } else if (key == "silent" && !value.empty()) {
            c.silent.push_back(toCp1252(value));
        } else {
            error = "unknown line: " + std::string(line);
            return std::nullopt;
        }
    }
    // mail has CR LF line ends
    std::string body;
    for (char ch : text.substr(pos)) {
        if (ch == '\r') continue;
        if (ch == '\n') body += '\r';
        body += ch;
    }
    c.body = utf8 ? body : toCp1252(body);
    if (c.hear.empty()) {
        error = "no \"hear\" line";
        return std::nullopt;
    }
    return c;
}

// A whole file as it is on disk, or nothing with error set.
inline std::optional<std::string> readFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::optional<Case> load(const std::string& path, std::string& error) {
    const std::optional<std::string> text = readFile(path, error);
    if (!text) return std::nullopt;
    return parse(*text, error);
}

} // namespace zqcorpus
