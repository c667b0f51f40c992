// Turns HTML mail source into plain text lines: markup, scripts, styles, comments and text hidden
// from view go, entities are decoded, block elements become line breaks, and the lines of a
// <blockquote> get a "> " per level so that quoted replies look as they do in plain mail.
#pragma once

#include <string>
#include <string_view>

namespace zq {

class HtmlText {
public:
    // True when a line opens HTML: a doctype, a comment or the tag of an HTML element at its start.
    static bool startsHtml(std::string_view line);
    static std::string toText(std::string_view html);
    // Decodes "&eacute;", "&#233;" or "&#xE9;" at html[i] ('&'), also without the ';' where a
    // browser reads it so; returns the length used (0 when it is no entity) and appends the
    // Windows-1252 text to out. An entity of a symbol without a Windows-1252 form is used up and
    // gives nothing.
    static std::size_t decodeEntity(std::string_view html, std::size_t i, std::string& out);
};

} // namespace zq
