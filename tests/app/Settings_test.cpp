#include <app/Settings.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <app/Options.h>
#include <app/PasswordScrambling.h>
#include <platform/Autostart.h>
#include <platform/FileSettingsStore.h>
#include <platform/SettingsFile.h>
#include "TempDir.h"

namespace fs = std::filesystem;
using brevon::LoadResult;
using brevon::Settings;
using platform::FileSettingsStore;

namespace {

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A record where every value differs from its default.
Settings Unusual() {
    Settings s;
    s.X = -120;
    s.Y = 2000;
    s.XI = 11;
    s.YI = 41;
    s.Voice = 99; // not one of the dialog's codes: kept as it is
    s.Pitch = 10;
    s.Volume = 1;
    s.Tempo = 7;
    s.Host = "pop.voorbeeld.nl";
    s.User = "DOMEIN\\j\xe9r\xf4me";
    s.Password = std::string("\x03g\xe9he\0im\xff\x80", 10); // scrambles to a leading zero byte
    s.Interval = 99;
    s.NumSaveMails = 9999;
    s.UseNumSaveMails = false;
    s.Reverse = true;
    s.SkipReply = true;
    s.SemiService9X = true;
    s.UseLid = true;
    s.ShowWindow = false;
    s.Security = brevon::ConnectionSecurity::StartTls;
    s.Port = 1110;
    s.ReadInOwnLanguage = true;
    s.GlobalKeys = false;
    s.KeyPlayPause = "Meta+F9";
    s.KeyStop = ""; // this key off
    s.KeyPrevious = "Ctrl+Alt+,";
    s.KeyNext = "Ctrl+Alt+.";
    s.KeyCheck = "Alt+Shift+F5";
    s.KeyShowBar = "Ctrl+Meta+B";
    s.ReadNewAtOnce = true;
    s.KeyReadAll = "Ctrl+Meta+A";
    s.SayAttachments = true;
    s.SayArrivalTime = true;
    s.ReadByParagraph = true;
    s.KeyPreviousParagraph = "Alt+Meta+T";
    s.KeyNextParagraph = "";
    return s;
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
        file_ = FileSettingsStore::DefaultFile();
    }
    void TearDown() override { ::unsetenv("XDG_CONFIG_HOME"); }

    brevon::EngineDefaultsSource Engine() {
        return [this] {
            ++engineCalls_;
            return brevon::EngineDefaults{13, 6, 4, 8};
        };
    }

    // Parses the stored file for a look at exactly what was written.
    platform::SettingsKeyData StoredKey() {
        platform::SettingsFile file;
        std::string error;
        EXPECT_TRUE(file.Parse(ReadAll(file_), error)) << error;
        auto* key = file.FindKey("SOFTWARE\\Tolvani Speech Technology\\Brevon");
        EXPECT_NE(key, nullptr);
        return key ? *key : platform::SettingsKeyData{};
    }

    testsupport::TempDir temp_{"app-settings"};
    const fs::path root_ = temp_.Path();
    fs::path file_;
    int engineCalls_ = 0;
};

TEST(SettingsTable, NamesTypesDefaultsAndOrderAreTheStoredOnes) {
    using T = brevon::SettingType;
    const struct {
        const char* name;
        T type;
        std::int32_t number;
        bool engine;
    } expected[] = {
        {"X", T::Integer, 0, false},
        {"Y", T::Integer, 0, false},
        {"XI", T::Integer, 10, false},
        {"YI", T::Integer, 40, false},
        {"Voice", T::Integer, 0, true},
        {"Pitch", T::Integer, 0, true},
        {"Volume", T::Integer, 0, true},
        {"Tempo", T::Integer, 0, true},
        {"Host", T::Text, 0, false},
        {"User", T::Text, 0, false},
        {"Password", T::Text, 0, false},
        {"Interval in minuten", T::Integer, 5, false},
        {"NumSaveMails", T::Integer, 20, false},
        {"UseNumSaveMails", T::Boolean, 1, false},
        {"Reverse", T::Boolean, 0, false},
        {"SkipReply", T::Boolean, 0, false},
        {"SemiService9X", T::Boolean, 0, false},
        {"UseLid", T::Boolean, 0, false},
        {"ShowWindow", T::Boolean, 1, false},
    };
    ASSERT_EQ(std::size(expected), brevon::kSettingsTable.size());
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const auto& def = brevon::kSettingsTable[i];
        EXPECT_EQ(def.name, expected[i].name) << i;
        EXPECT_EQ(def.type, expected[i].type) << def.name;
        EXPECT_EQ(def.defaultNumber, expected[i].number) << def.name;
        EXPECT_EQ(def.defaultText, "") << def.name;
        EXPECT_EQ(def.engineDefault, expected[i].engine) << def.name;
    }
}

