#include "HtmlText.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "Text1252.h"

namespace zq {

namespace {

struct Entity {
    const char* name;
    char32_t cp;
};

// Latin-1 names in code point order from U+00A0.
constexpr std::array<const char*, 96> kLatin1 = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

constexpr std::array<Entity, 35> kOther = {{
    {"amp", '&'},       {"lt", '<'},        {"gt", '>'},        {"quot", '"'},
    {"apos", '\''},     {"euro", 0x20AC},   {"hellip", 0x2026}, {"ndash", 0x2013},
    {"mdash", 0x2014},  {"lsquo", 0x2018},  {"rsquo", 0x2019},  {"sbquo", 0x201A},
    {"ldquo", 0x201C},  {"rdquo", 0x201D},  {"bdquo", 0x201E},  {"bull", 0x2022},
    {"trade", 0x2122},  {"dagger", 0x2020}, {"Dagger", 0x2021}, {"permil", 0x2030},
    {"lsaquo", 0x2039}, {"rsaquo", 0x203A}, {"OElig", 0x0152},  {"oelig", 0x0153},
    {"Scaron", 0x0160}, {"scaron", 0x0161}, {"Yuml", 0x0178},   {"fnof", 0x0192},
    {"zwnj", 0x200C},   {"zwj", 0x200D},    {"thinsp", 0x2009}, {"ensp", 0x2002},
    {"emsp", 0x2003},   {"lrm", 0x200E},    {"rlm", 0x200F},
}};

constexpr std::array<const char*, 10> kSkipped = {
    "script", "style", "head", "title", "noscript", "template", "svg", "object", "xml", "iframe"};
constexpr std::array<const char*, 17> kLineBreaks = {
    "br",  "div", "tr",     "li",     "dt",      "dd",      "option", "center", "address",
    "pre", "hr",  "header", "footer", "section", "article", "form",   "figure"};
constexpr std::array<const char*, 13> kParagraphs = {
    "p", "h1", "h2", "h3", "h4", "h5", "h6", "table", "ul", "ol", "dl", "blockquote", "body"};
constexpr std::array<const char*, 16> kHtmlStarts = {
    "<!doctype", "<html", "<head", "<body", "<meta",  "<div",    "<p>",  "<p ",
    "<table",    "<span", "<font", "<br",   "<style", "<center", "<o:p", "<title"};

template <std::size_t N>
bool inList(const std::array<const char*, N>& list, std::string_view name) {
    for (const char* item : list)
        if (name == item) return true;
    return false;
}

// Quote markers a line gets at most. Deeper blockquotes read the same, and a line of "> " for
// every level would make blockquotes nested thousands deep take memory quadratic in their number.
constexpr int kMaxQuoteDepth = 20;

// Collects lines with their blockquote depth.
class LineBuilder {
public:
    void text(std::string_view s) {
        for (char c : s) {
            if (isSpace(c) || uc(c) == 0xA0) {
                pendingSpace_ = !current_.empty();
            } else {
                if (pendingSpace_) current_ += ' ';
                pendingSpace_ = false;
                if (current_.empty()) currentDepth_ = depth_;
                current_ += c;
            }
        }
    }
    void preText(std::string_view s) { // inside <pre>: line breaks count
        for (char c : s) {
            if (c == '\n') {
                lineBreak();
            } else if (c != '\r') {
                text(std::string_view(&c, 1));
            }
        }
    }
    void lineBreak() {
        if (!current_.empty()) lines_.emplace_back(currentDepth_, std::move(current_));
        current_.clear();
        pendingSpace_ = false;
    }
    void paragraphBreak() {
        lineBreak();
        if (!lines_.empty() && !lines_.back().second.empty()) lines_.emplace_back(depth_, "");
    }
    void space() { pendingSpace_ = !current_.empty(); }
    void listItem() { // a "- " bullet: voices pass over it and paragraph repair keeps the item
        lineBreak();
        currentDepth_ = depth_;
        current_.assign(1, '-');
        pendingSpace_ = true;
    }
    void enterQuote() {
        paragraphBreak();
        ++depth_;
    }
    void leaveQuote() {
        paragraphBreak();
        if (depth_ > 0) --depth_;
    }
    std::string result() {
        lineBreak();
        std::string out;
        for (const auto& [depth, line] : lines_) {
            for (int d = 0; d < std::min(depth, kMaxQuoteDepth); ++d)
                out += "> ";
            out += line;
            out += '\n';
        }
        return out;
    }

private:
    std::vector<std::pair<int, std::string>> lines_;
    std::string current_;
    int depth_ = 0;
    int currentDepth_ = 0;
    bool pendingSpace_ = false;
};

std::size_t findNoCase(std::string_view hay, std::string_view needle, std::size_t from) {
    if (needle.size() > hay.size()) return std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= hay.size(); ++i)
        if (equalsNoCase(hay.substr(i, needle.size()), needle)) return i;
    return std::string_view::npos;
}

// The first '>' at or after a position. The text is read front to back, so the positions asked
// for only grow and no part of it is searched twice: a '<' that no '>' follows would otherwise
// search on to the end, and a text of such '<' would take quadratic time.
class NextGt {
public:
    explicit NextGt(std::string_view html) : html_(html) {}
    std::size_t from(std::size_t i) {
        if (i < asked_ || (found_ != std::string_view::npos && i > found_))
            found_ = html_.find('>', i);
        asked_ = i;
        return found_;
    }

private:
    std::string_view html_;
    std::size_t asked_ = std::string_view::npos; // no '>' in [asked_, found_)
    std::size_t found_ = std::string_view::npos;
};

// Index after the '>' that closes the tag opened at i, quotes respected; npos when unclosed.
// A quote left open falls back to the first '>', so that no input makes the scan quadratic.
std::size_t tagEnd(std::string_view html, std::size_t i, NextGt& nextGt) {
    const std::size_t firstGt = nextGt.from(i + 1);
    if (firstGt == std::string_view::npos) return firstGt;
    if (html.substr(i, firstGt - i).find_first_of("\"'") == std::string_view::npos)
        return firstGt + 1;
    constexpr std::size_t kMaxQuotedTag = 4096;
    char quote = 0;
    for (std::size_t j = i + 1; j < html.size() && j - i < kMaxQuotedTag; ++j) {
        const char c = html[j];
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            // a quote only opens a value right after '='
            std::size_t k = j;
            while (k > i + 1 && isSpace(html[k - 1]))
                --k;
            if (html[k - 1] == '=') quote = c;
        } else if (c == '>') {
            return j + 1;
        }
    }
    return firstGt + 1;
}

} // namespace

