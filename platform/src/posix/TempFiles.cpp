#include <platform/TempFiles.h>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

std::error_code LastError() {
    return {errno, std::system_category()};
}

// mkstemp creates the file with mode 0600 and O_EXCL, so the name is ours alone.
std::error_code CreateTemp(std::string_view prefix, std::string& name, int& fd) {
    std::string pattern = TempFolder();
    pattern.append(prefix).append("XXXXXX");
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return LastError();
    name = pattern;
    return {};
}

} // namespace

std::string TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::string folder = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

std::error_code CreateTempFile(std::string_view prefix, std::string& name) {
    int fd = -1;
    const std::error_code error = CreateTemp(prefix, name, fd);
    if (!error) ::close(fd);
    return error;
}

std::error_code OpenTempFile(std::string_view prefix, std::FILE*& file, std::string& name) {
    file = nullptr;
    name.clear();
    int fd = -1;
    if (const std::error_code error = CreateTemp(prefix, name, fd)) return error;
    // The open file outlives its name: a process that crashes or is killed leaves nothing in
    // the temporary folder.
    ::unlink(name.c_str());
    file = ::fdopen(fd, "w+b");
    if (file != nullptr) return {};
    const std::error_code error = LastError();
    ::close(fd);
    return error;
}

} // namespace platform
