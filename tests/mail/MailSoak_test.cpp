// Thousands of timed checks through the mail side (the check cycle with the fake shell, the
// real POP3 client, real list files) against a real Dovecot behind a proxy that drops, stalls
// and garbles connections, while mail arrives at random and the server restarts now and then.
// Whatever the network does: every message is announced exactly once, the list and its files
// are never lost or shortened, checking never stops, and memory stays flat.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <unistd.h>

#include <mail/MessageList.h>

#include "FaultProxy.h"
#include "MailRig.h"
#include "PopTestServers.h"
#include "TempDirGuard.h"

namespace brevon {
namespace {

constexpr int kChecks = 2000;
constexpr int kWarmUp = 200;           // checks before memory is measured
constexpr long kMemorySlack = 1 << 20; // bytes the resident set may grow after the warm-up

// Under AddressSanitizer freed memory waits in a quarantine of its own, so the resident set
// grows whatever the code does; leaks are LeakSanitizer's to find there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentSetIsMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kResidentSetIsMeaningful = false;
#else
constexpr bool kResidentSetIsMeaningful = true;
#endif
#else
constexpr bool kResidentSetIsMeaningful = true;
#endif
constexpr std::uint32_t kDefaultSeed = 20261207;

// BREVON_SOAK_SEED repeats a run; the default keeps the suite the same from run to run.
std::uint32_t Seed() {
    const char* text = std::getenv("BREVON_SOAK_SEED");
    return text && *text ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10))
                         : kDefaultSeed;
}

long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

std::size_t LinesIn(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2)
        ++lines;
    return lines;
}

std::string Sender(int n) {
    return "Afzender " + std::to_string(n);
}
std::string Subject(int n) {
    return "Soak " + std::to_string(n);
}

// Notes which messages the header sentences said so far announced ("Onderwerp: Soak <n>").
void NoteAnnounced(const fakes::MailRig& rig, std::map<int, int>& announced) {
    static const std::string kMark = "Onderwerp: Soak ";
    for (const fakes::FakeSpeech::Said& said : rig.speech.said) {
        if (said.window != &rig.headerWindow) continue;
        const std::size_t at = said.text.find(kMark);
        if (at != std::string::npos) ++announced[std::atoi(said.text.c_str() + at + kMark.size())];
    }
}