bool HtmlText::startsHtml(std::string_view line) {
    line = trim(line);
    for (const char* start : kHtmlStarts)
        if (startsWithNoCase(line, start)) return true;
    return false;
}

std::size_t HtmlText::decodeEntity(std::string_view html, std::size_t i, std::string& out) {
    // the longest entity name is short: look no further, so a text full of '&' stays linear
    const std::size_t near = html.substr(i, 12).find(';');
    if (near == std::string_view::npos || near < 3) return 0;
    const std::size_t semi = i + near;
    const std::string_view body = html.substr(i + 1, semi - i - 1);
    char32_t cp = 0;
    bool found = false;
    if (body[0] == '#') {
        const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
        const std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty()) return 0;
        for (char c : digits) {
            int v = -1;
            if (isDigit(c)) v = c - '0';
            if (hex && c >= 'a' && c <= 'f') v = c - 'a' + 10;
            if (hex && c >= 'A' && c <= 'F') v = c - 'A' + 10;
            if (v < 0) return 0;
            cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(v);
            if (cp > 0x10FFFF) return 0;
        }
        // numeric references in 0x80..0x9F mean the Windows-1252 characters, as browsers read them
        if (cp >= 0x80 && cp <= 0x9F) {
            out += static_cast<char>(cp);
            return semi - i + 1;
        }
        found = true;
    } else {
        for (std::size_t k = 0; k < kLatin1.size() && !found; ++k)
            if (body == kLatin1[k]) cp = static_cast<char32_t>(0xA0 + k), found = true;
        for (const Entity& e : kOther)
            if (!found && body == e.name) cp = e.cp, found = true;
    }
    if (!found) return 0;
    if (cp == 0xA0) cp = ' ';
    if (cp == 0xAD) return semi - i + 1; // a soft hyphen is not spoken
    const int b = cp1252FromCodePoint(cp);
    if (b > 0) out += static_cast<char>(b);
    return semi - i + 1;
}

