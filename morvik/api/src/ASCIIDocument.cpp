#include <morvik/api/ASCIIDocument.h>

int ASCIIDocument::Init(std::string_view text, Stopper* extractor, std::int32_t reserved,
                        std::int32_t languageOption) {
    Text::Init(text, extractor, reserved, languageOption);
    CleanText = Contents;
    return 1;
}

std::int32_t ASCIIDocument::ExtractTerms(TermList& list) {
    return ExtractFrom(TermText(), list);
}
