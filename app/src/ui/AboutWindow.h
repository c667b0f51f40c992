// The about window: a picture, the spoken credits and an OK button, modal while it exists.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <mail/Seams.h>

namespace brevon {

class TfrmAbout final : public QDialog {
    Q_OBJECT
public:
    // Creates the window, speaks the credits and shows it modally; returns when it has closed.
    static void Run(SpeechOps& speech);

    QLabel* Image1 = nullptr;
    QPushButton* Button1 = nullptr;

protected:
    void done(int result) override;

private:
    explicit TfrmAbout(SpeechOps& speech);
    SpeechOps& speech_;
};

// What the about window says.
extern const char* const kCreditsText;

} // namespace brevon
