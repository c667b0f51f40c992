#include <platform/TcpTransport.h>

#include "../NetDetail.h"

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <winsock2.h>
#include <ws2tcpip.h>

namespace platform {

namespace {

const std::intptr_t kNoSocket = static_cast<std::intptr_t>(INVALID_SOCKET);

// Winsock needs one start-up per process before the first socket call.
void EnsureWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
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
    int length = 0;
};

struct Lookup {
    int rc = 0; // getaddrinfo's result, a WSA error code
    std::vector<Endpoint> endpoints;
};

void Append(const char* node, const char* service, int flags, Lookup& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* list = nullptr;
    out.rc = ::getaddrinfo(node, service, &hints, &list);
    if (out.rc != 0) return;
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(list, &::freeaddrinfo);
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage)) continue;
        Endpoint e;
        e.family = ai->ai_family;
        e.socktype = ai->ai_socktype;
        e.protocol = ai->ai_protocol;
        std::memcpy(&e.address, ai->ai_addr, ai->ai_addrlen);
        e.length = static_cast<int>(ai->ai_addrlen);
        out.endpoints.push_back(e);
    }
}

// Runs on a thread of its own (see CallWithin): the caller hands it copies it may outlive.
Lookup LookUp(const std::string& host, const std::string& service,
              const Transport::Resolver& resolve) noexcept {
    Lookup out;
    try {
        if (!resolve) {
            Append(host.c_str(), service.c_str(), 0, out);
        } else {
            for (const std::string& address : resolve(host)) {
                Append(address.c_str(), service.c_str(), AI_NUMERICHOST, out);
                if (out.rc != 0) break;
            }
        }
    } catch (...) {
        out.rc = WSANO_RECOVERY;
    }
    if (out.rc == 0 && out.endpoints.empty()) out.rc = WSAHOST_NOT_FOUND;
    return out;
}

SOCKET ConnectOne(const Endpoint& e, std::chrono::steady_clock::time_point deadline, int& err) {
    SOCKET s = ::socket(e.family, e.socktype, e.protocol);
    if (s == INVALID_SOCKET) {
        err = WSAGetLastError();
        return s;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&e.address), e.length) == 0) return s;
    err = WSAGetLastError();
    if (err != WSAEWOULDBLOCK) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    WSAPOLLFD p{s, POLLWRNORM, 0};
    int r = ::WSAPoll(&p, 1, RemainingMs(deadline));
    if (r <= 0) {
        err = r == 0 ? WSAETIMEDOUT : WSAGetLastError();
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    int soErr = 0;
    int len = sizeof soErr;
    ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soErr), &len);
    if (soErr != 0 || (p.revents & (POLLERR | POLLHUP))) {
        err = soErr ? soErr : WSAECONNREFUSED;
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

} // namespace

TcpTransport::TcpTransport() : handle_(kNoSocket) {
    EnsureWinsock();
}

TcpTransport::~TcpTransport() {
    if (handle_ != kNoSocket) ::closesocket(static_cast<SOCKET>(handle_));
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
        ReportError(kTransportHostNotFound,
                    "host not found: " + host + " (error " + std::to_string(found->rc) + ")");
        return false;
    }
    Fire(OnConnecting);
    // Each address gets the whole connect time-out: one that black-holes (an IPv6 route that
    // leads nowhere, a firewall that drops) must not use up the wait for the next.
    SOCKET s = INVALID_SOCKET;
    int err = WSAETIMEDOUT;
    for (const Endpoint& e : found->endpoints) {
        s = ConnectOne(e, std::chrono::steady_clock::now() + ConnectTimeout, err);
        if (s != INVALID_SOCKET) break;
    }
    if (s == INVALID_SOCKET) {
        const std::size_t tried = found->endpoints.size();
        ReportError(err,
                    err == WSAETIMEDOUT
                        ? "no connection to " + host + " port " + service + " within " +
                              detail::Seconds(ConnectTimeout) +
                              (tried > 1 ? " (tried " + std::to_string(tried) + " addresses)" : "")
                        : "cannot connect to " + host + " port " + service + " (error " +
                              std::to_string(err) + ")");
        return false;
    }
    BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    handle_ = static_cast<std::intptr_t>(s);
    Fire(OnConnected);
    return true;
}

bool TcpTransport::Wait(bool forWrite, std::chrono::milliseconds timeout,
                        const std::string& timeoutReason) {
    WSAPOLLFD p{static_cast<SOCKET>(handle_),
                static_cast<SHORT>(forWrite ? POLLWRNORM : POLLRDNORM), 0};
    int r = ::WSAPoll(&p, 1, static_cast<int>(timeout.count()));
    if (r > 0) return true;
    if (r == 0) {
        ReportError(kTransportTimedOut, !timeoutReason.empty()
                                            ? timeoutReason
                                            : std::string(forWrite ? "could not send for "
                                                                   : "no answer from server for ") +
                                                  detail::Seconds(timeout));
        return false;
    }
    ReportSystemError("poll");
    return false;
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
    int err = WSAGetLastError();
    ReportError(err, std::string(what) + " failed (error " + std::to_string(err) + ")");
}

bool TcpTransport::Send(std::string_view bytes) {
    if (!IsOpen()) return false;
    while (!bytes.empty()) {
        int chunk = bytes.size() > 65536 ? 65536 : static_cast<int>(bytes.size());
        int n = ::send(static_cast<SOCKET>(handle_), bytes.data(), chunk, 0);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (WSAGetLastError() == WSAEWOULDBLOCK) {
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
    int cap = capacity > 65536 ? 65536 : static_cast<int>(capacity);
    for (;;) {
        int n = ::recv(static_cast<SOCKET>(handle_), buffer, cap, 0);
        if (n > 0) return static_cast<std::size_t>(n);
        if (n == 0) {
            ReportError(kTransportClosedByPeer, "the server closed the connection");
            return 0;
        }
        if (WSAGetLastError() == WSAEWOULDBLOCK) {
            if (!WaitReadable(ReceiveTimeout)) return 0;
            continue;
        }
        ReportSystemError("recv");
        return 0;
    }
}

// Winsock raises no signal for a closed connection.
TcpTransport::NoSigpipe::NoSigpipe() {}
TcpTransport::NoSigpipe::~NoSigpipe() {
    (void)wasBlocked_;
    (void)wasPending_;
}

void TcpTransport::Close() {
    if (handle_ == kNoSocket) return;
    ::closesocket(static_cast<SOCKET>(handle_));
    handle_ = kNoSocket;
    Fire(OnDisconnected);
}

} // namespace platform
