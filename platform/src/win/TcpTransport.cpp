#include <platform/TcpTransport.h>

#include <string>

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

SOCKET ConnectOne(const addrinfo& ai, std::chrono::steady_clock::time_point deadline, int& err) {
    SOCKET s = ::socket(ai.ai_family, ai.ai_socktype, ai.ai_protocol);
    if (s == INVALID_SOCKET) {
        err = WSAGetLastError();
        return s;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    if (::connect(s, ai.ai_addr, static_cast<int>(ai.ai_addrlen)) == 0) return s;
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
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 || !list) {
        ReportError(kTransportHostNotFound, "host not found: " + host);
        return false;
    }
    Fire(OnConnecting);
    auto deadline = std::chrono::steady_clock::now() + ConnectTimeout;
    SOCKET s = INVALID_SOCKET;
    int err = WSAETIMEDOUT;
    for (addrinfo* ai = list; ai && s == INVALID_SOCKET && RemainingMs(deadline) > 0;
         ai = ai->ai_next)
        s = ConnectOne(*ai, deadline, err);
    ::freeaddrinfo(list);
    if (s == INVALID_SOCKET) {
        ReportError(err, "cannot connect to " + host + " port " + service + " (error " +
                             std::to_string(err) + ")");
        return false;
    }
    BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    handle_ = static_cast<std::intptr_t>(s);
    Fire(OnConnected);
    return true;
}

bool TcpTransport::Wait(bool forWrite, std::chrono::milliseconds timeout) {
    WSAPOLLFD p{static_cast<SOCKET>(handle_),
                static_cast<SHORT>(forWrite ? POLLWRNORM : POLLRDNORM), 0};
    int r = ::WSAPoll(&p, 1, static_cast<int>(timeout.count()));
    if (r > 0) return true;
    if (r == 0) {
        ReportError(kTransportTimedOut,
                    std::string(forWrite ? "could not send for " : "no answer from server for ") +
                        std::to_string(timeout.count() / 1000) + " s");
        return false;
    }
    ReportSystemError("poll");
    return false;
}

bool TcpTransport::WaitReadable(std::chrono::milliseconds timeout) {
    return Wait(false, timeout);
}
bool TcpTransport::WaitWritable(std::chrono::milliseconds timeout) {
    return Wait(true, timeout);
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

void TcpTransport::Close() {
    if (handle_ == kNoSocket) return;
    ::closesocket(static_cast<SOCKET>(handle_));
    handle_ = kNoSocket;
    Fire(OnDisconnected);
}

} // namespace platform
