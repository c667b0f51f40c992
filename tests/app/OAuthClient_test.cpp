// The OAuth2 sign-in against an authorization server of the test's own on 127.0.0.1: the
// browser is a stand-in that asks for the authorization URL and follows the redirect, as a
// browser whose user is already signed in does. The server checks PKCE and the redirect, and
// misbehaves on demand.
#include <chrono>
#include <functional>
#include <optional>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include "AuthorizationServer.h"
#include "OAuthClient.h"
#include "QtApplication.h"

namespace brevon {
namespace {

using namespace std::chrono_literals;
using fakes::AuthorizationServer;
using fakes::Misbehaviour;

// Runs the event loop until ready() or ten seconds.
bool RunUntil(const std::function<bool()>& ready) {
    const QDeadlineTimer deadline(10s);
    while (!ready() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return ready();
}

// A browser whose user is signed in at the provider: asks for the page and follows the
// redirect back to brevon.
class StandInBrowser {
public:
    bool Open(const QUrl& url) {
        opened = url;
        QNetworkReply* reply = network_.get(QNetworkRequest(url));
        QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
        return true;
    }
    std::optional<QUrl> opened;

private:
    QNetworkAccessManager network_;
};

struct SignInRun {
    std::optional<OAuthResult> result;
    std::optional<QUrl> opened;
};

SignInRun SignIn(const OAuthEndpoints& endpoints, OAuthLimits limits = {}) {
    StandInBrowser browser;
    OAuthSignIn signIn(
        endpoints, QStringLiteral("jan@example.nl"),
        [&browser](const QUrl& url) { return browser.Open(url); }, limits);
    SignInRun run;
    signIn.Start([&run](OAuthResult result) { run.result = std::move(result); });
    EXPECT_TRUE(RunUntil([&run] { return run.result.has_value(); }));
    run.opened = browser.opened;
    return run;
}

class OAuthClientTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::EnsureQApplication(); }
};

TEST(OAuthPkce, ChallengeIsTheExampleOfTheRfc) {
    // RFC 7636, appendix B.
    EXPECT_EQ(PkceChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              QByteArray("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
    const QByteArray a = PkceVerifier(), b = PkceVerifier();
    EXPECT_EQ(a.size(), 43);
    EXPECT_NE(a, b);
    EXPECT_NE(OAuthState(), OAuthState());
}

TEST(OAuthEndpoint, OnlyHttpsOrThisComputerIsAllowed) {
    const struct {
        const char* url;
        bool allowed;
    } cases[] = {
        {"https://login.example.com/token", true},
        {"http://127.0.0.1:8080/token", true},
        {"http://localhost/token", true},
        {"http://[::1]:99/token", true},
        {"http://login.example.com/token", false},
        {"http://10.0.0.1/token", false},
        {"ftp://127.0.0.1/token", false},
        {"https:///token", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OAuthEndpointAllowed(QUrl(QString::fromLatin1(c.url))), c.allowed) << c.url;
}

TEST_F(OAuthClientTest, SignInSendsTheBrowserWithAChallengeAndExchangesTheCodeWithItsVerifier) {
    AuthorizationServer server;
    const SignInRun run = SignIn(server.Endpoints());
    ASSERT_TRUE(run.result);
    ASSERT_TRUE(run.result->Ok()) << run.result->detail.toStdString();
    EXPECT_EQ(run.result->tokens.accessToken, "access-2");
    EXPECT_EQ(run.result->tokens.refreshToken, "refresh-1");
    EXPECT_EQ(run.result->tokens.expiresIn, 3s);
    EXPECT_EQ(server.tokenRequests, 1);

    const QUrlQuery& asked = server.authorization;
    const auto field = [&asked](const char* name) {
        return asked.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    };
    // The endpoint's own query stays, and the scope arrives intact ("+" is not a blank).
    EXPECT_EQ(field("tenant"), "home");
    EXPECT_EQ(field("scope"), "offline_access https://mail.example/pop+read");
    EXPECT_EQ(field("response_type"), "code");
    EXPECT_EQ(field("client_id"), "brevon-test");
    EXPECT_EQ(field("code_challenge_method"), "S256");
    EXPECT_EQ(field("login_hint"), "jan@example.nl");
    EXPECT_GE(field("state").size(), 32);
    const QUrl redirect(field("redirect_uri"));
    EXPECT_EQ(redirect.scheme(), "http");
    EXPECT_EQ(redirect.host(), "127.0.0.1");
    EXPECT_GT(redirect.port(), 0);
}

TEST_F(OAuthClientTest, EachBadAnswerIsAClearFailureWithoutTokens) {
    const struct {
        Misbehaviour mode;
        OAuthFailure failure;
        int tokenRequests; // a code is only exchanged when the browser brought a good one
        const char* error;
    } cases[] = {
        {Misbehaviour::OtherState, OAuthFailure::WrongState, 0, ""},
        {Misbehaviour::NoCode, OAuthFailure::MissingCode, 0, ""},
        {Misbehaviour::AccessDenied, OAuthFailure::Denied, 0, "access_denied"},
        {Misbehaviour::TokenRefused, OAuthFailure::Refused, 1, "invalid_grant"},
        {Misbehaviour::TokenHtml, OAuthFailure::NotJson, 1, ""},
        {Misbehaviour::TokenSilent, OAuthFailure::TimedOut, 1, ""},
        {Misbehaviour::TokenHuge, OAuthFailure::TooLarge, 1, ""},
        {Misbehaviour::TokenNotBearer, OAuthFailure::NoToken, 1, ""},
    };
    OAuthLimits limits;
    limits.requestTimeout = 500ms;
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        AuthorizationServer server(c.mode);
        const SignInRun run = SignIn(server.Endpoints(), limits);
        ASSERT_TRUE(run.result);
        EXPECT_EQ(run.result->failure, c.failure) << run.result->detail.toStdString();
        EXPECT_EQ(run.result->error, c.error);
        EXPECT_FALSE(run.result->detail.isEmpty());
        EXPECT_TRUE(run.result->tokens.accessToken.isEmpty());
        EXPECT_TRUE(run.result->tokens.refreshToken.isEmpty());
        EXPECT_EQ(server.tokenRequests, c.tokenRequests);
    }
}

TEST_F(OAuthClientTest, AnEndpointOutsideThisComputerWithoutHttpsOpensNoBrowser) {
    OAuthEndpoints endpoints{QUrl("http://login.example.com/authorize"),
                             QUrl("https://login.example.com/token"), "mail", "brevon-test"};
    const SignInRun run = SignIn(endpoints);
    ASSERT_TRUE(run.result);
    EXPECT_EQ(run.result->failure, OAuthFailure::Insecure);
    EXPECT_FALSE(run.opened);
}

TEST_F(OAuthClientTest, ARefreshGivesANewAccessTokenAndARefusedOneSaysInvalidGrant) {
    AuthorizationServer server;
    const OAuthResult fresh = RefreshAccessToken(server.Endpoints(), "refresh-1");
    ASSERT_TRUE(fresh.Ok()) << fresh.detail.toStdString();
    EXPECT_EQ(fresh.tokens.accessToken, "access-1");
    EXPECT_TRUE(fresh.tokens.refreshToken.isEmpty());

    server.issuedRefresh = "refresh-2"; // the old one revoked
    const OAuthResult refused = RefreshAccessToken(server.Endpoints(), "refresh-1");
    EXPECT_EQ(refused.failure, OAuthFailure::Refused);
    EXPECT_EQ(refused.error, "invalid_grant");
    // The trace may carry the reason, never the token.
    EXPECT_FALSE(refused.detail.contains("refresh-1"));
}

TEST_F(OAuthClientTest, ARefreshAtAClosedPortIsANetworkFailure) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    OAuthEndpoints endpoints{QUrl("http://127.0.0.1/authorize"),
                             QUrl(QStringLiteral("http://127.0.0.1:%1/token").arg(port)), "mail",
                             "brevon-test"};
    EXPECT_EQ(RefreshAccessToken(endpoints, "refresh-1").failure, OAuthFailure::Network);
}

} // namespace
} // namespace brevon
