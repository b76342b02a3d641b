// Persistent hash map and set: compressed hash-array mapped prefix tries
// (CHAMP). Each node has a bitmap of inline entries and a bitmap of subnodes,
// indexed by 5 bits of the key's 64-bit hash per level; keys whose full hashes
// are equal end in a collision node below the last level. Updates copy the
// path to the changed node and share the rest with the old version, which
// never changes.
//
// Complexity (n = size; the trie is at most 13 bitmap levels deep, about
// log32 n for well-spread hashes):
//   size, empty, copy, move, destroy (when shared) ........... O(1)
//   find, contains, insert, erase ............................. O(log32 n), one hash of the probe
//   iteration ................................................. O(1) amortised per step
// Keys that share a full hash cost a linear scan of their collision node.
//
// Every new collection takes its own SipHash key from next_collection_key();
// versions derived from it by insert or erase keep that key. Iteration order
// depends on the hashes, so it is stable for one map but differs between maps.
//
// Nodes carry non-atomic intrusive reference counts: a map and its versions
// belong to one thread. The rvalue overloads (`std::move(m).insert(k, v)`)
// update in place the nodes that only the moved-from value owns.
//
// Each version remembers whether any entry it was given may refer to a
// collected object (ReferenceTraits), so tracing can skip it when none did.
//
// Traits: static uint64_t hash(const SipKey&, const K&);
//         static bool equal(const K&, const K&);
// K's and V's copy and move constructors must not throw.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "support/block_pool.h"
#include "support/references.h"
#include "support/siphash.h"

namespace quorvel {

// The hasher key for a new collection: a per-thread random seed whose first
// key is incremented on every call.
SipKey next_collection_key();

namespace hamt_detail {

inline uint32_t popcount(uint32_t x) {
#ifdef __POPCNT__
  return static_cast<uint32_t>(std::popcount(x));
#else
  // Without the POPCNT instruction std::popcount becomes a library call.
  x = x - ((x >> 1) & 0x55555555u);
  x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
  x = (x + (x >> 4)) & 0x0f0f0f0fu;
  return (x * 0x01010101u) >> 24;
#endif
}

// The trie shared by PMap and PSet. Access says how to read the key of an
// Entry and how an insert of an equal key updates the stored entry.
template <class Entry, class Access, class Traits>
class Champ {
  static constexpr unsigned kBits = 5;
  static constexpr unsigned kHashBits = 64;
  // Bitmap levels at shifts 0, 5, ..., 60, then one collision level.
  static constexpr int kMaxDepth = kHashBits / kBits + 2;

  struct Node {
    uint32_t refs = 1;
  };
  // Followed by `entries` entries, then popcount(nodemap) subnodes, both in
  // bit order.
  struct Bitmap : Node {
    Bitmap(uint32_t d, uint32_t n) : datamap(d), nodemap(n), entries(popcount(d)) {}
    uint32_t datamap;
    uint32_t nodemap;
    uint32_t entries;  // popcount(datamap), kept so a descent needs no popcount for it
  };
  // Followed by `count` entries whose keys share one full hash.
  struct Collision : Node {
    explicit Collision(uint32_t c) : count(c) {}
    uint32_t count;
  };

