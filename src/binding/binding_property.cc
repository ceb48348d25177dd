#include "binding/binding_property.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "binding/binding_arena.h"
#include "binding/binding_member_tree.h"
#include "binding/small_stack.h"

namespace Varn {
// The records behind the kinds. Named (not anonymous) because the friend accessor below, which
// has external linkage, holds them in its frames.
namespace binding_records {

// Element and member walks all run on explicit stacks (SmallStack) instead of recursion, so a
// tree nested a million levels deep is destroyed, copied, compared and walked like a flat one.

constexpr size_t kMaxElements = 0x0FFFFFFF;

using Type = BindingPropertyType;
// Blob bytes are an outside block of the arena (see BindingArena::AllocateOutside).
struct Blob {
  uint8_t* data;
  size_t size;
  std::span<const uint8_t> Bytes() const { return std::span<const uint8_t>(data, size); }
};

// A BindingProperty holds no pointer into itself, so element storage may be relocated by a
// plain byte copy. Most collections of real documents hold one to three elements: storage that
// small comes from the arena's pools, larger storage from its outside blocks (moved by realloc).
// Which one holds the storage follows from the capacity alone.
struct CollectionRecord {
  BindingProperty* data;
  size_t size;
  size_t capacity;
};

constexpr size_t kPooledElements = BindingBlockPools::kMaxBlockSize / sizeof(BindingProperty);
static_assert(kPooledElements >= 1);

bool ElementsPooled(size_t capacity) { return capacity <= kPooledElements; }

// Storage for `capacity` (> 0) elements; throws std::bad_alloc.
BindingProperty* AllocateElements(BindingArena* arena, size_t capacity) {
  if (ElementsPooled(capacity)) {
    return static_cast<BindingProperty*>(arena->AllocateBlock(capacity * sizeof(BindingProperty)));
  }
  return static_cast<BindingProperty*>(arena->AllocateOutside(capacity * sizeof(BindingProperty)));
}

void FreeElements(BindingArena* arena, BindingProperty* data, size_t capacity) {
  if (data == nullptr) return;
  if (ElementsPooled(capacity)) {
    arena->ReleaseBlock(capacity * sizeof(BindingProperty), data);
  } else {
    arena->FreeOutside(data);
  }
}

using Key = BindingInternedString*;
using Members = BindingMemberTree;
using MemberNode = BindingMemberNode;

static_assert(sizeof(Blob) <= BindingBlockPools::kMaxBlockSize);
static_assert(sizeof(CollectionRecord) <= BindingBlockPools::kMaxBlockSize);
static_assert(sizeof(Members) <= BindingBlockPools::kMaxBlockSize);
static_assert(sizeof(BindingEnumValue) <= BindingBlockPools::kMaxBlockSize);

}  // namespace binding_records

namespace {

using namespace binding_records;

bool IsContainer(Type type) { return type == Type::Collection || type == Type::Structure; }

const BindingProperty& StaticEmpty() {
  static const BindingProperty empty;
  return empty;
}

}  // namespace

using namespace binding_records;

// Private access to the representation, shared by the tree algorithms below.
struct BindingPropertyAccess {
  static BindingInternedString* String(const BindingProperty& v) {
    return reinterpret_cast<BindingInternedString*>(v.payload_);
  }
  static Blob* BlobOf(const BindingProperty& v) { return reinterpret_cast<Blob*>(v.payload_); }
  static BindingEnumValue* Enum(const BindingProperty& v) {
    return reinterpret_cast<BindingEnumValue*>(v.payload_);
  }
  static CollectionRecord* Collection(const BindingProperty& v) {
    return reinterpret_cast<CollectionRecord*>(v.payload_);
  }
  static Members* Structure(const BindingProperty& v) {
    return reinterpret_cast<Members*>(v.payload_);
  }
  static double Float(const BindingProperty& v) {
    double d;
    std::memcpy(&d, &v.payload_, sizeof d);
    return d;
  }
  static void Set(BindingProperty& v, Type type, const void* record) {
    v.payload_ = reinterpret_cast<uintptr_t>(record);
    v.type_ = type;
  }
  static void MakeChild(BindingProperty& v, BindingArena* arena) {
    v.arena_ = arena;
    v.ownsArena_ = 0;
  }
  static BindingArena* Arena(const BindingProperty& v) { return v.arena_; }

