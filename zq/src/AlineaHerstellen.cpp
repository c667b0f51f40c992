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
    std::size_t width = 0;
    for (const std::string& r : raw) {
        lines.push_back(squeeze(r));
        const std::size_t len = lines.back().size();
        if (len >= kMinWrapWidth && len <= kMaxWrapWidth && !isListItem(lines.back()))
            width = std::max(width, len);
    }

    auto joins = [&](const std::string& previous, const std::string& next) {
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
               !isDigit(next[0]);
    };

    std::vector<std::string> out; // "" marks a paragraph break
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty()) {
            if (!out.empty() && !out.back().empty()) out.emplace_back();
            continue;
        }
        if (i > 0 && !out.empty() && !out.back().empty() && joins(lines[i - 1], line)) {
            std::string& current = out.back();
            if (!(current.size() > 1 && current.back() == '-' &&
                  isLetter(current[current.size() - 2])))
                current += ' ';
            current += line;
            continue;
        }
        out.push_back(line);
    }
    while (!out.empty() && out.back().empty())
        out.pop_back();
    for (std::string& line : out)
        closeLine(line);
    return joinLines(out);
}

} // namespace zq
