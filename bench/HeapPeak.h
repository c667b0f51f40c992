#pragma once
// The most heap in use through operator new at any moment since the last StartHeapPeak. Linking
// the bench_heap_peak library replaces the program's operator new and delete to count it.
#include <cstddef>

namespace brevon_bench {

// Sets the peak to the heap in use now and returns that.
std::size_t StartHeapPeak();
std::size_t HeapPeak();

} // namespace brevon_bench
