#pragma once

#include <platform/Transport.h>

#include <cstdint>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nettest {

// A listening socket on a loopback address (127.0.0.1 unless told) with the given port, or a
// free one chosen by the kernel.
struct Listener {
    int fd = -1;
    std::uint16_t port = 0;
    bool ok = false;
    explicit Listener(int backlog = 4, const char* address = "127.0.0.1", std::uint16_t at = 0) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(at);
        ::inet_pton(AF_INET, address, &a.sin_addr);
        ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
             ::listen(fd, backlog) == 0;
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Listener() { ::close(fd); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    int Accept() const { return ::accept(fd, nullptr, nullptr); }
    // Waits at most ms for a connection; -1 when none came.
    int AcceptWithin(int ms) const {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, ms) == 1 ? Accept() : -1;
    }
};

// Everything a transport reports, in order.
struct Recorder {
    std::vector<std::string> events;
    std::vector<int> codes;
    void Attach(platform::Transport& t) {
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

} // namespace nettest
