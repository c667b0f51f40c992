#include <app/Options.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mail/Seams.h>
#include <platform/Autostart.h>
#include <platform/FileSettingsStore.h>
#include "ShellFakes.h"
#include "TempDir.h"

namespace fs = std::filesystem;
using namespace brevon;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

TEST(NumberFieldValue, BringsWholeNumbersIntoRangeAndCountsAnythingElseAsTheMinimum) {
    struct Case {
        const char* text;
        std::int32_t min, max, expected;
    };
    const Case cases[] = {
        {"5", 1, 99, 5},
        {"1", 1, 99, 1},
        {"99", 1, 99, 99},
        {"007", 1, 99, 7},
        {" 42 ", 1, 99, 42},
        {"+7", 1, 99, 7},
        // Out of range: the nearest bound.
        {"0", 1, 99, 1},
        {"100", 1, 99, 99},
        {"10000", 1, 9999, 9999},
        {"-3", 1, 99, 1},
        {"99999999999999999999999", 1, 9999, 9999},
        {"-99999999999999999999999", 1, 9999, 1},
        // Not a whole number: the minimum, even where the digits would be in range.
        {"", 1, 99, 1},
        {"   ", 1, 99, 1},
        {"abc", 1, 99, 1},
        {"1.5", 1, 99, 1},
        {"50,0", 1, 99, 1},
        {"12a", 1, 99, 1},
        {"1e3", 1, 9999, 1},
        {"--5", 1, 99, 1},
        {"+-5", 1, 99, 1},
        {"+", 1, 99, 1},
        {"0x10", 1, 99, 1},
        {"\xbd", 1, 99, 1}, // '½' in Windows-1252
    };
    for (const Case& c : cases)
        EXPECT_EQ(NumberFieldValue(c.text, c.min, c.max), c.expected)
            << '"' << c.text << "\" in " << c.min << ".." << c.max;
}

TEST(VoiceIndex, FindsTheListPositionOfEachKnownCodeAndNoneForOthers) {
    const std::int32_t codes[] = {4, 7, 10, 13, 0, 16, 17};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(VoiceIndex(codes[i]), i) << "code " << codes[i];
    for (std::int32_t unknown : {1, 5, 18, 99, -1})
        EXPECT_EQ(VoiceIndex(unknown), -1) << unknown;
}

Settings Sample() {
    Settings s;
    s.XI = 10;
    s.YI = 40;
    s.Voice = 7;
    s.Pitch = 3;
    s.Volume = 8;
    s.Tempo = 5;
    s.Host = "pop.voorbeeld.nl";
    s.User = "jan";
    s.Password = "Geheim\xe9";
    s.Interval = 5;
    s.NumSaveMails = 20;
    s.UseNumSaveMails = true;
    s.ShowWindow = true;
    s.Security = ConnectionSecurity::None; // as a settings file from before the choice reads
    return s;
}

TEST(FieldsFromSettings, CopiesEveryEditedValueAndNamesTheVoice) {
    const OptionsFields f = FieldsFromSettings(Sample());
    EXPECT_EQ(f.Host, "pop.voorbeeld.nl");
    EXPECT_EQ(f.User, "jan");
    EXPECT_EQ(f.Password, "Geheim\xe9");
    EXPECT_EQ(f.Interval, 5);
    EXPECT_EQ(f.NumSaveMails, 20);
    EXPECT_TRUE(f.UseNumSaveMails);
    EXPECT_FALSE(f.Reverse);
    EXPECT_EQ(f.VoiceText, "Vrouw");
    EXPECT_EQ(f.Tempo, 5);
    EXPECT_EQ(f.Pitch, 3);
    EXPECT_EQ(f.Volume, 8);
}

TEST(FieldsFromSettings, LeavesTheVoiceEmptyForACodeTheListDoesNotHold) {
    Settings s = Sample();
    s.Voice = 99;
    EXPECT_EQ(FieldsFromSettings(s).VoiceText, "");
}

