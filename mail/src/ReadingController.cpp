#include <mail/ReadingController.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include <mail/MailCheck.h>
#include <mail/SenderSubject.h>
#include <mail/SpokenText.h>

namespace brevon {

ReadingController::ReadingController(MailContext& context, SpokenText& spokenText,
                                     void* headerWindow, void* readingWindow)
    : ctx_(context), spokenText_(spokenText), headerWindow_(headerWindow),
      readingWindow_(readingWindow) {}

void ReadingController::Say(Spoken kind, const std::string& text) {
    lastSaid_ = kind;
    if (kind == Spoken::Header) {
        paragraphs_.clear();
        ++headersSaid_;
        ctx_.speech.Say(headerWindow_, text);
    } else {
        ++bodiesSaid_;
        ctx_.speech.Say(readingWindow_, text);
    }
}

void ReadingController::SetStepButtons() {
    const ReadingState& state = ctx_.state;
    const int last = static_cast<int>(state.KnownHeaders.size()) - 1;
    ctx_.shell.SetButtonState("back", state.CurrentIndex > 0);
    ctx_.shell.SetButtonState("forw", state.CurrentIndex < last);
}

void ReadingController::SpeakingEnded() {
    if (speakingEnded_) speakingEnded_();
}

void ReadingController::ListChanged(const std::vector<std::string>& before, int currentBefore) {
    ReadingState& state = ctx_.state;
    // Where each id stands now; the n-th copy of an id goes to its n-th copy.
    std::unordered_map<std::string, std::vector<int>> now;
    for (std::size_t i = 0; i < state.KnownIds.size(); ++i)
        now[state.KnownIds[i]].push_back(static_cast<int>(i));
    const auto movedTo = [&](int position) {
        if (position < 0 || position >= static_cast<int>(before.size())) return -1;
        const std::string& id = before[position];
        const auto copy =
            static_cast<std::size_t>(std::count(before.begin(), before.begin() + position, id));
        const auto found = now.find(id);
        if (found == now.end() || copy >= found->second.size()) return -1;
        return found->second[copy];
    };
    const int current = movedTo(currentBefore);
    state.CurrentIndex = current >= 0 ? current : currentBefore;
    state.ClampCurrentIndex();
    // A message of the sequence that left the list is skipped (-1).
    for (int& position : state.NewPositions)
        position = movedTo(position);
    if (state.ReadingHeaders) SetStepButtons();
}

void ReadingController::StartHeaderSequence(std::string announcement) {
    ReadingState& state = ctx_.state;
    std::vector<std::string>& unheard = state.UnheardIds;
    // Ids that left the list are forgotten, so the record stays the size of the list.
    std::erase_if(unheard, [&](const std::string& id) {
        return std::find(state.KnownIds.begin(), state.KnownIds.end(), id) == state.KnownIds.end();
    });
    for (const int position : state.NewPositions) {
        if (position < 0 || position >= static_cast<int>(state.KnownIds.size())) continue;
        const std::string& id = state.KnownIds[static_cast<std::size_t>(position)];
        if (std::find(unheard.begin(), unheard.end(), id) == unheard.end()) unheard.push_back(id);
    }
    announcement_ = std::move(announcement);
    sequenceStep_ = 0;
    ctx_.state.InHeaderSequence = true;
    ReadNextHeader();
}

void ReadingController::ReadNextHeader() {
    ReadingState& state = ctx_.state;
    while (sequenceStep_ < state.NewPositions.size() && state.NewPositions[sequenceStep_] < 0)
        ++sequenceStep_;
    if (state.InHeaderSequence && sequenceStep_ < state.NewPositions.size()) {
        state.CurrentIndex = state.NewPositions[sequenceStep_];
        SpeakHeader();
        ctx_.shell.UpdateHints();
        return;
    }
    const bool sequenceDone = state.InHeaderSequence;
    if (state.InHeaderSequence && state.NewPositions.size() == 1) ctx_.shell.StartHeaderTimer();
    // Play then reads the first of the messages just announced.
    const auto first = std::find_if(state.NewPositions.begin(), state.NewPositions.end(),
                                    [](int position) { return position >= 0; });
    state.CurrentIndex = first == state.NewPositions.end() ? 0 : *first;
    state.ClampCurrentIndex();
    state.NewCount = 0;
    state.NewPositions.clear();
    SetStepButtons();
    ctx_.shell.SetButtonState("stop", false);
    ctx_.shell.SetButtonState("pauze", false);
    ctx_.shell.SetButtonState("play", true);
    state.ReadingHeaders = false;
    state.InHeaderSequence = false;
    ctx_.shell.SetMailTimer(state.Online);
    ctx_.shell.UpdateHints();
    // An announcement heard to its end (not stopped) goes straight on to the messages.
    if (sequenceDone && ctx_.settings().ReadNewAtOnce) {
        StartRun();
        if (running_) return;
    }
    SpeakingEnded();
}

void ReadingController::SpeakHeader() {
    ReadingState& state = ctx_.state;
    state.ReadingHeaders = true;
    // A reading cut off by back or forward is over; its late end report will be ignored.
    state.ReadingBody = false;
    std::string text;
    if (state.CurrentIndex >= 0 &&
        state.CurrentIndex < static_cast<int>(state.KnownHeaders.size())) {
        ctx_.shell.SetMailTimer(false);
        text = announcement_ +
               HeaderSentence(state.CurrentIndex + 1, state.KnownHeaders[state.CurrentIndex]);
        announcement_.clear();
    }
    SetStepButtons();
    ctx_.shell.SetButtonState("stop", true);
    ctx_.shell.SetButtonState("pauze", true);
    ctx_.shell.SetButtonState("play", false);
    ctx_.shell.StopHeaderTimer();
    Say(Spoken::Header, text);
}

void ReadingController::HeaderSpoken() {
    ++headersEnded_;
    if (headersEnded_ > headersSaid_) headersEnded_ = headersSaid_; // a report nobody asked for
    if (lastSaid_ != Spoken::Header || headersEnded_ != headersSaid_) return;
    ReadingState& state = ctx_.state;
    state.Paused = false;
    paused_ = Spoken::Nothing;
    if (state.InHeaderSequence) {
        ++sequenceStep_;
        ReadNextHeader();
        return;
    }
    state.ReadingHeaders = false;
    ctx_.shell.SetMailTimer(state.Online);
    ctx_.shell.SetButtonState("play", state.MessageCount > 0);
    ctx_.shell.SetButtonState("stop", false);
    ctx_.shell.SetButtonState("pauze", false);
    ctx_.shell.StartHeaderTimer();
    SpeakingEnded();
}

void ReadingController::BodySpoken() {
    ++bodiesEnded_;
    if (bodiesEnded_ > bodiesSaid_) bodiesEnded_ = bodiesSaid_;
    if (lastSaid_ != Spoken::Body || bodiesEnded_ != bodiesSaid_) return;
    ReadingState& state = ctx_.state;
    state.Paused = false;
    paused_ = Spoken::Nothing;
    if (running_ && !closing_) {
        ++runStep_;
        ReadRunStep(kNextMessageSentence + std::string("\r"));
        if (!running_) SpeakingEnded();
        return;
    }
    running_ = false;
    closing_ = false;
    paragraphs_.clear();
    state.ReadingBody = false;
    ctx_.shell.SetMailTimer(state.Online);
    SetStepButtons();
    ctx_.shell.SetButtonState("play", state.MessageCount > 0 || state.Online);
    ctx_.shell.SetButtonState("pauze", false);
    ctx_.shell.SetButtonState("stop", false);
    ctx_.shell.StartHeaderTimer();
    SpeakingEnded();
}

void ReadingController::GoActiveState() {
    const ReadingState& state = ctx_.state;
    // An empty mailbox leaves the old list in place (a server that briefly shows nothing must
    // not make all mail new again), but there is nothing to step through then.
    const bool any = state.MessageCount > 0;
    const int last = static_cast<int>(state.KnownHeaders.size()) - 1;
    ctx_.shell.SetButtonState("back", any && state.CurrentIndex > 0);
    ctx_.shell.SetButtonState("forw", any && state.CurrentIndex < last);
    ctx_.shell.SetButtonState("play", any);
    ctx_.shell.UpdateHints();
    ctx_.shell.SetMailTimer(state.Online);
}

void ReadingController::PlayMessage() {
    if (!ctx_.shell.ButtonEnabled("play")) return;
    ReadingState& state = ctx_.state;
    state.NewTotal = 0;
    ctx_.shell.SetMailTimer(false);
    ctx_.shell.UpdateHints();
    if (state.Paused) {
        // Resumes what pause held: a header sentence stays a header sentence.
        ctx_.speech.Pause();
        state.Paused = false;
        if (paused_ == Spoken::Body) state.ReadingBody = true;
        paused_ = Spoken::Nothing;
        ctx_.shell.SetButtonState("play", false);
        ctx_.shell.SetButtonState("stop", true);
        ctx_.shell.SetButtonState("pauze", true);
        return;
    }
    state.ReadingBody = true;
    ctx_.shell.SetButtonState("all", false);
    ctx_.window.SetBusyCursor(true);
    std::optional<MessageSpeech> speech = spokenText_.PrepareMessageText(state.CurrentIndex + 1);
    ctx_.window.SetBusyCursor(false);
    if (!speech) {
        // The failure has been spoken; there is nothing more to say.
        state.ReadingBody = false;
        GoActiveState();
        return;
    }
    MarkHeard(state.CurrentIndex);
    ctx_.shell.SetButtonState("play", false);
    ctx_.shell.SetButtonState("pauze", true);
    ctx_.shell.SetButtonState("stop", true);
    SayPrepared(std::move(*speech), {});
}

namespace {

// The text cut after each run of blank lines; the pieces put together give the text back.
std::vector<std::string> Paragraphs(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t at = text.find("\r\n\r\n"); at != std::string::npos;
         at = text.find("\r\n\r\n", start)) {
        std::size_t end = at + 4;
        while (text.compare(end, 2, "\r\n") == 0)
            end += 2;
        out.push_back(text.substr(start, end - start));
        start = end;
    }
    if (start < text.size() || out.empty()) out.push_back(text.substr(start));
    return out;
}

// What is said: lead, then the header sentence on a line of its own, then text.
std::string Introduced(std::string_view lead, std::string_view header, std::string text) {
    if (lead.empty() && header.empty()) return text;
    std::string said;
    said.reserve(lead.size() + header.size() + 1 + text.size());
    said.append(lead);
    if (!header.empty()) said.append(header).append("\r");
    said.append(text);
    return said;
}

} // namespace

