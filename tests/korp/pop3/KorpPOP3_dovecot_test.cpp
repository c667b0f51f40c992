#include <korp/KorpPOP3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <korp/KorpMsg.h>
#include <korp/KorpSasl.h>
#include <platform/Transport.h>

#include "PopTestServers.h"

using korp::TKorpPOP;
using poptest::DovecotServer;

namespace {

std::string BigBody(std::size_t lines) {
    std::string body;
    body.reserve(lines * 72);
    for (std::size_t i = 0; i < lines; ++i)
        body += "regel " + std::to_string(i) + std::string(60, 'x') + "\n";
    return body;
}

constexpr std::size_t kBigLines = 50000; // about 3.5 MB

// One Dovecot with TLS for the whole suite: starting it is the slow part.
class DovecotPop : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        work_ = std::make_unique<testsupport::TempDir>();
        pki_ = std::make_unique<poptest::TestPki>(work_->Path() / "pki");
        if (!pki_->Ok() || !pki_->MakeServerCert("good", "DNS:localhost,IP:127.0.0.1", 2)) {
            failure_ = "the openssl command could not make test certificates";
            return;
        }
        server_ = std::make_unique<DovecotServer>();
        server_->AddMessage("From: Jan <jan@example.org>\nSubject: Eerste\n\nHallo Piet,\n"
                            "tot morgen.\n");
        server_->AddMessage("From: a@example.org\nSubject: Punten\n\n.\n..\n.x\n. y\nz.\n");
        server_->AddMessage("From: b@example.org\nSubject: Groot\n\n" + BigBody(kBigLines));
        server_->AddMessage("From: c@example.org\nSubject: Laatste\n\nkort\n");
        if (!server_->Start(pki_->CertFile("good"), pki_->KeyFile("good")))
            failure_ = server_->Error();
        filesAtStart_ = server_->MailFiles();
    }
    static void TearDownTestSuite() {
        server_.reset();
        pki_.reset();
        work_.reset();
    }

    void SetUp() override {
        ASSERT_EQ(failure_, "");
        oldTmp_ = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
        ::setenv("TMPDIR", spool_.Path().c_str(), 1);
        pop.Host = "127.0.0.1";
        pop.Port = std::to_string(server_->Port());
        pop.UserId = DovecotServer::kUser;
        pop.UserPasswd = DovecotServer::kPassword;
        pop.CAFile = pki_->CaFile();
        pop.OnError = [this](TKorpPOP&, int code, const std::string& msg) {
            errors.push_back(code);
            lastErrorText = msg;
        };
    }
    void TearDown() override {
        if (!failure_.empty()) return;
        EXPECT_TRUE(std::filesystem::is_empty(spool_.Path())) << "a spool file was left behind";
        if (oldTmp_.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", oldTmp_.c_str(), 1);
    }
    ::testing::AssertionResult ConnectAndLogin() {
        pop.Connect();
        if (!pop.ErrorFlag && !pop.StartTLS && pop.ReplyText != server_->Greeting())
            return ::testing::AssertionFailure() << "another server answered: " << pop.ReplyText;
        if (!pop.ErrorFlag && pop.Login()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << pop.LastError << "\n" << server_->Log();
    }

    static std::string failure_;
    static std::unique_ptr<testsupport::TempDir> work_;
    static std::unique_ptr<poptest::TestPki> pki_;
    static std::unique_ptr<DovecotServer> server_;
    static std::vector<std::string> filesAtStart_;

    TKorpPOP pop;
    std::vector<int> errors;
    std::string lastErrorText;

private:
    testsupport::TempDir spool_;
    std::string oldTmp_;
};

std::string DovecotPop::failure_;
std::unique_ptr<testsupport::TempDir> DovecotPop::work_;
std::unique_ptr<poptest::TestPki> DovecotPop::pki_;
std::unique_ptr<DovecotServer> DovecotPop::server_;
std::vector<std::string> DovecotPop::filesAtStart_;

} // namespace

