#include "binding/binding_tree_builder.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "binding/binding_arena.h"
#include "binding/binding_member_tree.h"
#include "binding/text_compare.h"

namespace Varn {
namespace {

using Node = BindingMemberNode;

uint64_t SeenBit(const BindingInternedString* key) {
  return uint64_t{1} << ((reinterpret_cast<uintptr_t>(key) >> 3) * 0x9E3779B97F4A7C15u >> 58);
}

}  // namespace

// One allocation: the header, then keys, children, order and rank.
struct BindingTreeBuilder::Shape {
  uint32_t count;
  // The keys' texts beside the keys: looking a key up reads this array, not the records.
  std::string_view* texts;
  BindingInternedString** keys;  // in arrival order, each holding a count
  Shape** children;              // what the value of each member reported, learnt as we go
  uint32_t* order;               // order[j]: arrival index of the j-th key in key order
  uint32_t* rank;                // rank[i]: place of key i in key order (order's inverse)
};

void BindingTreeBuilder::OpenStructure(BindingProperty& value) {
  if (arena_ == nullptr) arena_ = value.arena_;
  Frame frame = NewFrame(value, true);
  // A structure that already has members (a repeated key) takes the rest through Field.
  if (reinterpret_cast<BindingMemberTree*>(value.payload_)->count != 0) {
    frame.batching = false;
    frame.expected = nullptr;
  }
  frames_.push_back(frame);
}

BindingTreeBuilder::Shape* BindingTreeBuilder::ExpectedMemberChild(const Frame& parent) const {
  const uint32_t position = pending_[parent.pendingStart + parent.lastIndex].expected;
  return position == kNone ? nullptr : parent.expected->children[position];
}

BindingMemberNode* BindingTreeBuilder::NewMember(BindingInternedString* key, uint32_t expected) {
  void* block;
  try {
    pending_.push_back({nullptr, nullptr, expected});
    block = arena_->AllocateBlock(sizeof(Node));
  } catch (...) {
    if (!pending_.empty() && pending_.back().node == nullptr) pending_.pop_back();
    arena_->Release(key);
    throw;
  }
  Node* node = new (block) Node{nullptr, nullptr, nullptr, key, BindingProperty(), 1};
  node->value.arena_ = arena_;
  node->value.ownsArena_ = 0;
  pending_.back().node = node;
  return node;
}

uint32_t BindingTreeBuilder::FindPending(const Frame& frame,
                                         const BindingInternedString* key) const {
  for (size_t i = frame.pendingStart; i < pending_.size(); ++i) {
    if (pending_[i].node->key == key) return static_cast<uint32_t>(i - frame.pendingStart);
  }
  return kNone;
}

BindingProperty* BindingTreeBuilder::Member(std::string_view name,
                                            BindingProperty::TextCheck accept) {
  Frame& frame = frames_.back();
  const size_t index = pending_.size() - frame.pendingStart;
  if (frame.batching && index >= kMaxPending) Spill(frame);
  if (!frame.batching) {
    frame.lastIndex = kNone;
    return frame.value->Field(name, accept);
  }
  // The expected key, or one a little further on when this record lacks some.
  uint32_t position = kNone;
  if (const Shape* expected = frame.expected) {
    const uint32_t end = std::min(expected->count, frame.cursor + kLookahead);
    for (uint32_t i = frame.cursor; i < end; ++i) {
      if (SameText(expected->texts[i], name)) {
        position = i;
        break;
      }
    }
  }
  BindingInternedString* key;
  bool counted = false;
  if (position != kNone) {
    key = frame.expected->keys[position];
    frame.cursor = position + 1;
    if (position != index) frame.exact = false;
  } else {
    key = name.empty() ? BindingArena::EmptyString() : arena_->Intern(name, accept);
    if (key == nullptr) return nullptr;
    counted = true;
    frame.exact = false;
    frame.allExpected = false;
  }
  auto* tree = reinterpret_cast<BindingMemberTree*>(frame.value->payload_);
  const uint64_t bit = SeenBit(key);
  bool append = false;
  if (frame.chained) {
    // Within one shape the ranks tell the order; otherwise the texts do.
    const uint32_t rank = position != kNone ? frame.expected->rank[position] : kNone;
    append = tree->last == nullptr || (rank != kNone && frame.lastRank != kNone
                                           ? rank > frame.lastRank
                                           : CompareText(key->Text(), tree->last->key->Text()) > 0);
    if (append) {
      frame.lastRank = rank;
    } else {
      frame.chained = false;  // the close sorts them all
    }
  }
  // Expected keys are distinct and taken in order, and ascending keys are distinct, so only a
  // structure that also had other keys can meet one twice.
  if (!append && !frame.allExpected && (frame.seen & bit) != 0) {
    const uint32_t found = FindPending(frame, key);
    if (found != kNone) {
      if (counted) arena_->Release(key);  // the member holds its own count
      frame.lastIndex = found;
      return &pending_[frame.pendingStart + found].node->value;
    }
  }
  frame.seen |= bit;
  if (!counted) BindingArena::AddRef(key);
  Node* node = NewMember(key, position);
  if (append) {
    if (tree->last != nullptr) {
      tree->last->next = node;
    } else {
      tree->first = node;
    }
    tree->last = node;
    ++tree->count;
  }
  frame.lastIndex = static_cast<uint32_t>(index);
  return &node->value;
}

void BindingTreeBuilder::CloseStructure() {
  Frame& frame = frames_.back();
  Shape* report = frame.batching ? Link(frame, true) : nullptr;
  frames_.pop_back();
  Report(report);
}

void BindingTreeBuilder::Spill(Frame& frame) noexcept {
  Link(frame, false);
  frame.batching = false;
  frame.expected = nullptr;
}

BindingTreeBuilder::Shape* BindingTreeBuilder::NewShape(const Pending* members, size_t count,
                                                        const uint32_t* order) noexcept {
  if (shapeKeys_ + count > kMaxShapeKeys) return nullptr;
  const size_t bytes =
      sizeof(Shape) + count * (sizeof(std::string_view) + 2 * sizeof(void*) + 2 * sizeof(uint32_t));
  auto* shape = static_cast<Shape*>(std::malloc(bytes));
  if (shape == nullptr) return nullptr;
  try {
    shapes_.push_back(shape);
  } catch (...) {
    std::free(shape);
    return nullptr;
  }
  shape->count = static_cast<uint32_t>(count);
  shape->texts = reinterpret_cast<std::string_view*>(shape + 1);
  shape->keys = reinterpret_cast<BindingInternedString**>(shape->texts + count);
  shape->children = reinterpret_cast<Shape**>(shape->keys + count);
  shape->order = reinterpret_cast<uint32_t*>(shape->children + count);
  shape->rank = shape->order + count;
  for (size_t i = 0; i < count; ++i) {
    shape->keys[i] = members[i].node->key;
    shape->texts[i] = shape->keys[i]->Text();
    BindingArena::AddRef(shape->keys[i]);
    shape->children[i] = members[i].child;
    shape->order[i] = order[i];
    shape->rank[order[i]] = static_cast<uint32_t>(i);
  }
  shapeKeys_ += count;
  return shape;
}

BindingTreeBuilder::Shape* BindingTreeBuilder::Link(Frame& frame, bool learn) noexcept {
  const size_t count = pending_.size() - frame.pendingStart;
  if (count == 0) return frame.expected;
  Pending* members = pending_.data() + frame.pendingStart;
  Shape* shape = frame.expected;
  // Members that came in ascending order are chained already; the rest are linked below.
  uint32_t sorted[kMaxPending];
  const uint32_t* order = sorted;
  if (shape != nullptr && frame.allExpected) {
    // Every key is the shape's: its ranks give the order, with no comparison of texts.
    for (size_t i = 0; i < count; ++i) {
      if (members[i].child != nullptr) shape->children[members[i].expected] = members[i].child;
    }
    if (frame.exact && count == shape->count) {
      order = shape->order;
    } else if (!frame.chained) {
      uint32_t slots[kMaxPending];
      std::fill(slots, slots + shape->count, kNone);
      for (size_t i = 0; i < count; ++i) {
        slots[shape->rank[members[i].expected]] = static_cast<uint32_t>(i);
      }
      size_t next = 0;
      for (uint32_t j = 0; j < shape->count; ++j) {
        if (slots[j] != kNone) sorted[next++] = slots[j];
      }
    }
  } else {
    for (size_t i = 0; i < count; ++i) sorted[i] = static_cast<uint32_t>(i);
    if (!frame.chained) {
      std::sort(sorted, sorted + count, [members](uint32_t a, uint32_t b) {
        return CompareText(members[a].node->key->Text(), members[b].node->key->Text()) < 0;
      });
    }
    shape = learn ? NewShape(members, count, sorted) : nullptr;
  }
  if (!frame.chained) {
    auto* tree = reinterpret_cast<BindingMemberTree*>(frame.value->payload_);
    Node* previous = members[order[0]].node;
    tree->first = previous;
    for (size_t j = 1; j < count; ++j) {
      Node* node = members[order[j]].node;
      previous->next = node;
      previous = node;
    }
    previous->next = nullptr;
    tree->last = previous;
    tree->count = count;
    tree->root = nullptr;  // built from the chain at the first lookup
  }
  pending_.resize(frame.pendingStart);
  return shape;
}

void BindingTreeBuilder::Finish() noexcept {
  while (!frames_.empty()) {
    Frame& frame = frames_.back();
    if (frame.isStructure && frame.batching) Link(frame, false);
    frames_.pop_back();
  }
  for (Shape* shape : shapes_) {
    for (uint32_t i = 0; i < shape->count; ++i) arena_->Release(shape->keys[i]);
    std::free(shape);
  }
  shapes_.clear();
  shapeKeys_ = 0;
  arena_ = nullptr;
}

}  // namespace Varn
