#include <platform/TlsTransport.h>

#include "NetDetail.h"

#include <string>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace platform {

namespace {

bool IsNumericAddress(const std::string& host) {
    ASN1_OCTET_STRING* ip = a2i_IPADDRESS(host.c_str());
    if (!ip) return false;
    ASN1_OCTET_STRING_free(ip);
    return true;
}

std::string OpenSslErrors() {
    std::string text;
    while (unsigned long e = ERR_get_error()) {
        char buf[256];
        ERR_error_string_n(e, buf, sizeof buf);
        if (!text.empty()) text += "; ";
        text += buf;
    }
    return text;
}

// OpenSSL's socket calls can write, and a write to a peer that has gone would raise SIGPIPE.
template <class Io> auto Quietly(Io io) {
    TcpTransport::NoSigpipe quiet;
    return io();
}

} // namespace

struct TlsTransport::Session {
    SSL_CTX* ctx = nullptr;
    SSL* ssl = nullptr;
    bool secured = false;
    ~Session() {
        if (ssl) SSL_free(ssl);
        if (ctx) SSL_CTX_free(ctx);
    }
};

TlsTransport::TlsTransport(bool implicit) : Implicit(implicit) {
    ForwardInnerEvents();
}

TlsTransport::~TlsTransport() {
    session_.reset();
    tcp_.OnDisconnected = nullptr;
}

bool TlsTransport::Secured() const {
    return session_ && session_->secured;
}

