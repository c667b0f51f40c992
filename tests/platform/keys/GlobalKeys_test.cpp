// Global keys against a real X server: grabs on its root window, presses sent as a user's
// keyboard would (XTEST, through xdotool).
#include <platform/GlobalKeys.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Subprocess.h"

namespace {

using namespace std::chrono_literals;
using platform::GrabResult;

pid_t gXvfb = -1;
std::string gDisplay;

// Xvfb on a free display it picks itself; empty when it does not come up.
std::string StartXvfb() {
    int fds[2];
    if (pipe(fds) != 0) return {};
    gXvfb = fork();
    if (gXvfb == 0) {
        // A test run ended from outside (a time-out) must not leave the server behind.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execl(XVFB_PROGRAM, "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
              "640x480x24", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string display;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        display += c;
    close(fds[0]);
    return display.empty() ? std::string() : ":" + display;
}

class GlobalKeys : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gDisplay = StartXvfb(); }
    static void TearDownTestSuite() {
        if (gXvfb > 0) {
            kill(gXvfb, SIGTERM);
            waitpid(gXvfb, nullptr, 0);
            gXvfb = -1;
        }
    }
    void SetUp() override { ASSERT_FALSE(gDisplay.empty()) << "Xvfb did not start"; }

    std::unique_ptr<platform::GlobalKeys> Open(std::vector<int>& pressed) {
        return platform::OpenGlobalKeys(gDisplay.c_str(),
                                        [&pressed](int id) { pressed.push_back(id); });
    }

    static void Press(const std::string& keys) {
        const testsupport::RunResult run =
            testsupport::Run({XDOTOOL_PROGRAM, "key", keys}, {"DISPLAY=" + gDisplay}, {}, 10s);
        ASSERT_TRUE(run.finished && run.exitCode == 0) << run.err;
    }

    // Dispatches what arrives within a short wait; presses come back within it on any machine.
    static void Drain(platform::GlobalKeys& keys, std::chrono::milliseconds wait = 2000ms) {
        const auto until = std::chrono::steady_clock::now() + wait;
        for (;;) {
            keys.Dispatch();
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            if (left <= 0ms) return;
            pollfd fd{keys.EventDescriptor(), POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) return;
        }
    }

    static platform::KeyChord Chord(const char* text) { return *platform::ParseKeyChord(text); }
};

TEST_F(GlobalKeys, APressOfAGrabbedKeyReachesItsOwnerWhateverTheLockKeys) {
    std::vector<int> pressed;
    auto keys = Open(pressed);
    ASSERT_TRUE(keys->Available());
    ASSERT_EQ(keys->Grab(1, Chord("Ctrl+Alt+Shift+P")), GrabResult::Grabbed);
    ASSERT_EQ(keys->Grab(2, Chord("Ctrl+Alt+Shift+Right")), GrabResult::Grabbed);

    Press("ctrl+alt+shift+p");
    Press("ctrl+alt+shift+Right");
    Press("ctrl+alt+p"); // not the grabbed key: Shift is part of it
    Drain(*keys, 1000ms);
    EXPECT_EQ(pressed, (std::vector<int>{1, 2}));

    pressed.clear();
    Press("Num_Lock");
    Press("Caps_Lock");
    Press("ctrl+alt+shift+p");
    Press("Num_Lock");
    Press("Caps_Lock");
    Drain(*keys, 1000ms);
    EXPECT_EQ(pressed, std::vector<int>{1});
}

TEST_F(GlobalKeys, AKeyHeldByAnotherProgramIsRefusedAloneAndFreeOnceGivenBack) {
    std::vector<int> first, second;
    auto holder = Open(first);
    auto late = Open(second);
    ASSERT_EQ(holder->Grab(1, Chord("Ctrl+Alt+Shift+S")), GrabResult::Grabbed);

    EXPECT_EQ(late->Grab(7, Chord("Ctrl+Alt+Shift+S")), GrabResult::Taken);
    EXPECT_EQ(late->Grab(8, Chord("Ctrl+Alt+Shift+C")), GrabResult::Grabbed);
    Press("ctrl+alt+shift+s");
    Press("ctrl+alt+shift+c");
    Drain(*holder, 500ms);
    Drain(*late, 1000ms);
    EXPECT_EQ(first, std::vector<int>{1});
    EXPECT_EQ(second, std::vector<int>{8});

    holder->ReleaseAll();
    EXPECT_EQ(late->Grab(7, Chord("Ctrl+Alt+Shift+S")), GrabResult::Grabbed);
    // A new key for an id gives the old one back.
    EXPECT_EQ(late->Grab(7, Chord("Ctrl+Alt+Shift+B")), GrabResult::Grabbed);
    EXPECT_EQ(holder->Grab(1, Chord("Ctrl+Alt+Shift+S")), GrabResult::Grabbed);
}

TEST_F(GlobalKeys, AKeyTheKeyboardLacksIsSaidToBeMissing) {
    std::vector<int> pressed;
    auto keys = Open(pressed);
    EXPECT_EQ(keys->Grab(1, Chord("Ctrl+F24")), GrabResult::NoSuchKey);
}

TEST_F(GlobalKeys, WithoutADisplayNothingIsTakenAndNothingBreaks) {
    std::vector<int> pressed;
    auto keys = platform::OpenGlobalKeys(":4093", [&pressed](int id) { pressed.push_back(id); });
    EXPECT_FALSE(keys->Available());
    EXPECT_EQ(keys->Grab(1, Chord("Ctrl+Alt+Shift+P")), GrabResult::Unavailable);
    keys->Dispatch();
    keys->ReleaseAll();
    EXPECT_TRUE(pressed.empty());
}

} // namespace
