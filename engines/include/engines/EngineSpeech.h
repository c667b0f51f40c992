// The speech engine (Tolvani) as SpeechOps. How the engine's end-of-speech message reaches a
// window is the host's to say: it hands a poster, which runs on the engine's speaking thread.
#pragma once

#include <engines/EngineOps.h>
#include <engines/Tolvani.h>

namespace engines {

class EngineSpeech final : public SpeechOps {
public:
    // Registers poster with the engine for as long as this lives.
    EngineSpeech(Tolvani& engine, Tolvani::Poster poster);
    ~EngineSpeech() override;
    EngineSpeech(const EngineSpeech&) = delete;
    EngineSpeech& operator=(const EngineSpeech&) = delete;

    void Say(void* window, const std::string& text) override;
    void Pause() override;
    void Stop() override;
    void SetTempo(std::int32_t level) override;
    void SetPitch(std::int32_t level) override;
    void SetVolume(std::int32_t level) override;
    void SetVoice(std::int32_t code) override;
    void SetLanguage(const std::string& code) override;
    void GetDefaultSettings(std::int32_t& voice, std::int32_t& tempo, std::int32_t& pitch,
                            std::int32_t& volume) override;
    void Lexicon(void* owner) override;
    // QVS_Close.
    void Close();

private:
    Tolvani& engine_;
};

} // namespace engines
