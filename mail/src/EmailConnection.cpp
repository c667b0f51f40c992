#include <mail/EmailConnection.h>

namespace brevon {

EmailConnection::EmailConnection(Parts parts)
    : onCommand_(std::move(parts.onCommand)), context_(std::move(parts.context)),
      session_(context_),
      spokenText_(context_, session_, parts.languageCheck, parts.preprocessor, parts.clock),
      reading_(context_, spokenText_, parts.headerWindow, parts.readingWindow),
      check_(context_, session_, reading_, std::move(parts.dataFolder)) {}

// While a session is open the client lets the shell run; whatever would start a second
// conversation with the server, or change the list under the check, waits until it is over.

void EmailConnection::CheckMail() {
    Note("CheckMail");
    if (!session_.IsOpen()) check_.CheckMail();
}

void EmailConnection::PlayMessage() {
    Note("PlayMessage");
    if (!session_.IsOpen()) reading_.PlayMessage();
}

void EmailConnection::PauseReading() {
    Note("PauseReading");
    reading_.PauseReading();
}

void EmailConnection::StopReading() {
    Note("StopReading");
    reading_.StopReading();
}

void EmailConnection::PreviousMessage() {
    Note("PreviousMessage");
    if (!session_.IsOpen()) reading_.PreviousMessage();
}

void EmailConnection::NextMessage() {
    Note("NextMessage");
    if (!session_.IsOpen()) reading_.NextMessage();
}

void EmailConnection::ReadAll() {
    Note("ReadAll");
    if (!session_.IsOpen()) reading_.ReadAll();
}

void EmailConnection::NextParagraph() {
    Note("NextParagraph");
    reading_.StepParagraph(1);
}

void EmailConnection::PreviousParagraph() {
    Note("PreviousParagraph");
    reading_.StepParagraph(-1);
}

void EmailConnection::StopSpeaking() {
    reading_.StopSpeaking();
}

void EmailConnection::SetOnline(bool online) {
    Note(online ? "SetOnline on" : "SetOnline off");
    check_.SetOnline(online);
}

void EmailConnection::BodySpoken() {
    Note("Body spoken");
    reading_.BodySpoken();
}

void EmailConnection::AbortSession() {
    Note("AbortSession");
    session_.Abort();
}

void EmailConnection::Note(std::string_view command) const {
    if (onCommand_) onCommand_(command);
}

} // namespace brevon
