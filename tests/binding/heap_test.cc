#include "binding/heap.h"

#include <gtest/gtest.h>

#include <cstring>

namespace Varn {
namespace {

HeapStatistics Delta(const HeapStatistics& before, const HeapStatistics& after) {
  return {after.peakLiveBytes - before.peakLiveBytes,
          after.liveCountAtPeak,
          after.totalBytesAllocated - before.totalBytesAllocated,
          after.totalAllocations - before.totalAllocations,
          after.totalBytesFreed - before.totalBytesFreed,
          after.totalFrees - before.totalFrees};
}

TEST(HeapTest, CountsEveryRequestByItsBlockSize) {
  const HeapStatistics before = ReadHeapStatistics();
  void* a = HeapAllocate(100);
  ASSERT_NE(a, nullptr);
  const size_t a_size = HeapBlockSize(a);
  EXPECT_GE(a_size, 100u);
  char* text = HeapDuplicateString("hello");
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "hello");
  const size_t text_size = HeapBlockSize(text);
  void* grown = HeapReallocate(a, 5000);
  ASSERT_NE(grown, nullptr);
  const size_t grown_size = HeapBlockSize(grown);
  HeapFree(grown);
  HeapFree(text);

  const HeapStatistics d = Delta(before, ReadHeapStatistics());
  EXPECT_EQ(d.totalAllocations, 3u);  // allocate, duplicate, reallocate
  EXPECT_EQ(d.totalFrees, 3u);        // the block reallocation left, and the two frees
  EXPECT_EQ(d.totalBytesAllocated, a_size + text_size + grown_size);
  EXPECT_EQ(d.totalBytesFreed, a_size + text_size + grown_size);
}

TEST(HeapTest, PeakFollowsTheHighestLiveTotal) {
  // The peak is process-wide; a block far larger than anything else live makes it ours.
  const HeapStatistics before = ReadHeapStatistics();
  const uint64_t live = before.totalBytesAllocated - before.totalBytesFreed;
  const size_t big = static_cast<size_t>(before.peakLiveBytes - live) + (1u << 20);
  void* small = HeapAllocate(16);
  void* block = HeapAllocate(big);
  ASSERT_NE(block, nullptr);
  const HeapStatistics at_peak = ReadHeapStatistics();
  EXPECT_EQ(at_peak.peakLiveBytes, at_peak.totalBytesAllocated - at_peak.totalBytesFreed);
  EXPECT_EQ(at_peak.liveCountAtPeak, at_peak.totalAllocations - at_peak.totalFrees);
  HeapFree(block);
  HeapFree(small);
  const HeapStatistics after = ReadHeapStatistics();
  EXPECT_EQ(after.peakLiveBytes, at_peak.peakLiveBytes);  // freeing never lowers it
  EXPECT_EQ(after.liveCountAtPeak, at_peak.liveCountAtPeak);
}

TEST(HeapTest, NullAndZeroSizedRequests) {
  const HeapStatistics before = ReadHeapStatistics();
  HeapFree(nullptr);
  EXPECT_EQ(HeapBlockSize(nullptr), 0u);
  EXPECT_EQ(HeapDuplicateString(nullptr), nullptr);
  void* zero = HeapAllocate(0);
  EXPECT_NE(zero, nullptr);
  EXPECT_EQ(HeapReallocate(zero, 0), nullptr);  // frees
  void* fresh = HeapReallocate(nullptr, 8);     // allocates
  EXPECT_NE(fresh, nullptr);
  HeapFree(fresh);
  char* part = HeapDuplicateString("abcdef", 3);
  EXPECT_STREQ(part, "abc");
  HeapFree(part);
  const HeapStatistics d = Delta(before, ReadHeapStatistics());
  EXPECT_EQ(d.totalAllocations, d.totalFrees);
  EXPECT_EQ(d.totalBytesAllocated, d.totalBytesFreed);
}

}  // namespace
}  // namespace Varn