void ReadingController::SayPrepared(MessageSpeech speech, const std::string& lead) {
    paragraphs_.clear();
    if (ctx_.settings().ReadByParagraph) {
        if (speech.language.empty()) {
            paragraphs_ = Paragraphs(Introduced(lead, speech.header, std::move(speech.body)));
        } else {
            ctx_.speech.Say(nullptr, Introduced(lead, speech.header, std::move(speech.leadIn)));
            paragraphs_ = Paragraphs(speech.body);
        }
        paragraphLanguage_ = speech.language;
        SayParagraphsFrom(0);
        return;
    }
    if (speech.language.empty()) {
        Say(Spoken::Body, Introduced(lead, speech.header, std::move(speech.body)));
        return;
    }
    // The Dutch lead-in needs no end report: the body's end closes the reading, and stop cuts
    // both off.
    ctx_.speech.Say(nullptr, Introduced(lead, speech.header, std::move(speech.leadIn)));
    ctx_.speech.SetLanguage(speech.language);
    Say(Spoken::Body, speech.body);
    ctx_.speech.SetLanguage("nl");
}

void ReadingController::SayParagraphsFrom(std::size_t first) {
    batchFirst_ = first;
    batchBase_ = bodiesSaid_;
    if (!paragraphLanguage_.empty()) ctx_.speech.SetLanguage(paragraphLanguage_);
    for (std::size_t i = first; i < paragraphs_.size(); ++i)
        Say(Spoken::Body, paragraphs_[i]);
    if (!paragraphLanguage_.empty()) ctx_.speech.SetLanguage("nl");
}

