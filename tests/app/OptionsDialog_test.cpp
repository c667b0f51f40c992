// The options dialog's widgets, driven offscreen against fakes for the engine and the mail side
// and a settings store in a temporary folder.
#include "EmailOpties.h"
#include "GlobalKeyBindings.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QCheckBox>
#include <QComboBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <mail/MailPresets.h>
#include <mail/ReadingState.h>
#include <mail/Seams.h>
#include <platform/Autostart.h>
#include <platform/FileSettingsStore.h>
#include <platform/GlobalKeys.h>

#include "Help.h"
#include "QtApplication.h"
#include "QtText.h"
#include "ShellFakes.h"
#include "Subprocess.h"
#include "TempDir.h"
#include "WidgetFit.h"

namespace fs = std::filesystem;
using namespace brevon;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Help.cpp belongs to the help window; the dialog only names the topic.
static std::vector<int> g_helpTopics;
void brevon::ShowHelpTopic(int topic) {
    g_helpTopics.push_back(topic);
}

namespace {

using Log = fakes::CallLog;
using fakes::FakeLanguageCheck;
using fakes::FakeMail;
using fakes::FakeSpeech;

// A caption as it is shown: the mnemonic's '&' only underlines its letter.
QString Shown(QString caption) {
    return caption.remove(QLatin1Char('&'));
}

bool Contains(const Log& log, const std::string& entry) {
    return std::find(log.begin(), log.end(), entry) != log.end();
}

Settings Sample() {
    Settings s;
    s.X = 300;
    s.Y = 500;
    s.XI = 25;
    s.YI = 60;
    s.Voice = 13;
    s.Pitch = 2;
    s.Volume = 7;
    s.Tempo = 4;
    s.Host = "pop.voorbeeld.nl";
    s.User = "Ren\xe9";
    s.Password = "\x80uro\x81"; // '€' and an undefined byte: both must survive the round trip
    s.Interval = 5;
    s.NumSaveMails = 20;
    s.UseNumSaveMails = false;
    s.Reverse = true;
    s.SkipReply = true;
    s.UseLid = false;
    s.SemiService9X = true;
    s.ShowWindow = true;
    s.Security = ConnectionSecurity::None; // as a settings file from before the choice reads
    return s;
}

class OptionsDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::EnsureQApplication(); }

    void SetUp() override {
        store_ = std::make_unique<platform::FileSettingsStore>(dir_ / "settings.reg");
        settings = Sample();
        g_helpTopics.clear();
    }
    void TearDown() override { dialog_.reset(); }

    // As ShowOptions opens it.
    TfrmOpties& Open() {
        if (!dialog_) {
            OptiesContext context{
                .settings = settings,
                .state = state,
                .store = *store_,
                .speech = speech,
                .languageCheck = &languageCheck,
                .mail = &mail,
                .barPosition =
                    [] {
                        return WindowPosition{111, 222};
                    },
                .afterClose = [this] { log.push_back("afterClose"); },
                .autostart = autostart_.get(),
                .keys = keys_,
                .passwordPlace = passwordPlace,
                .presets = &presets,
                .signIn = signIn,
                .canSignIn = canSignIn,
            };
            dialog_ = std::make_unique<TfrmOpties>(std::move(context));
        }
        dialog_->LoadOptions();
        dialog_->show();
        return *dialog_;
    }

    bool SomethingSaved() const { return fs::exists(dir_ / "settings.reg"); }
    Settings Stored() {
        Settings read;
        const LoadResult r = LoadSettings(*store_, read, [] { return EngineDefaults{}; });
        EXPECT_EQ(r.outcome, LoadResult::Outcome::Loaded);
        return read;
    }
    std::vector<std::string> EngineCalls() const {
        std::vector<std::string> calls;
        for (const std::string& entry : log)
            if (entry.rfind("Set", 0) == 0 && entry.rfind("SetOnline", 0) != 0)
                calls.push_back(entry);
        return calls;
    }

    // Closes the next message box once it is up, noting its text.
    void AnswerNextMessageBox() {
        QTimer::singleShot(0, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                ADD_FAILURE() << "no message box";
                return;
            }
            shownMessages.push_back(ToCp1252(box->text()));
            messageBoxParent = box->parentWidget();
            box->accept();
        });
    }

    testsupport::TempDir temp_{"options-dialog"};
    const fs::path dir_ = temp_.Path();
    std::unique_ptr<platform::FileSettingsStore> store_;
    Log log;
    Settings settings;
    ReadingState state;
    FakeSpeech speech{log};
    FakeMail mail{log, state};
    FakeLanguageCheck languageCheck{log};
    std::vector<std::string> shownMessages;
    QWidget* messageBoxParent = nullptr;
    std::function<PasswordPlace()> passwordPlace; // as the shell's keyring store answers
    // The logon entry in a configuration folder of the test's own.
    fs::path AutostartEntry() const { return dir_ / "config" / "autostart" / "brevon.desktop"; }
    std::unique_ptr<platform::Autostart> autostart_ = platform::XdgAutostart(dir_ / "config");
    MailPresets presets = TestPresets();
    // The shell's sign-in at a provider, as the test plays it.
    decltype(OptiesContext::signIn) signIn;
    std::function<bool(const std::string&)> canSignIn;
    std::unique_ptr<TfrmOpties> dialog_;

    // One provider of each way of signing in.
    static MailPresets TestPresets() {
        MailPresets p;
        std::string error;
        EXPECT_TRUE(p.Add("[oauth2 ms]\nname = Microsoft\nauthorization = https://a/\n"
                          "token = https://t/\nscopes = s\nmechanism = XOAUTH2\n"
                          "[domains hotmail.nl]\nhost = outlook.office365.com\nport = 995\n"
                          "security = SSL/TLS\nsignin = oauth2\noauth2 = ms\n"
                          "[domains gmail.com]\nhost = pop.gmail.com\nport = 995\n"
                          "security = SSL/TLS\nsignin = app-password\noauth2 = ms\n"
                          "[domains ziggo.nl]\nhost = pop.ziggo.nl\nport = 1995\n"
                          "security = STARTTLS\nsignin = password\n",
                          error))
            << error;
        return p;
    }
    GlobalKeyBindings* keys_ = nullptr; // the keys taken, whose problems the dialog shows
};

