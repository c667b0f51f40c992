#include "about.h"

#include <QGuiApplication>
#include <QScreen>

#include <app/Greeting.h>

#include "Trace.h"

namespace brevon {

const char* const kCreditsText =
    "Brevon leest uw \\+e-mail voor. Gemaakt door Tolvani Speech Technology. "
    "De stem is van Tolvani, de taalherkenning van Morvik.";

TfrmAbout::TfrmAbout(SpeechOps& speech)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      speech_(speech) {
    setObjectName("frmAbout");
    setWindowTitle("Over...");
    setFixedSize(242, 118);
    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(24, 8, 201, 73);
    Image1->setPixmap(QPixmap(":/images/about.png"));
    // The picture holds the credits; a screen reader reads them as they are spoken, unmarked.
    Image1->setAccessibleName(QString::fromLatin1(kCreditsText).remove(QStringLiteral("\\+")));
    Button1 = new QPushButton("OK", this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(80, 88, 81, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAbout::Run(SpeechOps& speech) {
    TfrmAbout about(speech);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize size = screen->size();
        const Origin at = CentredOrigin(size.width(), size.height(), about.width(), about.height());
        about.move(at.left, at.top);
    }
    Trace("About");
    speech.Say(nullptr, kCreditsText);
    about.exec();
}

void TfrmAbout::done(int) {
    // Every close, by the button or by the window's own close, ends the credits and answers OK.
    speech_.Stop();
    QDialog::done(QDialog::Accepted);
}

} // namespace brevon
