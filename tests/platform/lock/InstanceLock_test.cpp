#include <platform/InstanceLock.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Subprocess.h"

namespace fs = std::filesystem;
using platform::InstanceLock;
using State = platform::InstanceLock::State;

namespace {

// A child process that takes the lock and keeps it until it is killed. Returns its id once
// it holds the lock, or -1 when it could not take it.
pid_t ChildHoldingLock(const fs::path& file) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        const InstanceLock lock = InstanceLock::TryAcquire(file);
        const char held = lock.Held() ? '1' : '0';
        (void)!::write(ready[1], &held, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char held = '0';
    const bool told = ::read(ready[0], &held, 1) == 1;
    ::close(ready[0]);
    if (child > 0 && (!told || held != '1')) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return -1;
    }
    return child;
}

// What another process gets when it tries now.
State StateInChild(const fs::path& file) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(static_cast<int>(InstanceLock::TryAcquire(file).state()));
    int status = 0;
    ::waitpid(child, &status, 0);
    return static_cast<State>(WEXITSTATUS(status));
}

} // namespace

TEST(InstanceLock, OneHolderAtATimeAcrossProcessesAndFreeAgainWhenTheHolderIsKilled) {
    testsupport::TempDir dir;
    const fs::path file = platform::InstanceLockFile(dir.Path() / "brevon");

    const pid_t holder = ChildHoldingLock(file);
    ASSERT_GT(holder, 0);
    EXPECT_EQ(InstanceLock::TryAcquire(file).state(), State::HeldElsewhere);
    EXPECT_EQ(StateInChild(file), State::HeldElsewhere);

    // A crash: nothing runs in the holder to let go.
    ASSERT_EQ(::kill(holder, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(holder, &status, 0), holder);
    ASSERT_TRUE(WIFSIGNALED(status));

    InstanceLock mine = InstanceLock::TryAcquire(file);
    EXPECT_EQ(mine.state(), State::Held) << mine.error().message();
    EXPECT_EQ(StateInChild(file), State::HeldElsewhere);
}

TEST(InstanceLock, IsReleasedWithItsLastOwnerInTheProcess) {
    testsupport::TempDir dir;
    const fs::path file = platform::InstanceLockFile(dir.Path());
    {
        InstanceLock first = InstanceLock::TryAcquire(file);
        ASSERT_TRUE(first.Held()) << first.error().message();
        // A second holder in the same process is refused too.
        EXPECT_EQ(InstanceLock::TryAcquire(file).state(), State::HeldElsewhere);
        InstanceLock moved = std::move(first);
        EXPECT_FALSE(first.Held());
        EXPECT_TRUE(moved.Held());
        EXPECT_EQ(StateInChild(file), State::HeldElsewhere);
    }
    EXPECT_EQ(StateInChild(file), State::Held);
    // The file stays; it means nothing while nobody holds it.
    EXPECT_TRUE(fs::exists(file));
}

TEST(InstanceLock, IsNotPassedOnToProgramsTheHolderStarts) {
    testsupport::TempDir dir;
    const fs::path file = platform::InstanceLockFile(dir.Path());
    std::optional<InstanceLock> lock(InstanceLock::TryAcquire(file));
    ASSERT_TRUE(lock->Held());

    // A program that outlives the holder, as a help viewer may. The pipe closes when its exec
    // has closed the descriptors that do not pass on.
    int execed[2];
    ASSERT_EQ(::pipe2(execed, O_CLOEXEC), 0);
    const pid_t viewer = ::fork();
    if (viewer == 0) {
        ::execl("/bin/sleep", "sleep", "300", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(execed[1]);
    char byte;
    EXPECT_EQ(::read(execed[0], &byte, 1), 0);
    ::close(execed[0]);

    lock.reset();
    EXPECT_EQ(StateInChild(file), State::Held) << "the started program kept the lock";
    ::kill(viewer, SIGKILL);
    ::waitpid(viewer, nullptr, 0);
}

TEST(InstanceLock, MakesItsFolderPrivatelyAndReportsWhatItCannotMake) {
    testsupport::TempDir dir;
    const fs::path folder = dir.Path() / "config" / "brevon";
    {
        const InstanceLock lock = InstanceLock::TryAcquire(platform::InstanceLockFile(folder));
        EXPECT_TRUE(lock.Held()) << lock.error().message();
    }
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);

    std::ofstream(dir.Path() / "plain") << "a file, not a folder";
    const InstanceLock blocked =
        InstanceLock::TryAcquire(platform::InstanceLockFile(dir.Path() / "plain"));
    EXPECT_EQ(blocked.state(), State::Failed);
    EXPECT_TRUE(blocked.error());
    EXPECT_EQ(InstanceLock::TryAcquire({}).state(), State::Failed);
}

TEST(InstanceLock, TheUsersLockSitsInItsConfigFolder) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", "/x/conf", 1);
    EXPECT_EQ(platform::InstanceLockFile(), fs::path("/x/conf/brevon/instance.lock"));
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(platform::InstanceLockFile(fs::path()), fs::path());
}