  static_assert(alignof(Entry) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

  static constexpr size_t round_up(size_t n, size_t align) {
    return (n + align - 1) / align * align;
  }
  static constexpr size_t kBitmapData = round_up(sizeof(Bitmap), alignof(Entry));
  static constexpr size_t kCollisionData = round_up(sizeof(Collision), alignof(Entry));
  static size_t nodes_offset(uint32_t entries) {
    return round_up(kBitmapData + entries * sizeof(Entry), alignof(Node*));
  }

  static Entry* data(Bitmap* b) {
    return std::launder(reinterpret_cast<Entry*>(reinterpret_cast<char*>(b) + kBitmapData));
  }
  static const Entry* data(const Bitmap* b) { return data(const_cast<Bitmap*>(b)); }
  static Node** nodes(Bitmap* b) {
    return std::launder(
        reinterpret_cast<Node**>(reinterpret_cast<char*>(b) + nodes_offset(b->entries)));
  }
  static Node* const* nodes(const Bitmap* b) { return nodes(const_cast<Bitmap*>(b)); }
  static Entry* data(Collision* c) {
    return std::launder(reinterpret_cast<Entry*>(reinterpret_cast<char*>(c) + kCollisionData));
  }
  static const Entry* data(const Collision* c) { return data(const_cast<Collision*>(c)); }

  static uint32_t bit_of(uint64_t hash, unsigned shift) {
    return uint32_t{1} << ((hash >> shift) & 31);
  }
  static uint32_t index_of(uint32_t map, uint32_t bit) { return popcount(map & (bit - 1)); }
  static const auto& key_of(const Entry& e) { return Access::key(e); }

 public:
  using Key = std::remove_cvref_t<decltype(Access::key(std::declval<const Entry&>()))>;

  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    using pointer = const Entry*;
    using reference = const Entry&;

    Iterator() = default;
    reference operator*() const { return *current_; }
    pointer operator->() const { return current_; }
    Iterator& operator++() {
      advance();
      return *this;
    }
    Iterator operator++(int) {
      Iterator old = *this;
      advance();
      return old;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) {
      return a.current_ == b.current_;
    }

   private:
    friend class Champ;
    explicit Iterator(const Node* root) {
      if (!root) return;
      stack_[depth_++] = {root, 0};
      advance();
    }

    // Entries of a node come before those of its subnodes.
    void advance() {
      while (depth_ > 0) {
        Frame& top = stack_[depth_ - 1];
        if (static_cast<unsigned>(depth_ - 1) * kBits >= kHashBits) {
          const Collision* c = static_cast<const Collision*>(top.node);
          if (top.next < c->count) {
            current_ = &data(c)[top.next++];
            return;
          }
        } else {
          const Bitmap* b = static_cast<const Bitmap*>(top.node);
          const uint32_t entries = b->entries;
          if (top.next < entries) {
            current_ = &data(b)[top.next++];
            return;
          }
          if (top.next < entries + popcount(b->nodemap)) {
            const Node* child = nodes(b)[top.next++ - entries];
            stack_[depth_++] = {child, 0};
            continue;
          }
        }
        --depth_;
      }
      current_ = nullptr;
    }

    struct Frame {
      const Node* node;
      uint32_t next;  // entries first, then subnodes
    };
    Frame stack_[kMaxDepth];
    int depth_ = 0;
    const Entry* current_ = nullptr;  // nullptr at the end
  };

