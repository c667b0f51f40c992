#include <platform/TlsTransport.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sys/time.h>

#include <openssl/ssl.h>

#include <gtest/gtest.h>

#include "Loopback.h"
#include "PopTestServers.h"

using namespace std::chrono_literals;
using nettest::Listener;
using nettest::Recorder;
using platform::TlsTransport;

namespace {

// Serves one connection on 127.0.0.1 with a certificate: the TLS handshake, "+OK\r\n", and then
// waits for the client to close, or hangs up at once. Every wait is bounded.
class TlsServer {
public:
    TlsServer(const std::string& certFile, const std::string& keyFile, bool hangUp = false)
        : hangUp_(hangUp) {
        ctx_ = SSL_CTX_new(TLS_server_method());
        ok_ = ctx_ && SSL_CTX_use_certificate_chain_file(ctx_, certFile.c_str()) == 1 &&
              SSL_CTX_use_PrivateKey_file(ctx_, keyFile.c_str(), SSL_FILETYPE_PEM) == 1;
        if (ok_) thread_ = std::thread([this] { Serve(); });
    }
    ~TlsServer() {
        Finish();
        SSL_CTX_free(ctx_);
    }
    void Finish() {
        if (thread_.joinable()) thread_.join();
    }
    bool Ok() const { return ok_; }
    std::uint16_t Port() const { return listener_.port; }

private:
    void Serve() {
        // A client that refuses the certificate goes away mid-handshake; writing to it must not
        // end the test run.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        int fd = listener_.AcceptWithin(5000);
        if (fd < 0) return;
        timeval limit{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        SSL* ssl = SSL_new(ctx_);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) == 1) {
            SSL_write(ssl, "+OK\r\n", 5);
            char buf[64];
            while (!hangUp_ && SSL_read(ssl, buf, sizeof buf) > 0) {
            }
        }
        SSL_free(ssl);
        ::close(fd);
    }
    Listener listener_;
    bool hangUp_;
    SSL_CTX* ctx_ = nullptr;
    bool ok_ = false;
    std::thread thread_;
};

// Everything a peer sent until it closed (or 2 s passed).
std::string ReadUntilClosed(int fd) {
    std::string got;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) != 1) return got + "<still open>";
        char buf[4096];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return got;
        got.append(buf, static_cast<std::size_t>(n));
    }
}

} // namespace

// A server that takes the connection and then says nothing: the handshake gives up after the
// time-out and closes the connection, so nothing can go on in plain text (a password, say).
TEST(TlsTransport, AHandshakeThatTimesOutClosesTheConnection) {
    for (bool implicit : {true, false}) {
        const char* name = implicit ? "implicit TLS" : "after STLS";
        Listener l;
        TlsTransport t(implicit);
        Recorder r;
        r.Attach(t);
        t.ConnectTimeout = 300ms;
        auto start = std::chrono::steady_clock::now();
        bool ok = t.Open("127.0.0.1", l.port);
        if (!implicit) {
            ASSERT_TRUE(ok) << t.LastError();
            ok = t.StartTls();
        }
        auto waited = std::chrono::steady_clock::now() - start;
        int peer = l.AcceptWithin(1000);
        ASSERT_GE(peer, 0) << name;
        EXPECT_FALSE(ok) << name;
        EXPECT_GE(waited, 290ms) << name;
        EXPECT_LT(waited, 5s) << name;
        EXPECT_EQ(r.codes, std::vector<int>{platform::kTransportTimedOut}) << name;
        EXPECT_EQ(t.LastError(), "the TLS handshake with 127.0.0.1 did not finish within 0.3 s")
            << name;
        EXPECT_FALSE(t.IsOpen()) << name;
        EXPECT_FALSE(t.Secured()) << name;
        EXPECT_EQ(r.events.back(), "disconnected") << name;
        EXPECT_FALSE(t.Send("PASS geheim\r\n")) << name;
        std::string got = ReadUntilClosed(peer);
        EXPECT_EQ(got.find("<still open>"), std::string::npos) << name;
        EXPECT_EQ(got.find("PASS"), std::string::npos) << name;
        ::close(peer);
    }
}

