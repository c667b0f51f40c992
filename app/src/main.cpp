// brevon: reads Dutch mail aloud from the notification area.
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <app/KeyringSettingsStore.h>
#include <app/Settings.h>
#include <engines/EngineSpeech.h>
#include <engines/Preprocessor.h>
#include <engines/Tolvani.h>
#include <mail/LanguageCheck.h>
#include <mail/MailPresets.h>
#include <mail/MailSettings.h>
#include <platform/Autostart.h>
#include <platform/DataPaths.h>
#include <platform/InstanceLock.h>
#include <platform/LocalTime.h>
#include <platform/Secrets.h>
#include <platform/SettingsStore.h>

#include "BarWindow.h"
#include "EmailConnection.h"
#include "EmailOpties.h"
#include "EndSignals.h"
#include "GlobalKeyBindings.h"
#include "Mpris.h"
#include "ProviderSignIn.h"
#include "Program.h"
#include "Speech.h"
#include "SplashWindow.h"
#include "Trace.h"
#include "TrayWindow.h"

namespace {

using namespace brevon;

// The folder of the program's read-only data: where lid.cfg, the models, the preprocessor's
// rules and the help are, next to the program or in the install's share folder.
std::filesystem::path ProgramDataFolder() {
    for (const auto& folder : platform::ReadOnlyDataDirs()) {
        std::error_code error;
        if (std::filesystem::exists(folder / "lid.cfg", error)) return folder;
    }
    return platform::ExecutableDir();
}

int LocalHour() {
    return platform::LocalTime(std::time(nullptr)).tm_hour;
}

// Said and written when brevon is started while it runs already.
constexpr const char* kAlreadyRunning = "Brevon is al gestart.";

// Whether a person at a desktop may hear the program; started from a bare terminal the line on
// the error stream says enough.
bool UnderDesktop() {
#if defined(_WIN32)
    return true;
#else
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* value = std::getenv(variable); value != nullptr && value[0] != '\0')
            return true;
    return false;
#endif
}

// Speaks one sentence in the user's voice and waits for its end, which the engine reports from
// its own thread. Reads the settings and writes nothing. An engine that never reports the end
// holds the process for a while, not for ever.
void SayAlreadyRunning(engines::Tolvani& tolvani) {
    Settings settings;
    std::unique_ptr<platform::SettingsStore> store = platform::OpenUserSettingsStore();
    if (platform::OpenKeyResult opened =
            store->OpenKey(kSettingsKeyPath, platform::OpenMode::Existing);
        opened.key) {
        (void)ReadSettings(*opened.key, settings, [&tolvani] { return tolvani.defaultSettings(); });
        tolvani.setTempo(settings.Tempo);
        tolvani.setPitch(settings.Pitch);
        tolvani.setVolume(settings.Volume);
        tolvani.setVoice(settings.Voice);
    }
    struct Ended {
        std::mutex mutex;
        std::condition_variable done;
        bool ended = false;
    };
    // Shared with the poster, which the engine may still call after the wait has given up.
    const auto ended = std::make_shared<Ended>();
    tolvani.setPoster([ended](void*, std::uint32_t message) {
        if (message != engines::MM_WOM_CLOSE) return;
        std::lock_guard lock(ended->mutex);
        ended->ended = true;
        ended->done.notify_all();
    });
    tolvani.say(ended.get(), kAlreadyRunning);
    std::unique_lock lock(ended->mutex);
    ended->done.wait_for(lock, std::chrono::seconds(15), [&] { return ended->ended; });
}

