// BindingTreeBuilder: fills the structures of a value tree that a reader decodes, member by
// member, with the result Field would give but without a sorted insertion per member.
//
// Documents repeat themselves: the records of a list carry the same keys in the same order, and
// so do the nested records under the same key. The builder remembers the shape of each
// structure it closes (its keys in arrival order and the order that sorts them) and offers it to
// the next structure in the same place: the next element of the list, or the value of the same
// member in the next sibling. While the keys match that shape, a key is taken from it by one
// comparison of its text, with no hashing and no search, and at the close the members are
// chained in key order by the remembered order, with no key comparison at all. A record that
// lacks some of the keys still takes the others from the shape. A structure with keys of its own
// is sorted once at its close, and its shape is remembered instead; keys that arrive ascending
// (documents written from sorted maps) are chained as they come.
//
// Members join their structure by its close (Close or Finish) at the latest: until then it may
// read as empty or partly filled, so nothing but the builder may look into an open structure.
//
// Field's rules hold for repeated keys (the same member again), for structures that already had
// members when opened (members are then inserted one by one with Field) and for very wide
// structures (sorted in as they pass kMaxPending members, then inserted by Field).
#ifndef ZEK_BINDING_BINDING_TREE_BUILDER_H_
#define ZEK_BINDING_BINDING_TREE_BUILDER_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "binding/binding_property.h"

namespace Varn {

class BindingArena;
struct BindingMemberNode;
struct BindingInternedString;

class BindingTreeBuilder {
 public:
  BindingTreeBuilder() = default;
  BindingTreeBuilder(const BindingTreeBuilder&) = delete;
  BindingTreeBuilder& operator=(const BindingTreeBuilder&) = delete;
  // Finishes what is still open.
  ~BindingTreeBuilder() { Finish(); }

  // Opens `value`, already made a structure or a collection by the caller, as the innermost
  // container. Every value of one builder must belong to one tree.
  void OpenStructure(BindingProperty& value);
  void OpenCollection(BindingProperty& value) {
    if (arena_ == nullptr) arena_ = value.arena_;
    frames_.push_back(NewFrame(value, false));
  }
  // The member `name` of the innermost container, a structure: what Field(name, accept) would
  // return (null when `accept` refuses a name new to the tree). Throws std::bad_alloc as Field
  // does; what was built so far stays owned by the tree.
  BindingProperty* Member(std::string_view name, BindingProperty::TextCheck accept = nullptr);
  // Closes the innermost container.
  void Close() {
    Frame& frame = frames_.back();
    if (frame.isStructure) return CloseStructure();
    Shape* report = frame.expected;
    frames_.pop_back();
    Report(report);
  }
  // Closes every open container and forgets every shape; called before the tree is touched by
  // anything else (an error that resets it, a return). Safe to call more than once.
  void Finish() noexcept;

  size_t Depth() const { return frames_.size(); }
  // The innermost open container, or null.
  BindingProperty* Innermost() const { return frames_.empty() ? nullptr : frames_.back().value; }
  bool InCollection() const { return !frames_.empty() && !frames_.back().isStructure; }

  // Members one structure gathers before it falls back to Field; keeps repeated-key checks and
  // the sort bounded for structures of any width.
  static constexpr size_t kMaxPending = 64;
  // Key entries all remembered shapes may hold together; past it, shapes are no longer learnt.
  static constexpr size_t kMaxShapeKeys = size_t{1} << 20;

 private:
  struct Shape;
  static constexpr uint32_t kNone = UINT32_MAX;
  struct Frame {
    BindingProperty* value;
    // For a structure: the shape its keys are expected to follow, or null. For a collection:
    // the shape expected of its next structure element (and what it reports on close).
    Shape* expected;
    uint32_t pendingStart;  // its members in pending_ from here
    uint32_t cursor;        // the position in expected where the next key is looked for first
    // Arrival index of the member Member returned last (the one a child container belongs
    // to), or kNone when it went in through Field.
    uint32_t lastIndex;
    bool isStructure;
    bool batching;     // members gather in pending_; otherwise they go in through Field
    bool exact;        // every key so far is the expected key at its own position
    bool allExpected;  // every key so far is one of the expected keys
    // Keys so far arrived in ascending order, and their members are already chained into the
    // structure: nothing is left to sort at the close, and no key can repeat.
    bool chained;
    // The place in key order of the last key within expected, when that key came from it.
    uint32_t lastRank;
    // A bit per key-record hash: keys that cannot have been seen in this structure yet skip
    // the search for a repeat.
    uint64_t seen;
  };
  struct Pending {
    BindingMemberNode* node;
    Shape* child;       // the shape the member's value reported, if a container
    uint32_t expected;  // the position of its key in the frame's expected shape, or kNone
  };
  // How far past the cursor a key is looked for: records that lack a few of their siblings'
  // members still find the rest.
  static constexpr uint32_t kLookahead = 8;

  Frame NewFrame(BindingProperty& value, bool structure) const {
    return Frame{&value,
                 ExpectedChild(),
                 static_cast<uint32_t>(pending_.size()),
                 0,
                 kNone,
                 structure,
                 structure,
                 true,
                 true,
                 true,
                 kNone,
                 0};
  }
  // What the next container opened is expected to look like.
  Shape* ExpectedChild() const {
    if (frames_.empty()) return nullptr;
    const Frame& parent = frames_.back();
    if (!parent.isStructure) return parent.expected;
    return parent.lastIndex != kNone ? ExpectedMemberChild(parent) : nullptr;
  }
  Shape* ExpectedMemberChild(const Frame& parent) const;
  // Hands what a closed container looked like to its parent.
  void Report(Shape* shape) {
    if (frames_.empty() || shape == nullptr) return;
    Frame& parent = frames_.back();
    if (!parent.isStructure) {
      parent.expected = shape;  // for the next element
    } else if (parent.lastIndex != kNone) {
      pending_[parent.pendingStart + parent.lastIndex].child = shape;
    }
  }
  void CloseStructure();
  // Links the pending members of `frame` into its structure in key order; returns the shape
  // its siblings should expect, remembering a new one when `learn` (and memory allows).
  Shape* Link(Frame& frame, bool learn) noexcept;
  Shape* NewShape(const Pending* members, size_t count, const uint32_t* order) noexcept;
  void Spill(Frame& frame) noexcept;
  // The arrival index of the pending member with `key`, or kNone.
  uint32_t FindPending(const Frame& frame, const BindingInternedString* key) const;
  BindingMemberNode* NewMember(BindingInternedString* key, uint32_t expected);

  std::vector<Frame> frames_;
  std::vector<Pending> pending_;
  std::vector<Shape*> shapes_;  // owned; each holds a count on its keys
  size_t shapeKeys_ = 0;
  BindingArena* arena_ = nullptr;
};

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_TREE_BUILDER_H_
