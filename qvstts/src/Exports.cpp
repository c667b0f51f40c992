// The engine's C surface: thin shims that catch everything and return QVS_ codes.
#include <qvstts/qvstts.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>

#include <platform/LocalTime.h>
#include <qvstts/AudioSink.h>
#include <qvstts/Engine.h>
#include <qvstts/Lexicon.h>
#include <qvstts/LexiconDialog.h>
#include <qvstts/SpeechText.h>
#include <qvstts/Synth.h>
#include <qvstts/Voices.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using namespace qvstts;

struct State {
    std::mutex mutex; // the exports are meant for one thread; this keeps misuse harmless
    std::unique_ptr<Engine> engine;
    Levels levels = defaultLevels();
    std::string transcript;
    std::filesystem::path lexiconFile;
    std::shared_ptr<const Lexicon> lexicon = std::make_shared<Lexicon>();
};

State& state() {
    static State s;
    return s;
}

std::mutex gPostMutex;
QVS_PostMessageProc gPost = nullptr;
void* gPostContext = nullptr;

void postClose(void* window) {
    QVS_PostMessageProc proc;
    void* context;
    {
        std::lock_guard lock(gPostMutex);
        proc = gPost;
        context = gPostContext;
    }
    if (proc) {
        proc(context, window, QVS_MM_WOM_CLOSE);
        return;
    }
#ifdef _WIN32
    PostMessageA(static_cast<HWND>(window), QVS_MM_WOM_CLOSE, 0, 0);
#endif
}

std::string envOr(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

int32_t initLocked(State& s) {
    if (s.engine) return QVS_OK;
    Synth* synth = Synth::instance();
    if (!synth) return QVS_E_FAILED;
    std::string error;
    auto sink = makeSink(envOr("QVSTTS_SINK"), synth->sampleRate(), &error);
    if (!sink) {
        std::fprintf(stderr, "qvstts: %s\n", error.c_str());
        return QVS_E_FAILED;
    }
    s.transcript = envOr("QVSTTS_TRANSCRIPT");
    s.lexiconFile = Lexicon::defaultFile();
    s.lexicon = std::make_shared<Lexicon>(Lexicon::load(s.lexiconFile));
    s.engine = std::make_unique<Engine>(*synth, std::move(sink), postClose);
    return QVS_OK;
}

void writeTranscript(const std::string& path, void* window, const char* text,
                     const std::string& language) {
    if (path.empty()) return;
    const auto now = std::chrono::system_clock::now();
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    const std::tm local = platform::LocalTime(secs);
    char stamp[64];
    const size_t len = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(stamp + len, sizeof stamp - len, ".%03d", static_cast<int>(millis));
    char target[32] = "none";
    if (window)
        std::snprintf(target, sizeof target, "0x%" PRIxPTR, reinterpret_cast<uintptr_t>(window));
    const std::string line = std::string(stamp) + '\t' + target + '\t' + transcriptText(text) +
                             (language == "nl" ? std::string() : '\t' + language) + '\n';
    if (std::FILE* f = std::fopen(path.c_str(), "ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
    }
}

int32_t sayLocked(State& s, void* window, const char* text) {
    if (!text) text = "";
    if (initLocked(s) != QVS_OK) {
        // Without an engine the caller would wait forever for the end of speech.
        if (window) postClose(window);
        return QVS_E_FAILED;
    }
    writeTranscript(s.transcript, window, text, s.levels.language);
    s.engine->say(window, toSsml(text, s.lexicon.get(), s.levels.language), voiceParams(s.levels));
    return QVS_OK;
}

template <typename F> int32_t guarded(F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return QVS_E_FAILED;
    }
}

// Later texts use the level, brought into 0..10.
int32_t setLevel(int Levels::*which, int32_t level) noexcept {
    return guarded([which, level] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        s.levels.*which = clampLevel(level);
        return QVS_OK;
    });
}

} // namespace

