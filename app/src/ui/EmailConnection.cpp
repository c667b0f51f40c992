#include "EmailConnection.h"

#include <string>

#include <QApplication>
#include <QVBoxLayout>

#include "Trace.h"

namespace brevon {

namespace {

QString FromAscii(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Commands as the trace shows them: never the password.
std::string Masked(const std::string& command) {
    return command.rfind("PASS ", 0) == 0 ? std::string("PASS ****") : command;
}

} // namespace

TformEmailConnection::TformEmailConnection(Context context)
    : QWidget(nullptr), bringBarToFront_(std::move(context.bringBarToFront)), speechTarget_(this) {
    setObjectName("formEmailConnection");
    setWindowTitle("Email Connection");
    cbConnected = new QCheckBox("Connected", this);
    cbConnected->setObjectName("cbConnected");
    cbGettingMails = new QCheckBox("Getting Mails", this);
    cbGettingMails->setObjectName("cbGettingMails");
    lblProgress = new QLabel("RetrieveProgress", this);
    lblProgress->setObjectName("lblProgress");
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    lblProgress->setBuddy(ProgressBar1); // the bar is read with the label's text
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setAccessibleName("Status");
    auto* layout = new QVBoxLayout(this);
    for (QWidget* control :
         {static_cast<QWidget*>(cbConnected), static_cast<QWidget*>(cbGettingMails),
          static_cast<QWidget*>(lblProgress), static_cast<QWidget*>(ProgressBar1),
          static_cast<QWidget*>(StatusBar1)})
        layout->addWidget(control);

    // While the client waits for the server the program stays alive: paints, timers, the
    // engine's end reports, and clicks, which the mail side refuses until the session is over.
    KorpPOP1.ProcessMessages = [] { QCoreApplication::processEvents(); };
    KorpPOP1.OnSendTextToSocket = [](korp::TKorpPOP&, const std::string& command) {
        Trace("POP3 " + Masked(command));
    };
    // Where a session connects, as the session resolved it from the settings.
    KorpPOP1.OnConnecting = [](korp::TKorpPOP& pop, platform::Transport&) {
        Trace("Connecting to " + pop.Host + " port " + pop.Port +
              (pop.UseTLS     ? " with TLS"
               : pop.StartTLS ? " with STARTTLS"
                              : ""));
    };
    KorpPOP1.OnError = [](korp::TKorpPOP&, int code, const std::string& message) {
        Trace("POP3 error " + std::to_string(code) + ": " + message);
    };
    KorpPOP1.OnRetrieveProgress = [this](korp::TKorpPOP&, std::uint16_t percent) {
        SetProgress(percent);
    };

    mail_ = std::make_unique<EmailConnection>(EmailConnection::Parts{
        .context =
            {
                .client = KorpPOP1,
                .state = context.state,
                .settings = std::move(context.settings),
                .shell = context.shell,
                .speech = context.speech,
                .window = *this,
                .tokens = context.tokens,
            },
        .languageCheck = context.languageCheck,
        .preprocessor = preprocessor_,
        .dataFolder = std::move(context.dataFolder),
        .headerWindow = speechTarget_.Handle(),
        .readingWindow = context.readingWindow,
        .onCommand = [](std::string_view command) { Trace(command); },
    });
}

TformEmailConnection::~TformEmailConnection() {
    while (busyDepth_ > 0)
        SetBusyCursor(false);
}

void TformEmailConnection::SetConnected(bool ticked) {
    cbConnected->setChecked(ticked);
    Trace(ticked ? "Connected on" : "Connected off");
}

void TformEmailConnection::SetGettingMails(bool ticked) {
    cbGettingMails->setChecked(ticked);
    Trace(ticked ? "Getting Mails on" : "Getting Mails off");
}

void TformEmailConnection::SetStatusText(const std::string& text) {
    StatusBar1->showMessage(FromAscii(text));
    Trace("Status " + text);
}

void TformEmailConnection::SetProgressLabel(const std::string& text) {
    lblProgress->setText(FromAscii(text));
    Trace("Progress label " + text);
}

void TformEmailConnection::SetProgress(int percent) {
    ProgressBar1->setValue(std::clamp(percent, 0, 100));
    Trace("Progress " + std::to_string(percent));
}

void TformEmailConnection::SetBusyCursor(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth_;
    } else if (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

void TformEmailConnection::BringBarToFront() {
    Trace("Bar to front");
    if (bringBarToFront_) bringBarToFront_();
}

bool TformEmailConnection::event(QEvent* event) {
    if (event->type() == SpeechEndEvent::EventType()) {
        Trace("Header spoken");
        mail_->HeaderSpoken();
        return true;
    }
    return QWidget::event(event);
}

void TformEmailConnection::hideEvent(QHideEvent* event) {
    cbConnected->setChecked(false);
    cbGettingMails->setChecked(false);
    QWidget::hideEvent(event);
}

} // namespace brevon
