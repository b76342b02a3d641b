#include "natives/collections.h"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "natives/args.h"
#include "natives/sequences.h"
#include "support/utf8.h"

namespace quorvel {

namespace {

// Each character of the text as a new one-character string.
PVector<VMValue> string_chars(VM& vm, std::string_view text) {
  PVector<VMValue> chars;
  for (size_t pos = 0; pos < text.size();) {
    const utf8::Decoded ch = utf8::decode(text, pos);
    chars = std::move(chars).push_back(char_string(vm, ch.code_point));
    pos += ch.length;
  }
  return chars;
}

VMValue make_set(VM& vm, VMSet set) {
  return VMValue::heap(vm.alloc(std::move(set)));
}

VMValue make_pair(VM& vm, VMValue key, VMValue value) {
  return make_seq(vm, PVector<VMValue>::from({key, value}), true);
}

// The size of a collection: characters of a string, elements of a list or
// vector, entries of a set or map, none for nil; nothing for anything else.
std::optional<size_t> collection_size(const VM& vm, VMValue v) {
  if (v.is_nil()) return 0;
  if (const auto text = string_text(vm, v)) return utf8::length(*text);
  if (const auto* seq = heap_object_as<SeqData>(vm, v)) return seq->items.size();
  if (const auto* set = heap_object_as<VMSet>(vm, v)) return set->size();
  if (const auto* map = heap_object_as<VMMap>(vm, v)) return map->size();
  return std::nullopt;
}

// The collections conj and into add items to, each a copy of the target
// being updated: add takes one item, add_entry a map entry (a map adds it
// as such, the others as a [key value] vector), finish allocates the result.
// Members and keys are canonicalised.

// A list (nil is the empty list) gathers the items to go in front of its
// elements, in the order added or reversed.
struct ListSink {
  PVector<VMValue> old;
  bool reverse_front;
  std::vector<VMValue> front = {};

  void add(VM&, VMValue item) { front.push_back(item); }
  void add_entry(VM& vm, VMValue key, VMValue value) { add(vm, make_pair(vm, key, value)); }
  VMValue finish(VM& vm) && {
    PVector<VMValue> items;
    if (reverse_front) {
      for (auto it = front.rbegin(); it != front.rend(); ++it)
        items = std::move(items).push_back(*it);
    } else {
      for (const VMValue& item : front) items = std::move(items).push_back(item);
    }
    for (const VMValue& item : old) items = std::move(items).push_back(item);
    return make_seq(vm, std::move(items), false);
  }
};

// A vector appends the items.
struct VectorSink {
  PVector<VMValue> items;

  void add(VM&, VMValue item) { items = std::move(items).push_back(item); }
  void add_entry(VM& vm, VMValue key, VMValue value) { add(vm, make_pair(vm, key, value)); }
  VMValue finish(VM& vm) && { return make_seq(vm, std::move(items), true); }
};

// A set inserts the items.
struct SetSink {
  VMSet set;

  void add(VM& vm, VMValue item) { set = std::move(set).insert(vm.canonicalize_key(item)); }
  void add_entry(VM& vm, VMValue key, VMValue value) { add(vm, make_pair(vm, key, value)); }
  VMValue finish(VM& vm) && { return make_set(vm, std::move(set)); }
};

// A map adds the entry of every list or vector item of at least two
// elements and ignores other items.
struct MapSink {
  VMMap map;

