// A TCP proxy on 127.0.0.1 in front of a POP3 server that spoils some of its connections, as a
// bad network or a sick server would: it drops a connection in the middle of a reply, stalls
// (stops passing on the server's bytes) until the client gives up, or puts a line of noise in
// place of a reply's status line (never the greeting). Which connection gets which fault follows a
// seeded generator. One connection at a time, on a thread of its own; every wait is bounded.
#pragma once

#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <thread>

namespace poptest {

class FaultProxy {
public:
    // Chances per connection, in percent; the rest pass untouched.
    struct Odds {
        int drop = 0;
        int stall = 0;
        int garbage = 0;
    };
    // What happened so far.
    struct Counts {
        int connections = 0;
        int drops = 0;
        int stalls = 0;
        int garbage = 0;
        int serverAway = 0; // the server did not take the connection: the client's was closed
    };

    FaultProxy(std::uint16_t serverPort, std::uint32_t seed, Odds odds);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    std::uint16_t Port() const { return port_; }
    // Off: every later connection passes untouched.
    void SetFaults(bool on) { faults_ = on; }
    Counts Snapshot() const;

private:
    enum class Fault { None, Drop, Stall, Garbage };
    void Run();
    void Serve(int client);
    // Passes the bytes on both ways until either side closes, spoiling the server's stream at
    // byte offset `at` as fault says.
    void Relay(int client, int server, Fault fault, std::size_t at);
    std::string Noise();

    std::uint16_t serverPort_;
    Odds odds_;
    std::mt19937 random_;
    int listen_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> faults_{true};
    std::atomic<int> connections_{0}, drops_{0}, stalls_{0}, garbage_{0}, serverAway_{0};
    std::thread thread_;
};

} // namespace poptest