TEST(MailSoak, EveryMessageIsAnnouncedOnceThroughDropsStallsNoiseAndRestarts) {
    const std::uint32_t seed = Seed();
    std::printf("soak seed %u (set BREVON_SOAK_SEED to repeat a run)\n", seed);
    std::mt19937 random(seed);
    const auto chance = [&random](int percent) {
        return std::uniform_int_distribution<int>(0, 999)(random) < percent * 10;
    };

    poptest::DovecotServer server;
    int added = 0;
    const auto arrive = [&] {
        ++added;
        server.AddMessage(fakes::Mail(
            Sender(added) + " <a" + std::to_string(added) + "@voorbeeld.nl>", Subject(added)));
    };
    for (int i = 0; i < 5; ++i)
        arrive();
    ASSERT_TRUE(server.Start()) << server.Error();
    poptest::FaultProxy proxy(server.Port(), seed, {.drop = 3, .stall = 1, .garbage = 4});

    fakes::MailRig rig;
    rig.client.TransportFactory = nullptr; // the real socket
    // A stalled server is given up soon; the stall is the proxy's, not a slow machine's.
    rig.client.ReceiveTimeout = std::chrono::milliseconds(200);
    rig.client.ConnectTimeout = std::chrono::milliseconds(2000);
    rig.settings.Host = "127.0.0.1:" + std::to_string(proxy.Port());
    rig.settings.User = poptest::DovecotServer::kUser;
    rig.settings.Password = poptest::DovecotServer::kPassword;
    const ListFiles files = ListFilesFor(rig.dir.Path(), rig.settings.User);
    TempDirGuard spool; // the client's message spool files, none left behind

    std::map<int, int> announced;
    int failed = 0, restarts = 0, downFor = 0;
    std::size_t listed = 0, idLines = 0;
    long baseline = 0, peak = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int check = 1; check <= kChecks; ++check) {
        SCOPED_TRACE("check " + std::to_string(check));
        if (chance(10)) arrive();
        if (chance(2)) arrive();
        // Now and then the server goes away for one to three ticks and comes back on its port.
        if (downFor > 0 && --downFor == 0) {
            ASSERT_TRUE(server.Restart()) << server.Error();
        } else if (downFor == 0 && chance(1) && chance(33)) {
            server.Stop();
            downFor = std::uniform_int_distribution<int>(1, 3)(random);
            ++restarts;
        }

        const int retryBefore = rig.state.RetryMinutes;
        rig.mail.CheckMail(); // the mail timer's tick
        rig.SpeakAll();
        NoteAnnounced(rig, announced);
        rig.speech.said.clear();
        rig.log.clear();

        // Checking never stops and never asks the user anything.
        ASSERT_TRUE(rig.state.Online);
        ASSERT_TRUE(rig.shell.mailTimer);
        ASSERT_EQ(rig.shell.optionsShown, 0);
        if (rig.state.RetryMinutes > 0) {
            ++failed;
            ASSERT_EQ(rig.state.RetryMinutes, retryBefore == 0 ? 1 : std::min(2 * retryBefore, 5));
            ASSERT_EQ(rig.shell.mailTimerMinutes, rig.state.RetryMinutes);
        } else {
            ASSERT_EQ(rig.shell.mailTimerMinutes, 5);
        }
        // The list and its files only grow, and the files hold what the list holds.
        ASSERT_GE(rig.state.KnownIds.size(), listed);
        listed = rig.state.KnownIds.size();
        ASSERT_EQ(rig.state.KnownHeaders.size(), listed);
        const std::size_t lines = LinesIn(files.ids);
        ASSERT_GE(lines, idLines);
        ASSERT_EQ(LinesIn(files.headers), lines);
        idLines = lines;

        if (check == kWarmUp) baseline = ResidentBytes();
        if (check > kWarmUp && check % 50 == 0) peak = std::max(peak, ResidentBytes());
    }

    // A calm network and the server up: one check gets through and ends the retries.
    proxy.SetFaults(false);
    if (downFor > 0) {
        ASSERT_TRUE(server.Restart()) << server.Error();
    }
    rig.mail.CheckMail();
    rig.SpeakAll();
    NoteAnnounced(rig, announced);
    EXPECT_EQ(rig.state.RetryMinutes, 0);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const poptest::FaultProxy::Counts faults = proxy.Snapshot();
    std::printf("soak: %d checks (%d failed and retried), %d messages, %.1f s; faults: "
                "%d connections, %d dropped mid-reply, %d stalled, %d garbled, %d server "
                "restarts (%d connections found it away); resident set %ld KiB after the "
                "warm-up, %+ld KiB at most later\n",
                kChecks + 1, failed, added, seconds, faults.connections, faults.drops,
                faults.stalls, faults.garbage, restarts, faults.serverAway, baseline / 1024,
                (peak - baseline) / 1024);

    for (int n = 1; n <= added; ++n)
        EXPECT_EQ(announced[n], 1) << Subject(n);
    EXPECT_EQ(static_cast<int>(announced.size()), added);

    // The list is the newest messages, newest first, with their own lines, and so are the files.
    const std::size_t expected = std::min<std::size_t>(added, 20);
    ASSERT_EQ(rig.state.KnownHeaders.size(), expected);
    for (std::size_t i = 0; i < expected; ++i) {
        const int n = added - static_cast<int>(i);
        EXPECT_EQ(rig.state.KnownHeaders[i], Sender(n) + "\t" + Subject(n));
    }
    std::vector<std::string> ids, headers;
    ASSERT_TRUE(LoadMessageList(files, ids, headers));
    EXPECT_EQ(ids, rig.state.KnownIds);
    EXPECT_EQ(headers, rig.state.KnownHeaders);

    if (kResidentSetIsMeaningful) {
        EXPECT_LT(peak - baseline, kMemorySlack);
    }
    EXPECT_EQ(spool.FilesLeft(), 0);
    EXPECT_EQ(rig.client.OwnedMessageCount(), 0u);
    // Each fault was met, so the run proved something about each.
    EXPECT_GT(faults.drops, 0);
    EXPECT_GT(faults.stalls, 0);
    EXPECT_GT(faults.garbage, 0);
    EXPECT_GT(restarts, 0);
}

} // namespace
} // namespace brevon
