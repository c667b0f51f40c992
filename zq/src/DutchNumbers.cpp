#include "DutchNumbers.h"

#include <array>

#include "Text1252.h"

namespace zq {

namespace {

constexpr std::array<const char*, 20> kBelow20 = {
    "nul",      "een",      "twee",    "drie",      "vier",     "vijf",     "zes",
    "zeven",    "acht",     "negen",   "tien",      "elf",      "twaalf",   "dertien",
    "veertien", "vijftien", "zestien", "zeventien", "achttien", "negentien"};
constexpr std::array<const char*, 10> kTens = {"",        "tien",    "twintig", "dertig",
                                               "veertig", "vijftig", "zestig",  "zeventig",
                                               "tachtig", "negentig"};
const std::string kEen = "\xE9\xE9n"; // één

std::string under100(unsigned n) {
    if (n < 20) return kBelow20[n];
    const unsigned unit = n % 10;
    if (unit == 0) return kTens[n / 10];
    std::string unitWord = kBelow20[unit];
    // "tweeëntwintig", "drieëntwintig": a trema where two e's would otherwise meet
    const char* joint = unitWord.back() == 'e' ? "\xEBn" : "en";
    return unitWord + joint + kTens[n / 10];
}

std::string under1000(unsigned n) {
    if (n < 100) return under100(n);
    const unsigned hundreds = n / 100, rest = n % 100;
    std::string out = hundreds == 1 ? "honderd" : std::string(kBelow20[hundreds]) + "honderd";
    if (rest > 0) out += under100(rest);
    return out;
}

std::string under1e6(unsigned n) {
    if (n < 1000) return under1000(n);
    // 1100..1999 as "elfhonderd" .. "negentienhonderdnegenennegentig", as Dutch speakers say them
    if (n >= 1100 && n < 2000 && (n / 100) % 10 != 0) {
        std::string out = std::string(kBelow20[n / 100]) + "honderd";
        if (n % 100 != 0) out += under100(n % 100);
        return out;
    }
    const unsigned thousands = n / 1000, rest = n % 1000;
    std::string out = thousands == 1 ? "duizend" : under1000(thousands) + "duizend";
    if (rest > 0) out += cat(" ", rest == 1 ? kEen : under1000(rest));
    return out;
}

} // namespace

std::string cardinal(std::uint64_t n) {
    if (n == 1) return kEen;
    if (n < 1'000'000) return under1e6(static_cast<unsigned>(n));
    std::string out;
    const std::uint64_t billions = n / 1'000'000'000ULL;
    const unsigned millions = static_cast<unsigned>(n / 1'000'000 % 1000);
    const unsigned rest = static_cast<unsigned>(n % 1'000'000);
    if (billions > 0) out = cardinal(billions) + " miljard";
    if (millions > 0) {
        if (!out.empty()) out += ' ';
        out += (millions == 1 ? kEen : under1000(millions)) + " miljoen";
    }
    if (rest > 0) out += cat(" ", rest == 1 ? kEen : under1e6(rest));
    return out;
}

std::string ordinal(std::uint64_t n) {
    if (n == 1) return "eerste";
    std::string words = cardinal(n);
    auto endsWith = [&](std::string_view suffix) {
        return words.size() >= suffix.size() &&
               std::string_view(words).substr(words.size() - suffix.size()) == suffix;
    };
    if (endsWith(kEen)) return words.substr(0, words.size() - kEen.size()) + "eerste";
    if (endsWith("een")) return words.substr(0, words.size() - 3) + "eerste";
    if (endsWith("drie")) return words.substr(0, words.size() - 4) + "derde";
    if (endsWith("acht") || endsWith("tig") || endsWith("honderd") || endsWith("duizend") ||
        endsWith("miljoen") || endsWith("miljard"))
        return words + "ste";
    return words + "de";
}

std::string digitWords(std::string_view digits) {
    std::string out;
    for (char c : digits) {
        if (!isDigit(c)) continue;
        if (!out.empty()) out += ' ';
        out += c == '1' ? kEen : std::string(kBelow20[c - '0']);
    }
    return out;
}

} // namespace zq