// The certificate must name the host that was opened; names resolve to 127.0.0.1 through the
// transport's resolver, so no name server is asked.
TEST(TlsTransport, ChecksTheHostAgainstTheNamesInTheCertificate) {
    testsupport::TempDir work;
    poptest::TestPki pki(work.Path());
    ASSERT_TRUE(pki.Ok()) << "the openssl command could not make test certificates";
    struct Case {
        const char* cert;
        const char* altNames;
        const char* host;
        int code; // 0: the connection is secured
    } cases[] = {
        {"exact", "DNS:mail.example.org", "mail.example.org", 0},
        {"wildcard", "DNS:*.example.org", "foo.example.org", 0},
        // RFC 6125 6.4.3: a wildcard within a label is not honoured.
        {"partial", "DNS:f*.example.org", "foo.example.org", platform::kTlsNameMismatch},
        {"other", "DNS:mail.example.org", "foo.example.org", platform::kTlsNameMismatch},
        {"address", "IP:127.0.0.1", "127.0.0.1", 0},
        {"name-for-address", "DNS:127.0.0.1", "127.0.0.1", platform::kTlsNameMismatch},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(pki.MakeServerCert(c.cert, c.altNames, 2)) << c.cert;
        TlsServer server(pki.CertFile(c.cert), pki.KeyFile(c.cert));
        ASSERT_TRUE(server.Ok()) << c.cert;
        TlsTransport t(true);
        Recorder r;
        r.Attach(t);
        t.CaFile = pki.CaFile();
        t.ConnectTimeout = 2s;
        t.ReceiveTimeout = 2s;
        t.Resolve = [](const std::string&) { return std::vector<std::string>{"127.0.0.1"}; };
        bool opened = t.Open(c.host, server.Port());
        if (c.code == 0) {
            ASSERT_TRUE(opened) << c.cert << ": " << t.LastError();
            EXPECT_TRUE(t.Secured()) << c.cert;
            char buf[16];
            EXPECT_EQ(std::string(buf, t.Receive(buf, sizeof buf)), "+OK\r\n") << c.cert;
        } else {
            EXPECT_FALSE(opened) << c.cert;
            EXPECT_EQ(r.codes, std::vector<int>{c.code}) << c.cert;
            EXPECT_EQ(t.LastError(), "the server's certificate is not for " + std::string(c.host))
                << c.cert;
            EXPECT_FALSE(t.IsOpen()) << c.cert;
        }
        t.Close();
    }
}

// A host name that cannot go into the handshake (the server-name extension takes at most 255
// bytes) fails the open rather than connecting without a name check.
TEST(TlsTransport, RefusesAHostNameItCannotCheck) {
    std::string host;
    while (host.size() < 300)
        host += "langenaam.";
    host += "example.org";
    Listener l;
    TlsTransport t(true);
    Recorder r;
    r.Attach(t);
    t.ConnectTimeout = 300ms;
    t.Resolve = [](const std::string&) { return std::vector<std::string>{"127.0.0.1"}; };
    EXPECT_FALSE(t.Open(host, l.port));
    EXPECT_EQ(r.codes, std::vector<int>{platform::kTlsHandshakeFailed});
    EXPECT_EQ(
        t.LastError().rfind("cannot check the server's certificate against the name " + host, 0),
        0u)
        << t.LastError();
    EXPECT_FALSE(t.IsOpen());
    int peer = l.AcceptWithin(1000);
    ASSERT_GE(peer, 0);
    EXPECT_EQ(ReadUntilClosed(peer), "");
    ::close(peer);
}

// A server that has gone away (an idle connection dropped, say) makes the next writes fail. That
// must come back as an error: OpenSSL writes with plain write(), whose SIGPIPE would end the
// program on its own.
TEST(TlsTransport, WritingToAServerThatHasGoneFailsWithoutEndingTheProgram) {
    testsupport::TempDir work;
    poptest::TestPki pki(work.Path());
    ASSERT_TRUE(pki.Ok() && pki.MakeServerCert("good", "IP:127.0.0.1", 2))
        << "the openssl command could not make test certificates";
    TlsServer server(pki.CertFile("good"), pki.KeyFile("good"), true);
    ASSERT_TRUE(server.Ok());
    TlsTransport t(true);
    Recorder r;
    r.Attach(t);
    t.CaFile = pki.CaFile();
    t.ReceiveTimeout = 2s;
    ASSERT_TRUE(t.Open("127.0.0.1", server.Port())) << t.LastError();
    char buf[16];
    ASSERT_EQ(std::string(buf, t.Receive(buf, sizeof buf)), "+OK\r\n");
    server.Finish();
    // The first write may still be taken; the peer's reset makes a later one fail. How soon
    // depends on the machine's load, so keep writing until then or a generous deadline.
    bool failed = false;
    for (auto deadline = std::chrono::steady_clock::now() + 10s;
         !failed && std::chrono::steady_clock::now() < deadline;) {
        failed = !t.Send("NOOP\r\n");
        if (!failed) std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(r.codes, std::vector<int>{platform::kTransportReset});
    t.Close();
    // This thread's signal mask is as it was.
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGPIPE), 0);
}
