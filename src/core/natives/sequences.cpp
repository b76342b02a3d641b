#include "natives/sequences.h"

#include <algorithm>
#include <string>

#include "natives/args.h"
#include "support/utf8.h"
#include "vm/types.h"

namespace quorvel {

VMValue char_string(VM& vm, char32_t cp) {
  std::string text;
  utf8::append(text, cp);
  return vm.alloc_string(std::move(text));
}

// The canonical probe finds an identical member by hash; only a miss scans
// (1 matches 1.0, and equal collections that are not canonical match each
// other).
Result<bool, VMError> set_has(VM& vm, const VMSet& set, VMValue key) {
  if (set.contains(vm.canonicalize_key(key))) return true;
  for (const VMValue& member : set) {
    auto equal = vm.values_equal(member, key);
    if (!equal || *equal) return equal;
  }
  return false;
}

namespace {

// Element i of a list or vector, or nothing for an index outside it.
std::optional<VMValue> element_at(const SeqData& seq, int64_t i) {
  if (i < 0 || static_cast<uint64_t>(i) >= seq.items.size()) return std::nullopt;
  return seq.items.nth(static_cast<size_t>(i));
}

// The field of a variant a keyword names, or nothing.
std::optional<VMValue> variant_field(VM& vm, const VariantObject& variant, VMValue key) {
  if (!key.is_keyword()) return std::nullopt;
  const TypeDef* type = vm.types().get(variant.type_id());
  if (!type || variant.variant_index() >= type->variants.size()) return std::nullopt;
  const VariantDef& def = type->variants[variant.variant_index()];
  const auto it = def.field_index.find(key.name_key());
  if (it == def.field_index.end() || it->second >= variant.fields.size()) return std::nullopt;
  return variant.fields[it->second];
}

}  // namespace

NativeResult native_nth(VM& vm, Args args) {
  if (auto error = check_at_least(args, 2)) return make_err(std::move(*error));
  const VMValue coll = args[0];
  const VMValue fallback = arg_or_nil(args, 2);
  if (!args[1].is_int()) return type_error("index must be integer");
  const int64_t index = args[1].as_int();
  if (coll.is_nil()) return fallback;
  if (const auto* string = heap_object_as<StringObject>(vm, coll)) {
    if (index < 0) return fallback;
    const std::string_view text = string->text;
    const size_t pos = utf8::byte_offset(text, static_cast<uint64_t>(index));
    if (pos >= text.size()) return fallback;
    return char_string(vm, utf8::decode(text, pos).code_point);
  }
  if (const auto* seq = heap_object_as<SeqData>(vm, coll)) {
    return element_at(*seq, index).value_or(fallback);
  }
  return type_error("nth requires a sequence");
}

NativeResult native_get(VM& vm, Args args) {
  if (auto error = check_at_least(args, 2)) return make_err(std::move(*error));
  const VMValue coll = args[0];
  const VMValue key = args[1];
  const VMValue fallback = arg_or_nil(args, 2);
  if (const auto* seq = heap_object_as<SeqData>(vm, coll)) {
    if (!key.is_int()) return fallback;
    return element_at(*seq, key.as_int()).value_or(fallback);
  }
  if (const auto* set = heap_object_as<VMSet>(vm, coll)) {
    auto found = set_has(vm, *set, key);
    if (!found) return make_err(std::move(found.error()));
    return *found ? key : fallback;
  }
  if (const auto* map = heap_object_as<VMMap>(vm, coll)) {
    const VMValue* value = map->find(vm.canonicalize_key(key));
    return value ? *value : fallback;
  }
  if (const auto* variant = heap_object_as<VariantObject>(vm, coll)) {
    return variant_field(vm, *variant, key).value_or(fallback);
  }
  return fallback;
}

NativeResult native_drop(VM& vm, Args args) {
  if (auto error = check_exactly(args, 2)) return make_err(std::move(*error));
  if (!args[0].is_int()) return type_error("drop requires integer count");
  const uint64_t count = static_cast<uint64_t>(std::max<int64_t>(args[0].as_int(), 0));
  const VMValue coll = args[1];
  PVector<VMValue> kept;
  if (coll.is_nil()) return make_seq(vm, std::move(kept), false);
  if (const auto* string = heap_object_as<StringObject>(vm, coll)) {
    const std::string text = string->text;
    for (size_t pos = utf8::byte_offset(text, count); pos < text.size();) {
      const utf8::Decoded ch = utf8::decode(text, pos);
      kept = std::move(kept).push_back(char_string(vm, ch.code_point));
      pos += ch.length;
    }
    return make_seq(vm, std::move(kept), false);
  }
  if (const auto* seq = heap_object_as<SeqData>(vm, coll)) {
    return make_seq(vm, seq->items.drop_front(count), seq->is_vector);
  }
  return type_error("drop requires a sequence");
}

NativeResult native_concat(VM& vm, Args args) {
  PVector<VMValue> all;
  for (const VMValue& arg : args) {
    const auto items = sequence_items(vm, arg);
    if (!items) return type_error("concat requires sequences");
    for (const VMValue& item : *items) all = std::move(all).push_back(item);
  }
  return make_seq(vm, std::move(all), false);
}

NativeResult native_vec(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  auto items = sequence_items(vm, args[0]);
  if (!items) return type_error("vec requires a sequence");
  return make_seq(vm, std::move(*items), true);
}

}  // namespace quorvel
