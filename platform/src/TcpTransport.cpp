// The portable half of the TCP transport: the name lookup with its time-out and the connect
// over every address. The sockets themselves are the backings' (posix/, win/).
#include <platform/TcpTransport.h>

#include <algorithm>
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

bool TcpTransport::PumpedAndOpen(unsigned closesBefore) {
    Fire(Pump);
    return closes_ == closesBefore;
}

bool TcpTransport::Open(const std::string& host, std::uint16_t port) {
    Close();
    const unsigned closes = closes_;
    const auto slice = (std::max)(PumpInterval, std::chrono::milliseconds(1));
    const auto goOn = [this, closes] { return PumpedAndOpen(closes); };
    // The whole open fits the deadline; what it leaves is said as the deadline's reason.
    const auto late = [this] {
        ReportError(kTransportTimedOut,
                    deadlineReason_.empty() ? "no connection in time" : deadlineReason_);
        return false;
    };
    Fire(OnLookup);
    const std::string service = std::to_string(port);
    const auto now = std::chrono::steady_clock::now();
    const bool deadlineFirst = deadline_ - now < LookupTimeout;
    const auto lookupTimeout =
        deadlineFirst ? std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now)
                      : LookupTimeout;
    std::optional<Lookup> found;
    // A host written as an address asks no resolver (a numeric lookup never does): it is read
    // in place, without a thread to wait on. A name fails that at once and is looked up below.
    if (!Resolve) {
        Lookup numeric;
        detail::AppendAddresses(host, service, true, numeric);
        if (numeric.rc == 0 && !numeric.endpoints.empty()) found = std::move(numeric);
    }
    // getaddrinfo has no time-out of its own and can hang on a resolver that does not answer.
    try {
        if (!found)
            found = detail::CallWithin<Lookup>(
                lookupTimeout,
                [host, service, resolve = Resolve]() noexcept {
                    return LookUp(host, service, resolve);
                },
                slice, goOn);
    } catch (const std::system_error& e) {
        ReportError(kTransportSystem, "cannot look up " + host + ": " + e.what());
        return false;
    }
    if (closes_ != closes) return false; // closed by Pump meanwhile
    if (!found && deadlineFirst) return late();
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
        const auto until = (std::min)(deadline_, std::chrono::steady_clock::now() + ConnectTimeout);
        socket = detail::ConnectOne(e, until, slice, goOn, err);
        if (socket != kNoSocket || closes_ != closes) break;
        if (std::chrono::steady_clock::now() >= deadline_) return late();
    }
    if (closes_ != closes) return false; // ConnectOne gave up and closed its socket
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

bool TcpTransport::Wait(bool forWrite, std::chrono::milliseconds timeout,
                        const std::string& timeoutReason) {
    // Short slices with Pump between them: the program answers its user while the server is
    // silent or trickles, and the deadline ends the whole operation, not each wait.
    const auto silenceEnd = std::chrono::steady_clock::now() + timeout;
    const bool deadlineFirst = deadline_ < silenceEnd;
    const auto end = deadlineFirst ? deadline_ : silenceEnd;
    const int slice =
        static_cast<int>((std::max)(PumpInterval.count(), decltype(PumpInterval.count()){1}));
    const unsigned closes = closes_;
    for (;;) {
        const int r =
            detail::PollOnce(handle_, forWrite, (std::min)(detail::RemainingMs(end), slice));
        if (r > 0) return true;
        if (r < 0) {
            ReportSystemError("poll");
            return false;
        }
        if (std::chrono::steady_clock::now() >= end) {
            ReportError(
                kTransportTimedOut,
                deadlineFirst && !deadlineReason_.empty() ? deadlineReason_
                : !timeoutReason.empty()
                    ? timeoutReason
                    : std::string(forWrite ? "could not send for " : "no answer from server for ") +
                          detail::Seconds(timeout));
            return false;
        }
        if (!PumpedAndOpen(closes)) return false;
    }
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
