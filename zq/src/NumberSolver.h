// NumberSolver: writes numbers, times, dates, amounts, percentages, ordinals and telephone
// numbers as Dutch words, so a voice never reads digits oddly.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace zq {

class RuleFile;

class NumberSolver {
public:
    NumberSolver();
    // Takes the units of section [eenheden]: "km = kilometer", "min = minuut | minuten".
    void setRules(const RuleFile& rules);
    void clearRules();

    std::string process(std::string_view text) const;

    // unit as written -> (singular, plural)
    using UnitMap = std::map<std::string, std::pair<std::string, std::string>, std::less<>>;

private:
    UnitMap units_;
};

} // namespace zq