TEST_F(DovecotPop, CountsWithStatWhileLastIsUnknownToTheServer) {
    ASSERT_TRUE(ConnectAndLogin()) << pop.LastError;
    pop.GetMailCount();
    EXPECT_EQ(pop.MailCount, 4);
    EXPECT_EQ(pop.NewMailCount, 0); // Dovecot answers LAST with -ERR
    EXPECT_FALSE(pop.ErrorFlag);
    EXPECT_TRUE(errors.empty());
    pop.Quit();
}

TEST_F(DovecotPop, GivesEveryMessageItsOwnStableUniqueId) {
    ASSERT_TRUE(ConnectAndLogin());
    std::vector<std::string> ids;
    for (std::uint32_t n = 1; n <= 4; ++n)
        ids.push_back(pop.GetUIDL(n));
    pop.Quit();
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), 4u);
    for (const std::string& id : ids)
        EXPECT_EQ(id.size(), 16u) << id;
    ASSERT_TRUE(ConnectAndLogin());
    EXPECT_EQ(pop.GetUIDL(3), ids[2]);
    EXPECT_EQ(pop.GetUIDL(5), "");
    EXPECT_EQ(errors, std::vector<int>{korp::kErrStatOrUidl});
}

TEST_F(DovecotPop, FetchesTheHeaderOnlyWithTop) {
    ASSERT_TRUE(ConnectAndLogin());
    pop.GetUIDLsOnRetrieve = true;
    korp::TKorpMsg* msg = pop.RetrieveHeader(1);
    ASSERT_NE(msg, nullptr) << pop.LastError;
    EXPECT_EQ(msg->Subject, "Eerste");
    EXPECT_EQ(msg->From, "Jan <jan@example.org>");
    EXPECT_EQ(msg->Text.Count(), 0u);
    EXPECT_EQ(msg->UIDL.size(), 16u);
    EXPECT_GT(msg->Size, 50);
    pop.Quit();
}

TEST_F(DovecotPop, RetrievesASmallMessageWithEventsInOrder) {
    std::vector<std::string> events;
    pop.OnBeforeRetrieve = [&](TKorpPOP&, std::uint32_t n) {
        events.push_back("before " + std::to_string(n));
    };
    pop.OnRetrieveProgress = [&](TKorpPOP&, std::uint16_t p) {
        events.push_back("progress " + std::to_string(p));
    };
    pop.OnAfterRetrieve = [&](TKorpPOP&) { events.push_back("after"); };
    ASSERT_TRUE(ConnectAndLogin());
    korp::TKorpMsg* msg = pop.Retrieve(1);
    ASSERT_NE(msg, nullptr) << pop.LastError;
    EXPECT_EQ(msg->Text.Lines(), (std::vector<std::string>{"Hallo Piet,", "tot morgen."}));
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), "before 1");
    EXPECT_EQ(events[events.size() - 2], "progress 100");
    EXPECT_EQ(events.back(), "after");
    pop.Quit();
}

TEST_F(DovecotPop, UndoesTheServersDotStuffing) {
    ASSERT_TRUE(ConnectAndLogin());
    korp::TKorpMsg* msg = pop.Retrieve(2);
    ASSERT_NE(msg, nullptr) << pop.LastError;
    EXPECT_EQ(msg->Text.Lines(), (std::vector<std::string>{".", "..", ".x", ". y", "z."}));
    pop.Quit();
}

TEST_F(DovecotPop, RetrievesAMultiMegabyteMessageWithRisingProgress) {
    std::vector<unsigned> progress;
    std::vector<std::filesystem::perms> spoolModes;
    pop.OnRetrieveProgress = [&](TKorpPOP&, std::uint16_t p) {
        progress.push_back(p);
        for (const auto& e : std::filesystem::directory_iterator(std::getenv("TMPDIR")))
            spoolModes.push_back(e.status().permissions());
    };
    ASSERT_TRUE(ConnectAndLogin());
    korp::TKorpMsg* msg = pop.Retrieve(3);
    ASSERT_NE(msg, nullptr) << pop.LastError;
    ASSERT_EQ(msg->Text.Count(), kBigLines);
    EXPECT_EQ(msg->Text[0], "regel 0" + std::string(60, 'x'));
    EXPECT_EQ(msg->Text[kBigLines - 1],
              "regel " + std::to_string(kBigLines - 1) + std::string(60, 'x'));
    EXPECT_GT(msg->Size, 3'000'000);
    ASSERT_EQ(progress.size(), 10u);
    for (std::size_t i = 0; i < progress.size(); ++i)
        EXPECT_EQ(progress[i], 10 * (i + 1));
    // The spool file has no name in the folder while it is used: no one else can open it, and
    // a crash leaves nothing behind.
    EXPECT_TRUE(spoolModes.empty());
    // The next message comes right after: the big one was read to its terminator exactly.
    korp::TKorpMsg* next = pop.RetrieveHeader(4);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->Subject, "Laatste");
    pop.Quit();
}

