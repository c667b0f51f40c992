#include <qvstts/Synth.h>

#include <cstdio>
#include <mutex>
#include <string>

#include <espeak-ng/speak_lib.h>

namespace qvstts {
namespace {

std::mutex gSynthMutex; // espeak-ng is not re-entrant
const Synth::AudioFn* gAudio = nullptr;
bool gAborted = false;

int onSynth(short* wav, int count, espeak_EVENT*) {
    if (!wav) return 0; // end of synthesis
    if (count <= 0 || !gAudio) return 0;
    if (!(*gAudio)(reinterpret_cast<const int16_t*>(wav), static_cast<size_t>(count))) {
        gAborted = true;
        return 1;
    }
    return 0;
}

} // namespace

Synth* Synth::instance() {
    static Synth* synth = []() -> Synth* {
        // 20 ms buffers: fine enough for pause and stop to act at once.
        const int rate =
            espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 20, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (rate <= 0) {
            std::fprintf(stderr, "qvstts: espeak-ng could not be initialised\n");
            return nullptr;
        }
        espeak_SetSynthCallback(onSynth);
        if (espeak_SetVoiceByName("nl") != EE_OK) {
            std::fprintf(stderr, "qvstts: espeak-ng has no Dutch voice\n");
            return nullptr;
        }
        return new Synth(rate); // lives as long as espeak-ng's own globals
    }();
    return synth;
}

bool Synth::applyVoice(const VoiceParams& voice) {
    if (haveApplied_ && applied_ == voice) return true;
    if (!haveApplied_ || applied_.name != voice.name) {
        // Without the variant, the language's own voice; without the language, Dutch.
        const std::string language = voice.name.substr(0, voice.name.find('+'));
        if (espeak_SetVoiceByName(voice.name.c_str()) != EE_OK &&
            espeak_SetVoiceByName(language.c_str()) != EE_OK &&
            espeak_SetVoiceByName("nl") != EE_OK)
            return false;
    }
    // A voice change resets the parameters, so they are set every time.
    espeak_SetParameter(espeakRATE, voice.rate, 0);
    espeak_SetParameter(espeakPITCH, voice.pitch, 0);
    espeak_SetParameter(espeakRANGE, voice.range, 0);
    espeak_SetParameter(espeakVOLUME, 100, 0);
    applied_ = voice;
    haveApplied_ = true;
    return true;
}

bool Synth::speak(const std::string& ssml, const VoiceParams& voice, const AudioFn& onAudio) {
    std::lock_guard lock(gSynthMutex);
    if (!applyVoice(voice)) return false;
    gAudio = &onAudio;
    gAborted = false;
    const espeak_ERROR rc =
        espeak_Synth(ssml.c_str(), ssml.size() + 1, 0, POS_CHARACTER, 0,
                     espeakCHARS_UTF8 | espeakSSML | espeakENDPAUSE, nullptr, nullptr);
    gAudio = nullptr;
    return rc == EE_OK && !gAborted;
}

} // namespace qvstts
