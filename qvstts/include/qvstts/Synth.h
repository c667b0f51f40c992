// espeak-ng, which keeps global state: one synthesiser per process, used by one thread at a
// time, never terminated (espeak_Terminate can hang in synchronous mode in 1.51).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include <qvstts/Voices.h>

namespace qvstts {

class Synth {
public:
    // Gets PCM as it is made, about 20 ms at a time; returns false to abort synthesis.
    using AudioFn = std::function<bool(const int16_t* samples, size_t count)>;

    // Initialises espeak-ng on first use; null when its data cannot be loaded.
    static Synth* instance();

    int sampleRate() const { return rate_; }

    // Synthesises SSML (UTF-8) synchronously on the calling thread. Returns false when onAudio
    // aborted or espeak-ng failed.
    bool speak(const std::string& ssml, const VoiceParams& voice, const AudioFn& onAudio);

private:
    explicit Synth(int rate) : rate_(rate) {}
    bool applyVoice(const VoiceParams& voice);

    int rate_;
    VoiceParams applied_;
    bool haveApplied_ = false;
};

} // namespace qvstts
