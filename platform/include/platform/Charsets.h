// Charsets as the system knows them: iconv on POSIX, the code pages and Unicode normalisation on
// Windows. For text in any charset mail may declare, on its way to Windows-1252.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Decodes text in the named charset (lower case, as mail declares it). Each character goes to
// character in order; a byte that starts no valid character goes to invalidByte as it is, and
// decoding goes on after it. False, with nothing passed on, when the system does not know the
// charset.
bool DecodeCharset(std::string_view text, const std::string& charset,
                   const std::function<void(char32_t)>& character,
                   const std::function<void(char)>& invalidByte);

// The closest Windows-1252 text for a character the code page lacks (ligatures split, accents
// dropped), as the system transliterates; empty or "?" when it knows none.
std::string TransliterateToCp1252(char32_t cp);

} // namespace platform
