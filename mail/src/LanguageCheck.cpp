#include <mail/LanguageCheck.h>

#include <cstdio>
#include <type_traits>
#include <utility>

#include <morvik/morvik.h>
#include <platform/SharedLibrary.h>

namespace brevon {

namespace {

// Shorter bodies give too few 4-grams for a score worth trusting; they are read unchecked.
constexpr std::size_t kMinClassifiedLength = 100;
constexpr long double kDutchThreshold = 0.1L;

// Any text with 4-grams scores above 0 against a loaded model and exactly 0 against none, so
// this tells a library that found its Dutch model from one that did not (a wrong or missing
// lid.cfg, a missing model file); C_InitLanguageClassifier's result says neither reliably.
constexpr const char* kDutchProbe = "dit is een bericht";

static_assert(std::is_same_v<decltype(&C_Close), std::int32_t (*)()>);

// morvik has said why on the error stream; this says what becomes of the mail.
void NoteUnscored() {
    std::fputs("brevon: morvik could not judge this message's language; "
               "it is read without the language check\n",
               stderr);
}

} // namespace

std::string LanguageCheck::MorvikLibraryName() {
    return MORVIK_LIBRARY_FILE;
}

LanguageCheck::LanguageCheck(MailSettingsSource settings, BusyCursor busyCursor,
                             std::string configFile, std::string libraryName)
    : settings_(std::move(settings)), busyCursor_(std::move(busyCursor)),
      configFile_(std::move(configFile)), libraryName_(std::move(libraryName)) {}

LanguageCheck::~LanguageCheck() {
    UnloadLanguageLibrary();
}

bool LanguageCheck::LoadLanguageLibrary() {
    if (library_) return true;
    std::string error;
    std::unique_ptr<platform::SharedLibrary> library =
        platform::SharedLibrary::Load(libraryName_, error);
    // A missing library means no gate, silently: mail is then read as if it were Dutch.
    if (!library) return false;
    auto* init = library->Bind<decltype(C_InitLanguageClassifier)>("C_InitLanguageClassifier");
    auto* classify = library->Bind<decltype(C_Classify)>("C_Classify");
    auto* close = library->Bind<decltype(C_Close)>("C_Close");
    if (init == nullptr || classify == nullptr || close == nullptr) return false;
    // Only reading mail in its own language needs the six-way answer; a library without it
    // still serves the gate.
    auto* classifyLanguage = library->Bind<decltype(C_ClassifyLanguage)>("C_ClassifyLanguage");

    init(configFile_.c_str());
    if (!(classify(kDutchProbe, "nl", "ASCIIDocument") > 0.0f)) {
        std::fprintf(stderr,
                     "brevon: morvik has no Dutch model after reading %s; "
                     "the language check is off\n",
                     configFile_.c_str());
        close();
        return false;
    }
    library_ = std::move(library);
    classify_ = classify;
    classifyLanguage_ = classifyLanguage;
    close_ = close;
    return true;
}

void LanguageCheck::UnloadLanguageLibrary() {
    if (!library_) return;
    close_();
    close_ = nullptr;
    classify_ = nullptr;
    classifyLanguage_ = nullptr;
    library_.reset();
}

bool LanguageCheck::IsDutchText(const std::string& text) const {
    if (!classify_ || text.size() < kMinClassifiedLength) return true;
    const float score = classify_(text.c_str(), "nl", "ASCIIDocument");
    // A score below 0 is morvik's -1: the text could not be scored (it ran out of memory). That
    // says nothing about the language, so the mail is read as if no library were loaded.
    if (score < 0.0f) {
        NoteUnscored();
        return true;
    }
    // Compared in extended precision: the float nearest 0.1 (0.100000001...) passes, the one
    // below it (0.0999999940...) does not.
    return static_cast<long double>(score) > kDutchThreshold;
}

std::string LanguageCheck::ClassifyLanguage(const std::string& text) const {
    if (!classifyLanguage_ || text.size() < kMinClassifiedLength) return {};
    // "xx 0.1234": the code is what counts, unless the score is -1: no answer at all.
    const std::string answer = classifyLanguage_(text.c_str());
    const std::size_t blank = answer.find(' ');
    if (blank != std::string::npos && answer.compare(blank + 1, 1, "-") == 0) {
        NoteUnscored();
        return {};
    }
    return answer.substr(0, blank);
}

void LanguageCheck::UseClassifier(Classifier classify) {
    UnloadLanguageLibrary();
    loaded_ = false;
    classify_ = std::move(classify);
}

namespace {

bool Wanted(const MailSettings& settings) {
    return settings.UseLid || settings.ReadInOwnLanguage;
}

} // namespace

void LanguageCheck::EnableLanguageCheck() {
    if (!Wanted(settings_())) {
        loaded_ = false;
        return;
    }
    if (busyCursor_) busyCursor_(true);
    loaded_ = LoadLanguageLibrary();
    if (busyCursor_) busyCursor_(false);
}

void LanguageCheck::DisableLanguageCheck() {
    if (!loaded_) return;
    UnloadLanguageLibrary();
    loaded_ = false;
}

void LanguageCheck::ApplyLanguageCheckSetting() {
    const bool wanted = Wanted(settings_());
    if (wanted && !loaded_)
        EnableLanguageCheck();
    else if (!wanted && loaded_)
        DisableLanguageCheck();
}

} // namespace brevon
