// C_Classify (one language) and the six-way C_ClassifyLanguage on 100 B, 1 KB and 100 KB of
// Dutch prose, CLD2 on the same texts, and loading the six models. Needs the built models in
// the build's data folder.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/resource.h>

#include <public/compact_lang_det.h>

#include <morvik/morvik.h>

namespace {

// Latin-1 Dutch prose of a few kinds (news, letter, instructions).
const char kDutch[] =
    "Het weer blijft deze week grotendeels droog, al neemt de wind op donderdag flink toe. De "
    "boeren in het noorden hopen nog op regen voordat de oogst begint, want de grond is na drie "
    "warme maanden zonder veel water erg hard geworden. Beste Marieke, dank je wel voor je "
    "uitnodiging voor het feest van zaterdag. Ik kom graag, maar ik weet nog niet of ik de trein "
    "van half zeven haal; misschien neem ik de bus en ben ik iets later. Zal ik een taart "
    "meenemen of heb je liever iets anders? Open eerst het deksel aan de achterkant van het "
    "apparaat en plaats de batterijen met de platte kant naar de veer. Sluit het deksel en houd "
    "de knop drie seconden ingedrukt tot het lampje groen knippert. Als het lampje rood blijft, "
    "zijn de batterijen leeg of verkeerd geplaatst. De gemeenteraad heeft gisteravond besloten "
    "dat de nieuwe fietsenstalling bij het station er volgend voorjaar komt. Omwonenden maakten "
    "zich zorgen over het verkeer tijdens de bouw, maar de wethouder beloofde dat de straat "
    "steeds bereikbaar blijft. Wij danken u voor uw bestelling. Uw pakket wordt morgen tussen "
    "negen en twaalf uur bezorgd; bent u niet thuis, dan leggen wij het bij de buren af of "
    "nemen wij het mee naar het afhaalpunt in uw buurt. Caf\xE9s en restaurants mogen hun "
    "terrassen dit jaar langer openhouden, zo meldt de gemeente in een brief aan de bewoners.";

std::string Text(std::size_t size) {
    std::string s;
    while (s.size() < size)
        s += std::string(kDutch) + " ";
    s.resize(size);
    return s;
}

std::string Latin1ToUtf8(const std::string& in) {
    std::string out;
    for (unsigned char c : in) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

bool ModelsReady() {
    static const bool ready = [] {
        const std::string dir = MORVIK_DATA_DIR;
        for (const char* code : {"en", "nl", "fr", "de", "it", "es"}) {
            if (!std::filesystem::exists(dir + "/" + code + "4.bin")) return false;
        }
        std::filesystem::current_path(dir);
        return C_InitLanguageClassifier("lid.cfg") == 0;
    }();
    return ready;
}

void BM_MorvikClassifyOne(benchmark::State& state) {
    if (!ModelsReady()) return state.SkipWithError("models not built (no training texts)");
    const std::string text = Text(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(C_Classify(text.c_str(), "nl", "ASCIIDocument"));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_MorvikSixWay(benchmark::State& state) {
    if (!ModelsReady()) return state.SkipWithError("models not built (no training texts)");
    const std::string text = Text(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(C_ClassifyLanguage(text.c_str()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Cld2(benchmark::State& state) {
    const std::string text = Latin1ToUtf8(Text(static_cast<std::size_t>(state.range(0))));
    bool reliable = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            CLD2::DetectLanguage(text.data(), static_cast<int>(text.size()), true, &reliable));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_MorvikLoadSixModels(benchmark::State& state) {
    if (!ModelsReady()) return state.SkipWithError("models not built (no training texts)");
    for (auto _ : state)
        benchmark::DoNotOptimize(C_InitLanguageClassifier("lid.cfg"));
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

BENCHMARK(BM_MorvikClassifyOne)->Arg(100)->Arg(1024)->Arg(100 * 1024);
BENCHMARK(BM_MorvikSixWay)->Arg(100)->Arg(1024)->Arg(100 * 1024);
BENCHMARK(BM_Cld2)->Arg(100)->Arg(1024)->Arg(100 * 1024);
BENCHMARK(BM_MorvikLoadSixModels)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
