// Dutch number words in Windows-1252, written as the Taalunie spells them: one word up to a
// thousand, a space after "duizend", "miljoen" and "miljard" as separate words.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zq {

// Largest value spoken as a number; longer digit strings are read digit by digit.
inline constexpr std::uint64_t kMaxCardinal = 999'999'999'999ULL;

// "één" for 1 (so a voice does not read the article "een"), "twaalfhonderdvijftig" for 1250.
std::string cardinal(std::uint64_t n);
// "eerste", "derde", "achtste", "twintigste", "eenentwintigste".
std::string ordinal(std::uint64_t n);
// Each digit as a word, separated by spaces: "nul zes".
std::string digitWords(std::string_view digits);

} // namespace zq
