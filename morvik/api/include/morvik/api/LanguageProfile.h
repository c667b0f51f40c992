// LanguageProfile: one language's model in memory and the score of a text against it: the
// geometric mean, over all 4-gram occurrences, of the model's probability of the 4-gram's last
// character after its first three.
#pragma once

#include <morvik/api/CountTable.h>
#include <morvik/api/ModelDictionary.h>

#include <cstddef>
#include <cstdint>

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
    // The score of 4-grams already counted (T occurrences in all), summed in the table's order.
    float ScoreFourGrams(const FourGramTable& grams, std::int32_t total) const;
    bool IsLoaded() const { return LoadCount > 0; }
    // Takes V and the value of unseen 4-grams from Model; Load calls it, as must anyone who
    // changes Model directly.
    void RebuildIndex();
    // V, the model's "nrchars" as of the last RebuildIndex (0 when absent).
    std::int32_t Vocabulary() const { return vocabulary_; }
    // The log probability the score adds for gram: the model's value / 1000000 as a float, or
    // ln(1 / V) as a float for a 4-gram the model lacks.
    float LogProbability(std::uint32_t gram) const;

    std::int32_t TraceLevel = 0;
    std::int32_t LoadCount = 0;
    std::int32_t N = 0;
    // The exports look their 4-grams up in a ProfileSet of the six; a profile alone looks here.
    ModelDictionary Model;

private:
    std::int32_t vocabulary_ = 0;
    float unseen_ = 0.0f;
};

// The float a model value adds to the score, and that of a 4-gram unseen in a model of V
// characters (V > 0). Scoring's only arithmetic besides the sum: computed once per model.
inline float LogProbabilityOf(std::int32_t value) {
    return static_cast<float>(value / 1000000.0);
}
float UnseenLogProbability(std::int32_t vocabulary);

// The languages of the six-way decision, in its answer order.
inline constexpr const char* kDecisionOrder[6] = {"en", "nl", "de", "fr", "it", "es"};

// The answer to six scores (in kDecisionOrder) and a threshold: "xx 0.1234" for the best
// language when its score is strictly above the threshold, else "?? 0.1234". Writes at most
// size bytes, zero-terminated.
void SixWayDecision(const float scores[6], float threshold, char* out, std::size_t size);
