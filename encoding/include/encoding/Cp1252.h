// Windows-1252, the code page brevon keeps all its text in: one table, decoding and encoding.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include <encoding/Utf8.h>

namespace encoding {

// The characters of the bytes 0x80..0x9F; every other byte is the Latin-1 character of the same
// value. The code page leaves five of these bytes undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D); they
// stand for the C1 controls of the same value, as Windows converts them, so every byte has a
// character and converts back unchanged.
inline constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

constexpr bool IsCp1252Undefined(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 && kCp1252High[byte - 0x80] == byte;
}

// How a caller shows the five undefined bytes.
enum class Undefined {
    // As their C1 controls, both ways: exact, for text that must come back as it was (the
    // settings, the shell's widgets).
    AsControls,
    // Decoded as U+FFFD, and the C1 controls have no byte: for text that is read or heard,
    // in which those bytes carry nothing.
    AsReplacement,
};

constexpr char32_t Cp1252ToUnicode(unsigned char byte,
                                   Undefined undefined = Undefined::AsControls) {
    if (byte < 0x80 || byte >= 0xA0) return byte;
    if (undefined == Undefined::AsReplacement && IsCp1252Undefined(byte)) return 0xFFFD;
    return kCp1252High[byte - 0x80];
}

// The byte of a character; -1 when the code page has none for it.
constexpr int UnicodeToCp1252(char32_t cp, Undefined undefined = Undefined::AsControls) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] != cp) continue;
        const auto byte = static_cast<unsigned char>(0x80 + i);
        return undefined == Undefined::AsReplacement && IsCp1252Undefined(byte) ? -1 : byte;
    }
    return -1;
}

inline std::string Cp1252ToUtf8(std::string_view text,
                                Undefined undefined = Undefined::AsControls) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (const char c : text)
        AppendUtf8(out, Cp1252ToUnicode(static_cast<unsigned char>(c), undefined));
    return out;
}

} // namespace encoding
