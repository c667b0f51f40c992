// Binary numbers in a fixed byte order (most significant byte first) and checked block I/O.
#pragma once

#include <cstddef>
#include <cstdio>

// 1 when numbers must be byte-reversed between memory and file. (A float or double layout
// that is neither order does not compile.)
int byte_order_swapped();
// Reverses the bytes of the one number (2, 4 or 8 bytes) in buffer: 1; any other size (or no
// buffer) is a parameter error: 0 after a message.
int swap_data(void* buffer, std::size_t size);
// Each reads or writes one number of 2, 4 or 8 bytes in the stored order; the result is the
// number of bytes done (0 on a parameter error, fewer than size on a short read or write).
std::size_t read_swap(int fd, void* buffer, std::size_t size);
std::size_t fread_swap(std::FILE* stream, void* buffer, std::size_t size);
std::size_t fwrite_swap(std::FILE* stream, void* buffer, std::size_t size);
// 1 when all itemCount items went through, else 0 after a perror line.
int fread_check(void* buffer, std::size_t itemSize, std::size_t itemCount, std::FILE* stream);
int fwrite_check(const void* buffer, std::size_t itemSize, std::size_t itemCount,
                 std::FILE* stream);
