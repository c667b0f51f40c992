#include "HeapPeak.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include <malloc.h>

namespace {
std::atomic<std::size_t> gHeapInUse{0};
std::atomic<std::size_t> gHeapPeak{0};
} // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    const std::size_t block = malloc_usable_size(p);
    const std::size_t now = gHeapInUse.fetch_add(block) + block;
    std::size_t peak = gHeapPeak.load();
    while (now > peak && !gHeapPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    gHeapInUse.fetch_sub(malloc_usable_size(p));
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

namespace brevon_bench {

std::size_t StartHeapPeak() {
    gHeapPeak = gHeapInUse.load();
    return gHeapPeak;
}

std::size_t HeapPeak() {
    return gHeapPeak.load();
}

} // namespace brevon_bench
