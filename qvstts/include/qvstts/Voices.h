// The seven voices and the 0..10 levels, mapped onto espeak-ng's voices: Dutch, or one of the
// five other languages a text can be read in.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include <qvstts/qvstts.h>

namespace qvstts {

// The voice and levels texts are read with, and their language.
struct Levels : QVS_Settings {
    Levels(int voice, int tempo, int pitch, int volume, std::string language = "nl")
        : QVS_Settings{voice, tempo, pitch, volume}, language(std::move(language)) {}

    std::string language; // "nl", "en", "fr", "de", "it" or "es"
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
bool isKnownLanguage(std::string_view code);

// Brings a level into 0..10.
int clampLevel(int level);

VoiceParams voiceParams(const Levels& levels);

// The defaults QVS_GetDefaultSettings reports.
Levels defaultLevels();

} // namespace qvstts
