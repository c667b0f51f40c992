// Throughput of the POP3 client against a local Dovecot, next to Python's poplib doing the same
// in the same run. Loopback only.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include <korp/KorpMsg.h>
#include <korp/KorpPOP3.h>
#include <platform/TcpTransport.h>

#include "PopTestServers.h"

namespace {

using poptest::DovecotServer;

constexpr std::size_t kBigBytes = 5 * 1024 * 1024;
constexpr int kTops = 20;

// One server per mailbox shape, started on first use and kept for the whole run.
struct Box {
    std::unique_ptr<DovecotServer> server;
    std::string passwordFile;
    poptest::TempDir dir;
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
    if (!DovecotServer::Missing().empty()) return nullptr;
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

// Mean seconds per repetition of the reference, or a negative number when it failed.
double Poplib(const Box& box, const std::string& mode, int arg, int repeat) {
    std::string cmd = "python3 '" POPLIB_REFERENCE "' " + std::to_string(box.server->Port()) + " " +
                      DovecotServer::kUser + " '" + box.passwordFile + "' " + mode + " " +
                      std::to_string(arg) + " " + std::to_string(repeat);
    std::FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return -1;
    double seconds = -1;
    if (std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
    ::pclose(p);
    return seconds;
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

void BM_Retr5MB(benchmark::State& state) {
    Box* box = GetBox(1, kBigBytes);
    if (!box) {
        state.SkipWithError("no Dovecot");
        return;
    }
    korp::TKorpPOP pop;
    Setup(pop, *box);
    pop.Connect();
    if (pop.ErrorFlag || !pop.Login()) {
        state.SkipWithError("login failed");
        return;
    }
    // Spooling must not grow with the message: compare memory at the first and last progress.
    long rssFirst = 0, rssLast = 0;
    pop.OnRetrieveProgress = [&](korp::TKorpPOP&, std::uint16_t percent) {
        if (percent <= 10)
            rssFirst = RssKb();
        else
            rssLast = RssKb();
    };
    for (auto _ : state) {
        korp::TKorpMsg* msg = pop.Retrieve(1);
        if (!msg) {
            state.SkipWithError(pop.LastError.c_str());
            break;
        }
        pop.FreeMessage(msg);
    }
    pop.Quit();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBigBytes));
    state.counters["spool_rss_growth_KB"] = static_cast<double>(rssLast - rssFirst);
    double py = Poplib(*box, "retr", 1, 5);
    state.counters["poplib_MB/s"] = py > 0 ? kBigBytes / py / 1e6 : 0;
}
BENCHMARK(BM_Retr5MB)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();

// The ceiling: the same RETR read with bare 1024-byte receives of the transport, no client.
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
    for (auto _ : state) {
        t.Send("RETR 1\r\n");
        std::string tail;
        for (;;) {
            std::size_t n = t.Receive(buf, sizeof buf);
            if (n == 0) break;
            tail.append(buf, n);
            if (tail.size() > 8) tail.erase(0, tail.size() - 8);
            if (tail.find("\r\n.\r\n") != std::string::npos) break;
        }
    }
    t.Close();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBigBytes));
}
BENCHMARK(BM_RawReceive5MB)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();

// What a mail check asks: USER, PASS, STAT (and LAST), UIDL for every message, TOP for 20.
void BM_CheckSequence(benchmark::State& state) {
    const int messages = static_cast<int>(state.range(0));
    Box* box = GetBox(messages, 2000);
    if (!box) {
        state.SkipWithError("no Dovecot");
        return;
    }
    // A first session lets Dovecot build its index, so neither client pays for it.
    Poplib(*box, "check", kTops, 1);
    for (auto _ : state) {
        korp::TKorpPOP pop;
        Setup(pop, *box);
        pop.Connect();
        if (pop.ErrorFlag || !pop.Login()) {
            state.SkipWithError("login failed");
            break;
        }
        pop.GetMailCount();
        for (std::uint16_t n = 1; n <= pop.MailCount; ++n)
            benchmark::DoNotOptimize(pop.GetUIDL(n));
        for (std::uint16_t n = 1; n <= kTops && n <= pop.MailCount; ++n)
            pop.FreeMessage(pop.RetrieveHeader(n));
        pop.Quit();
        if (pop.MailCount != messages) {
            state.SkipWithError("wrong message count");
            break;
        }
    }
    double py = Poplib(*box, "check", kTops, 3);
    state.counters["poplib_ms"] = py * 1000;
}
BENCHMARK(BM_CheckSequence)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
