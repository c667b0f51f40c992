// The global keys as the user set them: taken from the desktop, each press doing what the
// matching bar button or tray item does, and the "Sneltoetsen" page of the options that edits them.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include <QWidget>

#include <app/Settings.h>

class QCheckBox;
class QKeySequenceEdit;
class QLabel;
class QSocketNotifier;

namespace engines {
class SpeechOps;
}
namespace platform {
class GlobalKeys;
}

namespace brevon {

using SpeechOps = engines::SpeechOps;

// In the order of kKeySettings.
enum class KeyAction {
    PlayPause,
    Stop,
    Previous,
    Next,
    Check,
    ShowBar,
    ReadAll,
    PreviousParagraph,
    NextParagraph
};
inline constexpr int kKeyActionCount = 9;

// Said once per key that cannot be taken; the other keys still work.
inline constexpr std::string_view kKeyTakenSentence =
    "De sneltoets %KEY is al in gebruik door een ander programma.";
inline constexpr std::string_view kKeyMissingSentence =
    "De sneltoets %KEY bestaat niet op dit toetsenbord.";
inline constexpr std::string_view kNoKeysSentence =
    "Op deze desktop kan ik geen sneltoetsen gebruiken.";

class GlobalKeyBindings final : public QObject {
    Q_OBJECT
public:
    using Operation = std::function<void()>;

    // operations: what each KeyAction does; allowed: whether the program listens to the user
    // now (not while the options or the about window are open).
    GlobalKeyBindings(const Settings& settings, SpeechOps& speech,
                      std::array<Operation, kKeyActionCount> operations,
                      std::function<bool()> allowed);
    ~GlobalKeyBindings() override;

    // Takes the keys the settings name, gives back the rest, and says what could not be taken
    // (each key once per run).
    void Apply();

    // Why a key does not work, for the options page; empty when it does or is off.
    std::string Problem(KeyAction action) const;

    // A press of the key of id, as the desktop reports it.
    void Pressed(int id);

    // What opens the desktop's keys, given where presses go.
    using KeysOpener =
        std::function<std::unique_ptr<platform::GlobalKeys>(std::function<void(int)> handler)>;
    // The desktop to take keys from, by Qt's name for its kind ("xcb", "wayland", "windows",
    // ...), and its opener; by default the one this process runs on. Call before Apply.
    void UseDesktop(QString platformName, KeysOpener open);

private:
    void Open();

    const Settings& settings_;
    SpeechOps& speech_;
    std::array<Operation, kKeyActionCount> operations_;
    std::function<bool()> allowed_;
    QString platformName_;
    KeysOpener open_;
    std::unique_ptr<platform::GlobalKeys> keys_;
    QSocketNotifier* notifier_ = nullptr;
    std::array<std::string, kKeyActionCount> problems_;
    std::set<std::string> said_;
    bool saidNoKeys_ = false;
};

// The options page "Sneltoetsen": one field per action and the on/off box.
class KeysPage final : public QWidget {
    Q_OBJECT
public:
    explicit KeysPage(QWidget* parent = nullptr);

    void Load(const Settings& settings, const GlobalKeyBindings* bindings);
    void Save(Settings& settings) const;

    QCheckBox* cbSneltoetsen;
    std::array<QLabel*, kKeyActionCount> lblKeys{};
    std::array<QKeySequenceEdit*, kKeyActionCount> edKeys{};
    std::array<QLabel*, kKeyActionCount> lblProblems{};

private:
    void Check(int index);
    void ShowProblem(int index, const QString& text);
    void Enable();

    std::array<QString, kKeyActionCount> loaded_; // what a refused key goes back to
};

} // namespace brevon
