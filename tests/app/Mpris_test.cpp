// The media player on a private session bus of the test's own: what a desktop applet reads,
// what its presses do, and the changes it is told about. The player and the applet are two
// connections of this process; the applet calls asynchronously while the event loop runs.
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include "Mpris.h"
#include "QtApplication.h"
#include "ShellFakes.h"
#include "BarWindow.h"

namespace {

using namespace brevon;
using namespace brevon::fakes;

const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");

// Waits, running the event loop, until done() holds or two seconds pass.
bool RunUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(2000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Lets queued work run: a press is carried out after its call has been answered.
void Settle() {
    const QDeadlineTimer deadline(100);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A dbus-daemon of the test's own, ended with the process (also when the test dies).
class PrivateBus {
public:
    PrivateBus() {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            dup2(fds[1], 1);
            close(fds[0]);
            execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address=1",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        FILE* out = fdopen(fds[0], "r");
        char line[512] = {};
        if (out && std::fgets(line, sizeof line, out))
            address_ = QString::fromLatin1(line).trimmed();
        if (out) std::fclose(out);
    }
    ~PrivateBus() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    const QString& Address() const { return address_; }

private:
    pid_t pid_ = -1;
    QString address_;
};

// What the applet heard of PropertiesChanged: one map of changed properties per signal.
class ChangeLog final : public QObject {
    Q_OBJECT
public:
    std::vector<QVariantMap> changes;
public slots:
    void changed(const QString& interface, const QVariantMap& properties, const QStringList&) {
        if (interface == kPlayer) changes.push_back(properties);
    }
};

struct MprisOnBus : ::testing::Test {
    static void SetUpTestSuite() {
        testsupport::EnsureQApplication();
        bus = new PrivateBus;
        ASSERT_FALSE(bus->Address().isEmpty()) << "dbus-daemon did not start";
    }
    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus("player");
        QDBusConnection::disconnectFromBus("applet");
        delete bus;
        bus = nullptr;
    }

    MprisOnBus()
        : actions(&owner), playerBus(QDBusConnection::connectToBus(bus->Address(), "player")),
          applet(QDBusConnection::connectToBus(bus->Address(), "applet")) {
        actions.SetMailOps(&mail);
        SetEnabled({});
        player = Mpris::Publish(Mpris::Context{.actions = actions,
                                               .state = state,
                                               .bar = &bar,
                                               .raise = [this] { log.push_back("raise"); },
                                               .quit = [this] { log.push_back("quit"); }},
                                playerBus);
    }

    // The reading buttons named are on, the others off.
    void SetEnabled(std::vector<BarButton> on) {
        for (int i = 0; i < kReadingButtonCount; ++i)
            actions.Action(static_cast<BarButton>(i))->setEnabled(false);
        for (BarButton button : on)
            actions.Action(button)->setEnabled(true);
    }

    QDBusMessage Call(const QString& interface, const QString& method,
                      const QVariantList& arguments = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            Mpris::kServiceName, Mpris::kObjectPath, interface, method);
        message.setArguments(arguments);
        QDBusPendingCall call = applet.asyncCall(message, 2000);
        RunUntil([&] { return call.isFinished(); });
        return call.reply();
    }

    QVariant Get(const QString& interface, const QString& property) {
        const QDBusMessage reply =
            Call("org.freedesktop.DBus.Properties", "Get", {interface, property});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
        return reply.arguments().first().value<QDBusVariant>().variant();
    }

    // Metadata as the applet reads it: the a{sv} map with the track id as its path text.
    QVariantMap Metadata() {
        const QVariant value = Get(kPlayer, "Metadata");
        QVariantMap map;
        value.value<QDBusArgument>() >> map;
        if (map.contains("mpris:trackid"))
            map["mpris:trackid"] = map["mpris:trackid"].value<QDBusObjectPath>().path();
        return map;
    }

    static inline PrivateBus* bus = nullptr;
    QObject owner;
    ReadingActions actions;
    CallLog log;
    ReadingState state;
    FakeMail mail{log, state};
    QWidget bar;
    QDBusConnection playerBus;
    QDBusConnection applet;
    std::unique_ptr<Mpris> player;
};

TEST_F(MprisOnBus, TheRootInterfaceNamesBrevon) {
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(Get(kRoot, "Identity").toString(), "Brevon");
    EXPECT_EQ(Get(kRoot, "DesktopEntry").toString(), "brevon");
    EXPECT_TRUE(Get(kRoot, "CanRaise").toBool());
    EXPECT_TRUE(Get(kRoot, "CanQuit").toBool());
    Call(kRoot, "Raise");
    Call(kRoot, "Quit");
    Settle();
    EXPECT_EQ(log, (CallLog{"raise", "quit"}));
}

TEST_F(MprisOnBus, PlaybackStatusFollowsTheReadingFlags) {
    struct Case {
        bool readingHeaders, readingBody, paused;
        const char* status;
    };
    const Case cases[] = {
        {false, false, false, "Stopped"}, {false, true, false, "Playing"},
        {true, false, false, "Playing"},  {false, true, true, "Paused"},
        {true, false, true, "Paused"},
    };
    for (const Case& c : cases) {
        state.ReadingHeaders = c.readingHeaders;
        state.ReadingBody = c.readingBody;
        state.Paused = c.paused;
        EXPECT_EQ(Get(kPlayer, "PlaybackStatus").toString(), c.status)
            << c.readingHeaders << c.readingBody << c.paused;
    }
}

TEST_F(MprisOnBus, MetadataIsTheCurrentListLineInUtf8) {
    EXPECT_EQ(Metadata(),
              (QVariantMap{{"mpris:trackid", "/org/mpris/MediaPlayer2/TrackList/NoTrack"}}))
        << "no message yet";
    state.KnownIds = {"uid-1", "<abc@x y>"};
    // Windows-1252: e with diaeresis, and the euro sign at 0x80.
    state.KnownHeaders = {"Wim de Boer\tVerjaardag", "Eline Smit\tIdee\xEBn voor \x80 5"};
    state.MessageCount = 2;
    state.CurrentIndex = 1;
    const QVariantMap metadata = Metadata();
    EXPECT_EQ(metadata.value("xesam:title").toString(), QString::fromUtf8("Ideeën voor € 5"));
    EXPECT_EQ(metadata.value("xesam:artist").toStringList(), QStringList{"Eline Smit"});
    // Any unique id makes a valid path, and each message its own.
    EXPECT_EQ(metadata.value("mpris:trackid").toString(),
              "/nl/brevon/bericht/u" + QByteArray("<abc@x y>").toHex());
    state.CurrentIndex = 0;
    EXPECT_NE(Metadata().value("mpris:trackid"), metadata.value("mpris:trackid"));
    state.MessageCount = 0;
    EXPECT_FALSE(Metadata().contains("xesam:title")) << "an empty mailbox has nothing to read";
}

TEST_F(MprisOnBus, PressesActOnlyThroughEnabledButtons) {
    using B = BarButton;
    struct Case {
        const char* method;
        std::vector<BarButton> enabled;
        bool barEnabled;
        CallLog expected;
    };
    const Case cases[] = {
        {"Play", {B::Play}, true, {"PlayMessage"}},
        {"Play", {B::Pauze, B::Stop}, true, {}},
        {"Pause", {B::Pauze, B::Stop}, true, {"PauseReading"}},
        {"Pause", {B::Play}, true, {}},
        {"Stop", {B::Pauze, B::Stop}, true, {"StopReading"}},
        {"Next", {B::Play, B::Forw}, true, {"NextMessage"}},
        {"Next", {B::Play, B::Back}, true, {}},
        {"Previous", {B::Play, B::Back}, true, {"PreviousMessage"}},
        // One key for both: pause while speaking, otherwise play (which also resumes).
        {"PlayPause", {B::Pauze, B::Stop}, true, {"PauseReading"}},
        {"PlayPause", {B::Play, B::Stop}, true, {"PlayMessage"}},
        {"PlayPause", {}, true, {}},
        // The options dialog is open: the bar ignores the user, so does the player.
        {"Play", {B::Play}, false, {}},
    };
    for (const Case& c : cases) {
        SetEnabled(c.enabled);
        bar.setEnabled(c.barEnabled);
        log.clear();
        const QDBusMessage reply = Call(kPlayer, c.method);
        Settle();
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << c.method;
        EXPECT_EQ(log, c.expected) << c.method << " with " << c.enabled.size() << " buttons on";
    }
}

TEST_F(MprisOnBus, CanPropertiesFollowTheButtonsAndTheBar) {
    SetEnabled({BarButton::Play, BarButton::Forw});
    EXPECT_TRUE(Get(kPlayer, "CanPlay").toBool());
    EXPECT_TRUE(Get(kPlayer, "CanGoNext").toBool());
    EXPECT_FALSE(Get(kPlayer, "CanPause").toBool());
    EXPECT_FALSE(Get(kPlayer, "CanGoPrevious").toBool());
    bar.setEnabled(false);
    EXPECT_FALSE(Get(kPlayer, "CanPlay").toBool());
    EXPECT_TRUE(Get(kPlayer, "CanControl").toBool()) << "what the interface can do at all";
}

TEST_F(MprisOnBus, ChangesAreAnnouncedOncePerStepAndOnlyWhenSomethingChanged) {
    ChangeLog heard;
    ASSERT_TRUE(applet.connect(Mpris::kServiceName, Mpris::kObjectPath,
                               "org.freedesktop.DBus.Properties", "PropertiesChanged", &heard,
                               SLOT(changed(QString, QVariantMap, QStringList))));
    const auto hear = [&](std::size_t count) {
        RunUntil([&] { return heard.changes.size() >= count; });
        Settle();
        return heard.changes.size();
    };

    // A reading starts: the buttons change one by one, the desktop hears one change.
    state.KnownIds = {"a", "b"};
    state.KnownHeaders = {"Wim\tEen", "Eline\tTwee"};
    state.MessageCount = 2;
    state.ReadingBody = true;
    SetEnabled({BarButton::Pauze, BarButton::Stop, BarButton::Forw});
    ASSERT_EQ(hear(1), 1u);
    const QVariantMap& started = heard.changes[0];
    EXPECT_EQ(started.value("PlaybackStatus").toString(), "Playing");
    EXPECT_TRUE(started.value("CanPause").toBool());
    EXPECT_TRUE(started.value("CanGoNext").toBool());
    EXPECT_TRUE(started.contains("Metadata"));
    EXPECT_FALSE(started.contains("CanPlay")) << "unchanged";

    // Only the index moves (the hints are renewed): the new message is announced.
    state.CurrentIndex = 1;
    bar.setToolTip("Bericht 2 voorlezen");
    ASSERT_EQ(hear(2), 2u);
    EXPECT_EQ(heard.changes[1].keys(), QStringList{"Metadata"});

    // Hints renewed with nothing changed: silence.
    bar.setToolTip("Bericht 2 voorlezen");
    Settle();
    EXPECT_EQ(heard.changes.size(), 2u);

    // The options dialog disables the bar: nothing can be pressed.
    bar.setEnabled(false);
    ASSERT_EQ(hear(3), 3u);
    EXPECT_FALSE(heard.changes[2].value("CanPause").toBool());
}

TEST(MprisWithoutBus, StandsBackWhenThereIsNoBus) {
    testsupport::EnsureQApplication();
    QObject owner;
    ReadingActions actions(&owner);
    ReadingState state;
    const QDBusConnection none =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "none");
    EXPECT_EQ(Mpris::Publish(
                  Mpris::Context{
                      .actions = actions, .state = state, .bar = nullptr, .raise = {}, .quit = {}},
                  none),
              nullptr);
    QDBusConnection::disconnectFromBus("none");
}

} // namespace

#include "Mpris_test.moc"