  // A blob record holding a copy of `bytes` (which may lie in this tree); throws std::bad_alloc
  // with nothing taken.
  static Blob* NewBlob(BindingArena* arena, std::span<const uint8_t> bytes) {
    void* block = arena->AllocateBlock(sizeof(Blob));
    uint8_t* data = nullptr;
    if (!bytes.empty()) {
      try {
        data = static_cast<uint8_t*>(arena->AllocateOutside(bytes.size()));
      } catch (...) {
        arena->ReleaseBlock(sizeof(Blob), block);
        throw;
      }
      std::memcpy(data, bytes.data(), bytes.size());
    }
    return new (block) Blob{data, bytes.size()};
  }
  static Type TypeOf(const BindingProperty& v) { return v.type_; }

  // A pending container record of a reset: its kind and the record itself.
  struct Pending {
    Type type;
    uint64_t payload;
  };

  // Frees a string, blob or enum record; containers are left to the caller.
  static void ReleaseLeaf(BindingArena* arena, Type type, uint64_t payload) {
    switch (type) {
      case Type::String: {
        // An empty string needs no arena, so a value holding one may have none.
        auto* record = reinterpret_cast<BindingInternedString*>(payload);
        if (record != BindingArena::EmptyString()) arena->Release(record);
        break;
      }
      case Type::Blob: {
        auto* blob = reinterpret_cast<Blob*>(payload);
        arena->FreeOutside(blob->data);
        arena->ReleaseBlock(sizeof(Blob), blob);
        break;
      }
      case Type::Enum:
        arena->ReleaseBlock(sizeof(BindingEnumValue), reinterpret_cast<void*>(payload));
        break;
      default:
        break;
    }
  }

  // Empties `v`; a container record is queued rather than descended into.
  static void Detach(BindingProperty& v, SmallStack<Pending>& pending) {
    if (IsContainer(v.type_)) {
      pending.push({v.type_, v.payload_});
    } else {
      ReleaseLeaf(v.arena_, v.type_, v.payload_);
    }
    v.type_ = Type::Empty;
    v.payload_ = 0;
  }

  // Takes the payload of a child that is going away with its storage: scalars need nothing,
  // and the child itself is not written to.
  static void DetachChild(BindingArena* arena, const BindingProperty& v,
                          SmallStack<Pending>& pending) {
    if (v.type_ <= Type::Float) return;
    if (IsContainer(v.type_)) {
      pending.push({v.type_, v.payload_});
    } else {
      ReleaseLeaf(arena, v.type_, v.payload_);
    }
  }

  static void Reset(BindingProperty& v) {
    if (!IsContainer(v.type_)) {
      ReleaseLeaf(v.arena_, v.type_, v.payload_);
      v.type_ = Type::Empty;
      v.payload_ = 0;
      return;
    }
    BindingArena* arena = v.arena_;
    SmallStack<Pending> pending;
    Detach(v, pending);
    while (!pending.empty()) {
      const Pending item = pending.pop();
      if (item.type == Type::Collection) {
        auto* record = reinterpret_cast<CollectionRecord*>(item.payload);
        // Elements are children (they own no arena), so once their payload is taken nothing
        // is left for their destructors to do.
        for (size_t i = 0; i < record->size; ++i) DetachChild(arena, record->data[i], pending);
        FreeElements(arena, record->data, record->capacity);
        arena->ReleaseBlock(sizeof(CollectionRecord), record);
      } else {
        auto* members = reinterpret_cast<Members*>(item.payload);
        MemberNode* node = members->first;
        while (node != nullptr) {
          MemberNode* next = node->next;
          arena->Release(node->key);
          DetachChild(arena, node->value, pending);
          arena->ReleaseBlock(sizeof(MemberNode), node);
          node = next;
        }
        arena->ReleaseBlock(sizeof(Members), members);
      }
    }
  }