  void add(VM& vm, VMValue item) {
    const auto* pair = heap_object_as<SeqData>(vm, item);
    if (pair && pair->items.size() >= 2) add_entry(vm, pair->items.nth(0), pair->items.nth(1));
  }
  void add_entry(VM& vm, VMValue key, VMValue value) {
    map = std::move(map).insert(vm.canonicalize_key(key), value);
  }
  VMValue finish(VM& vm) && { return VMValue::heap(vm.alloc(std::move(map))); }
};

// Runs feed(sink) on the sink of the target's kind and returns the new
// collection; nothing when the target is not a collection conj and into
// accept.
template <class Feed>
std::optional<VMValue> conjoin(VM& vm, VMValue target, bool reverse_front, Feed feed) {
  const auto run = [&vm, &feed](auto sink) {
    feed(sink);
    return std::move(sink).finish(vm);
  };
  if (target.is_nil()) return run(ListSink{{}, reverse_front});
  if (const auto* seq = heap_object_as<SeqData>(vm, target)) {
    if (seq->is_vector) return run(VectorSink{seq->items});
    return run(ListSink{seq->items, reverse_front});
  }
  if (const auto* set = heap_object_as<VMSet>(vm, target)) return run(SetSink{*set});
  if (const auto* map = heap_object_as<VMMap>(vm, target)) return run(MapSink{*map});
  return std::nullopt;
}

// Whether add_items takes items from the value: nil, a list, vector, set or
// map, and with `chars` a string.
bool is_source(const VM& vm, VMValue v, bool chars) {
  return v.is_nil() || heap_object_as<SeqData>(vm, v) || heap_object_as<VMSet>(vm, v) ||
         heap_object_as<VMMap>(vm, v) || (chars && string_text(vm, v));
}

// Feeds the items of a source (is_source) to a sink: the elements of a list
// or vector, the members of a set, the entries of a map, the characters of a
// string.
template <class Sink>
void add_items(VM& vm, VMValue source, Sink& sink) {
  if (const auto* seq = heap_object_as<SeqData>(vm, source)) {
    for (const VMValue& item : seq->items) sink.add(vm, item);
  } else if (const auto* set = heap_object_as<VMSet>(vm, source)) {
    for (const VMValue& member : *set) sink.add(vm, member);
  } else if (const auto* map = heap_object_as<VMMap>(vm, source)) {
    for (const auto& [key, value] : *map) sink.add_entry(vm, key, value);
  } else if (const auto text = string_text(vm, source)) {
    for (const VMValue& ch : string_chars(vm, *text)) sink.add(vm, ch);
  }
}

}  // namespace

// --- Access ---------------------------------------------------------------

NativeResult native_first(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const auto items = sequence_items(vm, args[0]);
  if (!items) return type_error("first requires a sequence");
  return items->empty() ? VMValue() : items->nth(0);
}

NativeResult native_last(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const auto items = sequence_items(vm, args[0]);
  if (!items) return type_error("last requires a sequence");
  return items->empty() ? VMValue() : items->back();
}

NativeResult native_rest(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  if (args[0].is_nil()) return make_seq(vm, {}, false);
  const auto* seq = heap_object_as<SeqData>(vm, args[0]);
  if (!seq) return type_error("rest requires a sequence");
  return make_seq(vm, seq->items.drop_front(1), seq->is_vector);
}

NativeResult native_seq(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  auto items = sequence_items(vm, args[0]);
  if (!items) return type_error("seq requires a seqable");
  if (items->empty()) return VMValue();
  return make_seq(vm, std::move(*items), false);
}

NativeResult native_count(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const auto size = collection_size(vm, args[0]);
  if (!size) return type_error("count requires a collection");
  return VMValue::integer(static_cast<int64_t>(*size));
}

NativeResult native_is_empty(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const auto size = collection_size(vm, args[0]);
  if (!size) return type_error("empty? requires a collection");
  return VMValue::boolean(*size == 0);
}

NativeResult native_empty(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const VMValue coll = args[0];
  if (coll.is_nil()) return VMValue();
  if (string_text(vm, coll)) return vm.alloc_string("");
  if (const auto* seq = heap_object_as<SeqData>(vm, coll)) return make_seq(vm, {}, seq->is_vector);
  if (heap_object_as<VMSet>(vm, coll)) return make_set(vm, VMSet());
  if (heap_object_as<VMMap>(vm, coll)) return VMValue::heap(vm.alloc(VMMap()));
  return type_error("empty requires a collection");
}

// --- Building ---------------------------------------------------------------

NativeResult native_list(VM& vm, Args args) {
  return make_seq(vm, PVector<VMValue>::from_range(args.begin(), args.end()), false);
}

NativeResult native_vector(VM& vm, Args args) {
  return make_seq(vm, PVector<VMValue>::from_range(args.begin(), args.end()), true);
}

NativeResult native_hash_set(VM& vm, Args args) {
  VMSet set;
  for (const VMValue& arg : args) set = std::move(set).insert(vm.canonicalize_key(arg));
  return make_set(vm, std::move(set));
}

NativeResult native_set(VM& vm, Args args) {
  if (auto error = check_exactly(args, 1)) return make_err(std::move(*error));
  if (!is_source(vm, args[0], true)) return type_error("seqable required");
  SetSink set{VMSet()};
  add_items(vm, args[0], set);
  return std::move(set).finish(vm);
}

NativeResult native_cons(VM& vm, Args args) {
  if (auto error = check_at_least(args, 2)) return make_err(std::move(*error));
  const VMValue coll = args[1];
  PVector<VMValue> items = PVector<VMValue>::from({args[0]});
  if (const auto text = string_text(vm, coll)) {
    for (const VMValue& ch : string_chars(vm, *text)) items = std::move(items).push_back(ch);
  } else if (const auto rest = sequence_items(vm, coll)) {
    for (const VMValue& item : *rest) items = std::move(items).push_back(item);
  } else {
    return type_error("cons requires a sequence");
  }
  return make_seq(vm, std::move(items), false);
}

NativeResult native_conj(VM& vm, Args args) {
  if (auto error = check_at_least(args, 2)) return make_err(std::move(*error));
  const auto result = conjoin(vm, args[0], false, [&vm, args](auto& sink) {
    for (const VMValue& item : args.subspan(1)) sink.add(vm, item);
  });
  if (!result) return type_error("conj requires a collection");
  return *result;
}

NativeResult native_into(VM& vm, Args args) {
  if (auto error = check_at_least(args, 2)) return make_err(std::move(*error));
  const VMValue source = args[1];
  if (!is_source(vm, source, false)) return type_error("into requires a seqable source");
  const auto result =
      conjoin(vm, args[0], true, [&vm, source](auto& sink) { add_items(vm, source, sink); });
  if (!result) return type_error("into requires a collection");
  return *result;
}

}  // namespace quorvel
