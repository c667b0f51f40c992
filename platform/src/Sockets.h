#pragma once

// What the socket backings (posix/, win/) give the portable half of TcpTransport; not part of
// the platform interface.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::detail {

// No socket: -1 on POSIX, and INVALID_SOCKET (all bits set) on Windows.
inline constexpr std::intptr_t kNoSocket = -1;

// One address of the host, copied out of getaddrinfo's list so that it can cross threads.
struct Endpoint {
    int family = 0;
    int socktype = 0;
    int protocol = 0;
    std::array<unsigned char, 128> address{}; // a sockaddr_storage
    int length = 0;
};

struct Lookup {
    int rc = 0;     // getaddrinfo's result
    int sysErr = 0; // the system's error of a failure that has one, taken on the lookup's thread
    std::vector<Endpoint> endpoints;
};

// getaddrinfo for node (numeric: an address, as the resolver hook gives them); the addresses
// are appended to out and out.rc is set.
void AppendAddresses(const std::string& node, const std::string& service, bool numeric,
                     Lookup& out);
// getaddrinfo's codes for a failure of our own and for a name without addresses.
int LookupFailedCode();
int NoAddressCode();
// Why a lookup failed, as the system words it.
std::string LookupFailureText(const Lookup& lookup);

// Connects one address before the deadline: the socket, or kNoSocket with err set. goOn runs
// after every slice of the wait; when it says to stop, the attempt is given up (err: a
// time-out).
std::intptr_t ConnectOne(const Endpoint& e, std::chrono::steady_clock::time_point deadline,
                         std::chrono::milliseconds slice, const std::function<bool()>& goOn,
                         int& err);
// Waits at most ms for the socket to become readable (or writable): 1 when it is, 0 when not
// (or interrupted), -1 on failure with the system's error set.
int PollOnce(std::intptr_t socket, bool forWrite, int ms);
void SetNoDelay(std::intptr_t socket);

// The system's error for a time-out, the transport code of a system error and its text.
int TimedOutError();
int TransportCode(int err);
std::string ErrorText(int err);

inline int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

} // namespace platform::detail
