#include <korp/KorpPOP3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <korp/KorpMsg.h>
#include <korp/KorpSasl.h>
#include <platform/TcpTransport.h>
#include <platform/Transport.h>

#include "PopTestServers.h"

using namespace std::chrono_literals;
using korp::TKorpPOP;
using poptest::ScriptedServer;
using S = poptest::ScriptedServer;

namespace {

// Points the temporary folder at a test folder, so a spool file left behind is seen.
class ScriptedPop : public ::testing::Test {
protected:
    void SetUp() override {
        oldTmp_ = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
        ::setenv("TMPDIR", tmp_.Path().c_str(), 1);
        pop.ReceiveTimeout = 400ms;
        pop.ConnectTimeout = 2s;
        pop.UserId = "jan";
        pop.UserPasswd = "geheim";
        pop.OnError = [this](TKorpPOP&, int code, const std::string&) { errors.push_back(code); };
    }
    void TearDown() override {
        if (oldTmp_.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", oldTmp_.c_str(), 1);
    }
    void Use(const ScriptedServer& s) {
        pop.Host = "127.0.0.1";
        pop.Port = std::to_string(s.Port());
    }
    bool SpoolFolderEmpty() const { return std::filesystem::is_empty(tmp_.Path()); }

    TKorpPOP pop;
    std::vector<int> errors;

private:
    testsupport::TempDir tmp_;
    std::string oldTmp_;
};

std::vector<S::Step> LoggedIn(std::vector<S::Step> rest) {
    std::vector<S::Step> steps{S::Send("+OK ready\r\n"), S::Expect("USER jan"), S::Send("+OK\r\n"),
                               S::Expect("PASS geheim"), S::Send("+OK\r\n")};
    steps.insert(steps.end(), rest.begin(), rest.end());
    return steps;
}

} // namespace

TEST_F(ScriptedPop, AnErrGreetingLeavesTheErrorFlagSet) {
    ScriptedServer s({S::Send("-ERR go away\r\n"), S::Pause(200)});
    Use(s);
    pop.Connect();
    EXPECT_TRUE(pop.ErrorFlag);
    EXPECT_EQ(pop.ReplyText, "go away");
}

TEST_F(ScriptedPop, AServerThatDoesNotSpeakPop3IsToldNothingOfTheUsers) {
    const struct {
        const char* name;
        std::string greeting;
    } cases[] = {
        {"an SMTP banner", "220 mail.voorbeeld.nl ESMTP Postfix\r\n"},
        {"an HTTP answer", "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n"},
        {"an empty line", "\r\n"},
        {"binary noise without a line end", std::string("\x16\x03\x01\x00\xa5\x01", 6)},
        {"a status word run on", "+OKAY here I am\r\n"},
    };
    for (const bool startTls : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (startTls ? " (STLS)" : ""));
            errors.clear();
            ScriptedServer s({S::Send(c.greeting), S::Listen(300)});
            Use(s);
            pop.StartTLS = startTls;
            pop.Connect();
            EXPECT_TRUE(pop.ErrorFlag);
            EXPECT_FALSE(pop.IsConnected);
            EXPECT_EQ(errors, std::vector<int>{korp::kErrNotPop3});
            EXPECT_EQ(pop.LastError.rfind("no POP3 server answers there", 0), 0u) << pop.LastError;
            EXPECT_FALSE(pop.Login());
            s.Finish();
            EXPECT_TRUE(s.Received().empty()) << s.Received().front();
        }
    }
}

TEST_F(ScriptedPop, ALineNoCommandAskedForBreaksTheSessionBeforeTheNextCommand) {
    ScriptedServer s(LoggedIn({S::Expect("UIDL 1"), S::Send("+OK 1 a\r\n"), S::Pause(20),
                               S::Send("+OK 2 b\r\n"), S::Listen(2000)}));
    Use(s);
    pop.Connect();
    ASSERT_TRUE(pop.Login());
    EXPECT_EQ(pop.GetUIDL(1), "a");
    // The stray line is on its way; once it is in, it cannot pass for the answer to UIDL 2.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(pop.GetUIDL(2), "");
    EXPECT_EQ(errors, std::vector<int>{korp::kErrProtocol});
    EXPECT_FALSE(pop.IsConnected);
    s.Finish();
    EXPECT_EQ(s.Received(), (std::vector<std::string>{"USER jan", "PASS geheim", "UIDL 1"}));
}

