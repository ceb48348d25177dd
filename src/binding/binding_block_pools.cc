#include "binding/binding_block_pools.h"

#include <iterator>

namespace Varn {

static_assert(sizeof(BindingBlockPools::PageHeader) <= BindingBlockPools::kBuiltInPageSize / 2);
// Every pool must still have a usable block in its built-in page.
static_assert(BindingBlockPools::FirstUsableIndex(BindingBlockPools::kMaxBlockSize) <
              BindingBlockPools::kBuiltInPageSize / BindingBlockPools::kMaxBlockSize);

BindingBlockPools::BindingBlockPools(BindingPagePool& pages) : pages_(pages) {
  for (size_t i = 0; i < kPoolCount; ++i) {
    Pool& pool = pools_[i];
    pool.blockSize = static_cast<uint32_t>((i + 1) * kGranule);
    pool.pagesHeld = 0;
    pool.full = nullptr;
    pool.current = Format(pool.builtIn, kBuiltInPageSize, pool.blockSize);
  }
}

void BindingBlockPools::ReleaseAll() {
  void* batch[64];
  size_t batched = 0;
  for (Pool& pool : pools_) {
    for (PageHeader* list : {pool.current, pool.full}) {
      while (list != nullptr) {
        PageHeader* next = list->next;
        if (list != reinterpret_cast<PageHeader*>(pool.builtIn)) {
          batch[batched++] = list;
          if (batched == std::size(batch)) {
            pages_.GivePages(batch, batched);
            batched = 0;
          }
        }
        list = next;
      }
    }
    pool.pagesHeld = 0;
    pool.full = nullptr;
    pool.current = Format(pool.builtIn, kBuiltInPageSize, pool.blockSize);
  }
  pages_.GivePages(batch, batched);
}

BindingBlockPools::PageHeader* BindingBlockPools::Format(void* memory, size_t page_size,
                                                         size_t block_size) {
  auto* page = static_cast<PageHeader*>(memory);
  page->next = nullptr;
  page->prev = nullptr;
  page->pageSize = static_cast<uint16_t>(page_size);
  page->used = 0;
  page->firstFree = 0;
  page->fresh = static_cast<uint16_t>(FirstUsableIndex(block_size) * block_size);
  return page;
}

BindingBlockPools::PageHeader* BindingBlockPools::AddPage(Pool& pool) {
  PageHeader* page = Format(pages_.TakePage(), BindingPagePool::kPageSize, pool.blockSize);
  ++pool.pagesHeld;
  pool.current = page;
  return page;
}

void BindingBlockPools::ReturnPage(Pool& pool, PageHeader* page) {
  if (page->prev != nullptr) {
    page->prev->next = page->next;
  } else {
    pool.current = page->next;
  }
  if (page->next != nullptr) page->next->prev = page->prev;
  --pool.pagesHeld;
  pages_.GivePage(page);
}

size_t BindingBlockPools::UsedBlocks(size_t size) const {
  const Pool& pool = pools_[(size + kGranule - 1) / kGranule - 1];
  // Pages that are full are off the list, so count from what the pool has handed out: the
  // built-in page plus every held page, less the free blocks of listed pages.
  size_t capacity = kBuiltInPageSize / pool.blockSize - FirstUsableIndex(pool.blockSize);
  capacity += pool.pagesHeld *
              (BindingPagePool::kPageSize / pool.blockSize - FirstUsableIndex(pool.blockSize));
  size_t free_blocks = 0;
  for (const PageHeader* page = pool.current; page != nullptr; page = page->next) {
    const size_t page_capacity = page->pageSize / pool.blockSize - FirstUsableIndex(pool.blockSize);
    free_blocks += page_capacity - page->used;
  }
  return capacity - free_blocks;
}

size_t BindingBlockPools::PagesHeld() const {
  size_t held = 0;
  for (const Pool& pool : pools_) held += pool.pagesHeld;
  return held;
}

}  // namespace Varn
