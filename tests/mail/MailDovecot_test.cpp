// The mail side with the real POP3 client and the real preprocessor against a real Dovecot on
// loopback, with a small mailbox of Dutch mail.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <chrono>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <engines/Preprocessor.h>
#include <engines/EnginePreprocessor.h>
#include <mail/MessageList.h>
#include <mail/SpokenText.h>

#include "MailRig.h"
#include "PopTestServers.h"

namespace brevon {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sits between the client and Dovecot and answers one command line with "-ERR" itself, as a
// server that does not support it would; everything else passes through. One connection at a
// time; every wait is bounded.
class RefusingProxy {
public:
    RefusingProxy(std::uint16_t serverPort, std::string refused)
        : serverPort_(serverPort), refused_(std::move(refused)) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = Loopback(0);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 4);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~RefusingProxy() {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    std::uint16_t Port() const { return port_; }

private:
    static sockaddr_in Loopback(std::uint16_t port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        return a;
    }
    void Run() {
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a = Loopback(serverPort_);
            if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
                Relay(client, server);
            ::close(server);
            ::close(client);
        }
    }
    void Relay(int client, int server) {
        std::string commands;
        char buf[4096];
        while (!stop_) {
            pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(p, 2, 100) <= 0) continue;
            if (p[1].revents) {
                const ssize_t n = ::recv(server, buf, sizeof buf, 0);
                if (n <= 0 || ::send(client, buf, n, MSG_NOSIGNAL) != n) return;
            }
            if (p[0].revents) {
                const ssize_t n = ::recv(client, buf, sizeof buf, 0);
                if (n <= 0) return;
                commands.append(buf, n);
                std::size_t eol;
                while ((eol = commands.find("\r\n")) != std::string::npos) {
                    const std::string line = commands.substr(0, eol + 2);
                    commands.erase(0, eol + 2);
                    if (line == refused_ + "\r\n") {
                        const std::string no = "-ERR not supported here\r\n";
                        ::send(client, no.data(), no.size(), MSG_NOSIGNAL);
                    } else if (::send(server, line.data(), line.size(), MSG_NOSIGNAL) < 0) {
                        return;
                    }
                }
            }
        }
    }

    std::uint16_t serverPort_;
    std::string refused_;
    int listen_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

const char* const kMarieke =
    "From: \"Marieke de Vries\" <marieke@voorbeeld.nl>\n"
    "To: Jan Jansen <jan@voorbeeld.nl>\n"
    "Subject: Verjaardag zaterdag\n"
    "Date: Mon, 7 Dec 2026 09:12:00 +0100\n"
    "MIME-Version: 1.0\n"
    "Content-Type: text/plain; charset=iso-8859-1\n"
    "Content-Transfer-Encoding: quoted-printable\n\n"
    "Hoi Jan,\n\nZaterdag vier ik mijn verjaardag in het caf=E9 op de hoek, vanaf 20:00.\n"
    "Kom je ook?\n\nGroetjes,\nMarieke\n";
const char* const kJan =
    "From: Jan Bakker <jan.bakker@loodgieter.nl>\n"
    "To: jan@voorbeeld.nl\n"
    "Subject: Re: Re: Offerte dakgoot\n"
    "Date: Tue, 8 Dec 2026 14:03:00 +0100\n\n"
    "Beste heer Jansen,\n\nDe nieuwe dakgoot kost 450 euro, inclusief montage.\n\n"
    "Op 3 dec. 2026 schreef Jan Jansen:\n> Wat kost een nieuwe dakgoot?\n";
const char* const kShop = "From: Webwinkel <info@webwinkel.nl>\n"
                          "To: jan@voorbeeld.nl\n"
                          "Subject: =?UTF-8?Q?Bevestiging_van_uw_bestelling_=E2=82=AC_25?=\n"
                          "Date: Wed, 9 Dec 2026 08:00:00 +0100\n"
                          "Content-Type: text/html; charset=utf-8\n\n"
                          "<html><body><p>Bedankt voor uw bestelling.</p></body></html>\n";
const char* const kGrandma =
    "From: oma@voorbeeld.nl\nTo: jan@voorbeeld.nl\nDate: Wed, 9 Dec 2026 18:30:00 +0100\n\n"
    "Lieve Jan, bel je me morgen even?\n";
const char* const kEls =
    "From: Els Peeters <els@vereniging.be>\nTo: jan@voorbeeld.nl\nSubject: Vergadering\n"
    "Date: Thu, 10 Dec 2026 07:45:00 +0100\n\n"
    "Hoi Jan,\n\nDe vergadering is om 14:30 in zaal 3.\n\nEls\n";

