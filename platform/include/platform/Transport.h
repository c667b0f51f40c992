#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Error codes a transport hands to its error handler. The socket codes use Winsock's numbers on
// every platform, so a code a user reads out means the same on Windows and elsewhere.
enum TransportErrorCode : int {
    kTransportTimedOut = 10060,        // a lookup, connect, handshake or receive took too long
    kTransportRefused = 10061,         // nobody listens on that port
    kTransportReset = 10054,           // connection reset by the peer
    kTransportNotConnected = 10057,    // send on a connection that is not open
    kTransportNetUnreachable = 10051,  //
    kTransportHostUnreachable = 10065, //
    kTransportClosedByPeer = 10101,    // the server closed while an answer was awaited
    kTransportHostNotFound = 11001,    // name resolution failed
    kTransportSystem = 10000,          // any other failure of the operating system
    // TLS, outside Winsock's range.
    kTlsHandshakeFailed = 12001,
    kTlsCertExpired = 12002,
    kTlsUnknownIssuer = 12003,
    kTlsNameMismatch = 12004,
    kTlsCertInvalid = 12005,
    kTlsCaFileUnreadable = 12006,
    kTlsNotOffered = 12007,
};

// A connected byte stream to one server, used in blocking mode. Failures go to OnError (code and
// a readable reason) and then make the operation fail; OnDisconnected fires once when an open
// connection closes, whoever closed it.
class Transport {
public:
    using Notify = std::function<void()>;
    using ErrorHandler = std::function<void(int code, const std::string& reason)>;
    using Resolver = std::function<std::vector<std::string>(const std::string& host)>;

    virtual ~Transport() = default;

    Notify OnLookup;
    Notify OnConnecting;
    Notify OnConnected;
    Notify OnDisconnected;
    ErrorHandler OnError;

    // Longest wait for the name lookup of Open.
    std::chrono::milliseconds LookupTimeout{10000};
    // Longest wait for each address of the host to accept the connection, and for the TLS
    // handshake.
    std::chrono::milliseconds ConnectTimeout{15000};
    // Longest silence allowed while waiting for data (or for room to send).
    std::chrono::milliseconds ReceiveTimeout{60000};

    // Runs between the slices of every wait (the lookup, the connect, the TLS handshake, a send,
    // a receive), at least every PumpInterval, so that the program stays responsive however
    // slow the server is. It may Close this transport: the wait then ends at once, and the
    // operation fails without a report.
    Notify Pump;
    std::chrono::milliseconds PumpInterval{50};

    // The moment by which the operation in hand must be done, however the bytes trickle in
    // meanwhile; a wait that reaches it fails as a time-out with this reason. Each wait is also
    // bounded by its own time-out above.
    virtual void SetDeadline(std::chrono::steady_clock::time_point at, std::string reason) {
        deadline_ = at;
        deadlineReason_ = std::move(reason);
    }

    // Replaces the system's resolver (for tests): gives the host's addresses in numeric form,
    // in the order to try them. It runs on a thread of its own that is abandoned when the lookup
    // times out, so it must own everything it uses.
    Resolver Resolve;

    // Resolves host (a name or a numeric address) and connects, trying each address in turn;
    // false after reporting an error.
    virtual bool Open(const std::string& host, std::uint16_t port) = 0;
    // Sends all bytes; false after reporting an error, or silently when not open.
    virtual bool Send(std::string_view bytes) = 0;
    // Blocks until at least one byte is there and returns up to capacity bytes. Returns 0 when
    // the connection is not open (silently) or after reporting an error (time-out, the peer
    // closed, a failure).
    virtual std::size_t Receive(char* buffer, std::size_t capacity) = 0;
    // Closes an open connection (firing OnDisconnected); harmless when closed.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // True when bytes from the peer are already there to be read, without waiting: lets a
    // protocol tell data nobody asked for from the answer to its next request.
    virtual bool HasUnreadData() { return false; }

    // The reason of the last reported error, empty when none.
    const std::string& LastError() const { return lastError_; }

protected:
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
    std::string deadlineReason_;

    void ReportError(int code, std::string reason) {
        lastError_ = std::move(reason);
        if (OnError) OnError(code, lastError_);
    }
    void Fire(const Notify& n) {
        if (n) n();
    }

private:
    std::string lastError_;
};

} // namespace platform
