#include "GlobalKeyBindings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QToolButton>
#include <QVBoxLayout>

#include <mail/Seams.h>
#include <platform/GlobalKeys.h>

#include "Trace.h"

namespace brevon {

namespace {

struct KeyRow {
    const char* name;    // the field's object name
    const char* caption; // Windows-1252
};

constexpr std::array<KeyRow, kKeyActionCount> kKeyRows{{
    {"edKeyPlayPause", "&Voorlezen en pauze"},
    {"edKeyStop", "S&toppen"},
    {"edKeyPrevious", "Vo&rige bericht"},
    {"edKeyNext", "Vo&lgende bericht"},
    {"edKeyCheck", "&Nu op nieuwe berichten controleren"},
    {"edKeyShowBar", "&Knoppenbalk tonen"},
    {"edKeyReadAll", "Alles voorl&ezen"},
    {"edKeyPreviousParagraph", "Vorige al&inea"},
    {"edKeyNextParagraph", "Volgen&de alinea"},
}};

std::string WithKey(std::string_view sentence, const std::string& key) {
    std::string text(sentence);
    text.replace(text.find("%KEY"), 4, key);
    return text;
}

// Key texts are ASCII.
QString Q(const std::string& text) {
    return QString::fromLatin1(text);
}

// The key field is a text field with a clear button inside; a screen reader lands on those, so
// they carry the row's name (and a Dutch description instead of the toolkit's English hint).
void NameForScreenReaders(QKeySequenceEdit* edit, const QString& name) {
    auto* field = edit->findChild<QLineEdit*>();
    if (!field) return;
    field->setAccessibleName(name);
    field->setAccessibleDescription(QString::fromLatin1("Druk de nieuwe toetscombinatie in"));
    for (QToolButton* button : field->findChildren<QToolButton*>())
        button->setAccessibleName(QString::fromLatin1("Wissen"));
}

} // namespace

GlobalKeyBindings::GlobalKeyBindings(const Settings& settings, SpeechOps& speech,
                                     std::array<Operation, kKeyActionCount> operations,
                                     std::function<bool()> allowed)
    : settings_(settings), speech_(speech), operations_(std::move(operations)),
      allowed_(std::move(allowed)), platformName_(QGuiApplication::platformName()),
      open_([](std::function<void(int)> handler) {
          return platform::OpenGlobalKeys(nullptr, std::move(handler));
      }) {}

void GlobalKeyBindings::UseDesktop(QString platformName, KeysOpener open) {
    delete notifier_;
    notifier_ = nullptr;
    keys_.reset();
    platformName_ = std::move(platformName);
    open_ = std::move(open);
}

GlobalKeyBindings::~GlobalKeyBindings() = default;

void GlobalKeyBindings::Open() {
    if (keys_) return;
    const auto handler = [this](int id) { Pressed(id); };
    // Only an X11 session lets a program take keys from the whole desktop; Wayland keeps them
    // for the compositor, and a screenless platform has none.
    if (platformName_ == "xcb" || platformName_ == "windows")
        keys_ = open_(handler);
    else
        keys_ = platform::NoGlobalKeys();
    if (const int descriptor = keys_->EventDescriptor(); descriptor >= 0) {
        notifier_ = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { keys_->Dispatch(); });
    }
}

void GlobalKeyBindings::Apply() {
    problems_.fill({});
    if (keys_) keys_->ReleaseAll();
    if (!settings_.GlobalKeys) return;
    Open();
    const bool wayland = platformName_.startsWith("wayland");
    for (int i = 0; i < kKeyActionCount; ++i) {
        const std::string& text = settings_.*kKeySettings[i];
        const std::optional<platform::KeyChord> chord = platform::ParseKeyChord(text);
        if (!chord) continue; // off
        const platform::GrabResult result = keys_->Grab(i, *chord);
        switch (result) {
        case platform::GrabResult::Grabbed:
            break;
        case platform::GrabResult::Taken:
            problems_[i] = "in gebruik door een ander programma";
            if (said_.insert(text).second) speech_.Say(nullptr, WithKey(kKeyTakenSentence, text));
            break;
        case platform::GrabResult::NoSuchKey:
            problems_[i] = "niet op dit toetsenbord";
            if (said_.insert(text).second) speech_.Say(nullptr, WithKey(kKeyMissingSentence, text));
            break;
        case platform::GrabResult::Unavailable:
            problems_[i] = "niet mogelijk op deze desktop";
            // Said only where a person sits at a desktop that refuses; a screenless run has
            // no one to tell.
            if (wayland && !saidNoKeys_) {
                saidNoKeys_ = true;
                speech_.Say(nullptr, std::string(kNoKeysSentence));
            }
            break;
        }
        Trace("Global key " + text +
              (result == platform::GrabResult::Grabbed ? " taken" : " not taken: " + problems_[i]));
    }
}