class MailWithDovecot : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* raw : {kMarieke, kJan, kShop, kGrandma})
            server_.AddMessage(raw);
        ASSERT_TRUE(server_.Start()) << server_.Error();
        ASSERT_TRUE(engines::StartPreprocessor(ZQ_DATA_DIR));
        rig_.client.TransportFactory = nullptr; // the real socket
        rig_.settings.Host = "127.0.0.1:" + std::to_string(server_.Port());
        rig_.settings.User = poptest::DovecotServer::kUser;
        rig_.settings.Password = poptest::DovecotServer::kPassword;
        oldTmp_ = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
        ::setenv("TMPDIR", spool_.Path().c_str(), 1);
    }
    void TearDown() override {
        engines::StopPreprocessor();
        if (oldTmp_.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", oldTmp_.c_str(), 1);
        EXPECT_TRUE(std::filesystem::is_empty(spool_.Path())) << "a spool file stayed";
    }
    std::vector<std::string> NewlySaid(std::size_t& seen) {
        const std::vector<std::string> all = rig_.Said();
        std::vector<std::string> fresh(all.begin() + static_cast<long>(seen), all.end());
        seen = all.size();
        return fresh;
    }

    poptest::DovecotServer server_;
    engines::EnginePreprocessor engines_;
    fakes::MailRig rig_{&engines_};
    testsupport::TempDir spool_;
    std::string oldTmp_;
};

TEST_F(MailWithDovecot, AnnouncesNewMailReadsItAndTellsWhenAMessageIsGone) {
    std::size_t seen = 0;
    rig_.state.SayNoNewMail = true;
    rig_.CheckAndListen();
    ASSERT_EQ(rig_.window.status, "") << server_.Log();
    EXPECT_THAT(NewlySaid(seen),
                ElementsAre("Er zijn 4 nieuwe berichten\r1. Van oma. \\+Geen onderwerp",
                            "2. Van Webwinkel. Onderwerp: Bevestiging van uw bestelling \x80 25",
                            "3. Van Jan Bakker. Onderwerp: Offerte dakgoot",
                            "4. Van Marieke de Vries. Onderwerp: Verjaardag zaterdag"));
    EXPECT_EQ(rig_.state.KnownIds.size(), 4u);

    // Nothing new: silent, and no header is fetched again.
    rig_.CheckAndListen();
    EXPECT_THAT(NewlySaid(seen), ElementsAre());

    // One more arrives: announced alone, and read with the numbers written out.
    server_.AddMessage(kEls);
    rig_.CheckAndListen();
    EXPECT_THAT(NewlySaid(seen),
                ElementsAre("Er is een nieuw bericht\r1. Van Els Peeters. Onderwerp: Vergadering"));
    rig_.shell.StopHeaderTimer(); // later than ten seconds: with the header
    rig_.mail.PlayMessage();
    const std::string reading = rig_.LastSaid();
    EXPECT_EQ(reading.rfind("1. Van Els Peeters. Onderwerp: Vergadering\rHoi Jan,", 0), 0u)
        << reading;
    EXPECT_THAT(reading, HasSubstr("veertien uur dertig in zaal drie"));
    rig_.SpeakAll();
    NewlySaid(seen);

    // The quoted-printable message with its accent, through the preprocessor.
    rig_.state.CurrentIndex = 4;
    rig_.mail.PlayMessage();
    EXPECT_THAT(rig_.LastSaid(), HasSubstr("caf\xE9 op de hoek"));
    rig_.SpeakAll();

    // Deleted by another mail program after the check: said so, without a header.
    ASSERT_TRUE(server_.RemoveMessage(3)); // oma, at position 2 now
    rig_.state.CurrentIndex = 1;
    rig_.mail.PlayMessage();
    EXPECT_EQ(rig_.LastSaid(), std::string(kGoneSentence) + "\r\n");
    rig_.SpeakAll();
    EXPECT_TRUE(rig_.state.Online);
    EXPECT_EQ(rig_.client.OwnedMessageCount(), 0u);
}

