// UTF-8 as RFC 3629 defines it: the shortest form only, no surrogates, nothing above U+10FFFF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace encoding {

// Appends the UTF-8 form of a character (a code point up to U+10FFFF).
inline void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The well-formed sequence that starts at text[at]: its length, with its character in cp. 0 when
// none starts there (an overlong form, a surrogate, a sequence cut short or broken); the caller
// decides what such a byte becomes.
constexpr std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t& cp) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const unsigned lead = byte(0);
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    // The range of the second byte narrows where the lead alone allows overlong forms,
    // surrogates or code points above U+10FFFF.
    std::size_t length = 0;
    unsigned lo = 0x80;
    unsigned hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) lo = 0xA0;
        if (lead == 0xED) hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) lo = 0x90;
        if (lead == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length || byte(1) < lo || byte(1) > hi) return 0;
    char32_t value = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
        value = (value << 6) | (byte(k) & 0x3F);
    }
    cp = value;
    return length;
}

} // namespace encoding
