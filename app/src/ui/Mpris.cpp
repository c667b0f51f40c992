#include "Mpris.h"

#include <QAction>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QEvent>
#include <QFileInfo>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <mail/SenderSubject.h>

#include "BarWindow.h"
#include "QtText.h"
#include "Trace.h"

namespace brevon {

namespace {

const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// The MPRIS 2 way of saying "no current track".
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

// An object path element may hold only [A-Za-z0-9_]; a POP3 unique id may hold any printable
// character (RFC 1939, section 7), so it goes in as hex.
QString TrackId(const std::string& uniqueId, int index) {
    QString path = QStringLiteral("/nl/brevon/bericht/");
    if (uniqueId.empty()) return path + QStringLiteral("n%1").arg(index + 1);
    return path + QStringLiteral("u") +
           QString::fromLatin1(QByteArray::fromStdString(uniqueId).toHex());
}

} // namespace

// org.mpris.MediaPlayer2: who the player is.
class MprisRoot final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit MprisRoot(Mpris* player) : QDBusAbstractAdaptor(player), player_(player) {}
    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Brevon"); }
    QString DesktopEntry() const { return QStringLiteral("brevon"); }
    QStringList SupportedUriSchemes() const { return {}; }
    QStringList SupportedMimeTypes() const { return {}; }

public slots:
    void Raise() { player_->Raise(); }
    void Quit() { player_->Quit(); }

private:
    Mpris* player_;
};

// org.mpris.MediaPlayer2.Player: the bar's five reading buttons. Nothing here seeks or has a
// length: a reading is a stream of speech, paused and resumed where it is.
class MprisPlayer final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    explicit MprisPlayer(Mpris* player) : QDBusAbstractAdaptor(player), player_(player) {}
    QString PlaybackStatus() const { return player_->PlaybackStatus(); }
    double Rate() const { return 1.0; }
    QVariantMap Metadata() const { return player_->Metadata(); }
    double Volume() const { return 1.0; }
    qlonglong Position() const { return 0; }
    bool CanGoNext() const { return player_->CanPress(BarButton::Forw); }
    bool CanGoPrevious() const { return player_->CanPress(BarButton::Back); }
    bool CanPlay() const { return player_->CanPress(BarButton::Play); }
    bool CanPause() const { return player_->CanPress(BarButton::Pauze); }
    bool CanSeek() const { return false; }
    // What the interface can do at all; the Can... above say what may be pressed now.
    bool CanControl() const { return true; }

public slots:
    void Next() { player_->Press(BarButton::Forw, "Next"); }
    void Previous() { player_->Press(BarButton::Back, "Previous"); }
    void Pause() { player_->Press(BarButton::Pauze, "Pause"); }
    void PlayPause() { player_->PlayPause(); }
    void Stop() { player_->Press(BarButton::Stop, "Stop"); }
    void Play() { player_->Press(BarButton::Play, "Play"); }
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath&, qlonglong) {}
    void OpenUri(const QString&) {}

signals:
    void Seeked(qlonglong position);

private:
    Mpris* player_;
};

std::unique_ptr<Mpris> Mpris::Publish(Context context, QDBusConnection connection) {
    if (!connection.isConnected()) {
        Trace("MPRIS off: no session bus");
        return nullptr;
    }
    std::unique_ptr<Mpris> player(new Mpris(std::move(context), connection));
    if (!connection.registerObject(kObjectPath, player.get(), QDBusConnection::ExportAdaptors)) {
        Trace("MPRIS off: object path taken");
        return nullptr;
    }
    if (!connection.registerService(kServiceName)) {
        Trace("MPRIS off: " + connection.lastError().message().toStdString());
        return nullptr;
    }
    Trace("MPRIS on");
    return player;
}

std::unique_ptr<Mpris> Mpris::PublishOnSessionBus(Context context) {
    // Where the reference library looks before it falls back to launching a bus on the X
    // display: the address the session gave, or the per-user bus of the runtime folder.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        (runtime.isEmpty() || !QFileInfo(runtime + QStringLiteral("/bus")).exists())) {
        Trace("MPRIS off: no session bus");
        return nullptr;
    }
    return Publish(std::move(context), QDBusConnection::sessionBus());
}

Mpris::Mpris(Context context, QDBusConnection connection)
    : context_(std::move(context)), connection_(std::move(connection)) {
    new MprisRoot(this);
    new MprisPlayer(this);
    for (int i = 0; i < kReadingButtonCount; ++i) {
        QAction* action = context_.actions.Action(static_cast<BarButton>(i));
        connect(action, &QAction::changed, this, &Mpris::RefreshSoon);
    }
    if (context_.bar) context_.bar->installEventFilter(this);
    shown_ = Current();
}

