// The portable half of the TCP transport: the name lookup with its time-out and the connect
// over every address. The sockets themselves are the backings' (posix/, win/).
#include <platform/TcpTransport.h>

#include <optional>
#include <string>
#include <system_error>

#include "NetDetail.h"
#include "Sockets.h"

namespace platform {

namespace {

using detail::Endpoint;
using detail::kNoSocket;
using detail::Lookup;

// Runs on a thread of its own (see CallWithin): the caller hands it copies it may outlive.
Lookup LookUp(const std::string& host, const std::string& service,
              const Transport::Resolver& resolve) noexcept {
    Lookup out;
    try {
        if (!resolve) {
            detail::AppendAddresses(host, service, false, out);
        } else {
            for (const std::string& address : resolve(host)) {
                detail::AppendAddresses(address, service, true, out);
                if (out.rc != 0) break;
            }
        }
    } catch (...) {
        out.rc = detail::LookupFailedCode();
    }
    if (out.rc == 0 && out.endpoints.empty()) out.rc = detail::NoAddressCode();
    return out;
}

} // namespace

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
                    "host not found: " + host + " (" + detail::LookupFailureText(*found) + ")");
        return false;
    }
    Fire(OnConnecting);
    // Each address gets the whole connect time-out: one that black-holes (an IPv6 route that
    // leads nowhere, a firewall that drops) must not use up the wait for the next.
    std::intptr_t socket = kNoSocket;
    int err = detail::TimedOutError();
    for (const Endpoint& e : found->endpoints) {
        socket = detail::ConnectOne(e, std::chrono::steady_clock::now() + ConnectTimeout, err);
        if (socket != kNoSocket) break;
    }
    if (socket == kNoSocket) {
        const std::size_t tried = found->endpoints.size();
        ReportError(detail::TransportCode(err),
                    err == detail::TimedOutError()
                        ? "no connection to " + host + " port " + service + " within " +
                              detail::Seconds(ConnectTimeout) +
                              (tried > 1 ? " (tried " + std::to_string(tried) + " addresses)" : "")
                        : "cannot connect to " + host + " port " + service + ": " +
                              detail::ErrorText(err));
        return false;
    }
    detail::SetNoDelay(socket);
    handle_ = socket;
    Fire(OnConnected);
    return true;
}

bool TcpTransport::WaitReadable(std::chrono::milliseconds timeout,
                                const std::string& timeoutReason) {
    return Wait(false, timeout, timeoutReason);
}

bool TcpTransport::WaitWritable(std::chrono::milliseconds timeout,
                                const std::string& timeoutReason) {
    return Wait(true, timeout, timeoutReason);
}

} // namespace platform
