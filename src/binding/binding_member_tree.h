// BindingMemberTree: the members of a structure value, kept sorted by the byte order of their key
// texts. Members are AVL tree nodes drawn from the arena's block pools and are also chained in
// key order, so walks, copies and resets follow the chain without touching the tree, and a copy
// rebuilds a balanced tree from the chain without comparing a single key. Insertion and lookup
// are O(log n); a node never moves once inserted, so references to member values stay valid
// until the member goes.
//
// Documents we wrote ourselves, and copies, deliver members in ascending key order. While that
// holds, members only join the end of the chain (one key comparison each) and the tree shape is
// left unbuilt; the first lookup or out-of-order insertion builds it from the chain, once. So a
// lookup may reshape a const tree: like the rest of a value tree, it is for one thread at a time.
#ifndef ZEK_BINDING_BINDING_MEMBER_TREE_H_
#define ZEK_BINDING_BINDING_MEMBER_TREE_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "binding/binding_arena.h"
#include "binding/binding_property.h"

namespace Varn {

struct BindingMemberNode {
  BindingMemberNode* left;
  BindingMemberNode* right;
  BindingMemberNode* next;  // the member with the next key, null for the last
  BindingInternedString* key;
  // The height shares the value's tail padding, which keeps a node at seven words.
  [[no_unique_address]] BindingProperty value;
  uint8_t height;  // of the subtree rooted here; a leaf is 1
};

struct BindingMemberTree {
  // Null while the members are only chained (see above), even when there are some.
  mutable BindingMemberNode* root = nullptr;
  BindingMemberNode* first = nullptr;
  BindingMemberNode* last = nullptr;  // the member with the greatest key
  size_t count = 0;

  // The member whose key is `key` (a record of this tree's arena), or null.
  BindingMemberNode* Find(const BindingInternedString* key) const;

  // The member named `name`, inserted with an Empty value when missing.
  // The value of a new member is Empty and not yet attached to the arena (the caller does that).
  // Throws std::bad_alloc with the tree unchanged when a block cannot be had. With `accept`, a
  // name new to the arena must pass it (BindingArena::Intern); null, with the tree unchanged,
  // when it does not.
  BindingMemberNode* FindOrInsert(BindingArena& arena, std::string_view name, bool& inserted,
                                  BindingArena::TextCheck accept = nullptr);

  // FindOrInsert once the tree shape is built.
  [[gnu::noinline]] BindingMemberNode* InsertInTree(BindingArena& arena, std::string_view name,
                                                    bool& inserted, BindingArena::TextCheck accept);

  // Gives the tree the shape of a balanced tree over the chain that starts at `first` and holds
  // `count` nodes, already in key order.
  void BuildFromChain() const;
};

}  // namespace Varn

#endif  // ZEK_BINDING_BINDING_MEMBER_TREE_H_
