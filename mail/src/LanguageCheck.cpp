#include <mail/LanguageCheck.h>

#include <cstdio>
#include <utility>

#include <engines/Morvik.h>

namespace brevon {

namespace {

// Shorter bodies give too few 4-grams for a score worth trusting; they are read unchecked.
constexpr std::size_t kMinClassifiedLength = 100;
constexpr long double kDutchThreshold = 0.1L;

// morvik has said why on the error stream; this says what becomes of the mail.
void NoteUnscored() {
    std::fputs("brevon: morvik could not judge this message's language; "
               "it is read without the language check\n",
               stderr);
}

} // namespace

std::string LanguageCheck::MorvikLibraryName() {
    return engines::Morvik::LibraryName();
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
    library_ = engines::Morvik::Load(libraryName_, configFile_);
    if (!library_) return false;
    engines::Morvik& morvik = *library_;
    classify_ = [&morvik](const char* text, const char* language, const char* documentType) {
        return morvik.Classify(text, language, documentType);
    };
    return true;
}

void LanguageCheck::UnloadLanguageLibrary() {
    if (!library_) return;
    classify_ = nullptr;
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
    if (!library_ || !library_->CanClassifyLanguage() || text.size() < kMinClassifiedLength)
        return {};
    // "xx 0.1234": the code is what counts, unless the score is -1: no answer at all.
    const std::string answer = library_->ClassifyLanguage(text.c_str());
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
