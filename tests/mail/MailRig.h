// The mail side wired to fakes and to the in-memory POP3 server, in the state the program is in
// once the bar exists: all reading buttons off, checking on, ReadWithHeader set.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <korp/KorpPOP3.h>
#include <mail/EmailConnection.h>

#include "MailFakes.h"
#include "PopTestServers.h"

namespace brevon::fakes {

// A plain message; LF line ends, as a test writes them.
inline std::string Mail(const std::string& from, const std::string& subject,
                        const std::string& body = "Hallo,\n\nTot morgen.\n") {
    return "From: " + from + "\nTo: jan@voorbeeld.nl\nSubject: " + subject +
           "\nDate: Tue, 1 Dec 2026 10:00:00 +0100\n\n" + body;
}

// Access tokens as the shell hands them out: the answers in turn, the last one repeated.
struct FakeTokens final : AccessTokenSource {
    std::vector<AccessTokenAnswer> answers{{.token = "access-1"}};
    int asked = 0;
    int rejected = 0;
    AccessTokenAnswer CurrentToken() override {
        const std::size_t at = std::min<std::size_t>(asked++, answers.size() - 1);
        return answers[at];
    }
    void Rejected() override { ++rejected; }
};

struct MailRig {
    CallLog log;
    ReadingState state;
    MailSettings settings;
    FakeMailbox box;
    korp::TKorpPOP client;
    FakeShell shell{log, state};
    FakeSpeech speech;
    FakeWindow window{log};
    FakePreprocessor preprocessor;
    FakeLanguageCheck language;
    testsupport::TempDir dir;
    char headerWindow = 'h'; // their addresses are the window handles
    char readingWindow = 'r';
    FakeTokens tokens; // asked only when settings.SaslMechanism is set
    EmailConnection mail;

    // preprocessor: the engines a body goes through; the marking fake when null. folder: where
    // the list files are kept; the rig's own temporary folder when empty (another rig's folder
    // makes a restart of the program).
    // clock: now and the user's zone for the arrival time; the system's when null.
    explicit MailRig(PreprocessorOps* realPreprocessor = nullptr, std::filesystem::path folder = {},
                     const Clock* clock = nullptr)
        : mail(EmailConnection::Parts{
              .context =
                  {
                      .client = client,
                      .state = state,
                      .settings = [this] { return settings; },
                      .shell = shell,
                      .speech = speech,
                      .window = window,
                      .tokens = &tokens,
                  },
              .languageCheck = &language,
              .preprocessor = realPreprocessor ? *realPreprocessor : preprocessor,
              .dataFolder = folder.empty() ? dir.Path() : std::move(folder),
              .headerWindow = &headerWindow,
              .readingWindow = &readingWindow,
              .clock = clock,
          }) {
        ServeFrom(client, box);
        settings.Host = "pop.voorbeeld.nl";
        settings.User = "jan";
        settings.Password = "geheim";
        shell.mailTimer = true;
    }

    // Messages numbered from..to, each with the id "u<n>", from "Afzender <n>", subject
    // "Bericht <n>".
    void AddMessages(int from, int to) {
        // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) of "u" + ....
        for (int n = from; n <= to; ++n) {
            const std::string number = std::to_string(n);
            std::string id = "u";
            id += number;
            std::string sender = "Afzender ";
            sender += number;
            sender += " <a";
            sender += number;
            sender += "@voorbeeld.nl>";
            std::string subject = "Bericht ";
            subject += number;
            box.Add(id, Mail(sender, subject));
        }
    }

    // The engine's oldest pending end-of-speech report reaches its window.
    void Deliver() {
        if (speech.pendingEnds.empty()) return;
        void* window = speech.pendingEnds.front();
        speech.pendingEnds.pop_front();
        if (window == &headerWindow)
            mail.HeaderSpoken();
        else
            mail.BodySpoken();
    }
    // Everything said is spoken to its end, texts said meanwhile included.
    void SpeakAll() {
        while (!speech.pendingEnds.empty())
            Deliver();
    }
    // A check, and every header sentence it starts spoken to its end.
    void CheckAndListen() {
        mail.CheckMail();
        SpeakAll();
    }
    std::vector<std::string> Said() const { return speech.Texts(); }
    std::string LastSaid() const { return speech.said.empty() ? "" : speech.said.back().text; }
};

} // namespace brevon::fakes
