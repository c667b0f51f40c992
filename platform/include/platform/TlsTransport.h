#pragma once

#include <platform/TcpTransport.h>

#include <memory>
#include <string>

namespace platform {

// TLS over a TCP connection (OpenSSL). The server's chain is verified against the system's trust
// store plus CaFile when set, and its name against the host that was opened. With Implicit set
// the handshake follows the connect at once (POP3S); otherwise the connection starts in plain
// text and StartTls upgrades it (after the protocol's own STLS command).
class TlsTransport : public Transport {
public:
    explicit TlsTransport(bool implicit);
    ~TlsTransport() override;

    bool Implicit;
    // Extra trusted certificates (PEM), in addition to the system's store.
    std::string CaFile;

    bool Open(const std::string& host, std::uint16_t port) override;
    bool Send(std::string_view bytes) override;
    std::size_t Receive(char* buffer, std::size_t capacity) override;
    void Close() override;
    bool IsOpen() const override;
    bool HasUnreadData() override;
    void SetDeadline(std::chrono::steady_clock::time_point at, std::string reason) override;

    // Performs the handshake on the open connection; false after reporting why.
    bool StartTls();
    bool Secured() const;

private:
    void ForwardInnerEvents();
    struct Session;
    TcpTransport tcp_;
    std::string host_;
    std::unique_ptr<Session> session_;
};

} // namespace platform
