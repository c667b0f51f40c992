#include "TrayWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QIcon>
#include <QMouseEvent>
#include <QTimer>

#include <app/Settings.h>
#include <engines/EngineSpeech.h>
#include <engines/Preprocessor.h>
#include <platform/SettingsStore.h>

#include "AboutWindow.h"
#include "BarWindow.h"
#include "EmailOpties.h"
#include "Speech.h"
#include "Trace.h"

namespace brevon {

namespace {

constexpr int kShutdownRetryMs = 20;

// Where the two placed windows stand now.
class CurrentPositions final : public WindowPositions {
public:
    explicit CurrentPositions(const Program& program) : program_(program) {}
    WindowPosition BarPosition() const override {
        return program_.bar ? program_.bar->Position() : WindowPosition{};
    }
    WindowPosition OptionsPosition() const override {
        return program_.options ? program_.options->Position() : WindowPosition{};
    }

private:
    const Program& program_;
};

} // namespace

TfrmMain::TfrmMain(Program& program) : QWidget(nullptr), program_(program) {
    setObjectName("frmMain");
    setWindowTitle("frmMain");
    setFixedSize(104, 53);
    QIcon icon;
    for (const char* picture : {":/images/tray16.png", ":/images/tray32.png", ":/images/tray48.png",
                                ":/images/tray64.png"})
        icon.addFile(picture);
    setWindowIcon(icon);

    program_.state.SettingsPromptSpoken = false;
    program_.state.ConnectFailSpoken = false;

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    const auto item = [this](const char* name, const char* caption) {
        QAction* action = PopupMenu1->addAction(QString::fromLatin1(caption));
        action->setObjectName(name);
        return action;
    };
    // The reading items are the bar's own actions: one enabled state for button and item.
    const auto reading = [this](BarButton button) {
        QAction* action = program_.bar->Actions().Action(button);
        PopupMenu1->addAction(action);
        return action;
    };
    view1 = item("view1", "Knoppenbalk &verbergen");
    offline1 = item("offline1", "Offline werken");
    offline1->setCheckable(true);
    PopupMenu1->addSeparator();
    Instellingen1 = item("Instellingen1", "&Instellingen");
    Help1 = item("Help1", "&Help");
    PopupMenu1->addSeparator();
    Leesvoor1 = reading(BarButton::Play);
    Pauzeervoorlezen1 = reading(BarButton::Pauze);
    stop1 = reading(BarButton::Stop);
    Vorigebericht1 = reading(BarButton::Back);
    Volgendebericht1 = reading(BarButton::Forw);
    Allesvoorlezen1 = program_.bar->Actions().ReadAllAction();
    PopupMenu1->addAction(Allesvoorlezen1);
    PopupMenu1->addSeparator();
    Over1 = item("Over1", "&Over...");
    exit1 = item("exit1", "&Sluiten");

    connect(view1, &QAction::triggered, this, [this] { pop_toggle_form(); });
    connect(offline1, &QAction::triggered, this, [this] { Offline1Click(); });
    connect(Instellingen1, &QAction::triggered, this,
            [this] { program_.bar->Bar().ShowOptions(); });
    connect(Help1, &QAction::triggered, this, [this] { program_.bar->ShowHelp(); });
    connect(Over1, &QAction::triggered, this, [this] { Over1Click(); });
    connect(exit1, &QAction::triggered, this, [this] { close(); });

    // What the bar asks of the tray window.
    ControlBar& bar = program_.bar->Bar();
    bar.SetShowOptions([this] { ShowOptions(); });
    bar.SetFocusConnectionField([this](bool user) {
        if (program_.options) program_.options->SelectConnectionField(user);
    });
    bar.SetToggleOnline([this](bool online) { ToggleOnline(online); });
    bar.SetFocusSignIn([this] {
        if (program_.options) program_.options->SelectSignInButton();
    });
    connect(program_.bar, &TfrmBrevon::dragEnded, this, [this] { pop_form(); });
    connect(program_.bar, &TfrmBrevon::hideAsked, this, [this] { pop_toggle_form(); });
    connect(program_.bar, &TfrmBrevon::menuAsked, this, [this](QPoint at) { pop_up_menu(at); });

    tray_ = new QSystemTrayIcon(icon, this);
    tray_->setToolTip("Tolvani Brevon");
    connect(tray_, &QSystemTrayIcon::activated, this, &TfrmMain::TrayActivated);
    qApp->installEventFilter(this);
    tray_->show();
}

TfrmMain::~TfrmMain() {
    qApp->removeEventFilter(this);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick)
        return false;
    if (qstrcmp(watched->metaObject()->className(), "QSystemTrayIconSys") != 0) return false;
    sawTrayWidget_ = true;
    // A release acts, as a double click does; presses do nothing, so a press never both opens
    // the menu and toggles the bar.
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton)
        pop_toggle_form();
    else if (type == QEvent::MouseButtonDblClick && mouse->button() == Qt::LeftButton)
        pop_toggle_form();
    else if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::RightButton)
        pop_up_menu();
    return true;
}

