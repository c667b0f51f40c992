#include <korp/KorpMsg.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <map>

#include <korp/KorpCharset.h>
#include <korp/KorpMIME.h>
#include <korp/korp_util.h>

namespace korp {

namespace {

using Lines = std::span<const std::string_view>;

bool Contains(std::string_view s, std::string_view what) {
    return s.find(what) != std::string_view::npos;
}

// Every line followed by CR LF, as a string list's text form.
std::string JoinLines(Lines lines) {
    std::size_t size = 0;
    for (const auto line : lines)
        size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const auto line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

// (GCC 12 warns wrongly about "x" + std::string at -O3.)
std::string Enclose(char open, std::string_view s, char close) {
    std::string r;
    r.reserve(s.size() + 2);
    r += open;
    r += s;
    r += close;
    return r;
}

void RemoveChar(std::string& s, char c) {
    s.erase(std::remove(s.begin(), s.end(), c), s.end());
}

// One leading and one trailing quote character (double quote or apostrophe) go.
void Unquote(std::string& s) {
    if (!s.empty() && (s.front() == '"' || s.front() == '\'')) s.erase(0, 1);
    if (!s.empty() && (s.back() == '"' || s.back() == '\'')) s.pop_back();
}

// ChangeFileExt: the extension is the text from the last "." after the last "\" or ":".
std::string ChangeFileExt(const std::string& name, std::string_view ext) {
    const std::size_t p = name.find_last_of(".\\:");
    if (p != std::string::npos && name[p] == '.') return name.substr(0, p) + std::string(ext);
    return name + std::string(ext);
}

// A uuencode "begin" line: "begin", a mode of three decimal digits from 1 to 776 at characters
// 7 to 9, the file name from character 11 (at most 64 characters).
bool IsUUBegin(std::string_view line, std::string& name) {
    // Most lines are refused by their first byte, before a lower-case copy is made.
    if (line.size() <= 10 || (line[0] != 'b' && line[0] != 'B') ||
        LowerCase(line.substr(0, 5)) != "begin")
        return false;
    std::string_view mode = line.substr(6, 3);
    while (!mode.empty() && mode.front() == ' ')
        mode.remove_prefix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(mode.data(), mode.data() + mode.size(), value);
    if (ec != std::errc() || end != mode.data() + mode.size() || value <= 0 || value >= 777)
        return false;
    name = std::string(line.substr(10, 64));
    return true;
}

// Whether the upper-case form of line begins with name (which is upper case).
bool StartsWithUpper(std::string_view line, std::string_view name) {
    if (line.size() < name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = line[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != name[i]) return false;
    }
    return true;
}

bool IsUUEnd(std::string_view line) {
    const std::string_view t = Trim(line);
    return t.size() == 3 && LowerCase(t) == "end";
}

// lines[at] with its folded continuation lines appended. Unfolding takes out only the line break:
// the white space that starts a continuation line stays (RFC 5322 2.2.3).
std::string Unfold(Lines lines, std::size_t at) {
    std::string result(lines[at]);
    for (std::size_t k = at + 1; k < lines.size(); ++k) {
        const std::string_view next = lines[k];
        if (next.empty() || (next[0] != ' ' && next[0] != '\t')) break;
        result += next;
    }
    return result;
}

// The value of a header line: what follows the colon after its name.
std::string_view ValueOf(std::string_view line) {
    const std::size_t colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
}

// Where the quoted string that opens at value[at] ends: just past its closing quote, or at the end
// of value when it is not closed. A backslash quotes the character after it (RFC 5322 3.2.4).
std::size_t SkipQuoted(std::string_view value, std::size_t at, std::string* content = nullptr) {
    std::size_t i = at + 1;
    for (; i < value.size() && value[i] != '"'; ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        if (content != nullptr) *content += value[i];
    }
    return std::min(i + 1, value.size());
}

// The first ";" of value at or after from that is not inside a quoted string; value.size() when
// there is none.
std::size_t NextSemicolon(std::string_view value, std::size_t from) {
    std::size_t i = from;
    while (i < value.size() && value[i] != ';')
        i = value[i] == '"' ? SkipQuoted(value, i) : i + 1;
    return i;
}

// One parameter of a structured header (RFC 2045 5.1): attribute "=" (token / quoted-string),
// the value with its quotes and backslashes taken out.
struct Parameter {
    std::string_view attribute;
    std::string value;
};

// The parameters after the header's own value, in order. An unquoted value runs to the next ";"
// and is trimmed (mail programs also write names with blanks unquoted); text after a closing quote
// up to the next ";" is ignored; a part between semicolons without "=" is skipped.
std::vector<Parameter> ParametersOf(std::string_view line) {
    const std::string_view value = ValueOf(line);
    std::vector<Parameter> parameters;
    std::size_t i = NextSemicolon(value, 0);
    while (i < value.size()) {
        const std::size_t start = i + 1;
        const std::size_t stop = value.find_first_of("=;", start);
        if (stop == std::string_view::npos) break;
        if (value[stop] == ';') {
            i = stop;
            continue;
        }
        Parameter p{Trim(value.substr(start, stop - start)), {}};
        std::size_t v = stop + 1;
        while (v < value.size() && (value[v] == ' ' || value[v] == '\t'))
            ++v;
        if (v < value.size() && value[v] == '"') {
            i = value.find(';', SkipQuoted(value, v, &p.value));
        } else {
            i = value.find(';', v);
            p.value = std::string(Trim(value.substr(v, i == std::string_view::npos ? i : i - v)));
        }
        parameters.push_back(std::move(p));
        if (i == std::string_view::npos) break;
    }
    return parameters;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// "%XX" escapes of an RFC 2231 extended value decoded; a "%" without two hex digits stays.
std::string PercentDecoded(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const int hi = s[i] == '%' && i + 2 < s.size() ? HexDigit(s[i + 1]) : -1;
        const int lo = hi >= 0 ? HexDigit(s[i + 2]) : -1;
        if (lo >= 0) {
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Takes "charset'language'" off the front of an RFC 2231 extended value and returns the charset;
// a value without the two apostrophes is all text.
std::string_view TakeCharset(std::string_view& value) {
    const std::size_t first = value.find('\'');
    const std::size_t second =
        first == std::string_view::npos ? first : value.find('\'', first + 1);
    if (second == std::string_view::npos) return {};
    const std::string_view charset = value.substr(0, first);
    value.remove_prefix(second + 1);
    return charset;
}

} // namespace

// ---- header helpers ----

std::optional<std::string> FindHeader(std::string_view name, Lines lines) {
    std::size_t i = 0;
    while (i < lines.size() && lines[i].empty())
        ++i;
    for (; i < lines.size() && !lines[i].empty(); ++i)
        if (StartsWithUpper(lines[i], name)) return Unfold(lines, i);
    return std::nullopt;
}

std::optional<std::string> FindHeader(std::string_view name, const TStringList& lines) {
    const auto views = lines.Views();
    return FindHeader(name, Lines(views));
}

std::string GetHeaderValue(std::string_view line) {
    return std::string(Trim(ValueOf(line)));
}

std::string GetHeaderValueWithoutParams(std::string_view line) {
    const std::string_view value = ValueOf(line);
    return std::string(Trim(value.substr(0, NextSemicolon(value, 0))));
}

std::string GetHeaderParam(std::string_view attribute, std::string_view line) {
    // RFC 2231: "attribute*" holds an extended value; "attribute*0", "attribute*1" ... (each
    // extended when it ends in "*") are sections of one value, joined from 0 while none is
    // missing. Either form wins over a plain value, which mail programs add for older readers.
    std::optional<std::string> plain;
    std::optional<std::string> extended;
    std::map<std::size_t, const Parameter*> sections;
    const std::vector<Parameter> parameters = ParametersOf(line);
    for (const Parameter& p : parameters) {
        const std::string_view a = p.attribute;
        if (a.size() < attribute.size() ||
            !SameTextIgnoringCase(a.substr(0, attribute.size()), attribute))
            continue;
        std::string_view rest = a.substr(attribute.size());
        if (rest.empty()) {
            if (!plain) plain = p.value;
        } else if (rest == "*") {
            if (extended) continue;
            std::string_view v = p.value;
            const std::string_view charset = TakeCharset(v);
            extended = ConvertToWindows1252(PercentDecoded(v), charset);
        } else if (rest.front() == '*') {
            rest.remove_prefix(1);
            if (rest.ends_with('*')) rest.remove_suffix(1);
            std::size_t n = 0;
            const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), n);
            if (ec == std::errc() && end == rest.data() + rest.size() && !rest.empty())
                sections.emplace(n, &p);
        }
    }
    if (extended) return *extended;
    if (!sections.empty() && sections.begin()->first == 0) {
        // Extended sections are converted together: a character may be split between two.
        std::string_view charset;
        std::string joined;
        std::size_t next = 0;
        for (const auto& [n, p] : sections) {
            if (n != next++) break;
            if (!p->attribute.ends_with('*')) {
                joined += p->value;
                continue;
            }
            std::string_view v = p->value;
            if (n == 0) charset = TakeCharset(v);
            joined += PercentDecoded(v);
        }
        return ConvertToWindows1252(joined, charset);
    }
    return plain.value_or(std::string());
}

std::size_t HeaderBlockLength(Lines lines) {
    std::size_t i = 0;
    while (i < lines.size() && !Trim(lines[i]).empty())
        ++i;
    while (i < lines.size() && Trim(lines[i]).empty())
        ++i;
    return i;
}

void StripHeaderBlock(TStringList& lines) {
    const auto views = lines.Views();
    const std::size_t n = HeaderBlockLength(views);
    auto& v = lines.Lines();
    v.erase(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n));
}

std::string GetBoundary(std::string_view headerLine) {
    std::string boundary = "--";
    boundary += Trim(GetHeaderParam("boundary", headerLine));
    return boundary;
}

// ---- multipart structure ----

namespace {

// Multiparts and enclosed messages are opened at most this many levels deep. Mail programs nest
// a forwarded message or an alternative a few levels deep; far deeper nesting only comes from a
// broken or hostile message, and its deeper parts are kept whole instead of being opened.
constexpr int kMaxNesting = 100;

// The headers that decide how a part is read.
enum ContentHeader : std::size_t { kType, kTransferEncoding, kDisposition };
constexpr std::array<std::string_view, 3> kContentHeaders = {
    "CONTENT-TYPE:", "CONTENT-TRANSFER-ENCODING:", "CONTENT-DISPOSITION:"};

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Lines [from, to) of the message.
struct Range {
    std::size_t from = 0;
    std::size_t to = 0;
};

// The first line at or after a position that is empty (header "") or starts with header, in any
// case. The lines that match are listed as far as a question needs and then found by binary
// search, so every line is looked at once however many parts ask, in whatever order.
class LineSearch {
public:
    explicit LineSearch(std::string_view header) : header_(header) {}

