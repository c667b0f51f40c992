#include <morvik/api/Text.h>

#include <cstdio>

int Text::SetContents(std::string_view text) {
    Contents.assign(text);
    if (Verbose > 0) std::fputs("Checking garbage chars\n\n", stderr);
    if (CheckGarbage(Contents, Verbose) == 0) {
        std::fputs("Could not check on garbage\n", stderr);
        return 0;
    }
    return 1;
}

int Text::Init(std::string_view text, Stopper* extractor, std::int32_t reserved,
               std::int32_t languageOption) {
    Extractor = extractor;
    Reserved = reserved;
    LanguageOption = languageOption;
    return SetContents(text);
}

int Text::GenerateTerms(std::vector<std::string>& terms) {
    if (Extractor != nullptr) Extractor->GenerateTerms(Contents, terms, LanguageOption);
    return 1;
}

std::int32_t Text::ExtractFrom(const std::string& text, TermList& list) {
    // Without an extractor there is nothing to make terms with.
    TermTotal = Extractor != nullptr ? Extractor->ExtractIndexTerms(text, list, LanguageOption) : 0;
    return TermTotal;
}

std::int32_t Text::ExtractFourGrams(FourGramTable& table) {
    TermTotal =
        Extractor != nullptr ? Extractor->CountFourGrams(TermText(), table, LanguageOption) : 0;
    return TermTotal;
}

int Text::CheckGarbage(std::string& text, std::int32_t verbose) {
    // One pass, compacting in place: deleting each CR separately would be quadratic.
    std::size_t out = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (verbose > 3) std::fprintf(stderr, "debug: char %d: %c\n", b, b);
        if (b == '\n' || (b >= 32 && b <= 126) || b >= 192) {
            text[out++] = static_cast<char>(b);
        } else if (b == '\r') {
            if (verbose > 0) std::fputs("Warning: deleting CR \n", stderr);
        } else {
            if (verbose > 0) std::fprintf(stderr, "Warning: skipping char %d: %c\n", b, b);
            text[out++] = ' ';
        }
    }
    text.resize(out);
    return 1;
}
