#include <platform/AtomicWrite.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::error_code LastError() {
    return {errno, std::system_category()};
}

std::error_code WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return LastError();
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

} // namespace

std::error_code CreatePrivateDirectories(const std::filesystem::path& dir) {
    if (dir.empty()) return std::make_error_code(std::errc::invalid_argument);
    std::filesystem::path partial;
    for (const auto& part : dir) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) == 0 || errno == EEXIST) continue;
        return LastError();
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) return LastError();
    if (!S_ISDIR(st.st_mode)) return std::make_error_code(std::errc::not_a_directory);
    return {};
}

namespace {

// A flushed temporary file next to the target, so the rename stays inside one file system;
// hidden, and built by appends: GCC 12 at -O3 flags the chained operator+ with a false
// -Wrestrict.
std::error_code WriteTemporary(const std::filesystem::path& file, std::string_view contents,
                               std::string& temp) {
    const std::filesystem::path dir = file.parent_path().empty() ? "." : file.parent_path();
    std::string name = ".";
    name += file.filename().string();
    name += ".XXXXXX";
    temp = (dir / name).string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC); // creates it 0600
    if (fd < 0) {
        const std::error_code error = LastError();
        temp.clear();
        return error;
    }
    std::error_code error = WriteAll(fd, contents);
    if (!error && ::fchmod(fd, 0600) != 0) error = LastError();
    if (!error && ::fsync(fd) != 0) error = LastError();
    if (::close(fd) != 0 && !error) error = LastError();
    return error;
}

// Makes the renames themselves durable; a failure here cannot undo them, so it is not reported.
void SyncFolder(const std::filesystem::path& file) {
    const std::filesystem::path dir = file.parent_path().empty() ? "." : file.parent_path();
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

} // namespace

std::error_code WriteFileAtomically(const std::filesystem::path& file, std::string_view contents) {
    const FileContents one{file, contents};
    return WriteFilesAtomically(std::span(&one, 1));
}

std::error_code WriteFilesAtomically(std::span<const FileContents> files) {
    std::vector<std::string> temps(files.size());
    std::error_code error;
    for (std::size_t i = 0; i < files.size() && !error; ++i)
        error = WriteTemporary(files[i].file, files[i].contents, temps[i]);
    for (std::size_t i = 0; i < files.size() && !error; ++i) {
        if (::rename(temps[i].c_str(), files[i].file.c_str()) != 0)
            error = LastError();
        else
            temps[i].clear();
    }
    for (const std::string& temp : temps)
        if (!temp.empty()) ::unlink(temp.c_str());
    if (error) return error;
    // Once per folder: one fsync makes every rename in it durable.
    std::vector<std::filesystem::path> synced;
    for (const FileContents& f : files) {
        const std::filesystem::path dir = f.file.parent_path();
        if (std::find(synced.begin(), synced.end(), dir) != synced.end()) continue;
        SyncFolder(f.file);
        synced.push_back(dir);
    }
    return {};
}

} // namespace platform
