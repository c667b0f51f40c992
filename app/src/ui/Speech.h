// The speech engine for the windows: SpeechOps on the engine binding, and the engine's
// end-of-speech message delivered as an event to the window named in the say.
#pragma once

#include <QEvent>
#include <QObject>

#include <mail/Seams.h>
#include <engines/Tolvani.h>

namespace brevon {

// What a window receives when the speech it was named in has ended.
class SpeechEndEvent final : public QEvent {
public:
    SpeechEndEvent();
    static QEvent::Type EventType();
};

// A window that may be named in a say registers for the time it lives, so an end that arrives
// after it is gone is dropped instead of reaching a destroyed object.
class SpeechTarget {
public:
    explicit SpeechTarget(QObject* window);
    ~SpeechTarget();
    SpeechTarget(const SpeechTarget&) = delete;
    SpeechTarget& operator=(const SpeechTarget&) = delete;
    void* Handle() const { return window_; }

private:
    QObject* window_;
};

class EngineSpeech final : public SpeechOps {
public:
    // Registers the poster; the engine's ends go to registered targets as SpeechEndEvent.
    explicit EngineSpeech(engines::Tolvani& engine);
    ~EngineSpeech() override;

    void Say(void* window, const std::string& text) override;
    void Pause() override;
    void Stop() override;
    void SetTempo(std::int32_t level) override;
    void SetPitch(std::int32_t level) override;
    void SetVolume(std::int32_t level) override;
    void SetVoice(std::int32_t code) override;
    void SetLanguage(const std::string& code) override;
    void GetDefaultSettings(std::int32_t& voice, std::int32_t& tempo, std::int32_t& pitch,
                            std::int32_t& volume) override;
    void Lexicon(void* owner) override;
    // QVS_Close.
    void Close();

private:
    engines::Tolvani& engine_;
};

} // namespace brevon
