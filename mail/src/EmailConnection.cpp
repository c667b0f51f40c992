#include <mail/EmailConnection.h>

namespace brevon {

EmailConnection::EmailConnection(Parts parts)
    : context_(std::move(parts.context)), session_(context_),
      spokenText_(context_, session_, parts.languageCheck, parts.preprocessor, parts.clock),
      reading_(context_, spokenText_, parts.headerWindow, parts.readingWindow),
      check_(context_, session_, reading_, std::move(parts.dataFolder)) {}

// While a session is open the client lets the shell run; whatever would start a second
// conversation with the server, or change the list under the check, waits until it is over.

void EmailConnection::CheckMail() {
    if (!session_.IsOpen()) check_.CheckMail();
}

void EmailConnection::PlayMessage() {
    if (!session_.IsOpen()) reading_.PlayMessage();
}

void EmailConnection::PauseReading() {
    reading_.PauseReading();
}

void EmailConnection::StopReading() {
    reading_.StopReading();
}

void EmailConnection::PreviousMessage() {
    if (!session_.IsOpen()) reading_.PreviousMessage();
}

void EmailConnection::NextMessage() {
    if (!session_.IsOpen()) reading_.NextMessage();
}

void EmailConnection::ReadAll() {
    if (!session_.IsOpen()) reading_.ReadAll();
}

void EmailConnection::NextParagraph() {
    reading_.StepParagraph(1);
}

void EmailConnection::PreviousParagraph() {
    reading_.StepParagraph(-1);
}

void EmailConnection::StopSpeaking() {
    reading_.StopSpeaking();
}

void EmailConnection::SetOnline(bool online) {
    check_.SetOnline(online);
}

void EmailConnection::BodySpoken() {
    reading_.BodySpoken();
}

} // namespace brevon
