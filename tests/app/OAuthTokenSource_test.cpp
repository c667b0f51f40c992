// The access tokens the mail side asks for, renewed at the test's authorization server on
// 127.0.0.1 by a clock of the test's own; the refresh token kept in a keyring stand-in.
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <QTcpServer>

#include <gtest/gtest.h>

#include <platform/FileSettingsStore.h>
#include <platform/Secrets.h>

#include "AuthorizationServer.h"
#include "OAuthTokenSource.h"
#include "QtApplication.h"
#include "TempDir.h"

namespace brevon {
namespace {

using namespace std::chrono_literals;
using fakes::AuthorizationServer;

// A keyring that keeps secrets in memory, or answers as a locked one does.
class MemoryKeyring final : public platform::SecretStore {
public:
    bool locked = false;
    std::map<std::string, std::string> secrets;

    std::error_code Probe() override { return Error(); }
    platform::SecretLookup Read(const platform::SecretName& name) override {
        platform::SecretLookup found;
        found.error = Error();
        if (!locked)
            if (const auto it = secrets.find(Key(name)); it != secrets.end())
                found.secret = it->second;
        return found;
    }
    std::error_code Write(const platform::SecretName& name, std::string_view secret) override {
        if (!locked) secrets[Key(name)] = std::string(secret);
        return Error();
    }
    std::error_code Remove(const platform::SecretName& name) override {
        if (!locked) secrets.erase(Key(name));
        return Error();
    }

private:
    std::error_code Error() const {
        return locked ? make_error_code(platform::SecretsErrc::locked) : std::error_code();
    }
    static std::string Key(const platform::SecretName& name) {
        return std::string(name.kind) + "/" + std::string(name.account);
    }
};

constexpr const char* kAccount = "jan@pop.example.nl";

struct TokenRig {
    AuthorizationServer server;
    testsupport::TempDir dir;
    platform::FileSettingsStore settings{dir.Path() / "brevon.ini"};
    MemoryKeyring keyring;
    RefreshTokenStore store{settings, &keyring};
    std::chrono::steady_clock::time_point now{};
    OAuthAccount account{server.Endpoints(), "Microsoft", kAccount};
    OAuthTokenSource source{store, [this] { return std::optional<OAuthAccount>(account); },
                            OAuthLimits{.requestTimeout = 2000ms}, [this] { return now; }};

    TokenRig() { server.expiresIn = 600; }
    void SignIn() {
        std::string problem;
        ASSERT_TRUE(source.SignedIn(account, {"access-0", "refresh-1", 600s}, problem)) << problem;
    }
    std::optional<std::string> Kept() {
        std::string problem;
        return store.Read(kAccount, problem);
    }
};

class OAuthTokenSourceTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::EnsureQApplication(); }
};

TEST_F(OAuthTokenSourceTest, TheTokenIsUsedUntilShortlyBeforeItExpiresAndThenRenewedQuietly) {
    TokenRig rig;
    rig.SignIn();
    EXPECT_EQ(rig.keyring.secrets.at(std::string(kRefreshTokenSecretKind) + "/" + kAccount),
              "refresh-1");
    EXPECT_EQ(rig.source.CurrentToken().token, "access-0");
    rig.now += 470s; // renewed two minutes ahead of the ten
    EXPECT_EQ(rig.source.CurrentToken().token, "access-0");
    EXPECT_EQ(rig.server.refreshes, 0);
    rig.now += 20s;
    const AccessTokenAnswer renewed = rig.source.CurrentToken();
    EXPECT_EQ(renewed.token, "access-1");
    EXPECT_EQ(renewed.trouble, TokenTrouble::None);
    EXPECT_EQ(rig.server.refreshes, 1);
    EXPECT_EQ(rig.source.CurrentToken().token, "access-1") << "kept, not renewed again";
    // A token the server refused is renewed at the next ask, however young.
    rig.source.Rejected();
    EXPECT_EQ(rig.source.CurrentToken().token, "access-2");
    EXPECT_EQ(rig.server.refreshes, 2);
}

TEST_F(OAuthTokenSourceTest, ARotatedRefreshTokenReplacesTheKeptOne) {
    TokenRig rig;
    rig.server.rotate = true;
    rig.SignIn();
    rig.source.Rejected();
    ASSERT_TRUE(rig.source.CurrentToken().token);
    EXPECT_EQ(rig.Kept(), rig.server.issuedRefresh.toStdString());
    EXPECT_NE(rig.Kept(), "refresh-1");
}

TEST_F(OAuthTokenSourceTest, EachWayOfNotRenewingSaysWhetherToSignInAgainOrTryLater) {
    const struct {
        const char* name;
        std::function<void(TokenRig&)> arrange;
        TokenTrouble trouble;
        bool stillKept; // the refresh token
    } cases[] = {
        {"refused", [](TokenRig& r) { r.server.issuedRefresh = "revoked"; },
         TokenTrouble::SignInAgain, false},
        {"never signed in", [](TokenRig& r) { r.store.Remove(kAccount); },
         TokenTrouble::NotSignedIn, false},
        {"provider out of reach",
         [](TokenRig& r) {
             QTcpServer closed;
             closed.listen(QHostAddress::LocalHost, 0);
             r.account.endpoints.token =
                 QUrl(QStringLiteral("http://127.0.0.1:%1/token").arg(closed.serverPort()));
         },
         TokenTrouble::Passing, true},
        {"keyring locked", [](TokenRig& r) { r.keyring.locked = true; }, TokenTrouble::Passing,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TokenRig rig;
        rig.SignIn();
        rig.source.Rejected();
        c.arrange(rig);
        const AccessTokenAnswer answer = rig.source.CurrentToken();
        EXPECT_FALSE(answer.token);
        EXPECT_EQ(answer.trouble, c.trouble);
        EXPECT_EQ(answer.provider, "Microsoft");
        EXPECT_FALSE(answer.error.empty());
        EXPECT_EQ(answer.error.find("refresh-1"), std::string::npos);
        rig.keyring.locked = false;
        EXPECT_EQ(rig.Kept().has_value(), c.stillKept);
    }
}

} // namespace
} // namespace brevon
