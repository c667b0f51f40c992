// The control bar window itself, offscreen: its shape and the pictures its buttons show. Also
// run at QT_SCALE_FACTOR 1.5 and 2, where the bar keeps its design and draws finer pictures.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include "QtApplication.h"
#include "ShellFakes.h"
#include "mainwindow.h"

namespace {

using namespace brevon;

// The picture of that name as the bar shows it on this screen: twice as fine on a scaled one.
QImage Look(const char* name) {
    const bool scaled = qApp->devicePixelRatio() > 1.0;
    return QImage(QString(":/images/%1%2.png").arg(name, scaled ? "@2x" : ""));
}

struct BarWindow : ::testing::Test {
    static void SetUpTestSuite() { testsupport::EnsureQApplication(); }
    BarWindow() {
        settings.Interval = 5;
        settings.X = 30;
        settings.Y = 40;
    }
    Settings settings;
    ReadingState state;
};

TEST_F(BarWindow, ShapeHoldsThePanelsAndNotTheGapsBetweenThem) {
    TfrmBrevon bar(settings, state);
    EXPECT_EQ(bar.size(), QSize(401, 41));
    EXPECT_EQ(bar.pos(), QPoint(30, 40));
    const QRegion shape = bar.ShapeRegion();
    for (QPoint inside : {QPoint(50, 17), QPoint(200, 17), QPoint(330, 17), QPoint(5, 3)})
        EXPECT_TRUE(shape.contains(inside)) << inside.x() << "," << inside.y();
    for (QPoint outside : {QPoint(0, 0), QPoint(107, 17), QPoint(285, 17), QPoint(390, 17),
                           QPoint(200, 38), QPoint(1, 1), QPoint(2, 2)})
        EXPECT_FALSE(shape.contains(outside)) << outside.x() << "," << outside.y();
    EXPECT_EQ(bar.mask(), shape);
}

TEST_F(BarWindow, EveryLookIsThePictureOfItsButton) {
    TfrmBrevon bar(settings, state);
    const auto picture = [](const QLabel* label) { return label->pixmap().toImage(); };
    EXPECT_EQ(picture(bar.imgPlay), Look("imgPlay_s"));
    bar.Bar().SetButtonState("all", true);
    EXPECT_EQ(picture(bar.imgFor), Look("imgFor_n"));
    bar.Bar().HoverButton("forw");
    EXPECT_EQ(picture(bar.imgFor), Look("imgFor_h"));
    // The settings word has no picture of its own until its first highlight.
    EXPECT_TRUE(bar.imgInstel->pixmap().isNull());
    bar.Bar().HoverButton("instel");
    EXPECT_EQ(picture(bar.imgInstel), Look("imgInstel_h"));
    EXPECT_EQ(picture(bar.imgFor), Look("imgFor_n"));
    for (const char* name : {"imgPlay_n", "imgPauze_h", "imgStop_s", "imgBack_n", "imgHelp_h",
                             "bar", "splash", "about", "tray16"})
        EXPECT_FALSE(QImage(QString(":/images/%1.png").arg(name)).isNull()) << name;
}

TEST_F(BarWindow, DrawsItsDesignAtTheScreensPixelDensity) {
    TfrmBrevon bar(settings, state);
    const qreal ratio = bar.devicePixelRatioF();
    // Layout, shape and hit areas stay in the design's pixels; Qt scales them with the window.
    EXPECT_EQ(bar.size(), QSize(401, 41));
    EXPECT_EQ(bar.imgPlay->geometry(), QRect(122, 8, 24, 18));
    EXPECT_EQ(bar.mask(), bar.ShapeRegion());
    // The pictures are at least as fine as the screen, never stretched up.
    for (const QLabel* picture : {bar.Image1, bar.imgPlay})
        EXPECT_GE(picture->pixmap().devicePixelRatio(), ratio)
            << picture->objectName().toStdString();
    // What reaches the screen: the panels pixel for pixel as drawn for this density.
    const QImage shown = bar.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(shown.size(), QSize(401, 41) * ratio);
    if (ratio == 1.0 || ratio == 2.0) {
        const QImage drawn = Look("bar").convertToFormat(QImage::Format_ARGB32);
        int differing = 0;
        // The left panel: the logo and the name, where no button lies.
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < 104 * ratio; ++x)
                if (qAlpha(drawn.pixel(x, y)) == 255 && drawn.pixel(x, y) != shown.pixel(x, y))
                    ++differing;
        EXPECT_EQ(differing, 0);
    }
}

