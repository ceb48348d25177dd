#include "binding/binding_page_pool.h"

#include <cstdlib>
#include <iterator>
#include <new>

#include "binding/region_memory.h"

namespace Varn {

BindingPagePool::RegionSource BindingPagePool::SystemRegions() {
  return RegionSource{&ReserveRegion, &ReleaseRegion};
}

BindingPagePool::BindingPagePool(RegionSource source) : source_(source) {}

BindingPagePool::~BindingPagePool() {
  for (auto& [base, region] : regions_) {
    region.source.release(reinterpret_cast<void*>(base), kRegionSize);
  }
}

BindingPagePool& BindingPagePool::Instance() {
  // Never destroyed: arenas of static values may still give pages back during exit.
  static BindingPagePool* const pool = new BindingPagePool();
  return *pool;
}

void BindingPagePool::PushFree(FreePage* page) {
  page->prev = nullptr;
  page->next = freeHead_;
  if (freeHead_ != nullptr) freeHead_->prev = page;
  freeHead_ = page;
  ++freeCount_;
}

void BindingPagePool::Unlink(FreePage* page) {
  if (page->prev != nullptr) {
    page->prev->next = page->next;
  } else {
    freeHead_ = page->next;
  }
  if (page->next != nullptr) page->next->prev = page->prev;
  --freeCount_;
}

void* BindingPagePool::TakePage() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (freeHead_ == nullptr) {
    void* base = source_.reserve(kRegionSize);
    if (base == nullptr) throw std::bad_alloc();
    auto* bytes = static_cast<char*>(base);
    regions_.emplace(reinterpret_cast<uintptr_t>(base), Region{source_, kPagesPerRegion, false});
    // Highest address first, so the lowest page is on top and handed out first.
    for (size_t i = kPagesPerRegion; i-- > 0;) {
      PushFree(reinterpret_cast<FreePage*>(bytes + i * kPageSize));
    }
  }
  FreePage* page = freeHead_;
  Unlink(page);
  auto region = --regions_.upper_bound(reinterpret_cast<uintptr_t>(page));
  --region->second.freePages;
  if (region->second.spare) {
    region->second.spare = false;
    --spareRegions_;
  }
  ++inUse_;
  return page;
}

void BindingPagePool::GivePage(void* page) { GivePages(&page, 1); }

void BindingPagePool::GivePages(void* const* pages, size_t count) {
  if (count == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = 0; i < count; ++i) GiveLocked(pages[i]);
}

void BindingPagePool::GiveLocked(void* page) {
  const auto address = reinterpret_cast<uintptr_t>(page);
  auto region = regions_.upper_bound(address);
  if (region == regions_.begin()) std::abort();  // not a page of this pool
  --region;
  if (address - region->first >= kRegionSize || address % kPageSize != 0) std::abort();
  PushFree(static_cast<FreePage*>(page));
  --inUse_;
  if (++region->second.freePages < kPagesPerRegion) return;
  if (spareRegions_ < spareLimit_) {
    region->second.spare = true;
    ++spareRegions_;
    return;
  }
  DropRegion(region);
}

void BindingPagePool::DropRegion(std::map<uintptr_t, Region>::iterator region) {
  auto* bytes = reinterpret_cast<char*>(region->first);
  for (size_t i = 0; i < kPagesPerRegion; ++i) {
    Unlink(reinterpret_cast<FreePage*>(bytes + i * kPageSize));
  }
  region->second.source.release(bytes, kRegionSize);
  regions_.erase(region);
}

void BindingPagePool::SetSpareRegions(size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  spareLimit_ = count;
  for (auto region = regions_.begin(); region != regions_.end() && spareRegions_ > count;) {
    auto next = std::next(region);
    if (region->second.spare) {
      --spareRegions_;
      DropRegion(region);
    }
    region = next;
  }
}

BindingPagePool::RegionSource BindingPagePool::SetRegionSource(RegionSource source) {
  std::lock_guard<std::mutex> lock(mutex_);
  RegionSource old = source_;
  source_ = source;
  return old;
}

size_t BindingPagePool::PagesInUse() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return inUse_;
}

size_t BindingPagePool::FreePages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return freeCount_;
}

size_t BindingPagePool::LiveRegions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return regions_.size();
}

}  // namespace Varn