    // A line at or beyond limit (all.size() when there is none) when no line before limit
    // matches: a header is only looked for in its header block, not through the body after it.
    std::size_t From(Lines all, std::size_t from, std::size_t limit = kNone) {
        limit = std::min(limit, all.size());
        while ((matches_.empty() || matches_.back() < from) && listed_ < limit) {
            if (Matches(all[listed_])) matches_.push_back(listed_);
            ++listed_;
        }
        const auto it = std::lower_bound(matches_.begin(), matches_.end(), from);
        return it == matches_.end() ? all.size() : *it;
    }

private:
    bool Matches(std::string_view line) const {
        return header_.empty() ? line.empty() : StartsWithUpper(line, header_);
    }

    std::string_view header_;
    std::vector<std::size_t> matches_; // the matching lines among the first listed_
    std::size_t listed_ = 0;
};

// What a part's parser looks for in the lines of the whole message: its header lines and its
// delimiter lines. A part finds them without reading the lines of the parts around it again, so
// a deeply nested message costs O(n log n) rather than its size times its depth.
class MessageIndex {
public:
    explicit MessageIndex(Lines all) : all_(all) {}

    Lines Slice(Range r) const { return all_.subspan(r.from, r.to - r.from); }

    // The line FindHeader(kContentHeaders[which], Slice(part)) takes; kNone when there is none.
    std::size_t HeaderLine(ContentHeader which, Range part) {
        std::size_t first = part.from;
        while (first < part.to && all_[first].empty())
            ++first;
        const std::size_t stop = std::min(empty_.From(all_, first), part.to);
        const std::size_t at = headers_[which].From(all_, first, stop);
        return at < stop ? at : kNone;
    }

