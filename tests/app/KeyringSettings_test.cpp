#include <app/KeyringSettingsStore.h>

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <app/PasswordScrambling.h>
#include <app/Settings.h>
#include <platform/FileSettingsStore.h>
#include <platform/Secrets.h>

#include "PrivateKeyring.h"
#include "TempDir.h"

namespace {

using namespace brevon;
using testsupport::PrivateKeyring;

constexpr const char* kAccount = "jan@pop.example.nl";

// A settings folder of the test's own, seen through the keyring (as brevon and brevon-config see
// it) and as the bare file.
struct KeyringSettings : ::testing::Test {
    explicit KeyringSettings(PrivateKeyring::With with = PrivateKeyring::With::Keyring)
        : keyring(with) {}

    void SetUp() override {
        ASSERT_TRUE(keyring.Ready()) << "the test's session bus did not start";
    }

    std::unique_ptr<KeyringSettingsStore> Store() const {
        return std::make_unique<KeyringSettingsStore>(
            std::make_unique<platform::FileSettingsStore>(file), platform::DesktopSecretStore());
    }

    static Settings Configured(const std::string& password) {
        Settings settings;
        SetDefaultSettings(settings, [] { return EngineDefaults{}; });
        settings.Host = "pop.example.nl";
        settings.User = "jan";
        settings.Password = password;
        return settings;
    }

    Settings Load(KeyringSettingsStore& store) const {
        Settings settings;
        const LoadResult loaded = LoadSettings(store, settings, [] { return EngineDefaults{}; });
        EXPECT_EQ(loaded.outcome, LoadResult::Outcome::Loaded);
        return settings;
    }

    // "Password" and the keyring mark as the settings file holds them.
    struct InFile {
        std::string password;       // as stored: scrambled
        std::int32_t inKeyring = 0; // absent reads as 0
    };
    InFile File() const {
        platform::FileSettingsStore bare(file);
        platform::OpenKeyResult opened =
            bare.OpenKey(kSettingsKeyPath, platform::OpenMode::Existing);
        InFile found;
        if (!opened.key) return found;
        (void)opened.key->ReadString("Password", found.password);
        (void)opened.key->ReadInteger(kPasswordInKeyringValue, found.inKeyring);
        return found;
    }