TEST_F(SettingsTest, FirstRunWritesAllNineteenDefaultsWithTheEnginesVoiceValues) {
    FileSettingsStore store(file_);
    Settings s = Unusual();
    const LoadResult r = brevon::LoadSettings(store, s, Engine());
    EXPECT_EQ(r.outcome, LoadResult::Outcome::FirstRun);
    EXPECT_EQ(engineCalls_, 1);

    Settings expected;
    expected.XI = 10;
    expected.YI = 40;
    expected.Voice = 13;
    expected.Tempo = 6;
    expected.Pitch = 4;
    expected.Volume = 8;
    expected.Interval = 5;
    expected.NumSaveMails = 20;
    expected.UseNumSaveMails = true;
    expected.ShowWindow = true;
    expected.Security = brevon::ConnectionSecurity::Tls; // a first run proposes encryption
    expected.Port = brevon::kUsualPort;
    expected.GlobalKeys = true;
    expected.KeyPlayPause = "Ctrl+Alt+Shift+P";
    expected.KeyStop = "Ctrl+Alt+Shift+S";
    expected.KeyPrevious = "Ctrl+Alt+Shift+V";
    expected.KeyNext = "Ctrl+Alt+Shift+L";
    expected.KeyCheck = "Ctrl+Alt+Shift+C";
    expected.KeyShowBar = "Ctrl+Alt+Shift+B";
    expected.KeyReadAll = "Ctrl+Alt+Shift+A";
    expected.KeyPreviousParagraph = "Ctrl+Alt+Shift+T";
    expected.KeyNextParagraph = "Ctrl+Alt+Shift+N";
    EXPECT_EQ(s, expected);

    const auto key = StoredKey();
    ASSERT_EQ(key.values.size(), 38u);
    EXPECT_EQ(key.values[19].name, "Beveiliging");
    EXPECT_EQ(key.values[19].text, "SSL/TLS");
    EXPECT_EQ(key.values[20].name, "Poort");
    EXPECT_EQ(key.values[20].type, platform::SettingsValue::Type::String);
    EXPECT_EQ(key.values[21].name, "EigenTaal"); // other languages read in Dutch, as before
    EXPECT_EQ(key.values[21].type, platform::SettingsValue::Type::Integer);
    EXPECT_EQ(key.values[21].integer, 0);
    EXPECT_EQ(key.values[29].name, "E-mailadres"); // none yet: a first run asks for it
    EXPECT_EQ(key.values[29].text, "");
    EXPECT_EQ(key.values[37].name, "Aanmelden"); // signed in at no provider: the password
    EXPECT_EQ(key.values[37].text, "");
    for (std::size_t i = 0; i < 19; ++i) {
        const auto& def = brevon::kSettingsTable[i];
        EXPECT_EQ(key.values[i].name, def.name);
        EXPECT_EQ(key.values[i].type, def.type == brevon::SettingType::Text
                                          ? platform::SettingsValue::Type::String
                                          : platform::SettingsValue::Type::Integer)
            << def.name;
    }
    EXPECT_EQ(key.values[10].text, ""); // empty password stored as an empty text
    EXPECT_EQ(key.values[4].integer, 13);
    EXPECT_EQ(key.values[18].integer, 1);

    // The second start reads them back and does not ask the engine.
    Settings again;
    EXPECT_EQ(brevon::LoadSettings(store, again, Engine()).outcome, LoadResult::Outcome::Loaded);
    EXPECT_EQ(again, expected);
    EXPECT_EQ(engineCalls_, 1);
}

