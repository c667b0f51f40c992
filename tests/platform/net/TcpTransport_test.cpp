#include <platform/TcpTransport.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Loopback.h"

using namespace std::chrono_literals;
using nettest::Listener;
using nettest::Recorder;
using platform::TcpTransport;

TEST(TcpTransport, ExchangesBytesAndReportsTheOpenAndCloseInOrder) {
    Listener l;
    std::thread server([&] {
        int c = l.Accept();
        ::send(c, "+OK hi\r\n", 8, 0);
        char buf[64];
        ssize_t n = ::recv(c, buf, sizeof buf, 0);
        ::send(c, buf, static_cast<size_t>(n), 0);
        ::close(c);
    });
    TcpTransport t;
    Recorder r;
    r.Attach(t);
    ASSERT_TRUE(t.Open("127.0.0.1", l.port));
    char buf[1024];
    std::string greeting(buf, t.Receive(buf, sizeof buf));
    EXPECT_EQ(greeting, "+OK hi\r\n");
    EXPECT_TRUE(t.Send("echo\r\n"));
    EXPECT_EQ(std::string(buf, t.Receive(buf, sizeof buf)), "echo\r\n");
    t.Close();
    t.Close();
    server.join();
    EXPECT_EQ(r.events,
              (std::vector<std::string>{"lookup", "connecting", "connected", "disconnected"}));
    EXPECT_FALSE(t.IsOpen());
}

TEST(TcpTransport, ResolvesLocalhostByName) {
    Listener l;
    std::thread server([&] { ::close(l.Accept()); });
    TcpTransport t;
    // localhost may resolve to ::1 first; the open tries every address of the name.
    EXPECT_TRUE(t.Open("localhost", l.port)) << t.LastError();
    t.Close();
    server.join();
}

// An address written as four numbers needs no resolver, so no lookup time is spent on it.
TEST(TcpTransport, OpensADottedAddressWithoutWaitingForALookup) {
    Listener l;
    std::thread server([&] {
        if (const int c = l.AcceptWithin(5000); c >= 0) ::close(c);
    });
    TcpTransport t;
    t.LookupTimeout = 0ms;
    Recorder r;
    r.Attach(t);
    EXPECT_TRUE(t.Open("127.0.0.1", l.port)) << t.LastError();
    t.Close();
    server.join();
    EXPECT_EQ(r.events,
              (std::vector<std::string>{"lookup", "connecting", "connected", "disconnected"}));
}

TEST(TcpTransport, ReportsAPeerThatClosesAsAnErrorAndReceivesNothing) {
    Listener l;
    std::thread server([&] { ::close(l.Accept()); });
    TcpTransport t;
    Recorder r;
    r.Attach(t);
    ASSERT_TRUE(t.Open("127.0.0.1", l.port));
    server.join();
    char buf[16];
    EXPECT_EQ(t.Receive(buf, sizeof buf), 0u);
    ASSERT_EQ(r.codes, std::vector<int>{platform::kTransportClosedByPeer});
    EXPECT_EQ(t.LastError(), "the server closed the connection");
}

TEST(TcpTransport, GivesUpOnASilentServerAfterTheReceiveTimeout) {
    Listener l;
    TcpTransport t;
    Recorder r;
    r.Attach(t);
    t.ReceiveTimeout = 200ms;
    ASSERT_TRUE(t.Open("127.0.0.1", l.port));
    int c = l.Accept();
    auto start = std::chrono::steady_clock::now();
    char buf[16];
    EXPECT_EQ(t.Receive(buf, sizeof buf), 0u);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 190ms);
    EXPECT_LT(waited, 5s);
    EXPECT_EQ(r.codes, std::vector<int>{platform::kTransportTimedOut});
    ::close(c);
}

TEST(TcpTransport, ReportsARefusedConnection) {
    std::uint16_t port;
    {
        Listener l;
        port = l.port;
    } // closed again: nobody listens there now
    TcpTransport t;
    Recorder r;
    r.Attach(t);
    EXPECT_FALSE(t.Open("127.0.0.1", port));
    EXPECT_EQ(r.codes, std::vector<int>{platform::kTransportRefused});
    EXPECT_FALSE(t.IsOpen());
    EXPECT_NE(r.events.back(), "connected");
}

TEST(TcpTransport, DoesNothingWhenNotOpen) {
    TcpTransport t;
    Recorder r;
    r.Attach(t);
    char buf[4];
    EXPECT_FALSE(t.Send("x"));
    EXPECT_EQ(t.Receive(buf, sizeof buf), 0u);
    t.Close();
    EXPECT_TRUE(r.events.empty());
}

namespace {

// A port on a loopback address that drops connection attempts: its listener never accepts and
// its queue is full, so the kernel ignores further handshakes until the caller gives up.
struct BlackHole {
    Listener listener;
    std::vector<TcpTransport> fillers;
    explicit BlackHole(std::uint16_t port = 0) : listener(0, "127.0.0.1", port), fillers(4) {
        for (auto& f : fillers) {
            f.ConnectTimeout = 200ms;
            f.Open("127.0.0.1", listener.port);
        }
    }
};

// Hands out fixed addresses, as a name server would.
TcpTransport::Resolver AddressesOf(std::vector<std::string> addresses) {
    return [addresses](const std::string&) { return addresses; };
}

} // namespace