TEST(SaveFieldsToSettings, ReportsAConnectionChangeForConnectionFieldsOnly) {
    struct Case {
        const char* what;
        std::function<void(OptionsFields&)> edit;
        bool changed;
    };
    const Case cases[] = {
        {"nothing", [](OptionsFields&) {}, false},
        {"host", [](OptionsFields& f) { f.Host = "pop.elders.nl"; }, true},
        {"host emptied", [](OptionsFields& f) { f.Host.clear(); }, true},
        {"user", [](OptionsFields& f) { f.User = "piet"; }, true},
        {"user case", [](OptionsFields& f) { f.User = "Jan"; }, true},
        {"password", [](OptionsFields& f) { f.Password = "Anders"; }, true},
        {"password case only", [](OptionsFields& f) { f.Password = "GEHEIM\xc9"; }, true},
        {"password longer", [](OptionsFields& f) { f.Password += ' '; }, true},
        {"fetch limit", [](OptionsFields& f) { f.NumSaveMails = 21; }, true},
        {"fetch limit written differently",
         [](OptionsFields& f) { f.NumSaveMails = NumberFieldValue("020", 1, 9999); }, false},
        {"fetch limit box", [](OptionsFields& f) { f.UseNumSaveMails = false; }, true},
        {"order box", [](OptionsFields& f) { f.Reverse = true; }, true},
        {"security", [](OptionsFields& f) { f.Security = ConnectionSecurity::Tls; }, true},
        {"port", [](OptionsFields& f) { f.Port = 995; }, true},
        {"a port written with the host", [](OptionsFields& f) { f.Host += ":995"; }, true},
        {"a port that is none", [](OptionsFields& f) { f.Port = PortFromText("0"); }, false},
        {"the usual port written out", [](OptionsFields& f) { f.Port = 110; }, false},
        {"the usual port written with the host", [](OptionsFields& f) { f.Host += ":110"; }, false},
        {"interval", [](OptionsFields& f) { f.Interval = 99; }, false},
        {"voice", [](OptionsFields& f) { f.VoiceText = "Robot"; }, false},
        {"sliders",
         [](OptionsFields& f) {
             f.Tempo = 0;
             f.Pitch = 10;
             f.Volume = 1;
         },
         false},
        {"filters and autostart",
         [](OptionsFields& f) {
             f.SkipReply = true;
             f.UseLid = true;
             f.SemiService9X = true;
             f.ReadInOwnLanguage = true;
         },
         false},
    };
    for (const Case& c : cases) {
        Settings s = Sample();
        ReadingState state;
        OptionsFields f = FieldsFromSettings(s);
        c.edit(f);
        EXPECT_EQ(SaveFieldsToSettings(f, s, state), c.changed) << c.what;
    }
}

TEST(SaveFieldsToSettings, SecurityAndPortAreStoredAsTheirCanonicalTexts) {
    const struct {
        const char* host;
        const char* security;
        const char* port;
        const char* storedHost;
        const char* storedSecurity;
        const char* storedPort;
    } cases[] = {
        {"pop.voorbeeld.nl", "STARTTLS", "", "pop.voorbeeld.nl", "STARTTLS", ""},
        {"pop.voorbeeld.nl", "ssl/tls", " 0995 ", "pop.voorbeeld.nl", "SSL/TLS", "995"},
        {"pop.voorbeeld.nl", "Geen", "70000", "pop.voorbeeld.nl", "Geen", ""},
        {"pop.voorbeeld.nl:1110", "Geen", "995", "pop.voorbeeld.nl:1110", "Geen", "995"},
        {"[::1]:995", "SSL/TLS", "", "[::1]:995", "SSL/TLS", ""},
        {"pop.voorbeeld.nl:abc", "Geen", "110", "pop.voorbeeld.nl:abc", "Geen", "110"},
        {"pop.voorbeeld.nl", "onbekend", "", "pop.voorbeeld.nl", "Geen", ""},
    };
    for (const auto& c : cases) {
        Settings s = Sample();
        ReadingState state;
        OptionsFields f = FieldsFromSettings(s);
        f.Host = c.host;
        f.Security = SecurityFromText(c.security);
        f.Port = PortFromText(c.port);
        SaveFieldsToSettings(f, s, state);
        EXPECT_EQ(s.Host, c.storedHost) << c.host;
        EXPECT_EQ(SecurityText(s.Security), c.storedSecurity) << c.security;
        EXPECT_EQ(PortText(s.Port), c.storedPort) << c.host << " " << c.port;
        EXPECT_EQ(SecurityText(FieldsFromSettings(s).Security), c.storedSecurity);
    }
    // A record from before the choice shows as no security.
    EXPECT_EQ(FieldsFromSettings(Sample()).Security, ConnectionSecurity::None);
}