TEST_F(DovecotPop, ConnectsWithImplicitTlsAndWithStartTls) {
    struct Case {
        const char* name;
        bool implicit;
        bool stls;
    } cases[] = {{"implicit", true, false}, {"stls", false, true}};
    for (const Case& c : cases) {
        TKorpPOP tls;
        tls.Host = "localhost";
        tls.Port = std::to_string(c.implicit ? server_->TlsPort() : server_->Port());
        tls.UseTLS = c.implicit;
        tls.StartTLS = c.stls;
        tls.CAFile = pki_->CaFile();
        tls.UserId = DovecotServer::kUser;
        tls.UserPasswd = DovecotServer::kPassword;
        std::vector<std::string> sent;
        tls.OnSendTextToSocket = [&](TKorpPOP&, const std::string& s) { sent.push_back(s); };
        tls.Connect();
        ASSERT_FALSE(tls.ErrorFlag) << c.name << ": " << tls.LastError;
        ASSERT_TRUE(tls.Login()) << c.name;
        tls.GetMailCount();
        EXPECT_EQ(tls.MailCount, 4) << c.name;
        korp::TKorpMsg* msg = tls.Retrieve(1);
        ASSERT_NE(msg, nullptr) << c.name;
        EXPECT_EQ(msg->Subject, "Eerste");
        tls.Quit();
        EXPECT_FALSE(tls.IsConnected);
        EXPECT_EQ(sent.front(), c.stls ? "STLS" : "USER jan") << c.name;
    }
}

TEST_F(DovecotPop, NeverDeletesAnything) {
    ASSERT_TRUE(ConnectAndLogin());
    pop.GetMailCount();
    for (std::uint32_t n = 1; n <= pop.MailCount; ++n) {
        pop.GetUIDL(n);
        ASSERT_NE(pop.Retrieve(n), nullptr);
    }
    pop.Quit();
    // Dovecot may add the Seen flag after the ":2," of a name; the messages themselves stay.
    auto baseNames = [](std::vector<std::string> names) {
        for (std::string& n : names)
            n = n.substr(0, n.find(':'));
        return names;
    };
    EXPECT_EQ(baseNames(server_->MailFiles()), baseNames(filesAtStart_));
    EXPECT_EQ(server_->Log().find("del=1"), std::string::npos);
}

TEST_F(DovecotPop, TheToolShowsTheConversationButNeverThePassword) {
    std::string pwFile = (work_->Path() / "pw").string();
    std::ofstream(pwFile) << DovecotServer::kPassword << "\n";
    std::string out = (work_->Path() / "body.txt").string();
    std::string port = std::to_string(server_->Port());
    struct Case {
        std::string args;
        std::vector<std::string> expected;
    } cases[] = {
        {"--host 127.0.0.1 --port " + port + " --user jan --password-file '" + pwFile + "' check",
         {"C: PASS ********", "result: 4 messages, 0 new", "uidl 4: "}},
        {"--host localhost --port " + port + " --starttls --ca '" + pki_->CaFile() +
             "' --user jan --password-file '" + pwFile + "' retr 1 --out '" + out + "'",
         {"C: STLS", "Subject: Eerste", "* progress 100%", "Text: 2 lines"}},
    };
    for (const Case& c : cases) {
        std::string output;
        std::FILE* p = ::popen((std::string(KORP_POP3_TOOL) + " " + c.args + " 2>&1").c_str(), "r");
        ASSERT_NE(p, nullptr);
        char buf[4096];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
            output.append(buf, n);
        EXPECT_EQ(::pclose(p), 0) << output;
        for (const std::string& e : c.expected)
            EXPECT_NE(output.find(e), std::string::npos) << e << " not in:\n" << output;
        EXPECT_EQ(output.find(DovecotServer::kPassword), std::string::npos) << output;
    }
    std::ifstream body(out, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(body)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "Hallo Piet,\r\ntot morgen.\r\n");
}

