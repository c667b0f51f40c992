// The seams between brevon's shell (tray, bar, options dialog) and the mail side (check cycle,
// reading controller). Each side sees the other only through these interfaces, so the logic of
// either can be driven by fakes in tests and by the real widgets in the program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brevon {

// A window-message timer as the shell uses it: it ticks while enabled with an interval above
// zero. Enabling a running timer or setting the interval it already has does not restart its
// countdown; a new interval, or enabling a stopped timer, does.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual void SetInterval(int milliseconds) = 0;
    virtual bool Enabled() const = 0;
    virtual int Interval() const = 0;
};

// What the mail side asks of the control bar and the tray menu.
class ShellOps {
public:
    virtual ~ShellOps() = default;
    // name: "play", "pauze", "stop", "back", "forw" or "all"; mirrored in the tray menu.
    virtual void SetButtonState(std::string_view name, bool enabled) = 0;
    virtual void UpdateHints() = 0;
    virtual void SetMailTimer(bool on) = 0;
    virtual void StartHeaderTimer() = 0;
    virtual void StopHeaderTimer() = 0;
    // Opens the options dialog (mail timer off, tray and bar inert until it closes).
    virtual void ShowOptions() = 0;
    // After a failed connection: the dialog on its "Verbinding" page, focus on the host field
    // (or on the user field when focusUser is set). Call after ShowOptions.
    virtual void FocusConnectionField(bool focusUser) = 0;
    // The tray menu's "Offline werken" check mark shows the opposite of online.
    virtual void ToggleOnline(bool online) = 0;
};

// What the shell asks of the mail side. The shell calls these from its buttons, menu items
// and timers; each does nothing when its button is disabled or the state does not allow it.
class MailOps {
public:
    virtual ~MailOps() = default;
    virtual void CheckMail() = 0;
    virtual void PlayMessage() = 0;
    virtual void PauseReading() = 0;
    virtual void StopReading() = 0;
    virtual void PreviousMessage() = 0;
    virtual void NextMessage() = 0;
    // Stops whatever is being spoken (shutdown while reading).
    virtual void StopSpeaking() = 0;
    // Goes online or offline; updates the tray's check mark through ShellOps::ToggleOnline.
    virtual void SetOnline(bool online) = 0;
    // The speech engine's end of a body reading that PlayMessage handed it with the bar.
    virtual void BodySpoken() = 0;
};

// The speech engine as the program uses it. A window is the object that gets the engine's
// end-of-speech message (null: nobody is told). Texts are Windows-1252 with the engine's
// stress marks.
class SpeechOps {
public:
    virtual ~SpeechOps() = default;
    virtual void Say(void* window, const std::string& text) = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    virtual void SetTempo(std::int32_t level) = 0;
    virtual void SetPitch(std::int32_t level) = 0;
    virtual void SetVolume(std::int32_t level) = 0;
    virtual void SetVoice(std::int32_t code) = 0;
    // Voice, tempo, pitch and volume as the engine would choose them.
    virtual void GetDefaultSettings(std::int32_t& voice, std::int32_t& tempo, std::int32_t& pitch,
                                    std::int32_t& volume) = 0;
    // The engine's word-list editor, modal over owner.
    virtual void Lexicon(void* owner) = 0;
};

// The language gate's library, loaded and unloaded by the shell at start-up, at OK in the
// options dialog and at shutdown.
class LanguageCheckOps {
public:
    virtual ~LanguageCheckOps() = default;
    virtual void EnableLanguageCheck() = 0;
    virtual void DisableLanguageCheck() = 0;
    virtual void ApplyLanguageCheckSetting() = 0;
    virtual bool LanguageCheckLoaded() const = 0;
};

} // namespace brevon
