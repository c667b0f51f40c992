#include <mail/SpokenText.h>

#include <array>
#include <memory>
#include <optional>
#include <string_view>

#include <korp/KorpMsg.h>
#include <korp/KorpStreams.h>
#include <korp/korp_util.h>
#include <mail/ArrivalTime.h>
#include <mail/Attachments.h>
#include <mail/MailSession.h>
#include <mail/SenderSubject.h>

namespace brevon {

namespace {

constexpr std::array<std::string_view, 7> kEnglishDays{
    "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
constexpr std::array<std::string_view, 7> kDutchDays{"Maandag", "Dinsdag",  "Woensdag", "Donderdag",
                                                     "Vrijdag", "Zaterdag", "Zondag"};
constexpr std::array<std::string_view, 12> kEnglishMonths{
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<std::string_view, 12> kDutchMonths{
    "Januari", "Februari", "Maart",     "April",   "Mei",      "Juni",
    "Juli",    "Augustus", "September", "October", "November", "December"};

// Trimmed as everywhere in the mail side, as a string of its own.
std::string Trim(std::string_view s) {
    return std::string(korp::Trim(s));
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// The trimmed text before the first separator and after it. Without a separator the whole
// text is "before" and nothing is after, so every cut is defined.
struct Parts {
    std::string before;
    std::string after;
};
Parts CutAt(std::string_view s, char separator) {
    const std::size_t at = s.find(separator);
    if (at == std::string_view::npos) return {Trim(s), std::string()};
    return {Trim(s.substr(0, at)), Trim(s.substr(at + 1))};
}

// A day or month that matches no English key keeps its own word: a listener hears something
// sensible where the tables have no Dutch name.
std::string DutchDay(const std::string& english) {
    for (std::size_t i = 0; i < kEnglishDays.size(); ++i)
        if (english == kEnglishDays[i]) return std::string(kDutchDays[i]);
    return english;
}

std::string DutchMonth(const std::string& english) {
    for (std::size_t i = 0; i < kEnglishMonths.size(); ++i)
        if (english.find(kEnglishMonths[i]) != std::string::npos)
            return std::string(kDutchMonths[i]);
    return english;
}

struct OtherLanguage {
    std::string_view code; // morvik's
    std::string_view leadIn;
};
constexpr std::array<OtherLanguage, 5> kOtherLanguages{{
    {"en", "Dit bericht is in het Engels."},
    {"fr", "Dit bericht is in het Frans."},
    {"de", "Dit bericht is in het Duits."},
    {"it", "Dit bericht is in het Italiaans."},
    {"es", "Dit bericht is in het Spaans."},
}};

// A sentence said as the one line of a text.
std::string AsLine(std::string_view sentence) {
    std::string line;
    line.reserve(sentence.size() + 2);
    line.append(sentence).append("\r\n");
    return line;
}

// True when every CR and LF in text stands in a CR LF pair.
bool OnlyCrLf(std::string_view text) {
    for (std::size_t at = text.find_first_of("\r\n"); at != std::string_view::npos;
         at = text.find_first_of("\r\n", at + 2))
        if (text.compare(at, 2, "\r\n") != 0) return false;
    return true;
}

} // namespace

std::string WithLineEnds(std::string text) {
    if (!OnlyCrLf(text)) {
        std::string ended;
        ended.reserve(text.size() + text.size() / 16 + 2);
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c != '\r' && c != '\n') {
                ended += c;
                continue;
            }
            ended += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        }
        text = std::move(ended);
    }
    if (!text.empty() && !text.ends_with("\r\n")) text += "\r\n";
    return text;
}

std::string_view LeadInSentence(std::string_view language) {
    for (const OtherLanguage& other : kOtherLanguages)
        if (other.code == language) return other.leadIn;
    return {};
}

bool RewriteInvitation(const std::vector<std::string>& lines, std::string& sentence) {
    sentence.clear();
    std::size_t i = 0;
    for (;; ++i) {
        if (i + 4 > lines.size()) return false;
        if (StartsWith(lines[i], "When:") && StartsWith(lines[i + 2], "Where:")) break;
    }
    std::string when = Trim(lines[i] + lines[i + 1]);
    const std::string where = Trim(lines[i + 2] + lines[i + 3]);

    when = Trim(std::string_view(when).substr(5));
    // The zone and its cities go; any zone, east or west of Greenwich. Without one the date
    // text is all there is, and it stays.
    if (const std::size_t zone = when.find("(GMT"); zone != std::string::npos)
        when = Trim(std::string_view(when).substr(0, zone));

    std::string datePart;
    const std::size_t comma = when.find(',');
    const std::string day =
        comma == std::string::npos ? std::string() : Trim(when.substr(0, comma));
    if (!day.empty()) {
        // Long form: "Tuesday, March 14, 2000 10:00 AM-11:00 AM".
        when = Trim(when.substr(comma + 1));
        const Parts month = CutAt(when, ' ');
        Parts date = CutAt(month.after, ',');
        if (!date.before.empty() && date.before.front() == '0') date.before.erase(0, 1);
        const Parts year = CutAt(date.after, ' ');
        const Parts times = CutAt(year.after, '-');
        datePart = "Wanneer: " + DutchDay(day) + " " + date.before + " " +
                   DutchMonth(month.before) + " " + year.before + " van " + times.before + " tot " +
                   times.after;
    } else if (const std::size_t dash = when.find('-'); dash != std::string::npos) {
        // Short form: "14-3-2000 10:00-11:00" has its start time in the five characters
        // before the dash.
        datePart = when.substr(0, dash) + " tot " + when.substr(dash + 1);
        datePart.insert(dash >= 5 ? dash - 5 : 0, " van ");
    } else {
        datePart = when;
    }
    sentence = datePart + ". Plaats: " + Trim(std::string_view(where).substr(6));
    return true;
}

std::string PrepareBodyText(std::string text, const MailSettings& settings,
                            const LanguageCheckOps* languageCheck, PreprocessorOps& preprocessor,
                            std::string* language) {
    if (language) language->clear();
    if (text.size() > kMaxSpokenText) {
        // Cut at a line end, so no word is read half.
        const std::size_t end = text.rfind("\r\n", kMaxSpokenText);
        text.resize(end == std::string::npos || end == 0 ? kMaxSpokenText : end + 2);
    }
    const bool ownLanguage = settings.ReadInOwnLanguage && languageCheck;
    PreprocessorOps::Result step = preprocessor.Clean(text, settings.SkipReply);
    // The gate judges what would be read: a style sheet or markup can outweigh a short letter
    // many times over and drown its Dutch. Quoted text left out with "SkipReply" is not judged
    // either. When cleaning fails the text is judged as it came; with nothing left to read
    // there is nothing to judge.
    if (!ownLanguage && settings.UseLid && languageCheck && step.length != 0 &&
        !languageCheck->IsDutchText(step.length > 0 ? step.text : text))
        return AsLine(kNotDutchSentence);
    if (step.length > 0)
        text = std::move(step.text);
    else if (step.length == 0)
        text = kNoTextSentence;

    std::string readIn; // empty: Dutch
    if (ownLanguage && step.length != 0) {
        // The cleaned text, so markup, quoted text and signatures do not sway the answer.
        const std::string answer = languageCheck->ClassifyLanguage(text);
        if (!LeadInSentence(answer).empty())
            readIn = answer;
        else if (settings.UseLid &&
                 (answer == "??" || (answer.empty() && !languageCheck->IsDutchText(text))))
            return AsLine(kNotDutchSentence);
    }
    step = preprocessor.RestoreParagraphs(text);
    if (step.length >= 0) text = std::move(step.text);
    // Numbers are written out in Dutch words; another language's voice reads its own.
    if (readIn.empty()) {
        step = preprocessor.SolveNumbers(text);
        if (step.length >= 0) text = std::move(step.text);
    }
    if (language) *language = readIn;
    return WithLineEnds(std::move(text));
}

SpokenText::SpokenText(MailContext& context, MailSession& session,
                       const LanguageCheckOps* languageCheck, PreprocessorOps& preprocessor,
                       const Clock* clock)
    : ctx_(context), session_(session), languageCheck_(languageCheck), preprocessor_(preprocessor),
      clock_(clock ? *clock : SystemClock()) {}

std::optional<MessageSpeech> SpokenText::PrepareMessageText(int position) {
    // As it was when play was pressed: the header window may close while the server answers.
    return PrepareMessageText(position, ctx_.state.ReadWithHeader);
}

std::optional<MessageSpeech> SpokenText::PrepareMessageText(int position, bool withHeader) {
    const MailSettings settings = ctx_.settings();
    Found found;
    if (!FindMessage(position, settings, found)) return std::nullopt;
    return ComposeMessage(position, withHeader, settings, found);
}

bool SpokenText::FindMessage(int position, const MailSettings& settings, Found& found) {
    const ReadingState& state = ctx_.state;
    if (!session_.Open(settings)) return false;

    // Which message the position holds now: the one listed there, if it is still where the
    // list says, otherwise wherever it has gone (0: no longer on the server).
    if (position >= 1 && position <= static_cast<int>(state.KnownIds.size())) {
        const std::string known = state.KnownIds[position - 1];
        if (position <= static_cast<int>(state.KnownHeaders.size()))
            found.header = state.KnownHeaders[position - 1];
        const int at = session_.NumberAt(position);
        std::optional<std::string> id;
        if (at > 0 && !(id = session_.Uidl(at))) {
            session_.Fail();
            return false;
        }
        if (id && *id == known) {
            found.number = at;
        } else {
            const std::optional<int> onServer = session_.FindOnServer(known);
            if (!onServer) {
                session_.Fail();
                return false;
            }
            found.number = *onServer;
        }
    }

    if (found.number > 0) {
        ctx_.window.SetProgressLabel("Mail Retrieve Progress (" +
                                     std::to_string(state.CurrentIndex) + ")");
        found.message = session_.Retrieve(found.number);
        if (!found.message && !session_.TooLarge() && session_.Broken()) {
            session_.Fail();
            return false;
        }
    }
    // The rest needs no server: let it go before the text is worked on.
    session_.Close();
    return true;
}

MessageSpeech SpokenText::ComposeMessage(int position, bool withHeader,
                                         const MailSettings& settings, Found& found) {
    std::unique_ptr<korp::TKorpMsg>& message = found.message;
    const std::string attachments = message && settings.SayAttachments
                                        ? AttachmentSentence(AttachmentsToSay(*message))
                                        : std::string();
    // The body is one text from here on, each of its lines ended by CR LF.
    std::string body;
    MessageSpeech speech;
    if (found.number == 0) {
        body = AsLine(kGoneSentence);
    } else if (!message && session_.TooLarge()) {
        body = AsLine(kTooLargeSentence);
    } else if (!message || message->Text.Empty()) {
        // A message that is only its attachments is said to be just that.
        body = AsLine(attachments.empty() ? std::string_view(kNoTextSentence) : attachments);
    } else {
        std::string invitation;
        if (RewriteInvitation(message->Text.Lines(), invitation))
            body = AsLine(invitation);
        else
            body = PrepareBodyText(message->Text.Text(), settings, languageCheck_, preprocessor_,
                                   &speech.language);
    }
    const bool attachmentsAfterText = !attachments.empty() && message && !message->Text.Empty();
    const std::string arrival =
        message && settings.SayArrivalTime ? ArrivalPhrase(message->Date, clock_) : std::string();
    message.reset();
    // After the text, in Dutch: a body read in another voice has them said before it, after
    // the lead-in.
    if (attachmentsAfterText && speech.language.empty()) body += AsLine(attachments);

    speech.body = std::move(body);
    if (found.number != 0 && withHeader && !found.header.empty())
        speech.header = HeaderSentence(position, found.header, arrival);
    if (!speech.language.empty()) {
        // Header and lead-in stay Dutch; the body alone goes to the other voice.
        speech.leadIn = std::string(LeadInSentence(speech.language));
        if (attachmentsAfterText) speech.leadIn += " " + attachments;
    }
    return speech;
}

} // namespace brevon
