// LanguageProfile: one language's model in memory and the score of a text against it: the
// geometric mean, over all 4-gram occurrences, of the model's probability of the 4-gram's last
// character after its first three.
#pragma once

#include <morvik/api/ModelDictionary.h>
#include <morvik/api/Stopper.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class Text;

class LanguageProfile {
public:
    // Reads the model file in one piece. 1 on success; 0 when the file cannot be read (no
    // message) or is not a sound model file (one line on stderr); the profile then keeps what
    // it had.
    int Load(std::int32_t n, const char* fileName, std::int32_t traceLevel);
    // Attaches its own 4-gram extractor to the initialised document and scores it; 0.0 when
    // not loaded or when the text has no 4-gram.
    float Score(Text& document) const;
    // The score of a term list already made with 4-grams (T occurrences in all).
    float ScoreTerms(const TermList& terms, std::int32_t total) const;
    bool IsLoaded() const { return LoadCount > 0; }
    // Remakes the lookup index of the 4-gram keys; Load calls it, as must anyone who changes
    // Model directly.
    void RebuildIndex();
    // The model's value for term, or nullptr.
    const std::int32_t* Find(std::string_view term) const;

    std::int32_t TraceLevel = 0;
    std::int32_t LoadCount = 0;
    std::int32_t N = 0;
    ModelDictionary Model;

private:
    // Scoring looks up 4-grams only: they sit in a flat open-addressed table keyed by their four
    // bytes, which costs one cache line per lookup instead of a walk through list nodes.
    struct Slot {
        std::uint32_t key = 0; // 0: empty (a 4-gram never holds a zero byte)
        std::int32_t value = 0;
    };
    std::vector<Slot> index_;
    unsigned indexShift_ = 32;
};

// The languages of the six-way decision, in its answer order.
inline constexpr const char* kDecisionOrder[6] = {"en", "nl", "de", "fr", "it", "es"};

// The answer to six scores (in kDecisionOrder) and a threshold: "xx 0.1234" for the best
// language when its score is strictly above the threshold, else "?? 0.1234". Writes at most
// size bytes, zero-terminated.
void SixWayDecision(const float scores[6], float threshold, char* out, std::size_t size);
