#include "natives/maps.h"

#include <utility>

#include "natives/args.h"
#include "natives/sequences.h"
#include "vm/types.h"

namespace quorvel {

namespace {

VMValue make_map(VM& vm, VMMap map) {
  return VMValue::heap(vm.alloc(std::move(map)));
}

// The (key, value) pairs of assoc: from the second argument on, while both
// are present.
size_t assoc_pairs(Args args) {
  return (args.size() - 1) / 2;
}

NativeResult assoc_map(VM& vm, VMMap map, Args args) {
  for (size_t i = 0; i < assoc_pairs(args); ++i) {
    map = std::move(map).insert(vm.canonicalize_key(args[1 + 2 * i]), args[2 + 2 * i]);
  }
  return make_map(vm, std::move(map));
}

// Replaces elements; the vector never grows.
NativeResult assoc_vector(VM& vm, PVector<VMValue> items, Args args) {
  for (size_t i = 0; i < assoc_pairs(args); ++i) {
    const VMValue index = args[1 + 2 * i];
    if (!index.is_int()) return type_error("vector index must be integer");
    if (index.as_int() < 0 || static_cast<uint64_t>(index.as_int()) >= items.size()) {
      return value_error("vector index out of bounds");
    }
    items = std::move(items).assoc(static_cast<size_t>(index.as_int()), args[2 + 2 * i]);
  }
  return make_seq(vm, std::move(items), true);
}

// Replaces the fields that keyword keys name; other keys are ignored. The
// input itself comes back when nothing was replaced.
NativeResult assoc_variant(VM& vm, VMValue input, const VariantObject& variant, Args args) {
  const TypeDef* type = vm.types().get(variant.type_id());
  if (!type || variant.variant_index() >= type->variants.size()) {
    return type_error("unknown variant type");
  }
  const VariantDef& def = type->variants[variant.variant_index()];
  VariantObject updated = variant;
  bool replaced = false;
  for (size_t i = 0; i < assoc_pairs(args); ++i) {
    const VMValue key = args[1 + 2 * i];
    if (!key.is_keyword()) continue;
    const auto field = def.field_index.find(key.name_key());
    if (field == def.field_index.end() || field->second >= updated.fields.size()) continue;
    updated.fields[field->second] = args[2 + 2 * i];
    replaced = true;
  }
  if (!replaced) return input;
  return VMValue::heap(vm.heap().intern_variant(std::move(updated)));
}

// The keys (or values) of a map as a list; nil for nil.
template <class Part>
NativeResult map_parts(VM& vm, Args args, const char* message, Part part) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  if (args[0].is_nil()) return VMValue();
  const auto* map = heap_object_as<VMMap>(vm, args[0]);
  if (!map) return type_error(message);
  PVector<VMValue> items;
  for (const auto& entry : *map) items = std::move(items).push_back(part(entry));
  return make_seq(vm, std::move(items), false);
}

}  // namespace

NativeResult native_hash_map(VM& vm, Args args) {
  if (args.size() % 2 != 0) return type_error("hash-map requires even number of arguments");
  VMMap map;
  for (size_t i = 0; i < args.size(); i += 2) {
    map = std::move(map).insert(vm.canonicalize_key(args[i]), args[i + 1]);
  }
  return make_map(vm, std::move(map));
}

NativeResult native_assoc(VM& vm, Args args) {
  if (auto error = check_at_least(args, 3)) return make_err(std::move(*error));
  const VMValue coll = args[0];
  if (coll.is_nil()) return assoc_map(vm, VMMap(), args);
  if (const auto* map = heap_object_as<VMMap>(vm, coll)) return assoc_map(vm, *map, args);
  if (const auto* seq = heap_object_as<SeqData>(vm, coll); seq && seq->is_vector) {
    return assoc_vector(vm, seq->items, args);
  }
  if (const auto* variant = heap_object_as<VariantObject>(vm, coll)) {
    return assoc_variant(vm, coll, *variant, args);
  }
  return type_error("assoc requires a map, vector, or variant");
}

NativeResult native_dissoc(VM& vm, Args args) {
  if (auto error = check_at_least(args, 2)) return make_err(std::move(*error));
  const auto* found = heap_object_as<VMMap>(vm, args[0]);
  if (!found) return type_error("dissoc requires a map");
  VMMap map = *found;
  for (const VMValue& key : args.subspan(1)) map = std::move(map).erase(vm.canonicalize_key(key));
  return make_map(vm, std::move(map));
}

NativeResult native_keys(VM& vm, Args args) {
  return map_parts(vm, args, "keys requires a map", [](const auto& entry) { return entry.first; });
}

NativeResult native_vals(VM& vm, Args args) {
  return map_parts(vm, args, "vals requires a map", [](const auto& entry) { return entry.second; });
}

NativeResult native_contains(VM& vm, Args args) {
  if (auto error = check_at_least(args, 2)) return make_err(std::move(*error));
  const VMValue coll = args[0];
  const VMValue key = args[1];
  if (coll.is_nil()) return VMValue::boolean(false);
  if (const auto* seq = heap_object_as<SeqData>(vm, coll)) {
    return VMValue::boolean(key.is_int() && key.as_int() >= 0 &&
                            static_cast<uint64_t>(key.as_int()) < seq->items.size());
  }
  if (const auto* set = heap_object_as<VMSet>(vm, coll)) {
    auto found = set_has(vm, *set, key);
    if (!found) return make_err(std::move(found.error()));
    return VMValue::boolean(*found);
  }
  if (const auto* map = heap_object_as<VMMap>(vm, coll)) {
    return VMValue::boolean(map->contains(vm.canonicalize_key(key)));
  }
  return type_error("contains? requires a map, set, or vector");
}

}  // namespace quorvel
