// Moving by paragraph with the real speech engine (espeak-ng into the null sink): what the
// engine is told, from its transcript, and the reading ending once.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <engines/Tolvani.h>
#include <korp/KorpPOP3.h>
#include <mail/EmailConnection.h>

#include "MailFakes.h"
#include "MailRig.h"
#include "ScopedEnv.h"
#include "TempDir.h"

namespace brevon {
namespace {

using namespace std::chrono_literals;

// The engine as the program drives it; its end reports are queued for the test's thread, as
// the event loop queues them for the windows.
class EngineSpeech final : public SpeechOps {
public:
    EngineSpeech() {
        engine_.setPoster([this](void* window, std::uint32_t message) {
            if (message != engines::MM_WOM_CLOSE) return;
            std::lock_guard lock(mutex_);
            ends_.push_back(window);
            changed_.notify_all();
        });
    }
    ~EngineSpeech() override { engine_.setPoster(nullptr); }

    // The oldest end report, waiting for it; null when none comes in time.
    void* NextEnd(std::chrono::seconds timeout = 30s) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [this] { return !ends_.empty(); })) return nullptr;
        void* window = ends_.front();
        ends_.pop_front();
        return window;
    }

    void Say(void* window, const std::string& text) override { engine_.say(window, text); }
    void Pause() override { engine_.pause(); }
    void Stop() override { engine_.stop(); }
    void SetTempo(std::int32_t level) override { engine_.setTempo(level); }
    void SetPitch(std::int32_t level) override { engine_.setPitch(level); }
    void SetVolume(std::int32_t level) override { engine_.setVolume(level); }
    void SetVoice(std::int32_t code) override { engine_.setVoice(code); }
    void SetLanguage(const std::string& code) override { engine_.setLanguage(code); }
    void GetDefaultSettings(std::int32_t&, std::int32_t&, std::int32_t&, std::int32_t&) override {}
    void Lexicon(void*) override {}

private:
    engines::Tolvani engine_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<void*> ends_;
};

std::vector<std::string> TranscriptTexts(const std::filesystem::path& file) {
    std::vector<std::string> texts;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        const std::size_t first = line.find('\t');
        const std::size_t second = line.find('\t', first + 1);
        texts.push_back(line.substr(second + 1, line.find('\t', second + 1) - second - 1));
    }
    return texts;
}

TEST(ParagraphSpeech, TwoForwardsAndOneBackLeaveTheSecondParagraphOnToBeHeard) {
    testsupport::TempDir dir;
    const std::filesystem::path transcript = dir.Path() / "transcript.txt";
    testsupport::ScopedEnv sink("QVSTTS_SINK", "null:4");
    testsupport::ScopedEnv record("QVSTTS_TRANSCRIPT", transcript.c_str());

    fakes::CallLog log;
    ReadingState state;
    MailSettings settings;
    settings.Host = "pop.voorbeeld.nl";
    settings.User = "jan";
    settings.Password = "geheim";
    settings.ReadByParagraph = true;
    fakes::FakeMailbox box;
    box.Add("u1", fakes::Mail("Jan <jan@voorbeeld.nl>", "Vier alineas",
                              "Eerste alinea over de tuin.\n\nTweede alinea over de fiets.\n\n"
                              "Derde alinea over het weer.\n\nVierde alinea met de groet.\n"));
    korp::TKorpPOP client;
    fakes::ServeFrom(client, box);
    fakes::FakeShell shell(log, state);
    fakes::FakeWindow window(log);
    fakes::FakePreprocessor preprocessor;
    char headerWindow = 'h', readingWindow = 'r';
    EngineSpeech speech;
    // The context named first: GCC 12 at -O3 takes a std::function inside a temporary
    // aggregate for uninitialised.
    const MailContext context{.client = client,
                              .state = state,
                              .settings = [&settings] { return settings; },
                              .shell = shell,
                              .speech = speech,
                              .window = window};
    EmailConnection mail({
        .context = context,
        .languageCheck = nullptr,
        .preprocessor = preprocessor,
        .dataFolder = dir.Path(),
        .headerWindow = &headerWindow,
        .readingWindow = &readingWindow,
    });
    const auto deliver = [&] {
        void* end = speech.NextEnd();
        if (end == &headerWindow)
            mail.HeaderSpoken();
        else if (end == &readingWindow)
            mail.BodySpoken();
        return end != nullptr;
    };

    shell.mailTimer = true;
    mail.CheckMail();
    ASSERT_TRUE(deliver()); // the announcement
    shell.StopHeaderTimer();
    mail.PlayMessage();
    mail.NextParagraph();
    mail.NextParagraph();
    mail.PreviousParagraph();
    // Every text told gets its end, the cut-off ones first; the reading ends with the last.
    int ends = 0;
    while (state.ReadingBody && deliver())
        ++ends;
    EXPECT_FALSE(state.ReadingBody);
    EXPECT_EQ(ends, 4 + 3 + 2 + 3);
    EXPECT_EQ(shell.Buttons(), "PLAY pauze stop back forw");

    const std::string first = "1. Van Jan. Onderwerp: Vier alineas\\r[num][para][clean]Eerste "
                              "alinea over de tuin.\\r\\n\\r\\n";
    const std::string second = "Tweede alinea over de fiets.\\r\\n\\r\\n";
    const std::string third = "Derde alinea over het weer.\\r\\n\\r\\n";
    const std::string fourth = "Vierde alinea met de groet.\\r\\n";
    const std::vector<std::string> told = TranscriptTexts(transcript);
    ASSERT_EQ(told.size(), 1u + 12u) << "the announcement and the four tellings";
    EXPECT_EQ(std::vector<std::string>(told.begin() + 1, told.end()),
              (std::vector<std::string>{first, second, third, fourth, second, third, fourth, third,
                                        fourth, second, third, fourth}));
}

} // namespace
} // namespace brevon
