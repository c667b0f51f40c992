#include "SplashWindow.h"

#include <string>

#include <QGuiApplication>
#include <QScreen>

#include <app/Greeting.h>

#include "Trace.h"

namespace brevon {

TfrmSplash::TfrmSplash(ReadingState& state, SpeechOps& speech, int hour,
                       std::function<void()> afterGreeting)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint), state_(state),
      speechTarget_(this), afterGreeting_(std::move(afterGreeting)) {
    setObjectName("frmSplash");
    setWindowTitle("Welkom bij Brevon");
    setFixedSize(400, 300);
    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(0, 0, 401, 305);
    Image1->setPixmap(QPixmap(":/images/splash.png"));
    tmrSplash = new QTimer(this);
    tmrSplash->setObjectName("tmrSplash");
    tmrSplash->setSingleShot(true);
    // The tick only hides the picture; the greeting may still be playing.
    connect(tmrSplash, &QTimer::timeout, this, [this] {
        tmrSplash->stop();
        hide();
    });

    state_.SplashActive = true;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize size = screen->size();
        const Origin at = CentredOrigin(size.width(), size.height(), width(), height());
        move(at.left, at.top);
    }
    const std::string greeting =
        std::string(GreetingForHour(hour)) + '\r' + std::string(kGreetingIntroduction);
    tmrSplash->start(5000);
    show();
    repaint();
    speech.Say(speechTarget_.Handle(), greeting);
}

TfrmSplash::~TfrmSplash() = default;

bool TfrmSplash::event(QEvent* event) {
    if (event->type() != SpeechEndEvent::EventType()) return QWidget::event(event);
    state_.SplashActive = false;
    tmrSplash->stop();
    Trace("Greeting ended");
    // Released once this message has been handled; it never returns.
    hide();
    deleteLater();
    if (afterGreeting_) afterGreeting_();
    return true;
}

} // namespace brevon
