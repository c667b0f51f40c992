#include <platform/LargeFiles.h>

#include <io.h>

namespace platform {

int SeekFile(std::FILE* file, std::int64_t offset, int whence) {
    return ::_fseeki64(file, offset, whence);
}

std::int64_t TellFile(std::FILE* file) {
    return ::_ftelli64(file);
}

int TruncateFile(std::FILE* file, std::int64_t size) {
    return ::_chsize_s(::_fileno(file), size);
}

} // namespace platform
