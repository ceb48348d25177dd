#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>
#include <vector>

#include "binding/binding_block_pools.h"
#include "binding/binding_page_pool.h"

namespace Varn {
namespace {

// A region source on the C heap that counts what it hands out, so tests see every reservation
// and release without touching the process-wide pool.
struct FakeRegions {
  static inline int reserved = 0;
  static inline int released = 0;
  static inline bool refuse = false;
  static void* Reserve(size_t bytes) {
    if (refuse) return nullptr;
    ++reserved;
    return std::aligned_alloc(BindingPagePool::kPageSize, bytes);
  }
  static void Release(void* base, size_t) {
    ++released;
    std::free(base);
  }
  static BindingPagePool::RegionSource Source() { return {&Reserve, &Release}; }
};

class PagePoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeRegions::reserved = 0;
    FakeRegions::released = 0;
    FakeRegions::refuse = false;
    // These tests watch regions go back, so none is kept as a spare unless a test asks.
    pages_.SetSpareRegions(0);
  }
  BindingPagePool pages_{FakeRegions::Source()};
};

TEST_F(PagePoolTest, RegionsAreSplitIntoPagesLowestFirst) {
  std::vector<void*> taken;
  for (size_t i = 0; i < BindingPagePool::kPagesPerRegion; ++i) taken.push_back(pages_.TakePage());
  EXPECT_EQ(FakeRegions::reserved, 1);
  for (size_t i = 1; i < taken.size(); ++i) {
    EXPECT_EQ(static_cast<char*>(taken[i]) - static_cast<char*>(taken[i - 1]),
              static_cast<ptrdiff_t>(BindingPagePool::kPageSize));
  }
  for (void* page : taken) EXPECT_EQ(reinterpret_cast<uintptr_t>(page) % 4096, 0u);
  EXPECT_EQ(pages_.FreePages(), 0u);

  void* next = pages_.TakePage();  // the 17th page needs a second region
  EXPECT_EQ(FakeRegions::reserved, 2);
  EXPECT_EQ(pages_.LiveRegions(), 2u);
  EXPECT_EQ(pages_.PagesInUse(), 17u);
  pages_.GivePage(next);
  EXPECT_EQ(FakeRegions::released, 1);  // its region was wholly free again
  EXPECT_EQ(pages_.LiveRegions(), 1u);
  EXPECT_EQ(pages_.FreePages(), 0u);

  // A page given back is the next one handed out.
  pages_.GivePage(taken[5]);
  EXPECT_EQ(pages_.TakePage(), taken[5]);

  for (size_t i = 0; i + 1 < taken.size(); ++i) pages_.GivePage(taken[i]);
  EXPECT_EQ(pages_.LiveRegions(), 1u);
  EXPECT_EQ(pages_.FreePages(), 15u);
  pages_.GivePage(taken.back());
  EXPECT_EQ(pages_.LiveRegions(), 0u);
  EXPECT_EQ(pages_.FreePages(), 0u);
  EXPECT_EQ(pages_.PagesInUse(), 0u);
  EXPECT_EQ(FakeRegions::released, 2);
}

TEST_F(PagePoolTest, SpareRegionsAreKeptUpToTheLimit) {
  pages_.SetSpareRegions(1);
  std::vector<void*> taken;
  for (size_t i = 0; i < 2 * BindingPagePool::kPagesPerRegion; ++i) {
    taken.push_back(pages_.TakePage());
  }
  ASSERT_EQ(FakeRegions::reserved, 2);
  for (void* page : taken) pages_.GivePage(page);
  EXPECT_EQ(FakeRegions::released, 1);  // one kept, the other over the limit
  EXPECT_EQ(pages_.LiveRegions(), 1u);
  EXPECT_EQ(pages_.FreePages(), BindingPagePool::kPagesPerRegion);

  // The kept region serves the next pages without a reservation, and stops being spare.
  void* page = pages_.TakePage();
  EXPECT_EQ(FakeRegions::reserved, 2);
  pages_.SetSpareRegions(0);
  EXPECT_EQ(pages_.LiveRegions(), 1u);  // in use, so not released
  pages_.GivePage(page);
  EXPECT_EQ(pages_.LiveRegions(), 0u);
  EXPECT_EQ(FakeRegions::released, 2);

  pages_.SetSpareRegions(1);
  pages_.GivePage(pages_.TakePage());
  EXPECT_EQ(pages_.LiveRegions(), 1u);
  pages_.SetSpareRegions(0);  // lowering the limit releases the surplus at once
  EXPECT_EQ(pages_.LiveRegions(), 0u);
  EXPECT_EQ(pages_.FreePages(), 0u);
}

