#include <platform/LargeFiles.h>

#include <sys/types.h>
#include <unistd.h>

namespace platform {

int SeekFile(std::FILE* file, std::int64_t offset, int whence) {
    return ::fseeko(file, static_cast<off_t>(offset), whence);
}

std::int64_t TellFile(std::FILE* file) {
    return ::ftello(file);
}

int TruncateFile(std::FILE* file, std::int64_t size) {
    return ::ftruncate(::fileno(file), static_cast<off_t>(size));
}

} // namespace platform
