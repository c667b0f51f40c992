#include <platform/Secrets.h>

#include <chrono>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include <encoding/Cp1252.h>

#include "PrivateKeyring.h"

namespace {

using platform::SecretsErrc;
using testsupport::PrivateKeyring;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kAccount = "jan@pop.example.nl";

struct WithKeyring : ::testing::Test {
    PrivateKeyring keyring{PrivateKeyring::With::Keyring};
    std::unique_ptr<platform::SecretStore> store = platform::DesktopSecretStore();

    void SetUp() override { ASSERT_TRUE(keyring.Ready()) << "gnome-keyring-daemon did not start"; }
};

TEST_F(WithKeyring, SecretsComeBackAsWrittenAndOtherClientsSeeThemAsText) {
    struct Case {
        const char* what;
        std::string secret; // Windows-1252
    };
    const Case cases[] = {
        {"plain", "geheim123"},
        {"blanks and quotes", " a b \"c\" 'd' "},
        {"accents and the euro sign", "caf\xE9 \x80 \xEBn"},
        {"an undefined byte of the code page", "x\x81y"},
        {"the longest password", std::string(255, 'w')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(store->Write({"password", kAccount}, c.secret));
        const platform::SecretLookup read = store->Read({"password", kAccount});
        EXPECT_FALSE(read.error) << read.error.message();
        EXPECT_EQ(read.secret, c.secret);
        const testsupport::RunResult seen =
            PrivateKeyring::Lookup("password", std::string(kAccount));
        EXPECT_EQ(seen.out, encoding::Cp1252ToUtf8(c.secret));
    }
}

TEST_F(WithKeyring, NamesKeepTheirSecretsApartAndRemoveTakesOnlyItsOwn) {
    ASSERT_FALSE(store->Write({"password", "a@host"}, "one"));
    ASSERT_FALSE(store->Write({"password", "b@host"}, "two"));
    ASSERT_FALSE(store->Write({"refresh-token", "a@host"}, "three"));
    ASSERT_FALSE(store->Write({"password", "a@host"}, "one again"));

    EXPECT_EQ(store->Read({"password", "a@host"}).secret, "one again");
    EXPECT_EQ(store->Read({"password", "b@host"}).secret, "two");
    EXPECT_EQ(store->Read({"refresh-token", "a@host"}).secret, "three");

    EXPECT_FALSE(store->Remove({"password", "a@host"}));
    const platform::SecretLookup gone = store->Read({"password", "a@host"});
    EXPECT_FALSE(gone.error);
    EXPECT_FALSE(gone.secret.has_value());
    EXPECT_EQ(store->Read({"password", "b@host"}).secret, "two");
    EXPECT_EQ(store->Read({"refresh-token", "a@host"}).secret, "three");
    EXPECT_FALSE(store->Remove({"password", "a@host"})) << "nothing stored is no error";
    EXPECT_FALSE(store->Probe());
}

TEST_F(WithKeyring, ALockedKeyringIsAnsweredAsLockedWithoutWaitingForAPrompt) {
    ASSERT_FALSE(store->Write({"password", kAccount}, "geheim"));
    ASSERT_TRUE(keyring.LockLogin());

    const Clock::time_point start = Clock::now();
    const platform::SecretLookup read = store->Read({"password", kAccount});
    EXPECT_EQ(read.error, SecretsErrc::locked);
    EXPECT_FALSE(read.secret.has_value());
    EXPECT_EQ(store->Write({"password", kAccount}, "nieuw"), SecretsErrc::locked);
    EXPECT_EQ(store->Remove({"password", kAccount}), SecretsErrc::locked);
    EXPECT_EQ(store->Probe(), SecretsErrc::locked);
    EXPECT_LT(Clock::now() - start, platform::kSecretTimeout);
}

TEST_F(WithKeyring, AKeyringThatDoesNotAnswerIsGivenUpAtTheDeadline) {
    constexpr std::chrono::milliseconds kTimeout{300};
    const std::unique_ptr<platform::SecretStore> quick = platform::DesktopSecretStore(kTimeout);
    ASSERT_FALSE(quick->Write({"password", kAccount}, "geheim"));
    ASSERT_TRUE(keyring.Pause());

    struct Case {
        const char* what;
        std::function<std::error_code()> call;
    };
    const Case cases[] = {
        {"Read",
         [&] {
             return quick->Read({"password", kAccount}).error;
         }},
        {"Write",
         [&] {
             return quick->Write({"password", kAccount}, "nieuw");
         }},
        {"Remove",
         [&] {
             return quick->Remove({"password", kAccount});
         }},
        {"Probe", [&] { return quick->Probe(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(c.call(), SecretsErrc::timed_out);
        // The deadline and some time for the cancelled call to come home; far below the bus's
        // own 25 s.
        EXPECT_LT(Clock::now() - start, kTimeout + std::chrono::seconds(3));
    }
    ASSERT_TRUE(keyring.Resume());
    EXPECT_EQ(store->Read({"password", kAccount}).secret, "geheim") << "nothing was changed";
}

// Without a Secret Service, or without a session bus at all, every call says so at once.
TEST(WithoutKeyring, EveryCallAnswersNoKeyringQuickly) {
    struct Case {
        const char* what;
        bool bus;
    };
    for (const Case c : {Case{"a bus without a keyring", true}, Case{"no bus", false}}) {
        SCOPED_TRACE(c.what);
        PrivateKeyring bus{PrivateKeyring::With::NoKeyring};
        ASSERT_TRUE(bus.Ready());
        testsupport::TempDir nowhere;
        if (!c.bus)
            ::setenv("DBUS_SESSION_BUS_ADDRESS",
                     ("unix:path=" + (nowhere.Path() / "no-bus").string()).c_str(), 1);
        const std::unique_ptr<platform::SecretStore> store = platform::DesktopSecretStore();
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(store->Probe(), SecretsErrc::no_keyring);
        const platform::SecretLookup read = store->Read({"password", kAccount});
        EXPECT_EQ(read.error, SecretsErrc::no_keyring);
        EXPECT_FALSE(read.secret.has_value());
        EXPECT_EQ(store->Write({"password", kAccount}, "geheim"), SecretsErrc::no_keyring);
        EXPECT_EQ(store->Remove({"password", kAccount}), SecretsErrc::no_keyring);
        // Answered, not given up: before the deadline of even one call.
        EXPECT_LT(Clock::now() - start, platform::kSecretTimeout);
    }
}

} // namespace