std::string GlobalKeyBindings::Problem(KeyAction action) const {
    return problems_[static_cast<int>(action)];
}

void GlobalKeyBindings::Pressed(int id) {
    if (id < 0 || id >= kKeyActionCount || !settings_.GlobalKeys) return;
    if (allowed_ && !allowed_()) return;
    Trace("Global key " + settings_.*kKeySettings[id]);
    if (operations_[id]) operations_[id]();
}

KeysPage::KeysPage(QWidget* parent) : QWidget(parent) {
    setObjectName("tsToetsen");
    auto* layout = new QVBoxLayout(this);
    cbSneltoetsen = new QCheckBox(QString::fromLatin1("&Sneltoetsen gebruiken"), this);
    cbSneltoetsen->setObjectName("cbSneltoetsen");
    layout->addWidget(cbSneltoetsen);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    layout->addStretch();
    for (int i = 0; i < kKeyActionCount; ++i) {
        lblKeys[i] = new QLabel(QString::fromLatin1(kKeyRows[i].caption), this);
        edKeys[i] = new QKeySequenceEdit(this);
        edKeys[i]->setObjectName(kKeyRows[i].name);
        edKeys[i]->setClearButtonEnabled(true);
        lblKeys[i]->setBuddy(edKeys[i]);
        NameForScreenReaders(edKeys[i], lblKeys[i]->text().remove('&'));
        lblProblems[i] = new QLabel(this);
        lblProblems[i]->setObjectName(QString(kKeyRows[i].name) + "Problem");
        // Shown only with something to say, so the page fits the dialog's size.
        lblProblems[i]->hide();
        grid->addWidget(lblKeys[i], 2 * i, 0);
        grid->addWidget(edKeys[i], 2 * i, 1);
        grid->addWidget(lblProblems[i], 2 * i + 1, 1);
        connect(edKeys[i], &QKeySequenceEdit::editingFinished, this, [this, i] { Check(i); });
    }
    connect(cbSneltoetsen, &QCheckBox::toggled, this, [this] { Enable(); });
}

void KeysPage::Load(const Settings& settings, const GlobalKeyBindings* bindings) {
    cbSneltoetsen->setChecked(settings.GlobalKeys);
    for (int i = 0; i < kKeyActionCount; ++i) {
        loaded_[i] = Q(settings.*kKeySettings[i]);
        edKeys[i]->setKeySequence(QKeySequence::fromString(loaded_[i], QKeySequence::PortableText));
        const std::string problem =
            bindings ? bindings->Problem(static_cast<KeyAction>(i)) : std::string();
        ShowProblem(i, problem.empty() ? QString() : "Werkt niet: " + Q(problem));
    }
    Enable();
}

void KeysPage::Save(Settings& settings) const {
    settings.GlobalKeys = cbSneltoetsen->isChecked();
    for (int i = 0; i < kKeyActionCount; ++i) {
        const QKeySequence sequence = edKeys[i]->keySequence();
        std::string text;
        if (!sequence.isEmpty())
            text = QKeySequence(sequence[0]).toString(QKeySequence::PortableText).toStdString();
        const std::optional<platform::KeyChord> chord = platform::ParseKeyChord(text);
        // A key the page cannot use keeps the setting (Check has put it back already).
        if (text.empty() || chord)
            settings.*kKeySettings[i] = chord ? platform::KeyChordText(*chord) : std::string();
    }
}

void KeysPage::Check(int index) {
    const QKeySequence sequence = edKeys[index]->keySequence();
    if (sequence.isEmpty()) return;
    // Only the first key counts; one that every program needs for itself is refused.
    const QKeySequence first(sequence[0]);
    if (platform::ParseKeyChord(first.toString(QKeySequence::PortableText).toStdString())) {
        if (sequence.count() > 1) edKeys[index]->setKeySequence(first);
        ShowProblem(index, QString());
        return;
    }
    edKeys[index]->setKeySequence(
        QKeySequence::fromString(loaded_[index], QKeySequence::PortableText));
    ShowProblem(index, QString::fromLatin1("Kies een toets met Ctrl, Alt, Shift of Meta erbij."));
}

void KeysPage::ShowProblem(int index, const QString& text) {
    lblProblems[index]->setText(text);
    lblProblems[index]->setVisible(!text.isEmpty());
}

void KeysPage::Enable() {
    for (int i = 0; i < kKeyActionCount; ++i) {
        lblKeys[i]->setEnabled(cbSneltoetsen->isChecked());
        edKeys[i]->setEnabled(cbSneltoetsen->isChecked());
    }
}

} // namespace brevon
