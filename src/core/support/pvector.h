// Persistent vector: a 32-way trie of full leaves plus a tail leaf holding the
// last 1..32 elements. Updates copy only the path to the changed leaf and share
// everything else with the old version, which never changes.
//
// Complexity (n = size, log32 n is at most 7 for any size that fits in memory):
//   size, empty, back, copy, move, destroy (when shared) ....... O(1)
//   nth, get, assoc ........................................... O(log32 n)
//   push_back, pop_back ....................................... amortised O(1)
//   drop_front ................................................ O(1)
//   iteration ................................................. O(1) per step
//   from_range ................................................ O(n)
//
// Nodes carry non-atomic intrusive reference counts: a vector and its versions
// belong to one thread. The rvalue overloads (`std::move(v).push_back(x)`)
// update in place every node that only the moved-from value owns, so building
// a vector through a chain of them allocates only new leaves and branches.
//
// A tail leaf may hold more constructed elements than a version sees: a version
// whose tail is full up to its own size appends into the shared leaf, which the
// versions that see a shorter prefix cannot observe. This makes push_back on a
// shared vector O(1) without copying the tail.
//
// drop_front shares every node: a version may start after the first element
// its nodes hold (those elements stay stored, unseen, until the nodes go).
//
// Each version remembers whether any element it was given may refer to a
// collected object (ReferenceTraits), so tracing can skip it when none did.
//
// T's copy and move constructors must not throw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <new>
#include <utility>

#include "support/block_pool.h"
#include "support/references.h"

namespace quorvel {

template <class T>
class PVector {
  static constexpr unsigned kBits = 5;
  static constexpr size_t kWidth = size_t{1} << kBits;
  static constexpr size_t kMask = kWidth - 1;

  struct Node {
    uint32_t refs = 1;
    uint32_t count = 0;  // branch: children in use; leaf: constructed elements

    // Leaves and branches are deleted through their own type, so `bytes`
    // is the size of the block allocated for them.
    static void* operator new(size_t bytes) { return block_pool::allocate(bytes); }
    static void operator delete(void* node, size_t bytes) { block_pool::deallocate(node, bytes); }
  };
  struct Branch : Node {
    Node* child[kWidth];
  };
  struct Leaf : Node {
    Leaf() {}
    ~Leaf() {
      for (uint32_t i = 0; i < this->count; ++i) items[i].~T();
    }
    union {
      T items[kWidth];
    };
  };

 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = const T*;
    using reference = const T&;

    const_iterator() = default;
    reference operator*() const { return leaf_[index_ & kMask]; }
    pointer operator->() const { return &leaf_[index_ & kMask]; }
    const_iterator& operator++() {
      if ((++index_ & kMask) == 0 && index_ < vec_->size_) leaf_ = vec_->leaf_for(index_);
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++*this;
      return old;
    }
    friend bool operator==(const const_iterator& a, const const_iterator& b) {
      return a.index_ == b.index_;
    }

   private:
    friend class PVector;
    const_iterator(const PVector* vec, size_t index, const T* leaf)
        : vec_(vec), index_(index), leaf_(leaf) {}
    const PVector* vec_ = nullptr;
    size_t index_ = 0;
    const T* leaf_ = nullptr;  // items of the leaf holding index_
  };