    PrivateKeyring keyring;
    testsupport::TempDir folder{"keyring-settings"};
    std::filesystem::path file = folder.Path() / "settings.reg";
};

TEST_F(KeyringSettings, ThePasswordIsKeptInTheKeyringAndNotInTheSettingsFile) {
    const std::unique_ptr<KeyringSettingsStore> store = Store();
    EXPECT_EQ(store->Place(), PasswordPlace::Keyring);
    ASSERT_TRUE(SaveSettings(*store, Configured("geheim wachtw\xF6rd")));

    EXPECT_EQ(PrivateKeyring::Lookup("password", kAccount).out, "geheim wachtw\xC3\xB6rd");
    EXPECT_EQ(File().password, "");
    EXPECT_EQ(File().inKeyring, 1);
    EXPECT_EQ(Load(*Store()).Password, "geheim wachtw\xF6rd");
}

TEST_F(KeyringSettings, AScrambledPasswordOfAnOlderFileMovesToTheKeyringAtTheNextSave) {
    {
        platform::FileSettingsStore bare(file); // as brevon wrote it before the keyring
        ASSERT_TRUE(SaveSettings(bare, Configured("oud-wachtwoord")));
    }
    ASSERT_EQ(File().password, ScramblePassword("oud-wachtwoord"));

    const std::unique_ptr<KeyringSettingsStore> store = Store();
    Settings settings = Load(*store);
    EXPECT_EQ(settings.Password, "oud-wachtwoord");
    EXPECT_FALSE(store->KeyringProblem());
    ASSERT_TRUE(SaveSettings(*store, settings));

    EXPECT_EQ(PrivateKeyring::Lookup("password", kAccount).out, "oud-wachtwoord");
    EXPECT_EQ(File().password, "");
    EXPECT_EQ(Load(*Store()).Password, "oud-wachtwoord");
}

TEST_F(KeyringSettings, ALockedKeyringAtStartIsReportedAndItsPasswordSurvivesTheSaves) {
    ASSERT_TRUE(SaveSettings(*Store(), Configured("geheim")));
    ASSERT_TRUE(keyring.LockLogin());

    const std::unique_ptr<KeyringSettingsStore> store = Store();
    Settings settings = Load(*store);
    EXPECT_EQ(settings.Password, "");
    ASSERT_TRUE(store->KeyringProblem());
    EXPECT_NE(store->KeyringProblem()->find("locked"), std::string::npos);
    EXPECT_EQ(store->Place(), PasswordPlace::SettingsFile);

    // The save at shutdown, with no password given: the keyring's is left alone.
    ASSERT_TRUE(SaveSettings(*store, settings));
    EXPECT_EQ(File().inKeyring, 1);
    EXPECT_EQ(platform::DesktopSecretStore()->Read({kPasswordSecretKind, kAccount}).error,
              platform::SecretsErrc::locked)
        << "the locked item is still there";

    // The password typed in the dialog goes to the file while the keyring stays locked.
    settings.Password = "opnieuw";
    ASSERT_TRUE(SaveSettings(*store, settings));
    EXPECT_EQ(File().password, ScramblePassword("opnieuw"));
    EXPECT_EQ(File().inKeyring, 0);
    const std::unique_ptr<KeyringSettingsStore> later = Store();
    EXPECT_EQ(Load(*later).Password, "opnieuw");
    EXPECT_FALSE(later->KeyringProblem());
}

TEST_F(KeyringSettings, ASaveOfThePasswordAsReadLeavesItInTheKeyringEvenWhenLockedMeanwhile) {
    ASSERT_TRUE(SaveSettings(*Store(), Configured("geheim")));
    const std::unique_ptr<KeyringSettingsStore> store = Store();
    Settings settings = Load(*store);
    ASSERT_EQ(settings.Password, "geheim");
    ASSERT_TRUE(keyring.LockLogin()); // between start-up and the save at shutdown

    settings.Interval = 7;
    ASSERT_TRUE(SaveSettings(*store, settings));
    EXPECT_EQ(File().password, "") << "not moved to the file";
    EXPECT_EQ(File().inKeyring, 1);
}

TEST_F(KeyringSettings, AClearedPasswordOrAnotherAccountLeavesNoPasswordBehindInTheKeyring) {
    const std::unique_ptr<KeyringSettingsStore> store = Store();
    ASSERT_TRUE(SaveSettings(*store, Configured("eerste")));
    Settings settings = Configured("eerste");
    settings.User = "piet";
    ASSERT_TRUE(SaveSettings(*store, settings));
    EXPECT_EQ(PrivateKeyring::Lookup("password", "piet@pop.example.nl").out, "eerste");
    EXPECT_NE(PrivateKeyring::Lookup("password", kAccount).exitCode, 0) << "the old account's";

    settings.Password.clear();
    ASSERT_TRUE(SaveSettings(*store, settings));
    EXPECT_NE(PrivateKeyring::Lookup("password", "piet@pop.example.nl").exitCode, 0);
    EXPECT_EQ(File().inKeyring, 0);
    const std::unique_ptr<KeyringSettingsStore> later = Store();
    EXPECT_EQ(Load(*later).Password, "");
    EXPECT_FALSE(later->KeyringProblem()) << "no password given is no keyring problem";
}

struct NoKeyringSettings : KeyringSettings {
    NoKeyringSettings() : KeyringSettings(PrivateKeyring::With::NoKeyring) {}
};

TEST_F(NoKeyringSettings, WithoutAKeyringThePasswordStaysScrambledInTheOwnerOnlyFile) {
    const std::unique_ptr<KeyringSettingsStore> store = Store();
    EXPECT_EQ(store->Place(), PasswordPlace::SettingsFile);
    ASSERT_TRUE(SaveSettings(*store, Configured("geheim")));

    EXPECT_EQ(File().password, ScramblePassword("geheim"));
    // Byte for byte what brevon wrote before there was a keyring.
    const std::filesystem::path reference = folder.Path() / "reference.reg";
    platform::FileSettingsStore bare(reference);
    ASSERT_TRUE(SaveSettings(bare, Configured("geheim")));
    EXPECT_EQ(testsupport::ReadWholeFile(file), testsupport::ReadWholeFile(reference));
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const std::unique_ptr<KeyringSettingsStore> later = Store();
    EXPECT_EQ(Load(*later).Password, "geheim");
    EXPECT_FALSE(later->KeyringProblem());
}

TEST_F(NoKeyringSettings, APasswordLeftInAKeyringThatIsGoneIsReportedNotTakenAsNone) {
    {
        platform::FileSettingsStore bare(file); // as a session with a keyring left it
        Settings settings = Configured("");
        ASSERT_TRUE(SaveSettings(bare, settings));
        platform::OpenKeyResult opened =
            bare.OpenKey(kSettingsKeyPath, platform::OpenMode::Existing);
        ASSERT_TRUE(opened.key);
        ASSERT_FALSE(opened.key->WriteInteger(kPasswordInKeyringValue, 1));
        ASSERT_FALSE(opened.key->Close());
    }
    const std::unique_ptr<KeyringSettingsStore> store = Store();
    EXPECT_EQ(Load(*store).Password, "");
    ASSERT_TRUE(store->KeyringProblem());
    EXPECT_NE(store->KeyringProblem()->find("no keyring"), std::string::npos);
}

} // namespace