TEST_F(OptionsDialog, ShowsTheSettingsAfterLoadOptions) {
    TfrmOpties& d = Open();
    EXPECT_EQ(d.EditHost->text(), QStringLiteral("pop.voorbeeld.nl"));
    EXPECT_EQ(d.EditUserId->text(), QString::fromUtf8("René"));
    EXPECT_EQ(d.EditPasswd->text(), QString::fromUtf8("€uro\u0081"));
    EXPECT_EQ(d.EditPasswd->echoMode(), QLineEdit::Password);
    EXPECT_EQ(d.seIntervalTijd->value(), 5);
    EXPECT_EQ(d.seNumSave->value(), 20);
    EXPECT_FALSE(d.cbNumSave->isChecked());
    EXPECT_FALSE(d.lblNumSave->isEnabled());
    EXPECT_FALSE(d.seNumSave->isEnabled());
    // "Reverse" is set: the messages are not ordered from new to old.
    EXPECT_FALSE(d.cbReverse->isChecked());
    EXPECT_EQ(d.ComboBox1->currentIndex(), 3);
    EXPECT_EQ(d.ComboBox1->currentText(), QStringLiteral("Meisje"));
    EXPECT_EQ(d.tbTempo->value(), 4);
    EXPECT_EQ(d.tbPitch->value(), 2);
    EXPECT_EQ(d.tbVolume->value(), 7);
    EXPECT_TRUE(d.cbSkipInclude->isChecked());
    EXPECT_FALSE(d.cbUseLid->isChecked());
    EXPECT_TRUE(d.cbSemiService9X->isChecked());

    // A connection change noted by SaveOptions is forgotten by the next LoadOptions.
    d.EditHost->setText(QStringLiteral("pop.elders.nl"));
    d.SaveOptions();
    EXPECT_TRUE(d.ConnectionChanged());
    d.LoadOptions();
    EXPECT_FALSE(d.ConnectionChanged());

    // A voice code the list does not hold selects nothing; the box then shows no text.
    settings.Voice = 99;
    settings.UseNumSaveMails = true;
    d.LoadOptions();
    EXPECT_EQ(d.ComboBox1->currentIndex(), -1);
    EXPECT_EQ(d.ComboBox1->currentText(), QString());
    EXPECT_TRUE(d.lblNumSave->isEnabled());
    EXPECT_TRUE(d.seNumSave->isEnabled());
}

