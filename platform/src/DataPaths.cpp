// The portable half of the data paths: what follows from the executable's folder and the
// user's folders, whichever way the platform finds those.
#include <platform/DataPaths.h>

#include <system_error>

namespace platform {

std::filesystem::path ExecutableDir() {
    return ExecutablePath().parent_path();
}

std::filesystem::path UserDataFile(std::string_view fileName) {
    if (fileName.empty() || fileName == "." || fileName == "..") return {};
    if (fileName.find_first_of("/\\:") != std::string_view::npos) return {};
    if (fileName.find('\0') != std::string_view::npos) return {};
    const std::filesystem::path dir = UserDataDir();
    if (dir.empty()) return {};
    return dir / std::filesystem::path(std::string(fileName));
}

std::vector<std::filesystem::path> ReadOnlyDataDirs() {
    const std::filesystem::path exeDir = ExecutableDir();
    if (exeDir.empty()) return {};
    return {exeDir, (exeDir / ".." / "share" / "brevon").lexically_normal()};
}

std::filesystem::path FindReadOnlyDataFile(std::string_view fileName) {
    const auto dirs = ReadOnlyDataDirs();
    const std::filesystem::path name{std::string(fileName)};
    for (const auto& dir : dirs) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(dir / name, ec)) return dir / name;
    }
    return dirs.empty() ? name : dirs.front() / name;
}

std::string WithTrailingSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
        folder += static_cast<char>(std::filesystem::path::preferred_separator);
    return folder;
}

} // namespace platform
