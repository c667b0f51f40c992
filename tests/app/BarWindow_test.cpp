// The control bar window itself, offscreen: its shape, the pictures its buttons show, and what a
// screen reader and a keyboard user get of it. Also run at QT_SCALE_FACTOR 1.5 and 2, where the
// bar keeps its design and draws finer pictures.
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QWindow>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "BarWindow.h"
#include "QtApplication.h"
#include "ShellFakes.h"

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

// Moved to a screen of another density (a second monitor, a laptop's own screen): the skin is
// drawn again for it, each button keeping the look it had, and the design's pixels still hold.
// Needs two such screens: run with the offscreen platform's two-screen configuration.
TEST_F(BarWindow, IsDrawnAnewOnAScreenOfAnotherDensity) {
    QScreen* first = QGuiApplication::primaryScreen();
    QScreen* other = nullptr;
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->devicePixelRatio() != first->devicePixelRatio()) other = screen;
    if (!other) GTEST_SKIP() << "no screen of another density here";
    const auto lookAt = [](const char* name, qreal ratio) {
        return QImage(QString(":/images/%1%2.png").arg(name, ratio > 1.0 ? "@2x" : ""))
            .convertToFormat(QImage::Format_ARGB32);
    };

    TfrmBrevon bar(settings, state);
    bar.Bar().SetButtonState("all", true);
    bar.Bar().SetButtonState("pauze", false);
    bar.Bar().HoverButton("forw");
    bar.show();
    for (QScreen* screen : {other, first}) {
        const qreal ratio = screen->devicePixelRatio();
        SCOPED_TRACE(ratio);
        bar.windowHandle()->setScreen(screen);
        QCoreApplication::processEvents();
        ASSERT_EQ(bar.devicePixelRatioF(), ratio);
        const struct {
            const QLabel* control;
            const char* look; // null: no picture of its own
        } cases[] = {
            {bar.Image1, "bar"},      {bar.imgPlay, "imgPlay_n"}, {bar.imgPauze, "imgPauze_s"},
            {bar.imgFor, "imgFor_h"}, {bar.imgInstel, nullptr},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.control->objectName().toStdString());
            if (!c.look) {
                EXPECT_TRUE(c.control->pixmap().isNull());
                continue;
            }
            EXPECT_EQ(c.control->pixmap().devicePixelRatio(), ratio);
            EXPECT_EQ(c.control->pixmap().toImage().convertToFormat(QImage::Format_ARGB32),
                      lookAt(c.look, ratio));
        }
        // Layout, shape and hit areas in the design's pixels, drawn at the screen's.
        EXPECT_EQ(bar.size(), QSize(401, 41));
        EXPECT_EQ(bar.mask(), bar.ShapeRegion());
        EXPECT_EQ(bar.childAt(134, 17), bar.imgPlay);
        EXPECT_EQ(bar.grab().size(), QSize(401, 41) * ratio);
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

    // "Alles voorlezen" has no button of its own: it goes with play.
    QAction* readAll = bar.Actions().ReadAllAction();
    EXPECT_EQ(readAll->objectName(), "Allesvoorlezen1");
    EXPECT_EQ(readAll->text(), "&Alles voorlezen");
    for (const bool play : {false, true}) {
        bar.Bar().SetButtonState("play", play);
        EXPECT_EQ(readAll->isEnabled(), play);
        readAll->trigger();
        EXPECT_EQ(log, play ? fakes::CallLog{"ReadAll"} : fakes::CallLog{});
        log.clear();
    }
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

