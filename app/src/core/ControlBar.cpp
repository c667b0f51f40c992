#include <app/ControlBar.h>

#include <algorithm>
#include <climits>
#include <string>

#include <mail/SenderSubject.h>

namespace brevon {

namespace {

constexpr std::array<std::string_view, kBarButtonCount> kHoverNames{
    "play", "pauze", "stop", "back", "forw", "instel", "help"};

constexpr int kHeaderWindowMs = 10000;
constexpr int kMillisecondsPerMinute = 60000;

int Index(BarButton button) {
    return static_cast<int>(button);
}

bool IsReadingButton(BarButton button) {
    return Index(button) < kReadingButtonCount;
}

} // namespace

std::string_view HoverName(BarButton button) {
    return kHoverNames[Index(button)];
}

Hints ComputeHints(const ReadingState& state, const Settings& settings) {
    Hints hints;
    auto& button = hints.button;
    const int lines = static_cast<int>(state.KnownHeaders.size());
    const int index = state.CurrentIndex;

    button[Index(BarButton::Play)] = state.MessageCount > 0
                                         ? ReplaceNum("Bericht %NUM voorlezen", index + 1LL)
                                         : std::string("Geen bericht voor te lezen");
    button[Index(BarButton::Stop)] = "Stoppen";
    button[Index(BarButton::Pauze)] = "Pauze";
    button[Index(BarButton::Back)] = index > 0 ? ReplaceNum("Bericht %NUM", index) : "";
    button[Index(BarButton::Forw)] =
        index < lines - 1 ? ReplaceNum("Bericht %NUM", index + 2LL) : "";
    button[Index(BarButton::Instel)] = "Instellingen";
    button[Index(BarButton::Help)] = "Help";

    // The wording goes by MessageCount, the number by what the fetch limit lets through.
    int shown = state.MessageCount;
    if (settings.UseNumSaveMails && state.MessageCount > settings.NumSaveMails)
        shown = settings.NumSaveMails;
    if (state.MessageCount > 1)
        hints.bar = ReplaceNum("%NUM berichten", shown);
    else if (state.MessageCount == 1)
        hints.bar = "1 bericht";
    else
        hints.bar = "Geen berichten";
    if (state.NewTotal > 0) hints.bar += ReplaceNum(", %NUM nieuw", state.NewTotal);
    return hints;
}

ControlBar::ControlBar(BarView& view, Timer& mailTimer, Timer& headerTimer, Settings& settings,
                       ReadingState& state)
    : view_(view), mailTimer_(mailTimer), headerTimer_(headerTimer), settings_(settings),
      state_(state) {}

void ControlBar::Create() {
    SetButtonState("all", false);
    SetMailTimer(true);
    state_.Paused = false;
    state_.ReadingBody = false;
    state_.ReadingHeaders = false;
    state_.InHeaderSequence = false;
    state_.ReadWithHeader = true;

    view_.SetButtonHint(BarButton::Play, "Geen bericht voor te lezen");
    view_.SetButtonHint(BarButton::Stop, "Stoppen");
    view_.SetButtonHint(BarButton::Pauze, "Pauze");
    view_.SetButtonHint(BarButton::Back, "");
    view_.SetButtonHint(BarButton::Forw, "");
    view_.SetButtonHint(BarButton::Instel, "Instellingen");
    view_.SetButtonHint(BarButton::Help, "Help");
    view_.SetBarHint("Geen berichten");
}

void ControlBar::SetButtonState(std::string_view name, bool enabled) {
    for (int i = 0; i < kReadingButtonCount; ++i) {
        const auto button = static_cast<BarButton>(i);
        if (name != "all" && name != HoverName(button)) continue;
        if (enabled) {
            lit_[i] = false;
            view_.ShowLook(button, Look::Normal);
        } else {
            // The highlight flag stays: the look is the disabled one until re-enabled.
            view_.ShowLook(button, Look::Disabled);
        }
        view_.SetMenuItemEnabled(button, enabled);
        enabled_[i] = enabled;
    }
}

bool ControlBar::ButtonEnabled(std::string_view name) const {
    bool any = false;
    for (int i = 0; i < kReadingButtonCount; ++i) {
        if (name != "all" && name != HoverName(static_cast<BarButton>(i))) continue;
        if (!enabled_[i]) return false;
        any = true;
    }
    return any;
}

void ControlBar::HoverButton(std::string_view name) {
    for (int i = 0; i < kBarButtonCount; ++i) {
        const auto button = static_cast<BarButton>(i);
        if (IsReadingButton(button) && !enabled_[i]) continue;
        const bool over = name == HoverName(button);
        if (lit_[i] && !over) {
            view_.ShowLook(button, Look::Normal);
            lit_[i] = false;
        } else if (!lit_[i] && over) {
            view_.ShowLook(button, Look::Lit);
            lit_[i] = true;
        }
    }
}

void ControlBar::UpdateHints() {
    const Hints hints = ComputeHints(state_, settings_);
    for (int i = 0; i < kBarButtonCount; ++i)
        view_.SetButtonHint(static_cast<BarButton>(i), hints.button[i]);
    view_.SetBarHint(hints.bar);
}

void ControlBar::SetMailTimer(bool on) {
    if (on) {
        mailTimer_.SetEnabled(true);
        // The record may hold any number written from outside; keep the product in range.
        // A retry after a passing connection failure comes sooner than the interval.
        const long long ms = static_cast<long long>(state_.MailTimerMinutes(settings_.Interval)) *
                             kMillisecondsPerMinute;
        mailTimer_.SetInterval(static_cast<int>(std::clamp<long long>(ms, 0, INT_MAX)));
        if (trace_) trace_("SetMailTimer on " + std::to_string(mailTimer_.Interval()));
    } else {
        mailTimer_.SetEnabled(false);
        mailTimer_.SetInterval(0);
        if (trace_) trace_("SetMailTimer off");
    }
}

void ControlBar::StartHeaderTimer() {
    headerTimer_.SetEnabled(true);
    headerTimer_.SetInterval(kHeaderWindowMs);
    state_.ReadWithHeader = false;
}

void ControlBar::StopHeaderTimer() {
    headerTimer_.SetEnabled(false);
    headerTimer_.SetInterval(0);
    state_.ReadWithHeader = true;
}

void ControlBar::ShowOptions() {
    if (showOptions_) showOptions_();
}

void ControlBar::FocusConnectionField(bool focusUser) {
    if (focus_) focus_(focusUser);
}

void ControlBar::FocusSignIn() {
    if (focusSignIn_)
        focusSignIn_();
    else
        FocusConnectionField(false);
}

void ControlBar::ToggleOnline(bool online) {
    if (toggleOnline_) toggleOnline_(online);
}

void ControlBar::MailTimerTick() {
    if (state_.SplashActive) return;
    if (mail_) mail_->CheckMail();
}

void ControlBar::HeaderTimerTick() {
    StopHeaderTimer();
}

void ControlBar::JumpPress(BarButton button) {
    if (!IsReadingButton(button) || !enabled_[Index(button)]) return;
    if (button == BarButton::Back)
        state_.CurrentIndex = 1;
    else if (button == BarButton::Forw)
        state_.CurrentIndex = static_cast<int>(state_.KnownHeaders.size()) - 2;
    state_.ClampCurrentIndex();
}

bool ControlBar::IsEnabled(BarButton button) const {
    return !IsReadingButton(button) || enabled_[Index(button)];
}

bool ControlBar::IsLit(BarButton button) const {
    return lit_[Index(button)];
}

} // namespace brevon