TEST(TcpTransport, GivesUpConnectingAfterTheConnectTimeout) {
    BlackHole hole;
    TcpTransport t;
    Recorder r;
    r.Attach(t);
    t.ConnectTimeout = 300ms;
    auto start = std::chrono::steady_clock::now();
    bool opened = t.Open("127.0.0.1", hole.listener.port);
    auto waited = std::chrono::steady_clock::now() - start;
    if (opened) GTEST_SKIP() << "this kernel accepted a connection beyond the listen queue";
    EXPECT_EQ(r.codes, std::vector<int>{platform::kTransportTimedOut});
    EXPECT_EQ(t.LastError(), "no connection to 127.0.0.1 port " +
                                 std::to_string(hole.listener.port) + " within 0.3 s");
    EXPECT_GE(waited, 290ms);
    EXPECT_LT(waited, 5s);
}

// A host whose first address drops the connection attempt (as an IPv6 route that leads nowhere
// does) still opens at its next address: each address gets the whole connect time-out.
TEST(TcpTransport, GivesEachAddressOfTheHostItsOwnConnectTimeout) {
    BlackHole hole;
    // The same port on another loopback address, where a server does accept.
    Listener server(4, "127.0.0.2", hole.listener.port);
    if (!server.ok) GTEST_SKIP() << "127.0.0.2 is not a loopback address here";
    const std::string port = std::to_string(hole.listener.port);
    struct Case {
        const char* name;
        std::vector<std::string> addresses;
        bool opens;
        std::chrono::milliseconds atLeast;
        std::string reason;
    } cases[] = {
        {"a black hole, then a server", {"127.0.0.1", "127.0.0.2"}, true, 290ms, ""},
        {"black holes only",
         {"127.0.0.1", "127.0.0.1"},
         false,
         590ms,
         "no connection to mail.example.org port " + port + " within 0.3 s (tried 2 addresses)"},
    };
    for (const Case& c : cases) {
        TcpTransport t;
        Recorder r;
        r.Attach(t);
        t.ConnectTimeout = 300ms;
        t.Resolve = AddressesOf(c.addresses);
        auto start = std::chrono::steady_clock::now();
        bool opened = t.Open("mail.example.org", hole.listener.port);
        auto waited = std::chrono::steady_clock::now() - start;
        if (opened && !c.opens) GTEST_SKIP() << "this kernel accepted beyond the listen queue";
        EXPECT_EQ(opened, c.opens) << c.name << ": " << t.LastError();
        EXPECT_GE(waited, c.atLeast) << c.name;
        EXPECT_LT(waited, 5s) << c.name;
        if (c.opens) {
            EXPECT_TRUE(r.codes.empty()) << c.name;
            int accepted = server.AcceptWithin(1000);
            EXPECT_GE(accepted, 0) << c.name;
            ::close(accepted);
        } else {
            EXPECT_EQ(r.codes, std::vector<int>{platform::kTransportTimedOut}) << c.name;
            EXPECT_EQ(t.LastError(), c.reason) << c.name;
        }
    }
}

TEST(TcpTransport, ReportsANameTheResolverDoesNotKnowWithoutConnecting) {
    TcpTransport t;
    Recorder r;
    r.Attach(t);
    t.Resolve = AddressesOf({});
    EXPECT_FALSE(t.Open("nergens.example.org", 110));
    EXPECT_EQ(r.codes, std::vector<int>{platform::kTransportHostNotFound});
    EXPECT_EQ(t.LastError().rfind("host not found: nergens.example.org (", 0), 0u) << t.LastError();
    EXPECT_EQ(r.events, (std::vector<std::string>{"lookup", "error"}));
}

// A name server that does not answer holds getaddrinfo for as long as it likes; the open gives up
// after the lookup time-out, and the lookup that ends later is dropped without harm.
TEST(TcpTransport, GivesUpALookupAfterTheLookupTimeoutAndDropsItsLateAnswer) {
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
    };
    auto gate = std::make_shared<Gate>();
    std::weak_ptr<Gate> held = gate;
    TcpTransport t;
    Recorder r;
    r.Attach(t);
    t.LookupTimeout = 300ms;
    t.Resolve = [gate](const std::string&) {
        std::unique_lock lock(gate->mutex);
        gate->opened.wait_for(lock, 5s, [&] { return gate->open; });
        return std::vector<std::string>{"127.0.0.1"};
    };
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(t.Open("mail.example.org", 110));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 290ms);
    EXPECT_LT(waited, 5s);
    EXPECT_EQ(r.codes, std::vector<int>{platform::kTransportTimedOut});
    EXPECT_EQ(t.LastError(), "looking up mail.example.org took longer than 0.3 s");
    EXPECT_EQ(r.events, (std::vector<std::string>{"lookup", "error"}));
    EXPECT_FALSE(t.IsOpen());

    // The same transport opens again while the first lookup is still out.
    Listener l;
    t.Resolve = AddressesOf({"127.0.0.1"});
    EXPECT_TRUE(t.Open("mail.example.org", l.port)) << t.LastError();
    t.Close();

    // Let the abandoned lookup answer: its thread ends and lets go of everything it held.
    {
        std::lock_guard lock(gate->mutex);
        gate->open = true;
    }
    gate->opened.notify_all();
    gate.reset();
    for (auto deadline = std::chrono::steady_clock::now() + 10s;
         !held.expired() && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(held.expired());
}