// Last of the suite: after a wrong password Dovecot slows down logins from the same address.
TEST_F(DovecotPop, LogsInWithTheRightPasswordOnly) {
    struct Case {
        const char* password;
        bool ok;
    } cases[] = {{DovecotServer::kPassword, true}, {"fout", false}};
    for (const Case& c : cases) {
        errors.clear();
        pop.UserPasswd = c.password;
        pop.Connect();
        ASSERT_FALSE(pop.ErrorFlag) << pop.LastError;
        EXPECT_EQ(pop.Login(), c.ok) << c.password;
        EXPECT_EQ(pop.LoggedIn, c.ok);
        EXPECT_EQ(pop.IsConnected, c.ok);
        EXPECT_EQ(errors, c.ok ? std::vector<int>{} : std::vector<int>{korp::kErrLogin});
        pop.Quit();
        EXPECT_FALSE(pop.IsConnected);
    }
}

// Certificate failures, each against a server of its own.
TEST(DovecotTls, RefusesAServerWhoseCertificateFailsWithAClearReason) {
    testsupport::TempDir work;
    poptest::TestPki pki(work.Path());
    ASSERT_TRUE(pki.Ok());
    struct Case {
        const char* cert;
        const char* altNames;
        int days;
        bool trustCa;
        int code;
        const char* reason;
    } cases[] = {
        {"expired", "DNS:localhost,IP:127.0.0.1", -1, true, platform::kTlsCertExpired,
         "the server's certificate has expired"},
        {"other", "DNS:mail.example.org", 2, true, platform::kTlsNameMismatch,
         "the server's certificate is not for localhost"},
        {"good", "DNS:localhost,IP:127.0.0.1", 2, false, platform::kTlsUnknownIssuer,
         "the server's certificate comes from an unknown issuer"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(pki.MakeServerCert(c.cert, c.altNames, c.days));
        DovecotServer server;
        ASSERT_TRUE(server.Start(pki.CertFile(c.cert), pki.KeyFile(c.cert))) << server.Error();
        TKorpPOP pop;
        pop.Host = "localhost";
        pop.Port = std::to_string(server.TlsPort());
        pop.UseTLS = true;
        if (c.trustCa) pop.CAFile = pki.CaFile();
        std::vector<int> errors;
        std::string message;
        pop.OnError = [&](TKorpPOP&, int code, const std::string& m) {
            errors.push_back(code);
            message = m;
        };
        pop.Connect();
        EXPECT_TRUE(pop.ErrorFlag) << c.cert;
        EXPECT_FALSE(pop.IsConnected) << c.cert;
        EXPECT_EQ(errors, std::vector<int>{c.code}) << c.cert;
        EXPECT_EQ(message, c.reason) << c.cert;
        EXPECT_FALSE(pop.Login());
    }
}

namespace {

// An OAuth2 introspection endpoint (RFC 7662) on 127.0.0.1 that knows one token: POST
// /introspect with "token=..." answers {"active":true,"username":...} for it, and
// {"active":false} for any other. Every wait is bounded.
class IntrospectionEndpoint {
public:
    IntrospectionEndpoint(std::string token, std::string user)
        : token_(std::move(token)), user_(std::move(user)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listener_, 8) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~IntrospectionEndpoint() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (listener_ >= 0) ::close(listener_);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/introspect"; }
    int Asked() const { return asked_; }

private:
    void Serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) continue;
            Answer(client);
            ::close(client);
        }
    }
    void Answer(int client) {
        std::string request;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            const std::size_t headerEnd = request.find("\r\n\r\n");
            if (headerEnd != std::string::npos) {
                const std::size_t length = request.find("Content-Length: ");
                const std::size_t body =
                    length == std::string::npos ? 0 : std::stoul(request.substr(length + 16));
                if (request.size() >= headerEnd + 4 + body) break;
            }
            pollfd p{client, POLLIN, 0};
            char buffer[4096];
            if (std::chrono::steady_clock::now() > deadline || ::poll(&p, 1, 100) < 0) return;
            if (!(p.revents & POLLIN)) continue;
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0 || request.size() > 65536) return;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        ++asked_;
        const bool known = request.find("token=" + token_) != std::string::npos;
        const std::string json = known ? "{\"active\":true,\"username\":\"" + user_ + "\"}"
                                       : std::string("{\"active\":false}");
        const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                  "Content-Length: " +
                                  std::to_string(json.size()) + "\r\nConnection: close\r\n\r\n" +
                                  json;
        (void)::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
    }

    std::string token_, user_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> asked_{0};
};

} // namespace

