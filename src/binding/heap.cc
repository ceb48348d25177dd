#include "binding/heap.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace Varn {
namespace {

struct Counters {
  std::atomic<uint64_t> peakLiveBytes{0};
  std::atomic<uint64_t> liveCountAtPeak{0};
  std::atomic<uint64_t> totalBytesAllocated{0};
  std::atomic<uint64_t> totalAllocations{0};
  std::atomic<uint64_t> totalBytesFreed{0};
  std::atomic<uint64_t> totalFrees{0};
};

// Constant-initialised, so blocks allocated by other static initialisers are counted too.
constinit Counters counters;

void CountAllocation(size_t bytes) {
  const uint64_t allocated =
      counters.totalBytesAllocated.fetch_add(bytes, std::memory_order_relaxed) + bytes;
  const uint64_t allocations =
      counters.totalAllocations.fetch_add(1, std::memory_order_relaxed) + 1;
  const uint64_t freed = counters.totalBytesFreed.load(std::memory_order_relaxed);
  const uint64_t frees = counters.totalFrees.load(std::memory_order_relaxed);
  const uint64_t live = allocated - freed;
  uint64_t peak = counters.peakLiveBytes.load(std::memory_order_relaxed);
  while (live > peak) {
    if (counters.peakLiveBytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
      counters.liveCountAtPeak.store(allocations - frees, std::memory_order_relaxed);
      break;
    }
  }
}

void CountFree(size_t bytes) {
  counters.totalBytesFreed.fetch_add(bytes, std::memory_order_relaxed);
  counters.totalFrees.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

void* HeapAllocate(size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr) CountAllocation(malloc_usable_size(block));
  return block;
}

void HeapFree(void* block) {
  if (block == nullptr) return;
  CountFree(malloc_usable_size(block));
  std::free(block);
}

void* HeapReallocate(void* block, size_t size) {
  if (block == nullptr) return HeapAllocate(size);
  if (size == 0) {
    HeapFree(block);
    return nullptr;
  }
  const size_t old_size = malloc_usable_size(block);
  void* moved = std::realloc(block, size);
  if (moved == nullptr) return nullptr;
  CountFree(old_size);
  CountAllocation(malloc_usable_size(moved));
  return moved;
}

char* HeapDuplicateString(const char* text, size_t length) {
  char* copy = static_cast<char*>(HeapAllocate(length + 1));
  if (copy == nullptr) return nullptr;
  if (length != 0) std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

char* HeapDuplicateString(const char* text) {
  if (text == nullptr) return nullptr;
  return HeapDuplicateString(text, std::strlen(text));
}

size_t HeapBlockSize(const void* block) {
  return block == nullptr ? 0 : malloc_usable_size(const_cast<void*>(block));
}

HeapStatistics ReadHeapStatistics() {
  HeapStatistics stats;
  stats.peakLiveBytes = counters.peakLiveBytes.load(std::memory_order_relaxed);
  stats.liveCountAtPeak = counters.liveCountAtPeak.load(std::memory_order_relaxed);
  stats.totalBytesAllocated = counters.totalBytesAllocated.load(std::memory_order_relaxed);
  stats.totalAllocations = counters.totalAllocations.load(std::memory_order_relaxed);
  stats.totalBytesFreed = counters.totalBytesFreed.load(std::memory_order_relaxed);
  stats.totalFrees = counters.totalFrees.load(std::memory_order_relaxed);
  return stats;
}

}  // namespace Varn
