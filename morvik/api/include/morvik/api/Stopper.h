// Stopper: the index-term extractor. In mode 2 it turns text into padded character n-grams
// ("_" + word + "_", lower-cased), as strings or, for 4-grams, packed into a FourGramTable; it
// also holds the six stop-word tables that can filter words first (off in every Stopper the
// library makes for language identification).
#pragma once

#include <morvik/api/CountTable.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One distinct term and its number of occurrences.
struct TermCount {
    std::string Term;
    std::int32_t Count = 0;
};
using TermList = std::vector<TermCount>;
using WordList = std::vector<std::string>;

class Stopper {
public:
    static constexpr std::int32_t kModeNotImplemented = 1;
    static constexpr std::int32_t kModeNgrams = 2;

    Stopper(std::int32_t mode, std::int32_t n, std::int32_t useStopWords);

    // Appends the words of text, split at the 44 delimiter characters as strtok would; returns 1.
    static int SplitWords(std::string_view text, WordList& words);
    // Appends one term per n-gram occurrence; 1 in mode 2, else 0 after a message.
    int GenerateTerms(std::string_view text, std::vector<std::string>& terms,
                      std::int32_t languageOption);
    // Appends one TermCount per distinct term; returns the number of terms with repeats.
    // Throws zkCException* "Could not extract indexterms" when the mode makes no terms.
    std::int32_t ExtractIndexTerms(std::string_view text, TermList& list,
                                   std::int32_t languageOption);

    // Counts the 4-grams of text into table, as ExtractIndexTerms would with N = 4, and returns
    // their number with repeats. Throws as ExtractIndexTerms does.
    std::int32_t CountFourGrams(std::string_view text, FourGramTable& table,
                                std::int32_t languageOption);

    // Stop-word lists. Codes: 1 en, 2 nl, 3 de, 4 fr, 5 it, 6 es.
    int InitStoppers(const char* firstDirectory, const char* secondDirectory);
    void LoadStopLists(const char* directory);
    static int LoadStopList(CountTable& table, const char* directory, const char* name);
    // Throws zkCException* for an unloaded table or an unknown code.
    bool IsStopWord(const char* word, std::int32_t code);

    std::int32_t Mode;
    std::int32_t N;
    std::int32_t UseStopWords;
    std::int32_t KeepCase = 0;
    std::int32_t Verbose = 0;

    // In field order: Dutch, German, French, English, Italian, Spanish.
    CountTable Dutch, German, French, English, Italian, Spanish;

private:
    CountTable* TableFor(std::int32_t code);
    CountTable* TableForName(const char* code);
    // Whether Mode makes terms; if not, says why on stderr.
    bool ModeMakesTerms() const;
    // Calls fn(word) with every word of text (up to a zero byte) that the stop words let
    // through, in order, as written; false when the mode makes no terms.
    template <typename Fn>
    bool ForEachIndexWord(std::string_view text, std::int32_t languageOption, Fn&& fn);
    // Calls emit(term, n) with every n-gram occurrence of text (zero-terminated), in order;
    // false when the mode makes no terms.
    template <typename Emit>
    bool ForEachTerm(std::string_view text, std::int32_t languageOption, Emit&& emit);
};
