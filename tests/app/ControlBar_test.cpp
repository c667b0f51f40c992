#include <app/ControlBar.h>
#include <app/Greeting.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ShellFakes.h"

namespace {

using namespace brevon;

class FakeView final : public BarView {
public:
    void ShowLook(BarButton button, Look look) override {
        looks[button] = look;
        ++repaints;
    }
    void SetButtonHint(BarButton button, const std::string& text) override { hints[button] = text; }
    void SetBarHint(const std::string& text) override { barHint = text; }
    void SetMenuItemEnabled(BarButton button, bool enabled) override { menu[button] = enabled; }

    std::map<BarButton, Look> looks;
    std::map<BarButton, std::string> hints;
    std::map<BarButton, bool> menu;
    std::string barHint;
    int repaints = 0;
};

class FakeTimer final : public Timer {
public:
    void SetEnabled(bool on) override {
        if (on != enabled) restarts += on && interval > 0;
        enabled = on;
    }
    void SetInterval(int ms) override {
        if (ms != interval && enabled && ms > 0) ++restarts;
        interval = ms;
    }
    bool Enabled() const override { return enabled; }
    int Interval() const override { return interval; }
    bool enabled = false;
    int interval = 0;
    int restarts = 0; // countdowns begun
};

struct BarFixture : ::testing::Test {
    BarFixture() { settings.Interval = 5; }
    Settings settings;
    ReadingState state;
    FakeView view;
    FakeTimer mailTimer, headerTimer;
    ControlBar bar{view, mailTimer, headerTimer, settings, state};
};

constexpr BarButton kReading[] = {BarButton::Play, BarButton::Pauze, BarButton::Stop,
                                  BarButton::Back, BarButton::Forw};

TEST_F(BarFixture, CreationDisablesReadingButtonsStartsTheMailTimerAndSetsFirstHints) {
    state.ReadingBody = state.ReadingHeaders = state.Paused = state.InHeaderSequence = true;
    state.ReadWithHeader = false;
    bar.Create();
    for (BarButton b : kReading) {
        EXPECT_EQ(view.looks[b], Look::Disabled);
        EXPECT_FALSE(view.menu[b]);
        EXPECT_FALSE(bar.IsEnabled(b));
    }
    EXPECT_TRUE(mailTimer.enabled);
    EXPECT_EQ(mailTimer.interval, 300000);
    EXPECT_FALSE(state.ReadingBody || state.ReadingHeaders || state.Paused ||
                 state.InHeaderSequence);
    EXPECT_TRUE(state.ReadWithHeader);
    EXPECT_EQ(view.hints[BarButton::Play], "Geen bericht voor te lezen");
    EXPECT_EQ(view.hints[BarButton::Back], "");
    EXPECT_EQ(view.hints[BarButton::Instel], "Instellingen");
    EXPECT_EQ(view.barHint, "Geen berichten");
}

TEST(ComputeHints, CountsPositionsAndTheFetchLimit) {
    struct Case {
        int messages, index, lines, limit;
        bool useLimit;
        int newTotal;
        const char *bar, *play, *back, *forw;
    } cases[] = {
        {5, 0, 5, 3, true, 2, "3 berichten, 2 nieuw", "Bericht 1 voorlezen", "", "Bericht 2"},
        // The wording goes by the count, the number by the limit.
        {5, 0, 5, 1, true, 0, "1 berichten", "Bericht 1 voorlezen", "", "Bericht 2"},
        {5, 0, 5, 1, false, 0, "5 berichten", "Bericht 1 voorlezen", "", "Bericht 2"},
        {1, 0, 1, 20, true, 0, "1 bericht", "Bericht 1 voorlezen", "", ""},
        {0, 0, 0, 20, true, 0, "Geen berichten", "Geen bericht voor te lezen", "", ""},
        {0, 0, 0, 20, true, 3, "Geen berichten, 3 nieuw", "Geen bericht voor te lezen", "", ""},
        {3, 0, 3, 20, true, 0, "3 berichten", "Bericht 1 voorlezen", "", "Bericht 2"},
        {3, 1, 3, 20, true, 0, "3 berichten", "Bericht 2 voorlezen", "Bericht 1", "Bericht 3"},
        {3, 2, 3, 20, true, 0, "3 berichten", "Bericht 3 voorlezen", "Bericht 2", ""},
    };
    for (const Case& c : cases) {
        ReadingState state;
        Settings settings;
        state.MessageCount = c.messages;
        state.CurrentIndex = c.index;
        state.KnownHeaders.assign(c.lines, "Jan\tHallo");
        state.NewTotal = c.newTotal;
        settings.NumSaveMails = c.limit;
        settings.UseNumSaveMails = c.useLimit;
        const Hints hints = ComputeHints(state, settings);
        SCOPED_TRACE(c.bar);
        EXPECT_EQ(hints.bar, c.bar);
        EXPECT_EQ(hints.button[0], c.play);
        EXPECT_EQ(hints.button[3], c.back);
        EXPECT_EQ(hints.button[4], c.forw);
        EXPECT_EQ(hints.button[1], "Pauze");
        EXPECT_EQ(hints.button[2], "Stoppen");
    }
}

TEST_F(BarFixture, SetButtonStateSetsLooksMirrorsTheMenuAndKeepsTheHighlightWhenDisabling) {
    bar.Create();
    bar.SetButtonState("play", true);
    EXPECT_EQ(view.looks[BarButton::Play], Look::Normal);
    EXPECT_TRUE(view.menu[BarButton::Play]);
    EXPECT_FALSE(view.menu[BarButton::Pauze]);

    bar.HoverButton("play");
    EXPECT_TRUE(bar.IsLit(BarButton::Play));
    bar.SetButtonState("play", false);
    EXPECT_EQ(view.looks[BarButton::Play], Look::Disabled);
    EXPECT_TRUE(bar.IsLit(BarButton::Play)); // stays until enabled again
    bar.SetButtonState("all", true);
    EXPECT_FALSE(bar.IsLit(BarButton::Play));
    for (BarButton b : kReading)
        EXPECT_EQ(view.looks[b], Look::Normal);

    bar.SetButtonState("nonsense", false); // no button of that name: nothing changes
    for (BarButton b : kReading)
        EXPECT_TRUE(bar.IsEnabled(b));
}

TEST_F(BarFixture, HoverLightsTheButtonUnderTheMouseOnly) {
    bar.Create();
    bar.SetButtonState("play", true);
    bar.HoverButton("play");
    EXPECT_EQ(view.looks[BarButton::Play], Look::Lit);
    // Straight to a disabled pause: play goes back to normal, pause stays disabled.
    bar.HoverButton("pauze");
    EXPECT_EQ(view.looks[BarButton::Play], Look::Normal);
    EXPECT_EQ(view.looks[BarButton::Pauze], Look::Disabled);
    EXPECT_FALSE(bar.IsLit(BarButton::Pauze));
    // Settings and help light up whatever the reading state.
    bar.HoverButton("instel");
    EXPECT_EQ(view.looks[BarButton::Instel], Look::Lit);
    const int repaints = view.repaints;
    bar.HoverButton("instel"); // no change, no repaint
    EXPECT_EQ(view.repaints, repaints);
    bar.HoverButton("none");
    EXPECT_EQ(view.looks[BarButton::Instel], Look::Normal);
    EXPECT_FALSE(bar.IsLit(BarButton::Instel));
}

TEST_F(BarFixture, MailTimerFollowsTheIntervalAndKeepsItsCountdown) {
    bar.SetMailTimer(true);
    EXPECT_EQ(mailTimer.restarts, 1);
    bar.SetMailTimer(true); // running with the same interval: not restarted
    EXPECT_EQ(mailTimer.restarts, 1);
    settings.Interval = 99;
    bar.SetMailTimer(true);
    EXPECT_EQ(mailTimer.interval, 99 * 60000);
    EXPECT_EQ(mailTimer.restarts, 2);
    bar.SetMailTimer(false);
    EXPECT_FALSE(mailTimer.enabled);
    EXPECT_EQ(mailTimer.interval, 0);
    // A value written from outside cannot overflow the interval.
    settings.Interval = 1 << 30;
    bar.SetMailTimer(true);
    EXPECT_GT(mailTimer.interval, 0);
}

TEST_F(BarFixture, AMailCheckRetryComesSoonerButNeverLaterThanTheInterval) {
    const struct {
        int retryMinutes;
        int interval;
        int expectMs;
    } cases[] = {
        {0, 5, 5 * 60000}, {1, 5, 60000}, {4, 5, 4 * 60000}, {8, 5, 5 * 60000}, {2, 1, 60000},
    };
    for (const auto& c : cases) {
        state.RetryMinutes = c.retryMinutes;
        settings.Interval = c.interval;
        bar.SetMailTimer(true);
        EXPECT_EQ(mailTimer.interval, c.expectMs) << c.retryMinutes << " " << c.interval;
    }
}

TEST_F(BarFixture, MailTickChecksOnlyOutsideTheGreeting) {
    fakes::CallLog log;
    fakes::FakeMail mail(log, state);
    bar.SetMailOps(&mail);
    state.SplashActive = true;
    bar.MailTimerTick();
    EXPECT_TRUE(log.empty());
    state.SplashActive = false;
    bar.MailTimerTick();
    EXPECT_EQ(log, fakes::CallLog{"CheckMail"});
}

TEST_F(BarFixture, HeaderTimerOpensAndClosesTheWindowWithoutExtending) {
    bar.StartHeaderTimer();
    EXPECT_FALSE(state.ReadWithHeader);
    EXPECT_EQ(headerTimer.interval, 10000);
    bar.StartHeaderTimer(); // while running: the countdown is not extended
    EXPECT_EQ(headerTimer.restarts, 1);
    bar.HeaderTimerTick();
    EXPECT_TRUE(state.ReadWithHeader);
    EXPECT_FALSE(headerTimer.enabled);
    EXPECT_EQ(headerTimer.interval, 0);
}

TEST_F(BarFixture, CtrlPressJumpsToTheEndsOnlyWhileEnabled) {
    bar.Create();
    state.KnownHeaders.assign(6, "x\ty");
    state.CurrentIndex = 3;
    bar.JumpPress(BarButton::Back); // disabled: nothing
    EXPECT_EQ(state.CurrentIndex, 3);
    bar.SetButtonState("back", true);
    bar.SetButtonState("forw", true);
    bar.JumpPress(BarButton::Back);
    EXPECT_EQ(state.CurrentIndex, 1); // the click that follows lands on the first
    bar.JumpPress(BarButton::Forw);
    EXPECT_EQ(state.CurrentIndex, 4); // ... or on the last
    EXPECT_TRUE(bar.ButtonEnabled("forw"));
    EXPECT_FALSE(bar.ButtonEnabled("play"));
    EXPECT_FALSE(bar.ButtonEnabled("all"));

    // With one message the jump stays on it instead of pointing before the list.
    state.KnownHeaders.assign(1, "x\ty");
    bar.JumpPress(BarButton::Forw);
    EXPECT_EQ(state.CurrentIndex, 0);
}

TEST(Greeting, ByLocalHour) {
    const std::pair<int, const char*> cases[] = {
        {0, "Goedemorgen!"},  {11, "Goedemorgen!"}, {12, "Goedemiddag!"},
        {17, "Goedemiddag!"}, {18, "Goedenavond!"}, {23, "Goedenavond!"},
    };
    for (const auto& [hour, greeting] : cases)
        EXPECT_EQ(GreetingForHour(hour), greeting) << hour;
}

TEST(Greeting, CentredWithIntegerHalves) {
    const Origin at = CentredOrigin(1025, 767, 400, 300);
    EXPECT_EQ(at.left, 512 - 200);
    EXPECT_EQ(at.top, 383 - 150);
    const Origin small = CentredOrigin(300, 200, 401, 305); // larger than the screen
    EXPECT_EQ(small.left, 150 - 200);
    EXPECT_EQ(small.top, 100 - 152);
}

} // namespace