// One line per thing the settings load had to work around.
void TraceSettingsLoad(const LoadResult& loaded) {
    switch (loaded.outcome) {
    case LoadResult::Outcome::Damaged:
        Trace("Settings damaged: " + loaded.detail);
        Trace(loaded.keptAside.empty() ? std::string("Settings not kept aside; nothing written")
                                       : "Settings kept aside as " + loaded.keptAside);
        break;
    case LoadResult::Outcome::Unreadable:
        Trace("Settings unreadable: " + loaded.detail);
        break;
    case LoadResult::Outcome::Loaded:
        if (!loaded.detail.empty()) Trace("Settings partly damaged: " + loaded.detail);
        break;
    case LoadResult::Outcome::FirstRun:
        break;
    }
    for (const std::string_view name : loaded.report.defaulted)
        Trace("Setting '" + std::string(name) + "' unreadable: default used");
    for (const std::string_view name : loaded.report.clamped)
        Trace("Setting '" + std::string(name) + "' out of range: nearest bound used");
}

// The global keys do what the bar's buttons and the tray's items do, and are ignored when those
// are: while the options or the about window are open.
std::unique_ptr<GlobalKeyBindings> MakeGlobalKeys(Program& program, TfrmMain& mainWindow,
                                                  TfrmBrevon& bar) {
    const auto trigger = [&bar](BarButton button) {
        QAction* action = bar.Actions().Action(button);
        if (action->isEnabled()) action->trigger();
    };
    std::array<GlobalKeyBindings::Operation, kKeyActionCount> operations{
        [&bar, trigger] {
            // One key toggles: pause while a reading can be paused, else play.
            trigger(bar.Actions().Action(BarButton::Pauze)->isEnabled() ? BarButton::Pauze
                                                                        : BarButton::Play);
        },
        [trigger] { trigger(BarButton::Stop); },
        [trigger] { trigger(BarButton::Back); },
        [trigger] { trigger(BarButton::Forw); },
        [&program] {
            // As the mail timer would, but now; never inside a session, nor while offline.
            if (program.mail && program.state.Online && !program.mail->SessionOpen())
                program.mail->CheckMail();
        },
        [&mainWindow, &bar] {
            mainWindow.pop_up_form();
            bar.raise();
            bar.activateWindow();
            bar.setFocus(Qt::ShortcutFocusReason);
        },
        [&bar] {
            QAction* action = bar.Actions().ReadAllAction();
            if (action->isEnabled()) action->trigger();
        },
        [&program] {
            if (program.mail) program.mail->PreviousParagraph();
        },
        [&program] {
            if (program.mail) program.mail->NextParagraph();
        },
    };
    return std::make_unique<GlobalKeyBindings>(program.settings, program.speech,
                                               std::move(operations),
                                               [&mainWindow] { return mainWindow.isEnabled(); });
}

void ShowStartError(const QString& text) {
    QMessageBox::critical(nullptr, "Brevon", text);
}

// The busy cursor while something slow runs at start-up.
template <typename Work> auto WithBusyCursor(Work&& work) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto result = work();
    QApplication::restoreOverrideCursor();
    return result;
}

} // namespace

