// A POP3 mailbox in memory, served to the real client through its transport seam: for tests and
// benchmarks that run the mail side without a network.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <korp/KorpPOP3.h>

#include "FakeTransport.h"

namespace brevon::fakes {

// A POP3 mailbox in memory, served over the client's transport seam. It answers as Dovecot
// does (LAST is unknown) and can be told to misbehave.
struct FakeMailbox {
    struct Message {
        std::string uidl;
        std::string raw; // LF or CR LF line ends
    };
    std::vector<Message> messages;
    // A mailbox too large to hold: with generate set, it holds generatedCount messages instead,
    // message n made by generate(n) when it is asked for.
    std::function<Message(std::uint32_t n)> generate;
    std::uint32_t generatedCount = 0;
    std::string user = "jan";
    std::string password = "geheim";

    // Faults.
    bool refuseConnect = false;
    std::string greeting = "+OK ready"; // another server on the port greets otherwise
    std::set<int> refuseUidl;           // message numbers answered "-ERR"
    std::set<int> refuseTop;
    std::set<int> refuseRetr;
    int dropAfterCommands = -1; // the connection goes after that many commands
    bool refuseStat = false;
    bool refuseUidlListing = false; // "UIDL" without a number
    // A command line answered with this line instead, as a garbled or strange server would.
    std::map<std::string, std::string, std::less<>> answers;
    // Runs before each command is answered (the client's event pump is elsewhere).
    std::function<void(const std::string& command)> onCommand;

    std::vector<std::string> commands; // every command line received, PASS masked
    std::string lastHost;              // where the client connected last
    std::uint16_t lastPort = 0;
    int connections = 0;

    void Add(std::string uidl, std::string raw) {
        messages.push_back({std::move(uidl), std::move(raw)});
    }
    std::uint32_t Size() const {
        return generate ? generatedCount : static_cast<std::uint32_t>(messages.size());
    }
    int Count(std::string_view verb) const {
        return static_cast<int>(
            std::count_if(commands.begin(), commands.end(),
                          [verb](const std::string& c) { return c.rfind(verb, 0) == 0; }));
    }
    // Commands of the last connection.
    std::vector<std::string> lastSession;
};

class FakePopTransport final : public poptest::MemoryTransport {
public:
    explicit FakePopTransport(FakeMailbox& box) : box_(box) {}