extern "C" {

QVS_API int32_t QVS_CALL QVS_SetPostMessageProc(QVS_PostMessageProc proc, void* context) {
    std::lock_guard lock(gPostMutex);
    gPost = proc;
    gPostContext = proc ? context : nullptr;
    return QVS_OK;
}

QVS_API int32_t QVS_CALL QVS_Init(int32_t /*version*/) {
    return guarded([] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        return initLocked(s);
    });
}

QVS_API int32_t QVS_CALL QVS_Close(void) {
    return guarded([] {
        State& s = state();
        std::unique_ptr<Engine> engine;
        {
            std::lock_guard lock(s.mutex);
            engine = std::move(s.engine);
        }
        if (engine) engine->close(); // outside the lock: the notices may take a moment
        return QVS_OK;
    });
}

QVS_API int32_t QVS_CALL QVS_Say(QVS_WINDOW window, const char* text) {
    return guarded([&] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        return sayLocked(s, window, text);
    });
}

QVS_API int32_t QVS_CALL QVS_Pause(void) {
    return guarded([] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        if (s.engine) s.engine->togglePause();
        return QVS_OK;
    });
}

QVS_API int32_t QVS_CALL QVS_Stop(void) {
    return guarded([] {
        State& s = state();
        std::lock_guard lock(s.mutex);
        if (s.engine) s.engine->stop();
        return QVS_OK;
    });
}

QVS_API int32_t QVS_CALL QVS_SetVoice(int32_t voice) {
    return guarded([voice] {
        if (!isKnownVoice(voice)) return QVS_E_ARGUMENT;
        State& s = state();
        std::lock_guard lock(s.mutex);
        s.levels.voice = voice;
        return QVS_OK;
    });
}

QVS_API int32_t QVS_CALL QVS_SetLanguage(const char* language) {
    return guarded([language] {
        const std::string code = language && *language ? language : "nl";
        if (!isKnownLanguage(code)) return QVS_E_ARGUMENT;
        State& s = state();
        std::lock_guard lock(s.mutex);
        s.levels.language = code;
        return QVS_OK;
    });
}

QVS_API int32_t QVS_CALL QVS_SetTempo(int32_t level) {
    return setLevel(&Levels::tempo, level);
}

QVS_API int32_t QVS_CALL QVS_SetPitch(int32_t level) {
    return setLevel(&Levels::pitch, level);
}

QVS_API int32_t QVS_CALL QVS_SetVolume(int32_t level) {
    return setLevel(&Levels::volume, level);
}

QVS_API int32_t QVS_CALL QVS_GetDefaultSettings(int32_t* voice, int32_t* tempo, int32_t* pitch,
                                                int32_t* volume) {
    const Levels d = defaultLevels();
    if (voice) *voice = d.voice;
    if (tempo) *tempo = d.tempo;
    if (pitch) *pitch = d.pitch;
    if (volume) *volume = d.volume;
    return QVS_OK;
}

QVS_API int32_t QVS_CALL QVS_Lexicon(QVS_WINDOW owner) {
    return guarded([owner] {
        State& s = state();
        std::filesystem::path file;
        {
            std::lock_guard lock(s.mutex);
            file = s.engine ? s.lexiconFile : Lexicon::defaultFile();
        }
        Lexicon saved;
        // The dialog runs its own event loop, so the state lock is not held meanwhile.
        const LexiconResult result = editLexicon(
            owner, file,
            [](const std::string& text) {
                State& st = state();
                std::lock_guard lock(st.mutex);
                if (st.engine) st.engine->stop();
                sayLocked(st, nullptr, text.c_str());
            },
            &saved);
        switch (result) {
        case LexiconResult::NoApplication:
            return QVS_E_NO_DISPLAY;
        case LexiconResult::Cancelled:
            return QVS_OK;
        case LexiconResult::Saved:
            break;
        }
        std::lock_guard lock(s.mutex);
        s.lexicon = std::make_shared<Lexicon>(std::move(saved));
        return QVS_OK;
    });
}

} // extern "C"
