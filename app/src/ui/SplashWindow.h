// The splash window: one picture, shown while the greeting is spoken, hidden after five seconds
// at most; the end of the greeting releases it and lets the program run.
#pragma once

#include <functional>

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <mail/ReadingState.h>
#include <mail/Seams.h>

#include "Speech.h"

namespace brevon {

class TfrmSplash final : public QWidget {
    Q_OBJECT
public:
    // Starts the greeting for that local hour. afterGreeting runs once the greeting has been
    // spoken, after the splash has been released.
    TfrmSplash(ReadingState& state, SpeechOps& speech, int hour,
               std::function<void()> afterGreeting);
    ~TfrmSplash() override;

    QLabel* Image1 = nullptr;
    QTimer* tmrSplash = nullptr;

protected:
    bool event(QEvent* event) override;

private:
    ReadingState& state_;
    SpeechTarget speechTarget_;
    std::function<void()> afterGreeting_;
};

} // namespace brevon
