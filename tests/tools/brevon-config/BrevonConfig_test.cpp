// brevon-config as a user runs it: a real process on a settings folder of its own, its results
// read back with brevon's own settings code.
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <app/PasswordScrambling.h>
#include <app/Settings.h>
#include <platform/FileSettingsStore.h>
#include <platform/InstanceLock.h>
#include <platform/SettingsFile.h>
#include <qvstts/qvstts.h>

#include "PrivateKeyring.h"
#include "Subprocess.h"

namespace fs = std::filesystem;
using brevon::Settings;
using platform::FileSettingsStore;
using testsupport::ReadWholeFile;
using testsupport::RunResult;

namespace {

brevon::EngineDefaults EngineDefaults() {
    brevon::EngineDefaults d{};
    QVS_GetDefaultSettings(&d.voice, &d.tempo, &d.pitch, &d.volume);
    return d;
}

class BrevonConfig : public ::testing::Test {
protected:
    // The folder brevon itself would use with this environment.
    fs::path ConfigDir() const { return tmp_.Path() / "config" / "brevon"; }
    fs::path File() const { return ConfigDir() / "settings.reg"; }

    RunResult Config(std::initializer_list<std::string> args, const std::string& input = {}) {
        std::vector<std::string> argv{BREVON_CONFIG};
        argv.insert(argv.end(), args);
        return testsupport::Run(argv,
                                {"HOME=" + (tmp_.Path() / "home").string(),
                                 "XDG_CONFIG_HOME=" + (tmp_.Path() / "config").string(),
                                 "DBUS_SESSION_BUS_ADDRESS=" + bus_},
                                input);
    }

    // What brevon reads from a settings file at start-up.
    static brevon::LoadResult Load(const fs::path& file, Settings& settings) {
        FileSettingsStore store(file);
        return brevon::LoadSettings(store, settings, [] {
            ADD_FAILURE() << "the settings were not all there: brevon would run a first run";
            return brevon::EngineDefaults{};
        });
    }

    static std::string RawValue(const fs::path& file, std::string_view name) {
        FileSettingsStore store(file);
        platform::OpenKeyResult opened =
            store.OpenKey(brevon::kSettingsKeyPath, platform::OpenMode::Existing);
        std::string value;
        if (opened.key) (void)opened.key->ReadString(name, value);
        return value;
    }

