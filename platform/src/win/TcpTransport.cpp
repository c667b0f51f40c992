#include <platform/TcpTransport.h>

#include "../NetDetail.h"
#include "../Sockets.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <winsock2.h>
#include <ws2tcpip.h>

namespace platform {

namespace detail {

namespace {

static_assert(sizeof(sockaddr_storage) <= sizeof(Endpoint::address));

// Winsock needs one start-up per process before the first socket call.
void EnsureWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

std::intptr_t Fail(SOCKET s, int& err, int why) {
    ::closesocket(s);
    err = why;
    return kNoSocket;
}

} // namespace

void AppendAddresses(const std::string& node, const std::string& service, bool numeric,
                     Lookup& out) {
    EnsureWinsock();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = numeric ? AI_NUMERICHOST : 0;
    addrinfo* list = nullptr;
    out.rc = ::getaddrinfo(node.c_str(), service.c_str(), &hints, &list);
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
    return WSANO_RECOVERY;
}

int NoAddressCode() {
    return WSAHOST_NOT_FOUND;
}

std::string LookupFailureText(const Lookup& lookup) {
    return ErrorText(lookup.rc);
}

std::intptr_t ConnectOne(const Endpoint& e, std::chrono::steady_clock::time_point deadline,
                         std::chrono::milliseconds slice, const std::function<bool()>& goOn,
                         int& err) {
    SOCKET s = ::socket(e.family, e.socktype, e.protocol);
    if (s == INVALID_SOCKET) {
        err = WSAGetLastError();
        return kNoSocket;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    const auto* address = reinterpret_cast<const sockaddr*>(e.address.data());
    if (::connect(s, address, e.length) == 0) return static_cast<std::intptr_t>(s);
    const int connectErr = WSAGetLastError();
    if (connectErr != WSAEWOULDBLOCK) return Fail(s, err, connectErr);
    WSAPOLLFD p{s, POLLWRNORM, 0};
    for (;;) {
        const int ms = (std::min)(RemainingMs(deadline), static_cast<int>(slice.count()));
        int r = ::WSAPoll(&p, 1, ms);
        if (r < 0) return Fail(s, err, WSAGetLastError());
        if (r > 0) break;
        if (std::chrono::steady_clock::now() >= deadline || (goOn && !goOn()))
            return Fail(s, err, WSAETIMEDOUT);
    }
    int soErr = 0;
    int len = sizeof soErr;
    ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soErr), &len);
    if (soErr != 0 || (p.revents & (POLLERR | POLLHUP)))
        return Fail(s, err, soErr ? soErr : WSAECONNREFUSED);
    return static_cast<std::intptr_t>(s);
}

int PollOnce(std::intptr_t socket, bool forWrite, int ms) {
    WSAPOLLFD p{static_cast<SOCKET>(socket), static_cast<SHORT>(forWrite ? POLLWRNORM : POLLRDNORM),
                0};
    const int r = ::WSAPoll(&p, 1, ms);
    return r > 0 ? 1 : r;
}

void SetNoDelay(std::intptr_t socket) {
    BOOL one = TRUE;
    ::setsockopt(static_cast<SOCKET>(socket), IPPROTO_TCP, TCP_NODELAY,
                 reinterpret_cast<const char*>(&one), sizeof one);
}

int TimedOutError() {
    return WSAETIMEDOUT;
}

// The same codes as on other systems, so that the mail side says the same sentence.
int TransportCode(int err) {
    switch (err) {
    case WSAETIMEDOUT:
        return kTransportTimedOut;
    case WSAECONNREFUSED:
        return kTransportRefused;
    case WSAECONNRESET:
    case WSAECONNABORTED:
        return kTransportReset;
    case WSAENOTCONN:
        return kTransportNotConnected;
    case WSAENETUNREACH:
        return kTransportNetUnreachable;
    case WSAEHOSTUNREACH:
        return kTransportHostUnreachable;
    default:
        return kTransportSystem;
    }
}

std::string ErrorText(int err) {
    return "error " + std::to_string(err);
}

} // namespace detail

using detail::kNoSocket;

TcpTransport::TcpTransport() : handle_(kNoSocket) {
    detail::EnsureWinsock();
}

TcpTransport::~TcpTransport() {
    if (handle_ != kNoSocket) ::closesocket(static_cast<SOCKET>(handle_));
}

void TcpTransport::ReportSystemError(const char* what) {
    int err = WSAGetLastError();
    ReportError(detail::TransportCode(err), std::string(what) + ": " + detail::ErrorText(err));
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

// The socket does not block (see ConnectOne): nothing there is WSAEWOULDBLOCK.
bool TcpTransport::HasUnreadData() {
    char c;
    return IsOpen() && ::recv(static_cast<SOCKET>(handle_), &c, 1, MSG_PEEK) > 0;
}

// Winsock raises no signal for a closed connection.
TcpTransport::NoSigpipe::NoSigpipe() {}
TcpTransport::NoSigpipe::~NoSigpipe() {
    (void)wasBlocked_;
    (void)wasPending_;
}

void TcpTransport::Close() {
    ++closes_;
    if (handle_ == kNoSocket) return;
    ::closesocket(static_cast<SOCKET>(handle_));
    handle_ = kNoSocket;
    Fire(OnDisconnected);
}

} // namespace platform
