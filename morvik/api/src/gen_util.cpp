#include <morvik/api/gen_util.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cfloat>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// The stored order is most significant byte first. Whether numbers must be reversed is a
// property of the compiler's target, so it is settled while compiling: a float or double layout
// other than IEEE in one byte order or its reverse cannot build.
constexpr int ComputeByteOrder() {
    constexpr auto fb = std::bit_cast<std::array<unsigned char, sizeof(float)>>(FLT_MAX);
    constexpr auto db = std::bit_cast<std::array<unsigned char, sizeof(double)>>(DBL_MAX);
    // FLT_MAX is 7F7F FFFF, DBL_MAX 7FEF FFFF FFFF FFFF.
    constexpr bool floatPlain = fb[0] == 0x7F && fb[1] == 0x7F && fb[2] == 0xFF && fb[3] == 0xFF;
    constexpr bool floatSwapped = fb[0] == 0xFF && fb[1] == 0xFF && fb[2] == 0x7F && fb[3] == 0x7F;
    constexpr bool doublePlain = db[0] == 0x7F && db[1] == 0xEF && db[6] == 0xFF && db[7] == 0xFF;
    constexpr bool doubleSwapped = db[0] == 0xFF && db[1] == 0xFF && db[6] == 0xEF && db[7] == 0x7F;
    static_assert(floatPlain || floatSwapped, "unexpected float byte order");
    static_assert(doublePlain || doubleSwapped, "unexpected double byte order");
    static_assert(floatSwapped == doubleSwapped, "inconsistent float and double byte orders");
    return floatSwapped ? 1 : 0;
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
    return ComputeByteOrder();
}

int swap_data(void* buffer, std::size_t size) {
    if (!ValidSize(size) || buffer == nullptr) {
        std::fputs("Parameter error in swap_data!\n", stderr);
        return 0;
    }
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
