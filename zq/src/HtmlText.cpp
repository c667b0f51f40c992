#include "HtmlText.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include <encoding/HtmlEntities.h>

#include "Text1252.h"

namespace zq {

namespace {

struct Entity {
    const char* name;
    char32_t cp;
};

// The names read besides Latin-1's (encoding::kLatin1EntityNames): markup, the characters of
// Windows-1252's 0x80..0x9F, spaces and dashes, and a few of HTML 5's.
constexpr std::array<Entity, 62> kOther = {{
    {"amp", '&'},
    {"lt", '<'},
    {"gt", '>'},
    {"quot", '"'},
    {"apos", '\''},
    {"euro", 0x20AC},
    {"hellip", 0x2026},
    {"ndash", 0x2013},
    {"mdash", 0x2014},
    {"lsquo", 0x2018},
    {"rsquo", 0x2019},
    {"sbquo", 0x201A},
    {"ldquo", 0x201C},
    {"rdquo", 0x201D},
    {"bdquo", 0x201E},
    {"bull", 0x2022},
    {"trade", 0x2122},
    {"dagger", 0x2020},
    {"Dagger", 0x2021},
    {"permil", 0x2030},
    {"lsaquo", 0x2039},
    {"rsaquo", 0x203A},
    {"OElig", 0x0152},
    {"oelig", 0x0153},
    {"Scaron", 0x0160},
    {"scaron", 0x0161},
    {"Yuml", 0x0178},
    {"fnof", 0x0192},
    {"zwnj", 0x200C},
    {"zwj", 0x200D},
    {"thinsp", 0x2009},
    {"ensp", 0x2002},
    {"emsp", 0x2003},
    {"lrm", 0x200E},
    {"rlm", 0x200F},
    {"circ", 0x02C6},
    {"tilde", 0x02DC},
    {"Zcaron", 0x017D},
    {"zcaron", 0x017E},
    {"minus", 0x2212},
    {"hyphen", 0x2010},
    {"dash", 0x2010},
    {"prime", 0x2032},
    {"Prime", 0x2033},
    {"bullet", 0x2022},
    {"hairsp", 0x200A},
    {"numsp", 0x2007},
    {"puncsp", 0x2008},
    {"emsp13", 0x2004},
    {"emsp14", 0x2005},
    {"nbsp", 0x00A0},
    {"NewLine", '\n'},
    {"Tab", '\t'},
    {"ZeroWidthSpace", 0x200B},
    {"NonBreakingSpace", 0x00A0},
    {"AMP", '&'},
    {"LT", '<'},
    {"GT", '>'},
    {"QUOT", '"'},
    {"COPY", 0x00A9},
    {"REG", 0x00AE},
    {"shy", 0x00AD},
}};

// The names a browser also reads without ';': those of the first HTML versions.
constexpr std::array<const char*, 10> kLegacyOther = {"amp", "lt", "gt",   "quot", "AMP",
                                                      "LT",  "GT", "QUOT", "COPY", "REG"};
// Entity names are short; a longer run of letters after '&' is a word.
constexpr std::size_t kMaxEntityName = 32;

constexpr std::array<const char*, 10> kSkipped = {
    "script", "style", "head", "title", "noscript", "template", "svg", "object", "xml", "iframe"};
constexpr std::array<const char*, 17> kLineBreaks = {
    "br",  "div", "tr",     "li",     "dt",      "dd",      "option", "center", "address",
    "pre", "hr",  "header", "footer", "section", "article", "form",   "figure"};
constexpr std::array<const char*, 13> kParagraphs = {
    "p", "h1", "h2", "h3", "h4", "h5", "h6", "table", "ul", "ol", "dl", "blockquote", "body"};
// Element names that open HTML when a line starts with one of their tags: a part may begin
// with any of them, not only with <html> or <div>.
constexpr std::array<const char*, 92> kElements = {
    "a",      "abbr",   "address", "area",       "article",  "aside",    "b",          "base",
    "bdi",    "bdo",    "big",     "blockquote", "body",     "br",       "button",     "caption",
    "center", "cite",   "code",    "col",        "colgroup", "dd",       "del",        "details",
    "dfn",    "div",    "dl",      "dt",         "em",       "fieldset", "figcaption", "figure",
    "font",   "footer", "form",    "h1",         "h2",       "h3",       "h4",         "h5",
    "h6",     "head",   "header",  "hr",         "html",     "i",        "iframe",     "img",
    "input",  "ins",    "kbd",     "label",      "legend",   "li",       "link",       "main",
    "map",    "mark",   "meta",    "nav",        "noscript", "o:p",      "ol",         "optgroup",
    "option", "p",      "picture", "pre",        "q",        "s",        "section",    "small",
    "source", "span",   "strike",  "strong",     "style",    "sub",      "summary",    "sup",
    "svg",    "table",  "tbody",   "td",         "tfoot",    "th",       "thead",      "title",
    "tr",     "u",      "ul",      "xml"};

// Elements without content: no closing tag ends them.
constexpr std::array<const char*, 14> kVoid = {"area",  "base",   "br",    "col",  "embed",
                                               "hr",    "img",    "input", "link", "meta",
                                               "param", "source", "track", "wbr"};
// Opening one of these ends an open <p>, as in a browser.
constexpr std::array<const char*, 24> kClosesParagraph = {
    "address",  "article", "aside",  "blockquote", "center", "details", "div",     "dl",
    "fieldset", "figure",  "footer", "form",       "h1",     "h2",      "h3",      "h4",
    "h5",       "h6",      "header", "hr",         "ol",     "p",       "section", "ul"};

template <std::size_t N>
bool inList(const std::array<const char*, N>& list, std::string_view name) {
    for (const char* item : list)
        if (name == item) return true;
    return false;
}

// Quote markers a line gets at most. Deeper blockquotes read the same, and a line of "> " for
// every level would make blockquotes nested thousands deep take memory quadratic in their number.
constexpr int kMaxQuoteDepth = 20;

// How text shows where it stands in the source.
struct Print {
    bool small = false, grey = false, footer = false;
    std::size_t link = 0; // the link it is in, counted from 1; 0 when in none
};

// Collects lines with their blockquote depth and their look. The text added goes in the print
// last set; a link's target goes with the first line that holds text of it.
class LineBuilder {
public:
    explicit LineBuilder(const std::vector<std::string>& linkTargets) : targets_(linkTargets) {}