std::string HtmlText::toText(std::string_view html) {
    LineBuilder b;
    NextGt nextGt(html);
    int pre = 0;
    std::string run;
    auto flush = [&] {
        if (pre > 0)
            b.preText(run);
        else
            b.text(run);
        run.clear();
    };
    for (std::size_t i = 0; i < html.size();) {
        const char c = html[i];
        if (c == '&') {
            const std::size_t used = decodeEntity(html, i, run);
            if (used > 0) {
                i += used;
                continue;
            }
            run += c;
            ++i;
            continue;
        }
        if (c != '<') {
            run += c;
            ++i;
            continue;
        }
        const std::string_view rest = html.substr(i);
        if (rest.starts_with("<!--")) {
            const std::size_t e = html.find("-->", i + 4);
            i = e == std::string_view::npos ? html.size() : e + 3;
            continue;
        }
        if (rest.starts_with("<![CDATA[")) {
            const std::size_t e = html.find("]]>", i);
            i = e == std::string_view::npos ? html.size() : e + 3;
            continue;
        }
        const bool closing = rest.size() > 1 && rest[1] == '/';
        const std::size_t nameStart = i + (closing ? 2 : 1);
        std::size_t nameEnd = nameStart;
        // a tag name starts with a letter: "a <4 b> c" is text
        if (nameStart < html.size() && isLetter(html[nameStart]))
            while (nameEnd < html.size() && (isAlnum(html[nameEnd]) || html[nameEnd] == ':'))
                ++nameEnd;
        const bool declaration = rest.size() > 1 && (rest[1] == '!' || rest[1] == '?');
        if (nameEnd == nameStart && !declaration) { // a lone '<' in the text
            run += c;
            ++i;
            continue;
        }
        const std::size_t end = tagEnd(html, i, nextGt);
        if (end == std::string_view::npos) { // unclosed: treat as text rather than lose it all
            run += c;
            ++i;
            continue;
        }
        flush();
        const std::string name = lower(html.substr(nameStart, nameEnd - nameStart));
        i = end;
        if (declaration) continue;
        if (!closing && inList(kSkipped, name)) {
            const std::size_t close = findNoCase(html, cat("</", name), i);
            if (close == std::string_view::npos) {
                i = html.size();
            } else {
                const std::size_t closeEnd = tagEnd(html, close, nextGt);
                i = closeEnd == std::string_view::npos ? html.size() : closeEnd;
            }
            continue;
        }
        if (name == "blockquote") {
            closing ? b.leaveQuote() : b.enterQuote();
        } else if (name == "pre") {
            b.paragraphBreak();
            pre = closing ? (pre > 0 ? pre - 1 : 0) : pre + 1;
        } else if (name == "li" && !closing) {
            b.listItem();
        } else if (inList(kParagraphs, name)) {
            b.paragraphBreak();
        } else if (inList(kLineBreaks, name)) {
            b.lineBreak();
        } else if (name == "td" || name == "th") {
            b.space();
        }
    }
    flush();
    return b.result();
}

} // namespace zq
