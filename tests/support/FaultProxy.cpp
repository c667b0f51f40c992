#include "FaultProxy.h"

#include <chrono>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace poptest {

namespace {

// How far into the server's stream a fault strikes: within the bytes of an ordinary check
// (greeting, login, count, a screen of ids, a header or two).
constexpr std::size_t kFaultReach = 900;
// Longest a stall waits for the client to give up, and longest one connection may last.
constexpr auto kStallLimit = std::chrono::seconds(5);
constexpr auto kConnectionLimit = std::chrono::seconds(30);

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

bool SendAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

FaultProxy::FaultProxy(std::uint16_t serverPort, std::uint32_t seed, Odds odds)
    : serverPort_(serverPort), odds_(odds), random_(seed) {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listen_, 8);
    socklen_t len = sizeof a;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
}

FaultProxy::~FaultProxy() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
}

FaultProxy::Counts FaultProxy::Snapshot() const {
    return {connections_, drops_, stalls_, garbage_, serverAway_};
}

void FaultProxy::Run() {
    while (!stop_) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        Serve(client);
        ::close(client);
    }
}

void FaultProxy::Serve(int client) {
    ++connections_;
    // Drawn for every connection, so the faults' order does not depend on when they were off.
    const int roll = std::uniform_int_distribution<int>(0, 99)(random_);
    const std::size_t at = std::uniform_int_distribution<std::size_t>(0, kFaultReach - 1)(random_);
    Fault fault = Fault::None;
    if (faults_) {
        if (roll < odds_.drop)
            fault = Fault::Drop;
        else if (roll < odds_.drop + odds_.stall)
            fault = Fault::Stall;
        else if (roll < odds_.drop + odds_.stall + odds_.garbage)
            fault = Fault::Garbage;
    }
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(serverPort_);
    if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        ++serverAway_; // the client sees its connection closed before any greeting
    else
        Relay(client, server, fault, at);
    ::close(server);
}

std::string FaultProxy::Noise() {
    // No digits: a number in the noise could be read as a count, which no client can tell from
    // a real one; and never "+" or "-" first, which would make it a status.
    static constexpr char kFirst[] = "~#*?!";
    static constexpr char kRest[] = "abcdefghijklmnopqrstuvwxyz .,;:!?*#~";
    std::uniform_int_distribution<std::size_t> first(0, sizeof kFirst - 2);
    std::uniform_int_distribution<std::size_t> rest(0, sizeof kRest - 2);
    std::string line(1, kFirst[first(random_)]);
    const int length = std::uniform_int_distribution<int>(4, 40)(random_);
    for (int i = 0; i < length; ++i)
        line += kRest[rest(random_)];
    return line;
}

void FaultProxy::Relay(int client, int server, Fault fault, std::size_t at) {
    const auto deadline = std::chrono::steady_clock::now() + kConnectionLimit;
    std::string pending;    // the server's bytes of a line not yet complete
    std::size_t offset = 0; // of the server's stream, passed on
    bool spoiled = false;
    char buf[4096];
    while (!stop_ && std::chrono::steady_clock::now() < deadline) {
        pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(p, 2, 50) <= 0) continue;
        if (p[0].revents) {
            const ssize_t n = ::recv(client, buf, sizeof buf, 0);
            if (n <= 0 || !SendAll(server, std::string(buf, static_cast<std::size_t>(n)))) return;
        }
        if (!p[1].revents) continue;
        const ssize_t n = ::recv(server, buf, sizeof buf, 0);
        if (n <= 0) return;
        pending.append(buf, static_cast<std::size_t>(n));
        // Whole lines only, so a fault can strike in the middle of one or replace one.
        std::string out;
        std::size_t eol;
        while ((eol = pending.find("\r\n")) != std::string::npos) {
            std::string line = pending.substr(0, eol + 2);
            pending.erase(0, eol + 2);
            if (!spoiled && fault != Fault::None && offset + line.size() > at) {
                if (fault == Fault::Drop || fault == Fault::Stall) {
                    SendAll(client, out + line.substr(0, line.size() / 2));
                    if (fault == Fault::Drop) {
                        ++drops_;
                        return;
                    }
                    ++stalls_;
                    // Nothing more passes until the client gives up and closes.
                    const auto until = std::chrono::steady_clock::now() + kStallLimit;
                    while (!stop_ && std::chrono::steady_clock::now() < until) {
                        pollfd c{client, POLLIN, 0};
                        if (::poll(&c, 1, 50) > 0 && ::recv(client, buf, sizeof buf, 0) <= 0)
                            return;
                    }
                    return;
                }
                // Noise for the greeting would be a server that is no POP3 server at all: a
                // fault of the settings, not of the line, so it strikes a reply.
                if (line.rfind("+OK", 0) == 0 && offset > 0) {
                    ++garbage_;
                    spoiled = true;
                    line = Noise() + "\r\n";
                }
            }
            offset += line.size();
            out += line;
        }
        if (!out.empty() && !SendAll(client, out)) return;
    }
}

} // namespace poptest
