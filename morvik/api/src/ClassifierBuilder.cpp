#include <morvik/api/ClassifierBuilder.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include <morvik/api/ModelFile.h>
#include <morvik/api/Stopper.h>
#include <morvik/api/Text.h>
#include <morvik/api/gen_util.h>

namespace {

void AddCount(ClassifierBuilder::Counts& counts, const std::string& key, std::int32_t amount) {
    std::int64_t v = static_cast<std::int64_t>(counts[key]) + amount;
    counts[key] = v > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(v);
}

} // namespace

void ClassifierBuilder::Collect(Text* document) {
    if (document == nullptr) return;
    struct Pass {
        std::int32_t n;
        Counts* counts;
        const char* message;
    };
    const Pass passes[] = {{N - 1, &PrefixCounts, "\nCould not extract N-1-grams\n"},
                           {N, &NgramCounts, "\nCould not extract N-grams\n"},
                           {1, &CharCounts, "\nCould not extract 1-grams\n"}};
    for (const Pass& pass : passes) {
        Stopper extractor(Stopper::kModeNgrams, pass.n, 0);
        document->SetExtractor(&extractor);
        TermList terms;
        std::int32_t total = document->ExtractTerms(terms);
        document->SetExtractor(nullptr);
        if (total == 0) std::fputs(pass.message, stderr);
        for (const TermCount& tc : terms)
            AddCount(*pass.counts, tc.Term, tc.Count);
    }
}

int ClassifierBuilder::WriteModel(const char* fileName) {
    if (fileName == nullptr || *fileName == '\0') {
        std::fputs("morvik: no model file name to write\n", stderr);
        return 0;
    }
    ModelDictionary model;
    const auto vocabulary = static_cast<std::int32_t>(CharCounts.size());
    model.emplace(kNrCharsKey, vocabulary);
    for (const auto& [gram, c] : NgramCounts) {
        const std::string prefix = gram.empty() ? gram : gram.substr(0, gram.size() - 1);
        auto it = PrefixCounts.find(prefix);
        const std::int32_t c2 = it != PrefixCounts.end() ? it->second : 0;
        const double p = (static_cast<double>(c) + 1) / (static_cast<double>(c2) + vocabulary);
        model.emplace(gram, static_cast<std::int32_t>(std::floor(1000000.0 * std::log(p))));
    }
    const std::vector<unsigned char> bytes = ModelFile::Encode(model);

    // Written beside the target and renamed over it, so that a failed write never leaves a
    // half model under the real name.
    const std::string temp = std::string(fileName) + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "morvik: cannot create model file '%s'\n", temp.c_str());
        return 0;
    }
    bool ok = fwrite_check(bytes.data(), 1, bytes.size(), f) == 1;
    ok = (std::fclose(f) == 0) && ok;
    std::error_code ec;
    if (ok) std::filesystem::rename(temp, fileName, ec);
    if (!ok || ec) {
        std::filesystem::remove(temp, ec);
        std::fprintf(stderr, "morvik: could not write model file '%s'\n", fileName);
        return 0;
    }
    return 1;
}
