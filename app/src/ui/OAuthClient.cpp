#include "OAuthClient.h"

#include <memory>
#include <utility>

#include <QCryptographicHash>
#include <QEventLoop>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

namespace brevon {

namespace {

constexpr auto kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

// The browser's request for the redirect: its request line and headers, no more.
constexpr qint64 kMaxRedirectRequest = 16 * 1024;

QByteArray RandomUrlSafe(int bytes) {
    QByteArray raw(bytes, '\0');
    // The system's generator: a verifier or state another program could guess would be no
    // protection at all.
    QRandomGenerator::system()->generate(raw.begin(), raw.end());
    return raw.toBase64(kBase64Url);
}

bool IsLoopbackHost(const QString& host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

OAuthResult Failed(OAuthFailure failure, QString detail, QString error = {}) {
    OAuthResult result;
    result.failure = failure;
    result.detail = std::move(detail);
    result.error = std::move(error);
    return result;
}

// A server's text as the trace may show it: short and printable.
QString Shown(const QString& text) {
    QString out;
    for (const QChar c : text.left(80))
        out += c.isPrint() ? c : QChar(u'?');
    return out;
}

// application/x-www-form-urlencoded (and a query): everything outside the unreserved set
// percent-encoded, so a "+" or "&" in a value stays itself.
QByteArray FormEncoded(const OAuthForm& items) {
    QByteArray out;
    for (const auto& [name, value] : items) {
        if (!out.isEmpty()) out += '&';
        out += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return out;
}

QByteArray Page(const QByteArray& status, const QByteArray& text) {
    const QByteArray body = "<!DOCTYPE html><html lang=\"nl\"><head><meta charset=\"utf-8\">"
                            "<title>brevon</title></head><body><p>" +
                            text + "</p></body></html>";
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
           "Connection: close\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace

QByteArray PkceVerifier() {
    return RandomUrlSafe(32);
}

QByteArray PkceChallenge(const QByteArray& verifier) {
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(kBase64Url);
}

QByteArray OAuthState() {
    return RandomUrlSafe(24);
}

bool OAuthEndpointAllowed(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("https") ||
           (scheme == QLatin1String("http") && IsLoopbackHost(url.host()));
}

QUrl AuthorizationUrl(const OAuthEndpoints& endpoints, const QString& redirectUri,
                      const QByteArray& challenge, const QByteArray& state,
                      const QString& loginHint) {
    OAuthForm items{{QStringLiteral("client_id"), endpoints.clientId},
                    {QStringLiteral("redirect_uri"), redirectUri},
                    {QStringLiteral("response_type"), QStringLiteral("code")},
                    {QStringLiteral("scope"), endpoints.scopes},
                    {QStringLiteral("code_challenge"), QString::fromLatin1(challenge)},
                    {QStringLiteral("code_challenge_method"), QStringLiteral("S256")},
                    {QStringLiteral("state"), QString::fromLatin1(state)}};
    if (!loginHint.isEmpty()) items.append({QStringLiteral("login_hint"), loginHint});
    QUrl url = endpoints.authorization;
    QByteArray query = url.query(QUrl::FullyEncoded).toLatin1();
    if (!query.isEmpty()) query += '&';
    url.setQuery(QString::fromLatin1(query + FormEncoded(items)), QUrl::StrictMode);
    return url;
}

OAuthResult ReadTokenAnswer(int httpStatus, const QByteArray& body) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return Failed(OAuthFailure::NotJson,
                      QStringLiteral("The token endpoint answered HTTP %1 without JSON: %2")
                          .arg(httpStatus)
                          .arg(Shown(QString::fromUtf8(body))));
    const QJsonObject object = document.object();
    const QString error = object.value(QLatin1String("error")).toString();
    if (httpStatus != 200 || !error.isEmpty()) {
        const QString description = object.value(QLatin1String("error_description")).toString();
        return Failed(OAuthFailure::Refused,
                      QStringLiteral("The token endpoint refused (HTTP %1): %2 %3")
                          .arg(httpStatus)
                          .arg(Shown(error), Shown(description))
                          .trimmed(),
                      error);
    }
    OAuthResult result;
    result.tokens.accessToken = object.value(QLatin1String("access_token")).toString();
    result.tokens.refreshToken = object.value(QLatin1String("refresh_token")).toString();
    // RFC 6749, 5.1: the type is case-insensitive; only a bearer token is of use to POP3.
    const QString type = object.value(QLatin1String("token_type")).toString();
    if (result.tokens.accessToken.isEmpty() ||
        type.compare(QLatin1String("bearer"), Qt::CaseInsensitive) != 0)
        return Failed(OAuthFailure::NoToken,
                      QStringLiteral("The token endpoint's answer holds no bearer token"));
    const QJsonValue expires = object.value(QLatin1String("expires_in"));
    // Some servers send the number as a string.
    const double seconds = expires.isString() ? expires.toString().toDouble() : expires.toDouble();
    if (seconds > 0 && seconds < 10 * 365 * 86400.0)
        result.tokens.expiresIn = std::chrono::seconds(static_cast<long long>(seconds));
    return result;
}

void PostTokenRequest(QNetworkAccessManager& network, const QUrl& tokenUrl, const OAuthForm& form,
                      const OAuthLimits& limits, std::function<void(OAuthResult)> done) {
    if (!OAuthEndpointAllowed(tokenUrl)) {
        QTimer::singleShot(0, [done = std::move(done)] {
            done(
                Failed(OAuthFailure::Insecure,
                       QStringLiteral("The token endpoint is neither https nor on this computer")));
        });
        return;
    }
    QNetworkRequest request(tokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    // A token endpoint answers where it was asked; a redirect is a fault, not a new address to
    // send the code or refresh token to.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = network.post(request, FormEncoded(form));

    struct State {
        OAuthFailure cut = OAuthFailure::None; // why the request was aborted
        bool finished = false;
        std::function<void(OAuthResult)> done;
    };
    auto state = std::make_shared<State>();
    state->done = std::move(done);

    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, reply, [reply, state] {
        state->cut = OAuthFailure::TimedOut;
        reply->abort();
    });
    timer->start(limits.requestTimeout);
    const qint64 cap = limits.maxAnswer;
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [reply, state, cap](qint64 received, qint64 total) {
                         if ((received > cap || total > cap) && state->cut == OAuthFailure::None) {
                             state->cut = OAuthFailure::TooLarge;
                             reply->abort();
                         }
                     });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, state, cap] {
        if (state->finished) return;
        state->finished = true;
        reply->deleteLater();
        OAuthResult result;
        if (state->cut == OAuthFailure::TimedOut)
            result = Failed(OAuthFailure::TimedOut,
                            QStringLiteral("The token endpoint did not answer in time"));
        else if (state->cut == OAuthFailure::TooLarge)
            result =
                Failed(OAuthFailure::TooLarge,
                       QStringLiteral("The token endpoint's answer is over %1 bytes").arg(cap));
        else {
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            const QByteArray body = reply->read(cap + 1);
            if (!status.isValid())
                result = Failed(OAuthFailure::Network,
                                QStringLiteral("No answer from the token endpoint: %1")
                                    .arg(reply->errorString()));
            else if (body.size() > cap)
                result =
                    Failed(OAuthFailure::TooLarge,
                           QStringLiteral("The token endpoint's answer is over %1 bytes").arg(cap));
            else
                result = ReadTokenAnswer(status.toInt(), body);
        }
        // Called last: the caller may destroy the network access manager from here.
        state->done(std::move(result));
    });
}

OAuthResult RefreshAccessToken(const OAuthEndpoints& endpoints, const QString& refreshToken,
                               const OAuthLimits& limits) {
    QNetworkAccessManager network;
    const OAuthForm form{{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                         {QStringLiteral("refresh_token"), refreshToken},
                         {QStringLiteral("client_id"), endpoints.clientId},
                         {QStringLiteral("scope"), endpoints.scopes}};
    QEventLoop loop;
    OAuthResult result;
    bool done = false;
    PostTokenRequest(network, endpoints.token, form, limits, [&](OAuthResult answer) {
        result = std::move(answer);
        done = true;
        loop.quit();
    });
    if (!done) loop.exec();
    return result;
}

// The listener for the browser's return, and the exchange that follows it.
class OAuthSignIn::Flow {
public:
    Flow(OAuthEndpoints endpoints, QString loginHint, Opener open, OAuthLimits limits)
        : endpoints_(std::move(endpoints)), loginHint_(std::move(loginHint)),
          open_(std::move(open)), limits_(limits) {}
    // Whatever the network or the listener still deliver while they go is not waited for.
    ~Flow() { finished_ = true; }

    void Start(std::function<void(OAuthResult)> done) {
        done_ = std::move(done);
        if (!OAuthEndpointAllowed(endpoints_.authorization) ||
            !OAuthEndpointAllowed(endpoints_.token))
            return Finish(
                Failed(OAuthFailure::Insecure,
                       QStringLiteral("An endpoint is neither https nor on this computer")));
        // RFC 8252, 7.3: the loopback address itself rather than "localhost", at a port the
        // system picks.
        if (!server_.listen(QHostAddress::LocalHost, 0))
            return Finish(Failed(
                OAuthFailure::Network,
                QStringLiteral("Cannot listen on 127.0.0.1: %1").arg(server_.errorString())));
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { Accept(); });
        redirectUri_ = QStringLiteral("http://127.0.0.1:%1/").arg(server_.serverPort());
        verifier_ = PkceVerifier();
        state_ = OAuthState();
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, &server_, [this] {
            Finish(Failed(OAuthFailure::TimedOut,
                          QStringLiteral("The browser did not come back in time")));
        });
        timer_.start(limits_.signInTimeout);
        const QUrl url = AuthorizationUrl(endpoints_, redirectUri_, PkceChallenge(verifier_),
                                          state_, loginHint_);
        if (!open_ || !open_(url))
            Finish(Failed(OAuthFailure::Network, QStringLiteral("No browser could be opened")));
    }