TEST_F(ScriptedPop, AnErrToUserFailsTheLoginWithoutSendingThePassword) {
    ScriptedServer s(
        {S::Send("+OK\r\n"), S::Expect("USER jan"), S::Send("-ERR who?\r\n"), S::Pause(300)});
    Use(s);
    pop.Connect();
    EXPECT_FALSE(pop.Login());
    EXPECT_EQ(errors, std::vector<int>{korp::kErrLogin});
    EXPECT_FALSE(pop.IsConnected);
    EXPECT_FALSE(pop.LoggedIn);
    s.Finish();
    EXPECT_EQ(s.Received(), std::vector<std::string>{"USER jan"});
}

TEST_F(ScriptedPop, ErrRepliesRaiseTheirCodesAndCloseTheConnection) {
    struct Case {
        const char* command;
        int code;
    } cases[] = {{"UIDL 2", korp::kErrStatOrUidl},
                 {"TOP 2 0", korp::kErrRetrieve},
                 {"RETR 2", korp::kErrRetrieve}};
    for (const Case& c : cases) {
        errors.clear();
        std::string cmd = c.command;
        std::vector<S::Step> steps;
        if (cmd.rfind("UIDL", 0) == 0)
            steps = LoggedIn({S::Expect(cmd), S::Send("-ERR no\r\n"), S::Pause(200)});
        else
            steps = LoggedIn({S::Expect("LIST 2"), S::Send("+OK 2 120\r\n"), S::Expect(cmd),
                              S::Send("-ERR no\r\n"), S::Pause(200)});
        ScriptedServer s(steps);
        Use(s);
        pop.Connect();
        ASSERT_TRUE(pop.Login()) << c.command;
        if (cmd.rfind("UIDL", 0) == 0)
            EXPECT_EQ(pop.GetUIDL(2), "");
        else if (cmd.rfind("TOP", 0) == 0)
            EXPECT_EQ(pop.RetrieveHeader(2), nullptr);
        else
            EXPECT_EQ(pop.Retrieve(2), nullptr);
        EXPECT_EQ(errors, std::vector<int>{c.code}) << c.command;
        EXPECT_TRUE(pop.ErrorFlag);
        EXPECT_FALSE(pop.IsConnected) << c.command;
        s.Finish();
        EXPECT_EQ(s.Mismatch(), "");
        EXPECT_TRUE(SpoolFolderEmpty()) << c.command;
    }
}

TEST_F(ScriptedPop, ASilentServerEndsTheRetrieveAfterTheReceiveTimeout) {
    ScriptedServer s(LoggedIn({S::Expect("LIST 1"), S::Send("+OK 1 5000\r\n"), S::Expect("RETR 1"),
                               S::Send("+OK\r\nSubject: half\r\n\r\nbegin"), S::Pause(20000)}));
    Use(s);
    pop.Connect();
    ASSERT_TRUE(pop.Login());
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pop.Retrieve(1), nullptr);
    auto waited = std::chrono::steady_clock::now() - start;
    // The time-out, not the server's closing after its long pause, ended the wait.
    EXPECT_GE(waited, 390ms);
    EXPECT_LT(waited, 15s);
    EXPECT_EQ(errors, std::vector<int>{platform::kTransportTimedOut});
    EXPECT_FALSE(pop.IsConnected);
    EXPECT_TRUE(SpoolFolderEmpty());
}

