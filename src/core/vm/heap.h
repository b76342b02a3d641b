// The garbage-collected heap: generational cells of heap objects, a mark and
// sweep collector that runs only inside allocation, hash-consing of strings,
// collections and variants, the structural hash, both equality relations,
// and the merge of a compiler's constant heap into the machine's heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/arena.h"
#include "support/result.h"
#include "vm/heap_object.h"
#include "vm/vmvalue.h"

namespace quorvel {

// Destroys a heap object and returns its block to the pool.
struct PooledObjectDelete {
  void operator()(HeapObject* object) const noexcept;
};
using PooledObject = std::unique_ptr<HeapObject, PooledObjectDelete>;

// The object is held by pointer so that it never moves: a pointer from
// Heap::get stays valid until a collection frees the object.
struct GcCell {
  std::optional<uint64_t> hash;  // present exactly when the object is canonical
  PooledObject object;
  bool marked = false;
};

// Supplies the root keys of a collection; asked only when one is due.
struct RootSource {
  virtual void collect_roots(std::vector<HeapKey>& out) const = 0;

 protected:
  ~RootSource() = default;
};

// Data nested too deeply for the thread's stack to compare.
struct DepthExceeded {};

class Heap {
 public:
  static constexpr size_t kInitialThreshold = 1024;
  // Values of live collections traced per allocation the next threshold
  // allows at least (see collect).
  static constexpr size_t kTracedValuesPerAllocation = 16;

  Heap() = default;
  Heap(Heap&&) = default;
  Heap& operator=(Heap&&) = default;
  Heap(const Heap&) = delete;
  Heap& operator=(const Heap&) = delete;

  // --- Allocation and lookup -------------------------------------------

  // Collects first when due (the new object's children are kept alive
  // along with the roots), then stores the object without a hash.
  HeapKey alloc(HeapObject object, const RootSource& roots);
  // Stores the object without any collection.
  HeapKey alloc_no_gc(HeapObject object);

  // The object of a live key; nullptr for a dead key. Objects never move:
  // the pointer is valid until a collection frees the object.
  const HeapObject* get(HeapKey key) const;
  HeapObject* get_mut(HeapKey key);
  // The structural hash cached in the cell (present for canonical objects).
  std::optional<uint64_t> cell_hash(HeapKey key) const;
  bool contains(HeapKey key) const { return cells_.contains(key.to_arena()); }

  size_t live() const { return cells_.live(); }
  size_t threshold() const { return threshold_; }

  // Calls f(key, object) for every live object, in slot order.
  template <class F>
  void for_each(F&& f) const {
    const_cast<Arena<GcCell>&>(cells_).for_each(
        [&](ArenaKey key, const GcCell& cell) { f(HeapKey::from_arena(key), *cell.object); });
  }

  // --- Collection ------------------------------------------------------

  // True when an allocation would collect now.
  bool collection_due() const;
  // Runs a collection when one is due.
  void collect_if_due(const RootSource& roots);
  // Mark from the roots, sweep, rebuild the intern tables, set the threshold.
  void collect(std::vector<HeapKey> roots);

  // Returns the number of values the marked sequences, sets and maps hold.
  size_t mark(std::vector<HeapKey> worklist);
  void sweep();
  // Appends the keys of the object's children.
  static void trace_object(const HeapObject& object, std::vector<HeapKey>& worklist);
  void rebuild_intern_tables();

  // While above zero, no allocation collects.
  uint32_t gc_disabled() const { return gc_disabled_; }
  void raise_gc_disabled() { ++gc_disabled_; }
  void lower_gc_disabled() {
    if (gc_disabled_ > 0) --gc_disabled_;
  }
  // Stress mode: every allocation where collection is allowed collects.
  void set_stress(bool on) { stress_ = on; }
  bool stress() const { return stress_; }

  // --- Interning (never collects) -------------------------------------

  HeapKey intern_string(std::string_view text);
  HeapKey intern_seq(SeqData seq);
  HeapKey intern_set(VMSet set);
  HeapKey intern_map(VMMap map);
  HeapKey intern_variant(VariantObject variant);

  // The canonical representative of a map key or set member: strings,
  // sequences, sets, maps and variants are replaced by their interned
  // object; everything else, anything already canonical and anything that
  // cannot be hashed is returned unchanged.
  VMValue canonicalize_key(VMValue value);
  // Canonicalise the key, then insert or look up.
  VMMap map_insert(const VMMap& map, VMValue key, VMValue value);
  std::optional<VMValue> map_get(const VMMap& map, VMValue key);

  // --- Hashing and equality -------------------------------------------

  // Structural SipHash-1-3 (keys zero); absent for values that cannot be
  // hashed, dead keys and data nested too deeply for the stack.
  std::optional<uint64_t> hash_vmvalue(VMValue value) const;
  // The same for a sequence, set, map or variant not (yet) in the heap;
  // absent for every other kind.
  std::optional<uint64_t> compute_collection_hash(const HeapObject& object) const;

  // Interning equality: tags must agree (1 is not 1.0), list is not vector.
  // Data nested too deeply for the stack compares unequal.
  bool structurally_equal(const HeapObject& a, const HeapObject& b) const;
  bool values_equal(VMValue a, VMValue b) const;
  // The language's `=`: numbers across kinds, lists equal vectors, maps and
  // sets by language-equal members. Too deep data is an error.
  Result<bool, DepthExceeded> language_equal(VMValue a, VMValue b) const;

  // --- Merging a constant heap ----------------------------------------

  // Moves every live object of `other` here and rewrites the references
  // inside them; a canonical object equal to a canonical one already here
  // is merged into it. Returns old key to new key for every moved object.
  HeapKeyMap import_from(Heap&& other);
  // Adds base to the prototype and guard indexes of the clauses of every
  // ClosureTemplate among the map's new keys.
  void offset_proto_refs(uint32_t base, const HeapKeyMap& imported);

 private:
  HeapKey store(HeapObject object, std::optional<uint64_t> hash);
  std::unordered_map<uint64_t, HeapKey>* table_for(HeapKind kind);
  HeapKey intern_collection(HeapObject object);
  HeapKey intern_hashed(HeapObject object, uint64_t hash);

  Arena<GcCell> cells_;
  std::unordered_map<uint64_t, HeapKey> seq_table_;
  std::unordered_map<uint64_t, HeapKey> set_table_;
  std::unordered_map<uint64_t, HeapKey> map_table_;
  std::unordered_map<uint64_t, HeapKey> variant_table_;
  std::unordered_map<uint64_t, HeapKey> string_table_;
  size_t threshold_ = kInitialThreshold;
  uint32_t gc_disabled_ = 0;
  bool stress_ = false;

  friend class GcDisabledScope;
};

// Raises the heap's gc_disabled counter for its lifetime and puts the
// previous value back on every exit.
class GcDisabledScope {
 public:
  explicit GcDisabledScope(Heap& heap) : heap_(heap), saved_(heap.gc_disabled()) {
    heap_.raise_gc_disabled();
  }
  ~GcDisabledScope() { heap_.gc_disabled_ = saved_; }
  GcDisabledScope(const GcDisabledScope&) = delete;
  GcDisabledScope& operator=(const GcDisabledScope&) = delete;

 private:
  Heap& heap_;
  uint32_t saved_;
};

}  // namespace quorvel