  // Builds the record of `src` into `dst` (Empty, in `arena`). Children that are containers are
  // queued as pairs; leaves are copied at once. Every step leaves `dst` a valid tree, so an
  // allocation failure part way only leaves a partial copy to be reset.
  struct CopyPair {
    BindingProperty* dst;
    const BindingProperty* src;
  };

  // Carries string records of the source tree over to the target arena. Within one arena a
  // record is shared; across arenas a small direct-mapped cache remembers where each source
  // record went, so the keys that repeat through a tree are looked up in the target only once.
  class StringCopier {
   public:
    StringCopier(BindingArena* target, bool same_arena) : target_(target), sameArena_(same_arena) {}
    Key Copy(Key record) {
      if (sameArena_ || record == BindingArena::EmptyString()) {
        BindingArena::AddRef(record);
        return record;
      }
      Entry& entry = cache_[(reinterpret_cast<uintptr_t>(record) >> 4) * 0x9E3779B97F4A7C15u >>
                            (64 - kCacheBits)];
      if (entry.source == record) {
        BindingArena::AddRef(entry.target);
        return entry.target;
      }
      Key copied = target_->Intern(record->Text(), record->string.hash);
      entry = {record, copied};
      return copied;
    }

   private:
    static constexpr int kCacheBits = 7;
    struct Entry {
      Key source = nullptr;
      Key target = nullptr;
    };
    BindingArena* target_;
    bool sameArena_;
    Entry cache_[1 << kCacheBits];
  };

  static void CopyNode(BindingProperty& dst, const BindingProperty& src, BindingArena* arena,
                       StringCopier& strings, SmallStack<CopyPair>& queue) {
    switch (src.type_) {
      case Type::Empty:
      case Type::Bool:
      case Type::Signed:
      case Type::Unsigned:
      case Type::Float:
        dst.payload_ = src.payload_;
        dst.type_ = src.type_;
        return;
      case Type::String:
        Set(dst, Type::String, strings.Copy(String(src)));
        return;
      case Type::Blob: {
        Set(dst, Type::Blob, NewBlob(arena, BlobOf(src)->Bytes()));
        return;
      }
      case Type::Enum:
        Set(dst, Type::Enum,
            new (arena->AllocateBlock(sizeof(BindingEnumValue))) BindingEnumValue(*Enum(src)));
        return;
      case Type::Collection: {
        const CollectionRecord* from = Collection(src);
        void* block = arena->AllocateBlock(sizeof(CollectionRecord));
        BindingProperty* data = nullptr;
        if (from->size != 0) {
          try {
            data = AllocateElements(arena, from->size);
          } catch (...) {
            arena->ReleaseBlock(sizeof(CollectionRecord), block);
            throw;
          }
        }
        for (size_t i = 0; i < from->size; ++i) MakeChild(*new (&data[i]) BindingProperty, arena);
        Set(dst, Type::Collection, new (block) CollectionRecord{data, from->size, from->size});
        for (size_t i = 0; i < from->size; ++i) {
          if (IsContainer(from->data[i].type_)) {
            queue.push({&data[i], &from->data[i]});
          } else {
            CopyNode(data[i], from->data[i], arena, strings, queue);
          }
        }
        return;
      }
      case Type::Structure: {
        const Members* from = Structure(src);
        auto* members = new (arena->AllocateBlock(sizeof(Members))) Members();
        Set(dst, Type::Structure, members);
        // Nodes are chained in key order as they are made (and so lie in that order in the
        // pool pages); the tree shape is left for the first lookup to build. A failure part way
        // leaves a shorter chain, which a reset still frees.
        MemberNode** tail = &members->first;
        for (const MemberNode* member = from->first; member != nullptr; member = member->next) {
          void* block = arena->AllocateBlock(sizeof(MemberNode));
          Key key;
          try {
            key = strings.Copy(member->key);
          } catch (...) {
            arena->ReleaseBlock(sizeof(MemberNode), block);
            throw;
          }
          auto* node = new (block) MemberNode{nullptr, nullptr, nullptr, key, BindingProperty(), 1};
          MakeChild(node->value, arena);
          *tail = node;
          tail = &node->next;
          members->last = node;
          ++members->count;
          if (IsContainer(member->value.type_)) {
            queue.push({&node->value, &member->value});
          } else {
            CopyNode(node->value, member->value, arena, strings, queue);
          }
        }
        return;
      }
    }
  }