    void Finish(OAuthResult result) {
        if (finished_) return;
        finished_ = true;
        timer_.stop();
        server_.close();
        if (done_) {
            auto done = std::move(done_);
            done(std::move(result));
        }
    }

private:
    void Accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, socket] { Read(socket); });
        }
    }

    void Read(QTcpSocket* socket) {
        if (finished_) return socket->abort();
        QByteArray& got = partial_[socket];
        got += socket->read(kMaxRedirectRequest + 1 - got.size());
        if (got.size() > kMaxRedirectRequest) {
            partial_.remove(socket);
            return Answer(socket, "431 Request Header Fields Too Large", "Te groot verzoek.");
        }
        if (!got.contains("\r\n\r\n")) return;
        const QByteArray line = got.left(got.indexOf("\r\n"));
        partial_.remove(socket);
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() != 3 || parts[0] != "GET")
            return Answer(socket, "405 Method Not Allowed", "Onbekend verzoek.");
        const QUrl target(QString::fromLatin1(parts[1]));
        // A browser asks for its icon too; only the redirect's own path ends the sign-in.
        if (target.path() != QLatin1String("/"))
            return Answer(socket, "404 Not Found", "Niet gevonden.");
        const QUrlQuery query(target);
        const auto value = [&query](const char* name) {
            return query.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
        };
        // The state first: an answer without this sign-in's state is not its answer, whatever
        // else it holds (RFC 6749, 10.12).
        if (value("state") != QString::fromLatin1(state_)) {
            Answer(socket, "400 Bad Request", "Aanmelden is mislukt. U kunt dit venster sluiten.");
            return Finish(Failed(OAuthFailure::WrongState,
                                 QStringLiteral("The browser came back with another state")));
        }
        if (const QString error = value("error"); !error.isEmpty()) {
            Answer(socket, "200 OK", "Aanmelden is niet gelukt. U kunt dit venster sluiten.");
            return Finish(Failed(OAuthFailure::Denied,
                                 QStringLiteral("The sign-in was refused: %1 %2")
                                     .arg(Shown(error), Shown(value("error_description")))
                                     .trimmed(),
                                 error));
        }
        const QString code = value("code");
        if (code.isEmpty()) {
            Answer(socket, "400 Bad Request", "Aanmelden is mislukt. U kunt dit venster sluiten.");
            return Finish(Failed(OAuthFailure::MissingCode,
                                 QStringLiteral("The browser came back without a code")));
        }
        Answer(socket, "200 OK",
               "U bent aangemeld. U kunt dit venster sluiten en naar brevon teruggaan.");
        server_.close();
        timer_.stop();
        Exchange(code);
    }

    void Answer(QTcpSocket* socket, const QByteArray& status, const QByteArray& text) {
        socket->write(Page(status, text));
        socket->disconnectFromHost();
    }

    // RFC 6749, 4.1.3, with the verifier of RFC 7636, 4.5.
    void Exchange(const QString& code) {
        const OAuthForm form{{QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
                             {QStringLiteral("code"), code},
                             {QStringLiteral("redirect_uri"), redirectUri_},
                             {QStringLiteral("client_id"), endpoints_.clientId},
                             {QStringLiteral("code_verifier"), QString::fromLatin1(verifier_)}};
        PostTokenRequest(network_, endpoints_.token, form, limits_, [this](OAuthResult result) {
            if (result.Ok() && result.tokens.refreshToken.isEmpty())
                result = Failed(OAuthFailure::NoToken, QStringLiteral("The token endpoint gave no "
                                                                      "refresh token"));
            Finish(std::move(result));
        });
    }

    OAuthEndpoints endpoints_;
    QString loginHint_;
    Opener open_;
    OAuthLimits limits_;
    std::function<void(OAuthResult)> done_;
    bool finished_ = false;
    QTcpServer server_;
    QTimer timer_;
    QNetworkAccessManager network_;
    QHash<QTcpSocket*, QByteArray> partial_;
    QString redirectUri_;
    QByteArray verifier_;
    QByteArray state_;
};

OAuthSignIn::OAuthSignIn(OAuthEndpoints endpoints, QString loginHint, Opener open,
                         OAuthLimits limits)
    : flow_(std::make_unique<Flow>(std::move(endpoints), std::move(loginHint), std::move(open),
                                   limits)) {}

OAuthSignIn::~OAuthSignIn() = default;

void OAuthSignIn::Start(std::function<void(OAuthResult)> done) {
    flow_->Start(std::move(done));
}

void OAuthSignIn::Cancel() {
    flow_->Finish(Failed(OAuthFailure::Cancelled, QStringLiteral("The sign-in was cancelled")));
}

} // namespace brevon
