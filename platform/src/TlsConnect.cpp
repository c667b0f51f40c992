// What the TLS transport does the same with OpenSSL and without it: the plain connection under
// it, and TLS from the first byte when that is asked for.
#include <platform/TlsTransport.h>

namespace platform {

void TlsTransport::ForwardInnerEvents() {
    // The inner socket's notifications and errors are this transport's own.
    tcp_.OnLookup = [this] { Fire(OnLookup); };
    tcp_.OnConnecting = [this] { Fire(OnConnecting); };
    tcp_.OnConnected = [this] { Fire(OnConnected); };
    tcp_.OnDisconnected = [this] { Fire(OnDisconnected); };
    tcp_.OnError = [this](int code, const std::string& reason) { ReportError(code, reason); };
    tcp_.Pump = [this] { Fire(Pump); };
}

void TlsTransport::SetDeadline(std::chrono::steady_clock::time_point at, std::string reason) {
    tcp_.SetDeadline(at, reason);
    Transport::SetDeadline(at, std::move(reason));
}

bool TlsTransport::IsOpen() const {
    return tcp_.IsOpen();
}

bool TlsTransport::Open(const std::string& host, std::uint16_t port) {
    Close();
    host_ = host;
    tcp_.LookupTimeout = LookupTimeout;
    tcp_.ConnectTimeout = ConnectTimeout;
    tcp_.ReceiveTimeout = ReceiveTimeout;
    tcp_.PumpInterval = PumpInterval;
    tcp_.Resolve = Resolve;
    if (!tcp_.Open(host, port)) return false;
    return Implicit ? StartTls() : true;
}

} // namespace platform
