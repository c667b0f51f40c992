#include "NumberSolver.h"

#include <algorithm>
#include <array>
#include <optional>
#include <tuple>
#include <vector>

#include "DutchNumbers.h"
#include "RuleFile.h"
#include "Text1252.h"

namespace zq {

namespace {

constexpr std::array<const char*, 12> kMonths = {"januari",   "februari", "maart",    "april",
                                                 "mei",       "juni",     "juli",     "augustus",
                                                 "september", "oktober",  "november", "december"};

struct MonthWord {
    const char* word;
    int month; // 1-based
};
constexpr std::array<MonthWord, 26> kMonthWords = {{
    {"januari", 1}, {"jan", 1},       {"februari", 2},  {"feb", 2},  {"maart", 3},
    {"mrt", 3},     {"maa", 3},       {"april", 4},     {"apr", 4},  {"mei", 5},
    {"juni", 6},    {"jun", 6},       {"juli", 7},      {"jul", 7},  {"augustus", 8},
    {"aug", 8},     {"september", 9}, {"sep", 9},       {"sept", 9}, {"oktober", 10},
    {"okt", 10},    {"october", 10},  {"november", 11}, {"nov", 11}, {"december", 12},
    {"dec", 12},
}};

struct DayWord {
    const char* abbreviation;
    const char* name;
};
constexpr std::array<DayWord, 7> kDays = {{{"ma", "maandag"},
                                           {"di", "dinsdag"},
                                           {"wo", "woensdag"},
                                           {"do", "donderdag"},
                                           {"vr", "vrijdag"},
                                           {"za", "zaterdag"},
                                           {"zo", "zondag"}}};

struct Currency {
    const char* name;
    const char* subunit;
};
constexpr Currency kEuro{"euro", "cent"};
constexpr Currency kDollar{"dollar", "cent"};
constexpr Currency kPound{"pond", "pence"};

// Words that make "9.30" a time of day rather than a number.
constexpr std::array<const char*, 9> kTimeLeads = {"om",     "vanaf", "tot", "van", "rond",
                                                   "tussen", "voor",  "na",  "en"};

// Groups of a code ("NL91 ABNA 0417 1643 00" has five) and factors of a size ("30x20x10").
constexpr std::size_t kMaxCodeGroups = 8;
constexpr std::size_t kMaxCodeChunk = 40; // an IBAN has 34 characters at most
constexpr std::size_t kMaxFactors = 4;

// A number as written: integer part, thousands separators, decimals, version-like tails.
struct Num {
    std::size_t end = 0;
    std::uint64_t value = 0;
    std::string intDigits;
    std::string decimals;
    std::vector<std::string> pointParts; // "2.4.1": the parts after the first
    bool zeroCents = false;              // "12,-"
    bool leadingZero = false;            // "007": an identifier, read digit by digit
    bool tooLong = false;
    bool code = false; // seven digits or more in one run: longer than a quantity is written
    bool digitByDigit() const { return leadingZero || tooLong || code; }
};

class Scanner {
public:
    Scanner(std::string_view text, const NumberSolver::Rules& rules)
        : t_(text), rules_(rules), units_(rules.units) {}
    std::string run();

private:
    char at(std::size_t i) const { return i < t_.size() ? t_[i] : '\0'; }
    bool digitAt(std::size_t i) const { return isDigit(at(i)); }
    bool alnumAt(std::size_t i) const { return i < t_.size() && isAlnum(t_[i]); }
    bool letterAt(std::size_t i) const { return i < t_.size() && isLetter(t_[i]); }
    std::size_t digitsEnd(std::size_t i) const {
        while (digitAt(i))
            ++i;
        return i;
    }
    std::uint64_t value(std::size_t from, std::size_t to) const {
        std::uint64_t v = 0;
        for (std::size_t i = from; i < to; ++i)
            v = v * 10 + static_cast<unsigned>(t_[i] - '0');
        return v;
    }
    std::size_t wordEnd(std::size_t i) const {
        while (letterAt(i))
            ++i;
        return i;
    }
    // Index after a month word starting at i (with its abbreviation dot); 0 when none.
    std::size_t monthAt(std::size_t i, int& month) const;
    bool precededByTimeLead(std::size_t i) const;

    Num parseNumber(std::size_t i) const;
    std::string numberWords(const Num& n) const;
    std::string amountWords(const Num& n, const Currency& c) const;

    struct Match {
        std::size_t end;
        std::string words;
    };
    std::optional<Match> matchDate(std::size_t i) const;
    std::optional<Match> matchTime(std::size_t i, bool allowRange = true, bool cued = false) const;
    std::optional<Match> matchPhone(std::size_t i) const;
    std::optional<Match> matchPostcode(std::size_t i) const;
    std::optional<Match> matchNumber(std::size_t i) const;
    std::optional<Match> matchCurrencyPrefix(std::size_t i) const;
    std::optional<Match> matchInternationalPhone(std::size_t i) const;
    std::optional<Match> matchWeekday(std::size_t i) const;
    // The day whose abbreviation starts at i, end set after it (and its dot).
    const DayWord* dayAt(std::size_t i, std::size_t& end) const;

    void emit(std::string& out, const std::string& words, std::size_t next) const;

    // Context: the words around a number that say what it is.
    std::size_t backOverBlanks(std::size_t i, bool label) const;
    std::size_t wordStart(std::size_t e) const {
        while (e > 0 && isLetter(t_[e - 1]))
            --e;
        return e;
    }
    bool endsWithCue(std::size_t e, const NumberSolver::WordList& cues) const;
    bool dateCued(std::size_t i) const;
    bool codeCued(std::size_t i) const;
    bool numberCued(std::size_t i) const;
    bool codeNamedAfter(std::size_t i) const;
    bool phoneCued(std::size_t i) const;
    bool quantityAfter(std::size_t j) const;
    bool afterTitleWord(std::size_t i) const;
    std::optional<Match> unitAfter(std::size_t k, bool plural) const;

    std::optional<Match> matchDayMonth(std::size_t i) const;
    std::optional<Match> matchCode(std::size_t i, bool cued) const;
    std::optional<Match> matchServiceNumber(std::size_t i) const;
    std::optional<Match> matchFraction(std::size_t i) const;
    std::optional<Match> matchFactors(std::size_t i) const;
    std::optional<Match> matchNumberSign(std::size_t i) const;
    std::optional<Match> matchWord(std::size_t i) const;
    std::optional<Match> matchRoman(std::size_t i, std::size_t end) const;
    std::optional<Match> matchPer(std::size_t j) const;

