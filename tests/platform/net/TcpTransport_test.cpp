#include <platform/TcpTransport.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using platform::TcpTransport;

namespace {

// A listening socket on 127.0.0.1 with a free port chosen by the kernel.
struct Listener {
    int fd = -1;
    std::uint16_t port = 0;
    explicit Listener(int backlog = 4) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, backlog);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Listener() { ::close(fd); }
    int Accept() const { return ::accept(fd, nullptr, nullptr); }
};

struct Recorder {
    std::vector<std::string> events;
    std::vector<int> codes;
    void Attach(TcpTransport& t) {
        t.OnLookup = [this] { events.push_back("lookup"); };
        t.OnConnecting = [this] { events.push_back("connecting"); };
        t.OnConnected = [this] { events.push_back("connected"); };
        t.OnDisconnected = [this] { events.push_back("disconnected"); };
        t.OnError = [this](int code, const std::string&) {
            events.push_back("error");
            codes.push_back(code);
        };
    }
};

} // namespace

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

TEST(TcpTransport, GivesUpConnectingAfterTheConnectTimeout) {
    // A listener that never accepts and whose queue is full drops further handshakes.
    Listener l(0);
    std::vector<TcpTransport> fillers(4);
    for (auto& f : fillers) {
        f.ConnectTimeout = 200ms;
        f.Open("127.0.0.1", l.port);
    }
    TcpTransport t;
    Recorder r;
    r.Attach(t);
    t.ConnectTimeout = 300ms;
    auto start = std::chrono::steady_clock::now();
    bool opened = t.Open("127.0.0.1", l.port);
    auto waited = std::chrono::steady_clock::now() - start;
    if (opened) GTEST_SKIP() << "this kernel accepted a connection beyond the listen queue";
    EXPECT_EQ(r.codes, std::vector<int>{platform::kTransportTimedOut});
    EXPECT_GE(waited, 290ms);
    EXPECT_LT(waited, 5s);
}
