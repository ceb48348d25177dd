#include "binding/binding_arena.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "binding/text_compare.h"

namespace Varn {
namespace {

// Its text points at a real "" so callers handing data() to C interfaces get a NUL, not null.
BindingInternedString empty_string{{std::string_view("", 0), 0, 0}};

}  // namespace

static_assert(BindingInternedString::AllocationSize(0) <= BindingBlockPools::kMaxBlockSize);
static_assert(std::is_trivially_destructible_v<BindingInternedString>,
              "records are freed without running a destructor");

BindingArena::~BindingArena() {
  // The tree has released every string by now; anything left is freed rather than leaked.
  DropAll();
  if (buckets_ != inlineBuckets_) std::free(buckets_);
  std::free(cache_);
}

void BindingArena::DropAll() {
  // Long texts are outside blocks and pool blocks go back with their pages: no record needs a
  // visit of its own.
  for (OutsideHeader* header = outside_; header != nullptr;) {
    OutsideHeader* next = header->next;
    std::free(header);
    header = next;
  }
  outside_ = nullptr;
  if (stringCount_ != 0) {
    std::memset(static_cast<void*>(buckets_), 0, bucketCount_ * sizeof(*buckets_));
    if (cache_ != nullptr) {
      std::memset(static_cast<void*>(cache_), 0, (cacheMask_ + 1) * sizeof(*cache_));
    }
  }
  stringCount_ = 0;
  if (pools_) pools_->ReleaseAll();
}

void* BindingArena::AllocateOutside(size_t size) {
  static_assert(sizeof(OutsideHeader) % 16 == 0, "blocks keep malloc's alignment");
  if (size > SIZE_MAX - sizeof(OutsideHeader)) throw std::bad_alloc();
  auto* header = static_cast<OutsideHeader*>(std::malloc(sizeof(OutsideHeader) + size));
  if (header == nullptr) throw std::bad_alloc();
  header->prev = nullptr;
  header->next = outside_;
  if (outside_ != nullptr) outside_->prev = header;
  outside_ = header;
  return header + 1;
}

void* BindingArena::ReallocateOutside(void* block, size_t size) {
  if (block == nullptr) return AllocateOutside(size);
  if (size > SIZE_MAX - sizeof(OutsideHeader)) throw std::bad_alloc();
  auto* header = static_cast<OutsideHeader*>(block) - 1;
  auto* moved = static_cast<OutsideHeader*>(
      std::realloc(static_cast<void*>(header), sizeof(OutsideHeader) + size));
  if (moved == nullptr) throw std::bad_alloc();
  // The neighbours still point at the old address.
  if (moved->prev != nullptr) {
    moved->prev->next = moved;
  } else {
    outside_ = moved;
  }
  if (moved->next != nullptr) moved->next->prev = moved;
  return moved + 1;
}

void BindingArena::FreeOutside(void* block) {
  if (block == nullptr) return;
  auto* header = static_cast<OutsideHeader*>(block) - 1;
  if (header->prev != nullptr) {
    header->prev->next = header->next;
  } else {
    outside_ = header->next;
  }
  if (header->next != nullptr) header->next->prev = header->prev;
  std::free(header);
}

BindingInternedString* BindingArena::EmptyString() { return &empty_string; }

void BindingArena::CreatePools() {
  pools_ = std::make_unique<BindingBlockPools>(BindingPagePool::Instance());
}

size_t BindingArena::Probe(std::string_view text, uint32_t hash) const {
  const size_t mask = bucketCount_ - 1;
  size_t i = hash & mask;
  while (buckets_[i].record != nullptr &&
         (buckets_[i].hash != hash || !SameText(buckets_[i].record->Text(), text))) {
    i = (i + 1) & mask;
  }
  return i;
}

BindingInternedString* BindingArena::Lookup(std::string_view text, uint32_t hash) const {
  return buckets_[Probe(text, hash)].record;
}

BindingInternedString* BindingArena::InternMissed(std::string_view text, TextCheck accept) {
  BindingInternedString* record = Intern(text, Fnv1a(text), accept);
  // The slot is taken after interning, which may have created or replaced the cache.
  if (cache_ != nullptr && record != nullptr) cache_[CacheSlot(text)] = record;
  return record;
}

BindingInternedString* BindingArena::Intern(std::string_view text, uint32_t hash,
                                            TextCheck accept) {
  if (text.empty()) return EmptyString();
  size_t i = Probe(text, hash);
  if (BindingInternedString* record = buckets_[i].record) {
    ++record->string.refCount;
    return record;
  }
  if (accept != nullptr && !accept(text)) return nullptr;
  if (Crowded(stringCount_ + 1)) {
    // Grown before anything is taken, so that a refusal leaves the set as it was.
    Grow();
    i = Probe(text, hash);
  }
  const size_t size = BindingInternedString::AllocationSize(text.size());
  void* block;
  if (size <= BindingBlockPools::kMaxBlockSize) {
    block = AllocateBlock(size);
  } else {
    block = AllocateOutside(size);
  }
  char* const copy = static_cast<char*>(block) + sizeof(BindingInternedString);
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  auto* record = new (block) BindingInternedString{{std::string_view(copy, text.size()), hash, 1}};
  buckets_[i] = {hash, record};
  ++stringCount_;
  return record;
}

void BindingArena::Remove(BindingInternedString* record) {
  const size_t mask = bucketCount_ - 1;
  size_t i = record->string.hash & mask;
  while (buckets_[i].record != record) i = (i + 1) & mask;
  // Close the gap: a later bucket of the run moves back into it unless the place its hash
  // names lies between the gap and itself, where a probe still finds it.
  for (size_t j = (i + 1) & mask; buckets_[j].record != nullptr; j = (j + 1) & mask) {
    const size_t home = buckets_[j].hash & mask;
    const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (!stays) {
      buckets_[i] = buckets_[j];
      i = j;
    }
  }
  buckets_[i] = {0, nullptr};
  --stringCount_;
  if (cache_ != nullptr) {
    BindingInternedString*& cached = cache_[CacheSlot(record->Text())];
    if (cached == record) cached = nullptr;
  }
  Free(record);
}

void BindingArena::Free(BindingInternedString* record) {
  const size_t size = BindingInternedString::AllocationSize(record->string.text.size());
  if (size <= BindingBlockPools::kMaxBlockSize) {
    pools_->Release(size, record);
  } else {
    FreeOutside(record);
  }
}

void BindingArena::Grow() {
  const size_t count = bucketCount_ * 2;
  auto* buckets = static_cast<Bucket*>(std::calloc(count, sizeof(Bucket)));
  // Without more buckets the set still works while it has a free one for the next text (it
  // tries to grow again then); only a full set has to refuse it.
  if (buckets == nullptr) {
    if (stringCount_ + 1 >= bucketCount_) throw std::bad_alloc();
    return;
  }
  const size_t mask = count - 1;
  for (size_t i = 0; i < bucketCount_; ++i) {
    if (buckets_[i].record == nullptr) continue;
    size_t j = buckets_[i].hash & mask;
    while (buckets[j].record != nullptr) j = (j + 1) & mask;
    buckets[j] = buckets_[i];
  }
  if (buckets_ != inlineBuckets_) std::free(buckets_);
  buckets_ = buckets;
  bucketCount_ = count;
  const size_t slots = count * kCacheSlotsPerBucket;
  if (count >= kCacheFromBuckets && slots <= kMaxCacheSlots) {
    auto* cache =
        static_cast<BindingInternedString**>(std::calloc(slots, sizeof(BindingInternedString*)));
    if (cache == nullptr) return;  // the old one still serves
    BindingInternedString** old = cache_;
    const size_t old_slots = old == nullptr ? 0 : cacheMask_ + 1;
    cache_ = cache;
    cacheMask_ = slots - 1;
    // Carried over, so that the texts in use stay found while the tree grows.
    for (size_t i = 0; i < old_slots; ++i) {
      if (old[i] != nullptr) cache_[CacheSlot(old[i]->Text())] = old[i];
    }
    std::free(old);
  }
}

uint32_t BindingArena::RefCount(std::string_view text) const {
  const BindingInternedString* record = text.empty() ? nullptr : Lookup(text, Fnv1a(text));
  return record == nullptr ? 0 : record->string.refCount;
}

}  // namespace Varn