TEST(SaveFieldsToSettings, CopiesTheFieldsIntoTheSettingsAndLeavesThePositionsAlone) {
    Settings s = Sample();
    ReadingState state;
    OptionsFields f;
    f.Host = "h";
    f.User = "u";
    f.Password = "p";
    f.Interval = 250;     // brought to 99
    f.NumSaveMails = -20; // brought to 1
    f.UseNumSaveMails = false;
    f.Reverse = true;
    f.VoiceText = "Slang";
    f.Tempo = 1;
    f.Pitch = 2;
    f.Volume = 9;
    f.SkipReply = true;
    f.UseLid = true;
    f.SemiService9X = true;
    f.ReadInOwnLanguage = true;
    SaveFieldsToSettings(f, s, state);

    Settings expected = Sample();
    expected.Host = "h";
    expected.User = "u";
    expected.Password = "p";
    expected.Interval = 99;
    expected.NumSaveMails = 1;
    expected.UseNumSaveMails = false;
    expected.Reverse = true;
    expected.Voice = 17;
    expected.Tempo = 1;
    expected.Pitch = 2;
    expected.Volume = 9;
    expected.SkipReply = true;
    expected.UseLid = true;
    expected.SemiService9X = true;
    expected.ReadInOwnLanguage = true;
    EXPECT_EQ(s, expected);
}

TEST(SaveFieldsToSettings, AnotherUserStartsWithNoKnownMessages) {
    Settings s = Sample();
    ReadingState state;
    state.KnownIds = {"a", "b", "c"};
    state.KnownHeaders = {"A\tx", "B\ty", "C\tz"};
    state.CurrentIndex = 2;

    OptionsFields f = FieldsFromSettings(s);
    f.Host = "pop.elders.nl"; // another server, same user: the lists stay
    state.LoadPending = false;
    SaveFieldsToSettings(f, s, state);
    EXPECT_EQ(state.KnownIds.size(), 3u);
    EXPECT_EQ(state.CurrentIndex, 2);
    EXPECT_FALSE(state.LoadPending);

    f.User = "piet";
    SaveFieldsToSettings(f, s, state);
    EXPECT_THAT(state.KnownIds, IsEmpty());
    EXPECT_THAT(state.KnownHeaders, IsEmpty());
    EXPECT_EQ(state.CurrentIndex, 0); // not left pointing into the emptied lists
    EXPECT_TRUE(state.LoadPending);   // piet's own list files are read at the next check
}

TEST(SaveFieldsToSettings, KeepsTheVoiceUnlessTheTextIsExactlyOneOfTheItems) {
    struct Case {
        const char* text;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"Man", 4},     {"Vrouw", 7},       {"Jongen", 10}, {"Meisje", 13}, {"Robot", 0},
        {"Muisje", 16}, {"Slang", 17},      {"", 99},       {"man", 99},    {"Man ", 99},
        {" Man", 99},   {"Zeemeermin", 99}, {"4", 99},
    };
    for (const Case& c : cases) {
        Settings s = Sample();
        s.Voice = 99; // unknown to the list, and kept as it is
        ReadingState state;
        OptionsFields f = FieldsFromSettings(s);
        f.VoiceText = c.text;
        SaveFieldsToSettings(f, s, state);
        EXPECT_EQ(s.Voice, c.expected) << '"' << c.text << '"';
    }
}

// --- OK --------------------------------------------------------------------------------------

using Log = fakes::CallLog;
using fakes::FakeLanguageCheck;
using fakes::FakeMail;
using fakes::FakeSpeech;

class FakeAutostart final : public platform::Autostart {
public:
    explicit FakeAutostart(Log& log) : log_(log) {}
    std::error_code Enable(const fs::path& exe) override {
        log_.push_back("Autostart on " + exe.string());
        return {};
    }
    std::error_code Disable() override {
        log_.push_back("Autostart off");
        return {};
    }

private:
    Log& log_;
};

// The file store, noting when the settings are written.
class NotingStore final : public platform::SettingsStore {
public:
    NotingStore(Log& log, const fs::path& dir) : log_(log), dir_(dir) {}
    platform::OpenKeyResult OpenKey(std::string_view path, platform::OpenMode mode) override {
        if (mode == platform::OpenMode::Create) log_.push_back("SaveSettings");
        return platform::FileSettingsStore(dir_ / "settings.reg").OpenKey(path, mode);
    }

private:
    Log& log_;
    const fs::path& dir_; // set once the test has made it
};