    std::string_view t_;
    const NumberSolver::Rules& rules_;
    const NumberSolver::UnitMap& units_;
};

std::size_t Scanner::monthAt(std::size_t i, int& month) const {
    const std::size_t end = wordEnd(i);
    if (end == i) return 0;
    const std::string_view word = t_.substr(i, end - i);
    for (const MonthWord& m : kMonthWords) {
        if (!equalsNoCase(word, m.word)) continue;
        month = m.month;
        // an abbreviation keeps its dot: "14 mrt. 2000"; after "mei", "juni" or "juli", which
        // are whole names, the dot ends the sentence
        const bool wholeName = equalsNoCase(word, kMonths[static_cast<std::size_t>(m.month - 1)]);
        if (at(end) == '.' && std::string_view(m.word).size() < 5 && !wholeName) return end + 1;
        return end;
    }
    return 0;
}

bool Scanner::precededByTimeLead(std::size_t i) const {
    std::size_t e = i;
    while (e > 0 && t_[e - 1] == ' ')
        --e;
    std::size_t b = e;
    while (b > 0 && isLetter(t_[b - 1]))
        --b;
    if (b == e) return false;
    const std::string_view word = t_.substr(b, e - b);
    for (const char* lead : kTimeLeads)
        if (equalsNoCase(word, lead)) return true;
    return false;
}

Num Scanner::parseNumber(std::size_t i) const {
    Num n;
    std::size_t j = digitsEnd(i);
    n.intDigits = std::string(t_.substr(i, j - i));
    if (n.intDigits.size() > 1 && n.intDigits[0] == '0') {
        n.leadingZero = true;
        n.end = j;
        return n;
    }
    auto groupOf3 = [&](std::size_t k, char sep) {
        return at(k) == sep && digitAt(k + 1) && digitAt(k + 2) && digitAt(k + 3) &&
               !digitAt(k + 4);
    };
    bool grouped = false;
    if (n.intDigits.size() <= 3) {
        // "1.250.000" (Dutch thousands); "1,250,000" only with two groups, since "1,250" is a
        // Dutch decimal
        const bool commaGroups = groupOf3(j, ',') && groupOf3(j + 4, ',');
        const char sep = commaGroups ? ',' : '.';
        const std::size_t start = j;
        while (groupOf3(j, sep)) {
            n.intDigits += t_.substr(j + 1, 3);
            j += 4;
            grouped = true;
        }
        // "192.168.1.1" is no thousands grouping: read its parts with "punt"
        if (grouped && sep == '.' && at(j) == '.' && digitAt(j + 1)) {
            n.intDigits.resize(start - i);
            j = start;
            grouped = false;
        }
    }
    if (at(j) == ',' && digitAt(j + 1)) {
        const std::size_t e = digitsEnd(j + 1);
        n.decimals = std::string(t_.substr(j + 1, e - j - 1));
        j = e;
    } else if (at(j) == ',' && at(j + 1) == '-') {
        n.zeroCents = true;
        j += at(j + 2) == '-' ? 3 : 2;
    } else {
        while (at(j) == '.' && digitAt(j + 1)) {
            const std::size_t e = digitsEnd(j + 1);
            n.pointParts.emplace_back(t_.substr(j + 1, e - j - 1));
            j = e;
        }
    }
    n.end = j;
    // ten digits or more without separators: an order or account number, not a quantity
    if (n.intDigits.size() > 12 || (!grouped && n.intDigits.size() > 9))
        n.tooLong = true;
    else
        n.value = std::stoull(n.intDigits);
    // a round number ("1000000 bezoekers") is a quantity however long; codes seldom end in 000
    const bool round = n.intDigits.size() >= 4 && n.intDigits.ends_with("000");
    n.code = !grouped && n.intDigits.size() >= 7 && n.decimals.empty() && !n.zeroCents && !round;
    return n;
}

std::string decimalWords(const std::string& d) {
    if (d.size() <= 2 && d[0] != '0') return cardinal(std::stoull(d));
    return digitWords(d);
}

std::string Scanner::numberWords(const Num& n) const {
    std::string out = n.digitByDigit() ? digitWords(n.intDigits) : cardinal(n.value);
    if (!n.decimals.empty()) out += cat(" komma ", decimalWords(n.decimals));
    for (const std::string& part : n.pointParts)
        out += cat(" punt ", part.size() <= 3 && (part.size() == 1 || part[0] != '0')
                                 ? cardinal(std::stoull(part))
                                 : digitWords(part));
    return out;
}

std::string Scanner::amountWords(const Num& number, const Currency& c) const {
    Num n = number;
    n.code = false; // an amount of money is said as one, however long
    if (n.leadingZero || n.tooLong || n.decimals.size() > 2 || !n.pointParts.empty())
        return cat(numberWords(n), " ", c.name);
    unsigned cents = 0;
    if (n.decimals.size() == 1) cents = static_cast<unsigned>(n.decimals[0] - '0') * 10;
    if (n.decimals.size() == 2) cents = static_cast<unsigned>(std::stoul(n.decimals));
    if (n.value == 0 && cents > 0) return cat(cardinal(cents), " ", c.subunit);
    std::string out = cat(cardinal(n.value), " ", c.name);
    if (cents > 0) out += cat(" ", cardinal(cents));
    return out;
}

std::optional<Scanner::Match> Scanner::matchDate(std::size_t i) const {
    const std::size_t e1 = digitsEnd(i);
    const std::size_t len1 = e1 - i;
    auto words = [&](std::uint64_t d, std::uint64_t m, std::uint64_t y) {
        return cat(cardinal(d), " ", kMonths[m - 1], " ", cardinal(y));
    };
    // 2000-03-14
    if (len1 == 4 && at(e1) == '-' && digitAt(e1 + 1) && digitAt(e1 + 2) && at(e1 + 3) == '-' &&
        digitAt(e1 + 4) && digitAt(e1 + 5) && !digitAt(e1 + 6)) {
        const auto y = value(i, e1), m = value(e1 + 1, e1 + 3), d = value(e1 + 4, e1 + 6);
        if (m >= 1 && m <= 12 && d >= 1 && d <= 31) return Match{e1 + 6, words(d, m, y)};
    }
    if (len1 > 2) return std::nullopt;
    const std::uint64_t day = value(i, e1);
    if (day < 1 || day > 31) return std::nullopt;
    // 14-03-2000, 14/3/2000, 14.03.2000
    const char sep = at(e1);
    if ((sep == '-' || sep == '/' || sep == '.') && digitAt(e1 + 1)) {
        const std::size_t e2 = digitsEnd(e1 + 1);
        const std::size_t e3 = digitsEnd(e2 + 1);
        if (e2 - e1 - 1 <= 2 && at(e2) == sep && e3 - e2 - 1 == 4 && !alnumAt(e3)) {
            const auto m = value(e1 + 1, e2);
            if (m >= 1 && m <= 12) return Match{e3, words(day, m, value(e2 + 1, e3))};
        }
    }
    // 14 maart, 14 mrt. (the year that may follow reads as a plain number)
    if (at(e1) == ' ' && letterAt(e1 + 1)) {
        int month = 0;
        const std::size_t e = monthAt(e1 + 1, month);
        if (e != 0 && !letterAt(e))
            return Match{e, cat(cardinal(day), " ", kMonths[static_cast<std::size_t>(month - 1)])};
    }
    return matchDayMonth(i);
}

std::optional<Scanner::Match> Scanner::matchTime(std::size_t i, bool allowRange, bool cued) const {
    const std::size_t e1 = digitsEnd(i);
    if (e1 - i > 2) return std::nullopt;
    const char sep = at(e1);
    if (sep != ':' && sep != '.' && sep != 'u') return std::nullopt;
    if (!digitAt(e1 + 1) || !digitAt(e1 + 2) || digitAt(e1 + 3)) return std::nullopt;
    std::uint64_t h = value(i, e1);
    const std::uint64_t m = value(e1 + 1, e1 + 3);
    if (h > 24 || m > 59) return std::nullopt;
    std::size_t j = e1 + 3;
    std::uint64_t s = 0;
    if (sep == ':' && at(j) == ':' && digitAt(j + 1) && digitAt(j + 2) && !digitAt(j + 3)) {
        s = value(j + 1, j + 3);
        if (s > 59) return std::nullopt;
        j += 3;
    }
    bool hasUur = false;
    if (toLower(at(j)) == 'u' && !letterAt(j + 1) && sep != 'u') { // "14.30u"
        hasUur = true;
        ++j;
    }
    if (letterAt(j) && sep != 'u') {
        // "10:00AM" is fine, "10:00abc" is not a time
        const std::size_t we = wordEnd(j);
        if (!(we - j == 2 &&
              (endsWithNoCase(t_.substr(j, 2), "am") || endsWithNoCase(t_.substr(j, 2), "pm"))))
            return std::nullopt;
    }
    // after the digits: an optional "uur", or AM/PM
    std::size_t k = j;
    while (at(k) == ' ')
        ++k;
    if (!hasUur && startsWithNoCase(t_.substr(k), "uur") && !letterAt(k + 3)) {
        hasUur = true;
        j = k + 3;
    } else if (h <= 12 &&
               (startsWithNoCase(t_.substr(k), "am") || startsWithNoCase(t_.substr(k), "pm")) &&
               !letterAt(k + 2)) {
        const bool pm = toLower(t_[k]) == 'p';
        if (pm && h < 12) h += 12;
        if (!pm && h == 12) h = 0;
        j = k + 2;
    } else if ((startsWithNoCase(t_.substr(k), "a.m.") || startsWithNoCase(t_.substr(k), "p.m.")) &&
               h <= 12) {
        const bool pm = toLower(t_[k]) == 'p';
        if (pm && h < 12) h += 12;
        if (!pm && h == 12) h = 0;
        j = k + 4;
    }
    // "9.30" is a time only with a cue: "uur" after it, "om" before it, or a range ending in "uur"
    const bool cue = cued || sep != '.' || hasUur || precededByTimeLead(i);
    std::string words = cat(cardinal(h), " uur");
    if (m > 0) words += cat(" ", cardinal(m));
    if (s > 0) words += cat(" en ", cardinal(s), s == 1 ? " seconde" : " seconden");
    if (allowRange) {
        // 10:00-11:00, 10.00 - 11.00 uur
        std::size_t r = j;
        while (at(r) == ' ')
            ++r;
        if (at(r) == '-' || uc(at(r)) == 0x96) {
            ++r;
            while (at(r) == ' ')
                ++r;
            if (digitAt(r) && digitsEnd(r) - r <= 2 && at(digitsEnd(r)) == sep)
                if (auto second = matchTime(r, false, cue))
                    return Match{second->end, cat(words, " tot ", second->words)};
        }
    }
    if (!cue) return std::nullopt;
    return Match{j, words};
}

// Reads a group of a telephone number after the area code: pairs, a leading triple when odd.
std::string phoneGroup(std::string_view g) {
    std::vector<std::string> chunks;
    auto pair = [](std::string_view p) {
        return p.size() == 2 && p[0] != '0' ? cardinal(std::stoull(std::string(p))) : digitWords(p);
    };
    if (g.size() <= 2) {
        chunks.push_back(pair(g));
    } else {
        std::size_t k = 0;
        if (g.size() % 2 == 1) {
            chunks.push_back(digitWords(g.substr(0, 3)));
            k = 3;
        }
        for (; k < g.size(); k += 2)
            chunks.push_back(pair(g.substr(k, 2)));
    }
    std::string out;
    for (const std::string& c : chunks)
        out += (out.empty() ? "" : ", ") + c;
    return out;
}

std::string phoneWords(const std::vector<std::string>& groups) {
    std::string out = digitWords(groups[0]);
    for (std::size_t k = 1; k < groups.size(); ++k)
        out += cat(", ", phoneGroup(groups[k]));
    return out;
}

std::optional<Scanner::Match> Scanner::matchPhone(std::size_t i) const {
    if (at(i) != '0') return std::nullopt;
    std::vector<std::string> groups;
    std::size_t total = 0, j = i;
    for (;;) {
        const std::size_t e = digitsEnd(j);
        groups.emplace_back(t_.substr(j, e - j));
        total += e - j;
        j = e;
        if (total >= 10) break;
        // separators between groups: "-", " ", " - ", "/"
        std::size_t k = j;
        if (at(k) == ' ' && (at(k + 1) == '-' || at(k + 1) == '/') && at(k + 2) == ' ')
            k += 3;
        else if (at(k) == '-' || at(k) == ' ' || at(k) == '/')
            k += 1;
        else
            break;
        if (!digitAt(k)) break;
        j = k;
    }
    if (alnumAt(j) || (at(j) == ',' && digitAt(j + 1))) return std::nullopt;
    if (groups.size() == 1) {
        if (total != 10) return std::nullopt;
        const std::string& g = groups[0];
        // mobile 06 + 8 digits; otherwise a three-digit area code
        const std::size_t area = g.compare(0, 2, "06") == 0 ? 2 : 3;
        return Match{j, phoneWords({g.substr(0, area), g.substr(area)})};
    }
    // service numbers: 0800-1234, 0900-1234
    const bool service = total == 8 && groups.size() == 2 && groups[0].size() == 4 &&
                         (groups[0] == "0800" || groups[0].starts_with("090"));
    if ((total != 9 && total != 10 && !service) || groups[0].size() > 4) return std::nullopt;
    return Match{j, phoneWords(groups)};
}

std::optional<Scanner::Match> Scanner::matchInternationalPhone(std::size_t i) const {
    // "+31 6 12345678", "+31 (0)20 1234567", "+3161234567"; "0031 20 1234567" the same
    if (i > 0 && isAlnum(t_[i - 1])) return std::nullopt;
    std::size_t from = i + 1;
    const char* lead = "plus ";
    if (at(i) == '0' && at(i + 1) == '0' && at(i + 2) != '0' && digitsEnd(i) - i == 4 &&
        at(i + 4) == ' ' && digitAt(i + 5)) {
        from = i + 2;
        lead = "nul nul ";
    } else if (at(i) != '+' || !digitAt(i + 1)) {
        return std::nullopt;
    }
    std::size_t j = digitsEnd(from);
    std::string first(t_.substr(from, j - from));
    std::string country;
    if (first.size() <= 3) {
        country = first;
        first.clear();
    } else {
        country = first.substr(0, 2);
        first = first.substr(2);
    }
    std::vector<std::string> groups;
    if (!first.empty()) groups.push_back(first);
    std::size_t total = first.size();
    while (total < 9) {
        std::size_t k = j;
        if (at(k) == ' ' || at(k) == '-') ++k;
        if (t_.substr(k, 3) == "(0)") {
            k += 3;
            if (at(k) == ' ') ++k;
        }
        if (!digitAt(k)) break;
        const std::size_t e = digitsEnd(k);
        groups.emplace_back(t_.substr(k, e - k));
        total += e - k;
        j = e;
    }
    if (total < 8 || total > 11 || alnumAt(j)) return std::nullopt;
    if (groups.size() == 1 && groups[0].size() == 9) // "+31612345678": area code 6
        groups = {groups[0].substr(0, groups[0][0] == '6' ? 1 : 2),
                  groups[0].substr(groups[0][0] == '6' ? 1 : 2)};
    return Match{j, cat(lead, cardinal(std::stoull(country)), ", ", phoneWords(groups))};
}

std::optional<Scanner::Match> Scanner::matchPostcode(std::size_t i) const {
    // "1234 AB", "1234AB": read as two pairs and two letters
    const std::size_t e = digitsEnd(i);
    if (e - i != 4 || at(i) == '0') return std::nullopt;
    const std::size_t l = at(e) == ' ' ? e + 1 : e;
    const char a = at(l), b = at(l + 1);
    if (!(a >= 'A' && a <= 'Z' && b >= 'A' && b <= 'Z') || alnumAt(l + 2)) return std::nullopt;
    // "1000 GB" is an amount of a unit
    if (units_.find(t_.substr(l, 2)) != units_.end()) return std::nullopt;
    const std::string_view pairTwo = t_.substr(i + 2, 2);
    const std::string second =
        pairTwo[0] == '0' ? digitWords(pairTwo) : cardinal(value(i + 2, i + 4));
    return Match{l + 2, cat(cardinal(value(i, i + 2)), " ", second, " ", std::string(1, a), " ",
                            std::string(1, b))};
}

std::optional<Scanner::Match> Scanner::matchNumber(std::size_t i) const {
    Num n = parseNumber(i);
    std::size_t j = n.end;
    std::string words = numberWords(n);
    bool plural = !(n.value == 1 && n.decimals.empty() && !n.digitByDigit());
    bool plain = n.decimals.empty() && n.pointParts.empty() && !n.digitByDigit() && !n.zeroCents;
    // 10-20, 2021-2022: an ascending range
    // (not a link of a longer chain such as the invalid date 14-13-2000)
    const bool chained = i >= 2 && (t_[i - 1] == '-' || t_[i - 1] == '/') && isDigit(t_[i - 2]);
    if (plain && !chained && (at(j) == '-' || uc(at(j)) == 0x96) && digitAt(j + 1)) {
        const Num second = parseNumber(j + 1);
        const bool more =
            (at(second.end) == '-' || at(second.end) == '/') && digitAt(second.end + 1);
        if (!second.digitByDigit() && second.value > n.value && second.pointParts.empty() &&
            !more) {
            words += cat(" tot ", numberWords(second));
            j = second.end;
            n = second;
            plural = true;
            plain = false;
        }
    }
    std::size_t k = j;
    if (at(k) == ' ') ++k;
    const unsigned char s = uc(at(k));
    if (s == '%') return Match{k + 1, words + " procent"};
    if (s == 0x89) return Match{k + 1, words + " promille"};
    if (s == 0x80) return Match{k + 1, amountWords(n, kEuro)};
    if (s == 0xB0) { // degrees
        if (at(k + 1) == 'C' && !letterAt(k + 2)) return Match{k + 2, words + " graden Celsius"};
        if (at(k + 1) == 'F' && !letterAt(k + 2)) return Match{k + 2, words + " graden Fahrenheit"};
        return Match{k + 1, words + (plural ? " graden" : " graad")};
    }
    if (s == 0xBD && k == j && plain) {
        const std::string c = cardinal(n.value);
        if (n.value == 1) return Match{k + 1, "anderhalf"};
        return Match{k + 1, c + (c.back() == 'e' ? "\xEBnhalf" : "enhalf")};
    }
    if (letterAt(k)) {
        const std::size_t we = wordEnd(k);
        const std::string_view word = t_.substr(k, we - k);
        const bool wordEndsHere = !alnumAt(we);
        if (wordEndsHere && (equalsNoCase(word, "euro") || equalsNoCase(word, "eur")))
            return Match{we, amountWords(n, kEuro)};
        if (wordEndsHere && equalsNoCase(word, "dollar")) return Match{we, amountWords(n, kDollar)};
        // ordinals: 1e, 2de, 8ste
        if (plain && k == j && wordEndsHere &&
            (word == "e" || word == "de" || word == "ste" || word == "ste"))
            return Match{we, ordinal(n.value)};
        if (k == j && wordEndsHere && word == "u" && plain && n.value <= 24) // "om 10u"
            return Match{we, cat(words, " uur")};
        if (wordEndsHere && (word == "x" || word == "X")) return Match{we, words + " keer"};
        if (auto unit = unitAfter(k, plural)) return Match{unit->end, cat(words, " ", unit->words)};
    }
    return Match{j, words};
}

std::optional<Scanner::Match> Scanner::unitAfter(std::size_t k, bool plural) const {
    // units: "5 km", "3kg", "20 km/u"
    // units are short: looking no further keeps a long run of letters and digits from being
    // read again from each of its numbers
    constexpr std::size_t kMaxUnit = 12;
    std::size_t ue = k;
    while (ue - k < kMaxUnit && (letterAt(ue) || at(ue) == '/' || uc(at(ue)) == 0xB2 ||
                                 uc(at(ue)) == 0xB3 || (ue > k && digitAt(ue))))
        ++ue;
    for (std::size_t end = ue; end > k; --end) {
        if (alnumAt(end)) continue;
        const auto it = units_.find(t_.substr(k, end - k));
        if (it != units_.end()) return Match{end, plural ? it->second.second : it->second.first};
    }
    return std::nullopt;
}

std::optional<Scanner::Match> Scanner::matchCurrencyPrefix(std::size_t i) const {
    const Currency* c = nullptr;
    std::size_t j = i;
    const unsigned char ch = uc(at(i));
    if (ch == 0x80) {
        c = &kEuro, j = i + 1;
    } else if (ch == '$') {
        c = &kDollar, j = i + 1;
    } else if (ch == 0xA3) {
        c = &kPound, j = i + 1;
    } else if (i == 0 || !isAlnum(t_[i - 1])) {
        const std::string_view word = t_.substr(i, wordEnd(i) - i);
        if (word == "EUR") c = &kEuro;
        if (word == "USD") c = &kDollar;
        if (word == "GBP") c = &kPound;
        j = i + word.size();
    }
    if (c == nullptr) return std::nullopt;
    while (at(j) == ' ' || uc(at(j)) == 0xA0)
        ++j;
    const char* sign = "";
    if ((at(j) == '-' || uc(at(j)) == 0x96 || at(j) == '+') && digitAt(j + 1)) {
        sign = at(j) == '+' ? "plus " : "min ";
        ++j;
    }
    if (!digitAt(j)) return std::nullopt;
    const Num n = parseNumber(j);
    // "€ 2,5 miljoen": the scale word comes before the currency
    std::size_t k = n.end;
    if (at(k) == ' ') {
        const std::size_t we = wordEnd(k + 1);
        const std::string_view word = t_.substr(k + 1, we - k - 1);
        if (word == "miljoen" || word == "miljard" || word == "duizend")
            return Match{we, cat(sign, numberWords(n), " ", word, " ", c->name)};
    }
    return Match{n.end, cat(sign, amountWords(n, *c))};
}

const DayWord* Scanner::dayAt(std::size_t i, std::size_t& end) const {
    if (i > 0 && isAlnum(t_[i - 1])) return nullptr;
    for (const DayWord& d : kDays) {
        if (!equalsNoCase(t_.substr(i, 2), d.abbreviation) || letterAt(i + 2)) continue;
        end = at(i + 2) == '.' ? i + 3 : i + 2;
        return &d;
    }
    return nullptr;
}

std::optional<Scanner::Match> Scanner::matchWeekday(std::size_t i) const {
    // Day abbreviations are common words too ("zo", "do"), so they only count before a date
    // ("di 14 mrt") or in a range of days ("ma t/m vr", "ma-vr").
    std::size_t j = 0;
    const DayWord* d = dayAt(i, j);
    if (d == nullptr) return std::nullopt;
    if (at(j) == ' ' && digitAt(j + 1)) {
        const std::size_t e = digitsEnd(j + 1);
        int month = 0;
        if (e - j - 1 <= 2 && at(e) == ' ' && monthAt(e + 1, month) != 0) return Match{j, d->name};
        if (matchDayMonth(j + 1)) return Match{j, d->name}; // "do 14-3"
    }
    for (const char* link : {" t/m ", " tot en met ", " - ", "-", " tot "}) {
        const std::string_view l = link;
        if (t_.substr(j, l.size()) != l) continue;
        std::size_t e = 0;
        const DayWord* to = dayAt(j + l.size(), e);
        if (to == nullptr || letterAt(e)) continue;
        const char* joint = l == " tot " ? " tot " : " tot en met ";
        return Match{e, cat(d->name, joint, to->name)};
    }
    return std::nullopt;
}

std::size_t Scanner::backOverBlanks(std::size_t i, bool label) const {
    // a label's colon ("Uw code: 615-204") belongs to the word before it
    while (i > 0 && (t_[i - 1] == ' ' || t_[i - 1] == '\t' || uc(t_[i - 1]) == 0xA0 ||
                     (label && t_[i - 1] == ':')))
        --i;
    return i;
}

bool Scanner::endsWithCue(std::size_t e, const NumberSolver::WordList& cues) const {
    for (const std::string& cue : cues) {
        const bool compound = cue.size() > 1 && cue[0] == '-';
        const std::string_view word = std::string_view(cue).substr(compound ? 1 : 0);
        if (word.size() > e || !equalsNoCase(t_.substr(e - word.size(), word.size()), word))
            continue;
        const std::size_t b = e - word.size();
        if (compound || b == 0 || !isLetter(t_[b - 1])) return true;
    }
    return false;
}

bool Scanner::dateCued(std::size_t i) const {
    std::size_t e = backOverBlanks(i, false);
    if (endsWithCue(e, rules_.dateCues)) return true;
    // a day of the week: "vrijdag 12/4", "do 14-3"; not the end of a range "ma-vr 9-12"
    if (e > 0 && t_[e - 1] == '.') --e;
    const std::size_t b = wordStart(e);
    if (b == e || (b > 0 && (t_[b - 1] == '-' || t_[b - 1] == '/'))) return false;
    const std::string_view word = t_.substr(b, e - b);
    for (const DayWord& d : kDays)
        if (equalsNoCase(word, d.abbreviation) || equalsNoCase(word, d.name))
            return b < 4 || t_.substr(b - 4, 4) != "t/m ";
    return false;
}

bool Scanner::codeCued(std::size_t i) const {
    std::size_t e = backOverBlanks(i, true);
    if (endsWithCue(e, rules_.codeCues)) return true;
    // "uw code is 482915"
    const std::size_t b = wordStart(e);
    const std::string_view verb = t_.substr(b, e - b);
    if (!equalsNoCase(verb, "is") && !equalsNoCase(verb, "luidt")) return false;
    return endsWithCue(backOverBlanks(b, true), rules_.codeCues);
}

bool Scanner::codeNamedAfter(std::size_t i) const {
    // "123456 is je verificatiecode", as a text message puts it
    std::size_t k = digitsEnd(i);
    if (k - i < 4 || alnumAt(k)) return false;
    auto word = [&](std::size_t from) {
        while (at(from) == ' ')
            ++from;
        std::size_t end = from;
        while (letterAt(end) || (at(end) == '-' && letterAt(end + 1)))
            ++end;
        return std::pair{from, end};
    };
    auto [b, e] = word(k);
    if (!equalsNoCase(t_.substr(b, e - b), "is")) return false;
    std::tie(b, e) = word(e);
    const std::string_view owner = t_.substr(b, e - b);
    if (equalsNoCase(owner, "je") || equalsNoCase(owner, "uw") || equalsNoCase(owner, "jouw") ||
        equalsNoCase(owner, "de"))
        std::tie(b, e) = word(e);
    return e > b && !letterAt(e) && endsWithCue(e, rules_.codeCues);
}

bool Scanner::numberCued(std::size_t i) const {
    // "met nummer 12345", "(nr. 2024-118)"
    std::size_t e = backOverBlanks(i, true);
    if (e > 0 && t_[e - 1] == '.') --e;
    const std::size_t b = wordStart(e);
    if (b > 0 && isAlnum(t_[b - 1])) return false;
    const std::string_view word = t_.substr(b, e - b);
    return equalsNoCase(word, "nummer") || equalsNoCase(word, "nr");
}

bool Scanner::phoneCued(std::size_t i) const {
    // "Bel 144", "Bel de gemeente op 14 020": a word to call with, at most four words back
    std::size_t e = i;
    for (int words = 0; words < 4; ++words) {
        e = backOverBlanks(e, true);
        std::size_t b = wordStart(e);
        if (b == e) {
            // another number to call on the way back: "Bel 144 of 112"
            while (b > 0 && isDigit(t_[b - 1]))
                --b;
            if (b == e) return false;
            e = b;
            continue;
        }
        const std::string word = lower(t_.substr(b, e - b));
        for (const std::string& cue : rules_.phoneCues)
            if (word == cue) return true;
        e = b;
    }
    return false;
}

bool Scanner::afterTitleWord(std::size_t i) const {
    const std::size_t e = backOverBlanks(i, false);
    const std::size_t b = wordStart(e);
    if (b == e) return false;
    const std::string before = lower(t_.substr(b, e - b));
    for (const std::string& title : rules_.titleWords)
        if (before == title) return true;
    return false;
}

bool Scanner::quantityAfter(std::size_t j) const {
    std::size_t k = j;
    if (at(k) == ' ') ++k;
    const unsigned char s = uc(at(k));
    if (s == '%' || s == 0x89 || s == 0xB0 || s == 0x80) return true;
    const std::size_t we = wordEnd(k);
    if (we == k) return false;
    if (unitAfter(k, true)) return true;
    const std::string word = lower(t_.substr(k, we - k));
    if (word == "uur" || word == "euro") return true;
    for (const std::string& q : rules_.quantities)
        if (word == q) return true;
    return false;
}

std::optional<Scanner::Match> Scanner::matchDayMonth(std::size_t i) const {
    // "2-5", "7/6", "1.6": a day and a month without a year
    const std::size_t e1 = digitsEnd(i);
    const char sep = at(e1);
    if (e1 - i > 2 || (sep != '-' && sep != '/' && sep != '.') || !digitAt(e1 + 1))
        return std::nullopt;
    const std::size_t e2 = digitsEnd(e1 + 1);
    if (e2 - e1 - 1 > 2 || alnumAt(e2) || ((at(e2) == sep || at(e2) == ',') && digitAt(e2 + 1)))
        return std::nullopt;
    const std::uint64_t day = value(i, e1), month = value(e1 + 1, e2);
    static constexpr std::array<std::uint64_t, 12> kDaysIn = {31, 29, 31, 30, 31, 30,
                                                              31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > kDaysIn[month - 1]) return std::nullopt;
    // a range of quantities or hours stays one: "3-4 personen", "5-10%", "9-17 uur"; so do
    // the parts of a text: "hoofdstuk 1/2", "pagina 12/13"
    if (quantityAfter(e2) || afterTitleWord(i)) return std::nullopt;
    const bool cued = dateCued(i);
    const bool leadingZero = at(i) == '0' || at(e1 + 1) == '0';
    if (sep == '.') {
        // "1.6" is a number or a version unless a date word goes before it; after "voor" or
        // "tot", "10.05" is a time
        if (!cued || (e2 - e1 - 1 == 2 && precededByTimeLead(i))) return std::nullopt;
    } else if (sep == '-' && !cued && !leadingZero) {
        // without a cue "2-5" is a range; "30-4" cannot be one, though a score "3-1" can
        if (month > day || day <= 12) return std::nullopt;
    }
    return Match{e2, cat(cardinal(day), " ", kMonths[month - 1])};
}

// A code as read off a screen: digits one by one, letters by name, a pause at each break.
std::string codeWords(const std::vector<std::string_view>& groups) {
    std::string out;
    for (std::string_view g : groups) {
        if (!out.empty()) out += ", ";
        bool first = true;
        for (char c : g) {
            if (!first) out += ' ';
            first = false;
            if (isDigit(c))
                out += digitWords(std::string_view(&c, 1));
            else
                out += toUpper(c);
        }
    }
    return out;
}

bool asciiAlnum(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::optional<Scanner::Match> Scanner::matchCode(std::size_t i, bool cued) const {
    if (i > 0 && isAlnum(t_[i - 1])) return std::nullopt;
    auto chunkEnd = [&](std::size_t k) {
        const std::size_t from = k;
        while (k < t_.size() && asciiAlnum(t_[k]) && k - from <= kMaxCodeChunk)
            ++k;
        return k;
    };
    auto hasDigit = [](std::string_view g) {
        return std::any_of(g.begin(), g.end(), [](char c) { return isDigit(c); });
    };
    auto capitalsAndDigits = [](std::string_view g) {
        return std::all_of(g.begin(), g.end(), [](char c) { return isDigit(c) || isUpper(c); });
    };
    std::vector<std::string_view> groups;
    std::size_t j = i;
    for (;;) {
        const std::size_t e = chunkEnd(j);
        // a code is short; a longer chain of groups is something else, and stopping here keeps
        // a text of such chains from being read over and over from each of its numbers
        if (e == j || e - j > kMaxCodeChunk || letterAt(e) || groups.size() == kMaxCodeGroups)
            return std::nullopt;
        groups.push_back(t_.substr(j, e - j));
        j = e;
        // groups joined by hyphens; after a cue also by blanks ("IBAN NL91 ABNA 0417"), dots
        // ("7.654.321") and slashes ("2024/123"), as long as what follows looks like more of it
        const std::size_t n = chunkEnd(j + 1);
        if (n == j + 1 || letterAt(n)) break;
        const std::string_view next = t_.substr(j + 1, n - j - 1);
        if (at(j) == '-') {
            j += 1;
            continue;
        }
        const bool joint = at(j) == ' ' || at(j) == '.' || at(j) == '/';
        if (!cued || !joint || !capitalsAndDigits(next)) break;
        if (at(j) == '.' && !std::all_of(next.begin(), next.end(), isDigit)) break;
        const bool more = hasDigit(next) || (next.size() <= 4 && at(n) == ' ' && digitAt(n + 1));
        if (!more) break;
        j += 1;
    }
    std::size_t digits = 0, letters = 0, runs = 0, xOnly = 0;
    bool lowerCase = false;
    for (std::string_view g : groups) {
        for (std::size_t k = 0; k < g.size(); ++k) {
            const bool digit = isDigit(g[k]);
            (digit ? digits : letters) += 1;
            if (!digit && !isUpper(g[k])) lowerCase = true;
            if (k == 0 || digit != isDigit(g[k - 1])) ++runs;
            if (!digit && (g[k] == 'X' || g[k] == 'x') && k > 0 && k + 1 < g.size() &&
                isDigit(g[k - 1]) && isDigit(g[k + 1]))
                ++xOnly;
        }
    }
    if (digits == 0) return std::nullopt;
    if (cued) {
        // "de code is 14 dagen geldig": a count, not a code
        if (letters == 0 && digits <= 2 && groups.size() == 1 && at(j) == ' ' && letterAt(j + 1) &&
            !isUpper(at(j + 1)))
            return std::nullopt;
        if (quantityAfter(j) && letters == 0) return std::nullopt;
    } else {
        // by its shape: capitals and digits in turn ("3STEST7654321", "K7M-2QX"), not a
        // product name ("MP3", "A4") nor a size ("4X4")
        if (letters == 0 || lowerCase || runs < 3 || xOnly == letters) return std::nullopt;
    }
    return Match{j, codeWords(groups)};
}

std::optional<Scanner::Match> Scanner::matchServiceNumber(std::size_t i) const {
    // short numbers to call or text: "Bel 144", "Sms STOP naar 4040", "Bel 14 020"
    const std::size_t e1 = digitsEnd(i);
    std::vector<std::string_view> groups{t_.substr(i, e1 - i)};
    std::size_t j = e1;
    if (e1 - i == 2 && t_.substr(i, 2) == "14" && at(e1) == ' ' && digitsEnd(e1 + 1) == e1 + 4) {
        groups.push_back(t_.substr(e1 + 1, 3));
        j = e1 + 4;
    } else if (e1 - i < 3 || e1 - i > 5) {
        return std::nullopt;
    }
    if (alnumAt(j) ||
        ((at(j) == '.' || at(j) == ',' || at(j) == ':' || at(j) == '-') && digitAt(j + 1)))
        return std::nullopt;
    if (quantityAfter(j) || !phoneCued(i)) return std::nullopt;
    return Match{j, codeWords(groups)};
}

std::optional<Scanner::Match> Scanner::matchFraction(std::size_t i) const {
    const std::size_t e1 = digitsEnd(i);
    if (at(e1) != '/' || !digitAt(e1 + 1)) return std::nullopt;
    const std::size_t e2 = digitsEnd(e1 + 1);
    if (alnumAt(e2) || ((at(e2) == '/' || at(e2) == '.' || at(e2) == ',') && digitAt(e2 + 1)))
        return std::nullopt;
    const std::uint64_t a = value(i, e1), b = value(e1 + 1, e2);
    if (a == 24 && b == 7) return Match{e2, "vierentwintig uur per dag, zeven dagen per week"};
    // "groep 1/2", "hoofdstuk 1/2": two groups, two chapters
    if (afterTitleWord(i)) {
        if (e1 - i > 3 || e2 - e1 - 1 > 3) return std::nullopt;
        return Match{e2, cat(cardinal(a), " ", cardinal(b))};
    }
    // "3/4 van de klas", "1/2 liter": a fraction before a word; after a date word a date, unless
    // a part of something follows ("op 1/3 van de scholen")
    if (e1 - i != 1 || e2 - e1 - 1 > 2 || a == 0 || a >= b || b > 10) return std::nullopt;
    if (at(e2) != ' ' || !letterAt(e2 + 1) || isUpper(at(e2 + 1))) return std::nullopt;
    const std::string next = lower(t_.substr(e2 + 1, wordEnd(e2 + 1) - e2 - 1));
    const std::size_t afterNext = e2 + 1 + next.size();
    const bool partOf = next == "van" && at(afterNext) == ' ' && letterAt(afterNext + 1);
    if (!partOf && dateCued(i)) return std::nullopt;
    if (b == 2) {
        if (next == "van") return Match{e2, "de helft"};
        // "een half uur", "een halve liter"
        const bool neuter = next == "uur" || next == "jaar" || next == "pond" || next == "procent";
        return Match{e2, neuter ? "een half" : "een halve"};
    }
    if (b == 4 && a != 2) return Match{e2, a == 3 ? "driekwart" : "een kwart"};
    return Match{e2, cat(a == 1 ? std::string("een") : cardinal(a), " ", ordinal(b))};
}

std::optional<Scanner::Match> Scanner::matchFactors(std::size_t i) const {
    // "2 x 500 ml" is twice that much; "120 x 60 cm" and "30x20x10" are sizes
    std::vector<std::string> factors;
    std::size_t j = i;
    for (;;) {
        const Num n = parseNumber(j);
        if (n.tooLong || n.code || !n.pointParts.empty() || factors.size() == kMaxFactors)
            return std::nullopt;
        factors.push_back(numberWords(n));
        j = n.end;
        std::size_t k = j;
        if (at(k) == ' ') ++k;
        if (at(k) != 'x' && at(k) != 'X' && uc(at(k)) != 0xD7) break;
        ++k;
        if (at(k) == ' ') ++k;
        if (!digitAt(k) || (at(k - 1) == ' ') != (at(j) == ' ')) break;
        j = k;
    }
    if (factors.size() < 2) return std::nullopt;
    std::size_t k = j;
    if (at(k) == ' ') ++k;
    const auto unit = unitAfter(k, true);
    const std::string spoken = unit ? unit->words : lower(t_.substr(k, wordEnd(k) - k));
    bool size = factors.size() > 2;
    for (const char* length :
         {"millimeter", "centimeter", "decimeter", "meter", "kilometer", "pixels", "px", "inch"})
        if (spoken == length) size = true;
    std::string words = factors[0];
    for (std::size_t f = 1; f < factors.size(); ++f)
        words += cat(size ? " bij " : " keer ", factors[f]);
    if (unit) return Match{unit->end, cat(words, " ", unit->words)};
    return Match{j, words};
}

std::optional<Scanner::Match> Scanner::matchPer(std::size_t j) const {
    // "€ 2,50/kg", "10 GB/maand": the slash after an amount is "per"
    if (at(j) != '/' || !letterAt(j + 1)) return std::nullopt;
    const std::size_t we = wordEnd(j + 1);
    if (digitAt(we) || at(we) == '/') return std::nullopt;
    const std::string_view word = t_.substr(j + 1, we - j - 1);
    if (const auto it = units_.find(word); it != units_.end())
        return Match{we, cat(" per ", it->second.first)};
    if (const auto it = rules_.per.find(lower(word)); it != rules_.per.end())
        return Match{we, cat(" per ", it->second)};
    return std::nullopt;
}

std::optional<Scanner::Match> Scanner::matchRoman(std::size_t i, std::size_t end) const {
    // "Karel V", "Lodewijk XIV": a ruler's number; "Deel III": a part's; never "I" alone
    const std::string_view word = t_.substr(i, end - i);
    if (word.size() < 2 && word != "V" && word != "X") return std::nullopt;
    auto digit = [](char c) { return c == 'I' ? 1 : c == 'V' ? 5 : c == 'X' ? 10 : 0; };
    long long sum = 0;
    for (std::size_t k = 0; k < word.size(); ++k) {
        const int v = digit(word[k]);
        if (v == 0) return std::nullopt;
        sum += k + 1 < word.size() && v < digit(word[k + 1]) ? -v : v;
    }
    if (sum <= 0) return std::nullopt;
    const auto n = static_cast<std::uint64_t>(sum);
    // only the usual spelling: "IIII", "VX" or "IIX" are no numerals
    static constexpr std::array<const char*, 10> kUnits = {"",  "I",  "II",  "III",  "IV",
                                                           "V", "VI", "VII", "VIII", "IX"};
    if (n == 0 || n > 39 || cat(std::string(n / 10, 'X'), kUnits[n % 10]) != word)
        return std::nullopt;
    const std::size_t e = backOverBlanks(i, false);
    const std::size_t b = wordStart(e);
    if (b == e || e == i) return std::nullopt;
    if (afterTitleWord(i)) return Match{end, cardinal(n)};
    const std::string before = lower(t_.substr(b, e - b));
    bool ruler = false;
    for (const std::string& name : rules_.regnalNames)
        if (before == name) ruler = true;
    // a capitalised name inside a sentence also goes with a numeral of two letters or more
    if (!ruler && word.size() >= 2 && isUpper(t_[b]) && b + 1 < e && !isUpper(t_[b + 1])) {
        std::size_t p = backOverBlanks(b, false);
        ruler = p > 0 && (isLetter(t_[p - 1]) || t_[p - 1] == ',');
    }
    if (!ruler) return std::nullopt;
    std::string spoken = ordinal(n);
    spoken[0] = toUpper(spoken[0]);
    return Match{end, cat("de ", spoken)};
}

std::optional<Scanner::Match> Scanner::matchWord(std::size_t i) const {
    std::size_t e = i;
    while (e < t_.size() && isAlnum(t_[e]) && e - i <= kMaxCodeChunk)
        ++e;
    if (alnumAt(e)) return std::nullopt; // longer than any code, name or numeral
    const std::string_view word = t_.substr(i, e - i);
    // "NL91ABNA0417164300", "AB-123-CD": letters and digits make a code
    std::size_t tokenEnd = e;
    for (std::size_t joins = 0;
         joins < kMaxCodeGroups && at(tokenEnd) == '-' && alnumAt(tokenEnd + 1); ++joins)
        tokenEnd = digitsEnd(tokenEnd + 1) == tokenEnd + 1 ? wordEnd(tokenEnd + 1)
                                                           : digitsEnd(tokenEnd + 1);
    const std::string_view token = t_.substr(i, tokenEnd - i);
    // an account number in groups, even without a word before it: "NL12 RABO 0123 4567 89"
    auto capitals = [&](std::size_t from, std::size_t count) {
        for (std::size_t k = from; k < from + count; ++k)
            if (!(at(k) >= 'A' && at(k) <= 'Z')) return false;
        return true;
    };
    const bool iban = token.size() == 4 && capitals(i, 2) && digitAt(i + 2) && digitAt(i + 3) &&
                      at(e) == ' ' && capitals(e + 1, 4) && at(e + 5) == ' ' && digitAt(e + 6);
    if (std::any_of(token.begin(), token.end(), isDigit)) return matchCode(i, iban || codeCued(i));
    if (i > 0 && isAlnum(t_[i - 1])) return std::nullopt;
    if (const auto it = rules_.letterWords.find(word); it != rules_.letterWords.end())
        return Match{e, it->second};
    if (word == "\xE0") return Match{e, "a"}; // "5 stuks à € 2,50": the a of a price each
    return matchRoman(i, e);
}

std::optional<Scanner::Match> Scanner::matchNumberSign(std::size_t i) const {
    // "-€ 75,00", "+€ 12,50", "-5 graden": the sign is said
    const char c = at(i);
    if (!(c == '-' || uc(c) == 0x96 || c == '+')) return std::nullopt;
    if (!(i == 0 || t_[i - 1] == ' ' || t_[i - 1] == '(' || t_[i - 1] == '\n')) return std::nullopt;
    const char* sign = c == '+' ? "plus " : "min ";
    const unsigned char n = uc(at(i + 1));
    std::optional<Match> m;
    if (n == 0x80 || n == '$' || n == 0xA3)
        m = matchCurrencyPrefix(i + 1);
    else if (digitAt(i + 1))
        m = matchNumber(i + 1);
    if (!m) return std::nullopt;
    return Match{m->end, cat(sign, m->words)};
}

void Scanner::emit(std::string& out, const std::string& words, std::size_t next) const {
    if (!out.empty() && isAlnum(out.back())) out += ' ';
    out += words;
    if (alnumAt(next)) out += ' ';
}

std::string Scanner::run() {
    std::string out;
    out.reserve(t_.size() + t_.size() / 2);
    std::size_t i = 0;
    while (i < t_.size()) {
        const char c = t_[i];
        const unsigned char u = uc(c);
        if (c == '\\' && (at(i + 1) == '+' || at(i + 1) == '-')) { // stress marks stay as they are
            out += t_.substr(i, 2);
            i += 2;
            continue;
        }
        std::optional<Match> m;
        if (isDigit(c) && (i == 0 || !isDigit(t_[i - 1]))) {
            if (i > 0 && isLetter(t_[i - 1])) { // "mp3", "A4"
                const Num n = parseNumber(i);
                m = Match{n.end, numberWords(n)};
            } else if (!(m = matchPostcode(i)) &&
                       !((codeCued(i) || codeNamedAfter(i) ||
                          (digitsEnd(i) - i >= 4 && numberCued(i))) &&
                         (m = matchCode(i, true))) &&
                       !(m = matchInternationalPhone(i)) && !(m = matchFraction(i)) &&
                       !(m = matchDate(i)) && !(m = matchTime(i)) && !(m = matchPhone(i)) &&
                       !(m = matchServiceNumber(i)) && !(m = matchCode(i, false)) &&
                       !(m = matchFactors(i))) {
                m = matchNumber(i);
            }
        } else if ((u == 0x80 || c == '$' || u == 0xA3 || c == 'E' || c == 'U' || c == 'G') &&
                   (m = matchCurrencyPrefix(i))) {
        } else if (c == '+') {
            if (!(m = matchInternationalPhone(i))) m = matchNumberSign(i);
        } else if ((c == '-' || u == 0x96) && digitAt(i + 1) &&
                   (i == 0 || t_[i - 1] == ' ' || t_[i - 1] == '(' || t_[i - 1] == '\n')) {
            if (auto n = matchNumber(i + 1)) m = Match{n->end, cat("min ", n->words)};
        } else if (c == '-' || u == 0x96) {
            m = matchNumberSign(i);
        } else if (c == '#' && digitAt(i + 1)) {
            // "Bestelling #48213" is its number; after "Ordernummer" the sign says nothing more
            const bool named = codeCued(i) || numberCued(i);
            std::optional<Match> number;
            if (digitsEnd(i + 1) - i - 1 >= 4) number = matchCode(i + 1, true);
            if (!number) number = matchNumber(i + 1); // "#3 op de lijst"
            if (number) m = named ? number : Match{number->end, cat("nummer ", number->words)};
        } else if (u == 0xBD || u == 0xBC || u == 0xBE) {
            m = Match{i + 1, u == 0xBD ? "een half" : u == 0xBC ? "een kwart" : "drie kwart"};
        } else if (isLetter(c)) {
            if (!(m = matchWeekday(i)) && !(m = matchWord(i))) {
                // copy the whole word: digits inside it are handled above
                std::size_t e = i;
                while (e < t_.size() && isLetter(t_[e]))
                    ++e;
                out += t_.substr(i, e - i);
                i = e;
                continue;
            }
        }
        if (m) {
            if (auto per = matchPer(m->end)) m = Match{per->end, m->words + per->words};
            emit(out, m->words, m->end);
            i = m->end;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

} // namespace

NumberSolver::NumberSolver() = default;

void NumberSolver::setRules(const RuleFile& rules) {
    clearRules();
    auto words = [&](const char* section, NumberSolver::WordList& list) {
        for (const auto& [word, unused] : rules.section(section))
            list.push_back(lower(word));
    };
    words("datumwoorden", rules_.dateCues);
    words("hoeveelheden", rules_.quantities);
    words("codewoorden", rules_.codeCues);
    words("telefoonwoorden", rules_.phoneCues);
    words("titelwoorden", rules_.titleWords);
    words("vorstennamen", rules_.regnalNames);
    for (const auto& [word, spoken] : rules.section("per"))
        rules_.per[lower(word)] = spoken.empty() ? lower(word) : spoken;
    for (const auto& [word, spoken] : rules.section("letterwoorden"))
        if (!spoken.empty()) rules_.letterWords[word] = spoken;
    for (const auto& [unit, spoken] : rules.section("eenheden")) {
        std::string singular = spoken, plural = spoken;
        if (const auto bar = spoken.find('|'); bar != std::string::npos) {
            singular = std::string(trim(std::string_view(spoken).substr(0, bar)));
            plural = std::string(trim(std::string_view(spoken).substr(bar + 1)));
        }
        if (!singular.empty()) rules_.units[unit] = {singular, plural};
    }
}

void NumberSolver::clearRules() {
    rules_ = Rules{};
}

std::string NumberSolver::process(std::string_view text) const {
    return Scanner(text, rules_).run();
}

} // namespace zq
