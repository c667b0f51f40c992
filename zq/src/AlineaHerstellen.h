// AlineaHerstellen: joins hard-wrapped lines into paragraphs. Blank lines stay paragraph
// breaks; list items, greetings and other short lines keep their own line and get a closing
// full stop when they have none, so that a voice pauses after them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zq {

class RuleFile;

class AlineaHerstellen {
public:
    // Section [groeten]: openings and closings that always keep their own line.
    void setRules(const RuleFile& rules);
    void clearRules();

    std::string process(std::string_view text) const;

private:
    bool isGreeting(std::string_view line) const;
    std::vector<std::string> greetings_;
};

} // namespace zq
