#include <platform/InstanceLock.h>

#include <utility>

#include <platform/DataPaths.h>

namespace platform {

std::filesystem::path InstanceLockFile(const std::filesystem::path& dir) {
    return dir.empty() ? dir : dir / "instance.lock";
}

std::filesystem::path InstanceLockFile() {
    return InstanceLockFile(UserConfigDir());
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : state_(other.state_), error_(other.error_), handle_(std::exchange(other.handle_, -1)) {
    other.state_ = State::Failed;
}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        Release();
        state_ = std::exchange(other.state_, State::Failed);
        error_ = other.error_;
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

InstanceLock::~InstanceLock() {
    Release();
}

} // namespace platform