class Positions final : public WindowPositions {
public:
    WindowPosition BarPosition() const override { return {120, 700}; }
    WindowPosition OptionsPosition() const override { return {33, 44}; }
};

class OkSteps : public ::testing::Test {
protected:
    void SetUp() override {
        settings = Sample();
        fields = FieldsFromSettings(settings);
    }

    OkOutcome Ok() {
        OkEnvironment env{settings,       state,      store,         positions, speech,
                          &languageCheck, &autostart, "/opt/brevon", &mail};
        return RunOkSteps(fields, connectionChanged, env);
    }
    // What a restart would read.
    Settings Stored() {
        platform::FileSettingsStore again(dir_ / "settings.reg");
        Settings read;
        const LoadResult r = LoadSettings(again, read, [] { return EngineDefaults{}; });
        EXPECT_EQ(r.outcome, LoadResult::Outcome::Loaded);
        return read;
    }

    testsupport::TempDir temp_{"app-options"};
    const fs::path dir_ = temp_.Path();
    Log log;
    Settings settings;
    ReadingState state;
    OptionsFields fields;
    bool connectionChanged = false;
    FakeSpeech speech{log};
    FakeMail mail{log, state};
    FakeLanguageCheck languageCheck{log};
    FakeAutostart autostart{log};
    NotingStore store{log, dir_};
    Positions positions;
};

TEST_F(OkSteps, WithOnlyTheIntervalChangedSavesAndConfiguresButDoesNotCheckMail) {
    fields.Interval = 12;
    EXPECT_EQ(Ok(), OkOutcome::Close);
    EXPECT_FALSE(connectionChanged);
    EXPECT_THAT(log, ElementsAre("SaveSettings", "ApplyLanguageCheckSetting", "Autostart off",
                                 "SetTempo 5", "SetPitch 3", "SetVolume 8", "SetVoice 7"));
    Settings expected = Sample();
    expected.Interval = 12;
    expected.X = 120;
    expected.Y = 700;
    expected.XI = 33;
    expected.YI = 44;
    EXPECT_EQ(settings, expected);
    EXPECT_EQ(Stored(), expected);
}

TEST_F(OkSteps, AfterAConnectionChangeGoesOnlineAndChecksMailLast) {
    state.Online = false; // a check makes the program try again, even when it was offline
    state.KnownIds = {"1"};
    state.KnownHeaders = {"A\tB"};
    fields.User = "piet";
    fields.VoiceText = "Robot";
    EXPECT_EQ(Ok(), OkOutcome::Close);
    EXPECT_TRUE(connectionChanged);
    EXPECT_THAT(state.KnownIds, IsEmpty());
    EXPECT_THAT(state.KnownHeaders, IsEmpty());
    EXPECT_THAT(log, ElementsAre("SaveSettings", "ApplyLanguageCheckSetting", "Autostart off",
                                 "SetTempo 5", "SetPitch 3", "SetVolume 8", "SetVoice 0",
                                 "SetOnline true", "CheckMail"));
    EXPECT_EQ(Stored().User, "piet");
}

TEST_F(OkSteps, StaysOpenWhenTheCheckLeavesTheProgramOffline) {
    mail.duringCheck = [this] { state.Online = false; }; // the check fails
    fields.Host = "pop.bestaat.niet";
    EXPECT_EQ(Ok(), OkOutcome::StayOpen);
    EXPECT_EQ(settings.Host, "pop.bestaat.niet"); // saved all the same
}

TEST_F(OkSteps, ClosesWhileOfflineWhenNoCheckRan) {
    // Offline by choice, only the voice changed: nothing to wait for.
    state.Online = false;
    fields.VoiceText = "Meisje";
    EXPECT_EQ(Ok(), OkOutcome::Close);
    EXPECT_THAT(log, ::testing::Not(::testing::Contains("CheckMail")));
    EXPECT_FALSE(state.Online);
}

TEST_F(OkSteps, AConnectionChangeFromAnEarlierOkIsStillChecked) {
    // SaveOptions only ever sets the flag: a change saved by an OK whose check never ran is
    // checked at the next OK, until LoadOptions clears it.
    connectionChanged = true;
    EXPECT_EQ(Ok(), OkOutcome::Close);
    EXPECT_THAT(log, ::testing::Contains("CheckMail"));
}

