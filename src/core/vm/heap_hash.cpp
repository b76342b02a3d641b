// The structural hash: SipHash-1-3 with zero keys over a fixed byte layout
// per kind. Canonical collections cache theirs in the cell.
#include <bit>

#include "support/stack_guard.h"
#include "vm/heap.h"

namespace quorvel {

namespace {

constexpr SipKey kStructuralKey{0, 0};

}  // namespace

std::optional<uint64_t> Heap::hash_vmvalue(VMValue v) const {
  SipHasher13 hasher(kStructuralKey);
  switch (v.tag()) {
    case ValueTag::Nil:
      hasher.write_u8(0);
      break;
    case ValueTag::Bool:
      hasher.write_u8(1);
      hasher.write_u8(v.as_bool() ? 1 : 0);
      break;
    case ValueTag::Int:
      hasher.write_u8(2);
      hasher.write_u64(static_cast<uint64_t>(v.as_int()));
      break;
    case ValueTag::Float:
      hasher.write_u8(3);
      hasher.write_u64(std::bit_cast<uint64_t>(v.as_float()));
      break;
    case ValueTag::Ratio:
      hasher.write_u8(4);
      hasher.write_u64(static_cast<uint64_t>(v.numerator()));
      hasher.write_u64(static_cast<uint64_t>(v.denominator()));
      break;
    case ValueTag::Symbol:
      hasher.write_u8(5);
      hasher.write_u32(v.name_key());
      break;
    case ValueTag::Keyword:
      hasher.write_u8(6);
      hasher.write_u32(v.name_key());
      break;
    case ValueTag::Native:
      hasher.write_u8(7);
      hasher.write_u16(v.native_index());
      break;
    case ValueTag::HeapRef: {
      const GcCell* cell = cells_.get(v.as_heap().to_arena());
      if (!cell) return std::nullopt;
      if (const auto* s = std::get_if<StringObject>(cell->object.get())) {
        hasher.write_u8(8);
        hasher.write(s->text);
        hasher.write_u8(255);
        break;
      }
      // A string's cell hash lives in the interning space, so only
      // collections and variants may answer from the cache.
      if (cell->hash) return cell->hash;
      return compute_collection_hash(*cell->object);
    }
  }
  return hasher.finish();
}

std::optional<uint64_t> Heap::compute_collection_hash(const HeapObject& object) const {
  if (!StackGuard::has_room()) return std::nullopt;
  SipHasher13 hasher(kStructuralKey);
  if (const auto* seq = std::get_if<SeqData>(&object)) {
    hasher.write_u8(10);
    hasher.write_u8(seq->is_vector ? 1 : 0);
    hasher.write_u64(seq->items.size());
    for (const VMValue& item : seq->items) {
      const auto h = hash_vmvalue(item);
      if (!h) return std::nullopt;
      hasher.write_u64(*h);
    }
  } else if (const auto* set = std::get_if<VMSet>(&object)) {
    uint64_t combined = 0;
    for (const VMValue& member : *set) {
      const auto h = hash_vmvalue(member);
      if (!h) return std::nullopt;
      combined ^= *h;
    }
    hasher.write_u8(11);
    hasher.write_u64(set->size());
    hasher.write_u64(combined);
  } else if (const auto* map = std::get_if<VMMap>(&object)) {
    uint64_t combined = 0;
    for (const auto& [key, value] : *map) {
      const auto hk = hash_vmvalue(key);
      if (!hk) return std::nullopt;
      const auto hv = hash_vmvalue(value);
      if (!hv) return std::nullopt;
      combined ^= *hv + 31 * *hk;
    }
    hasher.write_u8(12);
    hasher.write_u64(map->size());
    hasher.write_u64(combined);
  } else if (const auto* variant = std::get_if<VariantObject>(&object)) {
    hasher.write_u8(13);
    hasher.write_u32(variant->tag);
    for (const VMValue& field : variant->fields) {
      const auto h = hash_vmvalue(field);
      if (!h) return std::nullopt;
      hasher.write_u64(*h);
    }
  } else {
    return std::nullopt;
  }
  return hasher.finish();
}

}  // namespace quorvel
