#include "Cp1252.h"

#include <array>
#include <cstddef>

#include <QString>

namespace brevon {

namespace {

// 0x80 to 0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> kHighControls{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

int ByteFor(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == c) return static_cast<int>(0x80 + i);
    return -1;
}

} // namespace

std::string ToCp1252(const QString& text, bool* exact) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    bool allKept = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode()))
            ++i; // one character, one '?'
        const int byte = ByteFor(c);
        if (byte < 0) allKept = false;
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
    if (exact) *exact = allKept;
    return out;
}

QString FromCp1252(std::string_view text) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        out += QChar(byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t{byte});
    }
    return out;
}

} // namespace brevon
