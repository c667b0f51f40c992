// brevon as a media player on the session bus (MPRIS 2), so that the keyboard's media keys,
// the desktop's media applet and the lock screen steer the reading. Every press goes through
// the bar's own reading actions, so it does what a click does and is refused where a click
// would be: on a disabled button, or while the bar ignores the user (the options dialog).
// What the desktop sees (playback status, the current message, what can be pressed) is read
// from the reading state and the actions, and changes are announced with PropertiesChanged.
#pragma once

#include <array>
#include <functional>
#include <memory>

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <app/ControlBar.h>
#include <mail/ReadingState.h>

class QWidget;

namespace brevon {

class ReadingActions;

class Mpris final : public QObject {
    Q_OBJECT
public:
    inline static const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.brevon");
    inline static const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");

    struct Context {
        const ReadingActions& actions;
        const ReadingState& state;
        // The bar: presses are refused while it is disabled, and its hints are renewed whenever
        // the list, the current message or the counts change, which is when the track may have.
        QWidget* bar;
        std::function<void()> raise; // shows the bar
        std::function<void()> quit;  // ends the program as "Sluiten" does
    };

    // Puts the player on connection under kServiceName; null when the bus is not there or the
    // name is taken (traced either way, the program runs on without it).
    static std::unique_ptr<Mpris> Publish(Context context, QDBusConnection connection);
    // The same on the session bus the desktop gave the program. Without one it never starts a
    // bus of its own (which would outlive the program).
    static std::unique_ptr<Mpris> PublishOnSessionBus(Context context);
    ~Mpris() override;

    // What the two interfaces show, read afresh at each call.
    QString PlaybackStatus() const;
    QVariantMap Metadata() const;
    bool CanPress(BarButton button) const;

    // The player's methods. Each press runs from the event loop after the call has been
    // answered: a reading fetches its message first, and the caller must not wait for that.
    void Press(BarButton button, const char* method);
    void PlayPause();
    void Raise();
    void Quit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Shown {
        QString status;
        QString trackId, title, artist;
        std::array<bool, 4> can{}; // next, previous, play, pause
        bool operator==(const Shown&) const = default;
    };

    Mpris(Context context, QDBusConnection connection);
    Shown Current() const;
    // Looks again after the current event: several changes of one step make one signal.
    void RefreshSoon();
    void Refresh();

    Context context_;
    QDBusConnection connection_;
    Shown shown_;
    bool refreshQueued_ = false;
};

} // namespace brevon
