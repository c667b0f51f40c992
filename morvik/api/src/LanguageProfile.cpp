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

enum class ReadResult { Ok, Unreadable, TooLarge };

// Reads the whole file, after checking its size against the cap.
ReadResult ReadWholeFile(const char* name, std::vector<unsigned char>& data) {
    // A folder or a device would open but give no sensible size.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(name, ec)) return ReadResult::Unreadable;
    const std::uintmax_t size = std::filesystem::file_size(name, ec);
    if (ec) return ReadResult::Unreadable;
    if (size > kMaxModelBytes) return ReadResult::TooLarge;
    std::FILE* f = std::fopen(name, "rb");
    if (f == nullptr) return ReadResult::Unreadable;
    data.resize(static_cast<std::size_t>(size));
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
        const std::int32_t* value = Find(tc.Term);
        const float lp = value != nullptr ? static_cast<float>(*value / 1000000.0) : unseen;
        sum = sum + static_cast<float>(tc.Count) * lp;
    }
    return static_cast<float>(std::exp(static_cast<double>(sum) / total));
}

namespace {

std::uint32_t PackFourGram(std::string_view term) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(term[0])) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(term[1])) << 8) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(term[2])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(term[3])) << 24);
}

std::size_t SlotOf(std::uint32_t key, unsigned shift) {
    return static_cast<std::size_t>((key * 0x9E3779B1u) >> shift);
}

} // namespace

void LanguageProfile::RebuildIndex() {
    std::size_t fourGrams = 0;
    for (const auto& entry : Model)
        fourGrams += entry.first.size() == 4 ? 1 : 0;
    unsigned bits = 4;
    while ((std::size_t{1} << bits) < fourGrams * 2)
        ++bits;
    indexShift_ = 32 - bits;
    index_.assign(std::size_t{1} << bits, Slot{});
    const std::size_t mask = index_.size() - 1;
    for (const auto& [key, value] : Model) {
        if (key.size() != 4) continue;
        const std::uint32_t packed = PackFourGram(key);
        if (packed == 0) continue;
        std::size_t i = SlotOf(packed, indexShift_);
        while (index_[i].key != 0)
            i = (i + 1) & mask;
        index_[i] = Slot{packed, value};
    }
}

const std::int32_t* LanguageProfile::Find(std::string_view term) const {
    if (term.size() != 4 || index_.empty()) {
        auto it = Model.find(term);
        return it != Model.end() ? &it->second : nullptr;
    }
    const std::uint32_t packed = PackFourGram(term);
    const std::size_t mask = index_.size() - 1;
    for (std::size_t i = SlotOf(packed, indexShift_);; i = (i + 1) & mask) {
        const Slot& slot = index_[i];
        if (slot.key == packed) return &slot.value;
        if (slot.key == 0) return nullptr;
    }
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