    testsupport::TempDir tmp_;
    // The session bus: none unless a test gives one, so that no desktop's keyring is touched
    // and the password is kept in the file.
    std::string bus_ = "unix:path=" + (tmp_.Path() / "no-bus").string();
};

TEST_F(BrevonConfig, AFirstSetWritesWhatBrevonsFirstRunWritesWithTheOneValueChanged) {
    const RunResult r = Config({"set", "Host", "pop.example.nl"});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");

    // Byte for byte what brevon's own first run writes, once the host is set in it.
    Settings expected;
    brevon::SetDefaultSettings(expected, EngineDefaults);
    expected.Host = "pop.example.nl";
    const fs::path reference = tmp_.Path() / "reference" / "settings.reg";
    FileSettingsStore referenceStore(reference);
    ASSERT_TRUE(brevon::SaveSettings(referenceStore, expected));
    EXPECT_EQ(ReadWholeFile(File()), ReadWholeFile(reference));

    // And brevon starts on it: every one of the nineteen is there with its type.
    Settings read;
    const brevon::LoadResult loaded = Load(File(), read);
    EXPECT_EQ(loaded.outcome, brevon::LoadResult::Outcome::Loaded) << loaded.detail;
    EXPECT_EQ(read, expected);
}

TEST_F(BrevonConfig, SetAndGetEachKindOfValue) {
    const struct {
        const char* name;
        const char* value;
        const char* shown; // what get prints afterwards
    } cases[] = {
        {"X", "-15", "-15"},
        {"YI", "+2000", "2000"},
        {"Voice", "7", "7"},
        {"Pitch", "0", "0"},
        {"tempo", "10", "10"}, // names as in the registry: case does not count
        {"Interval in minuten", "99", "99"},
        {"NumSaveMails", "1", "1"},
        {"Reverse", "1", "1"},
        {"ShowWindow", "0", "0"},
        {"Host", "pop.caf\xC3\xA9.nl", "pop.caf\xC3\xA9.nl"}, // UTF-8 in and out
        {"User", "\xE2\x82\xAC-jan", "\xE2\x82\xAC-jan"},
        {"Beveiliging", "starttls", "STARTTLS"},
        {"Poort", "995", "995"},
        {"EigenTaal", "1", "1"},
        {"Sneltoetsen", "0", "0"},
        {"ToetsVoorlezen", "shift+ctrl+alt+f9", "Ctrl+Alt+Shift+F9"}, // written as brevon shows it
        {"ToetsVolgende", "Meta+.", "Meta+."},
        {"ToetsStoppen", "", ""}, // this key off
        {"e-mailadres", "Jan.de.Vries@hotmail.nl", "Jan.de.Vries@hotmail.nl"},
        {"MeteenVoorlezen", "1", "1"},
        {"BijlagenNoemen", "1", "1"},
        {"TijdNoemen", "1", "1"},
        {"PerAlinea", "1", "1"},
        {"ToetsVolgendeAlinea", "", ""},
        {"ToetsAllesVoorlezen", "alt+meta+a", "Alt+Meta+A"},
    };
    for (const auto& c : cases) {
        const RunResult set = Config({"set", c.name, c.value});
        EXPECT_EQ(set.exitCode, 0) << c.name << ": " << set.err;
        const RunResult got = Config({"get", c.name});
        EXPECT_EQ(got.exitCode, 0) << c.name << ": " << got.err;
        EXPECT_EQ(got.out, std::string(c.shown) + "\n") << c.name;
    }
    EXPECT_EQ(Config({"set", "Poort", ""}).exitCode, 0);
    EXPECT_EQ(Config({"get", "Poort"}).out, "\n");

    // brevon reads them as set, the texts in its own code page.
    Settings read;
    ASSERT_EQ(Load(File(), read).outcome, brevon::LoadResult::Outcome::Loaded);
    EXPECT_EQ(read.X, -15);
    EXPECT_EQ(read.YI, 2000);
    EXPECT_EQ(read.Voice, 7);
    EXPECT_EQ(read.Tempo, 10);
    EXPECT_EQ(read.Interval, 99);
    EXPECT_EQ(read.NumSaveMails, 1);
    EXPECT_TRUE(read.Reverse);
    EXPECT_FALSE(read.ShowWindow);
    EXPECT_EQ(read.Host, "pop.caf\xE9.nl");
    EXPECT_EQ(read.User, "\x80-jan");
    EXPECT_EQ(brevon::SecurityText(read.Security), "STARTTLS");
    EXPECT_EQ(brevon::PortText(read.Port), "");
    EXPECT_TRUE(read.ReadInOwnLanguage);
    EXPECT_FALSE(read.GlobalKeys);
    EXPECT_EQ(read.KeyPlayPause, "Ctrl+Alt+Shift+F9");
    EXPECT_EQ(read.KeyNext, "Meta+.");
    EXPECT_EQ(read.KeyStop, "");
    EXPECT_EQ(read.KeyCheck, "Ctrl+Alt+Shift+C");
    EXPECT_TRUE(read.ReadNewAtOnce);
    EXPECT_TRUE(read.SayAttachments);
    EXPECT_TRUE(read.SayArrivalTime);
    EXPECT_TRUE(read.ReadByParagraph);
    EXPECT_EQ(read.KeyNextParagraph, "");
    EXPECT_EQ(read.KeyReadAll, "Alt+Meta+A");
}

TEST_F(BrevonConfig, RefusesBadNamesAndValuesAndChangesNothing) {
    ASSERT_EQ(Config({"set", "Host", "pop.example.nl"}).exitCode, 0);
    const std::string before = ReadWholeFile(File());
    const std::vector<std::vector<std::string>> refused = {
        {"set", "Hostname", "x"},                   // unknown name
        {"get", "Wachtwoord"},                      // unknown name
        {"set", "Pitch", "abc"},                    // not a number
        {"set", "Pitch", "1.5"},                    //
        {"set", "Pitch", ""},                       //
        {"set", "Pitch", "11"},                     // beyond the dialog's slider
        {"set", "Volume", "-1"},                    //
        {"set", "Interval in minuten", "0"},        // beyond the dialog's field
        {"set", "Interval in minuten", "100"},      //
        {"set", "NumSaveMails", "10000"},           //
        {"set", "NumSaveMails", "0"},               //
        {"set", "NumSaveMails", "-1"},              //
        {"set", "X", "2147483648"},                 // beyond 32 bits
        {"set", "Voice", "5"},                      // no voice of the dialog's list
        {"set", "Reverse", "2"},                    // booleans are 0 or 1
        {"set", "Reverse", "ja"},                   //
        {"set", "Beveiliging", "TLS"},              // not one of the three choices
        {"set", "Beveiliging", ""},                 //
        {"set", "Poort", "0"},                      // ports are 1 to 65535
        {"set", "Poort", "65536"},                  //
        {"set", "Poort", "abc"},                    //
        {"set", "Poort", "-1"},                     //
        {"set", "ToetsVoorlezen", "P"},             // a key without a modifier
        {"set", "ToetsVorige", "Ctrl+Hyper+V"},     // no such modifier
        {"set", "ToetsKnoppenbalk", "Ctrl+F25"},    // no such key
        {"set", "User", "jan\r\nDELE 1"},           // would end the POP3 command early
        {"set", "Host", "\xE4\xB8\xAD.example"},    // no place in Windows-1252
        {"set", "Host", "\xFF\xFE"},                // not UTF-8
        {"set", "Password", std::string(256, 'p')}, // longer than the dialog allows
        {},                                         // usage: no command
        {"frob"},                                   //
        {"list", "Host"},                           //
        {"get"},                                    //
        {"set", "Host"},                            //
        {"set", "Host", "a", "b"},                  //
        {"--config-dir"},                           //
        {"--bogus", "list"},                        //
    };
    for (const auto& args : refused) {
        std::vector<std::string> argv{BREVON_CONFIG};
        argv.insert(argv.end(), args.begin(), args.end());
        const RunResult r =
            testsupport::Run(argv, {"HOME=" + (tmp_.Path() / "home").string(),
                                    "XDG_CONFIG_HOME=" + (tmp_.Path() / "config").string()});
        std::string shown;
        for (const auto& a : args)
            shown += "[" + a + "]";
        EXPECT_EQ(r.exitCode, 2) << shown;
        EXPECT_EQ(r.out, "") << shown;
        EXPECT_TRUE(r.err.starts_with("brevon-config: ")) << shown << r.err;
        EXPECT_EQ(ReadWholeFile(File()), before) << shown;
    }
    // A refused value names the setting and what it accepts.
    const RunResult pitch = Config({"set", "Pitch", "11"});
    EXPECT_NE(pitch.err.find("'Pitch' is een geheel getal van 0 tot en met 10"), std::string::npos)
        << pitch.err;
    EXPECT_NE(Config({"frob"}).err.find("Gebruik: brevon-config"), std::string::npos);
    // Nothing was left behind either.
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(ConfigDir()))
        files.insert(entry.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{"instance.lock", "settings.reg"}));
}