bool TlsTransport::StartTls() {
    if (!tcp_.IsOpen()) return false;
    auto s = std::make_unique<Session>();
    ERR_clear_error();
    s->ctx = SSL_CTX_new(TLS_client_method());
    if (!s->ctx) {
        ReportError(kTlsHandshakeFailed, "TLS unavailable: " + OpenSslErrors());
        Close();
        return false;
    }
    SSL_CTX_set_min_proto_version(s->ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(s->ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(s->ctx);
    if (!CaFile.empty() && SSL_CTX_load_verify_locations(s->ctx, CaFile.c_str(), nullptr) != 1) {
        ERR_clear_error();
        ReportError(kTlsCaFileUnreadable, "cannot read the CA file " + CaFile);
        Close();
        return false;
    }
    s->ssl = SSL_new(s->ctx);
    if (!s->ssl || SSL_set_fd(s->ssl, static_cast<int>(tcp_.NativeHandle())) != 1) {
        ReportError(kTlsHandshakeFailed, "TLS set-up failed: " + OpenSslErrors());
        Close();
        return false;
    }
    // Host-name check (RFC 6125); a numeric host is matched against the IP addresses instead.
    // Without the name set the chain alone would be checked, so a failure here ends the
    // connection. A wildcard stands for a whole label only (RFC 6125 6.4.3 allows no more).
    X509_VERIFY_PARAM* param = SSL_get0_param(s->ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    bool named = !host_.empty() && host_.find('\0') == std::string::npos;
    if (named && IsNumericAddress(host_)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(param, host_.c_str()) == 1;
    } else if (named) {
        named = SSL_set_tlsext_host_name(s->ssl, host_.c_str()) == 1 &&
                SSL_set1_host(s->ssl, host_.c_str()) == 1;
    }
    if (!named) {
        std::string reason = "cannot check the server's certificate against the name " + host_;
        if (std::string detail = OpenSslErrors(); !detail.empty()) reason += ": " + detail;
        ReportError(kTlsHandshakeFailed, reason);
        Close();
        return false;
    }
    session_ = std::move(s);
    SSL* ssl = session_->ssl;
    // A server that goes quiet during the handshake must not leave the connection open in plain
    // text: every way out of this loop but success closes it.
    const std::string late = "the TLS handshake with " + host_ + " did not finish within " +
                             detail::Seconds(ConnectTimeout);
    auto deadline = std::chrono::steady_clock::now() + ConnectTimeout;
    for (;;) {
        int rc = Quietly([ssl] { return SSL_connect(ssl); });
        if (rc == 1) break;
        int err = SSL_get_error(ssl, rc);
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() < 0) left = std::chrono::milliseconds(0);
        if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
            bool ready = err == SSL_ERROR_WANT_READ ? tcp_.WaitReadable(left, late)
                                                    : tcp_.WaitWritable(left, late);
            if (ready) continue;
            ERR_clear_error();
            Close();
            return false;
        }
        long verify = SSL_get_verify_result(ssl);
        int code = kTlsHandshakeFailed;
        std::string reason;
        switch (verify) {
        case X509_V_OK:
            reason = "TLS handshake failed";
            if (std::string detail = OpenSslErrors(); !detail.empty()) reason += ": " + detail;
            break;
        case X509_V_ERR_CERT_HAS_EXPIRED:
            code = kTlsCertExpired;
            reason = "the server's certificate has expired";
            break;
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            code = kTlsUnknownIssuer;
            reason = "the server's certificate comes from an unknown issuer";
            break;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            code = kTlsNameMismatch;
            reason = "the server's certificate is not for " + host_;
            break;
        default:
            code = kTlsCertInvalid;
            reason = std::string("the server's certificate is not valid: ") +
                     X509_verify_cert_error_string(verify);
        }
        ERR_clear_error();
        ReportError(code, reason);
        Close();
        return false;
    }
    session_->secured = true;
    return true;
}

bool TlsTransport::Send(std::string_view bytes) {
    if (!IsOpen()) return false;
    if (!Secured()) return tcp_.Send(bytes);
    while (!bytes.empty()) {
        SSL* ssl = session_->ssl;
        size_t written = 0;
        int rc = Quietly([&] { return SSL_write_ex(ssl, bytes.data(), bytes.size(), &written); });
        if (rc == 1) {
            bytes.remove_prefix(written);
            continue;
        }
        int err = SSL_get_error(ssl, rc);
        if (err == SSL_ERROR_WANT_WRITE) {
            if (!tcp_.WaitWritable(ReceiveTimeout)) return false;
            continue;
        }
        if (err == SSL_ERROR_WANT_READ) {
            if (!tcp_.WaitReadable(ReceiveTimeout)) return false;
            continue;
        }
        ERR_clear_error();
        ReportError(kTransportReset, "TLS send failed");
        return false;
    }
    return true;
}

std::size_t TlsTransport::Receive(char* buffer, std::size_t capacity) {
    if (!IsOpen() || capacity == 0) return 0;
    if (!Secured()) return tcp_.Receive(buffer, capacity);
    for (;;) {
        SSL* ssl = session_->ssl;
        size_t got = 0;
        int rc = Quietly([&] { return SSL_read_ex(ssl, buffer, capacity, &got); });
        if (rc == 1) return got;
        int err = SSL_get_error(ssl, rc);
        if (err == SSL_ERROR_WANT_READ) {
            if (!tcp_.WaitReadable(ReceiveTimeout)) return 0;
            continue;
        }
        if (err == SSL_ERROR_WANT_WRITE) {
            if (!tcp_.WaitWritable(ReceiveTimeout)) return 0;
            continue;
        }
        // A closed connection, with or without TLS's close_notify, is the server going away.
        bool closed = err == SSL_ERROR_ZERO_RETURN ||
                      (err == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) ||
                      ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
        ERR_clear_error();
        if (closed)
            ReportError(kTransportClosedByPeer, "the server closed the connection");
        else
            ReportError(kTransportReset, "TLS receive failed");
        return 0;
    }
}

bool TlsTransport::HasUnreadData() {
    if (!Secured()) return tcp_.HasUnreadData();
    SSL* ssl = session_->ssl;
    if (SSL_pending(ssl) > 0) return true;
    if (!tcp_.HasUnreadData()) return false;
    // Raw bytes may be TLS's own (a session ticket, close_notify): only application data counts,
    // and peeking at a socket that does not block never waits for more.
    char c;
    size_t got = 0;
    const int rc = Quietly([&] { return SSL_peek_ex(ssl, &c, 1, &got); });
    ERR_clear_error();
    return rc == 1 && got > 0;
}

void TlsTransport::Close() {
    if (session_ && session_->ssl && session_->secured && tcp_.IsOpen()) {
        // Best effort close_notify; the socket is non-blocking, so this never waits.
        Quietly([this] { return SSL_shutdown(session_->ssl); });
        ERR_clear_error();
    }
    session_.reset();
    tcp_.Close();
}

} // namespace platform