TEST_F(SettingsTest, EveryValueSurvivesSaveAndLoadWithThePasswordStoredScrambled) {
    FileSettingsStore store(file_);
    const Settings original = Unusual();
    ASSERT_TRUE(brevon::SaveSettings(store, original));

    const auto key = StoredKey();
    EXPECT_EQ(key.values[10].text, brevon::ScramblePassword(original.Password));
    EXPECT_EQ(key.values[10].text[0], '\0');
    EXPECT_EQ(key.values[10].text.size(), original.Password.size());

    Settings loaded;
    const LoadResult r = brevon::LoadSettings(store, loaded, Engine());
    EXPECT_EQ(r.outcome, LoadResult::Outcome::Loaded) << r.detail;
    EXPECT_EQ(loaded, original);
    EXPECT_EQ(engineCalls_, 0);
}

TEST_F(SettingsTest, PasswordsOfEveryLengthUpTo255ComeBackAsEntered) {
    FileSettingsStore store(file_);
    std::mt19937 rng(255);
    for (std::size_t n = 1; n <= brevon::kMaxPasswordLength; ++n) {
        Settings s = Unusual();
        s.Password.assign(n, '\0');
        for (char& c : s.Password)
            c = static_cast<char>(rng());
        ASSERT_TRUE(brevon::SaveSettings(store, s));
        Settings loaded;
        ASSERT_EQ(brevon::LoadSettings(store, loaded, Engine()).outcome,
                  LoadResult::Outcome::Loaded);
        ASSERT_EQ(loaded.Password, s.Password) << n;
    }
}

TEST_F(SettingsTest, ANonZeroStoredIntegerReadsAsTrue) {
    FileSettingsStore store(file_);
    ASSERT_TRUE(brevon::SaveSettings(store, Settings{}));
    {
        auto key = store.OpenKey(brevon::kSettingsKeyPath, platform::OpenMode::Existing).key;
        (void)key->WriteInteger("Reverse", -1);
        (void)key->WriteInteger("UseLid", 2);
    }
    Settings s;
    ASSERT_EQ(brevon::LoadSettings(store, s, Engine()).outcome, LoadResult::Outcome::Loaded);
    EXPECT_TRUE(s.Reverse);
    EXPECT_TRUE(s.UseLid);
    EXPECT_FALSE(s.SkipReply);
}

