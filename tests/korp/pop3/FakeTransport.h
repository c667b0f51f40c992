#pragma once

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include <platform/Transport.h>

namespace poptest {

// A transport that hands out scripted chunks exactly as given, so tests choose where the
// receive boundaries fall. An empty script means the server closed.
class FakeTransport : public platform::Transport {
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
        open_ = true;
        Fire(OnConnected);
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
        std::string& c = s_.chunks.front();
        std::size_t n = std::min(capacity, c.size());
        c.copy(buffer, n);
        c.erase(0, n);
        if (c.empty()) s_.chunks.pop_front();
        return n;
    }
    void Close() override {
        if (!open_) return;
        open_ = false;
        Fire(OnDisconnected);
    }
    bool IsOpen() const override { return open_; }

private:
    Shared& s_;
    bool open_ = false;
};

} // namespace poptest
