// Names and words compared as settings files, key names and protocols compare them: ASCII
// letters in any case, every other byte as it is. Not std::tolower, whose answer for the bytes
// of Windows-1252 letters depends on the locale the program runs in.
#pragma once

#include <algorithm>
#include <string_view>

namespace platform {

constexpr char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool SameAsciiText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

} // namespace platform
