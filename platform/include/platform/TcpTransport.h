#pragma once

#include <platform/Transport.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace platform {

// A TCP client socket on the operating system's sockets (POSIX or Winsock).
class TcpTransport : public Transport {
public:
    TcpTransport();
    ~TcpTransport() override;
    TcpTransport(const TcpTransport&) = delete;
    TcpTransport& operator=(const TcpTransport&) = delete;

    bool Open(const std::string& host, std::uint16_t port) override;
    bool Send(std::string_view bytes) override;
    std::size_t Receive(char* buffer, std::size_t capacity) override;
    void Close() override;
    bool IsOpen() const override;
    bool HasUnreadData() override;

    // For a layer on top (TLS): the socket handle, and waiting for it with a time-out. The socket
    // is non-blocking; these return false after reporting a time-out or failure through OnError.
    // A time-out is reported as the server's silence unless timeoutReason says otherwise.
    std::intptr_t NativeHandle() const { return handle_; }
    bool WaitReadable(std::chrono::milliseconds timeout, const std::string& timeoutReason = {});
    bool WaitWritable(std::chrono::milliseconds timeout, const std::string& timeoutReason = {});
    // Reports a failure of the operating system (last socket error) through OnError.
    void ReportSystemError(const char* what);
    // Lets a layer on top report its own failures through the same handler.
    void Report(int code, std::string reason) { ReportError(code, std::move(reason)); }

    // For a layer on top that writes to the socket itself (OpenSSL writes with plain write()):
    // while one lives, a write on this thread to a connection the peer has closed fails (EPIPE)
    // instead of raising SIGPIPE, which would end the program. Nothing to do on Windows.
    class NoSigpipe {
    public:
        NoSigpipe();
        ~NoSigpipe();
        NoSigpipe(const NoSigpipe&) = delete;
        NoSigpipe& operator=(const NoSigpipe&) = delete;

    private:
        bool wasBlocked_ = false;
        bool wasPending_ = false;
    };

private:
    bool Wait(bool forWrite, std::chrono::milliseconds timeout, const std::string& timeoutReason);
    // Between two slices of a wait: runs Pump; false when it closed this transport.
    bool PumpedAndOpen(unsigned closesBefore);
    std::intptr_t handle_;
    unsigned closes_ = 0; // calls of Close, so that a wait sees one made by Pump
};

} // namespace platform
