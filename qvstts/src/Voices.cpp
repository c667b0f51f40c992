#include <qvstts/Voices.h>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace qvstts {
namespace {

struct VoiceShape {
    int code;
    const char* variant; // espeak-ng's voice variant, put after the language
    int basePitch;       // espeak-ng pitch at level 5
    int range;
    double rateFactor; // corrects the tempo for the speed-up and the voice's character
    double speedUp;
    double trim = 1.0; // evens out loudness between voices
};

// Children get their higher formants from our speed-up, which espeak-ng cannot give; the mouse
// needs it for its pitch too, as espeak-ng tops out near 330 Hz.
constexpr VoiceShape kVoices[] = {
    {QVS_VOICE_MAN, "m3", 38, 50, 1.0, 1.0}, // low, calm
    {QVS_VOICE_WOMAN, "f2", 50, 55, 1.0, 1.0},
    {QVS_VOICE_BOY, "m3", 95, 60, 1.0 / 1.25, 1.25},
    {QVS_VOICE_GIRL, "f4", 70, 65, 1.0 / 1.2, 1.2},
    {QVS_VOICE_ROBOT, "klatt4", 45, 0, 0.95, 1.0},       // flat
    {QVS_VOICE_MOUSE, "f5", 85, 70, 1.0 / 1.35, 1.6},    // high and quick
    {QVS_VOICE_SNAKE, "whisper", 50, 40, 0.9, 1.0, 1.4}, // a hiss, softer than voiced speech
};

// The languages a text can be read in; espeak-ng's variants give every one of them the same
// seven characters.
constexpr const char* kLanguages[] = {"nl", "en", "fr", "de", "it", "es"};

const VoiceShape& shapeOf(int code) {
    for (const auto& v : kVoices)
        if (v.code == code) return v;
    return kVoices[0];
}

} // namespace

bool isKnownLanguage(std::string_view code) {
    return std::any_of(std::begin(kLanguages), std::end(kLanguages),
                       [code](const char* known) { return code == known; });
}

bool isKnownVoice(int code) {
    return std::any_of(std::begin(kVoices), std::end(kVoices),
                       [code](const VoiceShape& v) { return v.code == code; });
}

int clampLevel(int level) {
    return std::clamp(level, 0, 10);
}

VoiceParams voiceParams(const Levels& levels) {
    const VoiceShape& shape = shapeOf(levels.voice);
    const int tempo = clampLevel(levels.tempo);
    const int pitch = clampLevel(levels.pitch);
    const int volume = clampLevel(levels.volume);

    VoiceParams p;
    p.name = (isKnownLanguage(levels.language) ? levels.language : std::string("nl")) + "+" +
             shape.variant;
    // 90 wpm (slow, clear) at 0, a natural 170 at 5, a fast 370 at 10 for practised listeners.
    const int wpm = tempo <= 5 ? 90 + 16 * tempo : 170 + 40 * (tempo - 5);
    p.rate = std::max(80, static_cast<int>(std::lround(wpm * shape.rateFactor)));
    p.pitch = std::clamp(shape.basePitch + (pitch - 5) * 7, 0, 100);
    p.range = shape.range;
    // espeak-ng's own volume 100 is its loudest undistorted output; our gain runs from -24 dB at
    // 0 (soft but audible, so prompts are never lost) to +8 dB at 10, where the limiter keeps
    // peaks from clipping.
    const double db = volume <= 5 ? (volume - 5) * 4.8 : (volume - 5) * 1.6;
    p.gain = std::pow(10.0, db / 20.0) * shape.trim;
    p.speedUp = shape.speedUp;
    return p;
}

Levels defaultLevels() {
    // The man's voice, every level at its natural middle.
    return Levels(QVS_VOICE_MAN, 5, 5, 5);
}

} // namespace qvstts