  static void CopyTree(BindingProperty& dst, const BindingProperty& src) {
    BindingArena* arena = dst.arena_;
    StringCopier strings(arena, arena == src.arena_);
    SmallStack<CopyPair> queue;
    CopyNode(dst, src, arena, strings, queue);
    while (!queue.empty()) {
      const CopyPair pair = queue.pop();
      CopyNode(*pair.dst, *pair.src, arena, strings, queue);
    }
  }

  struct EqualPair {
    const BindingProperty* a;
    const BindingProperty* b;
  };

  static bool SameKey(Key a, Key b) {
    return a == b || (a->string.hash == b->string.hash && a->Text() == b->Text());
  }

  // Compares the kinds and, for leaves, the payloads; for containers the sizes, queueing the
  // children.
  static bool NodeEqual(const BindingProperty& a, const BindingProperty& b,
                        SmallStack<EqualPair>& queue) {
    if (a.type_ != b.type_) return false;
    switch (a.type_) {
      case Type::Empty:
        return true;
      case Type::Bool:
      case Type::Signed:
      case Type::Unsigned:
        return a.payload_ == b.payload_;
      case Type::Float:
        return Float(a) == Float(b);
      case Type::String:
        return SameKey(String(a), String(b));
      case Type::Blob:
        return std::ranges::equal(BlobOf(a)->Bytes(), BlobOf(b)->Bytes());
      case Type::Enum:
        return *Enum(a) == *Enum(b);
      case Type::Collection: {
        const CollectionRecord* x = Collection(a);
        const CollectionRecord* y = Collection(b);
        if (x->size != y->size) return false;
        for (size_t i = 0; i < x->size; ++i) {
          if (IsContainer(x->data[i].type_)) {
            if (x->data[i].type_ != y->data[i].type_) return false;
            queue.push({&x->data[i], &y->data[i]});
          } else if (!NodeEqual(x->data[i], y->data[i], queue)) {
            return false;
          }
        }
        return true;
      }
      case Type::Structure: {
        const Members* x = Structure(a);
        const Members* y = Structure(b);
        if (x->count != y->count) return false;
        for (const MemberNode *i = x->first, *j = y->first; i != nullptr;
             i = i->next, j = j->next) {
          if (!SameKey(i->key, j->key)) return false;
          if (IsContainer(i->value.type_)) {
            if (i->value.type_ != j->value.type_) return false;
            queue.push({&i->value, &j->value});
          } else if (!NodeEqual(i->value, j->value, queue)) {
            return false;
          }
        }
        return true;
      }
    }
    return false;
  }

  static bool Equal(const BindingProperty& a, const BindingProperty& b) {
    SmallStack<EqualPair> queue;
    if (!NodeEqual(a, b, queue)) return false;
    while (!queue.empty()) {
      const EqualPair pair = queue.pop();
      if (!NodeEqual(*pair.a, *pair.b, queue)) return false;
    }
    return true;
  }

