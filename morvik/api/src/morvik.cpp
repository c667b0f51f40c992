// The exported C surface. Each export is a thin shim: what may not cross the C boundary is
// caught in Guard and turned into the export's documented error value.
#include <morvik/morvik.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include <morvik/api/ASCIIDocument.h>
#include <morvik/api/ClassifierBuilder.h>
#include <morvik/api/HTMLDocument.h>
#include <morvik/api/LanguageProfile.h>
#include <morvik/api/ProfileSet.h>
#include <morvik/base/zkCConfigFile.h>
#include <morvik/base/zkCException.h>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// One caller thread: the library has no use for thread attach and detach notifications.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
#else
#include <dlfcn.h>
#endif

namespace {

// Profiles in configuration order.
constexpr const char* kCodes[6] = {"en", "nl", "fr", "de", "it", "es"};
constexpr std::size_t kReportSize = 10000;

LanguageProfile gProfiles[6];
float gThreshold = 0.8f;
std::int32_t gN = 0;
std::string gTopicType;
std::unique_ptr<Text> gDocument;
ClassifierBuilder gBuilder;
// Set when collecting the counts failed (memory ran out): they are incomplete, and a model made
// from them would be wrong with no one the wiser, as BC_CreateClassifier answers -1 in every
// case. BC_Close then writes nothing.
bool gCollectFailed = false;
std::string gModelOutput;
std::int32_t gTraceLevel = 0;
char gAnswer[32] = "?? 0.0000";
ProfileSet gDecisionSet;
bool gDecisionSetStale = true;

std::string LowerCode(const char* code) {
    std::string s = code != nullptr ? code : "";
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    }
    return s;
}

LanguageProfile* ProfileFor(const std::string& code) {
    for (int i = 0; i < 6; ++i) {
        if (code == kCodes[i]) return &gProfiles[i];
    }
    return nullptr;
}

// Needs no memory: the error may be that there is none left.
void Report(zkCException* e) noexcept {
    char report[kReportSize];
    e->GetReport(report, sizeof report);
    std::fprintf(stderr, "%s\n\n", report);
    delete e;
}

enum class DocumentKind { Plain, Html, Unknown };

DocumentKind KindOf(const char* typeName) {
    // Read in place: every classification asks, and a copy of the name would be one more.
    const std::string_view name = typeName != nullptr ? typeName : "";
    if (name == "ASCIIDocument") return DocumentKind::Plain;
    if (name == "HTMLDocument") return DocumentKind::Html;
    return DocumentKind::Unknown;
}

std::unique_ptr<Text> MakeDocument(DocumentKind kind) {
    if (kind == DocumentKind::Html) return std::make_unique<HTMLDocument>();
    return std::make_unique<ASCIIDocument>();
}

// Reports the exception being handled, one that is not the library's own zkCException.
void ReportForeign() noexcept {
    try {
        throw;
    } catch (const char* message) {
        std::fprintf(stderr, "RWMessage %s\n", message);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "RWxmsg: %s\n", e.what());
    } catch (...) {
        std::fputs("Caught unexpected exception\n", stderr);
    }
}

// Runs body; an exception that escapes it is reported and onError returned, so nothing ever
// unwinds into the caller's C code.
template <typename R, typename Body> R Guard(R onError, Body&& body) noexcept {
    try {
        return body();
    } catch (zkCException* e) {
        Report(e);
    } catch (...) {
        ReportForeign();
    }
    return onError;
}

// The profiles in decision order (kDecisionOrder).
const std::array<const LanguageProfile*, 6>& DecisionProfiles() {
    static const std::array<const LanguageProfile*, 6> profiles = [] {
        std::array<const LanguageProfile*, 6> p{};
        for (std::size_t i = 0; i < 6; ++i)
            p[i] = ProfileFor(kDecisionOrder[i]);
        return p;
    }();
    return profiles;
}

// The loaded profiles' 4-grams in one table, in decision order; remade after any load.
const ProfileSet& DecisionSet() {
    if (gDecisionSetStale) {
        gDecisionSet.Build(DecisionProfiles().data(), 6);
        gDecisionSetStale = false;
    }
    return gDecisionSet;
}

std::size_t DecisionIndex(const LanguageProfile* profile) {
    const auto& profiles = DecisionProfiles();
    return static_cast<std::size_t>(std::find(profiles.begin(), profiles.end(), profile) -
                                    profiles.begin());
}

