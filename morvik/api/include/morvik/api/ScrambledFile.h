// ScrambledFile: a data file whose bytes are XOR-ed with a key stream made from a seed, so that
// word lists do not sit in plain text on disk. The scrambling is its own inverse.
#pragma once

#include <morvik/base/zkCFileDef.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

class ScrambledFile : public zkCFileDef {
public:
    static constexpr std::size_t kKeySize = 1324;

    // Opens name in directory with mode (throws zkCFileDefException* like zkCFileDef::Open).
    // A seed of 0 means the name seed.
    ScrambledFile(const char* name, const char* directory, std::uint32_t seed,
                  const char* mode = "rb");
    ~ScrambledFile() override;

    // Reads up to count bytes and unscrambles them; returns the number read.
    std::size_t read(void* buffer, std::size_t count, std::FILE* stream);
    std::size_t read(void* buffer, std::size_t count) { return read(buffer, count, Stream); }
    // Scrambles a copy and writes it; returns the number of items written.
    std::size_t write(const void* buffer, std::size_t itemSize, std::size_t itemCount);
    // One number of 2, 4 or 8 bytes in the stored byte order, scrambled in file order.
    std::size_t readElement(void* buffer, std::size_t size);
    std::size_t writeElement(const void* buffer, std::size_t size);

    // The seed that a file name gives: its bytes XOR-ed into a 4-byte little-endian word.
    static std::uint32_t NameSeed(const char* name);
    // Key byte i is the low byte of the i-th lrand48 value after srand48(seed).
    static void MakeKey(std::uint32_t seed, unsigned char* key, std::size_t size);

    std::uint32_t Seed = 0;
    unsigned char* Key = nullptr;

private:
    long Offset() const;
};