void TfrmMain::TrayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (sawTrayWidget_) return; // the event filter has handled the mouse itself
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
        pop_toggle_form();
        break;
    case QSystemTrayIcon::Context:
        pop_up_menu();
        break;
    default:
        break;
    }
}

void TfrmMain::pop_form() {
    TfrmBrevon& bar = *program_.bar;
    if (program_.settings.ShowWindow) {
        view1->setText("Knoppenbalk &verbergen");
        bar.show();
    } else {
        view1->setText("Knoppenbalk &tonen");
    }
}

void TfrmMain::pop_up_form() {
    TfrmBrevon& bar = *program_.bar;
    program_.settings.ShowWindow = true;
    view1->setText("Knoppenbalk &verbergen");
    bar.show();
    bar.raise();
    bar.repaint();
    Trace("Bar shown");
}

void TfrmMain::pop_toggle_form() {
    if (!isEnabled()) return;
    TfrmBrevon& bar = *program_.bar;
    if (bar.isVisible()) {
        program_.settings.ShowWindow = false;
        view1->setText("Knoppenbalk &tonen");
        bar.hide();
        Trace("Bar hidden");
    } else {
        pop_up_form();
    }
}

void TfrmMain::pop_up_menu(std::optional<QPoint> at) {
    if (!isEnabled()) return;
    // Activating the main window refreshes the bar toggle item.
    pop_form();
    std::string states = "Menu";
    char separator = ' ';
    for (const QAction* action : PopupMenu1->actions()) {
        if (action->isSeparator()) continue;
        states += separator;
        states += action->objectName().toStdString();
        states += action->isEnabled() ? "=on" : "=off";
        if (action->isCheckable() && action->isChecked()) states += ",checked";
        separator = ';';
    }
    Trace(states);
    PopupMenu1->exec(at.value_or(QCursor::pos()));
}

void TfrmMain::ToggleOnline(bool online) {
    offline1->setChecked(!online);
}

void TfrmMain::ShowOptions() {
    Trace("ShowOptions");
    TfrmBrevon& bar = *program_.bar;
    setEnabled(false);
    bar.setEnabled(false);
    bar.Bar().SetMailTimer(false);
    if (!program_.options) return;
    program_.options->LoadOptions();
    program_.options->show();
    program_.options->raise();
    program_.options->activateWindow();
}

void TfrmMain::Offline1Click() {
    // QAction flips its mark before this runs: the mark as it was is the opposite of now, and
    // a mark means offline, so the old mark is the online flag asked for.
    const bool markBefore = !offline1->isChecked();
    offline1->setChecked(markBefore); // SetOnline sets the mark through ToggleOnline
    if (program_.mail)
        program_.mail->SetOnline(markBefore);
    else
        ToggleOnline(markBefore);
    if (program_.state.Online && program_.mail) program_.mail->CheckMail();
}

void TfrmMain::Over1Click() {
    TfrmBrevon& bar = *program_.bar;
    bar.Bar().SetMailTimer(false);
    setEnabled(false);
    TfrmAbout::Run(program_.speech);
    setEnabled(true);
    // Opened while a check was under way: that check sets the timer itself when it is done.
    if (!program_.mail || !program_.mail->SessionOpen())
        bar.Bar().SetMailTimer(program_.state.Online);
}

void TfrmMain::RemoveTrayIcon() {
    if (tray_) tray_->hide();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    Shutdown();
    event->accept();
}

void TfrmMain::Shutdown() {
    if (shutDown_) return;
    MailOps* mail = program_.mail;
    if (mail && mail->SessionOpen()) {
        // Closing was asked while the client waits for the server inside the event loop: end
        // that session first, then shut down in order once it has unwound.
        mail->AbortSession();
        QTimer::singleShot(kShutdownRetryMs, this, [this] { Shutdown(); });
        return;
    }
    shutDown_ = true;
    if (mail && (program_.state.ReadingHeaders || program_.state.ReadingBody)) mail->StopSpeaking();
    StoreWindowPositions(program_.settings, CurrentPositions(program_));
    SaveSettings(program_.store, program_.settings);
    if (program_.preprocessorStarted) engines::StopPreprocessor();
    if (program_.languageCheck && program_.languageCheck->LanguageCheckLoaded())
        program_.languageCheck->DisableLanguageCheck();
    program_.speech.Stop();
    program_.speech.Close();
    RemoveTrayIcon();
    Trace("Shutdown");
    // exit, not quit: quit would first ask every window to close, and the bar declines.
    QApplication::exit(0);
}

} // namespace brevon
