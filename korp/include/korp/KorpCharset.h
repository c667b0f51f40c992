// Conversion of declared mail character sets to brevon's 8-bit code page, Windows-1252.
//
// Mail today is mostly UTF-8, while the speech engine, the language gate and the text
// preprocessor all take Windows-1252. Text parts and encoded header words that declare another
// charset are therefore converted; attachments never are.
#pragma once

#include <string>
#include <string_view>

namespace korp {

/// True when text in this charset needs no conversion: no charset at all, US-ASCII,
/// ISO-8859-1 or Windows-1252 (names compared without case, common aliases included).
bool IsWindows1252Compatible(std::string_view charset);

/// Converts text declared in charset to Windows-1252 with the C library's iconv.
/// Characters without a place there are transliterated ("€" stays, curly quotes become straight
/// ones, other characters their closest ASCII, "?" when there is none); bytes that are invalid in
/// the declared charset are kept as they are. An unknown or compatible charset returns the text
/// unchanged.
std::string ConvertToWindows1252(std::string_view text, std::string_view charset);

/// A header value with 8-bit bytes declares no charset. When those bytes form valid UTF-8 (as
/// mailers that write raw UTF-8 headers send them) the value is converted from UTF-8; otherwise,
/// or when it is plain ASCII, it is returned unchanged.
std::string RawHeaderToWindows1252(std::string_view value);

/// The charset parameter of a Content-Type header line ("text/plain; charset=UTF-8" gives
/// "UTF-8"), or empty.
std::string CharsetOfContentType(std::string_view contentTypeLine);

} // namespace korp
