// The reading controller: what is spoken and when. The header sequence after new mail, the
// header of a message the user steps to, the whole current message on request, and the state
// of the five reading buttons, driven by the speech engine's end-of-speech reports.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <mail/MailContext.h>

namespace brevon {

class SpokenText;
struct MessageSpeech;

// A run over the new messages: said between two messages, and after the last.
inline constexpr const char* kNextMessageSentence = "Volgende bericht.";
inline constexpr const char* kAllNewReadSentence = "Dat waren alle nieuwe berichten.";

class ReadingController {
public:
    // Header sentences are said with headerWindow, message readings with readingWindow: each
    // window's end-of-speech report comes back as HeaderSpoken or BodySpoken.
    ReadingController(MailContext& context, SpokenText& spokenText, void* headerWindow,
                      void* readingWindow);

    // After a check found new mail: the announcement, then the header sentence of each new
    // position (ReadingState::NewPositions), one after the other.
    void StartHeaderSequence(std::string announcement);
    // Buttons and mail timer as the list and the counts allow (nothing is being spoken).
    void GoActiveState();
    // A check while speech was paused replaced the list that was before (with CurrentIndex at
    // currentBefore): the current message and the rest of a paused header sequence keep
    // pointing at the same messages where they stand now.
    void ListChanged(const std::vector<std::string>& before, int currentBefore);
    // Runs each time speaking has ended with nothing paused: a header sentence said on its own,
    // a header sequence or a reading (also cut off by stop).
    void OnSpeakingEnded(std::function<void()> handler) { speakingEnded_ = std::move(handler); }

    // The five reading operations; each does nothing unless its button is enabled.
    void PlayMessage();
    void PauseReading();
    void StopReading();
    void PreviousMessage();
    void NextMessage();
    void StopSpeaking();
    // Reads every message not heard since a check found it new (ReadingState::UnheardIds), in
    // list order: header sentence and text, kNextMessageSentence between two, and
    // kAllNewReadSentence after the last. Each is fetched when its turn comes. Pause, stop,
    // back and forward work within the run (back at its first message reads it again; forward
    // at its last ends it); stop ends it. With nothing unheard it says so. While paused it
    // resumes, as play does.
    void ReadAll();
    // With ReadByParagraph, while a body is read: step paragraphs forward (1) or back (-1) and
    // read from the start of the one reached; back at the first reads it again, forward at the
    // last does nothing. A pause ends: the new place is read at once.
    void StepParagraph(int step);

    // The end-of-speech reports of the two windows. A report for a text that is no longer the
    // current one (cut off by stop while back or forward started the next header) is ignored.
    void HeaderSpoken();
    void BodySpoken();

private:
    enum class Spoken { Nothing, Header, Body };
    void ReadNextHeader();
    void SpeakHeader();
    void Say(Spoken kind, const std::string& text);
    void SetStepButtons();
    void SpeakingEnded();
    // Puts a prepared message (and a lead-in for another language) to the engine, lead in
    // front of it.
    void SayPrepared(MessageSpeech speech, const std::string& lead);
    // False when there is nothing unheard to read.
    bool StartRun();
    // Reads the run's message at runStep_ (skipping those that left the list), or closes the
    // run after its last one.
    void ReadRunStep(const std::string& lead);
    void StepRun(int step);
    void MarkHeard(int position);
    // Says paragraphs_ from the one at first on, queued, each with the reading window.
    void SayParagraphsFrom(std::size_t first);
    std::size_t CurrentParagraph() const;

    MailContext& ctx_;
    SpokenText& spokenText_;
    void* headerWindow_;
    void* readingWindow_;
    std::string announcement_;
    std::size_t sequenceStep_ = 0;
    std::function<void()> speakingEnded_;
    // What was said last, what pause held, and how many texts of each window were said and
    // reported ended: an end is current only when it is the last said text's own.
    Spoken lastSaid_ = Spoken::Nothing;
    Spoken paused_ = Spoken::Nothing;
    std::uint64_t headersSaid_ = 0;
    std::uint64_t headersEnded_ = 0;
    std::uint64_t bodiesSaid_ = 0;
    std::uint64_t bodiesEnded_ = 0;
    // The run of ReadAll: the ids to read, the one being read, and whether its closing
    // sentence is being said.
    bool running_ = false;
    bool closing_ = false;
    std::vector<std::string> run_;
    std::size_t runStep_ = 0;
    // A body said paragraph by paragraph: its paragraphs (with what goes before the first),
    // their language, the first of those said last, and bodiesSaid_ before them: the ends
    // reported since tell which paragraph is being said.
    std::vector<std::string> paragraphs_;
    std::string paragraphLanguage_;
    std::size_t batchFirst_ = 0;
    std::uint64_t batchBase_ = 0;
};

} // namespace brevon
