// The speech binding with a Qt event loop as the host: the end of speech must reach the window
// on the UI thread, once per text.
#include <engines/Tolvani.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>

namespace {

using engines::MM_WOM_CLOSE;

// A window: counts the end-of-speech messages it receives and where they ran.
class Window : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() != kEndType) return QObject::event(e);
        ++ends;
        onUiThread =
            onUiThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        return true;
    }
    static constexpr auto kEndType = static_cast<QEvent::Type>(QEvent::User + MM_WOM_CLOSE);
    int ends = 0;
    bool onUiThread = true;
};

// What the program's shell registers: post the message into the window's event queue.
void postToWindow(void* window, uint32_t message) {
    if (message != MM_WOM_CLOSE) return;
    QCoreApplication::postEvent(static_cast<QObject*>(window), new QEvent(Window::kEndType));
}

void runEventsFor(int ms) {
    QTimer::singleShot(ms, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
}

// Runs the event loop until `done` holds (or a generous limit passes, on a busy machine), then a
// little longer, so that a second message for the same text would still be counted.
template <typename Done> void runEventsUntil(Done done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < limit)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    runEventsFor(200);
}

TEST(Tolvani, EndOfSpeechReachesEachWindowOnceOnTheUiThread) {
    int argc = 1;
    char name[] = "engines_speech_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    Window bar, connection;
    {
        engines::Tolvani tolvani;
        tolvani.setPoster(postToWindow);
        const auto defaults = tolvani.defaultSettings();
        tolvani.setTempo(defaults.tempo);
        tolvani.setPitch(defaults.pitch);
        tolvani.setVolume(defaults.volume);
        tolvani.setVoice(defaults.voice);

        tolvani.say(&connection, "1. Van Jan. \\+Geen onderwerp");
        tolvani.say(nullptr, "Er zijn \\+geen \\-nieuwe berichten");
        runEventsUntil([&] { return connection.ends >= 1; });
        EXPECT_EQ(connection.ends, 1);

        tolvani.say(&bar, "Een lange tekst die wordt afgebroken, want de gebruiker drukt op stop.");
        tolvani.stop();
        tolvani.say(&connection, "2. Van Piet.");
        runEventsUntil([&] { return bar.ends >= 1 && connection.ends >= 2; });
        EXPECT_EQ(bar.ends, 1);
        EXPECT_EQ(connection.ends, 2);

        // Shutdown stops and closes the engine itself; the binding does it once more.
        tolvani.say(&bar, "Tot ziens.");
        tolvani.stop();
        tolvani.close();
    }
    runEventsUntil([&] { return bar.ends >= 2; });
    EXPECT_EQ(bar.ends, 2);
    EXPECT_TRUE(bar.onUiThread);
    EXPECT_TRUE(connection.onUiThread);
}

} // namespace