    // The header line at `at` of the part that ends at `to`, with its continuation lines.
    std::string Unfolded(std::size_t at, std::size_t to) const {
        return Unfold(all_.subspan(0, to), at);
    }

    // The first line in [from, to) that reads exactly text (which starts with "--"); to when
    // there is none.
    std::size_t NextLine(std::string_view text, std::size_t from, std::size_t to) {
        if (from >= to) return to;
        if (!dashedSorted_) SortDashedLines();
        const auto it = std::lower_bound(dashed_.begin(), dashed_.end(), from,
                                         [&](std::size_t line, std::size_t position) {
                                             const int c = all_[line].compare(text);
                                             return c < 0 || (c == 0 && line < position);
                                         });
        return it != dashed_.end() && *it < to && all_[*it] == text ? *it : to;
    }

private:
    // The lines that may be delimiters, by text and where the text is the same by position: all
    // lines equal to a delimiter stand together, in document order. Made when a multipart is
    // first split.
    void SortDashedLines() {
        for (std::size_t i = 0; i < all_.size(); ++i)
            if (all_[i].starts_with("--")) dashed_.push_back(i);
        std::sort(dashed_.begin(), dashed_.end(), [&](std::size_t a, std::size_t b) {
            const int c = all_[a].compare(all_[b]);
            return c < 0 || (c == 0 && a < b);
        });
        dashedSorted_ = true;
    }