// One extractor for all calls: making its six (unused) stop-word tables each time would cost
// a tenth of a short text's classification.
Stopper& FourGramExtractor() {
    static Stopper extractor(Stopper::kModeNgrams, 4, 0);
    return extractor;
}

// Counts the initialised document's 4-grams; returns T.
std::int32_t CountFourGrams(Text& document, FourGramTable& grams) {
    document.SetExtractor(&FourGramExtractor());
    const std::int32_t total = document.ExtractFourGrams(grams);
    document.SetExtractor(nullptr);
    return total;
}

// One count table for all calls, emptied for a text of expected 4-grams at most: making and
// dropping its index, entries and order for every call would cost a short text about as much
// as counting its 4-grams.
FourGramTable& EmptyFourGramTable(std::size_t expected) {
    static FourGramTable grams(0);
    grams.Clear(expected);
    return grams;
}

// Counts the 4-grams of text read as a document of kind and hands them and T to score.
template <typename Score> void WithFourGrams(const char* text, DocumentKind kind, Score&& score) {
    if (kind == DocumentKind::Html) {
        std::unique_ptr<Text> document = MakeDocument(kind);
        document->Init(text, nullptr, 0, 0);
        FourGramTable& grams = EmptyFourGramTable(document->TermText().size());
        const std::int32_t total = CountFourGrams(*document, grams);
        score(grams, total);
        // A long text's table is not kept for the rest of the process.
        if (grams.Grown()) grams.Release();
        return;
    }
    // A plain document's terms are its text cleaned of control characters, nothing more: that
    // much is done here, without a document's three copies, which would cost a short text more
    // than its 4-grams. A text without control characters is read where it is; another is
    // cleaned in a buffer kept from call to call.
    static std::string cleaned;
    std::string_view plain = text;
    if (!Text::IsClean(plain)) {
        cleaned.assign(plain);
        Text::CheckGarbage(cleaned);
        plain = cleaned;
    }
    FourGramTable& grams = EmptyFourGramTable(plain.size());
    const std::int32_t total = FourGramExtractor().CountFourGrams(plain, grams, 0);
    // A long text's buffer and table are not kept for the rest of the process.
    constexpr std::size_t kKeptBuffer = 64 * 1024;
    if (cleaned.capacity() > kKeptBuffer) std::string().swap(cleaned);
    score(grams, total);
    if (grams.Grown()) grams.Release();
}

float Classify(const char* text, const char* language, const char* documentType) {
    const std::string code = LowerCode(language);
    if (text == nullptr) {
        std::fputs("Empty document!\n", stderr);
        return -1.0f;
    }
    const DocumentKind kind = KindOf(documentType);
    if (kind == DocumentKind::Unknown) std::fputs("Unknown Document Type: assume ASCII\n", stderr);
    const LanguageProfile* profile = ProfileFor(code);
    float score = 0.0f;
    if (profile != nullptr && profile->IsLoaded()) {
        const ProfileSet& set = DecisionSet();
        WithFourGrams(text, kind, [&](const FourGramTable& grams, std::int32_t total) {
            score = set.ScoreFourGrams(DecisionIndex(profile), grams, total);
        });
    } else {
        // Nothing to score against; the text is read all the same, as a document.
        gDocument = MakeDocument(kind);
        gDocument->Init(text, nullptr, 0, 0);
        gDocument.reset();
    }
    return score;
}

// The six scores of C_ClassifyLanguage, as six C_Classify calls would give them (messages
// included), with the text cleaned and cut into 4-grams once and looked up once for all six.
void SixScores(const char* text, float scores[6]) {
    const DocumentKind kind = KindOf(gTopicType.c_str());
    bool anyLoaded = false;
    for (int i = 0; i < 6; ++i) {
        if (text == nullptr) {
            std::fputs("Empty document!\n", stderr);
        } else if (kind == DocumentKind::Unknown) {
            std::fputs("Unknown Document Type: assume ASCII\n", stderr);
        }
        scores[i] = text == nullptr ? -1.0f : 0.0f;
        anyLoaded = anyLoaded || DecisionProfiles()[i]->IsLoaded();
    }
    if (text == nullptr || !anyLoaded) return;

    const ProfileSet& set = DecisionSet();
    WithFourGrams(text, kind, [&](const FourGramTable& grams, std::int32_t total) {
        set.ScoreFourGrams(grams, total, scores);
    });
}

