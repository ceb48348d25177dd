#include "binding/binding_member_tree.h"

#include <cstring>
#include <new>

#include "binding/text_compare.h"

namespace Varn {
namespace {

using Node = BindingMemberNode;

// An AVL tree of n nodes is at most 1.44 log2(n + 2) high; 96 covers any n that fits memory.
constexpr int kMaxHeight = 96;

static_assert(sizeof(Node) == 7 * sizeof(void*));

int Height(const Node* node) { return node == nullptr ? 0 : node->height; }

void Update(Node* node) {
  const int l = Height(node->left);
  const int r = Height(node->right);
  node->height = static_cast<uint8_t>((l > r ? l : r) + 1);
}

Node* RotateRight(Node* node) {
  Node* pivot = node->left;
  node->left = pivot->right;
  pivot->right = node;
  Update(node);
  Update(pivot);
  return pivot;
}

Node* RotateLeft(Node* node) {
  Node* pivot = node->right;
  node->right = pivot->left;
  pivot->left = node;
  Update(node);
  Update(pivot);
  return pivot;
}

Node* Rebalance(Node* node) {
  Update(node);
  const int balance = Height(node->left) - Height(node->right);
  if (balance > 1) {
    if (Height(node->left->left) < Height(node->left->right)) node->left = RotateLeft(node->left);
    return RotateRight(node);
  }
  if (balance < -1) {
    if (Height(node->right->right) < Height(node->right->left)) {
      node->right = RotateRight(node->right);
    }
    return RotateLeft(node);
  }
  return node;
}

// Consumes `count` nodes of the chain at `cursor` and returns the root of a balanced tree over
// them. Recursion depth is log2(count), whatever the depth of the value tree.
Node* Build(Node*& cursor, size_t count) {
  if (count == 1) {  // most structures are small: stop one level early
    Node* node = cursor;
    cursor = cursor->next;
    node->left = nullptr;
    node->right = nullptr;
    node->height = 1;
    return node;
  }
  if (count == 0) return nullptr;
  const size_t left_count = (count - 1) / 2;
  Node* left = Build(cursor, left_count);
  Node* node = cursor;
  cursor = cursor->next;
  node->left = left;
  node->right = Build(cursor, count - 1 - left_count);
  Update(node);
  return node;
}

}  // namespace

Node* BindingMemberTree::Find(const BindingInternedString* key) const {
  if (root == nullptr) {
    if (first == nullptr) return nullptr;
    BuildFromChain();
  }
  const std::string_view text = key->Text();
  Node* node = root;
  while (node != nullptr) {
    if (node->key == key) return node;
    node = CompareText(text, node->key->Text()) < 0 ? node->left : node->right;
  }
  return nullptr;
}

Node* BindingMemberTree::FindOrInsert(BindingArena& arena, std::string_view name, bool& inserted,
                                      BindingArena::TextCheck accept) {
  if (root != nullptr) return InsertInTree(arena, name, inserted, accept);
  // Still a bare chain: a key above the last one joins its end without any tree work.
  const int order = last == nullptr ? 1 : CompareText(name, last->key->Text());
  if (order == 0) {
    inserted = false;
    return last;
  }
  if (order > 0) {
    void* block = arena.AllocateBlock(sizeof(Node));
    BindingInternedString* key;
    try {
      key = arena.Intern(name, accept);
    } catch (...) {
      arena.ReleaseBlock(sizeof(Node), block);
      throw;
    }
    if (key == nullptr) {
      arena.ReleaseBlock(sizeof(Node), block);
      inserted = false;
      return nullptr;
    }
    Node* node = new (block) Node{nullptr, nullptr, nullptr, key, BindingProperty(), 1};
    if (last != nullptr) {
      last->next = node;
    } else {
      first = node;
    }
    last = node;
    ++count;
    inserted = true;
    return node;
  }
  BuildFromChain();
  return InsertInTree(arena, name, inserted, accept);
}

// Kept apart from the chain case, which is the common one and needs no path on the stack.
Node* BindingMemberTree::InsertInTree(BindingArena& arena, std::string_view name, bool& inserted,
                                      BindingArena::TextCheck accept) {
  Node** path[kMaxHeight];
  int depth = 0;
  Node* before = nullptr;  // the member with the greatest key below `name`
  Node* after = nullptr;   // the member with the least key above `name`
  Node** link = &root;
  while (*link != nullptr) {
    Node* node = *link;
    const int order = CompareText(name, node->key->Text());
    if (order == 0) {
      inserted = false;
      return node;
    }
    path[depth++] = link;
    if (order < 0) {
      after = node;
      link = &node->left;
    } else {
      before = node;
      link = &node->right;
    }
  }
  void* block = arena.AllocateBlock(sizeof(Node));
  BindingInternedString* key;
  try {
    key = arena.Intern(name, accept);
  } catch (...) {
    arena.ReleaseBlock(sizeof(Node), block);
    throw;
  }
  if (key == nullptr) {
    arena.ReleaseBlock(sizeof(Node), block);
    inserted = false;
    return nullptr;
  }
  Node* node = new (block) Node{nullptr, nullptr, after, key, BindingProperty(), 1};
  *link = node;
  if (after == nullptr) last = node;
  if (before != nullptr) {
    before->next = node;
  } else {
    first = node;
  }
  ++count;
  while (depth > 0) {
    Node** parent = path[--depth];
    const uint8_t old_height = (*parent)->height;
    *parent = Rebalance(*parent);
    if ((*parent)->height == old_height) break;  // nothing above changes
  }
  inserted = true;
  return node;
}

void BindingMemberTree::BuildFromChain() const {
  Node* cursor = first;
  root = Build(cursor, count);
}

}  // namespace Varn
