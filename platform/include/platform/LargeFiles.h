// Positions and sizes of C streams beyond 2 GiB, which each C library spells its own way.
#pragma once

#include <cstdint>
#include <cstdio>

namespace platform {

// As fseek, ftell and ftruncate, with 64-bit offsets: 0 (or the position) on success.
int SeekFile(std::FILE* file, std::int64_t offset, int whence);
std::int64_t TellFile(std::FILE* file);
int TruncateFile(std::FILE* file, std::int64_t size);

} // namespace platform
