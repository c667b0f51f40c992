#include <platform/DataPaths.h>

#include <cstdlib>
#include <string>
#include <system_error>

#include <pwd.h>
#include <unistd.h>

namespace platform {

namespace {

std::filesystem::path HomeDir() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    // No usable $HOME (services, some sandboxes): ask the password database.
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

// The XDG rule: the variable when it holds an absolute path, else the default below home.
std::filesystem::path XdgDir(const char* variable, const char* fallbackBelowHome) {
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/')
        return value;
    const std::filesystem::path home = HomeDir();
    if (home.empty()) return {};
    return home / fallbackBelowHome;
}

} // namespace

std::filesystem::path ExecutablePath() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe;
}

std::filesystem::path UserConfigHome() {
    return XdgDir("XDG_CONFIG_HOME", ".config");
}

std::filesystem::path UserConfigDir() {
    const std::filesystem::path base = UserConfigHome();
    return base.empty() ? base : base / "brevon";
}

std::filesystem::path UserDataDir() {
    const std::filesystem::path base = XdgDir("XDG_DATA_HOME", ".local/share");
    return base.empty() ? base : base / "brevon";
}

} // namespace platform
