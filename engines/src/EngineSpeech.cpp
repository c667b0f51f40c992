#include <engines/EngineSpeech.h>

#include <utility>

namespace engines {

EngineSpeech::EngineSpeech(Tolvani& engine, Tolvani::Poster poster) : engine_(engine) {
    engine_.setPoster(std::move(poster));
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

} // namespace engines
