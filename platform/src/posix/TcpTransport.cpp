#include <platform/TcpTransport.h>

#include "../NetDetail.h"
#include "../Sockets.h"

#include <cerrno>
#include <csignal>
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace detail {

namespace {

static_assert(sizeof(sockaddr_storage) <= sizeof(Endpoint::address));

int CodeForErrno(int err) {
    switch (err) {
    case ETIMEDOUT:
        return kTransportTimedOut;
    case ECONNREFUSED:
        return kTransportRefused;
    case ECONNRESET:
    case EPIPE:
        return kTransportReset;
    case ENOTCONN:
        return kTransportNotConnected;
    case ENETUNREACH:
        return kTransportNetUnreachable;
    case EHOSTUNREACH:
        return kTransportHostUnreachable;
    default:
        return kTransportSystem;
    }
}

// Closes fd and gives back err (-1, so that the caller can return it with err set).
std::intptr_t Fail(int fd, int& err, int why) {
    ::close(fd);
    err = why;
    return kNoSocket;
}

} // namespace

void AppendAddresses(const std::string& node, const std::string& service, bool numeric,
                     Lookup& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = numeric ? AI_NUMERICHOST | AI_NUMERICSERV : AI_ADDRCONFIG;
    addrinfo* list = nullptr;
    out.rc = ::getaddrinfo(node.c_str(), service.c_str(), &hints, &list);
    if (out.rc == EAI_SYSTEM) out.sysErr = errno;
    if (out.rc != 0) return;
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(list, &::freeaddrinfo);
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage)) continue;
        Endpoint e;
        e.family = ai->ai_family;
        e.socktype = ai->ai_socktype;
        e.protocol = ai->ai_protocol;
        std::memcpy(e.address.data(), ai->ai_addr, ai->ai_addrlen);
        e.length = static_cast<int>(ai->ai_addrlen);
        out.endpoints.push_back(e);
    }
}

int LookupFailedCode() {
    return EAI_FAIL;
}

int NoAddressCode() {
    return EAI_NONAME;
}

std::string LookupFailureText(const Lookup& lookup) {
    return lookup.rc == EAI_SYSTEM ? std::strerror(lookup.sysErr) : ::gai_strerror(lookup.rc);
}

std::intptr_t ConnectOne(const Endpoint& e, std::chrono::steady_clock::time_point deadline,
                         std::chrono::milliseconds slice, const std::function<bool()>& goOn,
                         int& err) {
    int fd = ::socket(e.family, e.socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, e.protocol);
    if (fd < 0) {
        err = errno;
        return kNoSocket;
    }
    const auto* address = reinterpret_cast<const sockaddr*>(e.address.data());
    if (::connect(fd, address, static_cast<socklen_t>(e.length)) == 0) return fd;
    if (errno != EINPROGRESS) return Fail(fd, err, errno);
    pollfd p{fd, POLLOUT, 0};
    for (;;) {
        const int ms = std::min(RemainingMs(deadline), static_cast<int>(slice.count()));
        int r = ::poll(&p, 1, ms);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return Fail(fd, err, errno);
        if (r > 0) break;
        if (std::chrono::steady_clock::now() >= deadline || (goOn && !goOn()))
            return Fail(fd, err, ETIMEDOUT);
    }
    int soErr = 0;
    socklen_t len = sizeof soErr;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len) != 0 || soErr != 0)
        return Fail(fd, err, soErr ? soErr : errno);
    return fd;
}

int PollOnce(std::intptr_t socket, bool forWrite, int ms) {
    pollfd p{static_cast<int>(socket), static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    const int r = ::poll(&p, 1, ms);
    if (r < 0 && errno == EINTR) return 0;
    return r > 0 ? 1 : r;
}

void SetNoDelay(std::intptr_t socket) {
    int one = 1;
    ::setsockopt(static_cast<int>(socket), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

int TimedOutError() {
    return ETIMEDOUT;
}

int TransportCode(int err) {
    return CodeForErrno(err);
}

std::string ErrorText(int err) {
    return std::strerror(err);
}

} // namespace detail

using detail::kNoSocket;
using detail::RemainingMs;

TcpTransport::TcpTransport() : handle_(kNoSocket) {}

TcpTransport::~TcpTransport() {
    if (handle_ != kNoSocket) ::close(static_cast<int>(handle_));
}

void TcpTransport::ReportSystemError(const char* what) {
    int err = errno;
    ReportError(detail::TransportCode(err), std::string(what) + ": " + detail::ErrorText(err));
}

bool TcpTransport::Send(std::string_view bytes) {
    if (!IsOpen()) return false;
    while (!bytes.empty()) {
        ssize_t n = ::send(static_cast<int>(handle_), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitWritable(ReceiveTimeout)) return false;
            continue;
        }
        ReportSystemError("send");
        return false;
    }
    return true;
}

std::size_t TcpTransport::Receive(char* buffer, std::size_t capacity) {
    if (!IsOpen() || capacity == 0) return 0;
    for (;;) {
        ssize_t n = ::recv(static_cast<int>(handle_), buffer, capacity, 0);
        if (n > 0) return static_cast<std::size_t>(n);
        if (n == 0) {
            ReportError(kTransportClosedByPeer, "the server closed the connection");
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitReadable(ReceiveTimeout)) return 0;
            continue;
        }
        ReportSystemError("recv");
        return 0;
    }
}

bool TcpTransport::HasUnreadData() {
    char c;
    return IsOpen() && ::recv(static_cast<int>(handle_), &c, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

// Blocking SIGPIPE on this thread only leaves the rest of the program, and the processes it
// starts, as they were; a SIGPIPE raised meanwhile is taken back before it is unblocked.
TcpTransport::NoSigpipe::NoSigpipe() {
    sigset_t pipe, old, pending;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old);
    wasBlocked_ = sigismember(&old, SIGPIPE) == 1;
    wasPending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

TcpTransport::NoSigpipe::~NoSigpipe() {
    int saved = errno;
    sigset_t pipe, pending;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    if (!wasPending_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
        const timespec none{0, 0};
        while (sigtimedwait(&pipe, nullptr, &none) < 0 && errno == EINTR) {
        }
    }
    if (!wasBlocked_) pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
    errno = saved;
}

void TcpTransport::Close() {
    ++closes_;
    if (handle_ == kNoSocket) return;
    ::close(static_cast<int>(handle_));
    handle_ = kNoSocket;
    Fire(OnDisconnected);
}

} // namespace platform
