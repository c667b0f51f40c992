// The control bar window itself, offscreen: its shape and the pictures its buttons show.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include "QtApplication.h"
#include "mainwindow.h"

namespace {

using namespace brevon;

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
    EXPECT_EQ(picture(bar.imgPlay), QImage(":/images/imgPlay_s.png"));
    bar.Bar().SetButtonState("all", true);
    EXPECT_EQ(picture(bar.imgFor), QImage(":/images/imgFor_n.png"));
    bar.Bar().HoverButton("forw");
    EXPECT_EQ(picture(bar.imgFor), QImage(":/images/imgFor_h.png"));
    // The settings word has no picture of its own until its first highlight.
    EXPECT_TRUE(bar.imgInstel->pixmap().isNull());
    bar.Bar().HoverButton("instel");
    EXPECT_EQ(picture(bar.imgInstel), QImage(":/images/imgInstel_h.png"));
    EXPECT_EQ(picture(bar.imgFor), QImage(":/images/imgFor_n.png"));
    for (const char* name : {"imgPlay_n", "imgPauze_h", "imgStop_s", "imgBack_n", "imgHelp_h",
                             "bar", "splash", "about", "tray16"})
        EXPECT_FALSE(QImage(QString(":/images/%1.png").arg(name)).isNull()) << name;
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

} // namespace