TEST_F(SettingsTest, AMissingOrMistypedValueTakesItsDefaultAndTheOthersAreKept) {
    const struct {
        const char* name;
        bool remove; // else store the other type
        std::function<void(Settings&)> expect;
    } cases[] = {
        {"X", true, [](Settings& s) { s.X = 0; }},
        {"Interval in minuten", true, [](Settings& s) { s.Interval = 5; }},
        {"Password", true, [](Settings& s) { s.Password.clear(); }},
        {"ShowWindow", true, [](Settings& s) { s.ShowWindow = true; }},
        {"Voice", false, [](Settings& s) { s.Voice = 13; }}, // the engine's
        {"Host", false, [](Settings& s) { s.Host.clear(); }},
        {"UseLid", false, [](Settings& s) { s.UseLid = false; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        engineCalls_ = 0;
        FileSettingsStore store(file_);
        ASSERT_TRUE(brevon::SaveSettings(store, Unusual()));
        {
            auto key = store.OpenKey(brevon::kSettingsKeyPath, platform::OpenMode::Existing).key;
            std::string text;
            const bool isText = !key->ReadString(c.name, text);
            if (c.remove)
                (void)key->DeleteValue(c.name);
            else if (isText)
                (void)key->WriteInteger(c.name, 5);
            else
                (void)key->WriteString(c.name, "5");
        }
        Settings s;
        const LoadResult r = brevon::LoadSettings(store, s, Engine());
        EXPECT_EQ(r.outcome, LoadResult::Outcome::Loaded);
        EXPECT_EQ(r.report.defaulted, std::vector<std::string_view>{c.name});
        Settings expected = Unusual();
        c.expect(expected);
        EXPECT_EQ(s, expected);
        EXPECT_EQ(engineCalls_, std::string_view(c.name) == "Voice" ? 1 : 0);
    }
}

// Hand edits past what the dialog offers would stop checking ("Interval in minuten" 0) or
// never announce mail ("NumSaveMails" 0 or -1).
TEST_F(SettingsTest, AnIntegerOutsideTheDialogsRangeIsBroughtToTheNearerBound) {
    const struct {
        const char* name;
        std::int32_t stored;
        std::int32_t read;
        std::int32_t Settings::*member;
    } cases[] = {
        {"Interval in minuten", 0, 1, &Settings::Interval},
        {"Interval in minuten", -5, 1, &Settings::Interval},
        {"Interval in minuten", 100, 99, &Settings::Interval},
        {"Interval in minuten", 99, 99, &Settings::Interval},
        {"NumSaveMails", 0, 1, &Settings::NumSaveMails},
        {"NumSaveMails", -1, 1, &Settings::NumSaveMails},
        {"NumSaveMails", 2147483647, 9999, &Settings::NumSaveMails},
        {"NumSaveMails", 1, 1, &Settings::NumSaveMails},
        {"Tempo", -1, 0, &Settings::Tempo},
        {"Pitch", 11, 10, &Settings::Pitch},
        {"Volume", -2147483647 - 1, 0, &Settings::Volume},
        // The dialog does not bound these: a position off screen or an unknown voice stays.
        {"X", -32000, -32000, &Settings::X},
        {"Voice", 99, 99, &Settings::Voice},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.stored));
        FileSettingsStore store(file_);
        ASSERT_TRUE(brevon::SaveSettings(store, Unusual()));
        {
            auto key = store.OpenKey(brevon::kSettingsKeyPath, platform::OpenMode::Existing).key;
            (void)key->WriteInteger(c.name, c.stored);
        }
        Settings s;
        const LoadResult r = brevon::LoadSettings(store, s, Engine());
        EXPECT_EQ(r.outcome, LoadResult::Outcome::Loaded);
        EXPECT_EQ(s.*c.member, c.read);
        EXPECT_EQ(r.report.clamped, c.stored == c.read ? std::vector<std::string_view>{}
                                                       : std::vector<std::string_view>{c.name});
        EXPECT_TRUE(r.report.defaulted.empty());
        Settings expected = Unusual();
        expected.*c.member = c.read;
        EXPECT_EQ(s, expected) << "nothing else changes";
    }
    EXPECT_EQ(engineCalls_, 0);
}

TEST(SettingsTable, BoundsAreTheOptionsDialogsOwn) {
    const auto range = [](std::string_view name) {
        for (const auto& def : brevon::kSettingsTable)
            if (def.name == name) return def.range;
        return brevon::SettingRange{};
    };
    const struct {
        const char* name;
        brevon::NumberRange dialog;
    } cases[] = {
        {"Interval in minuten", brevon::kIntervalRange},
        {"NumSaveMails", brevon::kNumSaveMailsRange},
        {"Tempo", brevon::kLevelRange},
        {"Pitch", brevon::kLevelRange},
        {"Volume", brevon::kLevelRange},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(range(c.name).min, c.dialog.min) << c.name;
        EXPECT_EQ(range(c.name).max, c.dialog.max) << c.name;
    }
    std::size_t bounded = 0;
    for (const auto& def : brevon::kSettingsTable)
        bounded += def.range.Bounded() ? 1 : 0;
    EXPECT_EQ(bounded, std::size(cases)) << "no other value is bounded";
}

