#include <platform/TcpTransport.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
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

// Connects one address before the deadline; returns the socket or -1 with errno set.
int ConnectOne(const addrinfo& ai, std::chrono::steady_clock::time_point deadline) {
    int fd = ::socket(ai.ai_family, ai.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai.ai_protocol);
    if (fd < 0) return -1;
    if (::connect(fd, ai.ai_addr, ai.ai_addrlen) == 0) return fd;
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
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* list = nullptr;
    std::string service = std::to_string(port);
    int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (rc != 0 || !list) {
        std::string reason = "host not found: " + host;
        if (rc == EAI_SYSTEM)
            reason += std::string(" (") + std::strerror(errno) + ")";
        else if (rc != 0)
            reason += std::string(" (") + ::gai_strerror(rc) + ")";
        ReportError(kTransportHostNotFound, reason);
        return false;
    }
    Fire(OnConnecting);
    // One deadline for all addresses of the name: the user waits for the whole open.
    auto deadline = std::chrono::steady_clock::now() + ConnectTimeout;
    int fd = -1;
    int lastErr = ETIMEDOUT;
    for (addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) {
        fd = ConnectOne(*ai, deadline);
        if (fd < 0) lastErr = errno;
        if (RemainingMs(deadline) == 0) break;
    }
    ::freeaddrinfo(list);
    if (fd < 0) {
        std::string reason =
            lastErr == ETIMEDOUT
                ? "no connection to " + host + " port " + service + " within " +
                      std::to_string(ConnectTimeout.count() / 1000) + " s"
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

bool TcpTransport::Wait(bool forWrite, std::chrono::milliseconds timeout) {
    pollfd p{static_cast<int>(handle_), static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int r = ::poll(&p, 1, RemainingMs(deadline));
        if (r > 0) return true;
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) {
            ReportError(kTransportTimedOut, std::string(forWrite ? "could not send for "
                                                                 : "no answer from server for ") +
                                                std::to_string(timeout.count() / 1000) + " s");
            return false;
        }
        ReportSystemError("poll");
        return false;
    }
}

bool TcpTransport::WaitReadable(std::chrono::milliseconds timeout) {
    return Wait(false, timeout);
}
bool TcpTransport::WaitWritable(std::chrono::milliseconds timeout) {
    return Wait(true, timeout);
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

void TcpTransport::Close() {
    if (handle_ == kNoSocket) return;
    ::close(static_cast<int>(handle_));
    handle_ = kNoSocket;
    Fire(OnDisconnected);
}

} // namespace platform
