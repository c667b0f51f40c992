// Spoken text composition: what is said when a message is read. The header sentence, a
// calendar invitation rewritten into one Dutch sentence, or the body through the language gate
// and the text preprocessor's three engines.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <mail/MailContext.h>

namespace korp {
class TKorpMsg;
}

namespace brevon {

class Clock;
class MailSession;

inline constexpr const char* kGoneSentence =
    "Dit \\-bericht is \\+niet \\-meer op de \\-server aanwezig";
inline constexpr const char* kNoTextSentence = "Dit \\-bericht \\-bevat \\+geen tekst";
inline constexpr const char* kTooLargeSentence = "Dit \\-bericht is te \\+groot om voor te lezen";
// Text beyond this is not read: some seventeen hours of speech, and the preprocessor's memory
// grows with the text.
inline constexpr std::size_t kMaxSpokenText = 1024 * 1024;
inline constexpr const char* kNotDutchSentence =
    "dit \\-bericht is \\-waarschijnlijk \\+niet in het Nederlands \\-gesteld";

// A calendar invitation ("When:" on one line and "Where:" two lines further) as one sentence:
// "Wanneer: Dinsdag 14 Maart 2000 van 10:00 AM tot 11:00 AM. Plaats: Room 5". False when the
// lines hold no invitation.
bool RewriteInvitation(const std::vector<std::string>& lines, std::string& sentence);

// The Dutch sentence said before a body read in another language ("en", "fr", "de", "it",
// "es"); empty for any other code.
std::string_view LeadInSentence(std::string_view language);

// The body, one text, as it is to be spoken: cleaned (leaving quoted text
// out with "SkipReply"), refused with a sentence when the language gate says the cleaned text is
// not Dutch ("UseLid"; the body as given when cleaning fails), otherwise its paragraphs restored
// and its numbers written out. languageCheck may be null (no gate). The text comes back with
// each of its lines ended by CR LF (WithLineEnds).
//
// With ReadInOwnLanguage the cleaned body is classified once: in English, French, German,
// Italian or Spanish it is read in that language (its code goes to *language) and its numbers
// are left to that language's voice; in Dutch, too short to judge or without a library it is
// read as above; with "UseLid" a body in none of the six is refused. *language is left empty
// for a Dutch reading.
std::string PrepareBodyText(std::string body, const MailSettings& settings,
                            const LanguageCheckOps* languageCheck, PreprocessorOps& preprocessor,
                            std::string* language = nullptr);

// The text with each of its lines ended by CR LF, as the speech engine is given it: a lone CR
// or LF becomes CR LF, and a last line without an end gets one. An empty text stays empty.
std::string WithLineEnds(std::string text);

// What is to be said for one message.
struct MessageSpeech {
    std::string header;   // the header sentence; empty when it is not said
    std::string leadIn;   // said in Dutch before a body in another language; else empty
    std::string body;     // the text, with the attachments after it in a Dutch reading
    std::string language; // the body's language code ("en", ...); empty: Dutch
};

class SpokenText {
public:
    // clock: now and the user's zone, for the arrival time; null: the system's.
    SpokenText(MailContext& context, MailSession& session, const LanguageCheckOps* languageCheck,
               PreprocessorOps& preprocessor, const Clock* clock = nullptr);

    // Fetches the message at list position k (1-based) and returns what is to be said: its
    // header sentence when ReadWithHeader is set, then its text. Nothing when no session could
    // be had or it broke: the reason has then been spoken already.
    std::optional<MessageSpeech> PrepareMessageText(int position);
    // The same with the header sentence said or left out as withHeader asks.
    std::optional<MessageSpeech> PrepareMessageText(int position, bool withHeader);

private:
    // The message at a list position as the server holds it now.
    struct Found {
        int number = 0;                          // its number on the server; 0: no longer there
        std::string header;                      // its header as listed
        std::unique_ptr<korp::TKorpMsg> message; // null when gone, too large or failed
    };
    // Finds and fetches the message; false when the session failed (said already). Closes the
    // session either way.
    bool FindMessage(int position, const MailSettings& settings, Found& found);
    // What is to be said for a message found.
    MessageSpeech ComposeMessage(int position, bool withHeader, const MailSettings& settings,
                                 Found& found);

    MailContext& ctx_;
    MailSession& session_;
    const LanguageCheckOps* languageCheck_;
    PreprocessorOps& preprocessor_;
    const Clock& clock_;
};

} // namespace brevon