std::size_t ReadingController::CurrentParagraph() const {
    const std::uint64_t ended = bodiesEnded_ > batchBase_ ? bodiesEnded_ - batchBase_ : 0;
    return std::min(batchFirst_ + static_cast<std::size_t>(ended), paragraphs_.size() - 1);
}

void ReadingController::StepParagraph(int step) {
    ReadingState& state = ctx_.state;
    if (paragraphs_.empty() || lastSaid_ != Spoken::Body || !state.ReadingBody) return;
    const std::size_t current = CurrentParagraph();
    std::size_t to = current;
    if (step > 0) {
        if (current + 1 >= paragraphs_.size()) return;
        to = current + 1;
    } else if (current > 0) {
        to = current - 1;
    }
    // What is cut off reports its ends; they come before the new ones and count for nothing.
    ctx_.speech.Stop();
    if (state.Paused) {
        state.Paused = false;
        paused_ = Spoken::Nothing;
        ctx_.shell.SetButtonState("play", false);
        ctx_.shell.SetButtonState("pauze", true);
    }
    SayParagraphsFrom(to);
}

void ReadingController::MarkHeard(int position) {
    ReadingState& state = ctx_.state;
    if (position < 0 || position >= static_cast<int>(state.KnownIds.size())) return;
    std::erase(state.UnheardIds, state.KnownIds[static_cast<std::size_t>(position)]);
}

void ReadingController::ReadAll() {
    if (!ctx_.shell.ButtonEnabled("play")) return;
    if (ctx_.state.Paused) {
        PlayMessage();
        return;
    }
    if (!StartRun()) ctx_.speech.Say(nullptr, kNoNewMailSentence);
}

bool ReadingController::StartRun() {
    ReadingState& state = ctx_.state;
    // In list order, as the announcement named them.
    std::vector<std::pair<std::size_t, std::string>> listed;
    for (const std::string& id : state.UnheardIds) {
        const auto at = std::find(state.KnownIds.begin(), state.KnownIds.end(), id);
        if (at != state.KnownIds.end())
            listed.emplace_back(static_cast<std::size_t>(at - state.KnownIds.begin()), id);
    }
    std::sort(listed.begin(), listed.end());
    run_.clear();
    for (auto& [position, id] : listed)
        run_.push_back(std::move(id));
    runStep_ = 0;
    closing_ = false;
    running_ = !run_.empty();
    if (!running_) return false;
    state.NewTotal = 0;
    ReadRunStep({});
    return true;
}