TEST_F(BrevonConfig, ThePasswordIsStoredAsBrevonStoresItAndNeverShown) {
    ASSERT_EQ(Config({"set", "Password", "geheim wachtwoord"}).exitCode, 0);
    EXPECT_EQ(RawValue(File(), "Password"), brevon::ScramblePassword("geheim wachtwoord"));
    Settings read;
    ASSERT_EQ(Load(File(), read).outcome, brevon::LoadResult::Outcome::Loaded);
    EXPECT_EQ(read.Password, "geheim wachtwoord");

    const RunResult list = Config({"list"});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find("\nPassword             (verborgen)\n"), std::string::npos) << list.out;
    const RunResult get = Config({"get", "password"});
    EXPECT_EQ(get.exitCode, 2);
    EXPECT_EQ(get.out, "");
    for (const RunResult* r : {&list, &get}) {
        EXPECT_EQ(r->out.find("geheim"), std::string::npos);
        EXPECT_EQ(r->err.find("geheim"), std::string::npos);
        EXPECT_EQ(r->out.find(brevon::ScramblePassword("geheim")), std::string::npos);
    }

    // From standard input, so that it is not on the command line; UTF-8 in, brevon's code
    // page stored.
    ASSERT_EQ(Config({"set", "Password", "-"}, "w\xC3\xB6rd \xE2\x82\xAC\r\n").exitCode, 0);
    EXPECT_EQ(RawValue(File(), "Password"), brevon::ScramblePassword("w\xF6rd \x80"));
    ASSERT_EQ(Config({"set", "Password", ""}).exitCode, 0);
    EXPECT_NE(Config({"list"}).out.find("\nPassword             (geen)\n"), std::string::npos);
}