TEST(PagePoolDefaultsTest, AFewFreeRegionsAreKeptAndTheRestReleased) {
  FakeRegions::reserved = 0;
  FakeRegions::released = 0;
  FakeRegions::refuse = false;
  const size_t kept = BindingPagePool::kDefaultSpareRegions;
  // The spares must stay small: they are memory nobody uses until the next tree.
  EXPECT_LE(kept * BindingPagePool::kRegionSize, 4u * 1024 * 1024);
  {
    BindingPagePool pages(FakeRegions::Source());
    std::vector<void*> taken;
    const size_t regions = kept + 2;
    for (size_t i = 0; i < regions * BindingPagePool::kPagesPerRegion; ++i) {
      taken.push_back(pages.TakePage());
    }
    ASSERT_EQ(FakeRegions::reserved, static_cast<int>(regions));
    for (void* page : taken) pages.GivePage(page);
    EXPECT_EQ(pages.LiveRegions(), kept);
    EXPECT_EQ(FakeRegions::released, 2);
    EXPECT_EQ(pages.PagesInUse(), 0u);

    // The next tree of the same size reserves only what the spares do not cover.
    taken.clear();
    for (size_t i = 0; i < regions * BindingPagePool::kPagesPerRegion; ++i) {
      taken.push_back(pages.TakePage());
    }
    EXPECT_EQ(FakeRegions::reserved, static_cast<int>(regions + 2));
    for (void* page : taken) pages.GivePage(page);
  }
  EXPECT_EQ(FakeRegions::released, FakeRegions::reserved);  // the pool's end releases its spares
}

TEST_F(PagePoolTest, ARefusedRegionThrowsTheStandardAllocationFailure) {
  FakeRegions::refuse = true;
  EXPECT_THROW((void)pages_.TakePage(), std::bad_alloc);
  EXPECT_EQ(pages_.PagesInUse(), 0u);
  FakeRegions::refuse = false;
  void* page = pages_.TakePage();
  EXPECT_NE(page, nullptr);
  pages_.GivePage(page);
}

constexpr size_t kHeader = sizeof(BindingBlockPools::PageHeader);

size_t BuiltInCapacity(size_t block) {
  return BindingBlockPools::kBuiltInPageSize / block - BindingBlockPools::FirstUsableIndex(block);
}
size_t PageCapacity(size_t block) {
  return BindingPagePool::kPageSize / block - BindingBlockPools::FirstUsableIndex(block);
}

TEST(BlockPoolsLayoutTest, CapacitiesFollowFromTheHeaderSize) {
  struct Case {
    size_t block;
    size_t firstIndex;
    size_t builtIn;
    size_t page;
  };
  // The header is two pointers and three 16-bit words: 24 bytes here.
  ASSERT_EQ(kHeader, 24u);
  const Case cases[] = {
      {72, 1, 1, 55}, {4, 6, 30, 1018}, {12, 2, 10, 339}, {40, 1, 2, 101}, {24, 1, 5, 169},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    EXPECT_EQ(BindingBlockPools::FirstUsableIndex(c.block), c.firstIndex);
    EXPECT_EQ(BuiltInCapacity(c.block), c.builtIn);
    EXPECT_EQ(PageCapacity(c.block), c.page);
  }
}

class BlockPoolsTest : public PagePoolTest {
 protected:
  BindingBlockPools pools_{pages_};
};

