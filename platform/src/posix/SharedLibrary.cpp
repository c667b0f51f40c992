#include <platform/SharedLibrary.h>

#include <filesystem>

#include <dlfcn.h>

#include <platform/DataPaths.h>

namespace platform {

namespace {

bool EndsWithDll(std::string_view name) {
    if (name.size() < 4) return false;
    const std::string_view end = name.substr(name.size() - 4);
    return end[0] == '.' && (end[1] | 0x20) == 'd' && (end[2] | 0x20) == 'l' &&
           (end[3] | 0x20) == 'l';
}

std::string LastLoaderError() {
    const char* e = ::dlerror();
    return e != nullptr ? e : "unknown loader error";
}

} // namespace

std::string PlatformLibraryName(std::string_view windowsName) {
    if (windowsName.find('/') != std::string_view::npos || !EndsWithDll(windowsName) ||
        windowsName.size() == 4)
        return std::string(windowsName);
#ifdef __APPLE__
    constexpr std::string_view suffix = ".dylib";
#else
    constexpr std::string_view suffix = ".so";
#endif
    std::string name = "lib";
    name += windowsName.substr(0, windowsName.size() - 4);
    name += suffix;
    return name;
}

std::unique_ptr<SharedLibrary> SharedLibrary::Load(std::string_view name, std::string& error) {
    const std::string fileName = PlatformLibraryName(name);
    if (fileName.empty()) {
        error = "empty library name";
        return nullptr;
    }
    constexpr int flags = RTLD_NOW | RTLD_LOCAL;
    if (fileName.find('/') == std::string::npos) {
        // Next to the executable first: an installed copy elsewhere must not shadow ours.
        const std::filesystem::path exeDir = ExecutableDir();
        if (!exeDir.empty()) {
            const std::filesystem::path local = exeDir / fileName;
            std::error_code ec;
            if (std::filesystem::exists(local, ec)) {
                if (void* handle = ::dlopen(local.c_str(), flags))
                    return std::unique_ptr<SharedLibrary>(new SharedLibrary(handle));
                error = LastLoaderError();
                return nullptr;
            }
        }
    }
    if (void* handle = ::dlopen(fileName.c_str(), flags))
        return std::unique_ptr<SharedLibrary>(new SharedLibrary(handle));
    error = LastLoaderError();
    return nullptr;
}

SharedLibrary::~SharedLibrary() {
    if (handle_ != nullptr) ::dlclose(handle_);
}

void* SharedLibrary::Symbol(const char* name) const {
    return handle_ != nullptr && name != nullptr ? ::dlsym(handle_, name) : nullptr;
}

} // namespace platform