TEST_F(BrevonConfig, WithAKeyringThePasswordGoesThereAndFollowsTheAccount) {
    testsupport::PrivateKeyring keyring{testsupport::PrivateKeyring::With::Keyring};
    ASSERT_TRUE(keyring.Ready()) << "gnome-keyring-daemon did not start";
    bus_ = keyring.Address();

    ASSERT_EQ(Config({"set", "Host", "pop.example.nl"}).exitCode, 0);
    ASSERT_EQ(Config({"set", "User", "jan"}).exitCode, 0);
    const RunResult set = Config({"set", "Password", "-"}, "geheim w\xC3\xB6rd\n");
    ASSERT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(testsupport::PrivateKeyring::Lookup("password", "jan@pop.example.nl").out,
              "geheim w\xC3\xB6rd");
    EXPECT_EQ(RawValue(File(), "Password"), "");
    EXPECT_EQ(ReadWholeFile(File()).find(brevon::ScramblePassword("geheim")), std::string::npos);

    // Another server set on its own takes the password along.
    ASSERT_EQ(Config({"set", "Host", "pop3.example.nl"}).exitCode, 0);
    EXPECT_EQ(testsupport::PrivateKeyring::Lookup("password", "jan@pop3.example.nl").out,
              "geheim w\xC3\xB6rd");
    EXPECT_NE(testsupport::PrivateKeyring::Lookup("password", "jan@pop.example.nl").exitCode, 0);

    const RunResult list = Config({"list"});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find("\nPassword             (verborgen)\n"), std::string::npos) << list.out;
    for (const RunResult* r : {&set, &list}) {
        EXPECT_EQ(r->out.find("geheim"), std::string::npos);
        EXPECT_EQ(r->err.find("geheim"), std::string::npos);
    }

    // Locked, the keyring keeps the password: it is there, only not to be read now.
    ASSERT_TRUE(keyring.LockLogin());
    const RunResult locked = Config({"list"});
    EXPECT_EQ(locked.exitCode, 0) << locked.err;
    EXPECT_NE(locked.out.find("\nPassword             (in de sleutelbos, nu niet te lezen)\n"),
              std::string::npos)
        << locked.out;
    EXPECT_NE(locked.err.find("sleutelbos"), std::string::npos) << locked.err;
}

TEST_F(BrevonConfig, SetChangesOnlyTheNamedValue) {
    ASSERT_EQ(Config({"set", "Pitch", "3"}).exitCode, 0);
    {
        // Things brevon-config does not know about: they must stay as they are.
        FileSettingsStore store(File());
        auto own = store.OpenKey(brevon::kSettingsKeyPath, platform::OpenMode::Existing).key;
        ASSERT_TRUE(own);
        ASSERT_FALSE(own->WriteString("Eigen", "van iemand anders"));
        ASSERT_FALSE(own->Close());
        auto other = store.OpenKey("\\SOFTWARE\\Ander", platform::OpenMode::Create).key;
        ASSERT_FALSE(other->WriteInteger("Getal", 42));
        ASSERT_FALSE(other->Close());
    }
    const std::string before = ReadWholeFile(File());
    ASSERT_EQ(Config({"set", "Pitch", "8"}).exitCode, 0);
    std::string expected = before;
    const std::string oldLine = "\"Pitch\"=dword:00000003", newLine = "\"Pitch\"=dword:00000008";
    ASSERT_NE(expected.find(oldLine), std::string::npos) << before;
    expected.replace(expected.find(oldLine), oldLine.size(), newLine);
    EXPECT_EQ(ReadWholeFile(File()), expected);
}

TEST_F(BrevonConfig, ConfigDirReplacesBrevonsFolder) {
    const fs::path elsewhere = tmp_.Path() / "elders";
    ASSERT_EQ(Config({"--config-dir", elsewhere.string(), "set", "User", "jan"}).exitCode, 0);
    EXPECT_TRUE(fs::exists(elsewhere / "settings.reg"));
    EXPECT_FALSE(fs::exists(File()));
    const RunResult got = Config({"--config-dir=" + elsewhere.string(), "get", "User"});
    EXPECT_EQ(got.out, "jan\n") << got.err;
    EXPECT_EQ(Config({"get", "User"}).exitCode, 1); // nothing in the usual place yet

    // brevon running on the usual folder does not hold up a write elsewhere, and the other way
    // round.
    const platform::InstanceLock running =
        platform::InstanceLock::TryAcquire(platform::InstanceLockFile(ConfigDir()));
    ASSERT_TRUE(running.Held());
    EXPECT_EQ(Config({"--config-dir", elsewhere.string(), "set", "User", "piet"}).exitCode, 0);
    EXPECT_EQ(Config({"set", "User", "piet"}).exitCode, 2);
}

