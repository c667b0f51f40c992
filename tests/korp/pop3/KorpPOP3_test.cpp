#include <korp/KorpPOP3.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <korp/KorpMsg.h>
#include <platform/Transport.h>

#include "FakePop3Server.h"
#include "FakeTransport.h"

using korp::TKorpPOP;
using poptest::FakeTransport;

namespace {

// A client wired to a fake transport, recording what it fires.
struct Harness {
    FakeTransport::Shared server;
    TKorpPOP pop;
    std::vector<int> errors;
    std::vector<unsigned> progress;
    Harness() {
        pop.Host = "127.0.0.1";
        pop.TransportFactory = [this](const TKorpPOP&) {
            return std::make_unique<FakeTransport>(server);
        };
        pop.OnError = [this](TKorpPOP&, int code, const std::string&) { errors.push_back(code); };
        pop.OnRetrieveProgress = [this](TKorpPOP&, std::uint16_t p) { progress.push_back(p); };
    }
    void Reply(std::initializer_list<const char*> chunks) {
        for (const char* c : chunks)
            server.chunks.emplace_back(c);
    }
    std::vector<std::string> Commands() const {
        std::vector<std::string> out;
        for (const std::string& s : server.sent)
            out.push_back(s.substr(0, s.size() - 2));
        return out;
    }
};

} // namespace

