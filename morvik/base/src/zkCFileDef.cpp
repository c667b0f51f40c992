#include <morvik/base/zkCFileDef.h>

#include <morvik/base/zkCException.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <direct.h>
#else
#include <unistd.h>
#endif

namespace {

zk_cstring CurrentDirectory() {
    std::string buf(512, '\0');
    for (;;) {
#if defined(_WIN32)
        if (_getcwd(buf.data(), static_cast<int>(buf.size())) != nullptr) break;
#else
        if (getcwd(buf.data(), buf.size()) != nullptr) break;
#endif
        if (errno != ERANGE) return zk_cstring(".");
        buf.resize(buf.size() * 2);
    }
    return zk_cstring(buf.c_str());
}

#if defined(_WIN32)
bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The current directory of another drive: switch to it, ask, switch back.
zk_cstring CurrentDirectoryOfDrive(char drive) {
    int letter = (drive | 0x20) - 'a' + 1;
    char* cwd = _getdcwd(letter, nullptr, 0);
    if (cwd == nullptr) return zk_cstring(std::string(1, drive).append(":\\").c_str());
    zk_cstring r(cwd);
    std::free(cwd);
    return r;
}
#endif

bool IsAbsolute(const char* d) {
#if defined(_WIN32)
    return d[0] == '\\' || (IsDriveLetter(d[0]) && d[1] == ':' && d[2] == '\\');
#else
    return d[0] == '/';
#endif
}

void RemoveLastComponent(std::string& base) {
    std::size_t cut = base.find_last_of(zkDirSeparator);
    if (cut == std::string::npos) return;
    std::size_t keep = cut;
    // Never remove the root itself ("/" or "C:\").
    bool isRoot = cut == 0 || (cut == 2 && base[1] == ':');
    if (isRoot) keep = cut + 1;
    base.resize(keep);
}

bool ValidMode(const char* mode) {
    if (mode == nullptr || std::strchr("rwa", mode[0]) == nullptr || mode[0] == '\0') return false;
    for (const char* p = mode + 1; *p != '\0'; ++p) {
        if (std::strchr("+bt", *p) == nullptr) return false;
    }
    return true;
}

} // namespace

const zkCClassDescriptor* zkCFileDef::GetClassDescriptor() const {
    return &zkCFileDef_Class;
}

void zkCFileDef::SetFileName(const char* name, const char* directory) {
    if (name == nullptr && directory == nullptr) return;
    const bool noDirectory = directory == nullptr || *directory == '\0';
    if (name != nullptr && IsAbsolute(name)) {
        // A full path names its own folder; no other folder may be put before it.
        const char* cut = std::strrchr(name, zkDirSeparator);
        const std::string folder(name, cut == name ? 1 : static_cast<std::size_t>(cut - name));
        Name = cut + 1;
        Directory = folder.c_str();
    } else {
        Name = name;
        Directory = noDirectory ? "." : directory;
    }
    zk_cstring cwd = CurrentDirectory();
    ResolvedDirectory = ResolvePath(cwd.c_str(), Directory.c_str());
    if (ResolvedDirectory.length() > 0 &&
        ResolvedDirectory[ResolvedDirectory.length() - 1] == zkDirSeparator) {
        ResolvedDirectory.Chop(1);
    }
    FullPath = ResolvedDirectory;
    FullPath += zkDirSeparator;
    FullPath += Name;
}

zk_cstring zkCFileDef::ResolvePath(const char* currentDirectory, const char* directory) {
    if (directory == nullptr) directory = "";
    if (IsAbsolute(directory)) return zk_cstring(directory);

    std::string base = currentDirectory != nullptr ? currentDirectory : "";
    const char* rest = directory;
#if defined(_WIN32)
    if (IsDriveLetter(directory[0]) && directory[1] == ':') {
        zk_cstring driveDir = CurrentDirectoryOfDrive(directory[0]);
        base = driveDir.c_str();
        rest = directory + 2;
    }
#endif
    // Apply the components in order; an empty component ends the walk.
    const char* p = rest;
    for (;;) {
        const char* end = std::strchr(p, zkDirSeparator);
        std::string part = end != nullptr ? std::string(p, end) : std::string(p);
        if (part.empty()) break;
        if (part == "..") {
            RemoveLastComponent(base);
        } else if (part != ".") {
            if (base.empty() || base.back() != zkDirSeparator) base += zkDirSeparator;
            base += part;
        }
        if (end == nullptr) break;
        p = end + 1;
    }
    return zk_cstring(base.c_str());
}

void zkCFileDef::Open(const char* mode) {
    if (!ValidMode(mode)) ZK_THROW(zkCFileDefException::Make(ZK_ERR_MODE, FullPath));
#if defined(_WIN32)
    // The C library's fopen takes no longer path; Windows (and Wine) then report the file as
    // missing, which it need not be.
    if (std::strlen(FullPath.c_str()) >= _MAX_PATH)
        ZK_THROW(zkCFileDefException::Make(ZK_ERR_HANDLES, FullPath));
#endif
    errno = 0;
    Stream = std::fopen(FullPath.c_str(), mode);
    if (Stream != nullptr) return;
    switch (errno) {
    case ENOENT:
        ZK_THROW(zkCFileDefException::Make(ZK_ERR_NOT_FOUND, FullPath));
    case EEXIST:
        ZK_THROW(zkCFileDefException::Make(ZK_ERR_EXISTS, FullPath));
    case EINVAL:
        ZK_THROW(zkCFileDefException::Make(ZK_ERR_MODE, FullPath));
    case EACCES:
    case EPERM:
        ZK_THROW(zkCFileDefException::Make(ZK_ERR_ACCESS, FullPath));
    default:
        // Any other failure (too many open files, a name too long, ...) still leaves no stream,
        // so it must not pass in silence.
        ZK_THROW(zkCFileDefException::Make(ZK_ERR_HANDLES, FullPath));
    }
}

void zkCFileDef::Close() {
    if (Stream == nullptr) return;
    int rc = std::fclose(Stream);
    Stream = nullptr;
    if (rc != 0) ZK_THROW(zkCFileDefException::Make(ZK_ERR_CLOSE, FullPath));
}
