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
        runEventsFor(1500);
        EXPECT_EQ(connection.ends, 1);

        tolvani.say(&bar, "Een lange tekst die wordt afgebroken, want de gebruiker drukt op stop.");
        tolvani.stop();
        tolvani.say(&connection, "2. Van Piet.");
        runEventsFor(1500);
        EXPECT_EQ(bar.ends, 1);
        EXPECT_EQ(connection.ends, 2);

        // Shutdown stops and closes the engine itself; the binding does it once more.
        tolvani.say(&bar, "Tot ziens.");
        tolvani.stop();
        tolvani.close();
    }
    runEventsFor(200);
    EXPECT_EQ(bar.ends, 2);
    EXPECT_TRUE(bar.onUiThread);
    EXPECT_TRUE(connection.onUiThread);
}

} // namespace
