// The seams between brevon's shell (tray, bar, options dialog, the hidden connection window)
// and the mail side (check cycle, reading controller, spoken text). Each side sees the other
// only through these interfaces, so the logic of either can be driven by fakes in tests and by
// the real widgets and engines in the program.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <engines/EngineOps.h>

namespace brevon {

// What the mail side asks of the control bar and the tray menu.
class ShellOps {
public:
    virtual ~ShellOps() = default;
    // name: "play", "pauze", "stop", "back", "forw" or "all"; mirrored in the tray menu.
    virtual void SetButtonState(std::string_view name, bool enabled) = 0;
    // Whether that reading button is enabled now ("all": every one of the five).
    virtual bool ButtonEnabled(std::string_view name) const = 0;
    virtual void UpdateHints() = 0;
    // On: the timer ticks after ReadingState::MailTimerMinutes of "Interval in minuten".
    virtual void SetMailTimer(bool on) = 0;
    virtual void StartHeaderTimer() = 0;
    virtual void StopHeaderTimer() = 0;
    // Opens the options dialog (mail timer off, tray and bar inert until it closes).
    virtual void ShowOptions() = 0;
    // After a failed connection: the dialog on its "Verbinding" page, focus on the host field
    // (or on the user field when focusUser is set). Call after ShowOptions.
    virtual void FocusConnectionField(bool focusUser) = 0;
    // After a sign-in the provider would not renew: the dialog on "Verbinding", focus on the
    // button that signs in again. Call after ShowOptions.
    virtual void FocusSignIn() { FocusConnectionField(false); }
    // The tray menu's "Offline werken" check mark shows the opposite of online.
    virtual void ToggleOnline(bool online) = 0;
};

// What the shell asks of the mail side. The shell calls these from its buttons, menu items
// and timers; each does nothing when its button is disabled or the state does not allow it,
// and none starts while a POP3 session is open.
class MailOps {
public:
    virtual ~MailOps() = default;
    virtual void CheckMail() = 0;
    virtual void PlayMessage() = 0;
    virtual void PauseReading() = 0;
    virtual void StopReading() = 0;
    virtual void PreviousMessage() = 0;
    virtual void NextMessage() = 0;
    // "Alles voorlezen": every new message not yet heard, one after the other.
    virtual void ReadAll() = 0;
    // While a body is read paragraph by paragraph: the next paragraph, or the one before (at
    // the first, the first again), read from its start.
    virtual void NextParagraph() = 0;
    virtual void PreviousParagraph() = 0;
    // Stops whatever is being spoken (shutdown while reading).
    virtual void StopSpeaking() = 0;
    // Goes online or offline; updates the tray's check mark through ShellOps::ToggleOnline.
    // Refused while a session is open (the mark is set back to the current state).
    virtual void SetOnline(bool online) = 0;
    // The speech engine's end of a body reading that PlayMessage handed it with the bar.
    virtual void BodySpoken() = 0;
    // A POP3 session is open. The client lets window events run while it waits for the
    // server, so the shell can be reached meanwhile; it must not start anything then.
    virtual bool SessionOpen() const = 0;
    // Ends the open session as soon as the client gets control back, silently and without
    // changing the lists (shutdown). Nothing happens when no session is open.
    virtual void AbortSession() = 0;
};

// The speech engine and the text preprocessor, as the engines library offers them.
using SpeechOps = engines::SpeechOps;
using PreprocessorOps = engines::PreprocessorOps;

// The language gate's library, loaded and unloaded by the shell at start-up, at OK in the
// options dialog and at shutdown, and asked by the spoken-text composition.
class LanguageCheckOps {
public:
    virtual ~LanguageCheckOps() = default;
    virtual void EnableLanguageCheck() = 0;
    virtual void DisableLanguageCheck() = 0;
    virtual void ApplyLanguageCheckSetting() = 0;
    virtual bool LanguageCheckLoaded() const = 0;
    // True when no library is loaded or the text is too short to judge.
    virtual bool IsDutchText(const std::string& text) const = 0;
    // The library's six-way answer, its language code ("en", "nl", ...) or "??" when no
    // language is likely enough; empty when no library is loaded or the text is too short to
    // judge.
    virtual std::string ClassifyLanguage(const std::string& text) const = 0;
};

// The hidden connection window: its diagnostic controls (each change is also traced), the busy
// cursor, and bringing the bar to the front when new mail is announced.
class ConnectionWindow {
public:
    virtual ~ConnectionWindow() = default;
    virtual void SetConnected(bool ticked) = 0;    // "Connected"
    virtual void SetGettingMails(bool ticked) = 0; // "Getting Mails"
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetProgressLabel(const std::string& text) = 0;
    virtual void SetProgress(int percent) = 0;
    virtual void SetBusyCursor(bool busy) = 0;
    virtual void BringBarToFront() = 0;
};

} // namespace brevon
