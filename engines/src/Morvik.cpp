#include <engines/Morvik.h>

#include <cstdio>
#include <type_traits>
#include <utility>

#include <morvik/morvik.h>
#include <platform/SharedLibrary.h>

namespace engines {

namespace {

// Any text with 4-grams scores above 0 against a loaded model and exactly 0 against none, so
// this tells a library that found its Dutch model from one that did not (a wrong or missing
// lid.cfg, a missing model file); C_InitLanguageClassifier's result says neither reliably.
constexpr const char* kDutchProbe = "dit is een bericht";

// The pointers held here are of the header's own types.
static_assert(
    std::is_same_v<decltype(&C_Classify), float (*)(const char*, const char*, const char*)>);
static_assert(std::is_same_v<decltype(&C_ClassifyLanguage), const char* (*)(const char*)>);
static_assert(std::is_same_v<decltype(&C_Close), std::int32_t (*)()>);

} // namespace

std::string Morvik::LibraryName() {
    return MORVIK_LIBRARY_FILE;
}

std::unique_ptr<Morvik> Morvik::Load(const std::string& libraryName,
                                     const std::string& configFile) {
    std::string error;
    std::unique_ptr<platform::SharedLibrary> library =
        platform::SharedLibrary::Load(libraryName, error);
    // A missing library means no gate, silently: mail is then read as if it were Dutch.
    if (!library) return nullptr;
    auto* init = library->Bind<decltype(C_InitLanguageClassifier)>("C_InitLanguageClassifier");
    auto* classify = library->Bind<decltype(C_Classify)>("C_Classify");
    auto* close = library->Bind<decltype(C_Close)>("C_Close");
    if (init == nullptr || classify == nullptr || close == nullptr) return nullptr;
    // Only reading mail in its own language needs the six-way answer; a library without it
    // still serves the gate.
    auto* classifyLanguage = library->Bind<decltype(C_ClassifyLanguage)>("C_ClassifyLanguage");

    init(configFile.c_str());
    if (!(classify(kDutchProbe, "nl", "ASCIIDocument") > 0.0f)) {
        std::fprintf(stderr,
                     "brevon: morvik has no Dutch model after reading %s; "
                     "the language check is off\n",
                     configFile.c_str());
        close();
        return nullptr;
    }
    std::unique_ptr<Morvik> morvik(new Morvik);
    morvik->library_ = std::move(library);
    morvik->classify_ = classify;
    morvik->classifyLanguage_ = classifyLanguage;
    morvik->close_ = close;
    return morvik;
}

Morvik::~Morvik() {
    close_();
}

float Morvik::Classify(const char* text, const char* language, const char* documentType) const {
    return classify_(text, language, documentType);
}

std::string Morvik::ClassifyLanguage(const char* text) const {
    return classifyLanguage_(text);
}

} // namespace engines