  // One open container of a walk: where it stands among its children.
  struct WalkFrame {
    const BindingProperty* node;
    size_t index;
    const MemberNode* member;
    bool inChild;
  };

  // Emits a leaf, or opens a container (its begin call) and queues its frame.
  static void Enter(const BindingProperty& v, BindingVisitor& visitor,
                    SmallStack<WalkFrame>& frames) {
    switch (v.type_) {
      case Type::Empty:
        visitor.OnNull();
        return;
      case Type::Bool:
        visitor.OnBool(v.payload_ != 0);
        return;
      case Type::Signed:
        visitor.OnSigned(static_cast<int64_t>(v.payload_));
        return;
      case Type::Unsigned:
        visitor.OnUnsigned(v.payload_);
        return;
      case Type::Float:
        visitor.OnFloat(Float(v));
        return;
      case Type::String:
        visitor.OnString(String(v)->Text());
        return;
      case Type::Blob:
        visitor.OnBlob(BlobOf(v)->Bytes());
        return;
      case Type::Enum:
        visitor.OnEnum(*Enum(v));
        return;
      case Type::Collection:
        visitor.OnBeginCollection(Collection(v)->size);
        frames.push({&v, 0, nullptr, false});
        return;
      case Type::Structure:
        visitor.OnBeginStructure(Structure(v)->count);
        frames.push({&v, 0, Structure(v)->first, false});
        return;
    }
  }

