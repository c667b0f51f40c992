#pragma once

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include <platform/Transport.h>

namespace poptest {

// What the fake transports share: the open state with its notifications, and replies handed out
// from bytes queued in memory.
class MemoryTransport : public platform::Transport {
public:
    void Close() override {
        if (!open_) return;
        open_ = false;
        Fire(OnDisconnected);
    }
    bool IsOpen() const override { return open_; }

protected:
    void MarkOpen() {
        open_ = true;
        Fire(OnConnected);
    }
    // Moves up to capacity bytes from the front of pending into buffer.
    static std::size_t Take(std::string& pending, char* buffer, std::size_t capacity) {
        const std::size_t n = std::min(capacity, pending.size());
        pending.copy(buffer, n);
        pending.erase(0, n);
        return n;
    }

    bool open_ = false;
};

// A transport that hands out scripted chunks exactly as given, so tests choose where the
// receive boundaries fall. An empty script means the server closed.
class FakeTransport final : public MemoryTransport {
public:
    struct Shared {
        std::string host;
        std::uint16_t port = 0;
        std::deque<std::string> chunks;
        std::vector<std::string> sent;
    };
    explicit FakeTransport(Shared& s) : s_(s) {}

    bool Open(const std::string& host, std::uint16_t port) override {
        s_.host = host;
        s_.port = port;
        MarkOpen();
        return true;
    }
    bool Send(std::string_view bytes) override {
        if (!open_) return false;
        s_.sent.emplace_back(bytes);
        return true;
    }
    std::size_t Receive(char* buffer, std::size_t capacity) override {
        if (!open_) return 0;
        if (s_.chunks.empty()) {
            ReportError(platform::kTransportClosedByPeer, "the server closed the connection");
            return 0;
        }
        const std::size_t n = Take(s_.chunks.front(), buffer, capacity);
        if (s_.chunks.front().empty()) s_.chunks.pop_front();
        return n;
    }

private:
    Shared& s_;
};

} // namespace poptest
