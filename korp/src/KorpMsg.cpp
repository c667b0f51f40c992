#include <korp/KorpMsg.h>

#include <algorithm>
#include <charconv>

#include <korp/KorpCharset.h>
#include <korp/KorpMIME.h>
#include <korp/korp_util.h>

namespace korp {

namespace {

using Lines = std::span<const std::string_view>;

bool Contains(std::string_view s, std::string_view what) {
    return s.find(what) != std::string_view::npos;
}

std::vector<std::string_view> Views(const TStringList& lines) {
    std::vector<std::string_view> views;
    views.reserve(lines.Count());
    for (const auto& line : lines)
        views.emplace_back(line);
    return views;
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

struct PartHeaders {
    std::string contentType;
    std::string fileName;
    std::string encoding;
    std::string charset;
};

PartHeaders GetPartHeaders(Lines part) {
    PartHeaders h;
    if (const auto line = FindHeader("CONTENT-TYPE:", part)) {
        h.contentType = UpperCase(GetHeaderParam("CONTENT-TYPE:", *line));
        // "NAME" also matches a filename parameter here.
        h.fileName = GetHeaderParam("NAME", *line);
        h.charset = CharsetOfContentType(*line);
    } else {
        h.contentType = "TEXT/PLAIN";
    }
    if (const auto line = FindHeader("CONTENT-TRANSFER-ENCODING:", part))
        h.encoding = UpperCase(GetHeaderParam("CONTENT-TRANSFER-ENCODING:", *line));
    else
        h.encoding = "7BIT";
    if (h.fileName.empty()) {
        if (const auto line = FindHeader("CONTENT-DISPOSITION:", part))
            h.fileName = GetHeaderParam("FILENAME", *line);
    }
    if (!h.fileName.empty()) {
        h.fileName.erase(0, 1); // the "=" of the parameter
        if (!h.fileName.empty()) {
            Unquote(h.fileName);
            h.fileName = std::string(Trim(DecodeEncodedWords(h.fileName)));
        }
    }
    return h;
}

// A uuencode "begin" line: "begin", a mode of three decimal digits from 1 to 776 at characters
// 7 to 9, the file name from character 11 (at most 64 characters).
bool IsUUBegin(std::string_view line, std::string& name) {
    if (line.size() <= 10 || LowerCase(line.substr(0, 5)) != "begin") return false;
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

} // namespace

// ---- header helpers ----

std::optional<std::string> FindHeader(std::string_view name, Lines lines) {
    std::size_t i = 0;
    while (i < lines.size() && lines[i].empty())
        ++i;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
        const std::string_view line = lines[i];
        if (!StartsWithUpper(line, name)) continue;
        std::string result(line);
        for (std::size_t k = i + 1; k < lines.size(); ++k) {
            const std::string_view next = lines[k];
            if (next.empty() || (next[0] != ' ' && next[0] != '\t')) break;
            result += Trim(next);
        }
        return result;
    }
    return std::nullopt;
}

std::optional<std::string> FindHeader(std::string_view name, const TStringList& lines) {
    const auto views = Views(lines);
    return FindHeader(name, Lines(views));
}

std::string GetHeaderParam(std::string_view key, std::string_view line) {
    const std::size_t p = UpperCase(line).find(key);
    if (p == std::string::npos) return {};
    std::string_view value = Trim(line.substr(p + key.size()));
    const std::size_t semi = value.find(';');
    if (semi != std::string_view::npos) value = Trim(value.substr(0, semi));
    return std::string(value);
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
    const auto views = Views(lines);
    const std::size_t n = HeaderBlockLength(views);
    auto& v = lines.Lines();
    v.erase(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n));
}

std::string GetBoundary(std::string_view headerLine) {
    const std::size_t p = UpperCase(headerLine).find("BOUNDARY");
    std::string_view value;
    if (p != std::string::npos) value = headerLine.substr(p + 8, 72);
    value = Trim(value);
    if (!value.empty()) value.remove_prefix(1); // the "="
    value = Trim(value);
    if (value.starts_with('"')) {
        value.remove_prefix(1);
        value = value.substr(0, value.find('"'));
    }
    value = Trim(value.substr(0, value.find(';')));
    std::string boundary = "--";
    boundary += value;
    return boundary;
}

std::vector<Lines> SplitMultipart(Lines lines) {
    // Depth first with an explicit stack: nesting as deep as the input allows cannot overflow
    // the call stack.
    std::vector<Lines> leaves;
    std::vector<Lines> pending{lines};
    std::vector<Lines> children;
    while (!pending.empty()) {
        const Lines part = pending.back();
        pending.pop_back();
        const auto header = FindHeader("CONTENT-TYPE:", part);
        if (!header || !Contains(UpperCase(*header), "MULTIPART")) {
            leaves.push_back(part);
            continue;
        }
        const Lines body = part.subspan(HeaderBlockLength(part));
        const std::string boundary = GetBoundary(*header);
        const std::string endDelimiter = boundary + "--";
        children.clear();
        std::size_t i = 0;
        while (i < body.size() && body[i] != boundary)
            ++i; // the preamble goes
        std::size_t start = body.size();
        if (i < body.size()) {
            start = ++i;
            while (i < body.size() && body[i] != endDelimiter) {
                if (body[i] == boundary) {
                    children.push_back(body.subspan(start, i - start));
                    start = ++i;
                    if (i < body.size()) ++i; // the line after a boundary is part of the next part
                } else {
                    ++i;
                }
            }
        }
        children.push_back(body.subspan(start, std::min(i, body.size()) - start));
        pending.insert(pending.end(), children.rbegin(), children.rend());
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

std::string DecodeAddressList(std::string_view value) {
    // Quoted strings go, quotes included, with any commas inside them; a lone quote goes alone.
    std::string rest;
    std::size_t i = 0;
    for (;;) {
        const std::size_t first = value.find('"', i);
        if (first == std::string_view::npos) {
            rest.append(value.substr(i));
            break;
        }
        rest.append(value.substr(i, first - i));
        const std::size_t second = value.find('"', first + 1);
        if (second == std::string_view::npos) {
            rest.append(value.substr(first + 1));
            break;
        }
        i = second + 1;
    }
    std::string result;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = rest.find(',', start);
        const std::string_view entry = std::string_view(rest).substr(
            start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!result.empty()) result += ", ";
        result += ExtractDisplayName(DecodeEncodedWords(entry));
        result += ' ';
        result += ExtractAddress(entry);
        if (comma == std::string::npos) break;
        start = comma + 1;
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
    const auto& raw = RawMail.Lines();
    for (const auto& line : raw) {
        if (line.empty()) break;
        Headers.Add(line);
    }
    SetHeaderFields();
    {
        // The parts are ranges of views on RawMail: no copy of the message is made.
        const auto views = Views(RawMail);
        ProcessPart(views);
    }
    if (ClearRawMailAfterParse) RawMail.Clear();
}

void TKorpMsg::SetHeaderFields() {
    const auto views = Views(Headers);
    const Lines headers(views);
    // A leading mailbox envelope line "From sender date": its sender field.
    if (!views.empty())
        From = std::string(views[0].substr(std::min<std::size_t>(5, views[0].size()), 72));

    auto value = [&](std::string_view name) -> std::optional<std::string> {
        const auto line = FindHeader(name, headers);
        if (!line) return std::nullopt;
        return RawHeaderToWindows1252(GetHeaderParam(name, *line));
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
    const auto type = value("CONTENT-TYPE:");
    ContentType = type ? UpperCase(*type) : "TEXT/PLAIN";
    const auto encoding = value("CONTENT-TRANSFER-ENCODING:");
    ContentTransferEncoding = encoding ? UpperCase(*encoding) : "7BIT";
}

void TKorpMsg::ProcessPart(Lines whole) {
    // Parts to handle, the next one at the back; multiparts and enclosed messages push their
    // contents in order instead of recursing.
    std::vector<Lines> pending{whole};
    while (!pending.empty()) {
        const Lines part = pending.back();
        pending.pop_back();
        const PartHeaders h = GetPartHeaders(part);
        if (Contains(h.contentType, "TEXT")) {
            const Lines body = part.subspan(HeaderBlockLength(part));
            if (!h.fileName.empty())
                AddAttachment(body, h.contentType, h.fileName, h.encoding);
            else
                AddTextPart(body, h.encoding, h.charset);
        } else if (Contains(h.contentType, "MULTIPART")) {
            const auto leaves = SplitMultipart(part);
            pending.insert(pending.end(), leaves.rbegin(), leaves.rend());
        } else if (!h.fileName.empty() || h.encoding == "X-UUENCODE") {
            AddAttachment(part.subspan(HeaderBlockLength(part)), h.contentType, h.fileName,
                          h.encoding);
        } else if (h.contentType == "MESSAGE/RFC822") {
            // The enclosed message's own header block decides how it is read.
            pending.push_back(part.subspan(HeaderBlockLength(part)));
        } else if (h.encoding == "BASE64" || h.encoding == "QUOTED-PRINTABLE") {
            AddAttachment(part.subspan(HeaderBlockLength(part)), h.contentType, {}, h.encoding);
        } else {
            for (const auto line : part.subspan(HeaderBlockLength(part)))
                Text.Add(ConvertToWindows1252(line, h.charset));
        }
    }
}

void TKorpMsg::AddTextPart(Lines body, const std::string& encoding, const std::string& charset) {
    // Uuencoded blocks inside the text become attachments; their "end" line stays in the text.
    std::vector<std::string_view> kept;
    kept.reserve(body.size());
    std::vector<std::string_view> block;
    bool hadBlock = false;
    std::string name;
    for (std::size_t i = 0; i < body.size();) {
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
    const std::string effective = hadBlock ? std::string("X-UUENCODE") : encoding;
    std::string decoded;
    if (effective == "QUOTED-PRINTABLE") {
        decoded = DecodeQuotedPrintable(JoinLines(kept));
    } else if (effective == "BASE64") {
        TMemoryStream mem;
        {
            TBase64DecodingStream decoder(mem);
            for (const auto line : kept)
                decoder.Write(line.data(), line.size());
        }
        decoded = mem.Bytes();
    } else {
        for (const auto line : kept)
            Text.Add(ConvertToWindows1252(line, charset));
        return;
    }
    if (!IsWindows1252Compatible(charset)) decoded = ConvertToWindows1252(decoded, charset);
    Text.AddText(decoded);
}

void TKorpMsg::AddAttachment(Lines lines, const std::string& type, std::string name,
                             const std::string& encoding) {
    for (const char c : std::string_view("\\/:*?\"<>|"))
        RemoveChar(name, c);
    if (type == "TEXT/HTML" && name.empty()) name = ChangeFileExt(Subject, ".html");
    if (name.empty()) name = "_cosa_";
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