TEST_F(SettingsTest, ValuesBesideTheTableReadAsTheirDefaultsWhenAbsentOrMistyped) {
    for (const bool remove : {true, false}) {
        FileSettingsStore store(file_);
        ASSERT_TRUE(brevon::SaveSettings(store, Unusual()));
        {
            auto key = store.OpenKey(brevon::kSettingsKeyPath, platform::OpenMode::Existing).key;
            for (const char* name : {"Beveiliging", "Poort"}) {
                if (remove)
                    (void)key->DeleteValue(name);
                else
                    (void)key->WriteInteger(name, 995);
            }
            for (const char* name : {"EigenTaal", "Sneltoetsen", "MeteenVoorlezen",
                                     "BijlagenNoemen", "TijdNoemen", "PerAlinea"}) {
                if (remove)
                    (void)key->DeleteValue(name);
                else
                    (void)key->WriteString(name, "0");
            }
            for (const char* name :
                 {"ToetsVoorlezen", "ToetsStoppen", "ToetsVorige", "ToetsVolgende",
                  "ToetsControleren", "ToetsKnoppenbalk", "ToetsAllesVoorlezen",
                  "ToetsVorigeAlinea", "ToetsVolgendeAlinea"}) {
                if (remove)
                    (void)key->DeleteValue(name);
                else
                    (void)key->WriteInteger(name, 80);
            }
        }
        Settings s;
        const LoadResult r = brevon::LoadSettings(store, s, Engine());
        EXPECT_EQ(r.outcome, LoadResult::Outcome::Loaded) << r.detail;
        Settings expected = Unusual();
        // A file from before the choice: as it always connected.
        expected.Security = brevon::ConnectionSecurity::None;
        expected.Port = brevon::kUsualPort;
        expected.ReadInOwnLanguage = false; // all mail in Dutch, as before the option
        expected.GlobalKeys = true;
        expected.KeyPlayPause = "Ctrl+Alt+Shift+P";
        expected.KeyStop = "Ctrl+Alt+Shift+S";
        expected.KeyPrevious = "Ctrl+Alt+Shift+V";
        expected.KeyNext = "Ctrl+Alt+Shift+L";
        expected.KeyCheck = "Ctrl+Alt+Shift+C";
        expected.KeyShowBar = "Ctrl+Alt+Shift+B";
        expected.ReadNewAtOnce = false; // announced only, as before the option
        expected.SayAttachments = false;
        expected.SayArrivalTime = false;
        expected.ReadByParagraph = false;
        expected.KeyPreviousParagraph = "Ctrl+Alt+Shift+T";
        expected.KeyNextParagraph = "Ctrl+Alt+Shift+N";
        expected.KeyReadAll = "Ctrl+Alt+Shift+A";
        EXPECT_EQ(s, expected);
    }
}

