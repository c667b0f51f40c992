#include <morvik/api/gen_util.h>

#include <cerrno>
#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

[[noreturn]] void Stop(const char* message) {
    std::perror(message);
    std::exit(1);
}

int ComputeByteOrder() {
    const float f = FLT_MAX; // bits 7F7F FFFF
    unsigned char fb[sizeof f];
    std::memcpy(fb, &f, sizeof f);
    int floatSwapped = -1;
    if (fb[0] == 0x7F && fb[1] == 0x7F && fb[2] == 0xFF && fb[3] == 0xFF) floatSwapped = 0;
    if (fb[0] == 0xFF && fb[1] == 0xFF && fb[2] == 0x7F && fb[3] == 0x7F) floatSwapped = 1;
    if (floatSwapped < 0) Stop("Unexpected float byte order in byte_order_swapped!\n");

    const double d = DBL_MAX; // bits 7FEF FFFF FFFF FFFF
    unsigned char db[sizeof d];
    std::memcpy(db, &d, sizeof d);
    int doubleSwapped = -1;
    if (db[0] == 0x7F && db[1] == 0xEF && db[6] == 0xFF && db[7] == 0xFF) doubleSwapped = 0;
    if (db[0] == 0xFF && db[1] == 0xFF && db[6] == 0xEF && db[7] == 0x7F) doubleSwapped = 1;
    if (doubleSwapped < 0) Stop("Unexpected double byte order in byte_order_swapped!\n");

    if (floatSwapped != doubleSwapped) Stop("Inconsistent byte orders in byte_order_swapped!\n");
    return floatSwapped;
}

bool ValidSize(std::size_t size) {
    return size == 2 || size == 4 || size == 8;
}

void Reverse(unsigned char* p, std::size_t size) {
    for (std::size_t i = 0; i < size / 2; ++i) {
        unsigned char t = p[i];
        p[i] = p[size - 1 - i];
        p[size - 1 - i] = t;
    }
}

void ReportShort(const char* format, std::size_t done, std::size_t size) {
    char message[96];
    std::snprintf(message, sizeof message, format, static_cast<unsigned>(done),
                  static_cast<unsigned>(size));
    std::perror(message);
}

} // namespace

int byte_order_swapped() {
    static const int swapped = ComputeByteOrder();
    return swapped;
}

int swap_data(void* buffer, std::size_t size) {
    if (!ValidSize(size)) Stop("Parameter error in swap_data!\n");
    Reverse(static_cast<unsigned char*>(buffer), size);
    return 1;
}

std::size_t read_swap(int fd, void* buffer, std::size_t size) {
    static const int swapped = byte_order_swapped();
    if (!ValidSize(size) || buffer == nullptr) {
        std::fputs("Parameter error in read_swap!\n", stderr);
        return 0;
    }
    std::size_t done = 0;
    auto* p = static_cast<unsigned char*>(buffer);
    while (done < size) {
#if defined(_WIN32)
        int n = _read(fd, p + done, static_cast<unsigned>(size - done));
#else
        ssize_t n = ::read(fd, p + done, size - done);
#endif
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (done < size) {
        ReportShort("Read error in read_swap! (%u of %u)\n", done, size);
        return done;
    }
    if (swapped) Reverse(p, size);
    return size;
}

std::size_t fread_swap(std::FILE* stream, void* buffer, std::size_t size) {
    static const int swapped = byte_order_swapped();
    if (!ValidSize(size) || buffer == nullptr || stream == nullptr) {
        std::fputs("Parameter error in fread_swap!\n", stderr);
        return 0;
    }
    std::size_t done = std::fread(buffer, 1, size, stream);
    if (done < size) {
        ReportShort("Read error in fread_swap! (%u of %u)\n", done, size);
        return done;
    }
    if (swapped) Reverse(static_cast<unsigned char*>(buffer), size);
    return size;
}

std::size_t fwrite_swap(std::FILE* stream, void* buffer, std::size_t size) {
    static const int swapped = byte_order_swapped();
    if (!ValidSize(size) || buffer == nullptr || stream == nullptr) {
        std::fputs("Parameter error in fwrite_swap!\n", stderr);
        return 0;
    }
    auto* p = static_cast<unsigned char*>(buffer);
    if (swapped) Reverse(p, size);
    std::size_t done = std::fwrite(p, 1, size, stream);
    // The caller's number is left as it was, also after a short write.
    if (swapped) Reverse(p, size);
    if (done < size) {
        ReportShort("Write error in fwrite_swap! (%u of %u)\n", done, size);
        return done;
    }
    return size;
}

int fread_check(void* buffer, std::size_t itemSize, std::size_t itemCount, std::FILE* stream) {
    std::size_t done = (stream != nullptr && buffer != nullptr)
                           ? std::fread(buffer, itemSize, itemCount, stream)
                           : 0;
    if (done == itemCount) return 1;
    char message[96];
    std::snprintf(message, sizeof message, "fread_check (gen_util): %d of %d read!",
                  static_cast<int>(done * itemSize), static_cast<int>(itemCount * itemSize));
    std::perror(message);
    return 0;
}

int fwrite_check(const void* buffer, std::size_t itemSize, std::size_t itemCount,
                 std::FILE* stream) {
    std::size_t done = (stream != nullptr && buffer != nullptr)
                           ? std::fwrite(buffer, itemSize, itemCount, stream)
                           : 0;
    if (done == itemCount) return 1;
    char message[96];
    std::snprintf(message, sizeof message, "fwrite_check (gen_util): %d of %d written!",
                  static_cast<int>(done * itemSize), static_cast<int>(itemCount * itemSize));
    std::perror(message);
    return 0;
}
