// ProfileSet: the 4-grams of several language profiles in one table, each with what every
// profile's score adds for it, so that one lookup per distinct 4-gram serves all of them. The
// scores are bit for bit those of each profile's ScoreFourGrams (same 4-grams, same order, same
// float arithmetic).
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
    // scores[i] := profiles[i].ScoreFourGrams(grams, total) for the profiles given to Build.
    void ScoreFourGrams(const FourGramTable& grams, std::int32_t total, float* scores) const;
    // The same for profile i alone.
    float ScoreFourGrams(std::size_t i, const FourGramTable& grams, std::int32_t total) const;

private:
    // One cache line holds two slots whole.
    struct alignas(32) Slot {
        std::uint32_t key = 0; // the packed 4-gram; 0 is empty
        float logProbability[kMaxProfiles] = {};
    };
    static_assert(sizeof(Slot) == 32);

    // Calls add(logProbabilities, count) for every 4-gram of grams in the table's order, with
    // every profile's value for it (unseen_ for a 4-gram no profile holds).
    template <typename Add> void Visit(const FourGramTable& grams, Add&& add) const;
    // The profiles whose score is a sum (loaded, with characters); the others answer for
    // themselves.
    bool Sums(std::size_t i) const;

    std::vector<const LanguageProfile*> profiles_;
    std::vector<Slot> slots_;
    unsigned shift_ = 32;
    float unseen_[kMaxProfiles] = {};
};
