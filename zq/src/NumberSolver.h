// NumberSolver: writes numbers, times, dates, amounts, percentages, ordinals, telephone numbers
// and codes as Dutch words, so a voice never reads digits oddly.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zq {

class RuleFile;

class NumberSolver {
public:
    NumberSolver();
    // Takes the units of section [eenheden] ("km = kilometer", "min = minuut | minuten") and the
    // word lists that tell a date, a code or a telephone number by the words around it.
    void setRules(const RuleFile& rules);
    void clearRules();

    std::string process(std::string_view text) const;

    // unit as written -> (singular, plural)
    using UnitMap = std::map<std::string, std::pair<std::string, std::string>, std::less<>>;
    // Words and phrases in lower case; one starting with '-' also ends a compound ("-datum":
    // "regendatum").
    using WordList = std::vector<std::string>;
    // word as written -> as it is said
    using Spoken = std::map<std::string, std::string, std::less<>>;

    struct Rules {
        UnitMap units;
        WordList dateCues;    // [datumwoorden]: "vóór 2-5" is a date
        WordList quantities;  // [hoeveelheden]: "3-4 personen" stays a range
        WordList codeCues;    // [codewoorden]: "klantnummer 11223344" is read digit by digit
        WordList phoneCues;   // [telefoonwoorden]: "bel 144" is dialled, digit by digit
        Spoken per;           // [per]: "/maand" after an amount is "per maand" (lower case)
        WordList titleWords;  // [titelwoorden]: "Deel III" is "Deel drie"
        WordList regnalNames; // [vorstennamen]: "Karel V" is "Karel de Vijfde"
        Spoken letterWords;   // [letterwoorden]: "VS" as it is said, case as written
    };

private:
    Rules rules_;
};

} // namespace zq