TEST_F(BlockPoolsTest, BuiltInPageServesFirstThenOnePagePerCapacity) {
  for (size_t block : {4u, 12u, 40u, 64u, 72u}) {
    SCOPED_TRACE(block);
    std::vector<void*> blocks;
    std::set<uintptr_t> distinct;
    for (size_t i = 0; i < BuiltInCapacity(block); ++i) blocks.push_back(pools_.Allocate(block));
    EXPECT_EQ(pools_.PagesHeld(), 0u);
    EXPECT_EQ(pages_.PagesInUse(), 0u);
    const size_t total = BuiltInCapacity(block) + PageCapacity(block);
    while (blocks.size() < total) blocks.push_back(pools_.Allocate(block));
    EXPECT_EQ(pools_.PagesHeld(), 1u);
    blocks.push_back(pools_.Allocate(block));
    EXPECT_EQ(pools_.PagesHeld(), 2u);
    EXPECT_EQ(pools_.UsedBlocks(block), blocks.size());

    for (size_t i = 0; i < blocks.size(); ++i) {
      const auto address = reinterpret_cast<uintptr_t>(blocks[i]);
      distinct.insert(address);
      if (block % 8 == 0) {
        EXPECT_EQ(address % 8, 0u);
      }
      // No block of a 4096-byte page overlaps its header.
      if (i >= BuiltInCapacity(block)) {
        EXPECT_GE(address % BindingPagePool::kPageSize, kHeader);
      }
      std::memset(blocks[i], 0xAB, block);  // every byte of every block is ours
    }
    EXPECT_EQ(distinct.size(), blocks.size());

    for (void* b : blocks) pools_.Release(block, b);
    EXPECT_EQ(pools_.UsedBlocks(block), 0u);
    EXPECT_EQ(pools_.PagesHeld(), 0u);
    EXPECT_EQ(pages_.PagesInUse(), 0u);
  }
}

TEST_F(BlockPoolsTest, PagesGoBackAsSoonAsTheyEmpty) {
  // Fill the built-in page of the 12-byte pool, then one block on a page of its own.
  std::vector<void*> built_in;
  for (size_t i = 0; i < BuiltInCapacity(12); ++i) built_in.push_back(pools_.Allocate(12));
  void* on_page = pools_.Allocate(12);
  EXPECT_EQ(pages_.PagesInUse(), 1u);
  pools_.Release(12, on_page);
  EXPECT_EQ(pages_.PagesInUse(), 0u);
  EXPECT_EQ(pages_.LiveRegions(), 0u);

  // The built-in page is never given back, even when empty.
  for (void* b : built_in) pools_.Release(12, b);
  EXPECT_EQ(pools_.UsedBlocks(12), 0u);
  void* again = pools_.Allocate(12);
  EXPECT_EQ(pages_.PagesInUse(), 0u);
  EXPECT_EQ(again, built_in.back());  // the last freed block is reused first
  pools_.Release(12, again);
}

TEST_F(BlockPoolsTest, AFullPageRejoinsTheListWhenABlockComesBack) {
  constexpr size_t kBlock = 40;
  std::vector<void*> blocks;
  const size_t total = BuiltInCapacity(kBlock) + 2 * PageCapacity(kBlock);
  for (size_t i = 0; i < total; ++i) blocks.push_back(pools_.Allocate(kBlock));
  EXPECT_EQ(pools_.PagesHeld(), 2u);
  // Free one block of the first (full) page: the next allocation reuses it, no third page.
  void* freed = blocks[BuiltInCapacity(kBlock) + 3];
  pools_.Release(kBlock, freed);
  EXPECT_EQ(pools_.Allocate(kBlock), freed);
  EXPECT_EQ(pools_.PagesHeld(), 2u);
  // Emptying the first page in any order hands exactly it back.
  for (size_t i = BuiltInCapacity(kBlock) + PageCapacity(kBlock); i-- > BuiltInCapacity(kBlock);) {
    pools_.Release(kBlock, blocks[i]);
  }
  EXPECT_EQ(pools_.PagesHeld(), 1u);
  EXPECT_EQ(pools_.UsedBlocks(kBlock), BuiltInCapacity(kBlock) + PageCapacity(kBlock));
  for (size_t i = 0; i < BuiltInCapacity(kBlock); ++i) pools_.Release(kBlock, blocks[i]);
  for (size_t i = BuiltInCapacity(kBlock) + PageCapacity(kBlock); i < total; ++i) {
    pools_.Release(kBlock, blocks[i]);
  }
  EXPECT_EQ(pages_.PagesInUse(), 0u);
  EXPECT_EQ(pages_.LiveRegions(), 0u);
}

