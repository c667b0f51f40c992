// One running brevon per user: two would write over each other's settings and message lists and
// announce every new message twice. The running program holds an exclusive lock on a file in its
// configuration folder for as long as it lives. The operating system drops the lock when the
// process ends, however it ends, so a crashed program never leaves it stuck; the file itself
// stays and means nothing while nobody holds it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace platform {

// "instance.lock" in dir; empty when dir is empty.
std::filesystem::path InstanceLockFile(const std::filesystem::path& dir);
// The one of the current user: in UserConfigDir(); empty when there is no home folder.
std::filesystem::path InstanceLockFile();

class InstanceLock {
public:
    enum class State {
        Held,          // this object holds the lock
        HeldElsewhere, // another process (or another InstanceLock) holds it
        Failed,        // the file could not be made or locked; error() says why
    };

    // Tries once and never waits. Creates the file, and its folder with owner-only permissions,
    // when they are missing; a file that exists is opened without changing it.
    static InstanceLock TryAcquire(const std::filesystem::path& file);

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    // Releases the lock when held.
    ~InstanceLock();

    State state() const { return state_; }
    bool Held() const { return state_ == State::Held; }
    std::error_code error() const { return error_; }

private:
    InstanceLock(State state, std::error_code error, std::intptr_t handle)
        : state_(state), error_(error), handle_(handle) {}
    void Release() noexcept;

    State state_ = State::Failed;
    std::error_code error_;
    std::intptr_t handle_ = -1; // a file descriptor, or a Windows HANDLE; -1 when none
};

} // namespace platform