  PVector() = default;
  PVector(const PVector& other)
      : root_(other.root_),
        tail_(other.tail_),
        size_(other.size_),
        start_(other.start_),
        shift_(other.shift_),
        may_refer_(other.may_refer_) {
    if (root_) ++root_->refs;
    if (tail_) ++tail_->refs;
  }
  PVector(PVector&& other) noexcept
      : root_(std::exchange(other.root_, nullptr)),
        tail_(std::exchange(other.tail_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        start_(std::exchange(other.start_, 0)),
        shift_(std::exchange(other.shift_, kBits)),
        may_refer_(std::exchange(other.may_refer_, false)) {}
  PVector& operator=(const PVector& other) {
    PVector copy(other);
    swap(copy);
    return *this;
  }
  PVector& operator=(PVector&& other) noexcept {
    PVector taken(std::move(other));
    swap(taken);
    return *this;
  }
  ~PVector() {
    release(root_, shift_);
    release(tail_, 0);
  }

  template <class It>
  static PVector from_range(It first, It last) {
    PVector out;
    for (; first != last; ++first) out.append(*first);
    return out;
  }
  static PVector from(std::initializer_list<T> items) {
    return from_range(items.begin(), items.end());
  }

  size_t size() const { return size_ - start_; }
  bool empty() const { return size_ == start_; }
  // False when no element this version was built from refers to a
  // collected object.
  bool may_hold_references() const { return may_refer_; }

  // Precondition: i < size().
  const T& nth(size_t i) const { return stored(start_ + i); }
  const T* get(size_t i) const { return i < size() ? &nth(i) : nullptr; }
  // Precondition: !empty().
  const T& back() const { return tail_->items[size_ - 1 - tail_offset()]; }

  PVector push_back(T v) const& {
    PVector out(*this);
    out.append(std::move(v));
    return out;
  }
  PVector push_back(T v) && {
    append(std::move(v));
    return std::move(*this);
  }

  // Precondition: !empty().
  PVector pop_back() const& {
    PVector out(*this);
    out.remove_last();
    return out;
  }
  PVector pop_back() && {
    remove_last();
    return std::move(*this);
  }

  // Precondition: i < size().
  PVector assoc(size_t i, T v) const& {
    PVector out(*this);
    out.set(start_ + i, std::move(v));
    return out;
  }
  PVector assoc(size_t i, T v) && {
    set(start_ + i, std::move(v));
    return std::move(*this);
  }

  // The elements after the first `count` (all of them dropped when count
  // reaches the size).
  PVector drop_front(size_t count) const& {
    PVector out(*this);
    out.skip(count);
    return out;
  }
  PVector drop_front(size_t count) && {
    skip(count);
    return std::move(*this);
  }

  const_iterator begin() const { return {this, start_, empty() ? nullptr : leaf_for(start_)}; }
  const_iterator end() const { return {this, size_, nullptr}; }

 private:
  void swap(PVector& other) noexcept {
    std::swap(root_, other.root_);
    std::swap(tail_, other.tail_);
    std::swap(size_, other.size_);
    std::swap(start_, other.start_);
    std::swap(shift_, other.shift_);
    std::swap(may_refer_, other.may_refer_);
  }

  // First index held by the tail.
  size_t tail_offset() const { return size_ == 0 ? 0 : (size_ - 1) & ~kMask; }

  // Precondition: i < size_, so the vector is not empty and a trie index
  // passes through at least one branch.
  const Leaf* leaf_node(size_t i) const {
    if (i >= ((size_ - 1) & ~kMask)) return tail_;
    const Node* node = root_;
    unsigned level = shift_;
    do {
      node = static_cast<const Branch*>(node)->child[(i >> level) & kMask];
      level -= kBits;
    } while (level > 0);
    return static_cast<const Leaf*>(node);
  }
  const T* leaf_for(size_t i) const { return leaf_node(i)->items; }
  // The element at stored index i (start_ <= i < size_).
  const T& stored(size_t i) const { return leaf_for(i)[i & kMask]; }

  // Drops one reference to a node at `level` (0 = leaf); frees it at zero.
  // Recursion depth is the trie height.
  static void release(Node* node, unsigned level) {
    if (!node || --node->refs != 0) return;
    if (level == 0) {
      delete static_cast<Leaf*>(node);
      return;
    }
    Branch* branch = static_cast<Branch*>(node);
    for (uint32_t i = 0; i < branch->count; ++i) release(branch->child[i], level - kBits);
    delete branch;
  }

  static Leaf* copy_leaf(const Leaf* src, uint32_t count) {
    Leaf* leaf = new Leaf;
    for (uint32_t i = 0; i < count; ++i) new (&leaf->items[i]) T(src->items[i]);
    leaf->count = count;
    return leaf;
  }

  static void truncate(Leaf* leaf, uint32_t count) {
    while (leaf->count > count) leaf->items[--leaf->count].~T();
  }

  // Takes the caller's reference to `leaf` and returns a leaf only the caller
  // owns, holding the first `count` elements.
  static Leaf* editable_leaf(Leaf* leaf, uint32_t count) {
    if (leaf->refs == 1) return leaf;
    Leaf* copy = copy_leaf(leaf, count);
    --leaf->refs;
    return copy;
  }

  // Takes the caller's reference to `node` and returns a branch only the
  // caller owns; a copy shares the children, so they become shared in turn.
  static Branch* editable_branch(Node* node) {
    Branch* branch = static_cast<Branch*>(node);
    if (branch->refs == 1) return branch;
    Branch* copy = new Branch;
    copy->count = branch->count;
    for (uint32_t i = 0; i < branch->count; ++i) {
      copy->child[i] = branch->child[i];
      ++copy->child[i]->refs;
    }
    --branch->refs;
    return copy;
  }

  // A chain of single-child branches from `level` down to `leaf`.
  static Node* new_path(unsigned level, Leaf* leaf) {
    if (level == 0) return leaf;
    Branch* branch = new Branch;
    branch->child[0] = new_path(level - kBits, leaf);
    branch->count = 1;
    return branch;
  }

  // Hangs the full leaf whose first index is `index` below `node`.
  static Branch* push_leaf(Node* node, unsigned level, size_t index, Leaf* leaf) {
    Branch* branch = editable_branch(node);
    const uint32_t slot = (index >> level) & kMask;
    if (level == kBits) {
      branch->child[slot] = leaf;
    } else if (slot < branch->count) {
      branch->child[slot] = push_leaf(branch->child[slot], level - kBits, index, leaf);
    } else {
      branch->child[slot] = new_path(level - kBits, leaf);
    }
    branch->count = slot + 1;
    return branch;
  }

  // Removes the last leaf (the one holding `index`) below `node`; returns
  // nullptr when the branch becomes empty.
  static Branch* pop_leaf(Node* node, unsigned level, size_t index) {
    Branch* branch = editable_branch(node);
    const uint32_t slot = (index >> level) & kMask;
    Node* child = nullptr;
    if (level > kBits) {
      child = pop_leaf(branch->child[slot], level - kBits, index);
    } else {
      release(branch->child[slot], 0);
    }
    branch->count = child ? slot + 1 : slot;
    if (child) branch->child[slot] = child;
    if (branch->count == 0) {
      release(branch, level);
      return nullptr;
    }
    return branch;
  }

  static Node* set_in_trie(Node* node, unsigned level, size_t i, T&& v) {
    if (level == 0) {
      Leaf* leaf = editable_leaf(static_cast<Leaf*>(node), kWidth);
      leaf->items[i & kMask] = std::move(v);
      return leaf;
    }
    Branch* branch = editable_branch(node);
    Node*& slot = branch->child[(i >> level) & kMask];
    slot = set_in_trie(slot, level - kBits, i, std::move(v));
    return branch;
  }

  void append(T v) {
    may_refer_ = may_refer_ || ReferenceTraits<T>::refers(v);
    uint32_t slot = static_cast<uint32_t>(size_ - tail_offset());  // tail elements seen
    if (slot == kWidth) {
      push_tail_into_trie();
      slot = 0;
    }
    if (!tail_) {
      tail_ = new Leaf;
    } else if (tail_->refs == 1) {
      truncate(tail_, slot);
    } else if (tail_->count != slot) {
      Leaf* copy = copy_leaf(tail_, slot);
      --tail_->refs;
      tail_ = copy;
    }
    new (&tail_->items[slot]) T(std::move(v));
    tail_->count = slot + 1;
    ++size_;
  }

  // Moves the full tail into the trie, growing the trie by a level when the
  // root is full.
  void push_tail_into_trie() {
    Leaf* full = std::exchange(tail_, nullptr);
    const size_t index = size_ - kWidth;
    if (!root_) {
      root_ = new_path(kBits, full);
      shift_ = kBits;
    } else if ((index >> shift_) >= kWidth) {
      Branch* top = new Branch;
      top->child[0] = root_;
      top->child[1] = new_path(shift_, full);
      top->count = 2;
      root_ = top;
      shift_ += kBits;
    } else {
      root_ = push_leaf(root_, shift_, index, full);
    }
  }

  void skip(size_t count) {
    if (count >= size()) {
      *this = PVector();
    } else {
      start_ += count;
    }
  }

  void remove_last() {
    if (size() == 1) {
      *this = PVector();
      return;
    }
    const uint32_t used = static_cast<uint32_t>(size_ - tail_offset());
    if (used > 1) {
      if (tail_->refs == 1) truncate(tail_, used - 1);
      --size_;
      return;
    }
    // The tail empties: the last leaf of the trie becomes the tail.
    Leaf* last = const_cast<Leaf*>(leaf_node(size_ - 2));
    ++last->refs;
    release(tail_, 0);
    tail_ = last;
    root_ = pop_leaf(root_, shift_, size_ - 2);
    if (root_ && shift_ > kBits && root_->count == 1) {
      Node* only = static_cast<Branch*>(root_)->child[0];
      ++only->refs;
      release(root_, shift_);
      root_ = only;
      shift_ -= kBits;
    }
    --size_;
  }

  void set(size_t i, T&& v) {
    may_refer_ = may_refer_ || ReferenceTraits<T>::refers(v);
    const size_t offset = tail_offset();
    if (i >= offset) {
      tail_ = editable_leaf(tail_, static_cast<uint32_t>(size_ - offset));
      tail_->items[i - offset] = std::move(v);
    } else {
      root_ = set_in_trie(root_, shift_, i, std::move(v));
    }
  }

  Node* root_ = nullptr;  // branch at level shift_ holding [0, tail_offset()); null when empty
  Leaf* tail_ = nullptr;  // null only when size_ == 0
  size_t size_ = 0;       // elements stored, counting the start_ dropped ones
  size_t start_ = 0;      // index of the first element this version sees
  unsigned shift_ = kBits;
  bool may_refer_ = false;
};

}  // namespace quorvel
