// ASCIIDocument: a plain-text document; its terms come from the cleaned text as it stands.
#pragma once

#include <morvik/api/Text.h>

class ASCIIDocument : public Text {
public:
    int Init(std::string_view text, Stopper* extractor, std::int32_t reserved,
             std::int32_t languageOption) override;
    std::int32_t ExtractTerms(TermList& list) override;
    const std::string& TermText() const override { return Contents; }
};
