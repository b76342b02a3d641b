#include "vm/heap.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "support/block_pool.h"
#include "vm/heap_refs.h"

namespace quorvel {

namespace {

constexpr SipKey kStructuralKey{0, 0};

// Interned strings hash in a space of their own: bytes 7, text, 255.
uint64_t string_intern_hash(std::string_view text) {
  SipHasher13 hasher(kStructuralKey);
  hasher.write_u8(7);
  hasher.write(text);
  hasher.write_u8(255);
  return hasher.finish();
}

// The values tracing a sequence, set or map walks: none when it never held
// a reference.
size_t held_values(const HeapObject& object) {
  if (const auto* seq = std::get_if<SeqData>(&object)) {
    return seq->items.may_hold_references() ? seq->items.size() : 0;
  }
  if (const auto* set = std::get_if<VMSet>(&object)) {
    return set->may_hold_references() ? set->size() : 0;
  }
  if (const auto* map = std::get_if<VMMap>(&object)) {
    return map->may_hold_references() ? 2 * map->size() : 0;
  }
  return 0;
}

// The object in a block of the pool.
PooledObject make_pooled_object(HeapObject&& object) {
  void* block = block_pool::allocate(sizeof(HeapObject));
  return PooledObject(new (block) HeapObject(std::move(object)));
}

}  // namespace

void PooledObjectDelete::operator()(HeapObject* object) const noexcept {
  object->~HeapObject();
  block_pool::deallocate(object, sizeof(HeapObject));
}

HeapKey Heap::store(HeapObject object, std::optional<uint64_t> hash) {
  return HeapKey::from_arena(
      cells_.insert(GcCell{hash, make_pooled_object(std::move(object)), false}));
}

HeapKey Heap::alloc(HeapObject object, const RootSource& roots) {
  if (collection_due()) {
    std::vector<HeapKey> keys;
    roots.collect_roots(keys);
    // The new object is not stored yet: keep what it refers to alive.
    trace_object(object, keys);
    collect(std::move(keys));
  }
  return store(std::move(object), std::nullopt);
}

HeapKey Heap::alloc_no_gc(HeapObject object) {
  return store(std::move(object), std::nullopt);
}

const HeapObject* Heap::get(HeapKey key) const {
  const GcCell* cell = cells_.get(key.to_arena());
  return cell ? cell->object.get() : nullptr;
}

HeapObject* Heap::get_mut(HeapKey key) {
  GcCell* cell = cells_.get(key.to_arena());
  return cell ? cell->object.get() : nullptr;
}

std::optional<uint64_t> Heap::cell_hash(HeapKey key) const {
  const GcCell* cell = cells_.get(key.to_arena());
  return cell ? cell->hash : std::nullopt;
}

// --- Collection ------------------------------------------------------------

bool Heap::collection_due() const {
  return gc_disabled_ == 0 && (stress_ || cells_.live() >= threshold_);
}

void Heap::collect_if_due(const RootSource& roots) {
  if (!collection_due()) return;
  std::vector<HeapKey> keys;
  roots.collect_roots(keys);
  collect(std::move(keys));
}

void Heap::collect(std::vector<HeapKey> roots) {
  const size_t traced = mark(std::move(roots));
  sweep();
  rebuild_intern_tables();
  // Counting objects alone would let a few huge live collections be traced
  // again every few allocations (a loop conj-ing onto one vector would take
  // quadratic time), so the threshold also leaves room for enough
  // allocations to pay for tracing their values.
  const size_t live = cells_.live();
  const size_t by_count = live <= kInitialThreshold / 2 ? kInitialThreshold : 2 * live;
  threshold_ = std::max(by_count, live + traced / kTracedValuesPerAllocation);
}

size_t Heap::mark(std::vector<HeapKey> worklist) {
  size_t traced = 0;
  while (!worklist.empty()) {
    const HeapKey key = worklist.back();
    worklist.pop_back();
    GcCell* cell = cells_.get(key.to_arena());
    if (!cell || cell->marked) continue;
    cell->marked = true;
    traced += held_values(*cell->object);
    trace_object(*cell->object, worklist);
  }
  return traced;
}

void Heap::sweep() {
  cells_.remove_if([](GcCell& cell) { return !std::exchange(cell.marked, false); });
}

std::unordered_map<uint64_t, HeapKey>* Heap::table_for(HeapKind kind) {
  switch (kind) {
    case HeapKind::String:
      return &string_table_;
    case HeapKind::Seq:
      return &seq_table_;
    case HeapKind::Set:
      return &set_table_;
    case HeapKind::Map:
      return &map_table_;
    case HeapKind::Variant:
      return &variant_table_;
    default:
      return nullptr;
  }
}

void Heap::rebuild_intern_tables() {
  for (auto* table : {&seq_table_, &set_table_, &map_table_, &variant_table_, &string_table_}) {
    table->clear();
  }
  cells_.for_each([this](ArenaKey key, const GcCell& cell) {
    if (!cell.hash) return;
    if (auto* table = table_for(kind_of(*cell.object))) {
      (*table)[*cell.hash] = HeapKey::from_arena(key);
    }
  });
}

// --- Interning -------------------------------------------------------------

HeapKey Heap::intern_string(std::string_view text) {
  const uint64_t hash = string_intern_hash(text);
  if (const auto it = string_table_.find(hash); it != string_table_.end()) {
    const auto* existing = std::get_if<StringObject>(get(it->second));
    if (existing && existing->text == text) return it->second;
  }
  const HeapKey key = store(StringObject{std::string(text)}, hash);
  string_table_[hash] = key;
  return key;
}

HeapKey Heap::intern_collection(HeapObject object) {
  const auto hash = compute_collection_hash(object);
  if (!hash) return store(std::move(object), std::nullopt);
  return intern_hashed(std::move(object), *hash);
}

HeapKey Heap::intern_hashed(HeapObject object, uint64_t hash) {
  auto& table = *table_for(kind_of(object));
  if (const auto it = table.find(hash); it != table.end()) {
    const HeapObject* existing = get(it->second);
    if (existing && structurally_equal(*existing, object)) return it->second;
  }
  const HeapKey key = store(std::move(object), hash);
  table[hash] = key;
  return key;
}

HeapKey Heap::intern_seq(SeqData seq) {
  return intern_collection(std::move(seq));
}
HeapKey Heap::intern_set(VMSet set) {
  return intern_collection(std::move(set));
}
HeapKey Heap::intern_map(VMMap map) {
  return intern_collection(std::move(map));
}
HeapKey Heap::intern_variant(VariantObject variant) {
  return intern_collection(std::move(variant));
}

VMValue Heap::canonicalize_key(VMValue value) {
  if (!value.is_heap()) return value;
  const GcCell* cell = cells_.get(value.as_heap().to_arena());
  if (!cell || cell->hash) return value;
  // The object passed in stays as it is; a copy is interned.
  switch (kind_of(*cell->object)) {
    case HeapKind::String:
      return VMValue::heap(intern_string(std::get<StringObject>(*cell->object).text));
    case HeapKind::Seq:
    case HeapKind::Set:
    case HeapKind::Map:
    case HeapKind::Variant: {
      // An unhashable object stays the key itself: a fresh copy of it
      // would never be found again, not even by the same object.
      const auto hash = compute_collection_hash(*cell->object);
      return hash ? VMValue::heap(intern_hashed(*cell->object, *hash)) : value;
    }
    default:
      return value;
  }
}

VMMap Heap::map_insert(const VMMap& map, VMValue key, VMValue value) {
  return map.insert(canonicalize_key(key), value);
}

std::optional<VMValue> Heap::map_get(const VMMap& map, VMValue key) {
  const VMValue* found = map.find(canonicalize_key(key));
  return found ? std::optional<VMValue>(*found) : std::nullopt;
}

// --- Merging a constant heap -----------------------------------------------

HeapKeyMap Heap::import_from(Heap&& other) {
  HeapKeyMap moved;
  std::vector<HeapKey> fresh;
  other.cells_.for_each([&](ArenaKey old_key, GcCell& cell) {
    const HeapKey key = store(std::move(*cell.object), cell.hash);
    moved.emplace(HeapKey::from_arena(old_key), key);
    fresh.push_back(key);
  });
  other = Heap();
  for (HeapKey key : fresh) remap_heap_refs(*get_mut(key), moved);

  // A canonical object equal to a canonical one already here (or imported
  // just before) is merged into it, so equal keys keep colliding.
  HeapKeyMap merged;
  for (HeapKey key : fresh) {
    const GcCell* cell = cells_.get(key.to_arena());
    if (!cell->hash) continue;
    auto* table = table_for(kind_of(*cell->object));
    if (!table) continue;
    const auto [it, inserted] = table->try_emplace(*cell->hash, key);
    if (inserted) continue;
    if (values_equal(VMValue::heap(it->second), VMValue::heap(key))) {
      merged.emplace(key, it->second);
    } else {
      it->second = key;
    }
  }
  if (!merged.empty()) {
    for (HeapKey key : fresh) {
      if (merged.contains(key)) {
        cells_.remove(key.to_arena());
      } else {
        remap_heap_refs(*get_mut(key), merged);
      }
    }
    for (auto& [old_key, key] : moved) {
      if (const auto it = merged.find(key); it != merged.end()) key = it->second;
    }
  }
  rebuild_intern_tables();
  return moved;
}

void Heap::offset_proto_refs(uint32_t base, const HeapKeyMap& imported) {
  std::unordered_set<HeapKey, HeapKeyHash> done;
  for (const auto& [old_key, key] : imported) {
    auto* tmpl = std::get_if<ClosureTemplate>(get_mut(key));
    if (!tmpl || !tmpl->clauses || !done.insert(key).second) continue;
    // The list may be shared: relocate a copy.
    auto clauses = std::make_shared<std::vector<ClauseInfo>>(*tmpl->clauses);
    for (ClauseInfo& clause : *clauses) {
      clause.proto += base;
      if (clause.guard) *clause.guard += base;
    }
    tmpl->clauses = std::move(clauses);
  }
}

}  // namespace quorvel