    Lines all_;
    LineSearch empty_{""};
    std::array<LineSearch, 3> headers_{LineSearch(kContentHeaders[kType]),
                                       LineSearch(kContentHeaders[kTransferEncoding]),
                                       LineSearch(kContentHeaders[kDisposition])};
    std::vector<std::size_t> dashed_;
    bool dashedSorted_ = false;
};

// The Content-Type line of part when its type names a multipart.
std::optional<std::string> MultipartTypeLine(MessageIndex& index, Range part) {
    const std::size_t at = index.HeaderLine(kType, part);
    if (at == kNone) return std::nullopt;
    std::string line = index.Unfolded(at, part.to);
    if (!Contains(UpperCase(GetHeaderValueWithoutParams(line)), "MULTIPART")) return std::nullopt;
    return line;
}

// The parts of one multipart level, typeLine being its Content-Type line: the lines between
// its delimiter lines. The preamble and whatever follows the end delimiter go; the line after a
// delimiter always belongs to the next part, even another delimiter; a multipart without any
// delimiter has one empty part.
void SplitLevel(MessageIndex& index, Range part, const std::string& typeLine,
                std::vector<Range>& children) {
    children.clear();
    const std::string boundary = GetBoundary(typeLine);
    const std::string endDelimiter = boundary + "--";
    const std::size_t to = part.to;
    const std::size_t first =
        index.NextLine(boundary, part.from + HeaderBlockLength(index.Slice(part)), to);
    if (first == to) {
        children.push_back({to, to});
        return;
    }
    std::size_t start = first + 1;
    std::size_t searchFrom = start;
    for (;;) {
        const std::size_t next = index.NextLine(boundary, searchFrom, to);
        const std::size_t end = index.NextLine(endDelimiter, searchFrom, next);
        if (end < next || next == to) {
            children.push_back({start, end});
            return;
        }
        children.push_back({start, next});
        start = next + 1;
        searchFrom = std::min(next + 2, to);
    }
}

// A part waiting to be read: its lines, how many multiparts and enclosed messages hold it, and
// whether a multipart split it off (such a part counts as a multipart when its Content-Type line
// names one anywhere).
struct Pending {
    Range lines;
    int depth = 0;
    bool inMultipart = false;
};

} // namespace

std::vector<Lines> SplitMultipart(Lines lines) {
    MessageIndex index(lines);
    std::vector<Lines> leaves;
    std::vector<Pending> pending{{{0, lines.size()}, 0, true}};
    std::vector<Range> children;
    // Depth first with an explicit stack: no input can overflow the call stack.
    while (!pending.empty()) {
        const Pending part = pending.back();
        pending.pop_back();
        const auto typeLine = MultipartTypeLine(index, part.lines);
        if (!typeLine || part.depth >= kMaxNesting) {
            leaves.push_back(index.Slice(part.lines));
            continue;
        }
        SplitLevel(index, part.lines, *typeLine, children);
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            pending.push_back({*it, part.depth + 1, true});
    }
    return leaves;
}

// ---- address lists ----

std::string ExtractAddress(std::string_view entry) {
    // Comments "(...)" go, as long as a ")" follows the first "(".
    std::string s;
    std::size_t i = 0;
    for (;;) {
        const std::size_t open = entry.find('(', i);
        const std::size_t close = entry.find(')', i);
        if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
            s.append(entry.substr(i));
            break;
        }
        s.append(entry.substr(i, open - i));
        i = close + 1;
    }
    std::string_view a = Trim(s);
    const std::size_t lt = a.find('<');
    const std::size_t gt = a.find('>');
    if (lt != std::string_view::npos && gt != std::string_view::npos)
        a = gt > lt ? a.substr(lt + 1, gt - lt - 1) : std::string_view();
    return Enclose('<', a, '>');
}

std::string ExtractDisplayName(std::string_view entry) {
    std::string s(entry);
    const std::size_t lt = s.find('<');
    const std::size_t gt = s.find('>');
    if (lt != std::string::npos && gt != std::string::npos && gt > lt) s.erase(lt, gt - lt + 1);
    const std::size_t open = s.find('(');
    const std::size_t close = s.find(')');
    if (open != std::string::npos && close != std::string::npos)
        s = close > open ? s.substr(open + 1, close - open - 1) : std::string();
    RemoveChar(s, '"');
    RemoveChar(s, '\'');
    return Enclose('"', Trim(s), '"');
}

namespace {

// One entry of an address list: the text of its quoted strings (RFC 5322 3.2.4: the quotes
// gone, a backslash escaping the next character) and what stands outside them.
struct AddressEntry {
    std::string quoted;
    std::string rest;
};

AddressEntry SplitQuoted(std::string_view entry) {
    AddressEntry e;
    bool inQuote = false;
    for (std::size_t i = 0; i < entry.size(); ++i) {
        const char c = entry[i];
        if (!inQuote) {
            if (c == '"') {
                inQuote = true;
                if (!e.quoted.empty()) e.quoted += ' ';
            } else {
                e.rest += c;
            }
        } else if (c == '\\' && i + 1 < entry.size()) {
            e.quoted += entry[++i];
        } else if (c == '"') {
            inQuote = false;
        } else {
            e.quoted += c;
        }
    }
    return e;
}

// The entries of an address list: split at the commas that stand outside quoted strings and
// angle brackets, so '"Vries, Jan" <jan@x>' stays one entry.
std::vector<std::string_view> SplitAddressList(std::string_view value) {
    std::vector<std::string_view> entries;
    bool inQuote = false;
    bool inAngle = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (inQuote) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inQuote = false;
        } else if (c == '"') {
            inQuote = true;
        } else if (c == '<') {
            inAngle = true;
        } else if (c == '>') {
            inAngle = false;
        } else if (c == ',' && !inAngle) {
            entries.push_back(value.substr(start, i - start));
            start = i + 1;
        }
    }
    entries.push_back(value.substr(std::min(start, value.size())));
    return entries;
}

} // namespace

