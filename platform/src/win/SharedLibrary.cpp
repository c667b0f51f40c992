#include <platform/SharedLibrary.h>

#include <filesystem>

#include <windows.h>

#include <platform/DataPaths.h>

namespace platform {

std::string PlatformLibraryName(std::string_view windowsName) {
    return std::string(windowsName);
}

std::unique_ptr<SharedLibrary> SharedLibrary::Load(std::string_view name, std::string& error) {
    if (name.empty()) {
        error = "empty library name";
        return nullptr;
    }
    // The executable's folder first; the current folder is left out of the search on purpose.
    const std::filesystem::path local = ExecutableDir() / std::string(name);
    HMODULE module = nullptr;
    std::error_code ec;
    if (name.find_first_of("\\/:") == std::string_view::npos && std::filesystem::exists(local, ec))
        module = ::LoadLibraryExW(local.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    else
        module =
            ::LoadLibraryExA(std::string(name).c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (module == nullptr) {
        error = std::system_category().message(static_cast<int>(::GetLastError()));
        return nullptr;
    }
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(module));
}

SharedLibrary::~SharedLibrary() {
    if (handle_ != nullptr) ::FreeLibrary(static_cast<HMODULE>(handle_));
}

void* SharedLibrary::Symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

} // namespace platform