TEST_F(OptionsDialog, IsBuiltAsDescribed) {
    TfrmOpties& d = Open();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Instellingen"));
    EXPECT_EQ(d.Position().Left, 25);
    EXPECT_EQ(d.Position().Top, 60);
    EXPECT_EQ(d.minimumSize(), d.maximumSize()); // fixed size
    EXPECT_EQ(d.pcInfo->currentWidget(), d.tsHost);
    EXPECT_EQ(Shown(d.pcInfo->tabText(0)), QStringLiteral("Verbinding"));
    EXPECT_EQ(Shown(d.pcInfo->tabText(1)), QStringLiteral("Uitspraak"));
    EXPECT_EQ(Shown(d.pcInfo->tabText(2)), QStringLiteral("Algemeen"));
    EXPECT_TRUE(d.btOk->isDefault());
    EXPECT_EQ(Shown(d.btCancel->text()), QStringLiteral("Annuleren"));
    EXPECT_EQ(Shown(d.Button1->text()), QStringLiteral("Help"));

    ASSERT_EQ(d.ComboBox1->count(), 7);
    const char* voices[] = {"Man", "Vrouw", "Jongen", "Meisje", "Robot", "Muisje", "Slang"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(d.ComboBox1->itemText(i), QString::fromLatin1(voices[i]));
    EXPECT_TRUE(d.ComboBox1->isEditable());
    for (QSlider* s : {d.tbPitch, d.tbVolume, d.tbTempo}) {
        EXPECT_EQ(s->minimum(), 0);
        EXPECT_EQ(s->maximum(), 10);
        EXPECT_EQ(s->singleStep(), 1);
        EXPECT_NE(s->tickPosition(), QSlider::NoTicks);
    }
    EXPECT_EQ(d.seIntervalTijd->minimum(), 1);
    EXPECT_EQ(d.seIntervalTijd->maximum(), 99);
    EXPECT_EQ(d.seNumSave->minimum(), 1);
    EXPECT_EQ(d.seNumSave->maximum(), 9999);
    ASSERT_EQ(d.ComboSecurity->count(), 3);
    EXPECT_EQ(d.ComboSecurity->itemText(0), QStringLiteral("Geen"));
    EXPECT_EQ(d.ComboSecurity->itemText(1), QStringLiteral("STARTTLS"));
    EXPECT_EQ(d.ComboSecurity->itemText(2), QStringLiteral("SSL/TLS"));
    EXPECT_EQ(Shown(d.lblSecurity->text()), QStringLiteral("Beveiliging"));
    EXPECT_EQ(Shown(d.lblPort->text()), QStringLiteral("Poort"));

    // Every control can be found by its name.
    for (const char* name :
         {"EditAddress",  "lblAddress",      "lblSignIn",  "pcInfo",         "tsHost",
          "tsParameters", "tsAlgemeen",      "EditHost",   "lblSecurity",    "ComboSecurity",
          "lblPort",      "EditPort",        "EditUserId", "EditPasswd",     "lblServer",
          "lblUserName",  "lblPassword",     "lblIntTime", "seIntervalTijd", "lblIntTime2",
          "cbNumSave",    "lblNumSave",      "seNumSave",  "cbReverse",      "lblVoice",
          "ComboBox1",    "lblPitch",        "tbPitch",    "lblVolume",      "tbVolume",
          "lblTempo",     "tbTempo",         "btLexicon",  "btDefaults",     "cbSkipInclude",
          "cbUseLid",     "cbSemiService9X", "btOk",       "btCancel",       "Button1",
          "cbEigenTaal"})
        EXPECT_NE(d.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;

    // The start at logon is offered on every platform.
    EXPECT_FALSE(d.cbSemiService9X->isHidden());
    EXPECT_EQ(Shown(d.cbSemiService9X->text()), QStringLiteral("Brevon automatisch opstarten"));

    // Tab order: the buttons, the tabs, then each page top to bottom.
    const QWidget* order[] = {d.btOk,          d.btCancel,   d.Button1,        d.pcInfo,
                              d.EditAddress,   d.EditHost,   d.ComboSecurity,  d.EditPort,
                              d.EditUserId,    d.EditPasswd, d.seIntervalTijd, d.cbNumSave,
                              d.seNumSave,     d.cbReverse,  d.ComboBox1,      d.tbPitch,
                              d.tbVolume,      d.tbTempo,    d.btLexicon,      d.btDefaults,
                              d.cbSkipInclude, d.cbUseLid,   d.cbEigenTaal,    d.cbSemiService9X};
    std::vector<const QWidget*> chain;
    QWidget* w = d.btOk;
    for (int i = 0; i < 200 && chain.size() < std::size(order); ++i, w = w->nextInFocusChain())
        if (std::find(std::begin(order), std::end(order), w) != std::end(order)) chain.push_back(w);
    EXPECT_THAT(chain, ::testing::ElementsAreArray(order));
}

TEST_F(OptionsDialog, EveryCaptionFitsAndNoControlCoversAnother) {
    TfrmOpties& d = Open();
    for (int page = 0; page < d.pcInfo->count(); ++page) {
        d.pcInfo->setCurrentIndex(page);
        QWidget* sheet = d.pcInfo->widget(page);
        const QList<QWidget*> controls =
            sheet->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        for (QWidget* c : controls) {
            const QString name = c->objectName();
            EXPECT_TRUE(sheet->rect().contains(c->geometry()))
                << name.toStdString() << " leaves its page";
            EXPECT_GE(c->width(), c->minimumSizeHint().width()) << name.toStdString();
            if (qobject_cast<QLabel*>(c) || qobject_cast<QCheckBox*>(c) ||
                qobject_cast<QPushButton*>(c)) {
                EXPECT_GE(c->width(), c->sizeHint().width()) << name.toStdString() << " is cut";
            }
            for (QWidget* other : controls) {
                if (other != c && !c->isHidden() && !other->isHidden()) {
                    EXPECT_FALSE(c->geometry().intersects(other->geometry()))
                        << name.toStdString() << " covers " << other->objectName().toStdString();
                }
            }
        }
    }
    for (QPushButton* b : {d.btOk, d.btCancel, d.Button1}) {
        EXPECT_TRUE(d.rect().contains(b->geometry()));
        EXPECT_FALSE(b->geometry().intersects(d.pcInfo->geometry()));
        EXPECT_GE(b->width(), b->sizeHint().width());
    }
    // The sentence rows: 4 pixels between their parts.
    EXPECT_EQ(d.seIntervalTijd->x(), d.lblIntTime->geometry().right() + 1 + 4);
    EXPECT_EQ(d.lblIntTime2->x(), d.seIntervalTijd->geometry().right() + 1 + 4);
    EXPECT_EQ(d.seNumSave->x(), d.lblNumSave->geometry().right() + 1 + 4);

    // For looking at it: BREVON_GRAB_DIR=<folder> writes one picture per page.
    if (const char* grabDir = std::getenv("BREVON_GRAB_DIR")) {
        for (int page = 0; page < d.pcInfo->count(); ++page) {
            d.pcInfo->setCurrentIndex(page);
            d.grab().save(QString::fromLocal8Bit(grabDir) +
                          QStringLiteral("/opties-%1.png").arg(page));
        }
    }
}

// A screen reader reads every control with a name and its kind; the keyboard reaches each page
// and each field with an Alt+letter, no letter twice where it can be pressed.
TEST_F(OptionsDialog, EveryControlHasANameAndItsOwnMnemonic) {
    TfrmOpties& d = Open();
    const auto roleOf = [](const QWidget* w) {
        if (qobject_cast<const QLineEdit*>(w)) return QAccessible::EditableText;
        if (qobject_cast<const QCheckBox*>(w)) return QAccessible::CheckBox;
        if (qobject_cast<const QSpinBox*>(w)) return QAccessible::SpinBox;
        if (qobject_cast<const QSlider*>(w)) return QAccessible::Slider;
        if (qobject_cast<const QComboBox*>(w)) return QAccessible::ComboBox;
        if (qobject_cast<const QPushButton*>(w)) return QAccessible::Button;
        return QAccessible::NoRole;
    };
    const auto mnemonic = [](const QString& caption) {
        const qsizetype at = caption.indexOf(QLatin1Char('&'));
        return at >= 0 && at + 1 < caption.size() ? caption.at(at + 1).toLower() : QChar();
    };
    // The letters that work on every page: the tabs' and the buttons' below them.
    QString dialogLetters;
    for (int i = 0; i < d.pcInfo->count(); ++i)
        dialogLetters += mnemonic(d.pcInfo->tabText(i));
    for (const QPushButton* button : {d.btCancel, d.Button1})
        dialogLetters += mnemonic(button->text());
    EXPECT_FALSE(dialogLetters.contains(QChar())) << "a tab or a button without a mnemonic";

    // Reached with Tab instead: a box whose caption is its neighbour's field's name.
    const QWidget* const withoutLetter[] = {d.cbNumSave};
    for (QWidget* page : {d.tsHost, d.tsParameters, d.tsAlgemeen}) {
        SCOPED_TRACE(page->objectName().toStdString());
        QString letters = dialogLetters;
        for (const QWidget* w : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const auto* label = qobject_cast<const QLabel*>(w);
            const auto* button = qobject_cast<const QAbstractButton*>(w);
            const QChar letter = label    ? mnemonic(label->text())
                                 : button ? mnemonic(button->text())
                                          : QChar();
            if (!letter.isNull()) {
                EXPECT_FALSE(letters.contains(letter)) << "Alt+" << letter.toLatin1() << " twice";
                letters += letter;
                if (label) {
                    EXPECT_NE(label->buddy(), nullptr) << label->objectName().toStdString();
                }
            }
            if (w->focusPolicy() == Qt::NoFocus) continue;
            SCOPED_TRACE(w->objectName().toStdString());
            QAccessibleInterface* iface =
                QAccessible::queryAccessibleInterface(const_cast<QWidget*>(w));
            ASSERT_NE(iface, nullptr);
            EXPECT_FALSE(iface->text(QAccessible::Name).isEmpty());
            EXPECT_EQ(iface->role(), roleOf(w));
            const QList<QLabel*> labels = page->findChildren<QLabel*>();
            const bool buddied =
                std::any_of(labels.begin(), labels.end(), [w, &mnemonic](const QLabel* l) {
                    return l->buddy() == w && !mnemonic(l->text()).isNull();
                });
            if (std::find(std::begin(withoutLetter), std::end(withoutLetter), w) ==
                std::end(withoutLetter)) {
                EXPECT_TRUE(buddied || !letter.isNull()) << "no Alt+letter reaches it";
            }
        }
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(d.EditPasswd)->text(QAccessible::Name),
              "Wachtwoord");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(d.cbNumSave)->text(QAccessible::Name),
              "Maximum aantal op te halen berichten");

    // The letters work: a page by its tab's letter, a field by its name's.
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    const struct {
        char letter;
        QWidget* page;  // shown after the press
        QWidget* focus; // null: a tab's letter, which only turns the page
    } presses[] = {
        {'w', d.tsHost, d.EditPasswd},      {'r', d.tsHost, d.EditPort},
        {'u', d.tsParameters, nullptr},     {'o', d.tsParameters, d.tbVolume},
        {'s', d.tsParameters, d.ComboBox1}, {'g', d.tsAlgemeen, nullptr},
        {'e', d.tsAlgemeen, d.cbEigenTaal}, {'v', d.tsHost, nullptr},
        {'e', d.tsHost, d.seIntervalTijd},
    };
    for (const auto& press : presses) {
        SCOPED_TRACE(std::string("Alt+") + press.letter);
        QTest::keyClick(QApplication::focusWidget(), press.letter, Qt::AltModifier);
        EXPECT_EQ(d.pcInfo->currentWidget(), press.page);
        if (press.focus) {
            EXPECT_EQ(QApplication::focusWidget(), press.focus);
        }
    }
}

// Large text: every font size from 8 to 24 pt, at the scale factor the process runs with (the
// fit tests are run again with QT_SCALE_FACTOR 1.5 and 2).
class OptionsDialogAtFontSize : public OptionsDialog, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        OptionsDialog::SetUp();
        QFont font = usual_;
        font.setPointSize(GetParam());
        QApplication::setFont(font);
    }
    void TearDown() override {
        OptionsDialog::TearDown();
        QApplication::setFont(usual_);
    }
    const QFont usual_ = QApplication::font();
};

// The metrics a caption is sized by and the glyphs drawn can differ by a pixel or two at large
// sizes; a caption whose letters reach its last column has lost the rest of them.
void ExpectNoCaptionInkOnItsEdge(QWidget* page) {
    for (QLabel* label : page->findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty()) continue;
        const QImage drawn = label->grab().toImage();
        // A stroke cut through leaves dark pixels on the edge; a letter that only touches it
        // leaves a faint trace of smoothing.
        const int ground = qGray(drawn.pixel(0, 0));
        const int edge = drawn.width() - 1;
        int inked = 0;
        for (int y = 0; y < drawn.height(); ++y)
            if (std::abs(qGray(drawn.pixel(edge, y)) - ground) > 100) ++inked;
        EXPECT_EQ(inked, 0) << label->text().toStdString() << " is cut at its right edge";
    }
}