TEST_F(ScriptedPop, AServerThatClosesMidRetrieveEndsItAtOnceAndTheClientIsReusable) {
    {
        ScriptedServer s(
            LoggedIn({S::Expect("LIST 1"), S::Send("+OK 1 5000\r\n"), S::Expect("RETR 1"),
                      S::Send("+OK\r\nSubject: half\r\n\r\nab"), S::Close()}));
        Use(s);
        // A time-out far longer than any machine's delay: ending "at once" means well before it.
        pop.ReceiveTimeout = 30s;
        pop.Connect();
        ASSERT_TRUE(pop.Login());
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(pop.Retrieve(1), nullptr);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_EQ(errors, std::vector<int>{platform::kTransportClosedByPeer});
        EXPECT_EQ(pop.LastError, "the server closed the connection");
        EXPECT_FALSE(pop.IsConnected);
        EXPECT_TRUE(SpoolFolderEmpty());
    }
    errors.clear();
    ScriptedServer again(
        LoggedIn({S::Expect("LIST 1"), S::Send("+OK 1 30\r\n"), S::Expect("RETR 1"),
                  S::Send("+OK\r\nSubject: heel\r\n\r\nab\r\n.\r\n"), S::Expect("QUIT"),
                  S::Send("+OK bye\r\n")}));
    Use(again);
    pop.Connect();
    ASSERT_TRUE(pop.Login());
    korp::TKorpMsg* msg = pop.Retrieve(1);
    ASSERT_NE(msg, nullptr) << pop.LastError;
    EXPECT_EQ(msg->Subject, "heel");
    pop.Quit();
    EXPECT_FALSE(pop.IsConnected);
    EXPECT_TRUE(errors.empty());
    again.Finish();
    EXPECT_EQ(again.Mismatch(), "");
}

TEST_F(ScriptedPop, AReplyLongerThanOneChunkIsReadToItsEnd) {
    std::string longText(1500, 'x');
    ScriptedServer s({S::Send("+OK " + longText + "\r\n"), S::Expect("USER jan"),
                      S::Send("+OK\r\n"), S::Expect("PASS geheim"), S::Send("+OK\r\n"),
                      S::Pause(100)});
    Use(s);
    pop.Connect();
    EXPECT_EQ(pop.ReplyText, longText);
    EXPECT_TRUE(pop.Login());
    s.Finish();
    EXPECT_EQ(s.Mismatch(), "");
}

TEST_F(ScriptedPop, AStatusLineInPiecesIsOneReply) {
    ScriptedServer s(
        LoggedIn({S::Expect("STAT"), S::Send("+OK 3"), S::Pause(50), S::Send(" 1234\r\n"),
                  S::Expect("LAST"), S::Send("+OK 1\r\n"), S::Pause(100)}));
    Use(s);
    pop.Connect();
    ASSERT_TRUE(pop.Login());
    pop.GetMailCount();
    EXPECT_EQ(pop.MailCount, 3);
    EXPECT_EQ(pop.NewMailCount, 2);
}

TEST_F(ScriptedPop, StartTlsRefusedByTheServerKeepsThePasswordHome) {
    ScriptedServer s({S::Send("+OK ready\r\n"), S::Expect("STLS"),
                      S::Send("-ERR TLS support isn't enabled.\r\n"), S::Pause(300)});
    Use(s);
    pop.StartTLS = true;
    pop.Connect();
    EXPECT_TRUE(pop.ErrorFlag);
    EXPECT_FALSE(pop.IsConnected);
    EXPECT_EQ(errors, std::vector<int>{platform::kTlsNotOffered});
    EXPECT_FALSE(pop.Login());
    s.Finish();
    EXPECT_EQ(s.Received(), std::vector<std::string>{"STLS"});
}

TEST_F(ScriptedPop, StartTlsRefusesDataSentAheadOfTheHandshake) {
    ScriptedServer s({S::Send("+OK ready\r\n"), S::Expect("STLS"),
                      S::Send("+OK Begin TLS\r\n+OK injected\r\n"), S::Pause(300)});
    Use(s);
    pop.StartTLS = true;
    pop.Connect();
    EXPECT_TRUE(pop.ErrorFlag);
    EXPECT_FALSE(pop.IsConnected);
    EXPECT_EQ(errors, std::vector<int>{platform::kTlsHandshakeFailed});
    EXPECT_EQ(pop.LastError, "the server sent data before the TLS handshake");
}