    bool Open(const std::string& host, std::uint16_t port) override {
        box_.lastHost = host;
        box_.lastPort = port;
        if (box_.refuseConnect) {
            ReportError(platform::kTransportRefused, "connection refused");
            return false;
        }
        ++box_.connections;
        box_.lastSession.clear();
        MarkOpen();
        out_ = box_.greeting + "\r\n";
        return true;
    }
    bool Send(std::string_view bytes) override {
        if (!open_) return false;
        in_ += bytes;
        std::size_t eol;
        while ((eol = in_.find("\r\n")) != std::string::npos) {
            const std::string line = in_.substr(0, eol);
            in_.erase(0, eol + 2);
            Answer(line);
        }
        return true;
    }
    std::size_t Receive(char* buffer, std::size_t capacity) override {
        if (!open_) return 0;
        if (out_.empty()) {
            ReportError(platform::kTransportClosedByPeer, "the server closed the connection");
            Close();
            return 0;
        }
        return Take(out_, buffer, capacity);
    }

private:
    static std::string Crlf(const std::string& raw) {
        std::string out;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) out += '\r';
            out += raw[i];
        }
        if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0) out += "\r\n";
        return out;
    }
    static std::string DotStuffed(const std::string& text) {
        std::string out;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find("\r\n", start);
            const std::string line = text.substr(start, end - start);
            if (!line.empty() && line[0] == '.') out += '.';
            out += line + "\r\n";
            start = end + 2;
        }
        return out;
    }
    // The message number that a command's argument begins with ("TOP 7 0"); 0 when it is none.
    static std::uint32_t Number(const std::string& arg) {
        const std::size_t end = std::min(arg.find(' '), arg.size());
        std::uint32_t n = 0;
        auto [stop, ec] = std::from_chars(arg.data(), arg.data() + end, n);
        return ec == std::errc() && stop == arg.data() + end ? n : 0;
    }
    const FakeMailbox::Message* At(std::uint32_t n) {
        if (n < 1 || n > box_.Size()) return nullptr;
        if (!box_.generate) return &box_.messages[n - 1];
        made_ = box_.generate(n);
        return &made_;
    }

    void Answer(const std::string& line) {
        const std::string noted = line.rfind("PASS ", 0) == 0 ? "PASS ****" : line;
        box_.commands.push_back(noted);
        box_.lastSession.push_back(noted);
        if (box_.onCommand) box_.onCommand(line);
        if (box_.dropAfterCommands >= 0 &&
            static_cast<int>(box_.commands.size()) > box_.dropAfterCommands) {
            out_.clear();
            return; // the next receive finds the connection gone
        }
        if (const auto answer = box_.answers.find(line); answer != box_.answers.end()) {
            out_ += answer->second + "\r\n";
            return;
        }
        const std::size_t blank = line.find(' ');
        const std::string verb = line.substr(0, blank);
        const std::string arg = blank == std::string::npos ? "" : line.substr(blank + 1);
        const std::uint32_t n = Number(arg);
        const int listed = static_cast<int>(n); // as the fault sets name it
        const FakeMailbox::Message* m = At(n);
        if (verb == "USER") {
            out_ += "+OK\r\n";
        } else if (verb == "PASS") {
            out_ += arg == box_.password ? "+OK logged in\r\n" : "-ERR authentication failed\r\n";
        } else if (verb == "STAT") {
            out_ +=
                box_.refuseStat ? "-ERR no\r\n" : "+OK " + std::to_string(box_.Size()) + " 0\r\n";
        } else if (verb == "LAST") {
            out_ += "-ERR unknown command\r\n";
        } else if (verb == "UIDL" && arg.empty()) {
            if (box_.refuseUidlListing) {
                out_ += "-ERR not here\r\n";
            } else {
                out_ += "+OK\r\n";
                for (std::uint32_t i = 1; i <= box_.Size(); ++i)
                    out_ += std::to_string(i) + " " + At(i)->uidl + "\r\n";
                out_ += ".\r\n";
            }
        } else if (verb == "UIDL") {
            if (!m || box_.refuseUidl.count(listed))
                out_ += "-ERR no such message\r\n";
            else
                out_ += "+OK " + std::to_string(n) + " " + m->uidl + "\r\n";
        } else if (verb == "LIST") {
            out_ +=
                m ? "+OK " + std::to_string(n) + " " + std::to_string(Crlf(m->raw).size()) + "\r\n"
                  : "-ERR no such message\r\n";
        } else if (verb == "TOP") {
            if (!m || box_.refuseTop.count(listed)) {
                out_ += "-ERR no such message\r\n";
            } else {
                const std::string whole = Crlf(m->raw);
                const std::size_t end = whole.find("\r\n\r\n");
                const std::string head =
                    end == std::string::npos ? whole : whole.substr(0, end + 2) + "\r\n";
                out_ += "+OK\r\n" + DotStuffed(head) + ".\r\n";
            }
        } else if (verb == "RETR") {
            if (!m || box_.refuseRetr.count(listed))
                out_ += "-ERR no such message\r\n";
            else
                out_ += "+OK\r\n" + DotStuffed(Crlf(m->raw)) + ".\r\n";
        } else if (verb == "QUIT") {
            out_ += "+OK bye\r\n";
        } else {
            out_ += "-ERR unknown command\r\n";
        }
    }

    FakeMailbox& box_;
    std::string in_;
    std::string out_;
    FakeMailbox::Message made_; // the generated message asked for last
};

// Points a client at the mailbox.
inline void ServeFrom(korp::TKorpPOP& client, FakeMailbox& box) {
    client.TransportFactory = [&box](const korp::TKorpPOP&) {
        return std::make_unique<FakePopTransport>(box);
    };
}

} // namespace brevon::fakes