TEST_P(OptionsDialogAtFontSize, ShowsEveryPageWhole) {
    TfrmOpties& d = Open();
    for (int page = 0; page < d.pcInfo->count(); ++page) {
        d.pcInfo->setCurrentIndex(page);
        SCOPED_TRACE(d.pcInfo->tabText(page).toStdString());
        testsupport::ExpectNothingClipped(&d);
        if (d.pcInfo->currentWidget() == d.tsParameters || d.pcInfo->currentWidget() == d.tsToetsen)
            ExpectNoCaptionInkOnItsEdge(d.pcInfo->currentWidget());
        if (const char* grabDir = std::getenv("BREVON_GRAB_DIR"))
            d.grab().save(QStringLiteral("%1/opties-%2pt-%3.png")
                              .arg(QString::fromLocal8Bit(grabDir))
                              .arg(GetParam())
                              .arg(page));
    }
    // The sentence rows keep 4 pixels between their parts.
    EXPECT_EQ(d.seIntervalTijd->x(), d.lblIntTime->geometry().right() + 1 + 4);
    EXPECT_EQ(d.lblIntTime2->x(), d.seIntervalTijd->geometry().right() + 1 + 4);
    EXPECT_EQ(d.seNumSave->x(), d.lblNumSave->geometry().right() + 1 + 4);
}

TEST_P(OptionsDialogAtFontSize, SizesThePortFieldForFiveDigits) {
    TfrmOpties& d = Open();
    const QLineEdit* port = d.EditPort;
    // The digits, the field's frame on both sides and the two-pixel margins inside it.
    const int digits = port->fontMetrics().horizontalAdvance(QStringLiteral("88888"));
    const int frame = port->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, port);
    EXPECT_GE(port->width(), digits + 2 * frame + 4);
    EXPECT_LT(port->width(), d.EditHost->width() / 2) << "a port is no host name";
    EXPECT_EQ(port->maxLength(), 5);
}

INSTANTIATE_TEST_SUITE_P(Points, OptionsDialogAtFontSize, ::testing::Range(8, 25),
                         [](const ::testing::TestParamInfo<int>& size) {
                             return std::to_string(size.param) + "pt";
                         });

TEST_F(OptionsDialog, SecurityAndPortAreShownStoredAndCountAsAConnectionChange) {
    settings.Security = ConnectionSecurity::StartTls;
    settings.Port = 1110;
    TfrmOpties& d = Open();
    EXPECT_EQ(d.ComboSecurity->currentText(), QStringLiteral("STARTTLS"));
    EXPECT_EQ(d.EditPort->text(), QStringLiteral("1110"));
    QTest::keyClicks(d.EditPort, QStringLiteral("x"));
    EXPECT_EQ(d.EditPort->text(), QStringLiteral("1110")) << "digits only";

    d.ComboSecurity->setCurrentIndex(2);
    d.EditPort->clear();
    d.EditHost->setText(QStringLiteral("pop.voorbeeld.nl:9950"));
    d.btOk->click();
    EXPECT_TRUE(Contains(log, "CheckMail")) << "a new connection is checked at once";
    EXPECT_EQ(SecurityText(Stored().Security), "SSL/TLS");
    EXPECT_EQ(PortText(Stored().Port), "");
    EXPECT_EQ(Stored().Host, "pop.voorbeeld.nl:9950");

    // Shown again as written.
    d.LoadOptions();
    EXPECT_EQ(d.EditHost->text(), QStringLiteral("pop.voorbeeld.nl:9950"));
    EXPECT_EQ(d.EditPort->text(), QString());
    EXPECT_EQ(d.ComboSecurity->currentText(), QStringLiteral("SSL/TLS"));
}

