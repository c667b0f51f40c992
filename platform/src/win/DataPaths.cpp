#include <platform/DataPaths.h>

#include <string>

#include <shlobj.h>
#include <windows.h>

namespace platform {

namespace {

std::filesystem::path KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::filesystem::path result;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path))) result = path;
    ::CoTaskMemFree(path);
    return result;
}

} // namespace

std::filesystem::path ExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::filesystem::path UserConfigHome() {
    return KnownFolder(FOLDERID_RoamingAppData);
}

std::filesystem::path UserConfigDir() {
    const std::filesystem::path base = UserConfigHome();
    return base.empty() ? base : base / L"Brevon";
}

std::filesystem::path UserDataDir() {
    return UserConfigDir();
}

} // namespace platform
