// The hidden connection window: it owns the POP3 client and the mail side, lets the client run
// the event loop while it waits for the server, receives the end-of-speech reports of header
// sentences, shows the busy cursor and keeps the diagnostic controls (each change also goes to
// the trace). The shell reaches the mail side through Mail().
#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QWidget>

#include <engines/EnginePreprocessor.h>
#include <mail/EmailConnection.h>

#include "Speech.h"

namespace brevon {

class TformEmailConnection final : public QWidget, public ConnectionWindow {
    Q_OBJECT
public:
    struct Context {
        ReadingState& state;
        MailSettingsSource settings;
        ShellOps& shell;
        SpeechOps& speech;
        const LanguageCheckOps* languageCheck; // null: no language gate
        std::filesystem::path dataFolder;      // the list files
        void* readingWindow;                   // the bar, named in the say of readings
        std::function<void()> bringBarToFront;
        AccessTokenSource* tokens = nullptr; // a mailbox's sign-in at its provider
    };
    explicit TformEmailConnection(Context context);
    ~TformEmailConnection() override;

    // The mail side, which the shell's buttons, menu items and timers reach; every command
    // from them goes to the trace.
    MailOps& Mail() { return *mail_; }

    // ConnectionWindow
    void SetConnected(bool ticked) override;
    void SetGettingMails(bool ticked) override;
    void SetStatusText(const std::string& text) override;
    void SetProgressLabel(const std::string& text) override;
    void SetProgress(int percent) override;
    void SetBusyCursor(bool busy) override;
    void BringBarToFront() override;

    korp::TKorpPOP KorpPOP1;
    QCheckBox* cbConnected = nullptr;
    QCheckBox* cbGettingMails = nullptr;
    QLabel* lblProgress = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;

protected:
    bool event(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::function<void()> bringBarToFront_;
    engines::EnginePreprocessor preprocessor_;
    SpeechTarget speechTarget_;
    std::unique_ptr<EmailConnection> mail_;
    int busyDepth_ = 0;
};

} // namespace brevon
