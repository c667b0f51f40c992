// The control bar's behaviour without its widgets: button states and looks, the tray menu
// mirror, the highlight that follows the mouse, the hints with the message counts, the mail
// and header timers and the jump to the ends. The widgets implement BarView and hand their
// events here.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include <app/Settings.h>
#include <app/Timer.h>
#include <mail/ReadingState.h>
#include <mail/Seams.h>

namespace brevon {

// The bar's picture buttons, the five reading buttons first, in the order SetButtonState
// walks them.
enum class BarButton { Play, Pauze, Stop, Back, Forw, Instel, Help };
inline constexpr int kReadingButtonCount = 5;
inline constexpr int kBarButtonCount = 7;

// The hover name of each button ("play", "pauze", "stop", "back", "forw", "instel", "help").
std::string_view HoverName(BarButton button);

enum class Look {
    Normal,   // _n
    Lit,      // _h, the mouse is over it
    Disabled, // _s
};

// The widget side of the bar.
class BarView {
public:
    virtual ~BarView() = default;
    // Gives the button that look and repaints it.
    virtual void ShowLook(BarButton button, Look look) = 0;
    // An empty text makes the button show the bar's hint.
    virtual void SetButtonHint(BarButton button, const std::string& text) = 0;
    virtual void SetBarHint(const std::string& text) = 0;
    // The tray menu item of a reading button.
    virtual void SetMenuItemEnabled(BarButton button, bool enabled) = 0;
};

// The texts of the hints, Windows-1252 like all text of the program.
struct Hints {
    std::array<std::string, kBarButtonCount> button;
    std::string bar;
};

// The hints for these counts; see ControlBar::UpdateHints.
Hints ComputeHints(const ReadingState& state, const Settings& settings);

class ControlBar final : public ShellOps {
public:
    // The mail and header timers belong to the bar window; the bar only drives them. (The
    // drag timer is the window's own business.)
    ControlBar(BarView& view, Timer& mailTimer, Timer& headerTimer, Settings& settings,
               ReadingState& state);

    // What the mail timer tick calls; set once the mail side exists.
    void SetMailOps(MailOps* mail) { mail_ = mail; }
    // What ShowOptions, FocusConnectionField and ToggleOnline do; the shell's windows.
    void SetShowOptions(std::function<void()> showOptions) {
        showOptions_ = std::move(showOptions);
    }
    void SetFocusConnectionField(std::function<void(bool)> focus) { focus_ = std::move(focus); }
    void SetToggleOnline(std::function<void(bool)> toggle) { toggleOnline_ = std::move(toggle); }
    void SetFocusSignIn(std::function<void()> focus) { focusSignIn_ = std::move(focus); }
    // Told of mail timer changes ("SetMailTimer on 300000", "SetMailTimer off"), for watchers.
    void SetTrace(std::function<void(std::string_view)> trace) { trace_ = std::move(trace); }

    // Creation: all five reading buttons disabled, mail timer on, reading flags cleared and
    // ReadWithHeader set, the first hints. (Shaping and placing are the window's.)
    void Create();

    // ShellOps
    void SetButtonState(std::string_view name, bool enabled) override;
    bool ButtonEnabled(std::string_view name) const override;
    void UpdateHints() override;
    void SetMailTimer(bool on) override;
    void StartHeaderTimer() override;
    void StopHeaderTimer() override;
    void ShowOptions() override;
    void FocusConnectionField(bool focusUser) override;
    void FocusSignIn() override;
    void ToggleOnline(bool online) override;

    // name: a hover name, or anything else (the background: "none").
    void HoverButton(std::string_view name);

    // Ticks.
    void MailTimerTick();   // CheckMail unless the greeting plays
    void HeaderTimerTick(); // StopHeaderTimer

    // Ctrl + left press on back or forward, before the click: moves CurrentIndex so that the
    // click lands on the first or the last message. Only while the button is enabled; the
    // index stays inside the list.
    void JumpPress(BarButton button);

    bool IsEnabled(BarButton button) const; // instel and help: always
    bool IsLit(BarButton button) const;

private:
    BarView& view_;
    Timer& mailTimer_;
    Timer& headerTimer_;
    Settings& settings_;
    ReadingState& state_;
    MailOps* mail_ = nullptr;
    std::function<void()> showOptions_;
    std::function<void(bool)> focus_;
    std::function<void()> focusSignIn_;
    std::function<void(bool)> toggleOnline_;
    std::function<void(std::string_view)> trace_;
    std::array<bool, kReadingButtonCount> enabled_{};
    std::array<bool, kBarButtonCount> lit_{};
};

} // namespace brevon
