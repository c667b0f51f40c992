#include "Speech.h"

#include <mutex>
#include <set>
#include <string>

#include <QCoreApplication>

#include "Trace.h"

namespace brevon {

namespace {

// The engine posts from its own thread; windows come and go on the UI thread.
std::mutex gTargetsMutex;
std::set<QObject*> gTargets;

void PostEnd(void* window, uint32_t message) {
    if (message != engines::MM_WOM_CLOSE || !window) return;
    std::lock_guard lock(gTargetsMutex);
    const auto target = gTargets.find(static_cast<QObject*>(window));
    // postEvent is safe from any thread; the object cannot go away while the lock is held.
    if (target != gTargets.end()) QCoreApplication::postEvent(*target, new SpeechEndEvent);
}

} // namespace

QEvent::Type SpeechEndEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

SpeechEndEvent::SpeechEndEvent() : QEvent(EventType()) {}

SpeechTarget::SpeechTarget(QObject* window) : window_(window) {
    std::lock_guard lock(gTargetsMutex);
    gTargets.insert(window_);
}

SpeechTarget::~SpeechTarget() {
    std::lock_guard lock(gTargetsMutex);
    gTargets.erase(window_);
}

EngineSpeech::EngineSpeech(engines::Tolvani& engine) : engine_(engine) {
    engine_.setPoster(PostEnd);
}

EngineSpeech::~EngineSpeech() {
    engine_.setPoster(nullptr);
}

void EngineSpeech::Say(void* window, const std::string& text) {
    engine_.say(window, text);
}
void EngineSpeech::Pause() {
    engine_.pause();
}
void EngineSpeech::Stop() {
    engine_.stop();
}
void EngineSpeech::SetTempo(std::int32_t level) {
    engine_.setTempo(level);
}
void EngineSpeech::SetPitch(std::int32_t level) {
    engine_.setPitch(level);
}
void EngineSpeech::SetVolume(std::int32_t level) {
    engine_.setVolume(level);
}
void EngineSpeech::SetVoice(std::int32_t code) {
    engine_.setVoice(code);
}
void EngineSpeech::SetLanguage(const std::string& code) {
    engine_.setLanguage(code);
}
void EngineSpeech::GetDefaultSettings(std::int32_t& voice, std::int32_t& tempo, std::int32_t& pitch,
                                      std::int32_t& volume) {
    const QVS_Settings d = engine_.defaultSettings();
    voice = d.voice;
    tempo = d.tempo;
    pitch = d.pitch;
    volume = d.volume;
}
void EngineSpeech::Lexicon(void* owner) {
    engine_.lexicon(owner);
}
void EngineSpeech::Close() {
    engine_.close();
}

} // namespace brevon
