// BindingArena: what one value tree shares among its nodes. It interns the tree's strings (one
// counted record per distinct non-empty text) and serves the tree's fixed-size records from its
// small-block pools. Owned by the tree's root; destroyed only after the tree has released every
// string and returned every block. Not thread-safe: one tree, one thread at a time.
#ifndef ZEK_BINDING_BINDING_ARENA_H_
#define ZEK_BINDING_BINDING_ARENA_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "binding/binding_block_pools.h"
#include "binding/binding_property.h"
#include "binding/text_compare.h"

namespace Varn {

// An interned string record. Values of kind String and structure keys point at one of these.
struct BindingInternedString {
  BindingString string;
  std::string_view Text() const { return string.text; }
  // The bytes a record with its text (and a closing NUL) takes: small ones fit a pool block,
  // kept a multiple of 8 so the record's pointers stay aligned.
  static constexpr size_t AllocationSize(size_t length) {
    return (sizeof(BindingInternedString) + length + 1 + 7) / 8 * 8;
  }
};

class BindingArena {
 public:
  BindingArena() = default;
  BindingArena(const BindingArena&) = delete;
  BindingArena& operator=(const BindingArena&) = delete;
  ~BindingArena();

  // The record every empty string of every tree points at; it is never counted or removed.
  static BindingInternedString* EmptyString();

  // A check of a text's bytes, for decoders.
  using TextCheck = bool (*)(std::string_view text);

  // The record for `text` with its count raised by one, created when missing.
  // `hash` must be Fnv1a(text). With `accept`, a text the arena does not hold yet is created
  // only when `accept` takes it, and null comes back when it refuses.
  [[nodiscard]] BindingInternedString* Intern(std::string_view text, uint32_t hash,
                                              TextCheck accept = nullptr);
  // As above, hashing only when the text is not among the recently interned ones. A decoder
  // whose every text comes in with its `accept` checks each distinct text once: a repeated one
  // is found, already accepted, before anything looks at its bytes.
  [[nodiscard]] BindingInternedString* Intern(std::string_view text, TextCheck accept = nullptr) {
    if (text.empty()) return EmptyString();
    if (cache_ != nullptr) {
      BindingInternedString* record = cache_[CacheSlot(text)];
      if (record != nullptr && SameText(record->Text(), text)) {
        ++record->string.refCount;
        return record;
      }
    }
    return InternMissed(text, accept);
  }
  // The record for `text`, or null; the count is left alone.
  [[nodiscard]] BindingInternedString* Lookup(std::string_view text, uint32_t hash) const;
  static void AddRef(BindingInternedString* record) {
    if (record != EmptyString()) ++record->string.refCount;
  }
  // Drops one count; the record goes when none is left.
  void Release(BindingInternedString* record) {
    if (record == EmptyString()) return;
    if (--record->string.refCount == 0) Remove(record);
  }

  // Frees every string record, every outside block and takes back every block at once, for a
  // tree going away whole whose nodes were not released one by one. Nothing handed out before
  // may be used after.
  void DropAll();

  // Heap memory the tree owns beyond the pools (large element storage, blob bytes, long texts),
  // chained through a header in front of each block so that DropAll frees it without walking
  // the tree. Blocks are aligned to 16. Allocate and Reallocate throw std::bad_alloc and leave
  // an existing block as it was.
  [[nodiscard]] void* AllocateOutside(size_t size);
  [[nodiscard]] void* ReallocateOutside(void* block, size_t size);
  void FreeOutside(void* block);

  [[nodiscard]] void* AllocateBlock(size_t size) {
    if (!pools_) CreatePools();
    return pools_->Allocate(size);
  }
  void ReleaseBlock(size_t size, void* block) { pools_->Release(size, block); }

  // For diagnostics and tests.
  size_t StringCount() const { return stringCount_; }
  // The count of the record for `text`, 0 when it is not interned.
  uint32_t RefCount(std::string_view text) const;
  size_t UsedBlocks(size_t size) const { return pools_ ? pools_->UsedBlocks(size) : 0; }
  size_t PagesHeld() const { return pools_ ? pools_->PagesHeld() : 0; }

