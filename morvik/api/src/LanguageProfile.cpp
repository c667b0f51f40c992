#include <morvik/api/LanguageProfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include <morvik/api/ModelFile.h>
#include <morvik/api/Text.h>
#include <morvik/api/gen_util.h>

namespace {

// Far above any real model (a few megabytes); protects against loading an unrelated huge file.
constexpr std::size_t kMaxModelBytes = std::size_t{256} << 20;

// Reads the whole file; false when it cannot be opened or read.
bool ReadWholeFile(const char* name, std::vector<unsigned char>& data) {
    // A folder or a device would open but give no sensible size.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(name, ec)) return false;
    std::FILE* f = std::fopen(name, "rb");
    if (f == nullptr) return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(f) : -1;
    ok = ok && size >= 0 && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        data.resize(static_cast<std::size_t>(size));
        ok = size == 0 || fread_check(data.data(), 1, data.size(), f) == 1;
    }
    std::fclose(f);
    return ok;
}

} // namespace

int LanguageProfile::Load(std::int32_t n, const char* fileName, std::int32_t traceLevel) {
    TraceLevel = traceLevel;
    N = n;
    if (fileName == nullptr) return 0;
    std::vector<unsigned char> data;
    if (!ReadWholeFile(fileName, data)) return 0;
    if (data.size() > kMaxModelBytes) {
        std::fprintf(stderr, "morvik: model file '%s' not loaded: file too large\n", fileName);
        return 0;
    }
    ModelDictionary model;
    std::string why;
    if (!ModelFile::Decode(data.data(), data.size(), model, why)) {
        std::fprintf(stderr, "morvik: model file '%s' not loaded: %s\n", fileName, why.c_str());
        return 0;
    }
    Model.swap(model);
    ++LoadCount;
    return 1;
}

float LanguageProfile::Score(Text& document) const {
    if (LoadCount == 0) return 0.0f;
    Stopper extractor(Stopper::kModeNgrams, 4, 0);
    document.SetExtractor(&extractor);
    TermList terms;
    std::int32_t total = document.ExtractTerms(terms);
    // The extractor dies with this call; the document must not keep pointing at it.
    document.SetExtractor(nullptr);
    return ScoreTerms(terms, total);
}

float LanguageProfile::ScoreTerms(const TermList& terms, std::int32_t total) const {
    if (LoadCount == 0) return 0.0f;
    auto v = Model.find(std::string_view(kNrCharsKey));
    const std::int32_t vocabulary = v != Model.end() ? v->second : 0;
    if (total == 0) {
        std::fputs("\nCould not extract N-grams\n", stderr);
        return 0.0f;
    }
    // Without characters the model has no probability for an unseen 4-gram.
    if (vocabulary <= 0) return 0.0f;

    const float unseen = static_cast<float>(std::log(1.0 / vocabulary));
    float sum = 0.0f;
    for (const TermCount& tc : terms) {
        auto it = Model.find(std::string_view(tc.Term));
        const float lp = it != Model.end() ? static_cast<float>(it->second / 1000000.0) : unseen;
        sum = sum + static_cast<float>(tc.Count) * lp;
    }
    return static_cast<float>(std::exp(static_cast<double>(sum) / total));
}

void SixWayDecision(const float scores[6], float threshold, char* out, std::size_t size) {
    if (out == nullptr || size == 0) return;
    // Indexes into kDecisionOrder (en nl de fr it es) in the order the best is looked for.
    static const int kSearchOrder[6] = {1, 0, 2, 3, 4, 5};
    float best = 0.0f;
    for (int i : kSearchOrder) {
        if (scores[i] > best) best = scores[i];
    }
    const char* code = "??";
    if (best > threshold) {
        for (int i = 0; i < 6; ++i) {
            if (scores[i] == best) {
                code = kDecisionOrder[i];
                break;
            }
        }
    }
    std::snprintf(out, size, "%s %.4f", code, static_cast<double>(best));
}