TEST_F(BlockPoolsTest, AWholeRegionOfPagesIsReleasedWhenTheLastComesBack) {
  constexpr size_t kBlock = 12;
  std::vector<void*> blocks;
  const size_t pages = BindingPagePool::kPagesPerRegion;
  const size_t total = BuiltInCapacity(kBlock) + pages * PageCapacity(kBlock);
  for (size_t i = 0; i < total; ++i) blocks.push_back(pools_.Allocate(kBlock));
  EXPECT_EQ(pages_.PagesInUse(), pages);
  EXPECT_EQ(FakeRegions::reserved, 1);
  for (size_t i = blocks.size(); i-- > 1;) pools_.Release(kBlock, blocks[i]);
  EXPECT_EQ(FakeRegions::released, 1);
  EXPECT_EQ(pages_.LiveRegions(), 0u);
  pools_.Release(kBlock, blocks[0]);
}

// A tree going away whole hands back its pages at once, whether they are full, partly used or
// were full once, and the pools serve again from their built-in pages afterwards.
TEST_F(BlockPoolsTest, ReleaseAllHandsBackEveryPage) {
  struct Case {
    size_t block;
    size_t pages;         // pages filled beyond the built-in page
    size_t releaseEvery;  // then every n-th block goes back first (0: none)
  };
  const Case cases[] = {{12, 3, 0}, {40, 2, 7}, {72, 1, 2}, {4, 20, 3}, {24, 0, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    const size_t total = BuiltInCapacity(c.block) + c.pages * PageCapacity(c.block);
    std::vector<void*> blocks;
    for (size_t i = 0; i < total; ++i) blocks.push_back(pools_.Allocate(c.block));
    if (c.releaseEvery != 0) {
      for (size_t i = 0; i < total; i += c.releaseEvery) pools_.Release(c.block, blocks[i]);
    }
    static_cast<void>(pools_.Allocate(8));  // another pool with only its built-in page in use
    EXPECT_EQ(pools_.PagesHeld(), c.pages);
    pools_.ReleaseAll();
    EXPECT_EQ(pools_.PagesHeld(), 0u);
    EXPECT_EQ(pages_.PagesInUse(), 0u);
    EXPECT_EQ(pages_.LiveRegions(), 0u);
    EXPECT_EQ(pools_.UsedBlocks(c.block), 0u);
    EXPECT_EQ(pools_.UsedBlocks(8), 0u);
    for (size_t i = 0; i < BuiltInCapacity(c.block); ++i) {
      static_cast<void>(pools_.Allocate(c.block));
    }
    EXPECT_EQ(pages_.PagesInUse(), 0u);
    static_cast<void>(pools_.Allocate(c.block));
    EXPECT_EQ(pools_.PagesHeld(), 1u);
    pools_.ReleaseAll();
  }
}

TEST_F(BlockPoolsTest, RequestsAreServedByTheirRoundedSize) {
  const std::pair<size_t, size_t> cases[] = {{1, 4}, {4, 4}, {5, 8}, {13, 16}, {69, 72}};
  for (const auto& [request, block] : cases) {
    SCOPED_TRACE(request);
    EXPECT_EQ(BindingBlockPools::BlockSizeFor(request), block);
    void* b = pools_.Allocate(request);
    EXPECT_EQ(pools_.UsedBlocks(block), 1u);
    pools_.Release(request, b);
    EXPECT_EQ(pools_.UsedBlocks(block), 0u);
  }
}

}  // namespace
}  // namespace Varn