TEST(DovecotOAuth2, SignsInWithAnAccessTokenOverEitherMechanismAndARejectedOneIsALoginError) {
    const std::string token = "ya29.toegang-" + std::string(300, 'k'); // past one AUTH line
    IntrospectionEndpoint endpoint(token, DovecotServer::kUser);
    DovecotServer server;
    server.AddMessage("From: Jan <jan@example.org>\nSubject: Via OAuth2\n\nHallo.\n");
    server.UseOAuth2(endpoint.Url());
    ASSERT_TRUE(server.Start()) << server.Error();

    struct Case {
        const char* mechanism;
        std::string token;
        bool ok;
    };
    const Case cases[] = {
        {"XOAUTH2", token, true},
        {"OAUTHBEARER", token, true},
        {"XOAUTH2", "verlopen", false},
        {"OAUTHBEARER", "verlopen", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mechanism) + (c.ok ? " accepted" : " rejected"));
        TKorpPOP pop;
        pop.Host = "127.0.0.1";
        pop.Port = std::to_string(server.Port());
        pop.UserId = DovecotServer::kUser;
        pop.SaslMechanism = c.mechanism;
        pop.AccessToken = c.token;
        std::vector<int> errors;
        pop.OnError = [&errors](TKorpPOP&, int code, const std::string&) {
            errors.push_back(code);
        };
        pop.Connect();
        ASSERT_FALSE(pop.ErrorFlag) << pop.LastError;
        EXPECT_EQ(pop.Login(), c.ok) << pop.LastError;
        if (c.ok) {
            pop.GetMailCount();
            EXPECT_EQ(pop.MailCount, 1u);
            EXPECT_TRUE(errors.empty());
        } else {
            EXPECT_EQ(errors, std::vector<int>{korp::kErrLogin});
            EXPECT_EQ(pop.LastError.rfind("login refused: ", 0), 0u) << pop.LastError;
        }
        pop.Quit();
    }
    EXPECT_GE(endpoint.Asked(), 2);
    EXPECT_EQ(server.Log().find(token), std::string::npos) << "the token in the server's log";
}

TEST_F(DovecotPop, TheToolSendsATokenFromStandardInputAndNeverShowsIt) {
    // This suite's server takes passwords only: the tool's AUTH is refused, and said so.
    const std::string port = std::to_string(server_->Port());
    const std::string command = "echo geheim-token | " + std::string(KORP_POP3_TOOL) +
                                " --host 127.0.0.1 --port " + port +
                                " --user jan --sasl XOAUTH2 --token-file - check 2>&1";
    std::string output;
    std::FILE* p = ::popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
        output.append(buf, n);
    EXPECT_NE(::pclose(p), 0) << output;
    EXPECT_NE(output.find("C: AUTH XOAUTH2"), std::string::npos) << output;
    EXPECT_NE(output.find("result: login failed: login refused"), std::string::npos) << output;
    EXPECT_EQ(output.find("geheim-token"), std::string::npos) << output;
    EXPECT_EQ(output.find(korp::Base64Encode("user=jan")), std::string::npos) << output;
}
