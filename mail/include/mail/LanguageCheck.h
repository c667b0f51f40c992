// The language gate: morvik, loaded at run time while "UseLid" or the reading of mail in its own
// language is set, tells whether a message body is Dutch, or which of its six languages it is
// in. Without the library (missing, incomplete or without a Dutch model) every text counts as
// Dutch, so the gate can only ever let mail through, never swallow it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <mail/MailSettings.h>
#include <mail/Seams.h>

namespace engines {
class Morvik;
}

namespace brevon {

class LanguageCheck final : public LanguageCheckOps {
public:
    // Called with true before the library is loaded and with false after; may be empty.
    using BusyCursor = std::function<void(bool busy)>;
    // The file name morvik is loaded by: "morvik.dll", or the name with the interface's version
    // that the system's library folder holds ("libmorvik.so.1").
    static std::string MorvikLibraryName(); // engines::Morvik::LibraryName

    // C_Classify's shape: text, language code, document type name; the score.
    using Classifier =
        std::function<float(const char* text, const char* language, const char* documentType)>;

    // "UseLid" and ReadInOwnLanguage are read from settings at each call. configFile and
    // libraryName go to engines::Morvik::Load as they are.
    LanguageCheck(MailSettingsSource settings, BusyCursor busyCursor,
                  std::string configFile = "lid.cfg",
                  std::string libraryName = MorvikLibraryName());
    ~LanguageCheck() override; // unloads the library
    LanguageCheck(const LanguageCheck&) = delete;
    LanguageCheck& operator=(const LanguageCheck&) = delete;

    // Shell side: load at start-up when either option is set, follow the options at OK, unload
    // at shutdown.
    void EnableLanguageCheck() override;
    void DisableLanguageCheck() override;
    void ApplyLanguageCheckSetting() override;
    bool LanguageCheckLoaded() const override { return loaded_; }

    // Loads and initialises the library; false (and nothing held) when it is missing, lacks
    // one of its three functions, or cannot score Dutch after initialisation.
    bool LoadLanguageLibrary();
    // C_Close, then releases the library. Nothing happens when none is loaded.
    void UnloadLanguageLibrary();

    // True when no library is loaded, the text has fewer than 100 characters or the library
    // could not score it (out of memory); otherwise whether the Dutch score is strictly above
    // 0.1.
    bool IsDutchText(const std::string& text) const override;
    // C_ClassifyLanguage's code; empty on the same terms as IsDutchText answers true without
    // an answer, and when the library lacks that function.
    std::string ClassifyLanguage(const std::string& text) const override;

    // Scores with classify instead of a library, as if one were loaded (tests of the gate's
    // arithmetic); ClassifyLanguage then answers empty. An empty classify goes back to "nothing
    // loaded".
    void UseClassifier(Classifier classify);

private:
    MailSettingsSource settings_;
    BusyCursor busyCursor_;
    std::string configFile_;
    std::string libraryName_;
    std::unique_ptr<engines::Morvik> library_;
    Classifier classify_;
    bool loaded_ = false; // LanguageCheckLoaded
};

} // namespace brevon
