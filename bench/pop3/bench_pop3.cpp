// Throughput of the POP3 client against a local Dovecot, next to Python's poplib doing the same
// in the same run. Loopback only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "BenchMain.h"

#include <korp/KorpMsg.h>
#include <korp/KorpPOP3.h>
#include <platform/TcpTransport.h>

#include "PopTestServers.h"

namespace {

using Clock = std::chrono::steady_clock;
using poptest::DovecotServer;

constexpr std::size_t kBigBytes = 5 * 1024 * 1024;
constexpr std::uint32_t kTops = 20;

// One server per mailbox shape, started on first use and kept for the whole run.
struct Box {
    std::unique_ptr<DovecotServer> server;
    std::string passwordFile;
    testsupport::TempDir dir;
};

std::string Message(int i, std::size_t bodyBytes) {
    std::string m = "From: Afzender " + std::to_string(i) + " <a" + std::to_string(i) +
                    "@example.org>\nTo: jan@example.org\nSubject: Bericht nummer " +
                    std::to_string(i) + "\nDate: Tue, 1 Dec 2026 10:00:00 +0100\n\n";
    std::string line = "Dit is een regel tekst van een gewoon bericht, niets bijzonders.\n";
    while (m.size() < bodyBytes)
        m += line;
    return m;
}

Box* GetBox(int messages, std::size_t bodyBytes) {
    static std::map<std::pair<int, std::size_t>, std::unique_ptr<Box>> boxes;
    auto& slot = boxes[{messages, bodyBytes}];
    if (slot) return slot->server ? slot.get() : nullptr;
    slot = std::make_unique<Box>();
    auto server = std::make_unique<DovecotServer>();
    for (int i = 0; i < messages; ++i)
        server->AddMessage(Message(i, bodyBytes));
    if (!server->Start()) {
        std::fprintf(stderr, "dovecot: %s\n", server->Error().c_str());
        return nullptr;
    }
    slot->passwordFile = (slot->dir.Path() / "pw").string();
    std::ofstream(slot->passwordFile) << DovecotServer::kPassword << "\n";
    slot->server = std::move(server);
    return slot.get();
}

void Setup(korp::TKorpPOP& pop, const Box& box) {
    pop.Host = "127.0.0.1";
    pop.Port = std::to_string(box.server->Port());
    pop.UserId = DovecotServer::kUser;
    pop.UserPasswd = DovecotServer::kPassword;
}

// The commands the client sends while on, with USER and PASS bare, as poplib_reference.py reads
// them: Python's poplib then sends the very same sequence.
struct CommandLog {
    std::vector<std::string> lines;
    bool on = false;
    void Attach(korp::TKorpPOP& pop) {
        pop.OnSendTextToSocket = [this](korp::TKorpPOP&, const std::string& line) {
            if (!on) return;
            const std::string verb = line.substr(0, line.find(' '));
            lines.push_back(verb == "USER" || verb == "PASS" ? verb : line);
        };
    }
};

// Median seconds of one repetition of poplib sending those commands, after one to warm up, as
// the client had; mode "session" or "logged-in" (see poplib_reference.py). Negative when it
// failed. Run once per mailbox and mode: the benchmark calls its function more than once.
double Poplib(Box& box, const std::vector<std::string>& commands, int repeat, const char* mode) {
    static std::map<std::pair<Box*, std::string>, double> done;
    const auto key = std::make_pair(&box, std::string(mode));
    if (const auto it = done.find(key); it != done.end()) return it->second;
    const std::string file = (box.dir.Path() / (std::string("commands-") + mode)).string();
    {
        std::ofstream out(file);
        for (const std::string& c : commands)
            out << c << "\n";
    }
    const std::string cmd = "python3 '" POPLIB_REFERENCE "' " + std::to_string(box.server->Port()) +
                            " " + DovecotServer::kUser + " '" + box.passwordFile + "' '" + file +
                            "' " + std::to_string(repeat) + " " + mode;
    double seconds = -1;
    if (std::FILE* p = ::popen(cmd.c_str(), "r")) {
        if (std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
        if (::pclose(p) != 0) seconds = -1;
    }
    return done[key] = seconds;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Resident memory now, in KB.
long RssKb() {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// A logged-in session read with bare receives of the transport, no client: the ceiling of a
// RETR. Retr() sends "RETR 1" and reads to the terminator; the octets received, 0 on failure.
class RawSession {
public:
    explicit RawSession(const Box& box) {
        ok_ = t_.Open("127.0.0.1", box.server->Port()) && t_.Receive(buf_, sizeof buf_) > 0 &&
              Command(std::string("USER ") + DovecotServer::kUser) &&
              Command(std::string("PASS ") + DovecotServer::kPassword);
    }
    ~RawSession() { t_.Close(); }
    bool Ok() const { return ok_; }
    std::size_t Retr() {
        t_.Send("RETR 1\r\n");
        std::string tail;
        std::size_t octets = 0;
        for (;;) {
            const std::size_t n = t_.Receive(buf_, sizeof buf_);
            if (n == 0) return 0;
            octets += n;
            tail.append(buf_, n);
            if (tail.size() > 8) tail.erase(0, tail.size() - 8);
            if (tail.find("\r\n.\r\n") != std::string::npos) return octets;
        }
    }

private:
    bool Command(const std::string& line) {
        t_.Send(line + "\r\n");
        return t_.Receive(buf_, sizeof buf_) > 0;
    }
    platform::TcpTransport t_;
    char buf_[1024];
    bool ok_ = false;
};

// One RETR of a 5 MB message (with the LIST before it) in a logged-in session, after one to warm
// up; poplib sends the same commands the same way. Both figures are the median of a repetition
// in ms and the message's octets over it in MB/s (10^6 bytes). raw_ms is a bare read of the same
// RETR taken right after each of the client's, and korp_of_raw its time over the client's.
void BM_Retr5MB(benchmark::State& state) {
    Box* box = GetBox(1, kBigBytes);
    if (!box) {
        state.SkipWithError("no Dovecot");
        return;
    }
    korp::TKorpPOP pop;
    Setup(pop, *box);
    CommandLog log;
    log.Attach(pop);
    pop.Connect();
    if (pop.ErrorFlag || !pop.Login()) {
        state.SkipWithError("login failed");
        return;
    }
    log.on = true;
    korp::TKorpMsg* warm = pop.Retrieve(1);
    log.on = false;
    if (!warm) {
        state.SkipWithError(pop.LastError.c_str());
        return;
    }
    const double octets = warm->Size;
    pop.FreeMessage(warm);
    // Spooling must not grow with the message: compare memory at the first and last progress.
    long rssFirst = 0, rssLast = 0;
    pop.OnRetrieveProgress = [&](korp::TKorpPOP&, std::uint16_t percent) {
        if (percent <= 10)
            rssFirst = RssKb();
        else
            rssLast = RssKb();
    };
    // The anchor in the same run: each RETR of the client is followed by one read raw, so both
    // meet the same load on the machine.
    RawSession raw(*box);
    if (!raw.Ok()) {
        state.SkipWithError("raw login failed");
        return;
    }
    std::vector<double> seconds, rawSeconds;
    for (auto _ : state) {
        const auto start = Clock::now();
        korp::TKorpMsg* msg = pop.Retrieve(1);
        seconds.push_back(Seconds(Clock::now() - start));
        if (!msg) {
            state.SkipWithError(pop.LastError.c_str());
            break;
        }
        pop.FreeMessage(msg);
        const auto rawStart = Clock::now();
        if (raw.Retr() == 0) {
            state.SkipWithError("raw RETR failed");
            break;
        }
        rawSeconds.push_back(Seconds(Clock::now() - rawStart));
    }
    pop.Quit();
    const double rawMedian = Median(rawSeconds);
    state.counters["raw_ms"] = rawMedian * 1000;
    // The raw read's time over the client's: 1 is the wire's own speed.
    state.counters["korp_of_raw"] = Median(seconds) > 0 ? rawMedian / Median(seconds) : 0;
    state.counters["spool_rss_growth_KB"] = static_cast<double>(rssLast - rssFirst);
    const double ours = Median(seconds);
    const double py = Poplib(*box, log.lines, 5, "logged-in");
    if (py <= 0) state.SkipWithError("poplib failed");
    state.counters["korp_ms"] = ours * 1000;
    state.counters["poplib_ms"] = py * 1000;
    state.counters["korp_MB/s"] = ours > 0 ? octets / ours / 1e6 : 0;
    state.counters["poplib_MB/s"] = py > 0 ? octets / py / 1e6 : 0;
}
BENCHMARK(BM_Retr5MB)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();

// The ceiling: the same RETR read with bare 1024-byte receives of the transport, no client; the
// same units as above.
void BM_RawReceive5MB(benchmark::State& state) {
    Box* box = GetBox(1, kBigBytes);
    if (!box) {
        state.SkipWithError("no Dovecot");
        return;
    }
    platform::TcpTransport t;
    char buf[1024];
    auto command = [&](const std::string& line) {
        t.Send(line + "\r\n");
        return t.Receive(buf, sizeof buf) > 0;
    };
    if (!t.Open("127.0.0.1", box->server->Port()) || t.Receive(buf, sizeof buf) == 0 ||
        !command(std::string("USER ") + DovecotServer::kUser) ||
        !command(std::string("PASS ") + DovecotServer::kPassword)) {
        state.SkipWithError("login failed");
        return;
    }
    std::vector<double> seconds;
    std::size_t octets = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        t.Send("RETR 1\r\n");
        std::string tail;
        octets = 0;
        for (;;) {
            std::size_t n = t.Receive(buf, sizeof buf);
            if (n == 0) break;
            octets += n;
            tail.append(buf, n);
            if (tail.size() > 8) tail.erase(0, tail.size() - 8);
            if (tail.find("\r\n.\r\n") != std::string::npos) break;
        }
        seconds.push_back(Seconds(Clock::now() - start));
    }
    t.Close();
    const double ours = Median(seconds);
    state.counters["raw_ms"] = ours * 1000;
    state.counters["raw_MB/s"] = ours > 0 ? static_cast<double>(octets) / ours / 1e6 : 0;
}
BENCHMARK(BM_RawReceive5MB)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();

// What a mail check asks, one session each: USER, PASS, STAT and LAST, UIDL for every message,
// LIST and TOP for 20, QUIT. A first session builds Dovecot's index and warms up; poplib then
// sends the very commands that session sent. Both figures are the median session in ms.
void BM_CheckSequence(benchmark::State& state) {
    const int messages = static_cast<int>(state.range(0));
    Box* box = GetBox(messages, 2000);
    if (!box) {
        state.SkipWithError("no Dovecot");
        return;
    }
    CommandLog log;
    auto session = [&]() -> std::string {
        korp::TKorpPOP pop;
        Setup(pop, *box);
        log.Attach(pop);
        pop.Connect();
        if (pop.ErrorFlag || !pop.Login()) return "login failed";
        pop.GetMailCount();
        for (std::uint32_t n = 1; n <= pop.MailCount; ++n)
            benchmark::DoNotOptimize(pop.GetUIDL(n));
        for (std::uint32_t n = 1; n <= kTops && n <= pop.MailCount; ++n)
            pop.FreeMessage(pop.RetrieveHeader(n));
        pop.Quit();
        return pop.MailCount == static_cast<std::uint32_t>(messages) ? "" : "wrong message count";
    };
    log.on = true;
    if (const std::string error = session(); !error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    log.on = false;
    std::vector<double> seconds;
    for (auto _ : state) {
        const auto start = Clock::now();
        const std::string error = session();
        seconds.push_back(Seconds(Clock::now() - start));
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    const double py = Poplib(*box, log.lines, 3, "session");
    if (py <= 0) state.SkipWithError("poplib failed");
    state.counters["korp_ms"] = Median(seconds) * 1000;
    state.counters["poplib_ms"] = py * 1000;
}
BENCHMARK(BM_CheckSequence)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2)
    ->UseRealTime();

} // namespace

BREVON_BENCHMARK_MAIN()