TEST_F(MailWithDovecot, AServerThatRefusesUidlHalfWayLeavesTheListFilesAlone) {
    rig_.CheckAndListen();
    const std::filesystem::path idFile = rig_.dir.Path() / "jan.id";
    const std::filesystem::path headerFile = rig_.dir.Path() / "jan.he";
    const std::string ids = Read(idFile), lines = Read(headerFile);
    ASSERT_FALSE(ids.empty());

    server_.AddMessage(kEls);
    RefusingProxy proxy(server_.Port(), "UIDL 3");
    rig_.settings.Host = "127.0.0.1:" + std::to_string(proxy.Port());
    const std::size_t said = rig_.speech.said.size();
    rig_.mail.CheckMail();

    EXPECT_EQ(rig_.speech.said.size(), said + 1);
    EXPECT_EQ(rig_.LastSaid(), kCannotConnectSentence);
    EXPECT_FALSE(rig_.state.Online);
    EXPECT_EQ(Read(idFile), ids);
    EXPECT_EQ(Read(headerFile), lines);
    EXPECT_EQ(rig_.state.KnownIds.size(), 4u);
    EXPECT_EQ(rig_.state.MessageCount, 4);
}

// The server goes away and comes back on the same port: the mail timer's ticks (fired here by
// hand) keep trying, sooner than the interval, without the dialog, and the mail that came
// meanwhile is announced once the server answers.
TEST_F(MailWithDovecot, CheckingGoesOnByItselfAfterTheServerWasRestarted) {
    std::size_t seen = 0;
    rig_.CheckAndListen();
    ASSERT_EQ(NewlySaid(seen).size(), 4u) << server_.Log();

    server_.Stop();
    std::vector<int> delays;
    for (int tick = 0; tick < 3; ++tick) {
        rig_.CheckAndListen();
        delays.push_back(rig_.shell.mailTimerMinutes);
    }
    EXPECT_THAT(delays, ElementsAre(1, 2, 4));
    EXPECT_THAT(NewlySaid(seen), ElementsAre(kRetryLaterSentence));
    EXPECT_TRUE(rig_.state.Online);
    EXPECT_EQ(rig_.shell.optionsShown, 0);

    server_.AddMessage(kEls);
    ASSERT_TRUE(server_.Restart()) << server_.Error();
    rig_.CheckAndListen();
    EXPECT_THAT(NewlySaid(seen),
                ElementsAre("Er is een nieuw bericht\r1. Van Els Peeters. Onderwerp: Vergadering"));
    EXPECT_EQ(rig_.shell.mailTimerMinutes, rig_.shell.interval);
    EXPECT_EQ(rig_.state.KnownIds.size(), 5u);
    EXPECT_EQ(rig_.shell.optionsShown, 0);
}

TEST_F(MailWithDovecot, APasswordTheServerNoLongerTakesStillOpensTheDialogOnTheUserField) {
    rig_.CheckAndListen();
    ASSERT_EQ(rig_.state.KnownIds.size(), 4u) << server_.Log();
    const std::size_t said = rig_.speech.said.size();
    server_.SetPassword("een ander wachtwoord");
    ASSERT_TRUE(server_.Restart()) << server_.Error();
    rig_.CheckAndListen();
    EXPECT_EQ(rig_.speech.said.size(), said + 1);
    EXPECT_EQ(rig_.LastSaid(), kCannotLogInSentence);
    EXPECT_FALSE(rig_.state.Online);
    EXPECT_FALSE(rig_.shell.mailTimer);
    EXPECT_EQ(rig_.shell.optionsShown, 1);
    ASSERT_FALSE(rig_.log.empty());
    EXPECT_EQ(rig_.log.back(), "Focus user");
}

// The same server over TLS: a certificate authority of the test's own, trusted by the client.
class SecureMailWithDovecot : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pki_.Ok());
        ASSERT_TRUE(pki_.MakeServerCert("good", "DNS:localhost,IP:127.0.0.1", 2));
        for (const char* raw : {kMarieke, kJan})
            server_.AddMessage(raw);
        ASSERT_TRUE(server_.Start(pki_.CertFile("good"), pki_.KeyFile("good"))) << server_.Error();
    }
    // A rig aimed at this server with that security, trusting the test's authority.
    void Aim(fakes::MailRig& rig, ConnectionSecurity security, std::uint16_t port) {
        rig.client.TransportFactory = nullptr;
        rig.client.CAFile = pki_.CaFile();
        rig.client.OnError = [this](korp::TKorpPOP&, int code, const std::string& reason) {
            trace_.push_back(std::to_string(code) + ": " + reason);
        };
        rig.settings.Host = "localhost";
        rig.settings.Security = security;
        rig.settings.Port = port;
        rig.settings.User = poptest::DovecotServer::kUser;
        rig.settings.Password = poptest::DovecotServer::kPassword;
    }

    testsupport::TempDir work_;
    poptest::TestPki pki_{work_.Path() / "pki"};
    poptest::DovecotServer server_;
    std::vector<std::string> trace_; // what the program's trace would show of the client
};

