// The seven voices and the 0..10 levels, mapped onto espeak-ng's Dutch voice.
#pragma once

#include <string>

namespace qvstts {

struct Levels {
    int voice = 4; // man
    int tempo = 5;
    int pitch = 5;
    int volume = 5;
};

// What one text is synthesised with.
struct VoiceParams {
    std::string name;     // espeak-ng voice with variant, e.g. "nl+m3"
    int rate = 170;       // words per minute before speedUp
    int pitch = 50;       // espeak-ng base pitch 0..100
    int range = 50;       // espeak-ng pitch range 0..100 (0 is monotone)
    double gain = 1.0;    // linear gain applied after synthesis, with a soft limiter
    double speedUp = 1.0; // playback speed-up of our own (raises pitch and formants)

    bool operator==(const VoiceParams&) const = default;
};

bool isKnownVoice(int code);

// Brings a level into 0..10.
int clampLevel(int level);

VoiceParams voiceParams(const Levels& levels);

// The defaults QVS_GetDefaultSettings reports.
Levels defaultLevels();

} // namespace qvstts
