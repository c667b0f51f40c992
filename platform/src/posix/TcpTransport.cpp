#include <platform/TcpTransport.h>

#include "../NetDetail.h"

#include <cerrno>
#include <csignal>
#include <cstring>
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

namespace {

constexpr std::intptr_t kNoSocket = -1;

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

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// One address of the host, copied out of getaddrinfo's list so that it can cross threads.
struct Endpoint {
    int family = 0;
    int socktype = 0;
    int protocol = 0;
    sockaddr_storage address{};
    socklen_t length = 0;
};

struct Lookup {
    int rc = 0;     // getaddrinfo's result
    int sysErr = 0; // errno of an EAI_SYSTEM failure, taken on the lookup's thread
    std::vector<Endpoint> endpoints;
};

void Append(const char* node, const char* service, int flags, Lookup& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* list = nullptr;
    out.rc = ::getaddrinfo(node, service, &hints, &list);
    if (out.rc == EAI_SYSTEM) out.sysErr = errno;
    if (out.rc != 0) return;
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(list, &::freeaddrinfo);
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage)) continue;
        Endpoint e;
        e.family = ai->ai_family;
        e.socktype = ai->ai_socktype;
        e.protocol = ai->ai_protocol;
        std::memcpy(&e.address, ai->ai_addr, ai->ai_addrlen);
        e.length = ai->ai_addrlen;
        out.endpoints.push_back(e);
    }
}

// Runs on a thread of its own (see CallWithin): the caller hands it copies it may outlive.
Lookup LookUp(const std::string& host, const std::string& service,
              const Transport::Resolver& resolve) noexcept {
    Lookup out;
    try {
        if (!resolve) {
            Append(host.c_str(), service.c_str(), AI_ADDRCONFIG, out);
        } else {
            for (const std::string& address : resolve(host)) {
                Append(address.c_str(), service.c_str(), AI_NUMERICHOST | AI_NUMERICSERV, out);
                if (out.rc != 0) break;
            }
        }
    } catch (...) {
        out.rc = EAI_FAIL;
    }
    if (out.rc == 0 && out.endpoints.empty()) out.rc = EAI_NONAME;
    return out;
}

// Connects one address before the deadline; returns the socket or -1 with errno set.
int ConnectOne(const Endpoint& e, std::chrono::steady_clock::time_point deadline) {
    int fd = ::socket(e.family, e.socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, e.protocol);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&e.address), e.length) == 0) return fd;
    if (errno != EINPROGRESS) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    pollfd p{fd, POLLOUT, 0};
    for (;;) {
        int r = ::poll(&p, 1, RemainingMs(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            int saved = r == 0 ? ETIMEDOUT : errno;
            ::close(fd);
            errno = saved;
            return -1;
        }
        break;
    }
    int soErr = 0;
    socklen_t len = sizeof soErr;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len) != 0 || soErr != 0) {
        ::close(fd);
        errno = soErr ? soErr : errno;
        return -1;
    }
    return fd;
}

} // namespace

TcpTransport::TcpTransport() : handle_(kNoSocket) {}

TcpTransport::~TcpTransport() {
    if (handle_ != kNoSocket) ::close(static_cast<int>(handle_));
}

bool TcpTransport::IsOpen() const {
    return handle_ != kNoSocket;
}

bool TcpTransport::Open(const std::string& host, std::uint16_t port) {
    Close();
    Fire(OnLookup);
    const std::string service = std::to_string(port);
    // getaddrinfo has no time-out of its own and can hang on a resolver that does not answer.
    std::optional<Lookup> found;
    try {
        found = detail::CallWithin<Lookup>(LookupTimeout,
                                           [host, service, resolve = Resolve]() noexcept {
                                               return LookUp(host, service, resolve);
                                           });
    } catch (const std::system_error& e) {
        ReportError(kTransportSystem, "cannot look up " + host + ": " + e.what());
        return false;
    }
    if (!found) {
        ReportError(kTransportTimedOut,
                    "looking up " + host + " took longer than " + detail::Seconds(LookupTimeout));
        return false;
    }
    if (found->rc != 0) {
        std::string reason = "host not found: " + host;
        if (found->rc == EAI_SYSTEM)
            reason += std::string(" (") + std::strerror(found->sysErr) + ")";
        else
            reason += std::string(" (") + ::gai_strerror(found->rc) + ")";
        ReportError(kTransportHostNotFound, reason);
        return false;
    }
    Fire(OnConnecting);
    // Each address gets the whole connect time-out: one that black-holes (an IPv6 route that
    // leads nowhere, a firewall that drops) must not use up the wait for the next.
    int fd = -1;
    int lastErr = ETIMEDOUT;
    for (const Endpoint& e : found->endpoints) {
        fd = ConnectOne(e, std::chrono::steady_clock::now() + ConnectTimeout);
        if (fd >= 0) break;
        lastErr = errno;
    }
    if (fd < 0) {
        const std::size_t tried = found->endpoints.size();
        std::string reason =
            lastErr == ETIMEDOUT
                ? "no connection to " + host + " port " + service + " within " +
                      detail::Seconds(ConnectTimeout) +
                      (tried > 1 ? " (tried " + std::to_string(tried) + " addresses)" : "")
                : "cannot connect to " + host + " port " + service + ": " + std::strerror(lastErr);
        ReportError(CodeForErrno(lastErr), reason);
        return false;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    handle_ = fd;
    Fire(OnConnected);
    return true;
}

bool TcpTransport::Wait(bool forWrite, std::chrono::milliseconds timeout,
                        const std::string& timeoutReason) {
    pollfd p{static_cast<int>(handle_), static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int r = ::poll(&p, 1, RemainingMs(deadline));
        if (r > 0) return true;
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) {
            ReportError(
                kTransportTimedOut,
                !timeoutReason.empty()
                    ? timeoutReason
                    : std::string(forWrite ? "could not send for " : "no answer from server for ") +
                          detail::Seconds(timeout));
            return false;
        }
        ReportSystemError("poll");
        return false;
    }
}

bool TcpTransport::WaitReadable(std::chrono::milliseconds timeout,
                                const std::string& timeoutReason) {
    return Wait(false, timeout, timeoutReason);
}
bool TcpTransport::WaitWritable(std::chrono::milliseconds timeout,
                                const std::string& timeoutReason) {
    return Wait(true, timeout, timeoutReason);
}

void TcpTransport::ReportSystemError(const char* what) {
    int err = errno;
    ReportError(CodeForErrno(err), std::string(what) + ": " + std::strerror(err));
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
    if (handle_ == kNoSocket) return;
    ::close(static_cast<int>(handle_));
    handle_ = kNoSocket;
    Fire(OnDisconnected);
}

} // namespace platform
