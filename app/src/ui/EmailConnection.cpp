#include "EmailConnection.h"

#include "Trace.h"

namespace brevon {

TformEmailConnection::TformEmailConnection(ReadingState& state, ShellOps& shell, SpeechOps& speech)
    : QWidget(nullptr), state_(state), shell_(shell), speech_(speech), speechTarget_(this) {
    setObjectName("formEmailConnection");
}

void TformEmailConnection::CheckMail() {
    Trace("CheckMail");
}
void TformEmailConnection::PlayMessage() {
    Trace("PlayMessage");
}
void TformEmailConnection::PauseReading() {
    Trace("PauseReading");
}
void TformEmailConnection::StopReading() {
    Trace("StopReading");
}
void TformEmailConnection::PreviousMessage() {
    Trace("PreviousMessage");
}
void TformEmailConnection::NextMessage() {
    Trace("NextMessage");
}

void TformEmailConnection::StopSpeaking() {
    speech_.Stop();
    state_.ReadingHeaders = false;
    state_.ReadingBody = false;
}

void TformEmailConnection::SetOnline(bool online) {
    Trace(online ? "SetOnline on" : "SetOnline off");
    state_.Online = online;
    shell_.ToggleOnline(online);
    shell_.SetMailTimer(online);
}

void TformEmailConnection::BodySpoken() {}

} // namespace brevon