Mpris::~Mpris() {
    connection_.unregisterService(kServiceName);
    connection_.unregisterObject(kObjectPath);
}

QString Mpris::PlaybackStatus() const {
    const ReadingState& state = context_.state;
    if (state.Paused) return QStringLiteral("Paused");
    if (state.ReadingBody || state.ReadingHeaders) return QStringLiteral("Playing");
    return QStringLiteral("Stopped");
}

QVariantMap Mpris::Metadata() const {
    const Shown now = Current();
    QVariantMap metadata;
    metadata.insert(QStringLiteral("mpris:trackid"),
                    QVariant::fromValue(QDBusObjectPath(now.trackId)));
    if (now.trackId == kNoTrack) return metadata;
    metadata.insert(QStringLiteral("xesam:title"), now.title);
    metadata.insert(QStringLiteral("xesam:artist"), QStringList{now.artist});
    return metadata;
}

bool Mpris::CanPress(BarButton button) const {
    const QAction* action = context_.actions.Action(button);
    return action && action->isEnabled() && (!context_.bar || context_.bar->isEnabled());
}

Mpris::Shown Mpris::Current() const {
    Shown now;
    now.status = PlaybackStatus();
    const ReadingState& state = context_.state;
    const int index = state.CurrentIndex;
    if (state.MessageCount > 0 && index >= 0 &&
        index < static_cast<int>(state.KnownHeaders.size())) {
        const TabParts line = SplitAtTab(state.KnownHeaders[index]);
        now.trackId = TrackId(
            index < static_cast<int>(state.KnownIds.size()) ? state.KnownIds[index] : "", index);
        now.artist = FromCp1252(line.before);
        now.title = FromCp1252(line.after);
    } else {
        now.trackId = kNoTrack;
    }
    now.can = {CanPress(BarButton::Forw), CanPress(BarButton::Back), CanPress(BarButton::Play),
               CanPress(BarButton::Pauze)};
    return now;
}

void Mpris::Press(BarButton button, const char* method) {
    if (!CanPress(button)) {
        Trace(std::string("MPRIS ") + method + " refused");
        return;
    }
    Trace(std::string("MPRIS ") + method);
    QAction* action = context_.actions.Action(button);
    // The action looks at its enabled state once more when it runs.
    QTimer::singleShot(0, action, &QAction::trigger);
}

void Mpris::PlayPause() {
    // While something is spoken pause is the button that is on; otherwise play (which resumes
    // a paused reading).
    Press(CanPress(BarButton::Pauze) ? BarButton::Pauze : BarButton::Play, "PlayPause");
}

void Mpris::Raise() {
    Trace("MPRIS Raise");
    if (context_.raise) QTimer::singleShot(0, this, context_.raise);
}

void Mpris::Quit() {
    Trace("MPRIS Quit");
    if (context_.quit) QTimer::singleShot(0, this, context_.quit);
}

bool Mpris::eventFilter(QObject* watched, QEvent* event) {
    if (watched == context_.bar &&
        (event->type() == QEvent::ToolTipChange || event->type() == QEvent::EnabledChange))
        RefreshSoon();
    return QObject::eventFilter(watched, event);
}

void Mpris::RefreshSoon() {
    if (refreshQueued_) return;
    refreshQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        refreshQueued_ = false;
        Refresh();
    });
}

void Mpris::Refresh() {
    const Shown now = Current();
    if (now == shown_) return;
    QVariantMap changed;
    if (now.status != shown_.status) changed.insert(QStringLiteral("PlaybackStatus"), now.status);
    if (now.trackId != shown_.trackId || now.title != shown_.title || now.artist != shown_.artist)
        changed.insert(QStringLiteral("Metadata"), Metadata());
    static constexpr std::array<const char*, 4> kCanNames{"CanGoNext", "CanGoPrevious", "CanPlay",
                                                          "CanPause"};
    for (std::size_t i = 0; i < kCanNames.size(); ++i)
        if (now.can[i] != shown_.can[i])
            changed.insert(QString::fromLatin1(kCanNames[i]), now.can[i]);
    shown_ = now;
    QDBusMessage signal =
        QDBusMessage::createSignal(kObjectPath, kPropertiesInterface, "PropertiesChanged");
    signal << kPlayerInterface << changed << QStringList();
    connection_.send(signal);
}

} // namespace brevon

#include "Mpris.moc"