TEST(KorpPOPHelpers, ReplyWordReadsTheKthDecimalWord) {
    struct Case {
        const char* text;
        int k;
        int expected;
    } cases[] = {
        {"3 1234", 1, 3},    {"3 1234", 2, 1234}, {"  3   1234  ", 2, 1234},
        {"3", 2, 100},       {"", 1, 100},        {"no such message", 2, 100},
        {"12abc 4", 1, 100}, {"-5 x", 1, -5},     {"99999999999 1", 1, 100},
        {"1 +7", 2, 7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TKorpPOP::ReplyWord(c.text, c.k, 100), c.expected) << c.text << " k=" << c.k;
}

TEST(KorpPOPHelpers, ReplyNumberReadsA32BitCountAndNothingElse) {
    struct Case {
        const char* text;
        int k;
        std::optional<std::uint32_t> expected;
    } cases[] = {
        {"70000 1234", 1, 70000u},
        {"70000 1234", 2, 1234u},
        {"+7", 1, 7u},
        {"0", 1, 0u},
        {"4294967295", 1, 4294967295u},
        // Never wrapped round: beyond 32 bits, negative or no number at all is nothing.
        {"4294967296", 1, std::nullopt},
        {"99999999999999999999", 1, std::nullopt},
        {"-1", 1, std::nullopt},
        {"12abc", 1, std::nullopt},
        {"", 1, std::nullopt},
        {"3", 2, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TKorpPOP::ReplyNumber(c.text, c.k), c.expected) << c.text << " k=" << c.k;
}

TEST(KorpPOPHelpers, IsIPAddressWantsFourNumbersUpTo255) {
    struct Case {
        const char* text;
        bool expected;
    } cases[] = {
        {"127.0.0.1", true},   {"0.0.0.0", true},     {"255.255.255.255", true},
        {"10.0.0.256", false}, {"10.0.0", false},     {"10.0.0.1.", false},
        {"1.2.3.4.5", false},  {"a.b.c.d", false},    {"", false},
        {"1..2.3", false},     {"1234.1.1.1", false}, {"mail.example.org", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TKorpPOP::IsIPAddress(c.text), c.expected) << c.text;
}

TEST(KorpPOPHelpers, PortTextThatIsNoPortNumberMeans110) {
    struct Case {
        const char* text;
        unsigned expected;
    } cases[] = {{"110", 110}, {"995", 995}, {" 995 ", 995}, {"abc", 110},
                 {"", 110},    {"0", 110},   {"70000", 110}, {"99x", 110}};
    for (const Case& c : cases)
        EXPECT_EQ(TKorpPOP::PortNumber(c.text), c.expected) << c.text;
}

TEST(KorpPOP, ConnectsToPort110WhenThePortIsNotANumberAndResolvesAnInvalidAddress) {
    Harness h;
    h.pop.Port = "abc";
    h.pop.Host = "10.0.0.256";
    h.Reply({"+OK ready\r\n"});
    h.pop.Connect();
    EXPECT_EQ(h.server.port, 110);
    EXPECT_EQ(h.server.host, "10.0.0.256");
    EXPECT_FALSE(h.pop.ErrorFlag);
    EXPECT_TRUE(h.pop.IsConnected);
}

TEST(KorpPOP, CountsNewMailFromStatAndLast) {
    struct Case {
        const char* stat;
        const char* last;
        std::uint32_t count;
        std::uint32_t newCount;
    } cases[] = {
        {"+OK 3 1234\r\n", "+OK 1\r\n", 3, 2},
        {"+OK 3 1234\r\n", "-ERR unknown command\r\n", 3, 0},
        {"+OK 3 1234\r\n", "+OK\r\n", 3, 3},
        {"+OK 70000 0\r\n", "+OK 65536\r\n", 70000, 4464},
        {"+OK 4294967295 0\r\n", "+OK 0\r\n", 4294967295u, 4294967295u},
        // A LAST that no message number accessed can be: nothing counts as new.
        {"+OK 3 0\r\n", "+OK 4\r\n", 3, 0},
        {"+OK 3 0\r\n", "+OK -1\r\n", 3, 0},
        {"+OK 3 0\r\n", "+OK 4294967299\r\n", 3, 0},
        {"+OK 3 0\r\n", "+OK abc\r\n", 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stat) + c.last);
        Harness h;
        h.Reply({"+OK\r\n", c.stat, c.last});
        h.pop.Connect();
        h.pop.GetMailCount();
        EXPECT_EQ(h.pop.MailCount, c.count);
        EXPECT_EQ(h.pop.NewMailCount, c.newCount);
        EXPECT_FALSE(h.pop.ErrorFlag);
        EXPECT_TRUE(h.errors.empty());
        EXPECT_EQ(h.Commands(), (std::vector<std::string>{"STAT", "LAST"}));
    }
}

TEST(KorpPOP, AStatReplyWithoutACountIn32BitsIsAFailedStat) {
    // Read as 0 it would empty the mailbox, wrapped round it would shrink it.
    for (const char* stat : {"+OK 4294967296 0\r\n", "+OK 99999999999999999999 0\r\n",
                             "+OK -1 0\r\n", "+OK abc 0\r\n", "+OK\r\n"}) {
        SCOPED_TRACE(stat);
        Harness h;
        h.Reply({"+OK\r\n", stat, "+OK 0\r\n"});
        h.pop.Connect();
        h.pop.GetMailCount();
        EXPECT_TRUE(h.pop.ErrorFlag);
        EXPECT_EQ(h.errors, std::vector<int>{korp::kErrStatOrUidl});
        EXPECT_EQ(h.pop.LastError.rfind("STAT answered no message count", 0), 0u)
            << h.pop.LastError;
        EXPECT_EQ(h.pop.MailCount, 0u);
        EXPECT_FALSE(h.pop.IsConnected);
        EXPECT_EQ(h.Commands(), std::vector<std::string>{"STAT"});
    }
}

TEST(KorpPOP, ReadsAMailboxOfMoreThan65535Messages) {
    // Made on the fly: message n has the id "u<n>" and the subject "Bericht <n>".
    brevon::fakes::FakeMailbox box;
    box.generatedCount = 70000;
    box.generate = [](std::uint32_t n) {
        const std::string number = std::to_string(n);
        return brevon::fakes::FakeMailbox::Message{
            "u" + number, "From: a@voorbeeld.nl\nSubject: Bericht " + number + "\n\nTekst\n"};
    };
    TKorpPOP pop;
    brevon::fakes::ServeFrom(pop, box);
    pop.Host = "127.0.0.1";
    pop.UserId = box.user;
    pop.UserPasswd = box.password;
    std::vector<std::uint32_t> retrieving;
    pop.OnBeforeRetrieve = [&](TKorpPOP&, std::uint32_t n) { retrieving.push_back(n); };
    pop.Connect();
    ASSERT_TRUE(pop.Login());
    pop.GetMailCount();
    EXPECT_EQ(pop.MailCount, 70000u);

    for (std::uint32_t n : {1u, 65535u, 65536u, 65537u, 70000u})
        EXPECT_EQ(pop.GetUIDL(n), "u" + std::to_string(n));
    for (std::uint32_t n : {65536u, 70000u}) {
        korp::TKorpMsg* header = pop.RetrieveHeader(n);
        ASSERT_NE(header, nullptr) << n << ": " << pop.LastError;
        EXPECT_EQ(header->Subject, "Bericht " + std::to_string(n));
        korp::TKorpMsg* whole = pop.Retrieve(n);
        ASSERT_NE(whole, nullptr) << n << ": " << pop.LastError;
        ASSERT_EQ(whole->Text.Count(), 1u);
        EXPECT_EQ(whole->Text[0], "Tekst");
    }
    EXPECT_EQ(retrieving, (std::vector<std::uint32_t>{65536, 65536, 70000, 70000}));

    std::vector<std::string> ids;
    ASSERT_TRUE(pop.GetUIDLs(ids));
    ASSERT_EQ(ids.size(), 70000u);
    EXPECT_EQ(ids[65535], "u65536");
    EXPECT_EQ(ids.back(), "u70000");
    EXPECT_FALSE(pop.ErrorFlag);
    EXPECT_EQ(box.lastSession.back(), "UIDL");
    EXPECT_EQ(box.Count("TOP 70000 0"), 1);
}

TEST(KorpPOP, ACountTheServerOnlyClaimsCostsNoMoreThanItsListing) {
    {
        // Four thousand million messages claimed, two listed: two entries, at once.
        Harness h;
        h.Reply(
            {"+OK\r\n", "+OK 4000000000 0\r\n", "-ERR\r\n", "+OK\r\n1 a\r\n3999999999 z\r\n.\r\n"});
        h.pop.Connect();
        h.pop.GetMailCount();
        std::vector<std::string> ids;
        ASSERT_TRUE(h.pop.GetUIDLs(ids));
        EXPECT_EQ(ids, (std::vector<std::string>{"a", ""}));
    }
    {
        // And a listing that never ends is given up at a fixed size, not at one the claimed
        // count allows.
        Harness h;
        h.Reply({"+OK\r\n", "+OK 4000000000 0\r\n", "-ERR\r\n", "+OK\r\n"});
        std::string lines;
        while (lines.size() < 1000)
            lines += "1 x\r\n";
        for (int i = 0; i < 20 * 1024; ++i)
            h.server.chunks.push_back(lines);
        h.pop.Connect();
        h.pop.GetMailCount();
        std::vector<std::string> ids;
        EXPECT_FALSE(h.pop.GetUIDLs(ids));
        EXPECT_TRUE(h.pop.ErrorFlag);
        EXPECT_EQ(h.errors, std::vector<int>{korp::kErrStatOrUidl});
        EXPECT_EQ(h.pop.LastError, "the id listing goes on beyond 16777216 bytes");
        EXPECT_FALSE(h.pop.IsConnected);
        EXPECT_FALSE(h.server.chunks.empty());
    }
}

TEST(KorpPOP, FindsATerminatorSplitOverTwoChunks) {
    // Every way of cutting "\r\n.\r\n" between two receives.
    for (int cut = 1; cut < 5; ++cut) {
        std::string tail = "\r\n.\r\n";
        Harness h;
        h.Reply({"+OK\r\n", "+OK 1 40\r\n", "+OK 40 octets\r\n"});
        h.server.chunks.push_back("Subject: hoi\r\n\r\nregel" + tail.substr(0, cut));
        h.server.chunks.push_back(tail.substr(cut));
        h.pop.Connect();
        korp::TKorpMsg* msg = h.pop.Retrieve(1);
        ASSERT_NE(msg, nullptr) << "cut " << cut << ": " << h.pop.LastError;
        EXPECT_EQ(msg->Subject, "hoi");
        ASSERT_EQ(msg->Text.Count(), 1u);
        EXPECT_EQ(msg->Text[0], "regel");
        EXPECT_TRUE(h.server.chunks.empty());
        EXPECT_EQ(h.Commands(), (std::vector<std::string>{"LIST 1", "RETR 1"}));
    }
}

TEST(KorpPOP, UndoesDotStuffing) {
    Harness h;
    h.Reply(
        {"+OK\r\n", "+OK 1 50\r\n", "+OK\r\nSubject: x\r\n\r\n..\r\n..x\r\n.. y\r\nz.\r\n.\r\n"});
    h.pop.Connect();
    korp::TKorpMsg* msg = h.pop.Retrieve(1);
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(msg->Text.Lines(), (std::vector<std::string>{".", ".x", ". y", "z."}));
}

TEST(KorpPOP, ReportsProgressInStepsRoundedHalfToEvenAndEndsAt100) {
    Harness h;
    h.pop.RetrieveProgressStep = 25;
    // LIST says 200 bytes; the status chunk is 5 bytes, then 45, 50, 10, 2 => 25%, 50%, 55%, 56%
    h.Reply({"+OK\r\n", "+OK 1 200\r\n", "+OK\r\n"});
    h.server.chunks.push_back("Subject: p\r\n\r\n" + std::string(29, 'a') + "\r\n");
    h.server.chunks.push_back(std::string(48, 'b') + "\r\n");
    h.server.chunks.push_back(std::string(5, 'c') + "\r\n.\r\n");
    h.pop.Connect();
    ASSERT_NE(h.pop.Retrieve(1), nullptr);
    // 50 bytes -> 25 (fires, next 50); 100 -> 50 (fires, next 75); 110 -> 55; then 100 at the end
    EXPECT_EQ(h.progress, (std::vector<unsigned>{25, 50, 100}));
    EXPECT_EQ(h.pop.LastPercent(), 55);
}

TEST(KorpPOP, ReportsEveryStepWhenTheMessageComesInOneLargeReceive) {
    // 20,000 bytes after the status chunk in one piece: each step is still reported, near its
    // own percentage, not once for the whole piece.
    Harness h;
    h.Reply({"+OK\r\n", "+OK 1 20000\r\n", "+OK\r\n"});
    std::string body = "Subject: groot\r\n\r\n";
    while (body.size() < 20000 - 5)
        body += std::string(98, 'x') + "\r\n";
    body.resize(20000 - 5);
    h.server.chunks.push_back(body + "\r\n.\r\n");
    h.pop.Connect();
    ASSERT_NE(h.pop.Retrieve(1), nullptr);
    ASSERT_EQ(h.progress.size(), 10u);
    for (std::size_t i = 0; i < h.progress.size(); ++i)
        EXPECT_NEAR(h.progress[i], 10 * (i + 1), 5) << i;
}

TEST(KorpPOP, RoundsAnExactHalfToEven) {
    // The 5-byte status line and "ab" make 7 bytes, then the terminator 12.
    struct Case {
        const char* list;
        std::vector<unsigned> progress;
    } cases[] = {
        {"+OK 1 280\r\n", {2, 4, 100}}, // 2.5 -> 2, 4.29 -> 4
        {"+OK 1 200\r\n", {4, 6, 100}}, // 3.5 -> 4, 6
    };
    for (const Case& c : cases) {
        Harness h;
        h.pop.RetrieveProgressStep = 1;
        h.Reply({"+OK\r\n", c.list, "+OK\r\n", "ab", "\r\n.\r\n"});
        h.pop.Connect();
        ASSERT_NE(h.pop.Retrieve(1), nullptr);
        EXPECT_EQ(h.progress, c.progress) << c.list;
    }
}

TEST(KorpPOP, ListWithoutASizeGives100AndTheRetrieveGoesOn) {
    Harness h;
    h.Reply({"+OK\r\n", "-ERR no such message\r\n", "+OK\r\nSubject: s\r\n\r\n.\r\n"});
    h.pop.Connect();
    korp::TKorpMsg* msg = h.pop.Retrieve(1);
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(msg->Size, 100);
    EXPECT_TRUE(h.errors.empty());
}

TEST(KorpPOP, LetsWindowMessagesRunBeforeEverySendAndReceive) {
    Harness h;
    int pumps = 0;
    h.pop.ProcessMessages = [&] { ++pumps; };
    h.Reply({"+OK\r\n", "+OK\r\n", "+OK\r\n"});
    h.pop.Connect();            // receive
    EXPECT_TRUE(h.pop.Login()); // 2 sends, 2 receives
    EXPECT_EQ(pumps, 5);
}

TEST(KorpPOP, RefusesACallMadeWhileAnotherOperationWaits) {
    Harness h;
    std::string inner;
    h.pop.ProcessMessages = [&] {
        if (inner.empty()) inner = h.pop.GetUIDL(1).empty() ? h.pop.LastError : "ran";
    };
    h.Reply({"+OK\r\n"});
    h.pop.Connect();
    EXPECT_EQ(inner, "GetUIDL refused: another POP3 operation is in progress");
    EXPECT_TRUE(h.pop.IsConnected);
}

TEST(KorpPOP, FailsLoginAndRetrieveWhenNotConnected) {
    Harness h;
    EXPECT_FALSE(h.pop.Login());
    EXPECT_EQ(h.pop.LastError, "Invalid Op. Not connected.");
    EXPECT_EQ(h.pop.Retrieve(1), nullptr);
    EXPECT_EQ(h.pop.LastError, "Not connected.");
    EXPECT_TRUE(h.pop.ErrorFlag);
    EXPECT_EQ(h.errors, std::vector<int>{platform::kTransportNotConnected});
    EXPECT_TRUE(h.server.sent.empty());
}

TEST(KorpPOP, GetUIDLKeepsTheIdAfterTheMessageNumber) {
    Harness h;
    h.Reply({"+OK\r\n", "+OK 3 abc\r\n", "-ERR no such message\r\n"});
    h.pop.Connect();
    EXPECT_EQ(h.pop.GetUIDL(3), "abc");
    EXPECT_EQ(h.pop.GetUIDL(9), "");
    EXPECT_EQ(h.errors, std::vector<int>{korp::kErrStatOrUidl});
    EXPECT_FALSE(h.pop.IsConnected);
    // Nothing comes back over the closed connection: a failure, never an empty success.
    EXPECT_EQ(h.pop.GetUIDL(1), "");
    EXPECT_TRUE(h.pop.ErrorFlag);
    EXPECT_EQ(h.pop.LastErrorCode, platform::kTransportNotConnected);
    EXPECT_EQ(h.errors, (std::vector<int>{korp::kErrStatOrUidl, platform::kTransportNotConnected}));
}

TEST(KorpPOP, AbortFromTheEventPumpFailsTheWaitingOperation) {
    Harness h;
    h.Reply({"+OK\r\n", "+OK 1 abc\r\n"});
    h.pop.Connect();
    h.pop.ProcessMessages = [&h] { h.pop.Abort(); };
    EXPECT_EQ(h.pop.GetUIDL(1), "");
    EXPECT_TRUE(h.pop.ErrorFlag);
    EXPECT_FALSE(h.pop.IsConnected);
    EXPECT_EQ(h.pop.Retrieve(1), nullptr);
    EXPECT_TRUE(h.pop.ErrorFlag);
}

TEST(KorpPOP, AMessageThatCannotBeParsedWholeComesBackAsFarAsItWasParsed) {
    Harness h;
    // A uuencoded block with a character outside the alphabet ends parsing there.
    h.Reply({"+OK\r\n", "+OK 1 99\r\n",
             "+OK\r\nFrom: Jan <jan@example.org>\r\nSubject: Foto\r\n\r\nKijk maar.\r\n"
             "begin 644 foto.jpg\r\n#0V%T\r\nM~~~~\r\nend\r\nNa de foto.\r\n.\r\n"});
    h.pop.Connect();
    korp::TKorpMsg* msg = h.pop.Retrieve(1);
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(msg->From, "Jan <jan@example.org>");
    EXPECT_EQ(msg->Subject, "Foto");
    EXPECT_EQ(msg->ParseError, "Oops...");
    EXPECT_FALSE(h.pop.ErrorFlag);
    EXPECT_TRUE(h.errors.empty());
}

TEST(KorpPOP, MessagesBelongToTheClientUntilReleased) {
    Harness h;
    h.Reply({"+OK\r\n", "+OK 1 9\r\n", "+OK\r\nA: b\r\n\r\n.\r\n", "+OK 1 9\r\n",
             "+OK\r\nA: b\r\n\r\n.\r\n"});
    h.pop.Connect();
    korp::TKorpMsg* a = h.pop.RetrieveHeader(1);
    korp::TKorpMsg* b = h.pop.RetrieveHeader(1);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(h.pop.OwnedMessageCount(), 2u);
    h.pop.FreeMessage(a);
    std::unique_ptr<korp::TKorpMsg> mine = h.pop.ReleaseMessage(b);
    EXPECT_EQ(mine.get(), b);
    EXPECT_EQ(h.pop.OwnedMessageCount(), 0u);
    EXPECT_EQ(h.Commands(), (std::vector<std::string>{"LIST 1", "TOP 1 0", "LIST 1", "TOP 1 0"}));
}

TEST(KorpPOP, AMessageBeyondTheCapOrFarBeyondItsSizeIsNotReadWhole) {
    const std::string big(3000, 'x');
    const struct {
        const char* name;
        const char* list;
        bool headersOnly;
        std::size_t bodyChunks; // of 3000 bytes each, never terminated
        bool sent;              // RETR or TOP went out
        bool stillConnected;
    } cases[] = {
        {"LIST states more than the cap: not asked for", "+OK 1 5000\r\n", false, 0, false, true},
        {"no size stated, it grows beyond the cap", "-ERR\r\n", false, 3, true, false},
        {"far beyond its stated size", "+OK 1 10\r\n", false, 3, true, false},
        {"headers far beyond the stated size", "+OK 1 10\r\n", true, 3, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.pop.MaxMessageSize = 4000;
        h.Reply({"+OK\r\n", c.list});
        if (c.sent) h.Reply({"+OK\r\n"});
        for (std::size_t i = 0; i < c.bodyChunks; ++i)
            h.server.chunks.push_back(big);
        h.Reply({"+OK 1 abc\r\n"}); // what a UIDL after it would get
        h.pop.Connect();
        EXPECT_EQ(c.headersOnly ? h.pop.RetrieveHeader(1) : h.pop.Retrieve(1), nullptr);
        EXPECT_TRUE(h.pop.ErrorFlag);
        EXPECT_EQ(h.pop.LastErrorCode, korp::kErrTooLarge);
        EXPECT_EQ(h.errors, std::vector<int>{korp::kErrTooLarge});
        EXPECT_EQ(h.pop.IsConnected, c.stillConnected);
        const std::vector<std::string> commands = h.Commands();
        EXPECT_EQ(commands.size(), c.sent ? 2u : 1u);
        if (c.stillConnected) {
            EXPECT_EQ(h.pop.GetUIDL(1), "abc");
        }
    }
}

TEST(KorpPOP, ListsAllIdsInOneReplyAndKeepsTheConnectionWhenRefused) {
    Harness h;
    h.Reply({"+OK\r\n", "+OK 3 0\r\n", "-ERR\r\n",
             "+OK unique-id listing follows\r\n1 aaa\r\n2 ..b\r\n3 c", "cc\r\n.", "\r\n",
             "-ERR no listing today\r\n", "+OK 2 bbb\r\n"});
    h.pop.Connect();
    h.pop.GetMailCount();
    std::vector<std::string> ids;
    ASSERT_TRUE(h.pop.GetUIDLs(ids));
    EXPECT_EQ(ids, (std::vector<std::string>{"aaa", "..b", "ccc"}));
    EXPECT_FALSE(h.pop.GetUIDLs(ids));
    EXPECT_FALSE(h.pop.ErrorFlag);
    EXPECT_TRUE(h.pop.IsConnected);
    EXPECT_EQ(h.pop.GetUIDL(2), "bbb");
    EXPECT_TRUE(h.errors.empty());
}

// A reply is read as the answer to its command only when it is one: anything else means the
// conversation is out of step, so the connection goes and nothing of the reply is used.
TEST(KorpPOP, AReplyThatDoesNotAnswerItsCommandBreaksTheSession) {
    const auto uidl2 = [](TKorpPOP& pop) { EXPECT_EQ(pop.GetUIDL(2), ""); };
    const auto listing = [](TKorpPOP& pop) {
        std::vector<std::string> ids;
        EXPECT_FALSE(pop.GetUIDLs(ids));
        EXPECT_TRUE(ids.empty());
    };
    const auto header2 = [](TKorpPOP& pop) { EXPECT_EQ(pop.RetrieveHeader(2), nullptr); };
    const struct {
        const char* name;
        std::vector<const char*> replies; // the chunks received after the greeting
        std::function<void(TKorpPOP&)> ask;
        std::vector<std::string> sent;
        int code = korp::kErrProtocol;
        const char* afterGreeting = ""; // in the greeting's chunk
    } cases[] = {
        {"the id of another message", {"+OK 3 u3\r\n"}, uidl2, {"UIDL 2"}},
        {"an id in two words", {"+OK 2 u 2\r\n"}, uidl2, {"UIDL 2"}},
        {"no id", {"+OK 2\r\n"}, uidl2, {"UIDL 2"}},
        {"a status line of noise", {"~#kx qqq\r\n"}, uidl2, {"UIDL 2"}},
        {"a status word run on", {"+OKAY 2 u2\r\n"}, uidl2, {"UIDL 2"}},
        {"the size of another message", {"+OK 3 120\r\n"}, header2, {"LIST 2"}},
        {"a size that is no number", {"+OK 2 groot\r\n"}, header2, {"LIST 2"}},
        {"a drop listing without a size",
         {"+OK 3\r\n"},
         [](TKorpPOP& pop) { pop.GetMailCount(); },
         {"STAT"},
         korp::kErrStatOrUidl},
        {"a line of noise in the id listing", {"+OK\r\n1 a\r\nrommel\r\n.\r\n"}, listing, {"UIDL"}},
        {"a number beyond the count in the listing",
         {"+OK\r\n1 a\r\n4 d\r\n.\r\n"},
         listing,
         {"UIDL"}},
        {"numbers not rising in the listing", {"+OK\r\n2 b\r\n1 a\r\n.\r\n"}, listing, {"UIDL"}},
        {"an empty id in the listing", {"+OK\r\n1 \r\n.\r\n"}, listing, {"UIDL"}},
        {"an extra line after the id listing",
         {"+OK\r\n1 a\r\n.\r\n+OK 2 b\r\n"},
         [uidl2](TKorpPOP& pop) {
             std::vector<std::string> ids;
             EXPECT_TRUE(pop.GetUIDLs(ids));
             uidl2(pop);
         },
         {"UIDL"}},
        {"an extra line after a message",
         {"+OK 1 20\r\n", "+OK\r\nSubject: x\r\n\r\n.\r\n+OK 2 b\r\n"},
         [uidl2](TKorpPOP& pop) {
             EXPECT_NE(pop.RetrieveHeader(1), nullptr);
             uidl2(pop);
         },
         {"LIST 1", "TOP 1 0"}},
        {"an extra line after the greeting", {}, uidl2, {}, korp::kErrProtocol, "+OK 2 b\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.server.chunks.push_back(std::string("+OK\r\n") + c.afterGreeting);
        for (const char* r : c.replies)
            h.server.chunks.emplace_back(r);
        h.pop.Connect();
        h.pop.MailCount = 3;
        c.ask(h.pop);
        EXPECT_TRUE(h.pop.ErrorFlag);
        EXPECT_EQ(h.pop.LastErrorCode, c.code) << h.pop.LastError;
        EXPECT_EQ(h.errors, std::vector<int>{c.code});
        EXPECT_FALSE(h.pop.IsConnected);
        EXPECT_EQ(h.Commands(), c.sent);
        EXPECT_EQ(h.pop.OwnedMessageCount(), c.sent.size() == 2 ? 1u : 0u);
    }
}
