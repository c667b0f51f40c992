#include <morvik/api/Text.h>

#include <algorithm>
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

namespace {

enum ByteKind : unsigned char { kKeep, kDelete, kBlank };

// What CheckGarbage does with each byte.
struct ByteKinds {
    ByteKind of[256] = {};
    constexpr ByteKinds() {
        for (int b = 0; b < 256; ++b)
            of[b] = (b == '\n' || (b >= 32 && b <= 126) || b >= 192) ? kKeep
                    : b == '\r'                                      ? kDelete
                                                                     : kBlank;
    }
};
constexpr ByteKinds kByteKinds;

} // namespace

bool Text::IsClean(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return kByteKinds.of[static_cast<unsigned char>(c)] == kKeep;
    });
}

int Text::CheckGarbage(std::string& text, std::int32_t verbose) {
    // Most texts need no change: the work starts at the first byte that does (at once when
    // every byte is to be shown).
    auto first = text.begin();
    if (verbose <= 3) {
        first = std::find_if(text.begin(), text.end(), [](char c) {
            return kByteKinds.of[static_cast<unsigned char>(c)] != kKeep;
        });
    }
    // One pass, compacting in place: deleting each CR separately would be quadratic.
    std::size_t out = static_cast<std::size_t>(first - text.begin());
    for (std::size_t i = out; i < text.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (verbose > 3) std::fprintf(stderr, "debug: char %d: %c\n", b, b);
        switch (kByteKinds.of[b]) {
        case kKeep:
            text[out++] = static_cast<char>(b);
            break;
        case kDelete:
            if (verbose > 0) std::fputs("Warning: deleting CR \n", stderr);
            break;
        case kBlank:
            if (verbose > 0) std::fprintf(stderr, "Warning: skipping char %d: %c\n", b, b);
            text[out++] = ' ';
            break;
        }
    }
    text.resize(out);
    return 1;
}