TEST_F(OkSteps, WithoutAMailSideNoCheckRunsAndTheDialogCloses) {
    fields.Host = "pop.elders.nl";
    OkEnvironment env{settings, state, store, positions, speech, nullptr, nullptr, {}, nullptr};
    EXPECT_EQ(RunOkSteps(fields, connectionChanged, env), OkOutcome::Close);
    EXPECT_TRUE(connectionChanged);
    EXPECT_THAT(log, ::testing::Not(::testing::Contains("CheckMail")));
}

TEST_F(OkSteps, BringsTheLogonEntryInLineWithTheBoxAfterSaving) {
    for (const bool box : {true, false, false}) {
        log.clear();
        fields.SemiService9X = box;
        Ok();
        EXPECT_THAT(log, ElementsAre("SaveSettings", "ApplyLanguageCheckSetting",
                                     box ? "Autostart on /opt/brevon" : "Autostart off",
                                     "SetTempo 5", "SetPitch 3", "SetVolume 8", "SetVoice 7"));
        EXPECT_EQ(Stored().SemiService9X, box);
    }
}

// The engine's defaults as FakeSpeech reports them: voice 10 ("Jongen"), tempo 6, pitch 4,
// volume 9; the sample record has voice 7, tempo 5, pitch 3, volume 8.
TEST_F(OkSteps, DefaultsThenCancelLeaveTheRecordTheStoreAndTheEngineAsTheyWere) {
    ApplyEngineDefaults(fields, speech.defaults);
    EXPECT_EQ(fields.VoiceText, "Jongen");
    EXPECT_EQ(fields.Tempo, 6);
    EXPECT_EQ(fields.Pitch, 4);
    EXPECT_EQ(fields.Volume, 9);
    // Annuleren runs no OK step: the fields are dropped and the next LoadOptions shows the record.
    EXPECT_EQ(settings, Sample());
    EXPECT_THAT(log, IsEmpty());
    EXPECT_FALSE(fs::exists(dir_ / "settings.reg"));
    EXPECT_EQ(FieldsFromSettings(settings).VoiceText, "Vrouw");
}

TEST_F(OkSteps, OkAfterDefaultsStoresThemAndHandsThemToTheEngine) {
    struct Case {
        const char* what;
        std::int32_t defaultVoice;
        const char* voiceTextAfter; // nullptr: as the defaults left it
        std::int32_t storedVoice;
    };
    const Case cases[] = {
        {"a voice the list holds", 10, nullptr, 10},
        {"a voice the list lacks", 99, nullptr, 99},
        {"another voice chosen afterwards", 10, "Slang", 17},
        {"a name typed afterwards that is no voice", 10, "Zeemeermin", 10},
    };
    for (const Case& c : cases) {
        log.clear();
        settings = Sample();
        fields = FieldsFromSettings(settings);
        EngineDefaults defaults = speech.defaults;
        defaults.voice = c.defaultVoice;
        ApplyEngineDefaults(fields, defaults);
        if (c.voiceTextAfter) fields.VoiceText = c.voiceTextAfter;
        EXPECT_EQ(Ok(), OkOutcome::Close) << c.what;
        EXPECT_THAT(log, ElementsAre("SaveSettings", "ApplyLanguageCheckSetting", "Autostart off",
                                     "SetTempo 6", "SetPitch 4", "SetVolume 9",
                                     "SetVoice " + std::to_string(c.storedVoice)))
            << c.what;
        const Settings stored = Stored();
        EXPECT_EQ(stored.Voice, c.storedVoice) << c.what;
        EXPECT_EQ(stored.Tempo, 6) << c.what;
        EXPECT_EQ(stored.Pitch, 4) << c.what;
        EXPECT_EQ(stored.Volume, 9) << c.what;
        EXPECT_EQ(stored, settings) << c.what;
    }
}

TEST_F(OkSteps, RefusesAPasswordLongerThan255BytesAndAppliesNothing) {
    fields.Password = std::string(256, 'x');
    fields.Interval = 9;
    EXPECT_EQ(Ok(), OkOutcome::PasswordTooLong);
    EXPECT_THAT(log, IsEmpty());
    EXPECT_EQ(settings, Sample());
    EXPECT_FALSE(connectionChanged);
    EXPECT_FALSE(fs::exists(dir_ / "settings.reg"));

    fields.Password = std::string(255, '\xff');
    EXPECT_EQ(Ok(), OkOutcome::Close);
    EXPECT_EQ(Stored().Password, std::string(255, '\xff'));
}

} // namespace