TEST_F(BrevonConfig, RefusesToWriteWhileBrevonRunsUnlessForced) {
    ASSERT_EQ(Config({"set", "Host", "oud.example.nl"}).exitCode, 0);
    const std::string before = ReadWholeFile(File());
    {
        const platform::InstanceLock running =
            platform::InstanceLock::TryAcquire(platform::InstanceLockFile(ConfigDir()));
        ASSERT_TRUE(running.Held());

        const RunResult refused = Config({"set", "Host", "nieuw.example.nl"});
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_NE(refused.err.find("brevon draait"), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
        EXPECT_EQ(ReadWholeFile(File()), before);

        // Reading is harmless.
        EXPECT_EQ(Config({"get", "Host"}).out, "oud.example.nl\n");
        EXPECT_EQ(Config({"list"}).exitCode, 0);

        const RunResult forced = Config({"--force", "set", "Host", "nieuw.example.nl"});
        EXPECT_EQ(forced.exitCode, 0) << forced.err;
        EXPECT_EQ(Config({"get", "Host"}).out, "nieuw.example.nl\n");
    }
    EXPECT_EQ(Config({"set", "Host", "weer.example.nl"}).exitCode, 0);
}

TEST_F(BrevonConfig, ReportsWhatBrevonCannotUseAsStoredAndLeavesADamagedFileAlone) {
    const RunResult none = Config({"list"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("nog geen instellingen"), std::string::npos) << none.err;
    EXPECT_FALSE(fs::exists(File()));

    // A value taken out by hand, and one set beyond the dialog's field: brevon reads the
    // default and the nearer bound.
    ASSERT_EQ(Config({"set", "Host", "pop.example.nl"}).exitCode, 0);
    {
        FileSettingsStore store(File());
        auto key = store.OpenKey(brevon::kSettingsKeyPath, platform::OpenMode::Existing).key;
        ASSERT_FALSE(key->DeleteValue("Reverse"));
        ASSERT_FALSE(key->WriteInteger("Interval in minuten", 0));
        ASSERT_FALSE(key->WriteString("ToetsControleren", "C"));
        ASSERT_FALSE(key->Close());
    }
    const RunResult list = Config({"list"});
    EXPECT_EQ(list.exitCode, 1);
    EXPECT_NE(list.out.find("\nReverse              (ontbreekt)\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\nInterval in minuten  0 (brevon gebruikt 1)\n"), std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("\nHost                 pop.example.nl\n"), std::string::npos);
    EXPECT_NE(list.out.find("\nToetsControleren     C (brevon gebruikt Ctrl+Alt+Shift+C)\n"),
              std::string::npos)
        << list.out;
    EXPECT_NE(list.err.find("brevon gebruikt daarvoor de standaardwaarde"), std::string::npos)
        << list.err;
    EXPECT_EQ(Config({"get", "Reverse"}).exitCode, 1);
    const RunResult interval = Config({"get", "Interval in minuten"});
    EXPECT_EQ(interval.exitCode, 0);
    EXPECT_EQ(interval.out, "0\n") << "the stored value, for scripts";
    EXPECT_NE(interval.err.find("brevon gebruikt 1"), std::string::npos) << interval.err;

    // A damaged file is neither read nor written over, nor kept aside: brevon does that.
    std::ofstream(File(), std::ios::binary | std::ios::trunc) << "geen instellingen\n";
    const RunResult set = Config({"set", "Host", "x"});
    EXPECT_EQ(set.exitCode, 1);
    EXPECT_NE(set.err.find("settings.reg"), std::string::npos) << set.err;
    EXPECT_EQ(ReadWholeFile(File()), "geen instellingen\n");
    for (const auto& entry : fs::directory_iterator(File().parent_path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("settings.reg.damaged"))
            << entry.path();
}

// "SemiService9X" is the start at logon: set also writes or removes the session's entry, which
// starts the brevon that lies beside brevon-config (in the build tree: the one built with it).
TEST_F(BrevonConfig, SemiService9XWritesAndRemovesTheLogonEntryThatStartsBrevon) {
    const std::string exec = "\nExec=\"" + fs::canonical(BREVON_PROGRAM).string() + "\"\n";
    const fs::path other = tmp_.Path() / "ander" / "brevon";
    const struct {
        std::vector<std::string> options;
        fs::path entry;
    } cases[] = {
        {{}, tmp_.Path() / "config" / "autostart" / "brevon.desktop"},
        // A settings folder named as brevon's own: its entry goes beside it.
        {{"--config-dir", other.string()}, tmp_.Path() / "ander" / "autostart" / "brevon.desktop"},
        {{"--config-dir=" + other.string() + "/"},
         tmp_.Path() / "ander" / "autostart" / "brevon.desktop"},
    };
    for (const auto& c : cases) {
        const auto run = [&](std::vector<std::string> args) {
            args.insert(args.begin(), c.options.begin(), c.options.end());
            std::vector<std::string> argv{BREVON_CONFIG};
            argv.insert(argv.end(), args.begin(), args.end());
            return testsupport::Run(argv, {"HOME=" + (tmp_.Path() / "home").string(),
                                           "XDG_CONFIG_HOME=" + (tmp_.Path() / "config").string()});
        };
        const std::string shown = c.options.empty() ? "the usual folder" : c.options.back();
        const RunResult on = run({"set", "SemiService9X", "1"});
        ASSERT_EQ(on.exitCode, 0) << shown << ": " << on.err;
        EXPECT_EQ(on.err, "") << shown;
        EXPECT_NE(ReadWholeFile(c.entry).find(exec), std::string::npos) << shown;
        EXPECT_EQ(run({"get", "SemiService9X"}).out, "1\n") << shown;

        for (int again = 0; again < 2; ++again) { // no entry left to remove is no error
            const RunResult off = run({"set", "SemiService9X", "0"});
            EXPECT_EQ(off.exitCode, 0) << shown << ": " << off.err;
            EXPECT_FALSE(fs::exists(c.entry)) << shown;
            EXPECT_EQ(run({"get", "SemiService9X"}).out, "0\n") << shown;
        }
    }

    // A folder that no session reads settings from has no entry: the value alone is set, and
    // the user is told.
    const fs::path loose = tmp_.Path() / "los";
    const RunResult set = Config({"--config-dir", loose.string(), "set", "SemiService9X", "1"});
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_NE(set.err.find("opstartvermelding blijft zoals ze is"), std::string::npos) << set.err;
    EXPECT_EQ(Config({"--config-dir", loose.string(), "get", "SemiService9X"}).out, "1\n");
    EXPECT_FALSE(fs::exists(tmp_.Path() / "autostart"));
    EXPECT_FALSE(fs::exists(tmp_.Path() / "config" / "autostart" / "brevon.desktop"));
}

TEST_F(BrevonConfig, AnEntryThatCannotBeWrittenOrABrevonThatRunsChangesNothing) {
    ASSERT_EQ(Config({"set", "Host", "pop.example.nl"}).exitCode, 0);
    const std::string before = ReadWholeFile(File());
    const fs::path autostart = tmp_.Path() / "config" / "autostart";
    {
        // The entry's folder cannot be made: a file holds its name.
        std::ofstream(autostart) << "in de weg\n";
        const RunResult blocked = Config({"set", "SemiService9X", "1"});
        EXPECT_EQ(blocked.exitCode, 1);
        EXPECT_NE(blocked.err.find("opstartvermelding"), std::string::npos) << blocked.err;
        EXPECT_NE(blocked.err.find("Er is niets veranderd."), std::string::npos) << blocked.err;
        EXPECT_EQ(ReadWholeFile(File()), before);
        fs::remove(autostart);
    }
    {
        const platform::InstanceLock running =
            platform::InstanceLock::TryAcquire(platform::InstanceLockFile(ConfigDir()));
        ASSERT_TRUE(running.Held());
        EXPECT_EQ(Config({"set", "SemiService9X", "1"}).exitCode, 2);
        EXPECT_FALSE(fs::exists(autostart));
        EXPECT_EQ(ReadWholeFile(File()), before);
    }
}

TEST_F(BrevonConfig, HelpNamesEveryValueAndHowThePasswordIsTreated) {
    const RunResult help = Config({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const brevon::SettingDef& def : brevon::kSettingsTable)
        EXPECT_NE(help.out.find("  " + std::string(def.name) + " "), std::string::npos) << def.name;
    for (const brevon::SettingDef& def : brevon::kExtraSettingsTable)
        EXPECT_NE(help.out.find("  " + std::string(def.name) + " "), std::string::npos) << def.name;
    EXPECT_NE(help.out.find("'get Password' weigert"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("--config-dir"), std::string::npos);
    EXPECT_NE(help.out.find("--force"), std::string::npos);
    EXPECT_NE(help.out.find("'set SemiService9X 1' schrijft"), std::string::npos) << help.out;
}

} // namespace
