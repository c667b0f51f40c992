// TlsTransport where the build has no OpenSSL (the Windows cross build): plain connections work
// as with TLS switched off; asking for TLS fails with a reason that says so, so a user asking
// for an encrypted connection never gets a plain one instead.
#include <platform/TlsTransport.h>

namespace platform {

struct TlsTransport::Session {};

TlsTransport::TlsTransport(bool implicit) : Implicit(implicit) {
    ForwardInnerEvents();
}

TlsTransport::~TlsTransport() {
    tcp_.OnDisconnected = nullptr;
}

bool TlsTransport::Secured() const {
    return false;
}

bool TlsTransport::StartTls() {
    if (!tcp_.IsOpen()) return false;
    ReportError(kTlsHandshakeFailed, "TLS is not available in this build of brevon");
    Close();
    return false;
}

bool TlsTransport::Send(std::string_view bytes) {
    return IsOpen() && tcp_.Send(bytes);
}

std::size_t TlsTransport::Receive(char* buffer, std::size_t capacity) {
    if (!IsOpen() || capacity == 0) return 0;
    return tcp_.Receive(buffer, capacity);
}

bool TlsTransport::HasUnreadData() {
    return tcp_.HasUnreadData();
}

void TlsTransport::Close() {
    tcp_.Close();
}

} // namespace platform