TEST_F(SecureMailWithDovecot, EachSecurityChoiceAnnouncesTheMail) {
    const struct {
        ConnectionSecurity security;
        bool tlsPort;
    } cases[] = {
        {ConnectionSecurity::Tls, true},
        {ConnectionSecurity::StartTls, false},
        // The server offers STARTTLS, but without it brevon connects as it always did.
        {ConnectionSecurity::None, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(SecurityText(c.security)));
        fakes::MailRig rig;
        Aim(rig, c.security, c.tlsPort ? server_.TlsPort() : server_.Port());
        rig.CheckAndListen();
        EXPECT_THAT(rig.Said(),
                    ElementsAre("Er zijn 2 nieuwe berichten\r1. Van Jan Bakker. Onderwerp: "
                                "Offerte dakgoot",
                                "2. Van Marieke de Vries. Onderwerp: Verjaardag zaterdag"))
            << server_.Log();
        EXPECT_TRUE(trace_.empty()) << trace_.front();
    }
}

TEST_F(SecureMailWithDovecot, ACertificateThatFailsIsSaidInPlainDutchWithItsReasonTraced) {
    poptest::TestPki otherAuthority(work_.Path() / "other");
    ASSERT_TRUE(otherAuthority.Ok());
    ASSERT_TRUE(pki_.MakeServerCert("expired", "DNS:localhost,IP:127.0.0.1", -1));
    ASSERT_TRUE(pki_.MakeServerCert("elsewhere", "DNS:mail.example.org", 2));
    poptest::DovecotServer expired, elsewhere;
    ASSERT_TRUE(expired.Start(pki_.CertFile("expired"), pki_.KeyFile("expired")));
    ASSERT_TRUE(elsewhere.Start(pki_.CertFile("elsewhere"), pki_.KeyFile("elsewhere")));
    const struct {
        const char* name;
        std::uint16_t port;
        std::string caFile;
        const char* reason;
    } cases[] = {
        {"expired", expired.TlsPort(), pki_.CaFile(), "has expired"},
        {"for another name", elsewhere.TlsPort(), pki_.CaFile(), "is not for localhost"},
        {"from another authority", server_.TlsPort(), otherAuthority.CaFile(),
         "comes from an unknown issuer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        trace_.clear();
        fakes::MailRig rig;
        Aim(rig, ConnectionSecurity::Tls, c.port);
        rig.client.CAFile = c.caFile;
        rig.mail.CheckMail();
        EXPECT_THAT(rig.Said(), ElementsAre(kUntrustedCertificateSentence));
        EXPECT_FALSE(rig.state.Online);
        EXPECT_EQ(rig.shell.optionsShown, 1);
        ASSERT_EQ(trace_.size(), 1u);
        EXPECT_THAT(trace_.front(), HasSubstr(c.reason));
        EXPECT_TRUE(rig.state.KnownIds.empty());
    }
}

TEST_F(SecureMailWithDovecot, AServerThatStallsInTheHandshakeEndsWithinTheTimeOut) {
    // Takes the connection and says nothing, as a stuck server would.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(silent, 1), 0);
    socklen_t len = sizeof a;
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&a), &len);

    fakes::MailRig rig;
    Aim(rig, ConnectionSecurity::Tls, ntohs(a.sin_port));
    rig.settings.Host = "127.0.0.1";
    rig.client.ConnectTimeout = std::chrono::milliseconds(300);
    rig.client.ReceiveTimeout = std::chrono::milliseconds(300);
    const auto start = std::chrono::steady_clock::now();
    rig.mail.CheckMail();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(rig.client.IsConnected);
    // Nothing came back at all: a server that does not answer, which no setting mends, so
    // checking goes on without the dialog.
    EXPECT_TRUE(rig.state.Online);
    EXPECT_EQ(rig.shell.optionsShown, 0);
    EXPECT_THAT(rig.Said(), ElementsAre(kServerSilentSentence));
    ASSERT_EQ(trace_.size(), 1u);
    EXPECT_THAT(trace_.front(), HasSubstr("10060: "));
    ::close(silent);
}

} // namespace
} // namespace brevon
