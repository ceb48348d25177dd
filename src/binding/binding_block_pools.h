// BindingBlockPools: the 18 small-block pools of one value arena, for block sizes 4, 8, ..., 72.
// Each pool starts on a 144-byte page built into the pool, so a small tree needs no page at
// all, and draws further 4096-byte pages from a BindingPagePool.
//
// Page layout: a PageHeader at the page start, then blocks. Block i lies at page + i * size;
// blocks overlapping the header are never used, so block index 0 can mean "none". A released
// block holds the 16-bit index of the next released block in its first two bytes; blocks never
// handed out lie above the page's fresh mark and are taken in ascending order once no released
// block is left. A block outside the built-in page finds its page by clearing the low 12 bits of
// its address.
//
// Not thread-safe: an arena belongs to one tree, used by one thread at a time.
#ifndef ZEK_BINDING_BINDING_BLOCK_POOLS_H_
#define ZEK_BINDING_BINDING_BLOCK_POOLS_H_

#include <cstddef>
#include <cstdint>

#include "binding/binding_page_pool.h"

namespace Varn {

class BindingBlockPools {
 public:
  static constexpr size_t kPoolCount = 18;
  static constexpr size_t kGranule = 4;
  static constexpr size_t kMaxBlockSize = kPoolCount * kGranule;  // 72
  static constexpr size_t kBuiltInPageSize = 144;

  struct PageHeader {
    PageHeader* next;
    PageHeader* prev;
    uint16_t pageSize;
    uint16_t used;
    uint16_t firstFree;  // head of the chain of released blocks, 0 when there is none
    // Byte offset of the lowest block never handed out. Blocks above it are not chained, so
    // a new page costs only its header; it sits in what would be the header's padding.
    uint16_t fresh;
  };

  // The first block index clear of the header for a block size.
  static constexpr uint16_t FirstUsableIndex(size_t block_size) {
    return static_cast<uint16_t>((sizeof(PageHeader) + block_size - 1) / block_size);
  }
  // The block size that serves a request of `size` bytes (1..72).
  static constexpr size_t BlockSizeFor(size_t size) {
    return (size + kGranule - 1) / kGranule * kGranule;
  }

  explicit BindingBlockPools(BindingPagePool& pages);
  BindingBlockPools(const BindingBlockPools&) = delete;
  BindingBlockPools& operator=(const BindingBlockPools&) = delete;
  // REQUIRES: every block has been released (all 4096-byte pages are back with the page pool).
  ~BindingBlockPools() = default;

  // A block of at least `size` bytes (1..72), aligned to 8 when the block size is a multiple of 8.
  // Throws std::bad_alloc when the page pool cannot get a region.
  [[nodiscard]] void* Allocate(size_t size) {
    Pool& pool = pools_[(size + kGranule - 1) / kGranule - 1];
    PageHeader* page = pool.current;
    if (page == nullptr) page = AddPage(pool);
    // From the request rather than the pool, so that the usual constant sizes fold away.
    const auto block_size = static_cast<uint32_t>(BlockSizeFor(size));
    char* const bytes = reinterpret_cast<char*>(page);
    char* block;
    if (page->firstFree != 0) {
      block = bytes + page->firstFree * block_size;
      uint16_t next;
      __builtin_memcpy(&next, block, sizeof next);
      page->firstFree = next;
    } else {
      block = bytes + page->fresh;
      page->fresh = static_cast<uint16_t>(page->fresh + block_size);
    }
    ++page->used;
    if (IsFull(page, block_size)) {
      pool.current = page->next;
      if (pool.current != nullptr) pool.current->prev = nullptr;
      page->next = pool.full;
      if (pool.full != nullptr) pool.full->prev = page;
      pool.full = page;
    }
    return block;
  }

  // Returns a block obtained from Allocate with the same size.
  void Release(size_t size, void* block) {
    Pool& pool = pools_[(size + kGranule - 1) / kGranule - 1];
    char* bytes = static_cast<char*>(block);
    const bool built_in = bytes >= pool.builtIn && bytes < pool.builtIn + kBuiltInPageSize;
    PageHeader* page =
        built_in ? reinterpret_cast<PageHeader*>(pool.builtIn)
                 : reinterpret_cast<PageHeader*>(reinterpret_cast<uintptr_t>(block) &
                                                 ~uintptr_t{BindingPagePool::kPageSize - 1});
    // From the request rather than the pool: with the usual constant sizes the division
    // below becomes a multiplication.
    const auto block_size = static_cast<uint32_t>(BlockSizeFor(size));
    if (IsFull(page, block_size)) {
      if (page->prev != nullptr) {
        page->prev->next = page->next;
      } else {
        pool.full = page->next;
      }
      if (page->next != nullptr) page->next->prev = page->prev;
      page->prev = nullptr;
      page->next = pool.current;
      if (pool.current != nullptr) pool.current->prev = page;
      pool.current = page;
    }
    __builtin_memcpy(bytes, &page->firstFree, sizeof page->firstFree);
    page->firstFree = static_cast<uint16_t>(
        static_cast<uint32_t>(bytes - reinterpret_cast<char*>(page)) / block_size);
    if (--page->used == 0 && !built_in) ReturnPage(pool, page);
  }

  // Takes back every block at once and hands every 4096-byte page back to the page pool, for
  // a tree that is going away whole: its blocks need no release one by one.
  void ReleaseAll();

  // Blocks handed out and not yet released by the pool that serves `size`.
  size_t UsedBlocks(size_t size) const;
  // 4096-byte pages this set holds from the page pool.
  size_t PagesHeld() const;

 private:
  struct Pool {
    PageHeader* current;  // head of the list of pages that still have a free block
    PageHeader* full;     // head of the list of the other pages, so that ReleaseAll finds them
    uint32_t blockSize;
    uint32_t pagesHeld;
    alignas(8) char builtIn[kBuiltInPageSize];
  };

  static bool IsFull(const PageHeader* page, uint32_t block_size) {
    return page->firstFree == 0 && page->fresh + block_size > page->pageSize;
  }
  static PageHeader* Format(void* memory, size_t page_size, size_t block_size);
  PageHeader* AddPage(Pool& pool);
  void ReturnPage(Pool& pool, PageHeader* page);

  BindingPagePool& pages_;
  Pool pools_[kPoolCount];
};

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_BLOCK_POOLS_H_
