// Binding to the Tolvani speech engine (qvstts). The program holds one Tolvani for its whole
// run: creating it readies the engine, destroying it stops and closes the engine once more
// after the shutdown's own stop and close.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <qvstts/qvstts.h>

namespace engines {

// The message the engine posts to a window when the speech it was given has ended.
inline constexpr uint32_t MM_WOM_CLOSE = 0x3BC;

class Tolvani {
public:
    // How a window is told MM_WOM_CLOSE. Called on the engine's speaking thread: it must queue
    // the message for the UI thread (e.g. a posted event) and return at once.
    using Poster = std::function<void(void* window, uint32_t message)>;

    // QVS_Init(0xA2000).
    Tolvani();
    // QVS_Stop, then QVS_Close; unregisters the poster.
    ~Tolvani();
    Tolvani(const Tolvani&) = delete;
    Tolvani& operator=(const Tolvani&) = delete;

    // Registers how window handles are posted to; replaces an earlier poster.
    void setPoster(Poster poster);

    // Texts are Windows-1252 and may carry CRs and the stress marks "\+" and "\-".
    void say(void* window, const std::string& text);
    void pause();
    void stop();
    void close();
    void setTempo(int32_t level);
    void setPitch(int32_t level);
    void setVolume(int32_t level);
    void setVoice(int32_t code);
    // Later texts are read in this language ("nl", "en", "fr", "de", "it", "es").
    void setLanguage(const std::string& code);
    QVS_Settings defaultSettings() const;
    void lexicon(void* owner);
};

} // namespace engines
