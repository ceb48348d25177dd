#include "binding/binding_arena.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace Varn {
namespace {

// Its text points at a real "" so callers handing data() to C interfaces get a NUL, not null.
BindingInternedString empty_string{{std::string_view("", 0), 0, 0}, nullptr};

}  // namespace

static_assert(BindingInternedString::AllocationSize(0) <= BindingBlockPools::kMaxBlockSize);
static_assert(std::is_trivially_destructible_v<BindingInternedString>,
              "records are freed without running a destructor");

BindingArena::~BindingArena() {
  // The tree has released every string by now; anything left is freed rather than leaked.
  for (size_t i = 0; i < bucketCount_; ++i) {
    BindingInternedString* record = buckets_[i];
    while (record != nullptr) {
      BindingInternedString* next = record->next;
      Free(record);
      record = next;
    }
  }
  if (buckets_ != inlineBuckets_) std::free(buckets_);
}

void BindingArena::DropAll() {
  for (size_t i = 0; i < bucketCount_; ++i) {
    // Pool blocks go back with their pages below; only the long texts' records are freed here.
    for (BindingInternedString* record = buckets_[i]; record != nullptr;) {
      BindingInternedString* next = record->next;
      const size_t size = BindingInternedString::AllocationSize(record->string.text.size());
      if (size > BindingBlockPools::kMaxBlockSize) std::free(record);
      record = next;
    }
    buckets_[i] = nullptr;
  }
  stringCount_ = 0;
  if (pools_) pools_->ReleaseAll();
}

BindingInternedString* BindingArena::EmptyString() { return &empty_string; }

void BindingArena::CreatePools() {
  pools_ = std::make_unique<BindingBlockPools>(BindingPagePool::Instance());
}

BindingInternedString* BindingArena::Lookup(std::string_view text, uint32_t hash) const {
  for (BindingInternedString* record = buckets_[hash & (bucketCount_ - 1)]; record != nullptr;
       record = record->next) {
    if (record->string.hash == hash && record->Text() == text) return record;
  }
  return nullptr;
}

BindingInternedString* BindingArena::Intern(std::string_view text, uint32_t hash) {
  if (text.empty()) return EmptyString();
  BindingInternedString** bucket = &buckets_[hash & (bucketCount_ - 1)];
  for (BindingInternedString* record = *bucket; record != nullptr; record = record->next) {
    if (record->string.hash == hash && record->Text() == text) {
      ++record->string.refCount;
      return record;
    }
  }
  const size_t size = BindingInternedString::AllocationSize(text.size());
  void* block;
  if (size <= BindingBlockPools::kMaxBlockSize) {
    block = AllocateBlock(size);
  } else {
    block = std::malloc(size);
    if (block == nullptr) throw std::bad_alloc();
  }
  char* const copy = static_cast<char*>(block) + sizeof(BindingInternedString);
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  auto* record =
      new (block) BindingInternedString{{std::string_view(copy, text.size()), hash, 1}, *bucket};
  *bucket = record;
  if (++stringCount_ > bucketCount_) Grow();
  return record;
}

void BindingArena::Remove(BindingInternedString* record) {
  BindingInternedString** link = &buckets_[record->string.hash & (bucketCount_ - 1)];
  while (*link != record) link = &(*link)->next;
  *link = record->next;
  --stringCount_;
  Free(record);
}

void BindingArena::Free(BindingInternedString* record) {
  const size_t size = BindingInternedString::AllocationSize(record->string.text.size());
  if (size <= BindingBlockPools::kMaxBlockSize) {
    pools_->Release(size, record);
  } else {
    std::free(record);
  }
}

void BindingArena::Grow() {
  const size_t count = bucketCount_ * 2;
  auto* buckets =
      static_cast<BindingInternedString**>(std::calloc(count, sizeof(BindingInternedString*)));
  // Without more buckets the set still works, only with longer chains.
  if (buckets == nullptr) return;
  for (size_t i = 0; i < bucketCount_; ++i) {
    BindingInternedString* record = buckets_[i];
    while (record != nullptr) {
      BindingInternedString* next = record->next;
      BindingInternedString** bucket = &buckets[record->string.hash & (count - 1)];
      record->next = *bucket;
      *bucket = record;
      record = next;
    }
  }
  if (buckets_ != inlineBuckets_) std::free(buckets_);
  buckets_ = buckets;
  bucketCount_ = count;
}

uint32_t BindingArena::RefCount(std::string_view text) const {
  const BindingInternedString* record = text.empty() ? nullptr : Lookup(text, Fnv1a(text));
  return record == nullptr ? 0 : record->string.refCount;
}

}  // namespace Varn
