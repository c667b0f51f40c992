// The hidden window of the mail side. Until the mail check and the reading controller are
// built, its operations change nothing but the online switch: a check leaves the buttons as
// the bar set them at creation, and there is nothing to read.
#pragma once

#include <QWidget>

#include <app/ReadingState.h>
#include <app/Shell.h>

#include "Speech.h"

namespace brevon {

class TformEmailConnection final : public QWidget, public MailOps {
    Q_OBJECT
public:
    TformEmailConnection(ReadingState& state, ShellOps& shell, SpeechOps& speech);

    void CheckMail() override;
    void PlayMessage() override;
    void PauseReading() override;
    void StopReading() override;
    void PreviousMessage() override;
    void NextMessage() override;
    void StopSpeaking() override;
    void SetOnline(bool online) override;
    void BodySpoken() override;

private:
    ReadingState& state_;
    ShellOps& shell_;
    SpeechOps& speech_;
    SpeechTarget speechTarget_;
};

} // namespace brevon