std::string DecodeAddressList(std::string_view value) {
    std::string result;
    for (const std::string_view entry : SplitAddressList(value)) {
        const AddressEntry e = SplitQuoted(entry);
        if (!result.empty()) result += ", ";
        // A quoted display name is the name; the address is read from the rest, where no
        // quoted "<" or "(" can mislead it.
        std::string quoted = DecodeEncodedWords(e.quoted);
        RemoveChar(quoted, '"');
        const std::string_view name = Trim(quoted);
        result +=
            name.empty() ? ExtractDisplayName(DecodeEncodedWords(e.rest)) : Enclose('"', name, '"');
        result += ' ';
        result += ExtractAddress(e.rest);
    }
    return result;
}

// ---- attachments ----

TAttachedFile& TAttachedFiles::Add(const std::string& name) {
    auto item = std::make_unique<TAttachedFile>();
    const std::size_t slash = name.find_last_of("\\:");
    item->FileName = slash == std::string::npos ? name : name.substr(slash + 1);
    item->FilePath = name;
    item->MimeType = GetMimeTypeForFile(name);
    items_.push_back(std::move(item));
    return *items_.back();
}

// ---- parsing ----

void TKorpMsg::ParseRawMail() {
    if (RawMail.Empty()) return;
    {
        // The parts are ranges of views on RawMail: no copy of the message is made.
        const auto views = RawMail.Views();
        ParseLines(views);
    }
    if (ClearRawMailAfterParse) RawMail.Clear();
}

void TKorpMsg::ParseLines(Lines raw) {
    if (raw.empty()) return;
    for (const auto line : raw) {
        if (line.empty()) break;
        Headers.Add(std::string(line));
    }
    SetHeaderFields();
    ProcessPart(raw);
}

void TKorpMsg::SetHeaderFields() {
    const auto views = Headers.Views();
    const Lines headers(views);
    // Whole values: only Content-Type has parameters after a ";" (RFC 2045 5.1); a Subject or a
    // quoted display name may hold a ";" of its own. From is the From header or nothing: the
    // reading side chooses Sender or Reply-To in its place.
    auto value = [&](std::string_view name) -> std::optional<std::string> {
        const auto line = FindHeader(name, headers);
        if (!line) return std::nullopt;
        return RawHeaderToWindows1252(GetHeaderValue(*line));
    };
    if (auto v = value("FROM:")) From = DecodeEncodedWords(*v);
    if (auto v = value("SENDER:")) Sender = DecodeAddressList(*v);
    if (auto v = value("MESSAGE-ID:")) MessageId = *v;
    if (auto v = value("IN-REPLY-TO:")) InReplyTo = *v;
    if (auto v = value("RETURN-PATH:")) ReturnPath = *v;
    if (auto v = value("REPLY-TO:")) ReplyTo = DecodeAddressList(*v);
    if (auto v = value("TO:")) SendTo = DecodeAddressList(*v);
    if (auto v = value("CC:")) CC = DecodeAddressList(*v);
    if (auto v = value("DATE:")) Date = *v;
    if (auto v = value("SUBJECT:")) Subject = DecodeEncodedWords(*v);
    const auto type = FindHeader("CONTENT-TYPE:", headers);
    ContentType = type ? UpperCase(GetHeaderValueWithoutParams(*type)) : "TEXT/PLAIN";
    const auto encoding = value("CONTENT-TRANSFER-ENCODING:");
    ContentTransferEncoding = encoding ? UpperCase(*encoding) : "7BIT";
}