  static void Walk(const BindingProperty& root, BindingVisitor& visitor) {
    SmallStack<WalkFrame> frames;
    Enter(root, visitor, frames);
    while (!frames.empty()) {
      WalkFrame& frame = frames.top();
      const BindingProperty* child = nullptr;
      if (frame.node->type_ == Type::Collection) {
        const CollectionRecord* record = Collection(*frame.node);
        if (frame.inChild) {
          visitor.OnEndElement(frame.index);
          ++frame.index;
          frame.inChild = false;
        }
        if (frame.index == record->size) {
          visitor.OnEndCollection();
          frames.pop();
          continue;
        }
        visitor.OnBeginElement(frame.index);
        child = &record->data[frame.index];
      } else {
        if (frame.inChild) {
          visitor.OnEndMember(frame.member->key->Text());
          frame.member = frame.member->next;
          frame.inChild = false;
        }
        if (frame.member == nullptr) {
          visitor.OnEndStructure();
          frames.pop();
          continue;
        }
        visitor.OnKey(frame.member->key->Text());
        child = &frame.member->value;
      }
      frame.inChild = true;
      Enter(*child, visitor, frames);  // may push, so `frame` is not used after this
    }
  }
};

using Access = BindingPropertyAccess;

BindingProperty::~BindingProperty() {
  if (ownsArena_ && arena_ != nullptr) {
    // The whole tree goes with its arena, which hands back its blocks, strings and outside
    // blocks at once: no node needs a visit.
    delete arena_;
    return;
  }
  if (type_ != Type::Empty) Access::Reset(*this);
}

BindingProperty::BindingProperty(const BindingProperty& other) { *this = other; }

BindingProperty& BindingProperty::operator=(const BindingProperty& other) {
  if (this == &other) return *this;
  if (!IsContainer(other.type_) && other.type_ != Type::String && other.type_ != Type::Blob &&
      other.type_ != Type::Enum) {
    const uint64_t payload = other.payload_;
    const Type type = other.type_;
    Reset();
    payload_ = payload;
    type_ = type;
    return *this;
  }
  EnsureArena();
  // The copy is built beside this value and swapped in only when complete, so `other` may lie
  // inside this tree or contain it.
  BindingProperty copy;
  Access::MakeChild(copy, arena_);
  Access::CopyTree(copy, other);
  Reset();
  payload_ = copy.payload_;
  type_ = copy.type_;
  copy.type_ = Type::Empty;
  copy.payload_ = 0;
  return *this;
}

BindingProperty::BindingProperty(BindingProperty&& other) noexcept {
  if (other.ownsArena_) {
    payload_ = other.payload_;
    arena_ = other.arena_;
    type_ = other.type_;
    other.payload_ = 0;
    other.arena_ = nullptr;
    other.type_ = Type::Empty;
    return;
  }
  *this = static_cast<const BindingProperty&>(other);
  other.Reset();
}

BindingProperty& BindingProperty::operator=(BindingProperty&& other) noexcept {
  if (this == &other) return *this;
  if (ownsArena_ && other.ownsArena_) {
    std::swap(payload_, other.payload_);
    std::swap(arena_, other.arena_);
    std::swap(type_, other.type_);
    other.Reset();
    return *this;
  }
  if (other.type_ == Type::Empty) {
    Reset();
    return *this;
  }
  EnsureArena();
  BindingProperty copy;
  Access::MakeChild(copy, arena_);
  Access::CopyTree(copy, other);
  // `other` first: it may lie inside this tree, which the next reset destroys.
  other.Reset();
  Reset();
  payload_ = copy.payload_;
  type_ = copy.type_;
  copy.type_ = Type::Empty;
  copy.payload_ = 0;
  return *this;
}

void BindingProperty::EnsureArena() {
  if (arena_ == nullptr) arena_ = new BindingArena();
}

void BindingProperty::Reset() {
  if (type_ != Type::Empty) Access::Reset(*this);
}

void BindingProperty::SetBool(bool value) {
  Reset();
  payload_ = value ? 1 : 0;
  type_ = Type::Bool;
}

void BindingProperty::SetSigned(int64_t value) {
  Reset();
  payload_ = static_cast<uint64_t>(value);
  type_ = Type::Signed;
}

void BindingProperty::SetUnsigned(uint64_t value) {
  Reset();
  payload_ = value;
  type_ = Type::Unsigned;
}

void BindingProperty::SetFloat(double value) {
  Reset();
  std::memcpy(&payload_, &value, sizeof value);
  type_ = Type::Float;
}

// The setters below take their record before releasing the old payload: the argument may view
// this value's own text or bytes, and a refused allocation leaves the old value whole.
void BindingProperty::SetString(std::string_view text) { (void)SetString(text, nullptr); }

bool BindingProperty::SetString(std::string_view text, TextCheck accept) {
  BindingInternedString* record = BindingArena::EmptyString();
  if (!text.empty()) {
    EnsureArena();
    record = arena_->Intern(text, accept);
    if (record == nullptr) return false;
  }
  Reset();
  Access::Set(*this, Type::String, record);
  return true;
}

void BindingProperty::SetBlob(std::span<const uint8_t> bytes) {
  EnsureArena();
  Blob* blob = Access::NewBlob(arena_, bytes);
  Reset();
  Access::Set(*this, Type::Blob, blob);
}

void BindingProperty::SetBlob(const std::vector<uint8_t>& bytes) {
  SetBlob(std::span<const uint8_t>(bytes.data(), bytes.size()));
}

void BindingProperty::SetBlob(std::vector<uint8_t>&& bytes) {
  SetBlob(std::span<const uint8_t>(bytes.data(), bytes.size()));
  bytes.clear();
}

void BindingProperty::SetEnum(BindingEnumValue value) {
  EnsureArena();
  void* block = arena_->AllocateBlock(sizeof(BindingEnumValue));
  Reset();
  Access::Set(*this, Type::Enum, new (block) BindingEnumValue(value));
}

void BindingProperty::MakeCollection() {
  if (type_ == Type::Collection) return;
  EnsureArena();
  void* block = arena_->AllocateBlock(sizeof(CollectionRecord));
  Reset();
  Access::Set(*this, Type::Collection, new (block) CollectionRecord{nullptr, 0, 0});
}

void BindingProperty::MakeStructure() {
  if (type_ == Type::Structure) return;
  EnsureArena();
  void* block = arena_->AllocateBlock(sizeof(Members));
  Reset();
  Access::Set(*this, Type::Structure, new (block) Members());
}

const char* BindingProperty::TypeName(BindingPropertyType type) {
  static constexpr const char* kNames[] = {"empty",  "bool", "signed", "unsigned",   "float",
                                           "string", "blob", "enum",   "collection", "structure"};
  const auto index = static_cast<size_t>(type);
  return index < std::size(kNames) ? kNames[index] : "";
}

bool BindingProperty::IsNullOrDefault() const {
  switch (type_) {
    case Type::Empty:
      return true;
    case Type::Bool:
    case Type::Signed:
    case Type::Unsigned:
      return payload_ == 0;
    case Type::Float:
      return Access::Float(*this) == 0.0;
    case Type::String:
    case Type::Blob:
    case Type::Collection:
    case Type::Structure:
      return Size() == 0;
    case Type::Enum:
      return Access::Enum(*this)->value == 0;
  }
  return true;
}

size_t BindingProperty::Size() const {
  switch (type_) {
    case Type::Empty:
      return 0;
    case Type::String:
      return Access::String(*this)->string.text.size();
    case Type::Blob:
      return Access::BlobOf(*this)->size;
    case Type::Collection:
      return Access::Collection(*this)->size;
    case Type::Structure:
      return Access::Structure(*this)->count;
    default:
      return 1;
  }
}

bool BindingProperty::GetBool(bool def) const { return type_ == Type::Bool ? payload_ != 0 : def; }

int64_t BindingProperty::GetSigned(int64_t def) const {
  return type_ == Type::Signed ? static_cast<int64_t>(payload_) : def;
}

uint64_t BindingProperty::GetUnsigned(uint64_t def) const {
  return type_ == Type::Unsigned ? payload_ : def;
}

double BindingProperty::GetFloat(double def) const {
  return type_ == Type::Float ? Access::Float(*this) : def;
}

std::string_view BindingProperty::GetString(std::string_view def) const {
  return type_ == Type::String ? Access::String(*this)->Text() : def;
}

std::span<const uint8_t> BindingProperty::GetBlob(std::span<const uint8_t> def) const {
  if (type_ != Type::Blob) return def;
  return Access::BlobOf(*this)->Bytes();
}

BindingEnumValue BindingProperty::GetEnum(BindingEnumValue def) const {
  return type_ == Type::Enum ? *Access::Enum(*this) : def;
}

int64_t BindingProperty::GetInteger(int64_t def) const {
  switch (type_) {
    case Type::Signed:
    case Type::Unsigned:
      return static_cast<int64_t>(payload_);
    case Type::Float: {
      // Out-of-range and NaN conversions are undefined in C++; they saturate here instead.
      const double d = Access::Float(*this);
      if (d != d) return def;
      if (d >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
      if (d < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
      return static_cast<int64_t>(d);
    }
    default:
      return def;
  }
}

void BindingProperty::GrowTo(size_t count) {
  if (count > kMaxElements) throw std::length_error("BindingProperty collection too long");
  CollectionRecord* record = Access::Collection(*this);
  if (count <= record->capacity) return;
  size_t capacity = record->capacity < 2 ? 2 : record->capacity * 2;
  if (capacity < count) capacity = count;
  if (capacity > kMaxElements) capacity = kMaxElements;
  if (ElementsPooled(record->capacity) || ElementsPooled(capacity)) {
    BindingProperty* data = AllocateElements(arena_, capacity);
    if (record->size != 0) {
      std::memcpy(static_cast<void*>(data), static_cast<const void*>(record->data),
                  record->size * sizeof(BindingProperty));
    }
    FreeElements(arena_, record->data, record->capacity);
    record->data = data;
  } else {
    record->data = static_cast<BindingProperty*>(
        arena_->ReallocateOutside(record->data, capacity * sizeof(BindingProperty)));
  }
  record->capacity = capacity;
}

BindingProperty& BindingProperty::At(size_t index) {
  MakeCollection();
  CollectionRecord* record = Access::Collection(*this);
  if (index < record->size) return record->data[index];
  if (index >= kMaxElements) throw std::length_error("BindingProperty collection too long");
  GrowTo(index + 1);
  while (record->size <= index) {
    Access::MakeChild(*new (&record->data[record->size]) BindingProperty, arena_);
    ++record->size;
  }
  return record->data[index];
}

const BindingProperty& BindingProperty::At(size_t index) const {
  if (type_ != Type::Collection) return StaticEmpty();
  const CollectionRecord* record = Access::Collection(*this);
  return index < record->size ? record->data[index] : StaticEmpty();
}

BindingProperty& BindingProperty::Append() {
  // The decoders' hot path: one kind check and no index bounds work.
  if (type_ != Type::Collection) MakeCollection();
  CollectionRecord* record = Access::Collection(*this);
  if (record->size == record->capacity) GrowTo(record->size + 1);
  BindingProperty* element = new (&record->data[record->size]) BindingProperty;
  Access::MakeChild(*element, arena_);
  ++record->size;
  return *element;
}

BindingProperty& BindingProperty::Field(std::string_view name) {
  if (type_ != Type::Structure) MakeStructure();
  bool inserted;
  MemberNode* node = Access::Structure(*this)->FindOrInsert(*arena_, name, inserted);
  if (inserted) Access::MakeChild(node->value, arena_);
  return node->value;
}

BindingProperty* BindingProperty::Field(std::string_view name, TextCheck accept) {
  // A decoder calls this for every key, nearly always on a structure it has just opened.
  if (type_ != Type::Structure) [[unlikely]] {
    // Refused before the kind changes, so that a refusal leaves this value as it was.
    if (accept != nullptr && !name.empty() && !accept(name)) return nullptr;
    return &Field(name);
  }
  bool inserted;
  MemberNode* node = Access::Structure(*this)->FindOrInsert(*arena_, name, inserted, accept);
  if (inserted) Access::MakeChild(node->value, arena_);
  return node != nullptr ? &node->value : nullptr;
}

const BindingProperty* BindingProperty::TryFind(std::string_view name) const {
  if (type_ != Type::Structure) return nullptr;
  // A text that the arena has never interned cannot be a key of this tree.
  Key key = name.empty() ? BindingArena::EmptyString() : arena_->Lookup(name, Fnv1a(name));
  if (key == nullptr) return nullptr;
  const MemberNode* node = Access::Structure(*this)->Find(key);
  return node == nullptr ? nullptr : &node->value;
}

BindingProperty* BindingProperty::TryFind(std::string_view name) {
  return const_cast<BindingProperty*>(static_cast<const BindingProperty*>(this)->TryFind(name));
}

const BindingProperty& BindingProperty::Find(std::string_view name) const {
  const BindingProperty* member = TryFind(name);
  return member != nullptr ? *member : StaticEmpty();
}

void BindingProperty::Reserve(size_t count) {
  if (count > kMaxElements) throw std::length_error("BindingProperty collection too long");
  if (type_ == Type::Collection) GrowTo(count);
}

void BindingProperty::VisitMembers(MemberCallback callback, void* ctx) const {
  if (type_ != Type::Structure) return;
  for (MemberNode* node = Access::Structure(*this)->first; node != nullptr; node = node->next) {
    callback(ctx, node->key->Text(), node->value);
  }
}

bool operator==(const BindingProperty& a, const BindingProperty& b) { return Access::Equal(a, b); }

void BindingProperty::Accept(BindingVisitor& visitor) const { Access::Walk(*this, visitor); }

}  // namespace Varn
