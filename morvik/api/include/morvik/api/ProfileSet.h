// ProfileSet: scores one 4-gram list against several language profiles at once, with one
// lookup per distinct 4-gram for all of them. The scores are bit for bit those of each
// profile's ScoreTerms (same terms, same order, same float arithmetic).
#pragma once

#include <morvik/api/LanguageProfile.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class ProfileSet {
public:
    static constexpr std::size_t kMaxProfiles = 6;

    // Takes the profiles' current models; call again after any of them loads.
    void Build(const LanguageProfile* const* profiles, std::size_t count);
    // scores[i] := profiles[i].ScoreTerms(terms, total) for the profiles given to Build.
    void ScoreTerms(const TermList& terms, std::int32_t total, float* scores) const;

private:
    struct Slot {
        std::uint32_t key = 0; // the 4-gram's bytes; 0 is empty
        std::uint32_t row = 0; // into values_ and present_
    };
    const Slot* Find(std::uint32_t key) const;

    std::vector<const LanguageProfile*> profiles_;
    std::vector<Slot> slots_;
    unsigned shift_ = 32;
    std::vector<std::int32_t> values_;  // kMaxProfiles per row
    std::vector<std::uint8_t> present_; // bit i: profile i holds the 4-gram
};
