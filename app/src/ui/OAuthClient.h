// Signing in at an OAuth2 authorization server as a native program does (RFC 8252): the
// authorization code flow (RFC 6749, 4.1) with a PKCE S256 challenge (RFC 7636), the browser
// sent back to a listener on 127.0.0.1 at a random port (RFC 8252, 7.3), the state checked;
// then the code exchanged for tokens, and later the refresh token for new access tokens
// (RFC 6749, 6). Every request is bounded in time and in the size of its answer, and nothing
// here writes a token or a code anywhere: the caller decides what to keep.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QList>
#include <utility>

class QNetworkAccessManager;

namespace brevon {

// Where one provider signs in, and as which program.
struct OAuthEndpoints {
    QUrl authorization;
    QUrl token;
    QString scopes; // blank-separated
    QString clientId;
};

enum class OAuthFailure {
    None,
    Insecure,    // an endpoint that is neither https nor http on this computer
    Denied,      // the authorization server sent the browser back with an error
    WrongState,  // the browser came back with a state this sign-in did not send
    MissingCode, // the browser came back without a code
    Refused,     // the token endpoint answered an error (RFC 6749, 5.2)
    NotJson,     // the token endpoint answered something else than a JSON object
    NoToken,     // a JSON answer without a bearer access token
    TimedOut,
    TooLarge, // an answer beyond the size limit
    Network,  // no answer: refused, unreachable, TLS failed
    Cancelled,
};

struct OAuthTokens {
    QString accessToken;
    QString refreshToken;              // empty: the server kept the one it had (RFC 6749, 6)
    std::chrono::seconds expiresIn{0}; // 0: the server did not say
};

struct OAuthResult {
    OAuthFailure failure = OAuthFailure::None;
    QString error;  // the server's error code when it gave one, as "invalid_grant"
    QString detail; // what went wrong, in English for the trace; never a token or a code
    OAuthTokens tokens;
    bool Ok() const { return failure == OAuthFailure::None; }
};

struct OAuthLimits {
    std::chrono::milliseconds requestTimeout{20000}; // one token request, from start to end
    std::chrono::milliseconds signInTimeout{600000}; // the user's time in the browser
    qint64 maxAnswer = 64 * 1024;                    // bytes of one token answer
};

// A code verifier: 43 characters of the unreserved set (RFC 7636, 4.1), from 32 random bytes.
QByteArray PkceVerifier();
// BASE64URL(SHA256(verifier)) without padding (RFC 7636, 4.2).
QByteArray PkceChallenge(const QByteArray& verifier);
// An unguessable state value (RFC 6749, 10.12).
QByteArray OAuthState();

// https anywhere, http only to this computer (a test's or a company's local server).
bool OAuthEndpointAllowed(const QUrl& url);

// The address the browser is sent to (RFC 6749, 4.1.1; RFC 7636, 4.3), with login_hint, which
// the large providers take to fill in the address.
QUrl AuthorizationUrl(const OAuthEndpoints& endpoints, const QString& redirectUri,
                      const QByteArray& challenge, const QByteArray& state,
                      const QString& loginHint);

// A token endpoint's answer (RFC 6749, 5.1 and 5.2) judged by its status and body.
OAuthResult ReadTokenAnswer(int httpStatus, const QByteArray& body);

// Names and values of a form, in plain.
using OAuthForm = QList<std::pair<QString, QString>>;

// One form POST to the token endpoint; done is called once, from the event loop.
void PostTokenRequest(QNetworkAccessManager& network, const QUrl& tokenUrl, const OAuthForm& form,
                      const OAuthLimits& limits, std::function<void(OAuthResult)> done);

// A new access token for the refresh token, waiting for it with the window events running.
OAuthResult RefreshAccessToken(const OAuthEndpoints& endpoints, const QString& refreshToken,
                               const OAuthLimits& limits = {});

// One sign-in: listens on 127.0.0.1, has the browser opened at the authorization URL, takes
// the code from the browser's return and exchanges it. done is called once, with the tokens
// or the failure; destroying the object before that cancels without a call.
class OAuthSignIn {
public:
    // Opens url in the user's browser; false when no browser could be started.
    using Opener = std::function<bool(const QUrl&)>;

    OAuthSignIn(OAuthEndpoints endpoints, QString loginHint, Opener open, OAuthLimits limits = {});
    ~OAuthSignIn();
    OAuthSignIn(const OAuthSignIn&) = delete;
    OAuthSignIn& operator=(const OAuthSignIn&) = delete;

    void Start(std::function<void(OAuthResult)> done);
    // Ends a sign-in under way; done is called with Cancelled.
    void Cancel();

private:
    class Flow;
    std::unique_ptr<Flow> flow_;
};

} // namespace brevon