  Champ() : sip_(next_collection_key()) {}
  Champ(const Champ& other)
      : root_(other.root_), size_(other.size_), sip_(other.sip_), may_refer_(other.may_refer_) {
    if (root_) ++root_->refs;
  }
  Champ(Champ&& other) noexcept
      : root_(std::exchange(other.root_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        sip_(other.sip_),
        may_refer_(std::exchange(other.may_refer_, false)) {}
  Champ& operator=(const Champ& other) {
    Champ copy(other);
    swap(copy);
    return *this;
  }
  Champ& operator=(Champ&& other) noexcept {
    Champ taken(std::move(other));
    swap(taken);
    return *this;
  }
  ~Champ() { release(root_, 0); }

  size_t size() const { return size_; }
  const SipKey& sip_key() const { return sip_; }
  bool may_hold_references() const { return may_refer_; }
  Iterator begin() const { return Iterator(root_); }
  Iterator end() const { return Iterator(); }

  const Entry* find(const Key& key) const {
    return root_ ? find_hashed(key, Traits::hash(sip_, key)) : nullptr;
  }

  // Adds the entry, or lets Access::replace update the stored entry of an
  // equal key.
  void insert(Entry entry) {
    may_refer_ = may_refer_ || ReferenceTraits<Entry>::refers(entry);
    const uint64_t hash = Traits::hash(sip_, key_of(entry));
    if (!root_) {
      Bitmap* b = new_bitmap(bit_of(hash, 0), 0);
      new (data(b)) Entry(std::move(entry));
      root_ = b;
      size_ = 1;
      return;
    }
    bool added = false;
    root_ = insert_at(root_, 0, hash, std::move(entry), added);
    size_ += added;
  }

  void erase(const Key& key) {
    if (!root_) return;
    const uint64_t hash = Traits::hash(sip_, key);
    if (!find_hashed(key, hash)) return;
    root_ = erase_at(root_, 0, hash, key);
    if (--size_ == 0) release(std::exchange(root_, nullptr), 0);
  }

  // Calls f(entry) for every entry, in iteration order.
  template <class F>
  void for_each(F&& f) const {
    if (root_) visit(root_, 0, f);
  }

 private:
  struct Change {
    uint32_t data_add = 0;   // bit of a new entry, taken from *entry
    uint32_t data_drop = 0;  // bit of an entry to remove
    uint32_t node_add = 0;   // bit of a new subnode, child
    uint32_t node_drop = 0;  // bit of a subnode to remove
    Entry* entry = nullptr;
    Node* child = nullptr;
  };

  void swap(Champ& other) noexcept {
    std::swap(root_, other.root_);
    std::swap(size_, other.size_);
    std::swap(sip_, other.sip_);
    std::swap(may_refer_, other.may_refer_);
  }

  static size_t bitmap_bytes(uint32_t entries, uint32_t nodemap) {
    return nodes_offset(entries) + popcount(nodemap) * sizeof(Node*);
  }
  static size_t collision_bytes(uint32_t count) { return kCollisionData + count * sizeof(Entry); }

  static Bitmap* new_bitmap(uint32_t datamap, uint32_t nodemap) {
    void* memory = block_pool::allocate(bitmap_bytes(popcount(datamap), nodemap));
    return new (memory) Bitmap(datamap, nodemap);
  }
  static Collision* new_collision(uint32_t count) {
    return new (block_pool::allocate(collision_bytes(count))) Collision(count);
  }

  // Destroys the entries of an unreferenced node and frees it, without
  // touching its subnodes.
  static void free_shell(Bitmap* b) {
    const size_t bytes = bitmap_bytes(b->entries, b->nodemap);
    std::destroy_n(data(b), b->entries);
    b->~Bitmap();
    block_pool::deallocate(b, bytes);
  }
  static void free_shell(Collision* c) {
    const size_t bytes = collision_bytes(c->count);
    std::destroy_n(data(c), c->count);
    c->~Collision();
    block_pool::deallocate(c, bytes);
  }

  // Drops one reference to a node at `shift`; frees it at zero. Recursion
  // depth is at most the trie height.
  static void release(Node* node, unsigned shift) {
    if (!node || --node->refs != 0) return;
    if (shift >= kHashBits) {
      free_shell(static_cast<Collision*>(node));
      return;
    }
    Bitmap* b = static_cast<Bitmap*>(node);
    Node** children = nodes(b);
    for (uint32_t i = 0, n = popcount(b->nodemap); i < n; ++i) release(children[i], shift + kBits);
    free_shell(b);
  }

  // Moves (unique) or copies count entries into raw memory.
  static void transfer_n(Entry* dst, Entry* src, uint32_t count, bool unique) {
    if (unique) {
      std::uninitialized_move_n(src, count, dst);
    } else {
      std::uninitialized_copy_n(src, count, dst);
    }
  }
  // Copies count subnode pointers; a shared parent's copy takes a reference.
  static void share_n(Node** dst, Node* const* src, uint32_t count, bool unique) {
    std::copy_n(src, count, dst);
    if (!unique) {
      for (uint32_t i = 0; i < count; ++i) ++dst[i]->refs;
    }
  }

  // Takes the caller's reference to `n` and returns a node with the change
  // applied (at most one entry and one subnode added or dropped). A node
  // only the caller owns gives up its contents; a shared one is copied and
  // keeps them.
  static Bitmap* reshape(Bitmap* n, unsigned shift, const Change& c) {
    const bool unique = n->refs == 1;
    Bitmap* r = new_bitmap((n->datamap | c.data_add) & ~c.data_drop,
                           (n->nodemap | c.node_add) & ~c.node_drop);
    // The entries before the changed bit, the new one, then the rest.
    const uint32_t entries = n->entries;
    const uint32_t data_bit = c.data_add | c.data_drop;
    const uint32_t data_cut = data_bit ? index_of(n->datamap, data_bit) : entries;
    const uint32_t data_dropped = c.data_drop ? 1 : 0;
    Entry* src = data(n);
    Entry* dst = data(r);
    transfer_n(dst, src, data_cut, unique);
    if (c.data_add) new (dst + data_cut) Entry(std::move(*c.entry));
    transfer_n(dst + data_cut + (c.data_add ? 1 : 0), src + data_cut + data_dropped,
               entries - data_cut - data_dropped, unique);
    // The same for the subnodes.
    const uint32_t children = popcount(n->nodemap);
    const uint32_t node_bit = c.node_add | c.node_drop;
    const uint32_t node_cut = node_bit ? index_of(n->nodemap, node_bit) : children;
    const uint32_t node_dropped = c.node_drop ? 1 : 0;
    Node** from = nodes(n);
    Node** to = nodes(r);
    share_n(to, from, node_cut, unique);
    if (c.node_add) to[node_cut] = c.child;
    if (c.node_drop && unique) release(from[node_cut], shift + kBits);
    share_n(to + node_cut + (c.node_add ? 1 : 0), from + node_cut + node_dropped,
            children - node_cut - node_dropped, unique);
    if (unique) {
      free_shell(n);
    } else {
      --n->refs;
    }
    return r;
  }

  static Bitmap* editable(Bitmap* n, unsigned shift) {
    return n->refs == 1 ? n : reshape(n, shift, {});
  }

  static constexpr uint32_t kNone = UINT32_MAX;

  // Collision-node counterpart of reshape: drops the entry at `drop` (or
  // kNone) and appends *add (when given).
  static Collision* reshape(Collision* n, uint32_t drop, Entry* add) {
    const bool unique = n->refs == 1;
    Collision* r = new_collision(n->count - (drop != kNone) + (add != nullptr));
    const uint32_t cut = drop == kNone ? n->count : drop;
    const uint32_t rest = n->count - cut - (drop == kNone ? 0 : 1);
    Entry* dst = data(r);
    transfer_n(dst, data(n), cut, unique);
    transfer_n(dst + cut, data(n) + n->count - rest, rest, unique);
    if (add) new (dst + cut + rest) Entry(std::move(*add));
    if (unique) {
      free_shell(n);
    } else {
      --n->refs;
    }
    return r;
  }

  static uint32_t collision_index(const Collision* c, const Key& key) {
    for (uint32_t i = 0; i < c->count; ++i) {
      if (Traits::equal(key_of(data(c)[i]), key)) return i;
    }
    return kNone;
  }

  // Asks for the lines after a node's header while the header is loading, so
  // the entry or child a lookup needs in a large node does not cost a second
  // serial cache miss. Four lines cover a node of 32 children.
  static void prefetch_node(const Node* node) {
    const char* base = reinterpret_cast<const char*>(node);
    for (int line = 1; line <= 4; ++line) __builtin_prefetch(base + 64 * line);
  }

  const Entry* find_hashed(const Key& key, uint64_t hash) const {
    const Node* node = root_;
    for (unsigned shift = 0; shift < kHashBits; shift += kBits) {
      const Bitmap* b = static_cast<const Bitmap*>(node);
      const uint32_t bit = bit_of(hash, shift);
      if (b->datamap & bit) {
        const Entry& e = data(b)[index_of(b->datamap, bit)];
        return Traits::equal(key_of(e), key) ? &e : nullptr;
      }
      if (!(b->nodemap & bit)) return nullptr;
      node = nodes(b)[index_of(b->nodemap, bit)];
      prefetch_node(node);
    }
    const Collision* c = static_cast<const Collision*>(node);
    const uint32_t i = collision_index(c, key);
    return i == kNone ? nullptr : &data(c)[i];
  }

  // A subtrie at `shift` holding two entries with different keys.
  static Node* merge(unsigned shift, Entry&& a, uint64_t ha, Entry&& b, uint64_t hb) {
    if (shift >= kHashBits) {
      Collision* c = new_collision(2);
      new (data(c)) Entry(std::move(a));
      new (data(c) + 1) Entry(std::move(b));
      return c;
    }
    const uint32_t bit_a = bit_of(ha, shift);
    const uint32_t bit_b = bit_of(hb, shift);
    if (bit_a == bit_b) {
      Bitmap* n = new_bitmap(0, bit_a);
      nodes(n)[0] = merge(shift + kBits, std::move(a), ha, std::move(b), hb);
      return n;
    }
    Bitmap* n = new_bitmap(bit_a | bit_b, 0);
    Entry* slots = data(n);
    new (slots + (bit_a < bit_b ? 0 : 1)) Entry(std::move(a));
    new (slots + (bit_a < bit_b ? 1 : 0)) Entry(std::move(b));
    return n;
  }

  // Takes the caller's reference to `node` (at `shift`) and returns the node
  // that replaces it.
  Node* insert_at(Node* node, unsigned shift, uint64_t hash, Entry&& entry, bool& added) const {
    if (shift >= kHashBits) {
      Collision* c = static_cast<Collision*>(node);
      const uint32_t i = collision_index(c, key_of(entry));
      if (i == kNone) {
        added = true;
        return reshape(c, kNone, &entry);
      }
      if (c->refs != 1) c = reshape(c, kNone, nullptr);
      Access::replace(data(c)[i], std::move(entry));
      return c;
    }
    Bitmap* b = static_cast<Bitmap*>(node);
    const uint32_t bit = bit_of(hash, shift);
    if (b->datamap & bit) {
      const Entry& stored = data(b)[index_of(b->datamap, bit)];
      if (Traits::equal(key_of(stored), key_of(entry))) {
        b = editable(b, shift);
        Access::replace(data(b)[index_of(b->datamap, bit)], std::move(entry));
        return b;
      }
      // Both go one level down; the stored entry's hash is computed again.
      added = true;
      Entry pushed(stored);
      const uint64_t pushed_hash = Traits::hash(sip_, key_of(pushed));
      Node* child = merge(shift + kBits, std::move(pushed), pushed_hash, std::move(entry), hash);
      return reshape(b, shift, {.data_drop = bit, .node_add = bit, .child = child});
    }
    if (b->nodemap & bit) {
      b = editable(b, shift);
      Node*& slot = nodes(b)[index_of(b->nodemap, bit)];
      slot = insert_at(slot, shift + kBits, hash, std::move(entry), added);
      return b;
    }
    added = true;
    return reshape(b, shift, {.data_add = bit, .entry = &entry});
  }

  // The one entry of a node that erase left with a single entry, or nullptr.
  static Entry* single_entry(Node* node, unsigned shift) {
    if (shift >= kHashBits) {
      Collision* c = static_cast<Collision*>(node);
      return c->count == 1 ? data(c) : nullptr;
    }
    Bitmap* b = static_cast<Bitmap*>(node);
    return b->nodemap == 0 && b->entries == 1 ? data(b) : nullptr;
  }

  // Like insert_at, for a key that is present. A subnode left with a single
  // entry is replaced by that entry, so every subnode holds two or more.
  static Node* erase_at(Node* node, unsigned shift, uint64_t hash, const Key& key) {
    if (shift >= kHashBits) {
      Collision* c = static_cast<Collision*>(node);
      return reshape(c, collision_index(c, key), nullptr);
    }
    Bitmap* b = static_cast<Bitmap*>(node);
    const uint32_t bit = bit_of(hash, shift);
    if (b->datamap & bit) return reshape(b, shift, {.data_drop = bit});
    b = editable(b, shift);
    Node*& slot = nodes(b)[index_of(b->nodemap, bit)];
    slot = erase_at(slot, shift + kBits, hash, key);
    Entry* single = single_entry(slot, shift + kBits);
    if (!single) return b;
    Entry lifted(slot->refs == 1 ? std::move(*single) : *single);
    return reshape(b, shift, {.data_add = bit, .node_drop = bit, .entry = &lifted});
  }

  template <class F>
  static void visit(const Node* node, unsigned shift, F& f) {
    if (shift >= kHashBits) {
      const Collision* c = static_cast<const Collision*>(node);
      for (uint32_t i = 0; i < c->count; ++i) f(data(c)[i]);
      return;
    }
    const Bitmap* b = static_cast<const Bitmap*>(node);
    const Entry* entries = data(b);
    for (uint32_t i = 0; i < b->entries; ++i) f(entries[i]);
    Node* const* children = nodes(b);
    for (uint32_t i = 0, n = popcount(b->nodemap); i < n; ++i) visit(children[i], shift + kBits, f);
  }

  Node* root_ = nullptr;  // a Bitmap; nullptr when empty
  size_t size_ = 0;
  SipKey sip_;
  bool may_refer_ = false;
};

}  // namespace hamt_detail

namespace hamt_detail {

// What PMap and PSet share: the trie, its queries and erase. Derived is the
// collection type, which adds its own insert and lookups.
template <class Derived, class Trie>
class ChampCollection {
 public:
  using const_iterator = typename Trie::Iterator;

