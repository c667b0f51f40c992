// One brevon per user, with the real program: offscreen, speech into a null sink, every folder
// of its own in a temporary place.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <app/Settings.h>
#include <platform/FileSettingsStore.h>
#include <platform/InstanceLock.h>

#include "Subprocess.h"

namespace fs = std::filesystem;
using platform::InstanceLock;
using testsupport::ReadWholeFile;

namespace {

class SingleInstance : public ::testing::Test {
protected:
    fs::path ConfigDir() const { return tmp_.Path() / "config" / "brevon"; }
    fs::path DataDir() const { return tmp_.Path() / "data" / "brevon"; }
    fs::path Transcript() const { return tmp_.Path() / "out" / "transcript.txt"; }
    fs::path TraceFile() const { return tmp_.Path() / "out" / "trace.txt"; }

    void SetUp() override {
        fs::create_directories(tmp_.Path() / "home");
        fs::create_directories(tmp_.Path() / "out");
    }

    // The environment of a user's session; desktop adds a display name (never connected to:
    // the platform is offscreen).
    std::vector<std::string> Environment(bool desktop) const {
        std::vector<std::string> env{
            "HOME=" + (tmp_.Path() / "home").string(),
            "XDG_CONFIG_HOME=" + (tmp_.Path() / "config").string(),
            "XDG_DATA_HOME=" + (tmp_.Path() / "data").string(),
            "QT_QPA_PLATFORM=offscreen",
            "QVSTTS_SINK=null:50",
            "QVSTTS_TRANSCRIPT=" + Transcript().string(),
            "BREVON_TRACE=" + TraceFile().string(),
            "WAYLAND_DISPLAY",
        };
        env.push_back(desktop ? "DISPLAY=:97" : "DISPLAY");
        return env;
    }

    // The sound server's client keeps a link of its own there once speech has started.
    fs::path SoundClientDir() const { return tmp_.Path() / "config" / "pulse"; }

    // Every file below the user's folders with its contents and time of last change.
    std::map<fs::path, std::pair<std::string, fs::file_time_type>> Snapshot() const {
        std::map<fs::path, std::pair<std::string, fs::file_time_type>> files;
        for (const char* top : {"home", "config", "data"}) {
            for (auto it = fs::recursive_directory_iterator(tmp_.Path() / top);
                 it != fs::recursive_directory_iterator(); ++it) {
                if (it->path() == SoundClientDir()) {
                    it.disable_recursion_pending();
                    continue;
                }
                files[it->path()] = {it->is_regular_file() ? ReadWholeFile(it->path()) : "",
                                     it->last_write_time()};
            }
        }
        return files;
    }

    testsupport::TempDir tmp_;
};

TEST_F(SingleInstance, ASecondBrevonSaysSoAndTouchesNothing) {
    // A user who has run brevon before: settings and message lists in place.
    brevon::Settings settings;
    brevon::SetDefaultSettings(settings, [] { return brevon::EngineDefaults{7, 5, 5, 5}; });
    settings.Host = "pop.example.nl";
    settings.User = "jan";
    platform::FileSettingsStore store(platform::FileSettingsStore::FileIn(ConfigDir()));
    ASSERT_TRUE(brevon::SaveSettings(store, settings));
    fs::create_directories(DataDir());
    std::ofstream(DataDir() / "jan.id", std::ios::binary) << "uid-1\r\n";
    std::ofstream(DataDir() / "jan.he", std::ios::binary) << "Piet\tVergadering\r\n";

    for (const bool desktop : {false, true}) {
        SCOPED_TRACE(desktop ? "under a desktop" : "from a bare terminal");
        fs::remove(Transcript());
        // The running brevon, as far as the lock goes.
        const InstanceLock first =
            InstanceLock::TryAcquire(platform::InstanceLockFile(ConfigDir()));
        ASSERT_TRUE(first.Held()) << first.error().message();
        const auto before = Snapshot();

        const testsupport::RunResult second =
            testsupport::Run({BREVON_PROGRAM}, Environment(desktop));
        ASSERT_TRUE(second.finished) << "the second brevon kept running";
        EXPECT_EQ(second.exitCode, 0) << second.err;
        EXPECT_NE(second.err.find("brevon: Brevon is al gestart.\n"), std::string::npos)
            << second.err;
        EXPECT_EQ(Snapshot(), before);
        EXPECT_FALSE(fs::exists(TraceFile())) << ReadWholeFile(TraceFile());

        // Under a desktop it is said, once, and nothing else is: no greeting.
        const std::string said = ReadWholeFile(Transcript());
        if (desktop) {
            EXPECT_EQ(said.substr(said.find('\t', said.find('\t') + 1) + 1),
                      "Brevon is al gestart.\n")
                << said;
            EXPECT_EQ(said.find('\n'), said.size() - 1) << said;
        } else {
            // Not even the speech engine was loaded.
            EXPECT_EQ(said, "");
            EXPECT_FALSE(fs::exists(SoundClientDir()));
        }
    }
}

TEST_F(SingleInstance, TheRunningBrevonHoldsTheLockUntilItDies) {
    const fs::path lockFile = platform::InstanceLockFile(ConfigDir());
    testsupport::Spawned brevon({BREVON_PROGRAM}, Environment(false));
    ASSERT_GT(brevon.pid(), 0);
    // Up once the trace says so; generous, as a loaded machine may be slow.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (ReadWholeFile(TraceFile()).find("Started\n") == std::string::npos) {
        ASSERT_TRUE(brevon.Running()) << "brevon ended at start-up";
        ASSERT_LT(std::chrono::steady_clock::now(), until) << "brevon did not start";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(InstanceLock::TryAcquire(lockFile).state(), InstanceLock::State::HeldElsewhere);

    // A crash leaves nothing stuck: the next brevon may start.
    const int status = brevon.Kill(SIGKILL);
    EXPECT_TRUE(WIFSIGNALED(status));
    const InstanceLock next = InstanceLock::TryAcquire(lockFile);
    EXPECT_TRUE(next.Held()) << next.error().message();
}

} // namespace
