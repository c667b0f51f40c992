#include <platform/TempFiles.h>

#include <cerrno>

#include <windows.h>

namespace platform {

std::string TempFolder() {
    char path[MAX_PATH];
    const DWORD n = ::GetTempPathA(MAX_PATH, path);
    return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string(".\\");
}

std::error_code CreateTempFile(std::string_view prefix, std::string& name) {
    name.clear();
    char created[MAX_PATH];
    // GetTempFileName uses three characters of the prefix and creates the file.
    if (::GetTempFileNameA(TempFolder().c_str(), std::string(prefix).c_str(), 0, created) == 0)
        return {static_cast<int>(::GetLastError()), std::system_category()};
    name = created;
    return {};
}

std::error_code OpenTempFile(std::string_view prefix, std::FILE*& file, std::string& name) {
    file = nullptr;
    if (const std::error_code error = CreateTempFile(prefix, name)) return error;
    file = std::fopen(name.c_str(), "w+bD"); // D: deleted when closed
    if (file != nullptr) return {};
    const std::error_code error(errno, std::generic_category());
    ::DeleteFileA(name.c_str());
    return error;
}

} // namespace platform
