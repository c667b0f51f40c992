#include "AlineaHerstellen.h"

#include <algorithm>

#include "RuleFile.h"
#include "Text1252.h"

namespace zq {

namespace {

// Lines shorter than this never set the wrap width: a text of short lines was not wrapped.
constexpr std::size_t kMinWrapWidth = 40;
// Lines longer than this were not wrapped by a mail program.
constexpr std::size_t kMaxWrapWidth = 100;

std::string squeeze(std::string_view line) {
    std::string out;
    for (char c : trim(line)) {
        const bool blank = c == ' ' || c == '\t' || uc(c) == 0xA0;
        if (blank) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

bool isListItem(std::string_view line) {
    line = trim(line);
    if (line.size() < 2) return false;
    const unsigned char first = uc(line[0]);
    if ((first == '-' || first == '*' || first == '+' || first == 0x95 || first == 0x96 ||
         first == 0xB7) &&
        line[1] == ' ')
        return true;
    std::size_t i = 0;
    while (i < line.size() && i < 3 && isDigit(line[i]))
        ++i;
    if (i == 0 && isLetter(line[0]) && line[1] == ')') i = 1;
    return i > 0 && i + 1 < line.size() && (line[i] == '.' || line[i] == ')') && line[i + 1] == ' ';
}

// "26 maart om half vijf": a number that a lower-case word follows goes on with the sentence
// the line above broke off, unlike a row of figures, a phone number or a postcode.
bool startsWithNumberInSentence(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && isDigit(line[i]))
        ++i;
    return i > 0 && i + 1 < line.size() && line[i] == ' ' && isLetter(line[i + 1]) &&
           !isUpper(line[i + 1]);
}

std::size_t firstWordLength(std::string_view line) {
    const std::size_t space = line.find(' ');
    return space == std::string_view::npos ? line.size() : space;
}

bool endsSentence(char c) {
    return c == '.' || c == '!' || c == '?' || c == ':' || uc(c) == 0x85;
}

// A line kept on its own gets a full stop when it ends in a word, so the voice pauses.
void closeLine(std::string& line) {
    if (line.empty()) return;
    const char c = line.back();
    if (isAlnum(c) || c == ')' || c == '"' || c == '\'' || uc(c) == 0x94 || uc(c) == 0x92)
        line += '.';
}

} // namespace

void AlineaHerstellen::setRules(const RuleFile& rules) {
    clearRules();
    for (const auto& [greeting, unused] : rules.section("groeten"))
        greetings_.push_back(greeting);
}

void AlineaHerstellen::clearRules() {
    greetings_.clear();
}

bool AlineaHerstellen::isGreeting(std::string_view line) const {
    if (line.size() > 60) return false;
    for (const std::string& g : greetings_) {
        if (!startsWithNoCase(line, g)) continue;
        if (line.size() == g.size() || !isLetter(line[g.size()])) return true;
    }
    return false;
}

std::string AlineaHerstellen::process(std::string_view text) const {
    const std::vector<std::string> raw = splitLines(text);
    std::vector<std::string> lines;
    lines.reserve(raw.size());
    for (const std::string& r : raw)
        lines.push_back(squeeze(r));
    // The wrap width of each paragraph: its longest line of wrappable length. A paragraph of
    // short lines (an address, a poem) was not wrapped.
    std::vector<std::size_t> widths(lines.size(), 0);
    for (std::size_t b = 0; b < lines.size();) {
        std::size_t e = b, width = 0;
        for (; e < lines.size() && !lines[e].empty(); ++e) {
            const std::size_t len = lines[e].size();
            if (len >= kMinWrapWidth && len <= kMaxWrapWidth && !isListItem(lines[e]))
                width = std::max(width, len);
        }
        for (std::size_t k = b; k < e; ++k)
            widths[k] = width;
        b = e == b ? e + 1 : e;
    }

    auto joins = [&](const std::string& previous, const std::string& next, std::size_t width) {
        if (previous.empty() || next.empty() || isListItem(next)) return false;
        if (isGreeting(previous) || isGreeting(next)) return false;
        const char last = previous.back();
        if (last == ':') return false;
        // "Noord-" + "Holland": a hyphenated word broken at its hyphen
        if (last == '-' && previous.size() > 1 && isLetter(previous[previous.size() - 2]))
            return true;
        if (width == 0) return false;
        // the next line's first word would not have fitted: the mail program wrapped here
        if (previous.size() + 1 + firstWordLength(next) > width) return true;
        // a nearly full line that stops mid-sentence
        return previous.size() * 10 >= width * 8 && !endsSentence(last) && !isUpper(next[0]) &&
               (!isDigit(next[0]) || (isLetter(last) && startsWithNumberInSentence(next)));
    };

    std::vector<std::string> out; // "" marks a paragraph break
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty()) {
            if (!out.empty() && !out.back().empty()) out.emplace_back();
            continue;
        }
        if (i > 0 && !out.empty() && !out.back().empty() && joins(lines[i - 1], line, widths[i])) {
            std::string& current = out.back();
            if (!(current.size() > 1 && current.back() == '-' &&
                  isLetter(current[current.size() - 2])))
                current += ' ';
            current += line;
            continue;
        }
        // a kept line that runs on in lower case gets no full stop: it is part of a sentence
        if (!out.empty() && !out.back().empty() &&
            (isUpper(line[0]) || isListItem(line) || isGreeting(out.back()) || isDigit(line[0])))
            closeLine(out.back());
        out.push_back(line);
    }
    while (!out.empty() && out.back().empty())
        out.pop_back();
    for (std::size_t i = 0; i < out.size(); ++i)
        if (i + 1 == out.size() || out[i + 1].empty()) closeLine(out[i]);
    return joinLines(out);
}

} // namespace zq