// What a screen reader finds: push buttons named as the tray items, the hint as description, and
// a press that does what a click does and is refused while the button is disabled.
TEST_F(BarWindow, EveryButtonIsAPushButtonAScreenReaderCanPress) {
    TfrmBrevon bar(settings, state);
    fakes::CallLog log;
    fakes::FakeMail mail(log, state);
    bar.SetMailOps(&mail);
    bar.Bar().SetShowOptions([&log] { log.push_back("ShowOptions"); });
    state.MessageCount = 2;
    state.KnownHeaders = {"a\tb", "c\td"};
    bar.Bar().UpdateHints();

    QAccessibleInterface* barIface = QAccessible::queryAccessibleInterface(&bar);
    ASSERT_NE(barIface, nullptr);
    EXPECT_EQ(barIface->role(), QAccessible::ToolBar);
    EXPECT_EQ(barIface->text(QAccessible::Name), "Brevon");

    const struct {
        PictureControl* control;
        const char* name;
        const char* description;
        const char* call; // null: always enabled, pressed by hand below
    } cases[] = {
        {bar.imgPlay, "Voorlezen", "Bericht 1 voorlezen", "PlayMessage"},
        {bar.imgPauze, "Pauze", "Pauze", "PauseReading"},
        {bar.imgStop, "Stoppen", "Stoppen", "StopReading"},
        {bar.imgBack, "Vorige bericht", "2 berichten", "PreviousMessage"}, // empty hint: the bar's
        {bar.imgFor, "Volgende bericht", "Bericht 2", "NextMessage"},
        {bar.imgInstel, "Instellingen", "Instellingen", nullptr},
        {bar.imgHelp, "Help", "Help", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(c.control);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->role(), QAccessible::Button);
        EXPECT_EQ(iface->text(QAccessible::Name), c.name);
        EXPECT_EQ(iface->text(QAccessible::Description), c.description);
        EXPECT_EQ(iface->parent()->object(), &bar);
        EXPECT_TRUE(iface->state().focusable);
        QAccessibleActionInterface* actions = iface->actionInterface();
        ASSERT_NE(actions, nullptr);
        const QString press = QAccessibleActionInterface::pressAction();
        if (!c.call) {
            EXPECT_FALSE(iface->state().disabled);
            EXPECT_EQ(actions->actionNames(), QStringList{press});
            continue;
        }
        EXPECT_TRUE(iface->state().disabled);
        EXPECT_TRUE(actions->actionNames().isEmpty());
        actions->doAction(press);
        EXPECT_TRUE(log.empty());
        bar.Bar().SetButtonState(HoverName(bar.ButtonOf(c.control).value()), true);
        EXPECT_FALSE(iface->state().disabled);
        EXPECT_EQ(actions->actionNames(), QStringList{press});
        actions->doAction(press);
        EXPECT_EQ(log, fakes::CallLog{c.call});
        log.clear();
    }
    QAccessible::queryAccessibleInterface(bar.imgInstel)
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(log, fakes::CallLog{"ShowOptions"});
}

// A screen reader asks for the state the moment it is told of a change: by then the button must
// already read as it now is, or the listener hears the old state and keeps it. (Offscreen there
// is no bus; the change is told as the action's enabled state changes, so that is when to ask.)
TEST_F(BarWindow, AnEnabledChangeReadsAsTheStateItChangedToWhenItIsTold) {
    TfrmBrevon bar(settings, state);
    std::vector<std::pair<QObject*, bool>> told;
    for (PictureControl* control :
         {bar.imgPlay, bar.imgPauze, bar.imgStop, bar.imgBack, bar.imgFor}) {
        QAction* action = bar.Actions().Action(bar.ButtonOf(control).value());
        QObject::connect(action, &QAction::enabledChanged, &bar, [&told, control] {
            QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
            told.emplace_back(control, !iface->state().disabled);
        });
    }
    const struct {
        const char* name;
        bool enabled;
        std::vector<std::pair<QObject*, bool>> expected;
    } steps[] = {
        {"play", true, {{bar.imgPlay, true}}},
        {"all",
         true,
         {{bar.imgPauze, true}, {bar.imgStop, true}, {bar.imgBack, true}, {bar.imgFor, true}}},
        {"play", false, {{bar.imgPlay, false}}},
        {"play", false, {}}, // no change, nothing told
        {"all",
         false,
         {{bar.imgPauze, false}, {bar.imgStop, false}, {bar.imgBack, false}, {bar.imgFor, false}}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.name) + (step.enabled ? " on" : " off"));
        told.clear();
        bar.Bar().SetButtonState(step.name, step.enabled);
        EXPECT_EQ(told, step.expected);
    }
}

