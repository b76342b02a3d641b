#include "natives/slices.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "natives/args.h"

namespace quorvel {

namespace {

// Elements [start, end) of the items, sharing them all when that is the
// whole range; requires start <= end <= items.size().
PVector<VMValue> slice(const PVector<VMValue>& items, size_t start, size_t end) {
  if (start == 0 && end == items.size()) return items;
  PVector<VMValue> out;
  for (size_t i = start; i < end; ++i) out = std::move(out).push_back(items.nth(i));
  return out;
}

// A count argument: negative counts as zero.
uint64_t count_of(VMValue n) {
  return static_cast<uint64_t>(std::max<int64_t>(n.as_int(), 0));
}

}  // namespace

NativeResult native_take(VM& vm, Args args) {
  if (auto error = check_exactly(args, 2)) return make_err(std::move(*error));
  if (!args[0].is_int()) return type_error("take requires integer count");
  const VMValue coll = args[1];
  if (coll.is_nil()) return make_seq(vm, {}, false);
  const auto* seq = heap_object_as<SeqData>(vm, coll);
  if (!seq) return type_error("take requires a sequence");
  const size_t end = static_cast<size_t>(std::min<uint64_t>(count_of(args[0]), seq->items.size()));
  return make_seq(vm, slice(seq->items, 0, end), seq->is_vector);
}

NativeResult native_drop_last(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  int64_t n = 1;
  VMValue coll = args[0];
  if (args.size() >= 2) {
    if (!args[0].is_int()) return type_error("drop-last n must be integer");
    n = args[0].as_int();
    coll = args[1];
  }
  auto items = sequence_items(vm, coll);
  if (!items) return type_error("drop-last requires a sequence");
  if (n < 0 || static_cast<uint64_t>(n) >= items->size()) return make_seq(vm, {}, true);
  PVector<VMValue> kept = std::move(*items);
  for (int64_t i = 0; i < n; ++i) kept = std::move(kept).pop_back();
  return make_seq(vm, std::move(kept), true);
}

NativeResult native_reverse(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const auto items = sequence_items(vm, args[0]);
  if (!items) return type_error("reverse requires a sequence");
  PVector<VMValue> reversed;
  for (size_t i = items->size(); i > 0; --i)
    reversed = std::move(reversed).push_back(items->nth(i - 1));
  return make_seq(vm, std::move(reversed), false);
}

NativeResult native_repeat(VM& vm, Args args) {
  if (auto error = check_at_least(args, 2)) return make_err(std::move(*error));
  if (!args[0].is_int()) return type_error("repeat n must be integer");
  PVector<VMValue> copies;
  for (uint64_t i = count_of(args[0]); i > 0; --i) copies = std::move(copies).push_back(args[1]);
  return make_seq(vm, std::move(copies), false);
}

NativeResult native_range(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const Args used = args.first(std::min<size_t>(args.size(), 3));
  for (const VMValue& arg : used) {
    if (!arg.is_int()) return type_error("range requires integer arguments");
  }
  const int64_t start = used.size() >= 2 ? used[0].as_int() : 0;
  const int64_t end = used.size() >= 2 ? used[1].as_int() : used[0].as_int();
  const int64_t step = used.size() == 3 ? used[2].as_int() : 1;
  // The distance to the end is computed in 128 bits so that no step
  // overflows near the ends of the integer range.
  PVector<VMValue> items;
  if (step != 0) {
    for (__int128 i = start; step > 0 ? i < end : i > end; i += step) {
      items = std::move(items).push_back(VMValue::integer(static_cast<int64_t>(i)));
    }
  }
  return make_seq(vm, std::move(items), false);
}

NativeResult native_subvec(VM& vm, Args args) {
  if (auto error = check_at_least(args, 2)) return make_err(std::move(*error));
  if (!args[1].is_int()) return type_error("start must be integer");
  if (args.size() >= 3 && !args[2].is_int()) return type_error("end must be integer");
  const auto items = sequence_items(vm, args[0]);
  if (!items) return type_error("subvec requires a sequence");
  const uint64_t start = static_cast<uint64_t>(args[1].as_int());
  const uint64_t end = std::min<uint64_t>(
      args.size() >= 3 ? static_cast<uint64_t>(args[2].as_int()) : items->size(), items->size());
  if (start >= end) return make_seq(vm, {}, true);
  return make_seq(vm, slice(*items, static_cast<size_t>(start), static_cast<size_t>(end)), true);
}

}  // namespace quorvel
