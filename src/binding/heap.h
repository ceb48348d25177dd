// The library's accounted heap. Every text, byte array and cell array of the boundary value form
// is allocated and freed here, so that either side of the host boundary can free what the other
// allocated, and the host can read how much the library holds. Thread-safe: the counters are
// atomic and the underlying heap is the C runtime's.
#ifndef ZEK_BINDING_HEAP_H_
#define ZEK_BINDING_HEAP_H_

#include <cstddef>
#include <cstdint>

namespace Varn {

// The six counters, in the order the host's memory-statistics record lists them. Sizes are the
// heap block sizes the C runtime reports, so they may exceed what was asked for.
struct HeapStatistics {
  uint64_t peakLiveBytes = 0;
  uint64_t liveCountAtPeak = 0;
  uint64_t totalBytesAllocated = 0;
  uint64_t totalAllocations = 0;
  uint64_t totalBytesFreed = 0;
  uint64_t totalFrees = 0;
};

// Null when the heap refuses; a size of 0 still yields a distinct block.
[[nodiscard]] void* HeapAllocate(size_t size);
// Null is ignored.
void HeapFree(void* block);
// realloc semantics: a null block allocates; a size of 0 frees and returns null. On refusal the
// old block stays valid and null is returned.
[[nodiscard]] void* HeapReallocate(void* block, size_t size);
// A NUL-terminated copy of `length` bytes of `text` (which need not be terminated), or null.
[[nodiscard]] char* HeapDuplicateString(const char* text, size_t length);
// A NUL-terminated copy of a NUL-terminated text; null in, null out.
[[nodiscard]] char* HeapDuplicateString(const char* text);
// The usable size of a block from this heap; 0 for null.
[[nodiscard]] size_t HeapBlockSize(const void* block);

// A snapshot of the counters; each is read atomically, the set is not one atomic read.
[[nodiscard]] HeapStatistics ReadHeapStatistics();

}  // namespace Varn

#endif  // ZEK_BINDING_HEAP_H_
