#include <platform/InstanceLock.h>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <platform/AtomicWrite.h>

namespace platform {

// flock rather than fcntl locks: an fcntl lock is per process and would vanish when any other
// descriptor of the same file in the process closes, and it would not stop a second lock taken
// in the same process. O_CLOEXEC keeps the lock from living on in programs brevon starts (a
// help viewer may outlive it).
InstanceLock InstanceLock::TryAcquire(const std::filesystem::path& file) {
    if (file.empty()) return {State::Failed, std::make_error_code(std::errc::invalid_argument), -1};
    if (!file.parent_path().empty())
        if (std::error_code e = CreatePrivateDirectories(file.parent_path())) {
            return {State::Failed, e, -1};
        }
    int fd;
    do {
        fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return {State::Failed, {errno, std::system_category()}, -1};
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const int e = errno;
        ::close(fd);
        if (e == EWOULDBLOCK) return {State::HeldElsewhere, {}, -1};
        return {State::Failed, {e, std::system_category()}, -1};
    }
    return {State::Held, {}, fd};
}

void InstanceLock::Release() noexcept {
    if (handle_ < 0) return;
    // Closing the only descriptor of this open file drops the lock.
    ::close(static_cast<int>(handle_));
    handle_ = -1;
    state_ = State::Failed;
}

} // namespace platform
