// What the engines offer the mail side, as interfaces: the mail side is written against these,
// the program hands it the adapters of this library, and tests hand it fakes.
#pragma once

#include <cstdint>
#include <string>

namespace engines {

// The speech engine as the program uses it. A window is the object that gets the engine's
// end-of-speech message (null: nobody is told); every text said with a window gets exactly one
// end, in the order the texts were said, also when Stop cut it off. Texts are Windows-1252
// with the engine's stress marks.
class SpeechOps {
public:
    virtual ~SpeechOps() = default;
    virtual void Say(void* window, const std::string& text) = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    virtual void SetTempo(std::int32_t level) = 0;
    virtual void SetPitch(std::int32_t level) = 0;
    virtual void SetVolume(std::int32_t level) = 0;
    virtual void SetVoice(std::int32_t code) = 0;
    // Texts said from now on are read in this language: "nl" (the default), "en", "fr", "de",
    // "it" or "es"; the voice keeps its character.
    virtual void SetLanguage(const std::string& code) = 0;
    // Voice, tempo, pitch and volume as the engine would choose them.
    virtual void GetDefaultSettings(std::int32_t& voice, std::int32_t& tempo, std::int32_t& pitch,
                                    std::int32_t& volume) = 0;
    // The engine's word-list editor, modal over owner.
    virtual void Lexicon(void* owner) = 0;
};

// The text preprocessor's three engines, each as one step: the length the engine reported and
// its text. A negative length means the engine failed and its text is not to be used.
class PreprocessorOps {
public:
    struct Result {
        std::int32_t length = -1;
        std::string text;
    };
    virtual ~PreprocessorOps() = default;
    // Schoonmaken, leaving out quoted text when skipQuoted is set. Length 0: nothing speakable.
    virtual Result Clean(const std::string& text, bool skipQuoted) = 0;
    // AlineaHerstellen.
    virtual Result RestoreParagraphs(const std::string& text) = 0;
    // NumberSolver.
    virtual Result SolveNumbers(const std::string& text) = 0;
};

} // namespace engines
