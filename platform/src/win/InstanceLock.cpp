#include <platform/InstanceLock.h>

#include <windows.h>

namespace platform {

// The handle is opened without sharing for writing and locked with LockFileEx: Windows drops
// both when the process ends, also when it is killed. Handles are not inherited by the
// programs brevon starts, as CreateFileW makes them.
InstanceLock InstanceLock::TryAcquire(const std::filesystem::path& file) {
    if (file.empty()) return {State::Failed, std::make_error_code(std::errc::invalid_argument), -1};
    if (!file.parent_path().empty()) {
        std::error_code e;
        std::filesystem::create_directories(file.parent_path(), e);
        if (e) return {State::Failed, e, -1};
    }
    const HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_SHARING_VIOLATION) return {State::HeldElsewhere, {}, -1};
        return {State::Failed, {static_cast<int>(e), std::system_category()}, -1};
    }
    OVERLAPPED whole{};
    if (!::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                      MAXDWORD, &whole)) {
        const DWORD e = ::GetLastError();
        ::CloseHandle(handle);
        if (e == ERROR_LOCK_VIOLATION) return {State::HeldElsewhere, {}, -1};
        return {State::Failed, {static_cast<int>(e), std::system_category()}, -1};
    }
    return {State::Held, {}, reinterpret_cast<std::intptr_t>(handle)};
}

void InstanceLock::Release() noexcept {
    if (handle_ == -1) return;
    const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
    OVERLAPPED whole{};
    ::UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &whole);
    ::CloseHandle(handle);
    handle_ = -1;
    state_ = State::Failed;
}

} // namespace platform
