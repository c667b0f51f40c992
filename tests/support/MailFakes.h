// Recording fakes of what the mail side talks to (the bar and tray, speech, the connection
// window, the preprocessor, the language gate); with the in-memory POP3 server behind the real
// client's transport, the check cycle and the reading controller run as in the program.
#pragma once

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <mail/ReadingState.h>
#include <mail/Seams.h>

#include "FakePop3Server.h"
#include "TempDirGuard.h"

namespace brevon::fakes {

using CallLog = std::vector<std::string>;

// The bar and the tray menu: button states, timers and the options dialog, as the control bar
// keeps them (the header timer sets and clears ReadWithHeader).
class FakeShell final : public ShellOps {
public:
    FakeShell(CallLog& log, ReadingState& state) : log_(log), state_(state) {}

    std::map<std::string, bool, std::less<>> buttons{
        {"play", false}, {"pauze", false}, {"stop", false}, {"back", false}, {"forw", false}};
    bool mailTimer = false;
    int interval = 5;         // "Interval in minuten"
    int mailTimerMinutes = 0; // when the running mail timer ticks; 0 while it is off
    bool headerTimer = false;
    int optionsShown = 0;
    bool online = true; // the tray's "Offline werken" mark shows the opposite

    void SetButtonState(std::string_view name, bool enabled) override {
        for (auto& [button, on] : buttons)
            if (name == "all" || name == button) on = enabled;
    }
    bool ButtonEnabled(std::string_view name) const override {
        bool all = true;
        for (const auto& [button, on] : buttons) {
            if (name == button) return on;
            all = all && on;
        }
        return name == "all" && all;
    }
    void UpdateHints() override {}
    void SetMailTimer(bool on) override {
        mailTimer = on;
        mailTimerMinutes = on ? state_.MailTimerMinutes(interval) : 0;
    }
    void StartHeaderTimer() override {
        headerTimer = true;
        state_.ReadWithHeader = false;
    }
    void StopHeaderTimer() override {
        headerTimer = false;
        state_.ReadWithHeader = true;
    }
    void ShowOptions() override {
        ++optionsShown;
        log_.push_back("ShowOptions");
    }
    void FocusConnectionField(bool focusUser) override {
        log_.push_back(focusUser ? "Focus user" : "Focus host");
    }
    void FocusSignIn() override { log_.push_back("Focus sign-in"); }
    void ToggleOnline(bool on) override { online = on; }

    // "play pauze stop back forw" with the enabled ones in upper case, for compact checks.
    std::string Buttons() const {
        std::string out;
        for (const char* name : {"play", "pauze", "stop", "back", "forw"}) {
            if (!out.empty()) out += ' ';
            std::string word = name;
            if (buttons.find(name)->second)
                std::transform(word.begin(), word.end(), word.begin(), ::toupper);
            out += word;
        }
        return out;
    }

private:
    CallLog& log_;
    ReadingState& state_;
};

// Speech as the engine behaves: every text said with a window gets one end report, in order,
// also when Stop cut it off. The test delivers the reports (Deliver), as the event loop would.
class FakeSpeech final : public SpeechOps {
public:
    struct Said {
        void* window;
        std::string text;
        std::string language = "nl"; // what SetLanguage last chose when the text was said
    };
    std::vector<Said> said;
    std::string language = "nl";
    std::deque<void*> pendingEnds;
    bool paused = false;
    int stops = 0;

    void Say(void* window, const std::string& text) override {
        said.push_back({window, text, language});
        if (window) pendingEnds.push_back(window);
    }
    void Pause() override { paused = !paused; }
    void Stop() override {
        ++stops;
        paused = false;
    }
    void SetTempo(std::int32_t) override {}
    void SetPitch(std::int32_t) override {}
    void SetVolume(std::int32_t) override {}
    void SetVoice(std::int32_t) override {}
    void SetLanguage(const std::string& code) override { language = code; }
    void GetDefaultSettings(std::int32_t& voice, std::int32_t& tempo, std::int32_t& pitch,
                            std::int32_t& volume) override {
        voice = tempo = pitch = volume = 0;
    }
    void Lexicon(void*) override {}

    // The texts said, in order.
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const Said& s : said)
            out.push_back(s.text);
        return out;
    }
};

// The hidden window's controls, noted in the log as the program's trace notes them.
class FakeWindow final : public ConnectionWindow {
public:
    explicit FakeWindow(CallLog& log) : log_(log) {}
    bool connected = false;
    bool gettingMails = false;
    int busy = 0;
    std::string status;
    int broughtToFront = 0;

    void SetConnected(bool ticked) override { connected = ticked; }
    void SetGettingMails(bool ticked) override { gettingMails = ticked; }
    void SetStatusText(const std::string& text) override {
        status = text;
        log_.push_back("Status " + text);
    }
    void SetProgressLabel(const std::string& text) override { log_.push_back(text); }
    void SetProgress(int) override {}
    void SetBusyCursor(bool on) override { busy += on ? 1 : -1; }
    void BringBarToFront() override { ++broughtToFront; }

private:
    CallLog& log_;
};

// Marks each step so a test sees what went through which engine.
class FakePreprocessor final : public PreprocessorOps {
public:
    Result clean{0, ""}; // length < 0: fail; otherwise "[clean]" + text when length > 0
    bool useCleanAnswer = false;
    bool failParagraphs = false;
    bool failNumbers = false;
    std::vector<std::string> calls;

    Result Clean(const std::string& text, bool skipQuoted) override {
        calls.push_back(std::string("Clean") + (skipQuoted ? " skip" : ""));
        if (useCleanAnswer) return clean;
        return {static_cast<std::int32_t>(text.size()), "[clean]" + text};
    }
    Result RestoreParagraphs(const std::string& text) override {
        calls.push_back("RestoreParagraphs");
        if (failParagraphs) return {-1, ""};
        return {static_cast<std::int32_t>(text.size()), "[para]" + text};
    }
    Result SolveNumbers(const std::string& text) override {
        calls.push_back("SolveNumbers");
        if (failNumbers) return {-1, ""};
        return {static_cast<std::int32_t>(text.size()), "[num]" + text};
    }
};

class FakeLanguageCheck final : public LanguageCheckOps {
public:
    bool dutch = true;
    std::string answer; // ClassifyLanguage's
    int asked = 0;
    void EnableLanguageCheck() override {}
    void DisableLanguageCheck() override {}
    void ApplyLanguageCheckSetting() override {}
    bool LanguageCheckLoaded() const override { return true; }
    bool IsDutchText(const std::string&) const override {
        ++const_cast<FakeLanguageCheck*>(this)->asked;
        return dutch;
    }
    std::string ClassifyLanguage(const std::string&) const override {
        ++const_cast<FakeLanguageCheck*>(this)->asked;
        return answer;
    }
};

// For as long as it lives the temporary folder is a file, so no temporary file can be made:
// what a full disk does to a message on its way in.
struct NoRoomForTemporaryFiles : TempDirGuard {
    NoRoomForTemporaryFiles() {
        std::filesystem::remove_all(Dir());
        std::ofstream(Dir()) << "geen map";
    }
};

} // namespace brevon::fakes
