// Text: the base of the documents, holders of one text to classify or learn from. A document
// cleans its text of control characters and hands it to the attached term extractor.
#pragma once

#include <morvik/api/Stopper.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class Text {
public:
    Text() = default;
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;

    // Stores text in Contents and runs CheckGarbage; 1 on success. The text may hold zero bytes
    // (they become blanks like the other control characters).
    virtual int SetContents(std::string_view text);
    virtual ~Text() = default;
    virtual int Init(std::string_view text, Stopper* extractor, std::int32_t reserved,
                     std::int32_t languageOption);
    // Hands the document's text to the extractor's ExtractIndexTerms; returns and keeps T.
    virtual std::int32_t ExtractTerms(TermList& list) = 0;
    // The same terms with N = 4, counted into table; returns and keeps T.
    std::int32_t ExtractFourGrams(FourGramTable& table);
    // The text the terms are made from: the cleaned text.
    virtual const std::string& TermText() const { return CleanText; }
    // T of the last ExtractTerms or ExtractFourGrams, -1 before the first.
    virtual std::int32_t TermTotalCount() const { return TermTotal; }
    // Hands Contents to the extractor's GenerateTerms; returns 1.
    virtual int GenerateTerms(std::vector<std::string>& terms);

    // Attaches an extractor; the document does not own it.
    void SetExtractor(Stopper* extractor) { Extractor = extractor; }

    // Control characters: CR is deleted; tab, the other codes below 32 and 127-191 become blanks.
    // Always succeeds.
    static int CheckGarbage(std::string& text, std::int32_t verbose = 0);
    // Whether CheckGarbage would leave text as it is.
    static bool IsClean(std::string_view text);

    std::int32_t Verbose = 0;
    std::string Contents;
    std::string CleanText;
    Stopper* Extractor = nullptr;
    std::int32_t Reserved = 0;
    std::int32_t LanguageOption = 0;
    std::int32_t TermTotal = -1;

protected:
    std::int32_t ExtractFrom(const std::string& text, TermList& list);
};