// Reads configFile and hands it to use. A missing name or a configuration that cannot be read
// is reported on the error stream, the first under caller's name, and gives -1.
template <typename F> std::int32_t WithConfig(const char* caller, const char* configFile, F use) {
    if (configFile == nullptr) {
        std::fprintf(stderr, "%s: no configuration file named\n", caller);
        return -1;
    }
    try {
        zkCConfigFile config(configFile, ".");
        return use(config);
    } catch (zkCException* e) {
        Report(e);
        return -1;
    }
}

// The folder where an install keeps lid.cfg and the six models: found from the library's own
// place, so the install can be moved as a whole (MORVIK_DATA_FROM_LIBRARY is the data folder
// relative to the library's folder). Empty where that cannot be known.
std::filesystem::path InstalledDataFolder() {
#if defined(MORVIK_DATA_FROM_LIBRARY) && !defined(_WIN32)
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&C_InitLanguageClassifier), &info) == 0 ||
        info.dli_fname == nullptr)
        return {};
    return std::filesystem::path(info.dli_fname).parent_path() / MORVIK_DATA_FROM_LIBRARY;
#else
    return {};
#endif
}

bool LoadProfile(LanguageProfile* profile, std::int32_t n, const char* modelFile) {
    if (profile == nullptr || profile->Load(n, modelFile, gTraceLevel) != 1) return false;
    gDecisionSetStale = true;
    return true;
}

// The configuration file to open: the name as given when it exists relative to the working
// directory (or is a path), else a plain name found in the folder of the installed data.
std::string FindConfig(const std::string& name) {
    std::error_code ec;
    if (std::filesystem::exists(name, ec) || name.find_first_of("/\\") != std::string::npos)
        return name;
    const std::filesystem::path shared = InstalledDataFolder();
    if (!shared.empty() && std::filesystem::exists(shared / name, ec))
        return (shared / name).string();
    return name;
}

// A model named in the configuration: relative to the working directory when it exists there
// (callers that enter the configuration's folder first rely on that), else relative to the
// configuration file's own folder, so a configuration read from anywhere finds the models that
// lie beside it.
std::string ModelPath(const std::filesystem::path& configFolder, const std::string& model) {
    const std::filesystem::path path(model);
    std::error_code ec;
    if (path.is_absolute() || configFolder.empty() || std::filesystem::exists(path, ec))
        return model;
    return (configFolder / path).string();
}

// Loads the model of one language from the configuration; false, with the reason on the
// error stream, when it cannot be loaded.
bool LoadModel(const std::string& path, const char* code) {
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
    } else {
        std::fprintf(stderr, "morvik: model file '%s' not loaded: %s\n", path.c_str(),
                     std::strerror(errno));
        return false;
    }
    // The loader names its own reason for a file that is there but not a model.
    return LoadProfile(ProfileFor(code), gN, path.c_str());
}

} // namespace

