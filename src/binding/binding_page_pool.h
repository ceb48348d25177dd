// BindingPagePool: the process-wide source of 4096-byte, 4096-aligned pages for the value
// arenas' block pools. Pages are carved from 65536-byte regions reserved from the operating
// system. A region whose pages are all free again goes back to the system, except that a few
// such regions (kDefaultSpareRegions unless changed) are kept for the next trees.
// Thread-safe: every operation runs under the pool's one mutex.
#ifndef ZEK_BINDING_BINDING_PAGE_POOL_H_
#define ZEK_BINDING_BINDING_PAGE_POOL_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

namespace Varn {

class BindingPagePool {
 public:
  static constexpr size_t kPageSize = 4096;
  static constexpr size_t kRegionSize = 65536;
  static constexpr size_t kPagesPerRegion = kRegionSize / kPageSize;
  // Wholly free regions kept by default. Trees are typically built and destroyed over and over;
  // without spares every tree of more than a few pages re-reserves and re-faults its regions,
  // which costs more than building the tree itself. 64 regions hold at most 4 MiB idle.
  static constexpr size_t kDefaultSpareRegions = 64;

  // Where regions come from; tests substitute their own to watch or refuse reservations.
  struct RegionSource {
    void* (*reserve)(size_t bytes);  // null when refused
    void (*release)(void* base, size_t bytes);
  };
  static RegionSource SystemRegions();

  explicit BindingPagePool(RegionSource source = SystemRegions());
  BindingPagePool(const BindingPagePool&) = delete;
  BindingPagePool& operator=(const BindingPagePool&) = delete;
  // Releases every region still held; only pools made by tests are ever destroyed.
  ~BindingPagePool();

  // The pool every arena draws from; created on first use and never destroyed.
  static BindingPagePool& Instance();

  // A free page, reserving a new region when none is free. A refused region throws
  // std::bad_alloc, so no caller ever sees a null page.
  [[nodiscard]] void* TakePage();
  // `page` must come from TakePage of this pool and not have been given back already.
  void GivePage(void* page);
  // GivePage for each of `count` pages under one lock: a tree going away hands back all its
  // pages at once.
  void GivePages(void* const* pages, size_t count);

  // How many wholly free regions the pool may keep instead of releasing them at once
  // (kDefaultSpareRegions to start with); 0 releases a region as soon as its last page comes
  // back. Spares save a tree that repeatedly grows and shrinks the cost of reserving and
  // faulting in fresh memory each time. Lowering the limit releases the surplus at once.
  void SetSpareRegions(size_t count);

  // Replaces the region source for regions reserved from now on; regions already held are
  // released through the source that reserved them. Returns the previous source.
  RegionSource SetRegionSource(RegionSource source);

  size_t PagesInUse() const;
  size_t FreePages() const;
  size_t LiveRegions() const;

 private:
  void GiveLocked(void* page);
  // A free page carries its links in its own first bytes, so the free list needs no storage and
  // the pages of a released region are unlinked in constant time each.
  struct FreePage {
    FreePage* next;
    FreePage* prev;
  };
  struct Region {
    RegionSource source;
    size_t freePages;
    bool spare;  // wholly free and kept
  };

  void PushFree(FreePage* page);
  void Unlink(FreePage* page);
  void DropRegion(std::map<uintptr_t, Region>::iterator region);

  mutable std::mutex mutex_;
  RegionSource source_;
  FreePage* freeHead_ = nullptr;
  size_t freeCount_ = 0;
  size_t inUse_ = 0;
  size_t spareLimit_ = kDefaultSpareRegions;
  size_t spareRegions_ = 0;              // regions with every page free, kept under spareLimit_
  std::map<uintptr_t, Region> regions_;  // by base address
};

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_PAGE_POOL_H_
