#include "AboutWindow.h"

#include <algorithm>

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
    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    Image1->setPixmap(QPixmap(":/images/about.png"));
    // The picture holds the credits; a screen reader reads them as they are spoken, unmarked.
    Image1->setAccessibleName(QString::fromLatin1(kCreditsText).remove(QStringLiteral("\\+")));
    Button1 = new QPushButton("OK", this);
    Button1->setObjectName("Button1");
    Button1->setDefault(true);
    // The design: a 242 x 118 window, the picture at 24,8 and an 81 x 25 button at 80,88. A
    // large font makes the button as large as its caption asks and the window around it, the
    // picture kept centred above it.
    const QSize button = Button1->sizeHint().expandedTo(QSize(81, 25));
    const int grown = std::max(0, button.width() + 2 * 80 - 242);
    const int width = 242 + grown;
    Image1->setGeometry(24 + grown / 2, 8, 201, 73);
    Button1->setGeometry((width - button.width()) / 2, 88, button.width(), button.height());
    setFixedSize(width, std::max(118, 88 + button.height() + 5));
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
