// The speech engine's end-of-speech message, delivered as an event to the window named in the
// say.
#pragma once

#include <cstdint>

#include <QEvent>
#include <QObject>

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

// The poster handed to engines::EngineSpeech: the engine's end of a say reaches the window
// named in it, when that is still a registered target, as a SpeechEndEvent. Safe from any
// thread.
void PostSpeechEnd(void* window, std::uint32_t message);

} // namespace brevon
