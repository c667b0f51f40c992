// The refresh token in the desktop keyring, against a gnome-keyring-daemon on a session bus of
// each test's own; without one, scrambled in the settings file. Either way the token's text is
// never in the file in plain, and only in one place.
#include <app/RefreshTokenStore.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <app/KeyringSettingsStore.h>
#include <platform/FileSettingsStore.h>
#include <platform/Secrets.h>

#include "PrivateKeyring.h"
#include "TempDir.h"

namespace brevon {
namespace {

constexpr const char* kAccount = "jan@outlook.office365.com";
constexpr const char* kToken = "M.C123_BAY.0.U.-refresh-token-text";

std::string FileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(RefreshTokenStore, TheTokenIsKeptInTheKeyringWhenOneRunsAndElseScrambledInTheFile) {
    for (const auto with : {testsupport::PrivateKeyring::With::Keyring,
                            testsupport::PrivateKeyring::With::NoKeyring}) {
        const bool keyring = with == testsupport::PrivateKeyring::With::Keyring;
        SCOPED_TRACE(keyring ? "keyring" : "no keyring");
        testsupport::PrivateKeyring bus(with);
        ASSERT_TRUE(bus.Ready());
        testsupport::TempDir dir;
        const std::filesystem::path file = dir.Path() / "brevon.ini";
        platform::FileSettingsStore settings(file);
        const std::unique_ptr<platform::SecretStore> secrets = platform::DesktopSecretStore();
        RefreshTokenStore store(settings, secrets.get());

        std::string problem;
        ASSERT_TRUE(store.Write(kAccount, kToken, problem)) << problem;
        EXPECT_EQ(store.Read(kAccount, problem), kToken);
        EXPECT_EQ(FileText(file).find(kToken), std::string::npos);
        EXPECT_EQ(FileText(file).find(kRefreshTokenValue) != std::string::npos, !keyring);
        EXPECT_EQ(secrets->Read({kRefreshTokenSecretKind, kAccount}).secret.has_value(), keyring);

        // Removed, it is in neither place.
        store.Remove(kAccount);
        EXPECT_FALSE(store.Read(kAccount, problem));
        EXPECT_TRUE(problem.empty()) << problem;
        EXPECT_EQ(FileText(file).find(kRefreshTokenValue), std::string::npos);
    }
}

TEST(RefreshTokenStore, ATokenMovesFromTheFileToTheKeyringAtTheNextWrite) {
    testsupport::PrivateKeyring bus(testsupport::PrivateKeyring::With::Keyring);
    ASSERT_TRUE(bus.Ready());
    testsupport::TempDir dir;
    const std::filesystem::path file = dir.Path() / "brevon.ini";
    platform::FileSettingsStore settings(file);
    std::string problem;
    ASSERT_TRUE(RefreshTokenStore(settings, nullptr).Write(kAccount, "old-token", problem));
    ASSERT_NE(FileText(file).find(kRefreshTokenValue), std::string::npos);

    const std::unique_ptr<platform::SecretStore> secrets = platform::DesktopSecretStore();
    RefreshTokenStore store(settings, secrets.get());
    EXPECT_EQ(store.Read(kAccount, problem), "old-token"); // read from the file meanwhile
    ASSERT_TRUE(store.Write(kAccount, "new-token", problem));
    EXPECT_EQ(FileText(file).find(kRefreshTokenValue), std::string::npos);
    EXPECT_EQ(secrets->Read({kRefreshTokenSecretKind, kAccount}).secret, "new-token");
}

} // namespace
} // namespace brevon