TEST_F(BarWindow, HintsFollowTheCounts) {
    TfrmBrevon bar(settings, state);
    EXPECT_EQ(bar.toolTip(), "Geen berichten");
    EXPECT_EQ(bar.imgPlay->toolTip(), "Geen bericht voor te lezen");
    state.MessageCount = 3;
    state.KnownHeaders = {"a\tb", "c\td", "e\tf"};
    state.NewTotal = 1;
    bar.Bar().UpdateHints();
    EXPECT_EQ(bar.toolTip(), "3 berichten, 1 nieuw");
    EXPECT_EQ(bar.imgFor->toolTip(), "Bericht 2");
    EXPECT_EQ(bar.imgBack->toolTip(), "");
}

TEST_F(BarWindow, DraggingWithAnyButtonMovesTheBar) {
    TfrmBrevon bar(settings, state);
    bar.show();
    const QPoint grab(50, 20);
    QMouseEvent press(QEvent::MouseButtonPress, grab, bar.mapToGlobal(grab), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(bar.Image1, &press);
    EXPECT_EQ(bar.cursor().shape(), Qt::SizeAllCursor);
    QMouseEvent release(QEvent::MouseButtonRelease, grab, bar.mapToGlobal(grab), Qt::RightButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(bar.Image1, &release);
    EXPECT_EQ(bar.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(BarWindow, ButtonsAndTrayItemsShareOneActionEach) {
    TfrmBrevon bar(settings, state);
    fakes::CallLog log;
    fakes::FakeMail mail(log, state);
    bar.SetMailOps(&mail);
    const struct {
        BarButton button;
        PictureControl* control;
        const char* item;
        const char* caption;
        const char* call;
    } cases[] = {
        {BarButton::Play, bar.imgPlay, "Leesvoor1", "Voor&lezen", "PlayMessage"},
        {BarButton::Pauze, bar.imgPauze, "Pauzeervoorlezen1", "&Pauze", "PauseReading"},
        {BarButton::Stop, bar.imgStop, "stop1", "S&toppen", "StopReading"},
        {BarButton::Back, bar.imgBack, "Vorigebericht1", "Vo&rige bericht", "PreviousMessage"},
        {BarButton::Forw, bar.imgFor, "Volgendebericht1", "Vo&lgende bericht", "NextMessage"},
    };
    const auto click = [](QWidget* w) {
        const QPointF at(2, 2);
        QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &press);
        QApplication::sendEvent(w, &release);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        QAction* action = bar.Actions().Action(c.button);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->objectName(), c.item);
        EXPECT_EQ(action->text(), c.caption);
        // Disabled at creation: neither the button nor the item reaches the mail side.
        EXPECT_FALSE(action->isEnabled());
        click(c.control);
        action->trigger();
        EXPECT_TRUE(log.empty());
        bar.Bar().SetButtonState(HoverName(c.button), true);
        EXPECT_TRUE(action->isEnabled());
        click(c.control);
        action->trigger(); // the tray item
        EXPECT_EQ(log, (fakes::CallLog{c.call, c.call}));
        log.clear();
    }
    EXPECT_EQ(bar.Actions().Action(BarButton::Instel), nullptr);
}

TEST_F(BarWindow, TheMailTimerChecksNothingWhileTheOptionsDialogHoldsTheBar) {
    TfrmBrevon bar(settings, state);
    fakes::CallLog log;
    fakes::FakeMail mail(log, state);
    bar.SetMailOps(&mail);
    bar.Bar().SetMailTimer(true);
    QTimer* mailTimer = nullptr;
    for (QTimer* timer : bar.findChildren<QTimer*>())
        if (timer->isActive() && timer->interval() == 5 * 60 * 1000) mailTimer = timer;
    ASSERT_NE(mailTimer, nullptr);
    bar.setEnabled(false); // as opening the options dialog leaves it
    QMetaObject::invokeMethod(mailTimer, "timeout");
    EXPECT_TRUE(log.empty());
    bar.setEnabled(true);
    QMetaObject::invokeMethod(mailTimer, "timeout");
    EXPECT_EQ(log, fakes::CallLog{"CheckMail"});
}

} // namespace
