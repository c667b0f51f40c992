#include <mail/SenderSubject.h>

#include <algorithm>

namespace brevon {

namespace {

// Blanks as the original's trimming saw them: every control character and the space.
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The part of s between open and the first close after it, and s without that part. A
// missing close runs to the end, so no input reads out of range.
struct Cut {
    std::string inside;
    std::string rest;
};
Cut CutBracketed(std::string_view s, std::size_t open, char close) {
    std::size_t end = s.find(close, open + 1);
    const std::size_t insideEnd = end == std::string_view::npos ? s.size() : end;
    const std::size_t restFrom = end == std::string_view::npos ? s.size() : end + 1;
    Cut cut;
    cut.inside = std::string(s.substr(open + 1, insideEnd - open - 1));
    cut.rest = std::string(s.substr(0, open)) + std::string(s.substr(restFrom));
    return cut;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

} // namespace

SenderParts SplitSender(std::string_view from) {
    const std::string_view s = Trim(from);
    SenderParts parts;
    parts.address = std::string(s);
    if (const std::size_t lt = s.find('<'); lt != std::string_view::npos) {
        Cut cut = CutBracketed(s, lt, '>');
        parts.address = std::move(cut.inside);
        parts.name = std::string(Trim(cut.rest));
    } else if (const std::size_t lp = s.find('('); lp != std::string_view::npos) {
        Cut cut = CutBracketed(s, lp, ')');
        parts.name = std::move(cut.inside);
        parts.address = std::string(Trim(cut.rest));
    }
    if (parts.name.empty()) {
        const std::size_t at = parts.address.find('@');
        if (at != std::string::npos) parts.name = parts.address.substr(0, at);
    }
    std::string name;
    name.reserve(parts.name.size());
    for (const char c : parts.name) {
        switch (c) {
        case '"':
        case '\'':
        case '{':
        case '}':
        case '(':
        case ')':
        case '[':
        case ']':
            break;
        case ',':
        case '.':
            name += ' ';
            break;
        default:
            name += c;
        }
    }
    parts.name = std::move(name);
    return parts;
}

std::string CleanSubject(std::string_view subject) {
    std::string s(Trim(subject));
    for (;;) {
        const std::size_t before = s.size();
        if (s.empty()) break;
        if (s.size() >= 5 && s.find("(fwd)") == s.size() - 5)
            s = std::string(Trim(s.substr(0, s.size() - 5)));
        if (!s.empty() && s.front() == '[') s.erase(0, 1);
        if (!s.empty() && s.back() == ']') s.pop_back();
        if (StartsWith(s, "Fwd:") || StartsWith(s, "FWD:"))
            s = std::string(Trim(std::string_view(s).substr(4)));
        else if (StartsWith(s, "Fw:") || StartsWith(s, "FW:") || StartsWith(s, "Re:") ||
                 StartsWith(s, "RE:"))
            s = std::string(Trim(std::string_view(s).substr(3)));
        if (s.size() == before) break;
    }
    return s;
}

TabParts SplitAtTab(std::string_view line) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return {std::string(), std::string(line)};
    return {std::string(line.substr(0, tab)), std::string(line.substr(tab + 1))};
}

std::string ReplaceNum(std::string_view text, long long number) {
    std::string result(text);
    const std::size_t at = result.find("%NUM");
    if (at != std::string::npos) result.replace(at, 4, std::to_string(number));
    return result;
}

std::string ListLine(std::string_view senderName, std::string_view cleanedSubject) {
    std::string line;
    line.reserve(senderName.size() + 1 + cleanedSubject.size());
    const auto append = [&line](std::string_view part) {
        for (const char c : part)
            line += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
    };
    append(senderName);
    line += '\t';
    append(cleanedSubject);
    return line;
}

std::string HeaderSentence(int position, std::string_view listLine) {
    const TabParts parts = SplitAtTab(listLine);
    std::string sentence = std::to_string(position) + ". Van " + parts.before + ". ";
    if (parts.after.empty())
        sentence += "\\+Geen onderwerp";
    else
        sentence += "Onderwerp: " + parts.after;
    return sentence;
}

} // namespace brevon