TEST_F(SettingsTest, AKeyTextThatNamesNoKeyReadsAsItsDefaultAndTheOthersAreKept) {
    FileSettingsStore store(file_);
    ASSERT_TRUE(brevon::SaveSettings(store, Unusual()));
    const struct {
        const char* stored;
        const char* read;
    } cases[] = {
        {"Ctrl+Alt+Q", "Ctrl+Alt+Q"},
        {"", ""},                             // off stays off
        {"P", "Ctrl+Alt+Shift+P"},            // no modifier: it would take the key from everyone
        {"Ctrl+Hyper+P", "Ctrl+Alt+Shift+P"}, // hand-edited nonsense
        {"Ctrl+Alt+é", "Ctrl+Alt+Shift+P"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        {
            auto key = store.OpenKey(brevon::kSettingsKeyPath, platform::OpenMode::Existing).key;
            ASSERT_FALSE(key->WriteString("ToetsVoorlezen", c.stored));
        }
        Settings s;
        const LoadResult r = brevon::LoadSettings(store, s, Engine());
        EXPECT_EQ(r.outcome, LoadResult::Outcome::Loaded) << r.detail;
        Settings expected = Unusual();
        expected.KeyPlayPause = c.read;
        EXPECT_EQ(s, expected);
    }
}

// Whatever the file holds, the load goes on: readable values are kept, the rest are defaults,
// a file that cannot be read as settings is kept aside before the defaults replace it, and
// nothing of the user's is lost.
TEST_F(SettingsTest, ADamagedOrUnreadableFileNeverStopsTheLoadAndIsNeverLost) {
    std::mt19937 rng(2);
    std::string noise(3000, '\0');
    for (char& c : noise)
        c = static_cast<char>(rng());
    FileSettingsStore writer(file_);
    ASSERT_TRUE(brevon::SaveSettings(writer, Unusual()));
    const std::string whole = ReadAll(file_);
    const std::size_t userLine = whole.find("\"User\"=");
    const std::size_t passwordLine = whole.find("\"Password\"=");
    ASSERT_NE(userLine, std::string::npos);
    ASSERT_NE(passwordLine, std::string::npos);

    using O = LoadResult::Outcome;
    const struct {
        const char* what;
        std::function<void()> make;
        O outcome;
        bool hostKept; // else every value is a default
        std::vector<std::string_view> defaulted;
    } cases[] = {
        {"random bytes",
         [&] { std::ofstream(file_, std::ios::binary) << noise; },
         O::Damaged,
         false,
         {}},
        {"cut short in the user line",
         [&] { std::ofstream(file_, std::ios::binary) << whole.substr(0, userLine + 12); },
         O::Loaded,
         true,
         {"User", "Password", "Interval in minuten", "NumSaveMails", "UseNumSaveMails", "Reverse",
          "SkipReply", "SemiService9X", "UseLid", "ShowWindow"}},
        {"a huge line in the middle",
         [&] {
             std::ofstream(file_, std::ios::binary)
                 << whole.substr(0, passwordLine) << std::string(700000, '#') << '\n'
                 << whole.substr(passwordLine);
         },
         O::Loaded,
         true,
         {}},
        {"far larger than a settings file",
         [&] { std::ofstream(file_, std::ios::binary) << whole << std::string(3 << 20, ';'); },
         O::Damaged,
         false,
         {}},
        {"a value of the wrong type",
         [&] {
             std::string text = whole;
             const std::size_t end = text.find('\n', userLine);
             text.replace(userLine, end - userLine, "\"User\"=dword:00000007");
             std::ofstream(file_, std::ios::binary) << text;
         },
         O::Loaded,
         true,
         {"User"}},
        {"a folder", [&] { fs::create_directories(file_ / "x"); }, O::Unreadable, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(file_.parent_path());
        fs::create_directories(file_.parent_path());
        c.make();
        const bool isFile = fs::is_regular_file(file_);
        const std::string before = isFile ? ReadAll(file_) : "";
        engineCalls_ = 0;
        FileSettingsStore store(file_);
        Settings s;
        const LoadResult r = brevon::LoadSettings(store, s, Engine());
        EXPECT_EQ(r.outcome, c.outcome) << r.detail;
        if (c.outcome != O::Loaded) {
            EXPECT_NE(r.detail.find(file_.string()), std::string::npos) << r.detail;
        }
        EXPECT_EQ(r.report.defaulted, c.defaulted);
        EXPECT_EQ(s.Host, c.hostKept ? Unusual().Host : "");
        if (!c.hostKept) {
            Settings defaults;
            brevon::SetDefaultSettings(defaults, Engine());
            EXPECT_EQ(s, defaults);
        }

        // Kept aside only when the file could not be read as settings; there, whole.
        std::vector<fs::path> aside;
        for (const auto& e : fs::directory_iterator(file_.parent_path()))
            if (e.path().filename().string().starts_with("settings.reg.damaged-"))
                aside.push_back(e.path());
        if (c.outcome == O::Damaged) {
            ASSERT_EQ(aside.size(), 1u);
            EXPECT_EQ(r.keptAside, aside[0].string());
            EXPECT_EQ(ReadAll(aside[0]), before);
            Settings again; // the defaults went in its place
            EXPECT_EQ(brevon::LoadSettings(store, again, Engine()).outcome, O::Loaded);
            EXPECT_EQ(again, s);
        } else {
            EXPECT_TRUE(aside.empty());
            EXPECT_EQ(r.keptAside, "");
            EXPECT_EQ(isFile ? ReadAll(file_) : "", before) << "loading writes nothing";
            EXPECT_EQ(fs::is_directory(file_), !isFile);
        }
        // Shutdown saves: only a readable file is written; nothing of a damaged one is lost.
        const bool saved = brevon::SaveSettings(store, s);
        EXPECT_EQ(saved, c.outcome != O::Unreadable);
        if (!saved) {
            EXPECT_TRUE(fs::is_directory(file_ / "x"));
        }
    }
}

TEST_F(SettingsTest, WhenNothingCanBeWrittenTheFirstRunGoesOnWithTheDefaults) {
    std::ofstream(root_ / "file") << "x"; // the config folder is a file: nothing can go below it
    ::setenv("XDG_CONFIG_HOME", (root_ / "file").c_str(), 1);
    FileSettingsStore store(FileSettingsStore::DefaultFile());
    Settings s;
    EXPECT_EQ(brevon::LoadSettings(store, s, Engine()).outcome, LoadResult::Outcome::FirstRun);
    EXPECT_EQ(s.Voice, 13);
    EXPECT_EQ(s.Interval, 5);
    EXPECT_FALSE(brevon::SaveSettings(store, s));
}

TEST_F(SettingsTest, SavingOverADamagedFileKeepsItAside) {
    fs::create_directories(file_.parent_path());
    std::ofstream(file_, std::ios::binary) << "rubbish";
    FileSettingsStore store(file_);
    ASSERT_TRUE(brevon::SaveSettings(store, Unusual()));
    std::vector<std::string> kept;
    for (const auto& e : fs::directory_iterator(file_.parent_path()))
        if (e.path() != file_) kept.push_back(ReadAll(e.path()));
    EXPECT_EQ(kept, std::vector<std::string>{"rubbish"});
    Settings s;
    EXPECT_EQ(brevon::LoadSettings(store, s, Engine()).outcome, LoadResult::Outcome::Loaded);
    EXPECT_EQ(s, Unusual());
}

struct FakeWindows : brevon::WindowPositions {
    brevon::WindowPosition BarPosition() const override { return {-5, 700}; }
    brevon::WindowPosition OptionsPosition() const override { return {300, 12}; }
};

TEST(StoreWindowPositions, TakesTheBarAndTheOptionsDialogPlaces) {
    Settings s = Unusual();
    brevon::StoreWindowPositions(s, FakeWindows{});
    EXPECT_EQ(s.X, -5);
    EXPECT_EQ(s.Y, 700);
    EXPECT_EQ(s.XI, 300);
    EXPECT_EQ(s.YI, 12);
    s.X = Unusual().X;
    s.Y = Unusual().Y;
    s.XI = Unusual().XI;
    s.YI = Unusual().YI;
    EXPECT_EQ(s, Unusual()) << "nothing else changes";
}

struct MockAutostart : platform::Autostart {
    MOCK_METHOD(std::error_code, Enable, (const std::filesystem::path&), (override));
    MOCK_METHOD(std::error_code, Disable, (), (override));
};

TEST(ApplyAutostart, FollowsTheBoxAndPassesThePlatformsAnswerBack) {
    using ::testing::Return;
    const fs::path exe = "/opt/brevon/bin/brevon";
    const std::error_code refused = std::make_error_code(std::errc::permission_denied);
    for (const bool semiService : {false, true}) {
        for (const std::error_code answer : {std::error_code{}, refused}) {
            Settings s;
            s.SemiService9X = semiService;
            ::testing::StrictMock<MockAutostart> autostart; // any other call fails the test
            if (semiService)
                EXPECT_CALL(autostart, Enable(exe)).WillOnce(Return(answer));
            else
                EXPECT_CALL(autostart, Disable()).WillOnce(Return(answer));
            EXPECT_EQ(brevon::ApplyAutostart(s, autostart, exe), answer);
        }
    }
}

} // namespace
