// The hidden connection window, offscreen: its diagnostic controls, the trace of their changes,
// and the engine's end report of a header sentence reaching the mail side.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "EmailConnection.h"
#include "MailFakes.h"
#include "PopTestServers.h"
#include "QtApplication.h"
#include "Speech.h"

namespace {

using namespace brevon;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;

struct ConnectionWindow : ::testing::Test {
    static void SetUpTestSuite() { testsupport::EnsureQApplication(); }
    void SetUp() override { ::setenv("BREVON_TRACE", trace_.c_str(), 1); }
    void TearDown() override { ::unsetenv("BREVON_TRACE"); }
    std::vector<std::string> Traced() const {
        std::ifstream in(trace_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    testsupport::TempDir dir_;
    std::string trace_ = (dir_.Path() / "trace.txt").string();
    fakes::CallLog log;
    ReadingState state;
    MailSettings settings;
    fakes::FakeShell shell{log, state};
    fakes::FakeSpeech speech;
    char bar = 'b';
    int broughtToFront = 0;
    TformEmailConnection window{TformEmailConnection::Context{
        .state = state,
        .settings = [this] { return settings; },
        .shell = shell,
        .speech = speech,
        .languageCheck = nullptr,
        .dataFolder = dir_.Path(),
        .readingWindow = &bar,
        .bringBarToFront = [this] { ++broughtToFront; },
    }};
};

TEST_F(ConnectionWindow, ShowsAndTracesWhatTheMailSideReports) {
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Email Connection"));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.cbConnected->text(), QStringLiteral("Connected"));
    EXPECT_EQ(window.cbGettingMails->text(), QStringLiteral("Getting Mails"));
    EXPECT_EQ(window.lblProgress->text(), QStringLiteral("RetrieveProgress"));
    EXPECT_EQ(window.ProgressBar1->minimum(), 0);
    EXPECT_EQ(window.ProgressBar1->maximum(), 100);

    window.SetConnected(true);
    window.SetGettingMails(true);
    window.SetProgressLabel("Mail Retrieve Progress (3)");
    window.SetProgress(40);
    window.SetStatusText("Connect failed. Maybe the server is down or not responding.");
    window.BringBarToFront();
    EXPECT_TRUE(window.cbConnected->isChecked());
    EXPECT_TRUE(window.cbGettingMails->isChecked());
    EXPECT_EQ(window.lblProgress->text(), QStringLiteral("Mail Retrieve Progress (3)"));
    EXPECT_EQ(window.ProgressBar1->value(), 40);
    EXPECT_EQ(window.StatusBar1->currentMessage(),
              QStringLiteral("Connect failed. Maybe the server is down or not responding."));
    EXPECT_EQ(broughtToFront, 1);
    EXPECT_THAT(Traced(),
                ElementsAre("Connected on", "Getting Mails on",
                            "Progress label Mail Retrieve Progress (3)", "Progress 40",
                            "Status Connect failed. Maybe the server is down or not responding.",
                            "Bar to front"));

    // Hiding the window clears both marks.
    window.show();
    window.hide();
    EXPECT_FALSE(window.cbConnected->isChecked());
    EXPECT_FALSE(window.cbGettingMails->isChecked());
}

TEST_F(ConnectionWindow, TheEndOfAHeaderSentenceReachesTheMailSide) {
    // An empty host: the check says so and goes offline, which the trace shows as it happens.
    window.Mail().CheckMail();
    EXPECT_FALSE(state.Online);
    // The engine's end report for a text said with this window arrives as an event.
    QCoreApplication::postEvent(&window, new SpeechEndEvent);
    QCoreApplication::processEvents();
    EXPECT_THAT(Traced(), IsSupersetOf({"CheckMail", "Header spoken"}));
}

// A server that stalls in the middle of a check: the program's events still run (the tray, the
// bar, "Sluiten"), so the user is answered at once and can end the session.
TEST_F(ConnectionWindow, AStalledServerLeavesTheProgramAnsweringAndTheSessionEndable) {
    using S = poptest::ScriptedServer;
    S server({S::Send("+OK ready\r\n"), S::Expect("USER jan"), S::Send("+OK\r\n"),
              S::Expect("PASS geheim"), S::Send("+OK\r\n"), S::Expect("STAT"), S::Pause(20000)});
    settings.Host = "127.0.0.1:" + std::to_string(server.Port());
    settings.Security = ConnectionSecurity::None;
    settings.User = "jan";
    settings.Password = "geheim";

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Clock::time_point answered{};
    bool openWhenAnswered = false;
    // What a click on the tray does while the server keeps quiet: it runs, and "Sluiten" ends
    // the session.
    QTimer::singleShot(300, &window, [&] {
        answered = Clock::now();
        openWhenAnswered = window.Mail().SessionOpen();
        window.Mail().AbortSession();
    });
    window.Mail().CheckMail();
    const Clock::time_point ended = Clock::now();

    ASSERT_NE(answered, Clock::time_point{}) << "no event ran while the server stalled";
    EXPECT_TRUE(openWhenAnswered);
    // Generous bounds: the point is a fraction of a second, not the 60 s a command may wait.
    EXPECT_LT(answered - start, std::chrono::seconds(3));
    EXPECT_LT(ended - answered, std::chrono::seconds(3));
    EXPECT_FALSE(window.Mail().SessionOpen());
    EXPECT_THAT(Traced(), IsSupersetOf({"CheckMail", "POP3 STAT", "AbortSession"}));
    // Where it connected: the port written with the host, not the usual one.
    EXPECT_THAT(Traced(),
                Contains("Connecting to 127.0.0.1 port " + std::to_string(server.Port())));
}

} // namespace