int main(int argc, char** argv) {
    // One brevon per user, decided before anything is loaded, written or shown: a second one
    // would write over the first one's settings and lists and announce new mail twice. Held
    // until the process ends.
    const platform::InstanceLock instance =
        platform::InstanceLock::TryAcquire(platform::InstanceLockFile());
    if (instance.state() == platform::InstanceLock::State::HeldElsewhere) {
        std::fprintf(stderr, "brevon: %s\n", kAlreadyRunning);
        if (UnderDesktop()) {
            engines::Tolvani tolvani;
            SayAlreadyRunning(tolvani);
        }
        return 0;
    }
    if (instance.state() == platform::InstanceLock::State::Failed)
        std::fprintf(stderr, "brevon: cannot tell whether brevon runs already (%s: %s)\n",
                     platform::InstanceLockFile().string().c_str(),
                     instance.error().message().c_str());

    // Loading readies the speech engine; leaving main stops and closes it once more.
    engines::Tolvani tolvani;

    QApplication application(argc, argv);
    QApplication::setApplicationName("Brevon");
    // The program lives in the tray: closing a dialog must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/images/brevon-%1.png").arg(size));
    QApplication::setWindowIcon(icon);

    engines::EngineSpeech speech(tolvani, PostSpeechEnd);
    Settings& settings = AppSettings();
    ReadingState& state = AppReadingState();

    // The password in the desktop's keyring when one answers, else in the settings as ever.
    const auto store = std::make_unique<KeyringSettingsStore>(platform::OpenUserSettingsStore(),
                                                              platform::DesktopSecretStore());
    const LoadResult loaded = LoadSettings(*store, settings, [&speech] {
        EngineDefaults defaults{};
        speech.GetDefaultSettings(defaults.voice, defaults.tempo, defaults.pitch, defaults.volume);
        return defaults;
    });
    // Settings that cannot be used never stop the program: it runs on the defaults, says so
    // after the greeting, and the trace tells what was wrong.
    TraceSettingsLoad(loaded);
    const std::string_view settingsProblem = SettingsProblemSentence(loaded.outcome);
    // Nor does a keyring that keeps the password (locked, gone, refusing): brevon says so and
    // asks for it instead of the first check, which would be refused without it.
    const bool askPassword = store->KeyringProblem().has_value();
    if (askPassword) Trace("Password not read from the keyring: " + *store->KeyringProblem());

    const std::filesystem::path dataFolder = ProgramDataFolder();
    std::error_code changed;
    std::filesystem::current_path(dataFolder, changed);
    if (changed) {
        ShowStartError(QString("I/O error: %1\n%2")
                           .arg(QString::fromStdString(dataFolder.string()))
                           .arg(QString::fromStdString(changed.message())));
        return 1;
    }

    speech.SetTempo(settings.Tempo);
    speech.SetPitch(settings.Pitch);
    speech.SetVolume(settings.Volume);
    speech.SetVoice(settings.Voice);

    Program program{settings, state, speech, *store};
    auto bar = std::make_unique<TfrmBrevon>(settings, state);
    program.bar = bar.get();
    auto mainWindow = std::make_unique<TfrmMain>(program);
    const std::unique_ptr<GlobalKeyBindings> globalKeys =
        MakeGlobalKeys(program, *mainWindow, *bar);

    // The greeting gates normal running: its end shows the bar and runs the first check, queued
    // so that it does not run inside the splash's own event handler. The splash lets itself go
    // once it has spoken.
    QPointer<TfrmSplash> splash =
        new TfrmSplash(state, speech, LocalHour(),
                       [&program, &mainWindow, &speech, settingsProblem, askPassword, &globalKeys] {
                           mainWindow->pop_form();
                           // Queued ahead of whatever the first check says.
                           if (!settingsProblem.empty())
                               speech.Say(nullptr, std::string(settingsProblem));
                           // The keys work from here on, as the bar and the tray do.
                           globalKeys->Apply();
                           program.state.SayNoNewMail = true;
                           if (askPassword) {
                               speech.Say(nullptr, std::string(kKeyringUnavailableSentence));
                               QTimer::singleShot(0, [&program, &mainWindow] {
                                   mainWindow->ShowOptions();
                                   if (program.options) program.options->SelectPasswordField();
                               });
                               return;
                           }
                           QTimer::singleShot(0, [&program] {
                               if (program.mail) program.mail->CheckMail();
                           });
                       });

    program.preprocessorStarted =
        WithBusyCursor([&] { return engines::StartPreprocessor(dataFolder.string()); });
    LanguageCheck languageCheck([&settings]() -> MailSettings { return settings; },
                                [](bool busy) {
                                    if (busy)
                                        QApplication::setOverrideCursor(Qt::WaitCursor);
                                    else
                                        QApplication::restoreOverrideCursor();
                                });
    program.languageCheck = &languageCheck;
    languageCheck.EnableLanguageCheck();
    state.NewTotal = 0;
    state.Online = true;

    std::unique_ptr<platform::Autostart> autostart = platform::UserAutostart();
    // The providers an e-mail address fills the connection fields from; a file that cannot be
    // used leaves the address filling in less, never stops the start.
    const PresetsLoad presets = LoadMailPresets(platform::FindReadOnlyDataFile(kPresetsFileName),
                                                platform::UserDataFile(kPresetsFileName));
    for (const std::string& error : presets.errors) {
        std::fprintf(stderr, "brevon: providers not read: %s\n", error.c_str());
        Trace("Providers not read: " + error);
    }
    // Signing in at a provider, and the tokens that come of it.
    ProviderSignIn providerSignIn(settings, presets.presets,
                                  {BREVON_OAUTH_CLIENT_ID_MICROSOFT, BREVON_OAUTH_CLIENT_ID_GOOGLE},
                                  *store, platform::DesktopSecretStore());
    OptiesContext optionsContext{
        .settings = settings,
        .state = state,
        .store = *store,
        .speech = speech,
        .languageCheck = program.languageCheck,
        .mail = nullptr, // made next
        .barPosition = [&bar] { return bar->Position(); },
        // Every close of the dialog gives the tray and the bar back and sets the mail timer.
        .afterClose =
            [&state, &program, &mainWindow, &bar] {
                mainWindow->setEnabled(true);
                bar->setEnabled(true);
                // A check in progress sets the timer itself when it is done.
                if (!program.mail || !program.mail->SessionOpen())
                    bar->Bar().SetMailTimer(state.Online);
            },
        .autostart = autostart.get(),
        .keys = globalKeys.get(),
        .passwordPlace = [&store] { return store->Place(); },
        .presets = &presets.presets,
        .signIn =
            [&providerSignIn](const std::string& provider, const std::string& address,
                              const std::string& account,
                              std::function<void(const std::string&)> done) {
                providerSignIn.SignIn(provider, address, account, std::move(done));
            },
        .canSignIn =
            [&providerSignIn](const std::string& provider) {
                return providerSignIn.CanSignIn(provider);
            },
    };
    auto options = std::make_unique<TfrmOpties>(std::move(optionsContext));
    program.options = options.get();

    auto connection = std::make_unique<TformEmailConnection>(TformEmailConnection::Context{
        .state = state,
        .settings =
            [&settings, &providerSignIn] {
                MailSettings mail = settings;
                mail.SaslMechanism = providerSignIn.Mechanism();
                return mail;
            },
        .shell = bar->Bar(),
        .speech = speech,
        .languageCheck = &languageCheck,
        .dataFolder = platform::UserDataDir(),
        .readingWindow = bar->SpeechHandle(),
        .bringBarToFront =
            [&bar] {
                bar->show();
                bar->raise();
                bar->activateWindow();
            },
        .tokens = &providerSignIn.Tokens(),
    });
    program.mail = &connection->Mail();
    bar->SetMailOps(program.mail);
    options->SetMailOps(program.mail);

    // The desktop's media controls steer the bar's reading actions; without a session bus the
    // program runs on without them.
    std::unique_ptr<Mpris> mpris = Mpris::PublishOnSessionBus(Mpris::Context{
        .actions = bar->Actions(),
        .state = state,
        .bar = bar.get(),
        .raise =
            [&mainWindow, &bar] {
                mainWindow->pop_up_form();
                bar->raise();
            },
        .quit = [&mainWindow] { mainWindow->close(); },
    });

    // Logging out or being told to end finishes the program as the tray's "Sluiten" does.
    QObject::connect(&application, &QCoreApplication::aboutToQuit,
                     [&mainWindow] { mainWindow->close(); });
    OnEndSignal([&mainWindow] { mainWindow->close(); });
    Trace("Started");
    const int status = QApplication::exec();

    // Windows go before the program record they use, each before what it points to.
    mpris.reset();
    program.mail = nullptr;
    connection.reset();
    program.options = nullptr;
    options.reset();
    delete splash;
    mainWindow.reset();
    program.bar = nullptr;
    bar.reset();
    return status;
}