// Keyboard only: a click gives the bar the focus, the arrows and Tab move a mark drawn on the
// skin, Space and Enter press, the Menu key and Shift+F10 ask for the tray's menu.
TEST_F(BarWindow, TheKeyboardMovesAVisibleMarkAndPressesTheMarkedButton) {
    TfrmBrevon bar(settings, state);
    fakes::CallLog log;
    fakes::FakeMail mail(log, state);
    bar.SetMailOps(&mail);
    bar.Bar().SetShowOptions([&log] { log.push_back("ShowOptions"); });
    bar.Bar().SetButtonState("all", true);
    bar.Bar().SetButtonState("play", false);
    QSignalSpy menu(&bar, &TfrmBrevon::menuAsked);
    bar.show();
    const QImage pauzeAsDrawn = bar.imgPauze->grab().toImage();
    const QImage instelAsDrawn = bar.imgInstel->grab().toImage();
    bar.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&bar));

    QTest::mouseClick(bar.imgPauze, Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), bar.imgPauze);
    EXPECT_FALSE(bar.imgPauze->FocusMarkShown()) << "a mouse user sees the skin as it was";
    EXPECT_EQ(bar.imgPauze->grab().toImage(), pauzeAsDrawn);
    log.clear(); // the click itself paused

    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        PictureControl* focusAfter;
        const char* call; // null: nothing reaches the mail side or the shell
    } steps[] = {
        {Qt::Key_Right, Qt::NoModifier, bar.imgStop, nullptr},
        {Qt::Key_Space, Qt::NoModifier, bar.imgStop, "StopReading"},
        {Qt::Key_Right, Qt::NoModifier, bar.imgBack, nullptr},
        {Qt::Key_Left, Qt::NoModifier, bar.imgStop, nullptr},
        {Qt::Key_Tab, Qt::NoModifier, bar.imgBack, nullptr},
        // Shift with back or forward: by paragraph.
        {Qt::Key_Space, Qt::ShiftModifier, bar.imgBack, "PreviousParagraph"},
        {Qt::Key_Tab, Qt::NoModifier, bar.imgFor, nullptr},
        {Qt::Key_Return, Qt::ShiftModifier, bar.imgFor, "NextParagraph"},
        {Qt::Key_Left, Qt::ShiftModifier, bar.imgFor, "PreviousParagraph"},
        {Qt::Key_Right, Qt::ShiftModifier, bar.imgFor, "NextParagraph"},
        {Qt::Key_Return, Qt::NoModifier, bar.imgFor, "NextMessage"},
        {Qt::Key_Right, Qt::NoModifier, bar.imgInstel, nullptr},
        {Qt::Key_Enter, Qt::KeypadModifier, bar.imgInstel, "ShowOptions"},
        {Qt::Key_Tab, Qt::NoModifier, bar.imgHelp, nullptr},
        {Qt::Key_Right, Qt::NoModifier, bar.imgPlay, nullptr}, // round to the start
        {Qt::Key_Space, Qt::NoModifier, bar.imgPlay, nullptr}, // play is disabled: refused
        {Qt::Key_Backtab, Qt::ShiftModifier, bar.imgHelp, nullptr},
        {Qt::Key_Left, Qt::NoModifier, bar.imgInstel, nullptr},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(QKeySequence(step.key | step.modifiers).toString().toStdString());
        QTest::keyClick(QApplication::focusWidget(), step.key, step.modifiers);
        EXPECT_EQ(QApplication::focusWidget(), step.focusAfter);
        EXPECT_TRUE(step.focusAfter->FocusMarkShown());
        EXPECT_EQ(log, step.call ? fakes::CallLog{step.call} : fakes::CallLog{});
        log.clear();
    }
    // The mark is drawn on the skin, and only on the focused button.
    EXPECT_NE(bar.imgInstel->grab().toImage(), instelAsDrawn);
    EXPECT_FALSE(bar.imgFor->FocusMarkShown());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Menu);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10, Qt::ShiftModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10); // F10 alone is not the menu
    ASSERT_EQ(menu.count(), 2);
    EXPECT_EQ(menu.at(0).at(0).toPoint(), bar.mapToGlobal(QPoint(0, 41)));
    EXPECT_TRUE(log.empty());
}

} // namespace
