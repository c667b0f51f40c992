// Feeds arbitrary bytes to the HTML and plain-text documents: control-character cleaning,
// entity conversion, tag, script and comment stripping, and 4-gram extraction of the result.
#include <morvik/api/ASCIIDocument.h>
#include <morvik/api/HTMLDocument.h>
#include <morvik/api/Stopper.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Stopper extractor(Stopper::kModeNgrams, 4, 0);

    HTMLDocument html;
    html.Init(text, &extractor, 0, 0);
    TermList terms;
    const std::int32_t total = html.ExtractTerms(terms);
    // The cleaners never grow the text, and the terms add up to the total.
    if (html.CleanText.size() > size || total < 0) std::abort();
    std::int64_t sum = 0;
    for (const TermCount& tc : terms)
        sum += tc.Count;
    if (sum != total) std::abort();

    ASCIIDocument plain;
    plain.Init(text, &extractor, 0, 0);
    if (plain.CleanText.size() > size) std::abort();
    terms.clear();
    plain.ExtractTerms(terms);
    return 0;
}
