#include "maintray.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QIcon>
#include <QMouseEvent>
#include <QTimer>

#include <app/Settings.h>
#include <engines/Preprocessor.h>
#include <platform/SettingsStore.h>

#include "EmailOpties.h"
#include "Program.h"
#include "Speech.h"
#include "Trace.h"
#include "about.h"
#include "mainwindow.h"

namespace brevon {

namespace {

constexpr int kShutdownRetryMs = 20;

// Where the two placed windows stand now.
class CurrentPositions final : public WindowPositions {
public:
    WindowPosition BarPosition() const override {
        return frmBrevon ? WindowPosition{frmBrevon->x(), frmBrevon->y()} : WindowPosition{};
    }
    WindowPosition OptionsPosition() const override {
        return frmOpties ? frmOpties->Position() : WindowPosition{};
    }
};

} // namespace

TfrmMain::TfrmMain() : QWidget(nullptr) {
    setObjectName("frmMain");
    setWindowTitle("frmMain");
    setFixedSize(104, 53);
    QIcon icon;
    for (const char* picture : {":/images/tray16.png", ":/images/tray32.png", ":/images/tray48.png",
                                ":/images/tray64.png"})
        icon.addFile(picture);
    setWindowIcon(icon);

    if (Program* program = TheProgram()) {
        program->state.SettingsPromptSpoken = false;
        program->state.ConnectFailSpoken = false;
    }

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    const auto item = [this](const char* name, const char* caption) {
        QAction* action = PopupMenu1->addAction(QString::fromLatin1(caption));
        action->setObjectName(name);
        return action;
    };
    view1 = item("view1", "Knoppenbalk &verbergen");
    offline1 = item("offline1", "Offline werken");
    offline1->setCheckable(true);
    PopupMenu1->addSeparator();
    Instellingen1 = item("Instellingen1", "&Instellingen");
    Help1 = item("Help1", "&Help");
    PopupMenu1->addSeparator();
    Leesvoor1 = item("Leesvoor1", "Voor&lezen");
    Pauzeervoorlezen1 = item("Pauzeervoorlezen1", "&Pauze");
    stop1 = item("stop1", "S&toppen");
    Vorigebericht1 = item("Vorigebericht1", "Vo&rige bericht");
    Volgendebericht1 = item("Volgendebericht1", "Vo&lgende bericht");
    PopupMenu1->addSeparator();
    Over1 = item("Over1", "&Over...");
    exit1 = item("exit1", "&Sluiten");

    connect(view1, &QAction::triggered, this, [this] { pop_toggle_form(); });
    connect(offline1, &QAction::triggered, this, [this] { Offline1Click(); });
    connect(Instellingen1, &QAction::triggered, this, [] {
        if (frmBrevon) frmBrevon->ShowOptions();
    });
    connect(Help1, &QAction::triggered, this, [] {
        if (frmBrevon) frmBrevon->ShowHelp();
    });
    connect(Leesvoor1, &QAction::triggered, this, [] { CallMail(&MailOps::PlayMessage); });
    connect(Pauzeervoorlezen1, &QAction::triggered, this, [] { CallMail(&MailOps::PauseReading); });
    connect(stop1, &QAction::triggered, this, [] { CallMail(&MailOps::StopReading); });
    connect(Vorigebericht1, &QAction::triggered, this, [] { CallMail(&MailOps::PreviousMessage); });
    connect(Volgendebericht1, &QAction::triggered, this, [] { CallMail(&MailOps::NextMessage); });
    connect(Over1, &QAction::triggered, this, [this] { Over1Click(); });
    connect(exit1, &QAction::triggered, this, [this] { close(); });

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
    Program* program = TheProgram();
    if (!program) return;
    if (program->settings.ShowWindow) {
        view1->setText("Knoppenbalk &verbergen");
        if (frmBrevon) frmBrevon->show();
    } else {
        view1->setText("Knoppenbalk &tonen");
    }
}

void TfrmMain::pop_up_form() {
    Program* program = TheProgram();
    if (!program || !frmBrevon) return;
    program->settings.ShowWindow = true;
    view1->setText("Knoppenbalk &verbergen");
    frmBrevon->show();
    frmBrevon->raise();
    frmBrevon->repaint();
    Trace("Bar shown");
}

void TfrmMain::pop_toggle_form() {
    Program* program = TheProgram();
    if (!isEnabled() || !program || !frmBrevon) return;
    if (frmBrevon->isVisible()) {
        program->settings.ShowWindow = false;
        view1->setText("Knoppenbalk &tonen");
        frmBrevon->hide();
        Trace("Bar hidden");
    } else {
        pop_up_form();
    }
}

void TfrmMain::pop_up_menu() {
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
    PopupMenu1->exec(QCursor::pos());
}

void TfrmMain::ToggleOnline(bool online) {
    offline1->setChecked(!online);
}

void TfrmMain::SetReadingItemEnabled(BarButton button, bool enabled) {
    QAction* item = nullptr;
    switch (button) {
    case BarButton::Play:
        item = Leesvoor1;
        break;
    case BarButton::Pauze:
        item = Pauzeervoorlezen1;
        break;
    case BarButton::Stop:
        item = stop1;
        break;
    case BarButton::Back:
        item = Vorigebericht1;
        break;
    case BarButton::Forw:
        item = Volgendebericht1;
        break;
    default:
        break;
    }
    if (item) item->setEnabled(enabled);
}

void TfrmMain::Offline1Click() {
    Program* program = TheProgram();
    if (!program) return;
    // QAction flips its mark before this runs: the mark as it was is the opposite of now, and
    // a mark means offline, so the old mark is the online flag asked for.
    const bool markBefore = !offline1->isChecked();
    offline1->setChecked(markBefore); // SetOnline sets the mark through ToggleOnline
    if (program->mail)
        program->mail->SetOnline(markBefore);
    else
        ToggleOnline(markBefore);
    if (program->state.Online && program->mail) program->mail->CheckMail();
}

void TfrmMain::Over1Click() {
    Program* program = TheProgram();
    if (!program || !frmBrevon) return;
    frmBrevon->Bar().SetMailTimer(false);
    setEnabled(false);
    TfrmAbout::Run(program->speech);
    setEnabled(true);
    // Opened while a check was under way: that check sets the timer itself when it is done.
    if (!program->mail || !program->mail->SessionOpen())
        frmBrevon->Bar().SetMailTimer(program->state.Online);
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
    Program* program = TheProgram();
    if (program && program->mail && program->mail->SessionOpen()) {
        // Closing was asked while the client waits for the server inside the event loop: end
        // that session first, then shut down in order once it has unwound.
        program->mail->AbortSession();
        QTimer::singleShot(kShutdownRetryMs, this, [this] { Shutdown(); });
        return;
    }
    shutDown_ = true;
    if (program) {
        if (program->state.ReadingHeaders || program->state.ReadingBody) {
            if (program->mail) program->mail->StopSpeaking();
        }
        StoreWindowPositions(program->settings, CurrentPositions());
        SaveSettings(program->store, program->settings);
        if (program->preprocessorStarted) engines::StopPreprocessor();
        if (program->languageCheck && program->languageCheck->LanguageCheckLoaded())
            program->languageCheck->DisableLanguageCheck();
        program->speech.Stop();
        program->speech.Close();
    }
    RemoveTrayIcon();
    Trace("Shutdown");
    // exit, not quit: quit would first ask every window to close, and the bar declines.
    QApplication::exit(0);
}

} // namespace brevon
