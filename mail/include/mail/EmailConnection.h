// The mail side as one object: the check cycle, the reading controller and the spoken-text
// composition over one POP3 client, answering the shell's MailOps. The program's hidden
// connection window owns one and hands it the engine's end-of-speech reports.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

// The client the owner makes and hands over: whoever holds the mail side holds one.
#include <korp/KorpPOP3.h>
#include <mail/MailCheck.h>
#include <mail/MailContext.h>
#include <mail/MailSession.h>
#include <mail/ReadingController.h>
#include <mail/SpokenText.h>

namespace brevon {

class EmailConnection final : public MailOps {
public:
    struct Parts {
        MailContext context;                   // what every part of the mail side works with
        const LanguageCheckOps* languageCheck; // null: no language gate
        PreprocessorOps& preprocessor;
        std::filesystem::path dataFolder; // where the list files are kept
        void* headerWindow;               // named in the say of header sentences
        void* readingWindow;              // named in the say of message readings (the bar)
        const Clock* clock = nullptr;     // now and the user's zone; null: the system's
        // Told each command from the shell by name before it is handled ("CheckMail",
        // "SetOnline on", "Body spoken" ...; not StopSpeaking, SessionOpen); may be empty.
        std::function<void(std::string_view command)> onCommand = {};
    };
    explicit EmailConnection(Parts parts);
    EmailConnection(const EmailConnection&) = delete;
    EmailConnection& operator=(const EmailConnection&) = delete;

    // MailOps
    void CheckMail() override;
    void PlayMessage() override;
    void PauseReading() override;
    void StopReading() override;
    void PreviousMessage() override;
    void NextMessage() override;
    void ReadAll() override;
    void NextParagraph() override;
    void PreviousParagraph() override;
    void StopSpeaking() override;
    void SetOnline(bool online) override;
    void BodySpoken() override;
    bool SessionOpen() const override { return session_.IsOpen(); }
    void AbortSession() override;

    // The end of a header sentence (the connection window's end-of-speech report).
    void HeaderSpoken() { reading_.HeaderSpoken(); }

private:
    void Note(std::string_view command) const;

    std::function<void(std::string_view)> onCommand_;
    MailContext context_;
    MailSession session_;
    SpokenText spokenText_;
    ReadingController reading_;
    MailCheck check_;
};

} // namespace brevon
