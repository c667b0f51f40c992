// An OAuth2 authorization server of the test's own on 127.0.0.1: an authorization endpoint
// that sends the browser straight back with a code (a user already signed in), a token endpoint
// that checks PKCE, the redirect and the refresh token, and misbehaviours on demand.
#pragma once

#include <QCryptographicHash>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include "OAuthClient.h"

namespace brevon::fakes {

// How the test's authorization server answers.
enum class Misbehaviour {
    None,
    OtherState,    // sends the browser back with a state of its own
    NoCode,        // sends the browser back without a code
    AccessDenied,  // sends the browser back with error=access_denied
    TokenRefused,  // the token endpoint answers invalid_grant
    TokenHtml,     // the token endpoint answers a login page
    TokenSilent,   // the token endpoint never answers
    TokenHuge,     // the token endpoint answers megabytes
    TokenNotBearer // a token of another type
};

class AuthorizationServer {
public:
    explicit AuthorizationServer(Misbehaviour mode = Misbehaviour::None) : mode_(mode) {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket] { Read(socket); });
        });
    }

    OAuthEndpoints Endpoints() const {
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort());
        return {QUrl(base + "/authorize?tenant=home"), QUrl(base + "/token"),
                QStringLiteral("offline_access https://mail.example/pop+read"),
                QStringLiteral("brevon-test")};
    }

    QUrlQuery authorization; // the last authorization request
    int tokenRequests = 0;
    QString issuedRefresh = QStringLiteral("refresh-1");
    int issued = 0;
    int expiresIn = 3;
    bool rotate = false; // each refresh answers with the next refresh token
    int refreshes = 0;

private:
    void Read(QTcpSocket* socket) {
        QByteArray& got = partial_[socket];
        got += socket->readAll();
        const qsizetype end = got.indexOf("\r\n\r\n");
        if (end < 0) return;
        const QByteArray head = got.left(end);
        qsizetype length = 0;
        for (const QByteArray& line : head.split('\n'))
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        if (got.size() < end + 4 + length) return;
        const QByteArray body = got.mid(end + 4, length);
        const QList<QByteArray> request = head.left(head.indexOf("\r\n")).split(' ');
        partial_.remove(socket);
        const QUrl target(QString::fromLatin1(request.value(1)));
        if (target.path() == QLatin1String("/authorize"))
            Authorize(socket, QUrlQuery(target));
        else if (target.path() == QLatin1String("/token"))
            Token(socket, QUrlQuery(QString::fromLatin1(body)));
        else
            Send(socket, "404 Not Found", "text/plain", "no");
    }

    void Authorize(QTcpSocket* socket, const QUrlQuery& query) {
        authorization = query;
        code_ = QStringLiteral("code-%1").arg(++issued);
        QUrlQuery back;
        const QString state = query.queryItemValue("state", QUrl::FullyDecoded);
        back.addQueryItem("state", mode_ == Misbehaviour::OtherState ? "forged" : state);
        if (mode_ == Misbehaviour::AccessDenied)
            back.addQueryItem("error", "access_denied");
        else if (mode_ != Misbehaviour::NoCode)
            back.addQueryItem("code", code_);
        QUrl to(query.queryItemValue("redirect_uri", QUrl::FullyDecoded));
        to.setQuery(back);
        socket->write("HTTP/1.1 302 Found\r\nLocation: " + to.toEncoded() +
                      "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
    }

    static QString Field(const QUrlQuery& form, const char* name) {
        return form.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
    }

    void Token(QTcpSocket* socket, const QUrlQuery& form) {
        ++tokenRequests;
        switch (mode_) {
        case Misbehaviour::TokenSilent:
            return;
        case Misbehaviour::TokenHtml:
            return Send(socket, "200 OK", "text/html", "<html><body>Log in</body></html>");
        case Misbehaviour::TokenHuge:
            return Send(socket, "200 OK", "application/json",
                        "{\"access_token\":\"" + QByteArray(4 << 20, 'x') + "\"}");
        case Misbehaviour::TokenRefused:
            return Refuse(socket);
        default:
            break;
        }
        const QString grant = Field(form, "grant_type");
        if (Field(form, "client_id") != QLatin1String("brevon-test")) return Refuse(socket);
        if (grant == QLatin1String("authorization_code")) {
            // RFC 7636, 4.6: the verifier must hash to the challenge the browser brought.
            const QByteArray verifier = Field(form, "code_verifier").toLatin1();
            const QByteArray challenge =
                QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
                    .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
            if (code_.isEmpty() || Field(form, "code") != code_ ||
                Field(form, "redirect_uri") != Field(authorization, "redirect_uri") ||
                challenge != Field(authorization, "code_challenge").toLatin1())
                return Refuse(socket);
            code_.clear(); // a code is good once
        } else if (grant != QLatin1String("refresh_token") ||
                   Field(form, "refresh_token") != issuedRefresh) {
            return Refuse(socket);
        }
        QJsonObject answer{{"access_token", QStringLiteral("access-%1").arg(++issued)},
                           {"token_type", mode_ == Misbehaviour::TokenNotBearer ? "mac" : "Bearer"},
                           {"expires_in", expiresIn}};
        if (grant == QLatin1String("refresh_token")) ++refreshes;
        if (grant == QLatin1String("refresh_token") && rotate)
            issuedRefresh = QStringLiteral("refresh-%1").arg(++issued);
        if (grant == QLatin1String("authorization_code") || rotate)
            answer.insert("refresh_token", issuedRefresh);
        Send(socket, "200 OK", "application/json", QJsonDocument(answer).toJson());
    }

    void Refuse(QTcpSocket* socket) {
        Send(socket, "400 Bad Request", "application/json",
             R"({"error":"invalid_grant","error_description":"expired"})");
    }

    static void Send(QTcpSocket* socket, const QByteArray& status, const QByteArray& type,
                     const QByteArray& body) {
        socket->write("HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    Misbehaviour mode_;
    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> partial_;
    QString code_;
};

} // namespace brevon::fakes
