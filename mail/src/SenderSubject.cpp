#include <mail/SenderSubject.h>

#include <algorithm>

#include <korp/korp_util.h>

namespace brevon {

namespace {

// Blanks as korp::Trim sees them: every control character and the space.
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

using korp::Trim;

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

// Quotes, braces, parentheses and brackets go; "," and "." are read as blanks.
std::string SpeakableName(std::string_view raw) {
    std::string name;
    name.reserve(raw.size());
    for (const char c : raw) {
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
    return name;
}

// A run of reply and forward prefixes at the start of s, each a word of the list in any case,
// an optional count ("[2]", "(3)") and a ":", with blanks between; the length of the run and
// the blanks after it. A word that merely starts like one ("Reservering", "Re-integratie")
// is no prefix.
std::size_t PrefixRunLength(std::string_view s) {
    // Re, Fw, Fwd and their translations: Antw/Doorst (Dutch), AW/WG (German), TR/RV (French,
    // Spanish), SV (Scandinavian), VS (Finnish).
    static constexpr std::string_view kWords[] = {"re", "fw", "fwd", "antw", "doorst", "aw",
                                                  "wg", "tr", "rv",  "sv",   "vs"};
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const auto skipBlanks = [&s](std::size_t i) {
        while (i < s.size() && IsBlank(s[i]))
            ++i;
        return i;
    };
    std::size_t run = 0;
    for (;;) {
        std::size_t i = run;
        while (i < s.size() && isLetter(s[i]))
            ++i;
        std::string word(s.substr(run, i - run));
        std::transform(word.begin(), word.end(), word.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
        if (std::find(std::begin(kWords), std::end(kWords), word) == std::end(kWords)) break;
        i = skipBlanks(i);
        if (i < s.size() && (s[i] == '[' || s[i] == '(')) {
            const char close = s[i] == '[' ? ']' : ')';
            std::size_t j = i + 1;
            while (j < s.size() && isDigit(s[j]))
                ++j;
            if (j == i + 1 || j >= s.size() || s[j] != close) break;
            i = skipBlanks(j + 1);
        }
        if (i >= s.size() || s[i] != ':') break;
        run = skipBlanks(i + 1);
    }
    return run;
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
    parts.name = SpeakableName(parts.name);
    // A display name of nothing but quotes or blanks ('"" <jan@x.nl>', as address lists come
    // out of the parser when their names were quoted) is no name either.
    if (Trim(parts.name).empty()) {
        const std::size_t at = parts.address.find('@');
        parts.name =
            at == std::string::npos ? std::string() : SpeakableName(parts.address.substr(0, at));
    }
    return parts;
}

std::string_view FirstAddress(std::string_view list) {
    bool quoted = false;
    bool bracketed = false;
    std::size_t i = 0;
    for (; i < list.size(); ++i) {
        const char c = list[i];
        if (c == '"' && !bracketed)
            quoted = !quoted;
        else if (c == '<' && !quoted)
            bracketed = true;
        else if (c == '>' && !quoted)
            bracketed = false;
        else if (c == ',' && !quoted && !bracketed)
            break;
    }
    return Trim(list.substr(0, i));
}

SenderParts MessageSender(std::string_view from, std::string_view sender,
                          std::string_view replyTo) {
    for (const std::string_view value : {from, FirstAddress(sender), FirstAddress(replyTo)}) {
        SenderParts parts = SplitSender(value);
        // Quotes or brackets alone ('""', "<>") say nothing of who sent it.
        if (!Trim(parts.name).empty() || !Trim(SpeakableName(parts.address)).empty()) return parts;
    }
    return {};
}

std::string CleanSubject(std::string_view subject) {
    std::string s(Trim(subject));
    for (;;) {
        const std::size_t before = s.size();
        if (s.empty()) break;
        if (s.size() >= 5 && s.find("(fwd)") == s.size() - 5)
            s = std::string(Trim(s.substr(0, s.size() - 5)));
        // A list's tag goes before the reply marks ("[Nieuws] Re: vergadering").
        if (const std::size_t close = s.find(']');
            !s.empty() && s.front() == '[' && close != std::string::npos) {
            const std::string_view after = Trim(std::string_view(s).substr(close + 1));
            const std::size_t run = PrefixRunLength(after);
            if (run > 0) {
                const std::string_view rest = after.substr(run);
                s = s.substr(0, close + 1) + (rest.empty() ? "" : " ") + std::string(rest);
            }
        }
        if (!s.empty() && s.front() == '[') s.erase(0, 1);
        if (!s.empty() && s.back() == ']') s.pop_back();
        if (const std::size_t run = PrefixRunLength(s); run > 0)
            s = std::string(Trim(std::string_view(s).substr(run)));
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
    return HeaderSentence(position, listLine, {});
}

std::string HeaderSentence(int position, std::string_view listLine, std::string_view arrival) {
    const TabParts parts = SplitAtTab(listLine);
    const std::string_view sender =
        Trim(parts.before).empty() ? std::string_view(kUnknownSender) : parts.before;
    std::string sentence = std::to_string(position) + ". Van " + std::string(sender);
    if (!arrival.empty()) sentence += ", " + std::string(arrival);
    sentence += ". ";
    if (parts.after.empty())
        sentence += "\\+Geen onderwerp";
    else
        sentence += "Onderwerp: " + parts.after;
    return sentence;
}

} // namespace brevon