TEST_F(OptionsDialog, TheKeysPageShowsTakesAndStoresTheGlobalKeys) {
    settings.GlobalKeys = true;
    settings.KeyPlayPause = "Ctrl+Alt+Shift+P";
    settings.KeyPrevious = "Ctrl+Alt+Shift+V";
    settings.KeyNext = "Ctrl+Alt+Shift+L";
    settings.KeyStop = ""; // off
    TfrmOpties& d = Open();
    KeysPage& page = *d.tsToetsen;
    EXPECT_EQ(d.pcInfo->tabText(d.pcInfo->indexOf(&page)), QStringLiteral("Sne&ltoetsen"));
    EXPECT_TRUE(page.cbSneltoetsen->isChecked());
    EXPECT_EQ(page.edKeys[0]->keySequence().toString(QKeySequence::PortableText),
              QStringLiteral("Ctrl+Alt+Shift+P"));
    EXPECT_TRUE(page.edKeys[1]->keySequence().isEmpty());

    const auto type = [](QKeySequenceEdit* edit, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QSignalSpy finished(edit, &QKeySequenceEdit::editingFinished);
        QTest::keyClick(edit, key, modifiers);
        EXPECT_TRUE(finished.wait(5000));
    };
    // A key without a modifier would be taken from every program: refused, the old one back.
    type(page.edKeys[2], Qt::Key_X, Qt::NoModifier);
    EXPECT_EQ(page.edKeys[2]->keySequence().toString(QKeySequence::PortableText),
              QStringLiteral("Ctrl+Alt+Shift+V"));
    EXPECT_FALSE(page.lblProblems[2]->text().isEmpty());
    type(page.edKeys[3], Qt::Key_N, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(page.lblProblems[3]->text().isEmpty());

    page.cbSneltoetsen->setChecked(false);
    EXPECT_FALSE(page.edKeys[0]->isEnabled());
    d.btOk->click();
    const Settings stored = Stored();
    EXPECT_FALSE(stored.GlobalKeys);
    EXPECT_EQ(stored.KeyPlayPause, "Ctrl+Alt+Shift+P");
    EXPECT_EQ(stored.KeyStop, "");
    EXPECT_EQ(stored.KeyPrevious, "Ctrl+Alt+Shift+V");
    EXPECT_EQ(stored.KeyNext, "Ctrl+Alt+N");
}

// Keys of a desktop that answers each grab as the table says.
class ScriptedKeys final : public platform::GlobalKeys {
public:
    explicit ScriptedKeys(std::map<std::string, platform::GrabResult> results)
        : results_(std::move(results)) {}
    platform::GrabResult Grab(int, const platform::KeyChord& chord) override {
        const auto it = results_.find(platform::KeyChordText(chord));
        return it == results_.end() ? platform::GrabResult::Grabbed : it->second;
    }
    void ReleaseAll() override {}
    bool Available() const override { return true; }
    int EventDescriptor() const override { return -1; }
    void Dispatch() override {}

private:
    std::map<std::string, platform::GrabResult> results_;
};

// What cannot be taken is said once, however often the keys are applied again (at every OK),
// and shown beside each key on the dialog's page. A Wayland session lets no program take keys:
// one sentence for all of them; a screenless run has no one to tell.
TEST_F(OptionsDialog, KeysThatCannotBeTakenAreSaidOnceAndShownOnTheKeysPage) {
    const std::string noKeys = "Say " + std::string(kNoKeysSentence);
    const std::string taken =
        "Say De sneltoets Ctrl+Alt+Shift+P is al in gebruik door een ander programma.";
    const QString impossible = "Werkt niet: niet mogelijk op deze desktop";
    const QString inUse = "Werkt niet: in gebruik door een ander programma";
    const struct {
        const char* desktop;
        Log said;
        std::array<QString, kKeyActionCount> shown; // stop is off: never a problem
    } cases[] = {
        {"wayland", {noKeys}, {impossible, "", impossible, impossible, impossible, impossible}},
        {"wayland-egl", {noKeys}, {impossible, "", impossible, impossible, impossible, impossible}},
        {"offscreen", {}, {impossible, "", impossible, impossible, impossible, impossible}},
        {"xcb", {taken}, {inUse, "", "", "", "", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.desktop);
        settings.GlobalKeys = true;
        settings.KeyPlayPause = "Ctrl+Alt+Shift+P";
        settings.KeyStop = "";
        settings.KeyPrevious = "Ctrl+Alt+Shift+V";
        settings.KeyNext = "Ctrl+Alt+Shift+L";
        settings.KeyCheck = "Ctrl+Alt+Shift+C";
        settings.KeyShowBar = "Ctrl+Alt+Shift+B";
        GlobalKeyBindings keys(settings, speech, {}, nullptr);
        keys.UseDesktop(c.desktop, [](std::function<void(int)>) {
            return std::make_unique<ScriptedKeys>(std::map<std::string, platform::GrabResult>{
                {"Ctrl+Alt+Shift+P", platform::GrabResult::Taken}});
        });
        log.clear();
        keys.Apply();
        keys.Apply();
        EXPECT_EQ(log, c.said);

        dialog_.reset();
        keys_ = &keys;
        TfrmOpties& d = Open();
        KeysPage& page = *d.tsToetsen;
        d.pcInfo->setCurrentWidget(&page);
        for (int i = 0; i < kKeyActionCount; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(page.lblProblems[i]->text(), c.shown[i]);
            EXPECT_EQ(page.lblProblems[i]->isVisible(), !c.shown[i].isEmpty());
        }
        dialog_.reset();
        keys_ = nullptr;
    }
}

TEST_F(OptionsDialog, OnlyTheIntervalChangedSavesAndClosesWithoutACheck) {
    TfrmOpties& d = Open();
    d.move(40, 50);
    d.seIntervalTijd->setValue(12);
    QTest::mouseClick(d.btOk, Qt::LeftButton);

    EXPECT_FALSE(Contains(log, "CheckMail"));
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(std::count(log.begin(), log.end(), "afterClose"), 1);
    EXPECT_THAT(EngineCalls(),
                ElementsAre("SetTempo 4", "SetPitch 2", "SetVolume 7", "SetVoice 13"));
    Settings expected = Sample();
    expected.Interval = 12;
    expected.X = 111; // the bar's place, from the shell
    expected.Y = 222;
    expected.XI = 40; // the dialog's own
    expected.YI = 50;
    EXPECT_EQ(settings, expected);
    EXPECT_EQ(Stored(), expected);
    EXPECT_EQ(d.btOk->text(), QStringLiteral("OK"));
}

TEST_F(OptionsDialog, ReadingMailInItsOwnLanguageIsStoredAndLoadsTheLanguageLibrary) {
    TfrmOpties& d = Open();
    EXPECT_EQ(Shown(d.cbEigenTaal->text()),
              QStringLiteral("Anderstalige berichten in hun eigen taal voorlezen"));
    EXPECT_FALSE(d.cbEigenTaal->isChecked());
    // Under the language gate's box, which it goes with.
    EXPECT_EQ(d.cbEigenTaal->parentWidget(), d.tsAlgemeen);
    EXPECT_GT(d.cbEigenTaal->y(), d.cbUseLid->y());
    d.cbEigenTaal->setChecked(true);
    QTest::mouseClick(d.btOk, Qt::LeftButton);

    EXPECT_FALSE(Contains(log, "CheckMail")); // not a connection change
    EXPECT_TRUE(Contains(log, "ApplyLanguageCheckSetting"));
    EXPECT_TRUE(settings.ReadInOwnLanguage);
    EXPECT_TRUE(Stored().ReadInOwnLanguage);
    d.LoadOptions();
    EXPECT_TRUE(d.cbEigenTaal->isChecked());
}

TEST_F(OptionsDialog, TheListeningBoxesOfTheGeneralPageAreStored) {
    TfrmOpties& d = Open();
    const struct {
        QCheckBox* box;
        const char* caption;
        bool Settings::*value;
    } cases[] = {
        {d.cbMeteenVoorlezen, "Nieuwe berichten meteen voorlezen", &Settings::ReadNewAtOnce},
        {d.cbBijlagenNoemen, "Bijlagen noemen", &Settings::SayAttachments},
        {d.cbTijdNoemen, "Tijd van ontvangst noemen", &Settings::SayArrivalTime},
        {d.cbPerAlinea, "Per alinea voorlezen", &Settings::ReadByParagraph},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        Open();
        EXPECT_EQ(Shown(c.box->text()), QString::fromLatin1(c.caption));
        EXPECT_EQ(c.box->parentWidget(), d.tsAlgemeen);
        EXPECT_FALSE(c.box->isChecked());
        c.box->setChecked(true);
        QTest::mouseClick(d.btOk, Qt::LeftButton);
        EXPECT_FALSE(Contains(log, "CheckMail")); // not a connection change
        EXPECT_TRUE(settings.*c.value);
        EXPECT_TRUE(Stored().*c.value);
        d.LoadOptions();
        EXPECT_TRUE(c.box->isChecked());
    }
}

TEST_F(OptionsDialog, AnotherUserEmptiesTheListsAndChecksTheNewMailbox) {
    state.KnownIds = {"a", "b"};
    state.KnownHeaders = {"A\tx", "B\ty"};
    state.Online = false;
    TfrmOpties& d = Open();
    bool busyLooked = false;
    mail.duringCheck = [&] {
        // While the check runs: "Wacht...", both buttons off, and no close gets through.
        EXPECT_EQ(d.btOk->text(), QStringLiteral("Wacht..."));
        EXPECT_FALSE(d.btOk->isEnabled());
        EXPECT_FALSE(d.btCancel->isEnabled());
        EXPECT_TRUE(Contains(log, "SetVoice 13")); // the engine has its values already
        d.close();
        QTest::keyClick(&d, Qt::Key_Escape);
        EXPECT_TRUE(d.isVisible());
        busyLooked = true;
    };
    d.EditUserId->setText(QStringLiteral("piet"));
    d.btOk->click();

    EXPECT_TRUE(busyLooked);
    EXPECT_THAT(state.KnownIds, IsEmpty());
    EXPECT_THAT(state.KnownHeaders, IsEmpty());
    const auto online = std::find(log.begin(), log.end(), "SetOnline true");
    ASSERT_NE(online, log.end());
    EXPECT_EQ(online + 1, std::find(log.begin(), log.end(), "CheckMail"));
    EXPECT_FALSE(d.isVisible()); // the check succeeded: online
    EXPECT_EQ(Stored().User, "piet");
}

TEST_F(OptionsDialog, OkWaitsWhileTheMailSideTalksToTheServer) {
    state.KnownIds = {"a"};
    state.KnownHeaders = {"A\tx"};
    TfrmOpties& d = Open();
    d.EditUserId->setText(QStringLiteral("piet"));
    mail.sessionOpen = true;
    d.btOk->click();
    // Nothing applied yet: the list the check is working on stays as it is.
    EXPECT_EQ(state.KnownIds.size(), 1u);
    EXPECT_EQ(d.btOk->text(), QStringLiteral("Wacht..."));
    EXPECT_FALSE(d.btCancel->isEnabled());
    d.close();
    EXPECT_TRUE(d.isVisible());
    QTest::qWait(150);
    EXPECT_NE(settings.User, "piet");

    mail.sessionOpen = false;
    QTRY_VERIFY_WITH_TIMEOUT(!d.isVisible(), 5000);
    EXPECT_EQ(Stored().User, "piet");
    EXPECT_THAT(state.KnownIds, IsEmpty());
    EXPECT_TRUE(Contains(log, "CheckMail"));
}

TEST_F(OptionsDialog, StaysOpenOnTheFaultyFieldWhenTheCheckFails) {
    TfrmOpties& d = Open();
    mail.duringCheck = [&] {
        // What the failing check does: offline, the dialog shown again on the user field.
        mail.SetOnline(false);
        d.LoadOptions();
        d.show();
        d.SelectConnectionField(true);
    };
    d.pcInfo->setCurrentWidget(d.tsAlgemeen);
    d.EditUserId->setText(QStringLiteral("onbekend"));
    d.btOk->click();

    EXPECT_TRUE(d.isVisible());
    EXPECT_FALSE(Contains(log, "afterClose"));
    EXPECT_EQ(d.pcInfo->currentWidget(), d.tsHost);
    EXPECT_EQ(d.focusWidget(), d.EditUserId);
    EXPECT_TRUE(d.btOk->isEnabled());
    EXPECT_TRUE(d.btCancel->isEnabled());
    EXPECT_EQ(d.btOk->text(), QStringLiteral("OK"));
    EXPECT_EQ(d.EditUserId->text(), QStringLiteral("onbekend")); // saved, shown again

    // Annuleren still closes it.
    d.btCancel->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(std::count(log.begin(), log.end(), "afterClose"), 1);
}

TEST_F(OptionsDialog, AnUnknownVoiceTypedKeepsTheVoice) {
    TfrmOpties& d = Open();
    d.ComboBox1->setEditText(QStringLiteral("Zeemeermin"));
    d.btOk->click();
    EXPECT_EQ(settings.Voice, 13);
    EXPECT_TRUE(Contains(log, "SetVoice 13"));
    EXPECT_EQ(d.ComboBox1->count(), 7); // the typed name did not join the list

    Open().ComboBox1->setEditText(QStringLiteral("Slang"));
    d.btOk->click();
    EXPECT_EQ(settings.Voice, 17);
}

// FakeSpeech's defaults: voice 10 ("Jongen"), tempo 6, pitch 4, volume 9.
TEST_F(OptionsDialog, DefaultsThenCancelLeaveTheRecordAndTheEngineAsTheyWere) {
    TfrmOpties& d = Open();
    d.btDefaults->click();
    EXPECT_EQ(d.tbTempo->value(), 6);
    EXPECT_EQ(d.tbPitch->value(), 4);
    EXPECT_EQ(d.tbVolume->value(), 9);
    EXPECT_EQ(d.ComboBox1->currentText(), QStringLiteral("Jongen"));

    QTest::mouseClick(d.btCancel, Qt::LeftButton);
    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(Contains(log, "afterClose"));
    EXPECT_EQ(settings, Sample());
    EXPECT_THAT(EngineCalls(), IsEmpty());
    EXPECT_FALSE(SomethingSaved());

    // Opened again, it shows the record, and OK then stores nothing of the defaults.
    Open();
    EXPECT_EQ(d.tbTempo->value(), 4);
    EXPECT_EQ(d.ComboBox1->currentText(), QStringLiteral("Meisje"));
    d.btOk->click();
    EXPECT_THAT(EngineCalls(),
                ElementsAre("SetTempo 4", "SetPitch 2", "SetVolume 7", "SetVoice 13"));
    EXPECT_EQ(Stored().Voice, 13);
    EXPECT_EQ(Stored().Tempo, 4);
}

TEST_F(OptionsDialog, OkAfterDefaultsStoresThemAndHandsThemToTheEngine) {
    for (const std::int32_t defaultVoice : {10, 99}) { // 99: a voice the list lacks
        log.clear();
        settings = Sample();
        speech.defaults.voice = defaultVoice;
        TfrmOpties& d = Open();
        d.btDefaults->click();
        d.btOk->click();
        EXPECT_FALSE(d.isVisible());
        EXPECT_THAT(EngineCalls(), ElementsAre("SetTempo 6", "SetPitch 4", "SetVolume 9",
                                               "SetVoice " + std::to_string(defaultVoice)));
        Settings expected = Sample();
        expected.Voice = defaultVoice;
        expected.Tempo = 6;
        expected.Pitch = 4;
        expected.Volume = 9;
        expected.X = 111;
        expected.Y = 222;
        expected.XI = d.Position().Left;
        expected.YI = d.Position().Top;
        EXPECT_EQ(settings, expected) << defaultVoice;
        EXPECT_EQ(Stored(), expected) << defaultVoice;
    }
}

TEST_F(OptionsDialog, OkWritesAndRemovesTheLogonEntryAndAnnulerenLeavesIt) {
    settings.SemiService9X = false;
    TfrmOpties& d = Open();
    d.cbSemiService9X->setChecked(true);
    d.btOk->click();
    ASSERT_TRUE(fs::is_regular_file(AutostartEntry()));
    const std::string entry = testsupport::ReadWholeFile(AutostartEntry());
    // It starts this very program.
    const std::string exec =
        "\nExec=\"" + QCoreApplication::applicationFilePath().toStdString() + "\"\n";
    EXPECT_NE(entry.find(exec), std::string::npos) << entry;
    EXPECT_TRUE(Stored().SemiService9X);

    Open().cbSemiService9X->setChecked(false);
    d.btCancel->click();
    EXPECT_EQ(testsupport::ReadWholeFile(AutostartEntry()), entry);
    EXPECT_TRUE(Stored().SemiService9X);

    Open().cbSemiService9X->setChecked(false);
    d.btOk->click();
    EXPECT_FALSE(fs::exists(AutostartEntry()));
    EXPECT_FALSE(Stored().SemiService9X);
}

TEST_F(OptionsDialog, AClearedFetchLimitBoxGreysTheFieldAndStillStoresItsNumber) {
    settings.UseNumSaveMails = true;
    TfrmOpties& d = Open();
    d.seNumSave->setValue(50);
    QTest::mouseClick(d.cbNumSave, Qt::LeftButton);
    EXPECT_FALSE(d.cbNumSave->isChecked());
    EXPECT_FALSE(d.lblNumSave->isEnabled());
    EXPECT_FALSE(d.seNumSave->isEnabled());

    d.btOk->click();
    EXPECT_FALSE(settings.UseNumSaveMails);
    EXPECT_EQ(settings.NumSaveMails, 50);
    EXPECT_TRUE(Contains(log, "CheckMail")); // both are part of the connection
}

TEST_F(OptionsDialog, NumberFieldsTakeTheRuleForWhatWasTyped) {
    TfrmOpties& d = Open();
    // The fields' own editors, as if typed into.
    d.seIntervalTijd->findChild<QLineEdit*>()->setText(QString());      // not a number: the minimum
    d.seNumSave->findChild<QLineEdit*>()->setText(QStringLiteral("0")); // below: the minimum
    d.btOk->click();
    EXPECT_EQ(settings.Interval, 1);
    EXPECT_EQ(settings.NumSaveMails, 1);
}

TEST_F(OptionsDialog, RefusesATooLongPasswordAndTakesOneOf255) {
    TfrmOpties& d = Open();
    d.pcInfo->setCurrentWidget(d.tsParameters);
    d.seIntervalTijd->setValue(30);
    d.EditPasswd->setText(QString(256, QChar(0xE9))); // 256 bytes in Windows-1252
    AnswerNextMessageBox();
    d.btOk->click();

    const std::string text = "Het wachtwoord is te lang. Gebruik hoogstens 255 tekens.";
    EXPECT_THAT(shownMessages, ElementsAre(text));
    EXPECT_EQ(messageBoxParent, &d);
    EXPECT_TRUE(Contains(log, "Say " + text));
    EXPECT_TRUE(d.isVisible());
    EXPECT_FALSE(Contains(log, "afterClose"));
    EXPECT_FALSE(SomethingSaved());
    EXPECT_EQ(settings, Sample());
    EXPECT_THAT(EngineCalls(), IsEmpty());
    EXPECT_EQ(d.pcInfo->currentWidget(), d.tsHost);
    EXPECT_EQ(d.focusWidget(), d.EditPasswd);
    EXPECT_TRUE(d.btOk->isEnabled());
    EXPECT_EQ(d.btOk->text(), QStringLiteral("OK"));

    d.EditPasswd->setText(QString(255, QChar(0xE9)));
    d.btOk->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(Stored().Password, std::string(255, '\xe9'));
    EXPECT_EQ(settings.Interval, 30);
}

TEST_F(OptionsDialog, RefusesAPasswordCharacterTheStoreCannotHold) {
    TfrmOpties& d = Open();
    d.EditPasswd->setText(QString::fromUtf8("geheim\u263A"));
    AnswerNextMessageBox();
    d.btOk->click();
    EXPECT_THAT(shownMessages,
                ElementsAre("Het wachtwoord bevat een teken dat niet gebruikt kan worden."));
    EXPECT_TRUE(d.isVisible());
    EXPECT_FALSE(SomethingSaved());
    EXPECT_EQ(settings.Password, Sample().Password);
}

TEST_F(OptionsDialog, EveryWayOfClosingRunsFormClose) {
    TfrmOpties& d = Open();
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible());
    Open().close(); // the window's own close button
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(std::count(log.begin(), log.end(), "afterClose"), 2);
    d.close(); // already closed: nothing more to restore
    EXPECT_EQ(std::count(log.begin(), log.end(), "afterClose"), 2);
    EXPECT_FALSE(SomethingSaved());
}

TEST_F(OptionsDialog, SaysOnTheConnectionPageWhereThePasswordIsKept) {
    EXPECT_TRUE(Open().lblPasswordPlace->isHidden()) << "nothing said when nobody knows";

    struct Case {
        PasswordPlace place;
        std::string_view line;
        std::string_view description;
    };
    const Case cases[] = {
        {PasswordPlace::Keyring, kPasswordInKeyringLine, kPasswordInKeyringDescription},
        {PasswordPlace::SettingsFile, kPasswordInFileLine, kPasswordInFileDescription},
    };
    PasswordPlace now = PasswordPlace::Keyring;
    passwordPlace = [&now] { return now; };
    dialog_.reset();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.line));
        now = c.place; // asked anew each time the dialog is shown
        TfrmOpties& dialog = Open();
        EXPECT_TRUE(dialog.lblPasswordPlace->isVisibleTo(dialog.tsHost));
        EXPECT_EQ(ToCp1252(dialog.lblPasswordPlace->text()), c.line);
        EXPECT_EQ(ToCp1252(dialog.EditPasswd->accessibleDescription()), c.description);
        EXPECT_EQ(dialog.lblPasswordPlace->parentWidget(), dialog.tsHost);
    }
}