namespace {

struct PartHeaders {
    std::string typeLine; // the Content-Type line, unfolded; empty without one
    std::string contentType;
    std::string fileName;
    std::string encoding;
    std::string charset;
};

// The file name a "name" or "filename" parameter gives. Some mail programs quote it with
// apostrophes, others put encoded words in it (RFC 2047 5 forbids that; readers accept it).
std::string FileNameOf(std::string parameter) {
    if (!parameter.empty()) {
        Unquote(parameter);
        parameter = std::string(Trim(DecodeEncodedWords(parameter)));
    }
    return parameter;
}

// A Content-Type line's charset parameter, without a comment after it.
std::string CharsetOf(std::string_view typeLine) {
    const std::string charset = GetHeaderParam("charset", typeLine);
    return std::string(Trim(std::string_view(charset).substr(0, charset.find_first_of(" \t("))));
}

// Reads the headers that decide how a part is read. Each header line is read once however many
// parts find it: in a chain of enclosed messages every level may find the same lines again (a
// search runs past a line of blanks that ended the level's header block).
class PartHeaderReader {
public:
    explicit PartHeaderReader(MessageIndex& index) : index_(index) {}

    const PartHeaders& Of(Range part) {
        const bool typeRead = Read(kType, part);
        if (typeRead) {
            h_.typeLine = line_.value_or(std::string());
            h_.contentType = line_ ? UpperCase(GetHeaderValueWithoutParams(*line_)) : "TEXT/PLAIN";
            // Some mail programs write "filename" in the Content-Type too: it stands in for a
            // missing "name".
            name_.clear();
            if (line_) {
                name_ = GetHeaderParam("name", *line_);
                if (name_.empty()) name_ = GetHeaderParam("filename", *line_);
            }
            h_.charset = line_ ? CharsetOf(*line_) : std::string();
        }
        if (Read(kTransferEncoding, part))
            h_.encoding = line_ ? UpperCase(GetHeaderValue(*line_)) : "7BIT";
        const bool dispositionRead = Read(kDisposition, part);
        if (dispositionRead) filename_ = line_ ? GetHeaderParam("filename", *line_) : std::string();
        if (typeRead || dispositionRead)
            h_.fileName = FileNameOf(name_.empty() ? filename_ : name_);
        return h_;
    }

private:
    // Whether header `which` of part stands on another line than it did for the part before
    // (or the part ends elsewhere); if so line_ holds it unfolded, or nothing when there is none.
    bool Read(ContentHeader which, Range part) {
        const std::array<std::size_t, 2> key = {index_.HeaderLine(which, part), part.to};
        if (key == read_[which]) return false;
        read_[which] = key;
        line_.reset();
        if (key[0] != kNone) line_ = index_.Unfolded(key[0], part.to);
        return true;
    }

    MessageIndex& index_;
    std::array<std::array<std::size_t, 2>, 3> read_{
        {{kNone, kNone}, {kNone, kNone}, {kNone, kNone}}};
    std::optional<std::string> line_;
    std::string name_;     // the Content-Type's name parameter
    std::string filename_; // the Content-Disposition's filename parameter
    PartHeaders h_;
};

// A text part's body decoded by its transfer encoding and converted to Windows-1252.
std::string DecodedText(Lines body, const std::string& encoding, const std::string& charset) {
    std::string decoded;
    if (encoding == "QUOTED-PRINTABLE") {
        decoded = DecodeQuotedPrintable(JoinLines(body));
    } else if (encoding == "BASE64") {
        TMemoryStream mem;
        {
            TBase64DecodingStream decoder(mem);
            for (const auto line : body)
                decoder.Write(line.data(), line.size());
        }
        decoded = mem.Bytes();
    } else {
        decoded = JoinLines(body);
    }
    return ConvertToWindows1252(decoded, charset);
}

bool IsLink(std::string_view token) {
    while (!token.empty() &&
           std::string_view("<([\"'").find(token.front()) != std::string_view::npos)
        token.remove_prefix(1);
    const std::string lower = LowerCase(token.substr(0, 8));
    return lower.starts_with("http://") || lower.starts_with("https://") ||
           lower.starts_with("www.") || lower.starts_with("mailto:") || Contains(token, "://");
}

bool IsWordByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
           u >= 0xC0; // the accented letters of Windows-1252
}

// Whether the plain alternative of a multipart/alternative says something of its own. Mail
// programs may leave it empty, and newsletter software often puts in it only a notice to view
// the HTML ("Bekijk deze e-mail in uw browser", "This is an HTML message", "Lees de nieuwsbrief
// online: <link>") or a bare link to a web version. Only a short text that speaks of HTML, a
// browser or a web version, or of "online" or "web" next to a link, counts as such a notice: a
// letter that happens to mention one of them is still read.
bool SaysMoreThanViewTheHtml(std::string_view text) {
    constexpr std::size_t kNoticeWords = 40;
    static constexpr std::string_view kHtmlCues[] = {
        "html",      "browser",  "webversie", "web-versie",    "web version",
        "webpagina", "web page", "webpage",   "online versie", "online version"};
    static constexpr std::string_view kWebWords[] = {" online ", " web "};
    auto blank = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u <= ' ' || u == 0xA0; // a no-break space too
    };
    std::size_t words = 0;
    bool link = false;
    // The words without the links, in lower case, without the punctuation around them, each
    // with a blank before and after.
    std::string prose = " ";
    for (std::size_t i = 0; i < text.size();) {
        while (i < text.size() && blank(text[i]))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && !blank(text[i]))
            ++i;
        std::string_view token = text.substr(start, i - start);
        if (IsLink(token)) {
            link = true;
            continue;
        }
        while (!token.empty() && !IsWordByte(token.front()))
            token.remove_prefix(1);
        while (!token.empty() && !IsWordByte(token.back()))
            token.remove_suffix(1);
        if (token.empty()) continue;
        if (++words > kNoticeWords) return true;
        prose += LowerCase(token);
        prose += ' ';
    }
    if (words == 0) return false; // nothing, or only links
    const auto in = [&](std::string_view cue) { return Contains(prose, cue); };
    return std::none_of(std::begin(kHtmlCues), std::end(kHtmlCues), in) &&
           !(link && std::any_of(std::begin(kWebWords), std::end(kWebWords), in));
}

