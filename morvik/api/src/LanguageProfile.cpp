#include <morvik/api/LanguageProfile.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include <morvik/api/ModelFile.h>
#include <morvik/api/Stopper.h>
#include <morvik/api/Text.h>
#include <morvik/api/gen_util.h>

namespace {

// Far above any real model (a few megabytes); protects against loading an unrelated huge file.
constexpr std::size_t kMaxModelBytes = std::size_t{256} << 20;

enum class ReadResult { Ok, Unreadable, TooLarge };

// Reads the whole file, after checking its size against the cap.
ReadResult ReadWholeFile(const char* name, std::vector<unsigned char>& data) {
    // A folder or a device would open but give no sensible size.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(name, ec)) return ReadResult::Unreadable;
    const std::uintmax_t size = std::filesystem::file_size(name, ec);
    if (ec) return ReadResult::Unreadable;
    if (size > kMaxModelBytes) return ReadResult::TooLarge;
    // Before the file is open: running out of memory here throws, and leaves no stream behind.
    data.resize(static_cast<std::size_t>(size));
    std::FILE* f = std::fopen(name, "rb");
    if (f == nullptr) return ReadResult::Unreadable;
    // A file that shrank since is unreadable; one that grew is read up to the size checked.
    const bool ok = size == 0 || fread_check(data.data(), 1, data.size(), f) == 1;
    std::fclose(f);
    return ok ? ReadResult::Ok : ReadResult::Unreadable;
}

} // namespace

int LanguageProfile::Load(std::int32_t n, const char* fileName, std::int32_t traceLevel) {
    TraceLevel = traceLevel;
    N = n;
    if (fileName == nullptr) return 0;
    std::vector<unsigned char> data;
    const ReadResult read = ReadWholeFile(fileName, data);
    if (read == ReadResult::TooLarge)
        std::fprintf(stderr, "morvik: model file '%s' not loaded: file too large\n", fileName);
    if (read != ReadResult::Ok) return 0;
    ModelDictionary model;
    std::string why;
    if (!ModelFile::Decode(data.data(), data.size(), model, why)) {
        std::fprintf(stderr, "morvik: model file '%s' not loaded: %s\n", fileName, why.c_str());
        return 0;
    }
    Model.swap(model);
    RebuildIndex();
    ++LoadCount;
    return 1;
}

float LanguageProfile::Score(Text& document) const {
    if (LoadCount == 0) return 0.0f;
    Stopper extractor(Stopper::kModeNgrams, 4, 0);
    document.SetExtractor(&extractor);
    FourGramTable grams(document.TermText().size());
    std::int32_t total = document.ExtractFourGrams(grams);
    // The extractor dies with this call; the document must not keep pointing at it.
    document.SetExtractor(nullptr);
    return ScoreFourGrams(grams, total);
}

float LanguageProfile::ScoreFourGrams(const FourGramTable& grams, std::int32_t total) const {
    if (LoadCount == 0) return 0.0f;
    if (total == 0) {
        std::fputs("\nCould not extract N-grams\n", stderr);
        return 0.0f;
    }
    // Without characters the model has no probability for an unseen 4-gram.
    if (vocabulary_ <= 0) return 0.0f;
    float sum = 0.0f;
    grams.ForEach([&](std::uint32_t gram, std::int32_t count) {
        sum = sum + static_cast<float>(count) * LogProbability(gram);
    });
    return static_cast<float>(std::exp(static_cast<double>(sum) / total));
}

float UnseenLogProbability(std::int32_t vocabulary) {
    return static_cast<float>(std::log(1.0 / vocabulary));
}

void LanguageProfile::RebuildIndex() {
    auto v = Model.find(std::string_view(kNrCharsKey));
    vocabulary_ = v != Model.end() ? v->second : 0;
    unseen_ = vocabulary_ > 0 ? UnseenLogProbability(vocabulary_) : 0.0f;
}

float LanguageProfile::LogProbability(std::uint32_t gram) const {
    auto it = Model.find(FourGramTable::Unpack(gram));
    return it != Model.end() ? LogProbabilityOf(it->second) : unseen_;
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
    // As snprintf "%s %.4f" would write it (to_chars rounds as printf does), without the cost
    // of parsing a format for every answer.
    char text[64] = {code[0], code[1], ' '};
    const auto [end, error] = std::to_chars(text + 3, text + sizeof text - 1,
                                            static_cast<double>(best), std::chars_format::fixed, 4);
    const std::size_t length = error == std::errc{} ? static_cast<std::size_t>(end - text) : 3;
    const std::size_t kept = std::min(length, size - 1);
    std::memcpy(out, text, kept);
    out[kept] = '\0';
}