 private:
  static constexpr size_t kInitialBuckets = 8;
  static constexpr size_t kSmallSet = 64;
  // Trees whose set has grown to this many buckets get a cache of recent texts.
  static constexpr size_t kCacheFromBuckets = 128;
  // A direct-mapped cache loses a text whenever another lands on its slot: a few slots for each
  // string keep that rare.
  static constexpr size_t kCacheSlotsPerBucket = 2;
  static constexpr size_t kMaxCacheSlots = 16384;

  // The slot of `text` in the cache: a few words of the text, mixed, so finding it there costs
  // the same for a long text as for a short one. Collisions only cost a miss.
  size_t CacheSlot(std::string_view text) const {
    constexpr uint64_t kMix = 0x9E3779B97F4A7C15u;
    const char* p = text.data();
    const size_t n = text.size();
    uint64_t h;
    if (n >= 8) {
      // Head, tail and middle: texts of one shape (links, identifiers) differ somewhere there.
      h = (LoadWord64(p) * kMix) ^ LoadWord64(p + n - 8) ^ (LoadWord64(p + n / 2 - 4) << 7);
    } else if (n >= 4) {
      h = LoadWord32(p) | (static_cast<uint64_t>(LoadWord32(p + n - 4)) << 32);
    } else {
      h = static_cast<uint8_t>(p[0]) | static_cast<uint64_t>(static_cast<uint8_t>(p[n / 2])) << 8 |
          static_cast<uint64_t>(static_cast<uint8_t>(p[n - 1])) << 16;
    }
    h = (h ^ n) * kMix;
    return static_cast<size_t>(h >> 40) & cacheMask_;
  }
  [[gnu::noinline]] BindingInternedString* InternMissed(std::string_view text, TextCheck accept);

  // The bucket holding `text`, or the free bucket that ends its probe run.
  size_t Probe(std::string_view text, uint32_t hash) const;
  void CreatePools();
  void Remove(BindingInternedString* record);
  // Gives back the memory of a record and its text.
  void Free(BindingInternedString* record);
  void Grow();
  // Whether `count` strings would fill the set past its load limit. Small sets fill to three
  // quarters: most trees hold a handful of strings, and an early growth costs them an allocation
  // while a probe through a few buckets costs nothing. Large sets stay half full, where a probe
  // for a new text ends after two or three buckets.
  bool Crowded(size_t count) const {
    return bucketCount_ <= kSmallSet ? count * 4 > bucketCount_ * 3 : count * 2 > bucketCount_;
  }

  // The set is open-addressed with linear probing (load limit: Crowded). A bucket holds
  // its record's hash beside it, so probing past other texts, and growing, read only the
  // bucket array and never the records.
  struct Bucket {
    uint32_t hash;
    BindingInternedString* record;  // null when the bucket is free
  };
  // Most trees hold few distinct strings: their first buckets live in the arena itself, which
  // spares every small tree a heap allocation.
  Bucket inlineBuckets_[kInitialBuckets] = {};
  Bucket* buckets_ = inlineBuckets_;
  size_t bucketCount_ = kInitialBuckets;
  size_t stringCount_ = 0;
  // Recently interned records by CacheSlot, or null: repeated texts (the keys of every record
  // of a list, the same value in many places) are found without hashing their whole text,
  // which for FNV-1a costs a multiply per byte in one chain. Only a shortcut to the set above:
  // a record leaves it before it is freed.
  BindingInternedString** cache_ = nullptr;
  size_t cacheMask_ = 0;
  std::unique_ptr<BindingBlockPools> pools_;
  struct OutsideHeader {
    OutsideHeader* prev;
    OutsideHeader* next;
  };
  OutsideHeader* outside_ = nullptr;
};

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_ARENA_H_