// Which part of a multipart/alternative to read. The parts are the same content in different
// forms (RFC 2046 5.1.4), and reading more than one reads the mail twice. In order of choice: a
// plain text that says something of its own; the HTML, alone or in a multipart with its images;
// another text that is not a calendar (an invitation's raw calendar data is not for reading);
// the plain text after all; the first part.
std::size_t ChooseAlternative(MessageIndex& index, PartHeaderReader& headers,
                              const std::vector<Range>& parts) {
    enum Rank { kOwnPlainText, kHtml, kOtherText, kPlainNotice, kOther };
    std::size_t chosen = 0;
    Rank best = kOther;
    for (std::size_t k = 0; k < parts.size() && best != kOwnPlainText; ++k) {
        Rank rank = kOther;
        if (MultipartTypeLine(index, parts[k])) {
            rank = kHtml;
        } else {
            const PartHeaders& h = headers.Of(parts[k]);
            const std::string& type = h.contentType;
            if (!h.fileName.empty() || !Contains(type, "TEXT")) {
                rank = kOther;
            } else if (type == "TEXT/PLAIN") {
                const Lines part = index.Slice(parts[k]);
                const Lines body = part.subspan(HeaderBlockLength(part));
                // A notice is a few dozen words: its first lines decide for a long text, which
                // is decoded once, when it is read, not twice.
                constexpr std::size_t kEnoughBytes = 16 * 1024;
                std::size_t head = 0;
                for (std::size_t bytes = 0; head < body.size() && bytes < kEnoughBytes; ++head)
                    bytes += body[head].size() + 2;
                bool own = SaysMoreThanViewTheHtml(
                    DecodedText(body.subspan(0, head), h.encoding, h.charset));
                if (!own && head < body.size())
                    own = SaysMoreThanViewTheHtml(DecodedText(body, h.encoding, h.charset));
                rank = own ? kOwnPlainText : kPlainNotice;
            } else if (type == "TEXT/HTML") {
                rank = kHtml;
            } else if (type != "TEXT/CALENDAR") {
                rank = kOtherText;
            }
        }
        if (rank < best) {
            best = rank;
            chosen = k;
        }
    }
    return chosen;
}

} // namespace

void TKorpMsg::ProcessPart(Lines whole) {
    MessageIndex index(whole);
    PartHeaderReader headers(index);
    // Parts to handle, the next one at the back; multiparts and enclosed messages push their
    // contents in order instead of recursing.
    std::vector<Pending> pending{{{0, whole.size()}, 0, false}};
    std::vector<Range> children;
    auto split = [&](const Pending& part, const std::string& typeLine) {
        SplitLevel(index, part.lines, typeLine, children);
        // typeLine may be the header reader's own, which choosing an alternative overwrites:
        // it is not read after that.
        if (UpperCase(GetHeaderValueWithoutParams(typeLine)) == "MULTIPART/ALTERNATIVE") {
            const std::size_t chosen = ChooseAlternative(index, headers, children);
            pending.push_back({children[chosen], part.depth + 1, true});
            return;
        }
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            pending.push_back({*it, part.depth + 1, true});
    };
    // Nested too deep to open: kept as it stands, a message a mail program can open, rather than
    // read aloud as markup or dropped.
    auto keepWhole = [&](Lines lines) { AddAttachment(lines, {}, "_cosa_.eml", {}); };
    while (!pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        const Lines part = index.Slice(p.lines);
        if (p.inMultipart) {
            if (const auto typeLine = MultipartTypeLine(index, p.lines)) {
                if (p.depth >= kMaxNesting)
                    keepWhole(part);
                else
                    split(p, *typeLine);
                continue;
            }
        }
        const PartHeaders& h = headers.Of(p.lines);
        if (Contains(h.contentType, "TEXT")) {
            const Lines body = part.subspan(HeaderBlockLength(part));
            if (!h.fileName.empty())
                AddAttachment(body, h.contentType, h.fileName, h.encoding);
            else
                AddTextPart(body, h.encoding, h.charset);
        } else if (Contains(h.contentType, "MULTIPART")) {
            if (p.depth >= kMaxNesting)
                keepWhole(part);
            else
                split(p, h.typeLine);
        } else if (!h.fileName.empty() || h.encoding == "X-UUENCODE") {
            AddAttachment(part.subspan(HeaderBlockLength(part)), h.contentType, h.fileName,
                          h.encoding);
        } else if (h.contentType == "MESSAGE/RFC822") {
            // The enclosed message's own header block decides how it is read.
            const std::size_t header = HeaderBlockLength(part);
            if (p.depth >= kMaxNesting)
                keepWhole(part.subspan(header));
            else
                pending.push_back({{p.lines.from + header, p.lines.to}, p.depth + 1, false});
        } else if (h.encoding == "BASE64" || h.encoding == "QUOTED-PRINTABLE") {
            AddAttachment(part.subspan(HeaderBlockLength(part)), h.contentType, {}, h.encoding);
        } else {
            AddTextLines(part.subspan(HeaderBlockLength(part)), h.charset);
        }
    }
}

