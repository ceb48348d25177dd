#include "binding/binding_arena.h"

#include <cstdlib>
#include <new>

namespace Varn {
namespace {

BindingInternedString empty_string{};

}  // namespace

static_assert(sizeof(BindingInternedString) <= BindingBlockPools::kMaxBlockSize);

BindingArena::~BindingArena() {
  // The tree has released every string by now; anything left is freed rather than leaked.
  for (size_t i = 0; i < bucketCount_; ++i) {
    BindingInternedString* record = buckets_[i];
    while (record != nullptr) {
      BindingInternedString* next = record->next;
      record->~BindingInternedString();
      pools_->Release(sizeof(BindingInternedString), record);
      record = next;
    }
  }
  if (buckets_ != inlineBuckets_) std::free(buckets_);
}

void BindingArena::DropAll() {
  for (size_t i = 0; i < bucketCount_; ++i) {
    for (BindingInternedString* record = buckets_[i]; record != nullptr;) {
      BindingInternedString* next = record->next;
      record->~BindingInternedString();
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
  void* block = AllocateBlock(sizeof(BindingInternedString));
  BindingInternedString* record;
  try {
    record = new (block) BindingInternedString{{std::string(text), hash, 1}, *bucket};
  } catch (...) {
    ReleaseBlock(sizeof(BindingInternedString), block);
    throw;
  }
  *bucket = record;
  if (++stringCount_ > bucketCount_) Grow();
  return record;
}

void BindingArena::Remove(BindingInternedString* record) {
  BindingInternedString** link = &buckets_[record->string.hash & (bucketCount_ - 1)];
  while (*link != record) link = &(*link)->next;
  *link = record->next;
  --stringCount_;
  record->~BindingInternedString();
  pools_->Release(sizeof(BindingInternedString), record);
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
