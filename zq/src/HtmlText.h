// Turns HTML mail source into plain text lines: markup, scripts, styles, comments and text hidden
// from view go, entities are decoded, block elements become line breaks, and the lines of a
// <blockquote> get a "> " per level so that quoted replies look as they do in plain mail. Each
// line keeps what its look says about it: small print, links.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zq {

// How a line of an HTML part looks.
struct LineLook {
    // Most of its letters in small print: a tiny or grey font, or an element marked as a footer.
    bool smallPrint = false;
    std::size_t links = 0; // links to the web with text on the line
    std::string targets;   // where those links go, in lower case, each followed by a blank
};

struct HtmlLine {
    std::string text; // with "> " per blockquote level
    LineLook look;
};

class HtmlText {
public:
    // True when a line opens HTML: a doctype, a comment or the tag of an HTML element at its start.
    static bool startsHtml(std::string_view line);
    // The text lines of HTML source; an empty line between paragraphs.
    static std::vector<HtmlLine> toLines(std::string_view html);
    // Decodes "&eacute;", "&#233;" or "&#xE9;" at html[i] ('&'), also without the ';' where a
    // browser reads it so; returns the length used (0 when it is no entity) and appends the
    // Windows-1252 text to out. An entity of a symbol without a Windows-1252 form is used up and
    // gives nothing.
    static std::size_t decodeEntity(std::string_view html, std::size_t i, std::string& out);
};

} // namespace zq