  size_t size() const { return trie_.size(); }
  bool empty() const { return trie_.size() == 0; }
  const SipKey& sip_key() const { return trie_.sip_key(); }
  // False when no entry this version was built from refers to a collected
  // object.
  bool may_hold_references() const { return trie_.may_hold_references(); }
  bool contains(const typename Trie::Key& key) const { return trie_.find(key) != nullptr; }

  Derived erase(const typename Trie::Key& key) const& {
    Derived out(self());
    out.trie_.erase(key);
    return out;
  }
  Derived erase(const typename Trie::Key& key) && {
    trie_.erase(key);
    return std::move(self());
  }

  const_iterator begin() const { return trie_.begin(); }
  const_iterator end() const { return trie_.end(); }

 protected:
  const Derived& self() const { return static_cast<const Derived&>(*this); }
  Derived& self() { return static_cast<Derived&>(*this); }

  Trie trie_;
};

template <class K, class V>
struct MapAccess {
  static const K& key(const std::pair<K, V>& e) { return e.first; }
  // An equal key keeps the stored key and takes the new value.
  static void replace(std::pair<K, V>& stored, std::pair<K, V>&& fresh) {
    stored.second = std::move(fresh.second);
  }
};

template <class K>
struct SetAccess {
  static const K& key(const K& e) { return e; }
  // An equal member stays as it is.
  static void replace(K&, K&&) {}
};

}  // namespace hamt_detail

template <class K, class V, class Traits>
class PMap : public hamt_detail::ChampCollection<
                 PMap<K, V, Traits>,
                 hamt_detail::Champ<std::pair<K, V>, hamt_detail::MapAccess<K, V>, Traits>> {
 public:
  const V* find(const K& key) const {
    const std::pair<K, V>* e = this->trie_.find(key);
    return e ? &e->second : nullptr;
  }

  PMap insert(K key, V value) const& {
    PMap out(*this);
    out.trie_.insert({std::move(key), std::move(value)});
    return out;
  }
  PMap insert(K key, V value) && {
    this->trie_.insert({std::move(key), std::move(value)});
    return std::move(*this);
  }

  // Calls f(key, value) for every entry, in iteration order.
  template <class F>
  void for_each(F&& f) const {
    this->trie_.for_each([&f](const std::pair<K, V>& e) { f(e.first, e.second); });
  }
};

template <class K, class Traits>
class PSet : public hamt_detail::ChampCollection<
                 PSet<K, Traits>, hamt_detail::Champ<K, hamt_detail::SetAccess<K>, Traits>> {
 public:
  const K* find(const K& key) const { return this->trie_.find(key); }

  PSet insert(K key) const& {
    PSet out(*this);
    out.trie_.insert(std::move(key));
    return out;
  }
  PSet insert(K key) && {
    this->trie_.insert(std::move(key));
    return std::move(*this);
  }

  // Calls f(member) for every member, in iteration order.
  template <class F>
  void for_each(F&& f) const {
    this->trie_.for_each(f);
  }
};

}  // namespace quorvel