extern "C" {

MORVIK_API int32_t C_InitLanguageClassifier(const char* configFile) {
    return Guard<std::int32_t>(-1, [&] {
        const std::string config = configFile != nullptr ? FindConfig(configFile) : "";
        const std::filesystem::path folder = std::filesystem::path(config).parent_path();
        return WithConfig(
            "C_InitLanguageClassifier", configFile != nullptr ? config.c_str() : nullptr,
            [&](zkCConfigFile& cfg) {
                gN = cfg.GetInt("Ngrams", "n");
                gTopicType = cfg.GetString("Batch-Specs", "topictype").c_str();
                bool allLoaded = true;
                for (const char* code : kCodes) {
                    // A language whose entry is missing is left out; the others still load.
                    zk_cstring model;
                    try {
                        model = cfg.GetString("Ngrams", zk_cstring("ngramfile_") + code + "_nt");
                    } catch (zkCException* e) {
                        delete e;
                        continue;
                    }
                    // A model that is listed but cannot be loaded would score 0.0 for its language
                    // with no one the wiser: the others still load, but the answer is -1.
                    const std::string path = ModelPath(folder, model.c_str());
                    if (!LoadModel(path, code)) allLoaded = false;
                }
                const zk_cstring threshold = cfg.GetString("Ngrams", "threshold");
                gThreshold = static_cast<float>(std::atof(threshold.c_str()));
                return allLoaded ? 0 : -1;
            });
    });
}

MORVIK_API int32_t C_Init(const char* modelFile, int32_t n, const char* language,
                          const char* topicType) {
    return Guard<std::int32_t>(0, [&]() -> std::int32_t {
        const std::string code = LowerCode(language);
        gTopicType = topicType != nullptr ? topicType : "";
        LoadProfile(ProfileFor(code), n, modelFile);
        return 0;
    });
}

MORVIK_API float C_Classify(const char* text, const char* language, const char* documentType) {
    return Guard<float>(-1.0f, [&] { return Classify(text, language, documentType); });
}

MORVIK_API const char* C_ClassifyLanguage(const char* text) {
    const float threshold = gThreshold;
    const int failed = Guard<int>(1, [&] {
        float scores[6];
        SixScores(text, scores);
        SixWayDecision(scores, threshold, gAnswer, sizeof gAnswer);
        return 0;
    });
    // Never the previous call's answer for a text that could not be scored, and never one that
    // reads as a verdict: the score is C_Classify's -1 for a failure.
    if (failed != 0) std::snprintf(gAnswer, sizeof gAnswer, "?? %.4f", -1.0);
    return gAnswer;
}

MORVIK_API int32_t C_Close(void) {
    gDocument.reset();
    return 0;
}

MORVIK_API int32_t BC_Init(const char* configFile) {
    std::int32_t n = 0;
    // Each build makes one model from one training text: nothing of an earlier build counts.
    gBuilder = ClassifierBuilder{};
    gCollectFailed = false;
    const std::int32_t result = Guard<std::int32_t>(-1, [&] {
        return WithConfig("BC_Init", configFile, [&](zkCConfigFile& config) -> std::int32_t {
            try {
                n = config.GetInt("Ngrams", "n");
                gModelOutput = config.GetString("Ngrams", "ngramfile").c_str();
                const zk_cstring topicFile = config.GetString("Batch-Specs", "topicfile");
                gTopicType = config.GetString("Batch-Specs", "topictype").c_str();

                std::string training;
                if (topicFile == "stdin") {
                    char piece[4096];
                    std::size_t got;
                    while ((got = std::fread(piece, 1, sizeof piece, stdin)) > 0)
                        training.append(piece, got);
                    // Every line, the last one too, ends with a line end.
                    if (!training.empty() && training.back() != '\n') training.push_back('\n');
                } else {
                    std::FILE* f = std::fopen(topicFile.c_str(), "rb");
                    if (f == nullptr) {
                        // Reported and refused; ending the caller's process is not a library's
                        // call.
                        std::fprintf(stderr, "Could not open topic file: %s\n", topicFile.c_str());
                        return -1;
                    }
                    char piece[1023];
                    std::size_t got;
                    while ((got = std::fread(piece, 1, sizeof piece, f)) > 0)
                        training.append(piece, got);
                    std::fclose(f);
                }

                const DocumentKind kind = KindOf(gTopicType.c_str());
                if (kind == DocumentKind::Unknown) {
                    std::fputs("Unknown Document Type\n", stderr);
                    gDocument.reset();
                } else {
                    gDocument = MakeDocument(kind);
                    gDocument->Init(training, nullptr, 0, 0);
                }
            } catch (zkCException*) {
                throw; // WithConfig reports it
            } catch (const std::bad_alloc&) {
                // Out of memory: the training text is not whole, so nothing may be built from
                // it. Guard reports it and answers -1.
                gDocument.reset();
                throw;
            } catch (const char*) {
                // The one plain text thrown is the document's own out-of-memory report.
                gDocument.reset();
                throw;
            } catch (...) {
                ReportForeign(); // and the builder is set up all the same
            }
            gBuilder.N = n;
            gBuilder.TraceLevel = gTraceLevel;
            return 0;
        });
    });
    return result;
}

MORVIK_API int32_t BC_CreateClassifier(void) {
    const int failed = Guard<int>(1, [] {
        gBuilder.Collect(gDocument.get());
        return 0;
    });
    if (failed != 0) gCollectFailed = true;
    return -1;
}

MORVIK_API int32_t BC_Close(void) {
    if (gCollectFailed)
        std::fprintf(stderr, "morvik: model file '%s' not written: its counts are incomplete\n",
                     gModelOutput.c_str());
    else
        Guard<int>(0, [] { return gBuilder.WriteModel(gModelOutput.c_str()); });
    gDocument.reset();
    return 0;
}

} // extern "C"