void TKorpMsg::AddTextPart(Lines body, const std::string& encoding, const std::string& charset) {
    std::string name;
    // Most text holds no uuencoded block: then the body is the text, without a copy of its views.
    const std::size_t firstBegin = static_cast<std::size_t>(
        std::find_if(body.begin(), body.end(),
                     [&name](std::string_view line) { return IsUUBegin(line, name); }) -
        body.begin());
    if (firstBegin == body.size()) {
        if (encoding != "QUOTED-PRINTABLE" && encoding != "BASE64")
            AddTextLines(body, charset);
        else
            Text.AddText(DecodedText(body, encoding, charset));
        return;
    }
    // Uuencoded blocks inside the text become attachments; their "end" line stays in the text.
    std::vector<std::string_view> kept(body.begin(), body.begin() + firstBegin);
    std::vector<std::string_view> block;
    bool hadBlock = false;
    for (std::size_t i = firstBegin; i < body.size();) {
        if (!IsUUBegin(body[i], name)) {
            kept.push_back(body[i++]);
            continue;
        }
        hadBlock = true;
        block.clear();
        for (; i < body.size() && !IsUUEnd(body[i]); ++i)
            if (!body[i].empty()) block.push_back(body[i]);
        AddAttachment(block, "APPLICATION/OCTET-STREAM", name, "X-UUENCODE");
    }
    // After a uuencoded block the part counts as x-uuencode: the rest is taken as it stands.
    if (hadBlock || (encoding != "QUOTED-PRINTABLE" && encoding != "BASE64")) {
        AddTextLines(kept, charset);
        return;
    }
    Text.AddText(DecodedText(kept, encoding, charset));
}

void TKorpMsg::AddTextLines(Lines lines, const std::string& charset) {
    auto& text = Text.Lines();
    // Grown as push_back would grow it, so that many small parts cost no more than one large.
    if (text.capacity() < text.size() + lines.size())
        text.reserve(std::max(text.size() + lines.size(), 2 * text.capacity()));
    // The charset is looked at once for the whole part, not once a line.
    if (IsWindows1252Compatible(charset)) {
        for (const auto line : lines)
            text.emplace_back(line);
    } else {
        for (const auto line : lines)
            text.push_back(ConvertToWindows1252(line, charset));
    }
}

void TKorpMsg::AddAttachment(Lines lines, const std::string& type, std::string name,
                             const std::string& encoding) {
    for (const char c : std::string_view("\\/:*?\"<>|"))
        RemoveChar(name, c);
    if (type == "TEXT/HTML" && name.empty()) name = ChangeFileExt(Subject, ".html");
    if (name.empty()) name = "_cosa_";
    // Nothing reads that many attachments, and each costs a decoding and its memory: a message
    // made of thousands of tiny parts must not cost the reader a gigabyte.
    if (AttachedFiles.Count() >= kMaxAttachments) return;
    TAttachedFile& item = AttachedFiles.Add(name);
    if (encoding == "BASE64") {
        DecodeBase64Lines(lines, item.Data);
    } else if (encoding == "X-UUENCODE") {
        DecodeUULines(lines, item.Data);
    } else {
        std::string text = JoinLines(lines);
        if (encoding == "QUOTED-PRINTABLE") {
            // Decoded line ends of any kind come out as CR LF.
            TStringList decoded;
            decoded.SetText(DecodeQuotedPrintable(std::move(text)));
            text = decoded.Text();
        }
        if (text.size() >= 2) text.resize(text.size() - 2); // no line end after the last line
        item.Data.WriteBuffer(text);
        item.Data.SetPosition(0);
    }
}

} // namespace korp