namespace {

// When the client let the application run, from the start of a wait to its end.
struct PumpLog {
    std::vector<std::chrono::steady_clock::time_point> at;
    // The longest the application went unserved between start and end.
    std::chrono::milliseconds LongestGap(std::chrono::steady_clock::time_point start,
                                         std::chrono::steady_clock::time_point end) const {
        std::chrono::steady_clock::duration longest{};
        auto previous = start;
        for (const auto& t : at) {
            if (t < start) continue;
            longest = std::max(longest, t - previous);
            previous = t;
        }
        longest = std::max(longest, end - previous);
        return std::chrono::duration_cast<std::chrono::milliseconds>(longest);
    }
};

} // namespace

// However the server holds back, the application is served every PumpInterval (50 ms) and the
// command's deadline, not each byte's time-out, ends the wait.
TEST_F(ScriptedPop, AStalledOrTricklingServerKeepsTheProgramAnsweringAndMeetsTheDeadline) {
    const struct {
        const char* name;
        std::vector<S::Step> script;
        bool retrieve; // RETR 1, else STAT
    } cases[] = {
        {"no bytes at all", LoggedIn({S::Expect("STAT"), S::Pause(20000)}), false},
        {"a status line one byte at a time",
         LoggedIn({S::Expect("STAT"), S::Trickle("+OK 3", 100)}), false},
        {"a message one byte at a time",
         LoggedIn({S::Expect("LIST 1"), S::Send("+OK 1 5000\r\n"), S::Expect("RETR 1"),
                   S::Send("+OK\r\nSubject: traag\r\n\r\n"), S::Trickle("tekst ", 100)}),
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        errors.clear();
        ScriptedServer s(c.script);
        Use(s);
        pop.CommandTimeout = 1s;
        pop.ReceiveTimeout = 30s; // a trickle never falls silent for long
        PumpLog pumps;
        pop.ProcessMessages = [&pumps] { pumps.at.push_back(std::chrono::steady_clock::now()); };
        pop.Connect();
        ASSERT_TRUE(pop.Login());
        const auto start = std::chrono::steady_clock::now();
        if (c.retrieve) {
            EXPECT_EQ(pop.Retrieve(1), nullptr);
        } else {
            pop.GetMailCount();
            EXPECT_TRUE(pop.ErrorFlag);
        }
        const auto end = std::chrono::steady_clock::now();
        EXPECT_EQ(errors, std::vector<int>{platform::kTransportTimedOut}) << pop.LastError;
        EXPECT_FALSE(pop.IsConnected);
        EXPECT_GE(end - start, 900ms);
        EXPECT_LT(end - start, 15s);
        // Slices of 50 ms; the bound leaves a loaded machine room, and is still a fraction of a
        // second.
        EXPECT_LT(pumps.LongestGap(start, end), 500ms);
        EXPECT_TRUE(SpoolFolderEmpty());
        pop.ProcessMessages = nullptr;
    }
}

TEST_F(ScriptedPop, ASlowButSteadyMessageOutlastsTheCommandTimeout) {
    // 3000 bytes over 1.5 s: slower than the command's second, faster than 512 bytes a second.
    std::vector<S::Step> body{S::Send("+OK\r\nSubject: langzaam\r\n\r\n")};
    for (int i = 0; i < 15; ++i) {
        body.push_back(S::Pause(100));
        body.push_back(S::Send(std::string(198, 'a') + "\r\n"));
    }
    body.push_back(S::Send(".\r\n"));
    std::vector<S::Step> script =
        LoggedIn({S::Expect("LIST 1"), S::Send("+OK 1 3000\r\n"), S::Expect("RETR 1")});
    script.insert(script.end(), body.begin(), body.end());
    script.push_back(S::Listen(500));
    ScriptedServer s(script);
    Use(s);
    pop.CommandTimeout = 1s;
    pop.Connect();
    ASSERT_TRUE(pop.Login());
    const auto start = std::chrono::steady_clock::now();
    korp::TKorpMsg* msg = pop.Retrieve(1);
    ASSERT_NE(msg, nullptr) << pop.LastError;
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(msg->Text.Count(), 15u);
    EXPECT_TRUE(errors.empty());
}

// Shutting down while the server keeps the client waiting: the abort from the event pump ends
// the wait at once, in the lookup, while connected, and in the middle of a reply.
TEST_F(ScriptedPop, AnAbortFromTheEventPumpEndsAnyWaitAtOnce) {
    enum class Stage { Lookup, Greeting, Reply };
    for (const Stage stage : {Stage::Lookup, Stage::Greeting, Stage::Reply}) {
        SCOPED_TRACE(static_cast<int>(stage));
        ScriptedServer s(stage == Stage::Reply ? LoggedIn({S::Expect("STAT"), S::Pause(20000)})
                                               : std::vector<S::Step>{S::Pause(20000)});
        Use(s);
        pop.CommandTimeout = 30s;
        pop.ReceiveTimeout = 30s;
        pop.LookupTimeout = 30s;
        pop.TransportFactory = [stage](const TKorpPOP&) {
            auto t = std::make_unique<platform::TcpTransport>();
            if (stage == Stage::Lookup)
                t->Resolve = [](const std::string&) {
                    std::this_thread::sleep_for(3s); // a resolver that does not answer soon
                    return std::vector<std::string>{"127.0.0.1"};
                };
            return t;
        };
        int pumps = 0;
        bool armed = stage != Stage::Reply;
        pop.ProcessMessages = [&] {
            if (armed && ++pumps == 3) pop.Abort();
        };
        auto start = std::chrono::steady_clock::now();
        pop.Connect();
        if (stage == Stage::Reply) {
            ASSERT_TRUE(pop.Login());
            armed = true;
            start = std::chrono::steady_clock::now();
            pop.GetMailCount();
        }
        EXPECT_TRUE(pop.ErrorFlag);
        EXPECT_FALSE(pop.IsConnected);
        EXPECT_EQ(pumps, 3);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        pop.ProcessMessages = nullptr;
        pop.TransportFactory = nullptr;
    }
}

namespace {

// Connects to the given port whatever port the client was told.
class ToPort final : public platform::TcpTransport {
public:
    explicit ToPort(std::uint16_t port) : port_(port) {}
    bool Open(const std::string& host, std::uint16_t) override {
        return TcpTransport::Open(host, port_);
    }

private:
    std::uint16_t port_;
};

} // namespace

TEST_F(ScriptedPop, AnAccessTokenSignsInWithAuthAndARefusalIsALoginError) {
    const std::string shortToken = "kort";
    const std::string longToken(400, 't'); // as real tokens are: past the AUTH line's 255 octets
    const auto response = [](korp::TSaslMechanism m, const std::string& token) {
        return korp::Base64Encode(korp::SaslInitialResponse(m, "jan", "127.0.0.1", "995", token));
    };
    const std::string challenge = korp::Base64Encode(R"({"status":"401","schemes":"bearer"})");
    using korp::TSaslMechanism;
    struct Case {
        const char* name;
        const char* mechanism;
        std::string token;
        std::function<std::vector<S::Step>()> script;
        bool loggedIn;
        const char* reason; // the start of LastError when refused
    };
    const Case cases[] = {
        {"a short token on the AUTH line", "XOAUTH2", shortToken,
         [&] {
             return std::vector<S::Step>{
                 S::Send("+OK ready\r\n"),
                 S::Expect("AUTH XOAUTH2 " + response(TSaslMechanism::XOAuth2, shortToken)),
                 S::Send("+OK signed in\r\n")};
         },
         true, ""},
        {"a long token on its own line after the empty challenge", "oauthbearer", longToken,
         [&] {
             return std::vector<S::Step>{
                 S::Send("+OK ready\r\n"), S::Expect("AUTH OAUTHBEARER"), S::Send("+ \r\n"),
                 S::Expect(response(TSaslMechanism::OAuthBearer, longToken)),
                 S::Send("+OK signed in\r\n")};
         },
         true, ""},
        {"a bare + as the empty challenge", "XOAUTH2", longToken,
         [&] {
             return std::vector<S::Step>{
                 S::Send("+OK ready\r\n"), S::Expect("AUTH XOAUTH2"), S::Send("+\r\n"),
                 S::Expect(response(TSaslMechanism::XOAuth2, longToken)), S::Send("+OK\r\n")};
         },
         true, ""},
        {"an XOAUTH2 error challenge answered with an empty line", "XOAUTH2", shortToken,
         [&] {
             return std::vector<S::Step>{S::Send("+OK ready\r\n"),
                                         S::Expect("AUTH XOAUTH2 "),
                                         S::Send("+ " + challenge + "\r\n"),
                                         S::Expect(""),
                                         S::Send("-ERR [AUTH] Authentication failed.\r\n"),
                                         S::Pause(200)};
         },
         false, "login refused: [AUTH] Authentication failed. ({\"status\":\"401\""},
        {"an OAUTHBEARER error challenge answered with ^A", "OAUTHBEARER", longToken,
         [&] {
             return std::vector<S::Step>{
                 S::Send("+OK ready\r\n"),
                 S::Expect("AUTH OAUTHBEARER"),
                 S::Send("+ \r\n"),
                 S::Expect(response(TSaslMechanism::OAuthBearer, longToken)),
                 S::Send("+ " + challenge + "\r\n"),
                 S::Expect("AQ=="),
                 S::Send("-ERR no\r\n"),
                 S::Pause(200)};
         },
         false, "login refused: no ({\"status\":\"401\""},
        {"a mechanism the server does not know", "XOAUTH2", longToken,
         [&] {
             return std::vector<S::Step>{S::Send("+OK ready\r\n"), S::Expect("AUTH XOAUTH2"),
                                         S::Send("-ERR Unsupported authentication mechanism\r\n"),
                                         S::Pause(200)};
         },
         false, "login refused: AUTH XOAUTH2 answered Unsupported authentication mechanism"},
        {"no token at all, so nothing is sent", "XOAUTH2", "",
         [&] {
             return std::vector<S::Step>{S::Send("+OK ready\r\n"), S::Pause(200)};
         },
         false, "login refused: there is no access token"},
        {"a mechanism brevon does not know", "PLAIN", shortToken,
         [&] {
             return std::vector<S::Step>{S::Send("+OK ready\r\n"), S::Pause(200)};
         },
         false, "login refused: no such sign-in mechanism: \"PLAIN\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        errors.clear();
        std::vector<std::string> sent;
        pop.OnSendTextToSocket = [&sent](TKorpPOP&, const std::string& line) {
            sent.push_back(line);
        };
        pop.SaslMechanism = c.mechanism;
        pop.AccessToken = c.token;
        ScriptedServer s(c.script());
        // OAUTHBEARER names the port the client was given: 995, wherever the server listens.
        pop.Host = "127.0.0.1";
        pop.Port = "995";
        pop.TransportFactory = [&s](const TKorpPOP&) -> std::unique_ptr<platform::Transport> {
            return std::make_unique<ToPort>(s.Port());
        };
        pop.Connect();
        ASSERT_FALSE(pop.ErrorFlag) << pop.LastError;
        EXPECT_EQ(pop.Login(), c.loggedIn);
        EXPECT_EQ(pop.LoggedIn, c.loggedIn);
        if (!c.loggedIn) {
            EXPECT_EQ(pop.LastError.rfind(c.reason, 0), 0u) << pop.LastError;
            EXPECT_EQ(errors, std::vector<int>{korp::kErrLogin});
            EXPECT_FALSE(pop.IsConnected);
        }
        for (const std::string& line : sent)
            EXPECT_EQ(line.find(korp::Base64Encode("Bearer")), std::string::npos) << line;
        EXPECT_EQ(pop.LastError.find("kort"), std::string::npos);
        pop.Quit();
        s.Finish();
        EXPECT_EQ(s.Mismatch(), "");
        // The error challenge is acknowledged exactly as each mechanism asks.
        if (std::string_view(c.name).find("error challenge") != std::string_view::npos) {
            ASSERT_FALSE(s.Received().empty());
            EXPECT_EQ(s.Received().back(),
                      korp::SaslErrorAcknowledgement(*korp::SaslMechanismFromName(c.mechanism)));
        }
    }
}
