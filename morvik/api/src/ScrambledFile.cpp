#include <morvik/api/ScrambledFile.h>

#include <cstring>
#include <memory>
#include <vector>

#include <morvik/api/gen_util.h>

std::uint32_t ScrambledFile::NameSeed(const char* name) {
    unsigned char acc[4] = {0, 0, 0, 0};
    if (name != nullptr) {
        for (std::size_t i = 0; name[i] != '\0'; ++i)
            acc[i % 4] ^= static_cast<unsigned char>(name[i]);
    }
    std::uint32_t seed =
        acc[0] | (acc[1] << 8) | (acc[2] << 16) | (static_cast<std::uint32_t>(acc[3]) << 24);
    return seed == 0 ? 1 : seed;
}

void ScrambledFile::MakeKey(std::uint32_t seed, unsigned char* key, std::size_t size) {
    // POSIX lrand48, written out so that the key is the same on every platform.
    std::uint64_t state = (static_cast<std::uint64_t>(seed) << 16) | 0x330E;
    const std::uint64_t mask = (std::uint64_t{1} << 48) - 1;
    for (std::size_t i = 0; i < size; ++i) {
        state = (state * 0x5DEECE66DULL + 0xB) & mask;
        key[i] = static_cast<unsigned char>(state >> 17);
    }
}

ScrambledFile::ScrambledFile(const char* name, const char* directory, std::uint32_t seed,
                             const char* mode) {
    SetFileName(name, directory);
    // The key first: once the file is open nothing may throw, or the stream would be lost with
    // the half-made object.
    std::unique_ptr<unsigned char[]> key;
    if (name != nullptr) {
        Seed = seed != 0 ? seed : NameSeed(name);
        key = std::make_unique<unsigned char[]>(kKeySize);
        MakeKey(Seed, key.get(), kKeySize);
    }
    Open(mode);
    Key = key.release();
}

ScrambledFile::~ScrambledFile() {
    delete[] Key;
    if (Stream != nullptr) {
        std::fclose(Stream);
        Stream = nullptr;
    }
}

long ScrambledFile::Offset() const {
    long p = Stream != nullptr ? std::ftell(Stream) : 0;
    return p < 0 ? 0 : p;
}

std::size_t ScrambledFile::read(void* buffer, std::size_t count, std::FILE* stream) {
    if (stream == nullptr || buffer == nullptr) return 0;
    long p = std::ftell(stream);
    if (p < 0) p = 0;
    std::size_t n = std::fread(buffer, 1, count, stream);
    auto* b = static_cast<unsigned char*>(buffer);
    if (Key != nullptr) {
        for (std::size_t j = 0; j < n; ++j)
            b[j] ^= Key[(static_cast<std::size_t>(p) + j) % kKeySize];
    }
    return n;
}

std::size_t ScrambledFile::write(const void* buffer, std::size_t itemSize, std::size_t itemCount) {
    if (Stream == nullptr || buffer == nullptr) return 0;
    const std::size_t p = static_cast<std::size_t>(Offset());
    std::vector<unsigned char> copy(static_cast<const unsigned char*>(buffer),
                                    static_cast<const unsigned char*>(buffer) +
                                        itemSize * itemCount);
    if (Key != nullptr) {
        for (std::size_t j = 0; j < copy.size(); ++j)
            copy[j] ^= Key[(p + j) % kKeySize];
    }
    return std::fwrite(copy.data(), itemSize, itemCount, Stream);
}

std::size_t ScrambledFile::readElement(void* buffer, std::size_t size) {
    if (Stream == nullptr) return 0;
    const std::size_t p = static_cast<std::size_t>(Offset());
    std::size_t n = fread_swap(Stream, buffer, size);
    if (n != size || Key == nullptr) return n;
    auto* b = static_cast<unsigned char*>(buffer);
    const bool swapped = byte_order_swapped() != 0;
    for (std::size_t j = 0; j < size; ++j) {
        std::size_t k = swapped ? size - 1 - j : j;
        b[k] ^= Key[(p + j) % kKeySize];
    }
    return n;
}

std::size_t ScrambledFile::writeElement(const void* buffer, std::size_t size) {
    if (size > 8) return fwrite_swap(Stream, nullptr, size); // reports the parameter error
    if (Stream == nullptr || buffer == nullptr) return 0;
    const std::size_t p = static_cast<std::size_t>(Offset());
    unsigned char copy[8];
    std::memcpy(copy, buffer, size);
    if (Key != nullptr) {
        const bool swapped = byte_order_swapped() != 0;
        for (std::size_t j = 0; j < size; ++j) {
            std::size_t k = swapped ? size - 1 - j : j;
            copy[k] ^= Key[(p + j) % kKeySize];
        }
    }
    return fwrite_swap(Stream, copy, size);
}