TEST_F(OptionsDialog, WordListHelpAndTheConnectionFields) {
    TfrmOpties& d = Open();
    d.btLexicon->click();
    EXPECT_EQ(speech.lexiconOwner, static_cast<void*>(static_cast<QWidget*>(&d)));
    d.Button1->click();
    EXPECT_THAT(g_helpTopics, ElementsAre(2));

    d.pcInfo->setCurrentWidget(d.tsParameters);
    d.SelectConnectionField(false);
    EXPECT_EQ(d.pcInfo->currentWidget(), d.tsHost);
    EXPECT_EQ(d.focusWidget(), d.EditHost);
    d.SelectConnectionField(true);
    EXPECT_EQ(d.focusWidget(), d.EditUserId);
    // Without a server (a first run) the address comes first.
    d.EditHost->clear();
    d.SelectConnectionField(false);
    EXPECT_EQ(d.focusWidget(), d.EditAddress);
}

TEST_F(OptionsDialog, AnAddressOfAKnownProviderFillsTheConnectionFieldsAndSaysWhatItNeeds) {
    struct Case {
        const char* typed;
        const char* host; // what the fields then show; the sample's own for an unknown domain
        const char* security;
        const char* port;
        const char* user;
        const char* hint;
    };
    const Case cases[] = {
        {"jan@hotmail.nl", "outlook.office365.com", "SSL/TLS", "995", "jan@hotmail.nl",
         "Aanmelden bij Microsoft"},
        {"Piet@GMail.com ", "pop.gmail.com", "SSL/TLS", "995", "Piet@GMail.com",
         "Gebruik een app-wachtwoord"},
        {"oma@ziggo.nl", "pop.ziggo.nl", "STARTTLS", "1995", "oma@ziggo.nl", ""},
        {"jan@elders.example", "pop.voorbeeld.nl", "Geen", "", "Ren\u00e9", ""},
        {"jan@hotmail", "pop.voorbeeld.nl", "Geen", "", "Ren\u00e9", ""},
        {"hotmail.nl", "pop.voorbeeld.nl", "Geen", "", "Ren\u00e9", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        TfrmOpties& d = Open();
        d.EditAddress->setFocus();
        QTest::keyClicks(d.EditAddress, QString::fromUtf8(c.typed));
        EXPECT_EQ(d.EditHost->text(), QString::fromUtf8(c.host));
        EXPECT_EQ(d.ComboSecurity->currentText(), QString::fromUtf8(c.security));
        EXPECT_EQ(d.EditPort->text(), QString::fromUtf8(c.port));
        EXPECT_EQ(d.EditUserId->text(), QString::fromUtf8(c.user));
        EXPECT_EQ(d.lblSignIn->text(), QString::fromUtf8(c.hint));
        EXPECT_EQ(d.EditPasswd->text(), QString::fromUtf8("€uro\u0081")) << "never filled in";
    }

    // Filled in, still editable, and stored with the address at OK.
    TfrmOpties& d = Open();
    QTest::keyClicks(d.EditAddress, QStringLiteral("oma@ziggo.nl"));
    d.EditPort->setText(QStringLiteral("995"));
    d.btOk->click();
    const Settings stored = Stored();
    EXPECT_EQ(stored.Address, "oma@ziggo.nl");
    EXPECT_EQ(stored.Host, "pop.ziggo.nl");
    EXPECT_EQ(SecurityText(stored.Security), "STARTTLS");
    EXPECT_EQ(PortText(stored.Port), "995");
    EXPECT_EQ(stored.User, "oma@ziggo.nl");
    EXPECT_TRUE(Contains(log, "CheckMail"));

    // Loading shows the stored address and its hint, and fills nothing in.
    settings.Address = "jan@hotmail.nl";
    settings.Host = "pop.eigen.nl";
    d.LoadOptions();
    EXPECT_EQ(d.EditAddress->text(), QStringLiteral("jan@hotmail.nl"));
    EXPECT_EQ(d.lblSignIn->text(), QStringLiteral("Aanmelden bij Microsoft"));
    EXPECT_EQ(d.EditHost->text(), QStringLiteral("pop.eigen.nl"));
}

TEST_F(OptionsDialog, AProviderThatSignsInOnItsOwnPageHasAButtonInThePasswordsPlace) {
    const struct {
        const char* typed;
        bool clientId; // this build has one for the provider
        bool button;
        bool enabled;
    } cases[] = {
        {"jan@hotmail.nl", true, true, true},
        {"jan@hotmail.nl", false, true, false},
        {"piet@gmail.com", true, false, false}, // an app password first
        {"oma@ziggo.nl", true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + (c.clientId ? "" : ", no client ID"));
        dialog_.reset();
        signIn = [](auto&&...) {};
        canSignIn = [&c](const std::string& provider) { return c.clientId && provider == "ms"; };
        TfrmOpties& d = Open();
        QTest::keyClicks(d.EditAddress, QString::fromUtf8(c.typed));
        EXPECT_EQ(d.btSignIn->isVisibleTo(d.tsHost), c.button);
        EXPECT_EQ(d.EditPasswd->isVisibleTo(d.tsHost), !c.button);
        if (!c.button) continue;
        EXPECT_EQ(d.btSignIn->text().remove('&'), "Aanmelden bij Microsoft");
        EXPECT_EQ(d.btSignIn->isEnabled(), c.enabled);
        // A build without a client ID says so on the button, to the eye and to a screen reader.
        const QString why = "Deze uitgave van brevon heeft geen aanmelding bij Microsoft.";
        EXPECT_EQ(d.btSignIn->toolTip(), c.enabled ? QString() : why);
        EXPECT_EQ(d.btSignIn->accessibleDescription(), c.enabled ? QString() : why);
        EXPECT_EQ(d.btSignIn->geometry(), d.EditPasswd->geometry());
    }
}

TEST_F(OptionsDialog, ASignInThroughTheButtonIsShownAndStoredAtOkAndAFailedOneIsNot) {
    std::vector<std::string> asked;
    std::function<void(const std::string&)> finish;
    signIn = [&](const std::string& provider, const std::string& address,
                 const std::string& account, std::function<void(const std::string&)> done) {
        asked = {provider, address, account};
        finish = std::move(done);
    };
    canSignIn = [](const std::string&) { return true; };
    TfrmOpties& d = Open();
    QTest::keyClicks(d.EditAddress, QStringLiteral("jan@hotmail.nl"));

    // A failure is shown under the button; nothing is signed in.
    d.btSignIn->click();
    EXPECT_EQ(asked, (std::vector<std::string>{"ms", "jan@hotmail.nl",
                                               "jan@hotmail.nl@outlook.office365.com"}));
    EXPECT_FALSE(d.btSignIn->isEnabled()) << "one sign-in at a time";
    finish("Aanmelden is niet gelukt.");
    EXPECT_EQ(d.lblPasswordPlace->text(), "Aanmelden is niet gelukt.");
    EXPECT_TRUE(d.btSignIn->isEnabled());

    d.btSignIn->click();
    finish("");
    EXPECT_EQ(d.lblPasswordPlace->text(), "Aangemeld als jan@hotmail.nl.");
    d.btOk->click();
    EXPECT_EQ(Stored().SignIn, "ms");
    EXPECT_TRUE(Contains(log, "CheckMail"));

    // Shown again at the next opening; another provider's address drops it at OK.
    TfrmOpties& again = Open();
    EXPECT_EQ(again.lblPasswordPlace->text(), "Aangemeld als jan@hotmail.nl.");
    again.SelectSignInButton();
    EXPECT_EQ(again.focusWidget(), again.btSignIn);
    again.EditAddress->clear();
    QTest::keyClicks(again.EditAddress, QStringLiteral("oma@ziggo.nl"));
    again.btOk->click();
    EXPECT_EQ(Stored().SignIn, "");
}

TEST(Cp1252, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    bool exact = false;
    EXPECT_EQ(ToCp1252(FromCp1252(all), &exact), all);
    EXPECT_TRUE(exact);
}

TEST(Cp1252, MapsTheHighRangeAndReplacesWhatItCannotHold) {
    struct Case {
        const char* utf8;
        std::string cp1252;
        bool exact;
    };
    const Case cases[] = {
        {"€ „x” – ‘y’ … Š š Ž ž Ÿ ™",
         "\x80 \x84x\x94 \x96 \x91y\x92 \x85 \x8a \x9a \x8e \x9e \x9f \x99", true},
        {"café ½ ÿ", "caf\xe9 \xbd \xff", true},
        {"\u20ac\u0081", "\x80\x81", true},
        {"\u0080", "?", false},         // the C1 control whose byte means '€'
        {"a\U0001F600b", "a?b", false}, // outside the BMP: one character, one '?'
        {"\u0141\u00f3d\u017a",
         "?\xf3"
         "d?",
         false},
    };
    for (const Case& c : cases) {
        bool exact = !c.exact;
        EXPECT_EQ(ToCp1252(QString::fromUtf8(c.utf8), &exact), c.cp1252) << c.utf8;
        EXPECT_EQ(exact, c.exact) << c.utf8;
    }
    EXPECT_EQ(FromCp1252("\x80\x9f"), QString::fromUtf8("€Ÿ"));
}

} // namespace

TEST_F(OptionsDialog, IsPlacedWholeOnTheScreenItsSavedPlaceIsOn) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize size = Open().size();
    ASSERT_LE(size.width(), area.width());
    ASSERT_LE(size.height(), area.height());
    const int w = size.width(), h = size.height();
    struct Case {
        const char* what;
        QPoint saved, placed;
    } const cases[] = {
        {"inside stays", {area.left() + 5, area.top() + 7}, {area.left() + 5, area.top() + 7}},
        {"over the bottom right, moved in",
         {area.right() - w / 2, area.bottom() - h / 2},
         {area.right() + 1 - w, area.bottom() + 1 - h}},
        {"over the top left, moved in", {area.left() - 30, area.top() - 20}, area.topLeft()},
        {"on no screen, near the top left",
         {area.right() + 5000, area.bottom() + 5000},
         area.topLeft() + QPoint(10, 40)},
    };
    for (const Case& c : cases) {
        dialog_.reset();
        settings.XI = c.saved.x();
        settings.YI = c.saved.y();
        EXPECT_EQ(Open().pos(), c.placed) << c.what;
    }
}
