// Recording fakes of the seams between the shell and the mail side, for tests of either side:
// each notes its calls in a shared log, so a test can check what happened and in which order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <mail/ReadingState.h>
#include <app/Settings.h>
#include <mail/Seams.h>

namespace brevon::fakes {

using CallLog = std::vector<std::string>;

class FakeSpeech final : public SpeechOps {
public:
    explicit FakeSpeech(CallLog& log) : log_(log) {}
    EngineDefaults defaults{10, 6, 4, 9}; // what GetDefaultSettings answers
    void* lexiconOwner = nullptr;

    void Say(void* window, const std::string& text) override {
        log_.push_back(std::string(window ? "Say(window) " : "Say ") + text);
    }
    void Pause() override { log_.push_back("Pause"); }
    void Stop() override { log_.push_back("Stop"); }
    void SetTempo(std::int32_t v) override { log_.push_back("SetTempo " + std::to_string(v)); }
    void SetPitch(std::int32_t v) override { log_.push_back("SetPitch " + std::to_string(v)); }
    void SetVolume(std::int32_t v) override { log_.push_back("SetVolume " + std::to_string(v)); }
    void SetVoice(std::int32_t v) override { log_.push_back("SetVoice " + std::to_string(v)); }
    void SetLanguage(const std::string& code) override { log_.push_back("SetLanguage " + code); }
    void GetDefaultSettings(std::int32_t& voice, std::int32_t& tempo, std::int32_t& pitch,
                            std::int32_t& volume) override {
        voice = defaults.voice;
        tempo = defaults.tempo;
        pitch = defaults.pitch;
        volume = defaults.volume;
    }
    void Lexicon(void* owner) override { lexiconOwner = owner; }

private:
    CallLog& log_;
};

// Notes checks and online switches; SetOnline sets Online as the real one does.
class FakeMail final : public MailOps {
public:
    FakeMail(CallLog& log, ReadingState& state) : log_(log), state_(state) {}
    std::function<void()> duringCheck; // what a check does besides noting itself

    void CheckMail() override {
        log_.push_back("CheckMail");
        if (duringCheck) duringCheck();
    }
    void PlayMessage() override { log_.push_back("PlayMessage"); }
    void PauseReading() override { log_.push_back("PauseReading"); }
    void StopReading() override { log_.push_back("StopReading"); }
    void PreviousMessage() override { log_.push_back("PreviousMessage"); }
    void NextMessage() override { log_.push_back("NextMessage"); }
    void ReadAll() override { log_.push_back("ReadAll"); }
    void NextParagraph() override { log_.push_back("NextParagraph"); }
    void PreviousParagraph() override { log_.push_back("PreviousParagraph"); }
    void StopSpeaking() override { log_.push_back("StopSpeaking"); }
    void SetOnline(bool online) override {
        log_.push_back(online ? "SetOnline true" : "SetOnline false");
        state_.Online = online;
    }
    void BodySpoken() override { log_.push_back("BodySpoken"); }
    bool SessionOpen() const override { return sessionOpen; }
    void AbortSession() override { log_.push_back("AbortSession"); }
    bool sessionOpen = false;

private:
    CallLog& log_;
    ReadingState& state_;
};

class FakeLanguageCheck final : public LanguageCheckOps {
public:
    explicit FakeLanguageCheck(CallLog& log) : log_(log) {}
    void EnableLanguageCheck() override { log_.push_back("EnableLanguageCheck"); }
    void DisableLanguageCheck() override { log_.push_back("DisableLanguageCheck"); }
    void ApplyLanguageCheckSetting() override { log_.push_back("ApplyLanguageCheckSetting"); }
    bool LanguageCheckLoaded() const override { return false; }
    bool IsDutchText(const std::string&) const override { return true; }
    std::string ClassifyLanguage(const std::string&) const override { return ""; }

private:
    CallLog& log_;
};

} // namespace brevon::fakes