    void setPrint(const Print& print) { print_ = print; }
    void text(std::string_view s) {
        for (char c : s) {
            if (isSpace(c) || uc(c) == 0xA0) {
                pendingSpace_ = !current_.empty();
                continue;
            }
            if (pendingSpace_) current_ += ' ';
            pendingSpace_ = false;
            if (current_.empty()) currentDepth_ = depth_;
            current_ += c;
            if (isAlnum(c)) {
                ++letters_;
                if (print_.small || print_.grey || print_.footer) ++smallLetters_;
            }
            if (print_.link != 0 && print_.link != lastLink_) {
                ++look_.links;
                lastLink_ = print_.link;
                if (print_.link > targeted_ && print_.link <= targets_.size()) {
                    look_.targets += targets_[print_.link - 1];
                    look_.targets += ' ';
                    targeted_ = print_.link;
                }
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
        if (!current_.empty()) {
            look_.smallPrint = letters_ > 0 && smallLetters_ * 4 >= letters_ * 3;
            lines_.push_back({currentDepth_, std::move(current_), std::move(look_)});
        }
        current_.clear();
        look_ = LineLook();
        letters_ = smallLetters_ = 0;
        lastLink_ = 0;
        pendingSpace_ = false;
    }
    void paragraphBreak() {
        lineBreak();
        if (!lines_.empty() && !lines_.back().text.empty()) lines_.push_back({depth_, "", {}});
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
    std::vector<HtmlLine> result() {
        lineBreak();
        std::vector<HtmlLine> out;
        out.reserve(lines_.size());
        for (Line& line : lines_) {
            std::string text;
            for (int d = 0; d < std::min(line.depth, kMaxQuoteDepth); ++d)
                text += "> ";
            text += line.text;
            out.push_back({std::move(text), std::move(line.look)});
        }
        return out;
    }

private:
    struct Line {
        int depth;
        std::string text;
        LineLook look;
    };
    const std::vector<std::string>& targets_;
    std::vector<Line> lines_;
    std::string current_;
    LineLook look_;
    std::size_t letters_ = 0, smallLetters_ = 0; // of the current line
    std::size_t lastLink_ = 0, targeted_ = 0;
    Print print_;
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

// True when text holds one of the words, in any case. One pass: only where a letter could start
// one is it compared.
bool containsAnyNoCase(std::string_view text, std::initializer_list<std::string_view> words) {
    std::array<bool, 256> starts{};
    for (std::string_view w : words)
        starts[uc(w[0])] = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!starts[uc(toLower(text[i]))]) continue;
        for (std::string_view w : words)
            if (startsWithNoCase(text.substr(i), w)) return true;
    }
    return false;
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

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiAlnum(char c) {
    return isAsciiLetter(c) || isDigit(c);
}

// One piece of HTML source: a run of text, a tag, or something passed over whole (a comment, a
// declaration, a script or style with its content).
struct Piece {
    enum class Kind { Text, Tag, Skipped };
    Kind kind = Kind::Text;
    std::size_t begin = 0, end = 0;
    std::string name; // of a tag, in lower case
    bool closing = false;
};

// Reads HTML source front to back, piece by piece. A '<' that opens no tag is text.
class Scanner {
public:
    explicit Scanner(std::string_view html) : html_(html), nextGt_(html) {}

    bool next(Piece& piece) {
        if (pending_) {
            pending_ = false;
            piece = std::move(pendingPiece_);
            pos_ = piece.end;
            return true;
        }
        if (pos_ >= html_.size()) return false;
        if (html_[pos_] == '<' && tagAt(pos_, piece)) {
            pos_ = piece.end;
            return true;
        }
        // text up to the next '<' that opens a tag; that tag is kept for the next call
        std::size_t lt = html_.find('<', pos_ + 1);
        while (lt != std::string_view::npos && !tagAt(lt, pendingPiece_))
            lt = html_.find('<', lt + 1);
        const std::size_t end = lt == std::string_view::npos ? html_.size() : lt;
        pending_ = lt != std::string_view::npos;
        piece.kind = Piece::Kind::Text;
        piece.begin = pos_;
        piece.end = end;
        piece.name.clear();
        piece.closing = false;
        pos_ = end;
        return true;
    }

    // Goes on reading at a later position.
    void skipTo(std::size_t pos) {
        pending_ = false;
        pos_ = std::max(pos_, pos);
    }

private:
    bool tagAt(std::size_t i, Piece& piece) {
        const std::string_view rest = html_.substr(i);
        piece.closing = false;
        piece.name.clear();
        piece.begin = i;
        piece.kind = Piece::Kind::Skipped;
        if (rest.starts_with("<!--")) {
            const std::size_t e = html_.find("-->", i + 4);
            piece.end = e == std::string_view::npos ? html_.size() : e + 3;
            return true;
        }
        if (rest.starts_with("<![CDATA[")) {
            const std::size_t e = html_.find("]]>", i);
            piece.end = e == std::string_view::npos ? html_.size() : e + 3;
            return true;
        }
        const bool closing = rest.size() > 1 && rest[1] == '/';
        const std::size_t nameStart = i + (closing ? 2 : 1);
        std::size_t nameEnd = nameStart;
        // a tag name starts with a letter: "a <4 b> c" is text
        if (nameStart < html_.size() && isLetter(html_[nameStart]))
            while (nameEnd < html_.size() && (isAlnum(html_[nameEnd]) || html_[nameEnd] == ':'))
                ++nameEnd;
        const bool declaration = rest.size() > 1 && (rest[1] == '!' || rest[1] == '?');
        if (nameEnd == nameStart && !declaration) return false; // a lone '<' in the text
        const std::size_t end = tagEnd(html_, i, nextGt_);
        if (end == std::string_view::npos) return false; // unclosed: text rather than lose it all
        piece.end = end;
        if (declaration) return true;
        piece.name = lower(html_.substr(nameStart, nameEnd - nameStart));
        piece.closing = closing;
        if (!closing && inList(kSkipped, piece.name)) {
            const std::size_t close = findNoCase(html_, cat("</", piece.name), end);
            const std::size_t closeEnd =
                close == std::string_view::npos ? close : tagEnd(html_, close, nextGt_);
            piece.end = closeEnd == std::string_view::npos ? html_.size() : closeEnd;
            return true;
        }
        piece.kind = Piece::Kind::Tag;
        return true;
    }

    std::string_view html_;
    NextGt nextGt_;
    std::size_t pos_ = 0;
    bool pending_ = false;
    Piece pendingPiece_;
};

// What a tag's attributes say about how its content shows.
struct TagStyle {
    bool hidden = false;       // display:none, visibility:hidden, opacity:0, hidden, aria-hidden
    bool zeroSize = false;     // font-size of a pixel or less
    bool resized = false;      // a readable font size (inside a zero-size element, text shows)
    std::optional<bool> small; // a font size is set: under a comfortable reading size or not
    std::optional<bool> grey;  // a text colour is set: grey or not
    bool footer = false;       // its class or id names it a footer
    std::string_view href;     // where a link goes
};

// A CSS length: its number and its unit ("px", "em", "%", empty when none is given).
struct Length {
    double number = 0;
    std::string_view unit;
};

std::optional<Length> parseLength(std::string_view value) {
    std::size_t i = 0;
    while (i < value.size() && (isDigit(value[i]) || value[i] == '.'))
        ++i;
    if (i == 0) return std::nullopt;
    Length length;
    double scale = 0;
    for (char c : value.substr(0, i)) {
        if (c == '.') {
            scale = scale == 0 ? 0.1 : scale;
        } else if (scale == 0) {
            length.number = length.number * 10 + (c - '0');
        } else {
            length.number += scale * (c - '0');
            scale /= 10;
        }
    }
    std::size_t u = i;
    while (u < value.size() && ((value[u] >= 'a' && value[u] <= 'z') || value[u] == '%'))
        ++u;
    length.unit = value.substr(i, u - i);
    return length;
}

bool isZero(std::string_view value) {
    const std::optional<Length> length = parseLength(value);
    return length && length->number == 0;
}

// A font size of a pixel or a point is as unreadable as none; "0.9em" is a size like any other.
bool isUnreadableSize(std::string_view value) {
    const std::optional<Length> size = parseLength(value);
    if (!size) return false;
    if (size->unit == "em" || size->unit == "rem") return size->number <= 0.1;
    if (size->unit == "%") return size->number <= 10;
    return size->number <= 1;
}

// Font sizes by keyword, as browsers give them to a 16px text.
std::optional<bool> isSmallSize(std::string_view value) {
    if (value == "xx-small" || value == "x-small") return true;
    if (value == "small" || value == "medium" || value == "large" || value == "x-large" ||
        value == "xx-large")
        return false;
    const std::optional<Length> size = parseLength(value);
    if (!size) return std::nullopt;
    // under about 11 pixels text is small print
    if (size->unit == "px" || size->unit.empty()) return size->number < 11;
    if (size->unit == "pt") return size->number < 8.25;
    if (size->unit == "em" || size->unit == "rem") return size->number < 0.7;
    if (size->unit == "%") return size->number < 70;
    return std::nullopt;
}

// The size in the font shorthand ("bold 10px/14px Arial"): its first length with a unit.
std::optional<bool> fontShorthandSize(std::string_view value) {
    for (std::size_t i = 0; i < value.size();) {
        std::size_t end = value.find(' ', i);
        if (end == std::string_view::npos) end = value.size();
        const std::string_view word = value.substr(i, end - i);
        const std::optional<Length> size = parseLength(word);
        if ((size && !size->unit.empty()) || word.starts_with("x-small") ||
            word.starts_with("xx-small"))
            return isSmallSize(word.substr(0, word.find('/')));
        i = end + 1;
    }
    return std::nullopt;
}

int digitValue(char c, bool hex) {
    if (isDigit(c)) return c - '0';
    if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// True for a grey text colour, the colour of small print: no hue to speak of, lighter than the
// near black of body text ("#333") and darker than what hardly shows on white.
std::optional<bool> isGreyColour(std::string_view value) {
    if (value.empty() || value == "inherit" || value == "initial" || value == "unset" ||
        value == "currentcolor")
        return std::nullopt;
    static constexpr std::array<const char*, 13> kGreys = {
        "gray",      "grey",           "darkgray",      "darkgrey",  "dimgray",
        "dimgrey",   "silver",         "lightgray",     "lightgrey", "slategray",
        "slategrey", "lightslategray", "lightslategrey"};
    for (const char* name : kGreys)
        if (value == name) return true;
    std::array<int, 3> rgb{};
    if (value.starts_with("rgb")) {
        std::size_t i = value.find('(');
        for (int& channel : rgb) {
            while (i < value.size() && !isDigit(value[i]))
                ++i;
            if (i >= value.size()) return false;
            channel = 0;
            for (; i < value.size() && isDigit(value[i]); ++i)
                channel = std::min(channel * 10 + (value[i] - '0'), 255);
        }
    } else {
        // "#999", "#999999"; a font element's colour may lack the '#'
        const std::string_view hex = value.starts_with('#') ? value.substr(1) : value;
        if (!std::all_of(hex.begin(), hex.end(), [](char c) { return digitValue(c, true) >= 0; }))
            return false;
        if (hex.size() == 3 || hex.size() == 4) {
            for (std::size_t k = 0; k < 3; ++k)
                rgb[k] = digitValue(hex[k], true) * 17;
        } else if (hex.size() == 6 || hex.size() == 8) {
            for (std::size_t k = 0; k < 3; ++k)
                rgb[k] = digitValue(hex[2 * k], true) * 16 + digitValue(hex[2 * k + 1], true);
        } else {
            return false;
        }
    }
    const auto [lo, hi] = std::minmax({rgb[0], rgb[1], rgb[2]});
    return hi - lo <= 0x20 && lo >= 0x60 && hi <= 0xDD;
}

void readStyle(std::string_view style, TagStyle& v) {
    // lower case, runs of blanks as one: "DISPLAY : NONE" reads as "display : none"
    std::string declarations;
    for (char c : style) {
        if (!isSpace(c))
            declarations += toLower(c);
        else if (!declarations.empty() && declarations.back() != ' ')
            declarations += ' ';
    }
    bool clipped = false, overflowHidden = false;
    std::string_view rest = declarations;
    while (!rest.empty()) {
        const std::size_t semi = rest.find(';');
        std::string_view d = rest.substr(0, semi);
        rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
        const std::size_t colon = d.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view property = trim(d.substr(0, colon));
        std::string_view spaced = d.substr(colon + 1);
        if (const std::size_t bang = spaced.find('!'); bang != std::string_view::npos)
            spaced = spaced.substr(0, bang);
        spaced = trim(spaced);
        std::string compact;
        for (char c : spaced)
            if (c != ' ') compact += c;
        const std::string_view value = compact;
        if ((property == "display" && value == "none") ||
            (property == "visibility" && value == "hidden") ||
            (property == "opacity" && isZero(value)))
            v.hidden = true;
        if (property == "font-size") {
            if (isUnreadableSize(value))
                v.zeroSize = true;
            else
                v.resized = true;
            if (const auto small = isSmallSize(value)) v.small = small;
        }
        if (property == "font")
            if (const auto small = fontShorthandSize(spaced)) v.small = small;
        if (property == "color")
            if (const auto grey = isGreyColour(value)) v.grey = grey;
        if ((property == "max-height" || property == "height" || property == "max-width" ||
             property == "width") &&
            isZero(value))
            clipped = true;
        if (property == "overflow" && value == "hidden") overflowHidden = true;
    }
    if (clipped && overflowHidden) v.hidden = true;
}

// Reads the attributes of a tag (its source, "<td style=...>"; name, its element's name in lower
// case) for the ways of hiding or playing down text, and for a link's target.
TagStyle tagStyle(std::string_view tag, std::string_view element) {
    TagStyle v;
    // <font size=1 color=gray>, unless a style says otherwise
    std::optional<bool> fontSmall, fontGrey;
    std::size_t i = 1;
    while (i < tag.size() && (isAlnum(tag[i]) || tag[i] == ':'))
        ++i;
    while (i < tag.size()) {
        while (i < tag.size() && (isSpace(tag[i]) || tag[i] == '/'))
            ++i;
        const std::size_t nameStart = i;
        while (i < tag.size() && !isSpace(tag[i]) && tag[i] != '=' && tag[i] != '>' &&
               tag[i] != '/')
            ++i;
        const std::string name = lower(tag.substr(nameStart, i - nameStart));
        while (i < tag.size() && isSpace(tag[i]))
            ++i;
        std::string_view value;
        if (i < tag.size() && tag[i] == '=') {
            ++i;
            while (i < tag.size() && isSpace(tag[i]))
                ++i;
            if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
                const char quote = tag[i++];
                const std::size_t close = tag.find(quote, i);
                const std::size_t valueEnd = close == std::string_view::npos ? tag.size() : close;
                value = tag.substr(i, valueEnd - i);
                i = valueEnd + 1;
            } else {
                const std::size_t valueStart = i;
                while (i < tag.size() && !isSpace(tag[i]) && tag[i] != '>')
                    ++i;
                value = tag.substr(valueStart, i - valueStart);
            }
        }
        if (name.empty()) {
            ++i;
            continue;
        }
        if (name == "style") readStyle(value, v);
        if (name == "hidden" || (name == "aria-hidden" && equalsNoCase(value, "true")))
            v.hidden = true;
        if ((name == "class" || name == "id") && containsAnyNoCase(value, {"footer"}))
            v.footer = true;
        if (element == "a" && name == "href") v.href = trim(value);
        if (element == "font" && name == "size") {
            // 1 and 2 of seven sizes, or smaller than the default 3
            const std::string_view size = trim(value);
            if (!size.empty())
                fontSmall =
                    size[0] == '-' || (size.size() == 1 && (size[0] == '1' || size[0] == '2'));
        }
        if (element == "font" && name == "color") {
            std::string colour;
            for (char c : value)
                if (!isSpace(c)) colour += toLower(c);
            fontGrey = isGreyColour(colour);
        }
    }
    if (!v.small) v.small = fontSmall;
    if (!v.grey) v.grey = fontGrey;
    return v;
}

// Open elements beyond this depth are not followed: their hidden text is read, their look not
// seen.
constexpr std::size_t kMaxOpenElements = 4096;
// How far down the open elements an implied end looks ("<p>a<b>b<p>" ends the first <p>).
constexpr std::size_t kImpliedEndReach = 8;

// The elements open at a point of the source, nested roughly as a browser nests them: a closing
// tag ends the nearest open element of its name with all opened inside it, some opening tags end
// an element first ("<p>a<div>" ends the <p>), and after </body> or </html> nothing is open, as
// what those close reaches to the end of the document. Each element carries data of its own.
template <class Data> class OpenElements {
public:
    struct Element {
        std::string name;
        Data data;
    };

    // Opens the element of a tag (not a void one); ended(element, at) is called for each element
    // that this ends, innermost first, with the position where it ends.
    template <class Ended> void open(const Piece& p, Data data, Ended&& ended) {
        if (inList(kClosesParagraph, p.name)) endImplied({"p"}, p.begin, ended);
        if (p.name == "li") endImplied({"li"}, p.begin, ended);
        if (p.name == "dt" || p.name == "dd") endImplied({"dt", "dd"}, p.begin, ended);
        if (p.name == "option") endImplied({"option"}, p.begin, ended);
        if (open_.size() >= kMaxOpenElements) return;
        open_.push_back({p.name, std::move(data)});
        ++count_[p.name];
    }

    template <class Ended> void close(const Piece& p, Ended&& ended) {
        if (p.name == "body" || p.name == "html") {
            open_.clear();
            count_.clear();
            return;
        }
        const auto it = count_.find(p.name);
        if (it == count_.end() || it->second == 0) return;
        while (!open_.empty() && open_.back().name != p.name)
            pop(p.begin, ended);
        if (!open_.empty()) pop(p.end, ended);
    }

    // The innermost open element's data, nullptr when none is open.
    const Data* innermost() const { return open_.empty() ? nullptr : &open_.back().data; }

private:
    template <class Ended> void pop(std::size_t at, Ended& ended) {
        --count_[open_.back().name];
        ended(open_.back(), at);
        open_.pop_back();
    }

    // Ends the nearest open element named in names, with what is open inside it, when it lies
    // near the top and no table cell or table stands between.
    template <class Ended>
    void endImplied(std::initializer_list<std::string_view> names, std::size_t at, Ended& ended) {
        for (std::size_t k = open_.size(); k > 0 && open_.size() - k < kImpliedEndReach; --k) {
            const std::string& n = open_[k - 1].name;
            if (std::find(names.begin(), names.end(), n) != names.end()) {
                while (open_.size() >= k)
                    pop(at, ended);
                return;
            }
            if (n == "table" || n == "td" || n == "th") return;
        }
    }

    std::vector<Element> open_;
    std::unordered_map<std::string, std::size_t> count_;
};

bool isVoid(const Piece& p, std::string_view tag) {
    return inList(kVoid, p.name) || tag.ends_with("/>");
}

// The source ranges of elements hidden from view: a preheader in display:none, text of no size,
// hidden attributes. An element whose end is not found (cut off, or closed only by </body>)
// counts as shown, so nothing is lost.
std::vector<std::pair<std::size_t, std::size_t>> hiddenRanges(std::string_view html) {
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    if (!containsAnyNoCase(html, {"hidden", "display", "font-size", "opacity"})) return ranges;
    struct Shown {
        std::size_t begin;
        std::size_t index;
        TagStyle style;
    };
    OpenElements<Shown> open;
    std::size_t tagIndex = 0, lastResize = 0;
    auto ended = [&](const OpenElements<Shown>::Element& e, std::size_t end) {
        const TagStyle& style = e.data.style;
        if (style.hidden || (style.zeroSize && lastResize <= e.data.index))
            ranges.emplace_back(e.data.begin, end);
    };
    Scanner scan(html);
    Piece p;
    while (scan.next(p)) {
        if (p.kind != Piece::Kind::Tag) continue;
        ++tagIndex;
        if (p.closing) {
            open.close(p, ended);
            continue;
        }
        const std::string_view tag = html.substr(p.begin, p.end - p.begin);
        TagStyle v;
        if (containsAnyNoCase(tag, {"style", "hidden"})) v = tagStyle(tag, p.name);
        if (v.resized) lastResize = tagIndex;
        if (isVoid(p, tag)) {
            if (v.hidden) ranges.emplace_back(p.begin, p.end);
            continue;
        }
        open.open(p, Shown{p.begin, tagIndex, v}, ended);
    }
    std::sort(ranges.begin(), ranges.end());
    return ranges;
}

using EntityTable = std::vector<std::pair<std::string_view, char32_t>>;

// The entity names in sorted order, all of them or only those a browser reads without ';'.
const EntityTable& entityTable(bool legacyOnly) {
    static const auto build = [](bool legacy) {
        EntityTable table;
        const auto& latin1 = encoding::kLatin1EntityNames;
        for (std::size_t k = 0; k < latin1.size(); ++k)
            table.emplace_back(latin1[k], static_cast<char32_t>(0xA0 + k));
        for (const Entity& e : kOther)
            if (!legacy || inList(kLegacyOther, e.name)) table.emplace_back(e.name, e.cp);
        std::sort(table.begin(), table.end());
        return table;
    };
    static const EntityTable all = build(false), legacy = build(true);
    return legacyOnly ? legacy : all;
}

std::optional<char32_t> namedEntity(std::string_view name, bool legacyOnly) {
    const EntityTable& table = entityTable(legacyOnly);
    const auto it = std::lower_bound(table.begin(), table.end(), name,
                                     [](const auto& e, std::string_view n) { return e.first < n; });
    if (it == table.end() || it->first != name) return std::nullopt;
    return it->second;
}

void appendCodePoint(char32_t cp, std::string& out) {
    if (cp == 0xA0) cp = ' ';
    if (cp == 0xAD) return; // a soft hyphen is not spoken
    const int b = cp1252FromCodePoint(cp);
    if (b > 0) out += static_cast<char>(b);
}

} // namespace

bool HtmlText::startsHtml(std::string_view line) {
    line = trim(line);
    if (line.size() < 2 || line[0] != '<') return false;
    if (line.starts_with("<!--") || startsWithNoCase(line, "<!doctype") ||
        startsWithNoCase(line, "<?xml"))
        return true;
    const std::size_t nameStart = line[1] == '/' ? 2 : 1;
    std::size_t nameEnd = nameStart;
    while (nameEnd < line.size() && (isAsciiAlnum(line[nameEnd]) || line[nameEnd] == ':'))
        ++nameEnd;
    if (nameEnd == nameStart) return false;
    // "<jan@example.nl>" and "<http://...>" are no tags
    if (nameEnd < line.size() && !isSpace(line[nameEnd]) && line[nameEnd] != '>' &&
        line[nameEnd] != '/')
        return false;
    return inList(kElements, lower(line.substr(nameStart, nameEnd - nameStart)));
}

std::size_t HtmlText::decodeEntity(std::string_view html, std::size_t i, std::string& out) {
    std::size_t j = i + 1;
    if (j < html.size() && html[j] == '#') {
        const bool hex = j + 1 < html.size() && (html[j + 1] == 'x' || html[j + 1] == 'X');
        j += hex ? 2 : 1;
        const std::size_t digits = j;
        char32_t cp = 0;
        for (; j < html.size() && digitValue(html[j], hex) >= 0; ++j)
            cp = std::min<char32_t>(cp * (hex ? 16 : 10) + digitValue(html[j], hex), 0x110000);
        if (j == digits) return 0;
        if (j < html.size() && html[j] == ';') ++j; // a browser reads "&#233" as well
        // numeric references in 0x80..0x9F mean the Windows-1252 characters, as browsers read them
        if (cp >= 0x80 && cp <= 0x9F)
            out += static_cast<char>(cp);
        else if (cp <= 0x10FFFF)
            appendCodePoint(cp, out);
        return j - i;
    }
    std::size_t e = j;
    while (e < html.size() && e - j < kMaxEntityName && isAsciiAlnum(html[e]))
        ++e;
    if (e == j || !isAsciiLetter(html[j])) return 0;
    const std::string_view name = html.substr(j, e - j);
    if (e < html.size() && html[e] == ';') {
        if (const auto cp = namedEntity(name, false)) {
            appendCodePoint(*cp, out);
            return e + 1 - i;
        }
        // an entity of a symbol outside these tables ("&rarr;"): a voice could not say it, and
        // should not spell out its name
        return name.size() >= 2 ? e + 1 - i : 0;
    }
    // Without ';' a browser still reads the oldest names, even at the start of a longer word
    // ("&nbspHallo"); so does a voice.
    for (std::size_t len = std::min<std::size_t>(name.size(), 6); len >= 2; --len) {
        if (const auto cp = namedEntity(name.substr(0, len), true)) {
            appendCodePoint(*cp, out);
            return 1 + len;
        }
    }
    return 0;
}

namespace {

// A link's target worth noting: a web page, not an address to mail or call or a place on the page.
bool isWebTarget(std::string_view href) {
    return !href.empty() && href[0] != '#' && !startsWithNoCase(href, "mailto:") &&
           !startsWithNoCase(href, "tel:") && !startsWithNoCase(href, "sms:") &&
           !startsWithNoCase(href, "javascript:");
}

// Of a target only its start is kept: enough for what it says, bounded however long it is.
constexpr std::size_t kMaxTarget = 200;

} // namespace

std::vector<HtmlLine> HtmlText::toLines(std::string_view html) {
    const std::vector<std::pair<std::size_t, std::size_t>> hidden = hiddenRanges(html);
    std::size_t nextHidden = 0;
    std::vector<std::string> targets;
    LineBuilder b(targets);
    OpenElements<Print> open;
    const auto ended = [](const OpenElements<Print>::Element&, std::size_t) {};
    int pre = 0;
    std::string run;
    Scanner scan(html);
    Piece p;
    while (scan.next(p)) {
        if (p.kind == Piece::Kind::Text) {
            const std::string_view text = html.substr(p.begin, p.end - p.begin);
            for (std::size_t i = 0; i < text.size();) {
                const std::size_t used = text[i] == '&' ? decodeEntity(text, i, run) : 0;
                if (used == 0) run += text[i];
                i += used == 0 ? 1 : used;
            }
            if (pre > 0)
                b.preText(run);
            else
                b.text(run);
            run.clear();
            continue;
        }
        if (p.kind == Piece::Kind::Skipped) continue;
        const std::string& name = p.name;
        const bool closing = p.closing;
        if (!closing) {
            while (nextHidden < hidden.size() && hidden[nextHidden].first < p.begin)
                ++nextHidden;
            if (nextHidden < hidden.size() && hidden[nextHidden].first == p.begin) {
                scan.skipTo(hidden[nextHidden].second);
                b.space();
                continue;
            }
        }
        if (closing) {
            open.close(p, ended);
        } else if (const std::string_view tag = html.substr(p.begin, p.end - p.begin);
                   !isVoid(p, tag)) {
            const Print* outer = open.innermost();
            Print print = outer != nullptr ? *outer : Print();
            TagStyle style;
            if (tag.find('=') != std::string_view::npos) style = tagStyle(tag, name);
            if (name == "small" && !style.small) style.small = true;
            print.small = style.small.value_or(print.small);
            print.grey = style.grey.value_or(print.grey);
            print.footer = print.footer || style.footer || name == "footer";
            if (name == "a" && isWebTarget(style.href)) {
                targets.push_back(lower(style.href.substr(0, kMaxTarget)));
                print.link = targets.size();
            }
            open.open(p, print, ended);
        }
        const Print* inner = open.innermost();
        b.setPrint(inner != nullptr ? *inner : Print());
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
    return b.result();
}

} // namespace zq
