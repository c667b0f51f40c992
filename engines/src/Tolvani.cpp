#include <engines/Tolvani.h>

#include <mutex>
#include <utility>

#include <qvstts/qvstts.h>

namespace engines {
namespace {

// The engine takes a plain function and a context; the one binding of the process keeps the
// C++ poster here.
std::mutex gPosterMutex;
Tolvani::Poster gPoster;

void QVS_CALL forward(void*, QVS_WINDOW window, uint32_t message) {
    Tolvani::Poster poster;
    {
        std::lock_guard lock(gPosterMutex);
        poster = gPoster;
    }
    if (poster) poster(window, message);
}

} // namespace

Tolvani::Tolvani() {
    QVS_SetPostMessageProc(forward, nullptr);
    QVS_Init(0xA2000);
}

Tolvani::~Tolvani() {
    QVS_Stop();
    QVS_Close();
    QVS_SetPostMessageProc(nullptr, nullptr);
    std::lock_guard lock(gPosterMutex);
    gPoster = nullptr;
}

void Tolvani::setPoster(Poster poster) {
    std::lock_guard lock(gPosterMutex);
    gPoster = std::move(poster);
}

void Tolvani::say(void* window, const std::string& text) {
    QVS_Say(window, text.c_str());
}
void Tolvani::pause() {
    QVS_Pause();
}
void Tolvani::stop() {
    QVS_Stop();
}
void Tolvani::close() {
    QVS_Close();
}
void Tolvani::setTempo(int32_t level) {
    QVS_SetTempo(level);
}
void Tolvani::setPitch(int32_t level) {
    QVS_SetPitch(level);
}
void Tolvani::setVolume(int32_t level) {
    QVS_SetVolume(level);
}
void Tolvani::setVoice(int32_t code) {
    QVS_SetVoice(code);
}
void Tolvani::setLanguage(const std::string& code) {
    QVS_SetLanguage(code.c_str());
}
void Tolvani::lexicon(void* owner) {
    QVS_Lexicon(owner);
}

QVS_Settings Tolvani::defaultSettings() const {
    QVS_Settings d{};
    QVS_GetDefaultSettings(&d.voice, &d.tempo, &d.pitch, &d.volume);
    return d;
}

} // namespace engines
