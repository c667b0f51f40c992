// C_Classify (one language) and the six-way C_ClassifyLanguage on 100 B, 1 KB and 100 KB of
// Dutch prose and on a mix of development samples of 25 to 500 characters in the six languages,
// CLD2 on the same texts, and loading the six models (time and heap). Needs the built models in
// the build's data folder. After the table comes CLD2's time over morvik's for each text.
#include <benchmark/benchmark.h>

#include "BenchMain.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <malloc.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

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

// Every 10th line of the development files of the six languages at 25, 50, 100, 200 and 500
// characters: about 900 texts, a mix of languages and lengths such as mail bodies give.
const std::vector<std::string>& Mix() {
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> out;
        for (const char* code : {"en", "nl", "fr", "de", "it", "es"}) {
            for (int length : {25, 50, 100, 200, 500}) {
                std::ifstream in(std::string(MORVIK_DEV_DIR) + "/" + code + "-" +
                                 std::to_string(length) + ".txt");
                std::string line;
                for (int i = 0; std::getline(in, line); ++i) {
                    if (i % 10 == 0 && !line.empty()) out.push_back(line);
                }
            }
        }
        return out;
    }();
    return texts;
}

std::int64_t MixBytes() {
    std::int64_t n = 0;
    for (const std::string& t : Mix())
        n += static_cast<std::int64_t>(t.size());
    return n;
}

// Heap the allocator has handed out, small blocks and large (mapped) ones.
std::size_t HeapInUse() {
    const struct mallinfo2 m = ::mallinfo2();
    return m.uordblks + m.hblkhd;
}

std::size_t gHeapAtStart = 0;

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

void BM_MorvikClassifyOneMix(benchmark::State& state) {
    if (!ModelsReady()) return state.SkipWithError("models not built (no training texts)");
    if (Mix().empty()) return state.SkipWithError("no development texts");
    for (auto _ : state) {
        for (const std::string& text : Mix())
            benchmark::DoNotOptimize(C_Classify(text.c_str(), "nl", "ASCIIDocument"));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Mix().size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * MixBytes());
}

void BM_MorvikSixWayMix(benchmark::State& state) {
    if (!ModelsReady()) return state.SkipWithError("models not built (no training texts)");
    if (Mix().empty()) return state.SkipWithError("no development texts");
    for (auto _ : state) {
        for (const std::string& text : Mix())
            benchmark::DoNotOptimize(C_ClassifyLanguage(text.c_str()));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Mix().size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * MixBytes());
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

void BM_Cld2Mix(benchmark::State& state) {
    std::vector<std::string> texts;
    for (const std::string& t : Mix())
        texts.push_back(Latin1ToUtf8(t));
    if (texts.empty()) return state.SkipWithError("no development texts");
    bool reliable = false;
    for (auto _ : state) {
        for (const std::string& text : texts) {
            benchmark::DoNotOptimize(
                CLD2::DetectLanguage(text.data(), static_cast<int>(text.size()), true, &reliable));
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * texts.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * MixBytes());
}

// Loading the six models, and with arg 1 also the first six-way answer after it, which makes the
// tables shared by the six; models_heap_MB is the heap the loaded library holds (models and those
// tables) over what the process held before the first benchmark.
void BM_MorvikLoadSixModels(benchmark::State& state) {
    if (!ModelsReady()) return state.SkipWithError("models not built (no training texts)");
    const bool answer = state.range(0) != 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(C_InitLanguageClassifier("lid.cfg"));
        if (answer) benchmark::DoNotOptimize(C_ClassifyLanguage("het huis"));
    }
    C_ClassifyLanguage("het huis");
    state.counters["models_heap_MB"] =
        static_cast<double>(HeapInUse() - gHeapAtStart) / (1024.0 * 1024.0);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

BENCHMARK(BM_MorvikClassifyOne)->Arg(100)->Arg(1024)->Arg(100 * 1024);
BENCHMARK(BM_MorvikClassifyOneMix);
BENCHMARK(BM_MorvikSixWay)->Arg(100)->Arg(1024)->Arg(100 * 1024);
BENCHMARK(BM_MorvikSixWayMix);
BENCHMARK(BM_Cld2)->Arg(100)->Arg(1024)->Arg(100 * 1024);
BENCHMARK(BM_Cld2Mix);
BENCHMARK(BM_MorvikLoadSixModels)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The console table as usual, keeping each benchmark's CPU times per iteration for the ratios:
// with --benchmark_repetitions, the median of the repetitions, which a burst of load on a shared
// machine moves less than the mean.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Color : OO_None) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const std::string name = run.run_name.function_name +
                                     (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
            const double ns = run.GetAdjustedCPUTime() * Scale(run.time_unit);
            if (run.run_type == Run::RT_Iteration) {
                cpu_[name].push_back(ns);
            } else if (run.aggregate_name == "median") {
                median_[name] = ns; // all there is with --benchmark_report_aggregates_only
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // CLD2's time over morvik's on the same texts: above 1, morvik is faster.
    void PrintRatios() const {
        std::printf("\nSpeed against CLD2 on the same texts (CLD2 time / morvik time)\n");
        std::printf("%-10s %16s %16s\n", "texts", "C_Classify", "C_ClassifyLanguage");
        for (const char* texts : {"/100", "/1024", "/102400", "Mix"}) {
            const double cld2 = Get(std::string("BM_Cld2") + texts);
            const double one = Get(std::string("BM_MorvikClassifyOne") + texts);
            const double six = Get(std::string("BM_MorvikSixWay") + texts);
            if (cld2 <= 0) continue;
            std::printf("%-10s %15.2fx %15.2fx\n", texts[0] == '/' ? texts + 1 : "mix",
                        one > 0 ? cld2 / one : 0.0, six > 0 ? cld2 / six : 0.0);
        }
    }

private:
    static double Scale(benchmark::TimeUnit unit) {
        switch (unit) {
        case benchmark::kSecond:
            return 1e9;
        case benchmark::kMillisecond:
            return 1e6;
        case benchmark::kMicrosecond:
            return 1e3;
        default:
            return 1;
        }
    }
    double Get(const std::string& name) const {
        auto it = cpu_.find(name);
        if (it == cpu_.end()) {
            auto m = median_.find(name);
            return m != median_.end() ? m->second : 0;
        }
        std::vector<double> times = it->second;
        const auto mid = times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2);
        std::nth_element(times.begin(), mid, times.end());
        return *mid;
    }
    std::map<std::string, std::vector<double>> cpu_;
    std::map<std::string, double> median_;
};

} // namespace

int main(int argc, char** argv) {
    Mix(); // read before the start figure: the texts are no part of the models' heap
    gHeapAtStart = HeapInUse();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    brevon_bench::CountingErrors<RatioReporter> reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return brevon_bench::Status(reporter.Errors());
}