void ReadingController::ReadRunStep(const std::string& lead) {
    ReadingState& state = ctx_.state;
    ctx_.shell.SetMailTimer(false);
    state.ReadingBody = true;
    for (; runStep_ < run_.size(); ++runStep_) {
        const auto at = std::find(state.KnownIds.begin(), state.KnownIds.end(), run_[runStep_]);
        if (at == state.KnownIds.end()) continue; // gone from the list since the run began
        const int position = static_cast<int>(at - state.KnownIds.begin());
        state.CurrentIndex = position;
        ctx_.shell.UpdateHints();
        ctx_.shell.SetButtonState("all", false);
        // The end report of a text that back or forward cut off can come while the server
        // answers; it belongs to no text of the run.
        lastSaid_ = Spoken::Nothing;
        ctx_.window.SetBusyCursor(true);
        std::optional<MessageSpeech> speech = spokenText_.PrepareMessageText(position + 1, true);
        ctx_.window.SetBusyCursor(false);
        if (!speech) {
            // The failure has been spoken; the rest waits for another run.
            running_ = false;
            state.ReadingBody = false;
            GoActiveState();
            return;
        }
        MarkHeard(position);
        ctx_.shell.SetButtonState("play", false);
        ctx_.shell.SetButtonState("pauze", true);
        ctx_.shell.SetButtonState("stop", true);
        ctx_.shell.SetButtonState("back", true);
        ctx_.shell.SetButtonState("forw", true);
        SayPrepared(std::move(*speech), lead);
        return;
    }
    closing_ = true;
    paragraphs_.clear();
    ctx_.shell.SetButtonState("play", false);
    ctx_.shell.SetButtonState("pauze", true);
    ctx_.shell.SetButtonState("stop", true);
    ctx_.shell.SetButtonState("back", !run_.empty());
    ctx_.shell.SetButtonState("forw", false);
    Say(Spoken::Body, kAllNewReadSentence);
}

void ReadingController::StepRun(int step) {
    ctx_.speech.Stop();
    ctx_.state.Paused = false;
    paused_ = Spoken::Nothing;
    if (closing_) {
        // Back from the closing sentence reads the last message again.
        closing_ = false;
        runStep_ = run_.size();
    }
    if (step < 0)
        runStep_ = runStep_ > 0 ? runStep_ - 1 : 0;
    else
        ++runStep_;
    ReadRunStep({});
}

void ReadingController::PauseReading() {
    if (!ctx_.shell.ButtonEnabled("pauze")) return;
    ctx_.speech.Pause();
    ctx_.state.Paused = true;
    paused_ = lastSaid_;
    ctx_.shell.SetButtonState("pauze", false);
    ctx_.shell.SetButtonState("play", true);
    // A pause may last for days: mail checks go on meanwhile (MailCheck keeps them silent).
    ctx_.shell.SetMailTimer(ctx_.state.Online);
}

void ReadingController::StopReading() {
    if (!ctx_.shell.ButtonEnabled("stop")) return;
    running_ = false;
    closing_ = false;
    ctx_.state.NewTotal = 0;
    ctx_.state.InHeaderSequence = false;
    StopSpeaking();
}

void ReadingController::StopSpeaking() {
    ctx_.speech.Stop();
    ctx_.state.Paused = false;
    paused_ = Spoken::Nothing;
}

void ReadingController::PreviousMessage() {
    ReadingState& state = ctx_.state;
    if (running_) {
        if (ctx_.shell.ButtonEnabled("back")) StepRun(-1);
        return;
    }
    if (state.CurrentIndex <= 0 || !ctx_.shell.ButtonEnabled("back")) return;
    state.NewTotal = 0;
    StopReading();
    --state.CurrentIndex;
    state.ClampCurrentIndex();
    ctx_.shell.UpdateHints();
    SpeakHeader();
}

void ReadingController::NextMessage() {
    ReadingState& state = ctx_.state;
    if (running_) {
        if (ctx_.shell.ButtonEnabled("forw")) StepRun(1);
        return;
    }
    if (state.CurrentIndex >= static_cast<int>(state.KnownHeaders.size()) - 1 ||
        !ctx_.shell.ButtonEnabled("forw"))
        return;
    state.NewTotal = 0;
    StopReading();
    ++state.CurrentIndex;
    state.ClampCurrentIndex();
    ctx_.shell.UpdateHints();
    SpeakHeader();
}

} // namespace brevon
