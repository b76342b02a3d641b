#include "natives/higher_order.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "natives/args.h"
#include "vm/heap.h"

namespace quorvel {

namespace {

// --- Inputs ------------------------------------------------------------------

// A list or vector input: its elements and flag; nil is an empty list.
struct SeqInput {
  PVector<VMValue> items;
  bool is_vector = false;
};

std::optional<SeqInput> seq_input(const VM& vm, VMValue v) {
  if (v.is_nil()) return SeqInput{};
  if (const auto* seq = heap_object_as<SeqData>(vm, v)) return SeqInput{seq->items, seq->is_vector};
  return std::nullopt;
}

// The items of nil (none), a list or vector (its elements) or a set (its
// members in set order); nothing for any other value.
std::optional<std::vector<VMValue>> collection_items(const VM& vm, VMValue v) {
  if (v.is_nil()) return std::vector<VMValue>();
  if (const auto* seq = heap_object_as<SeqData>(vm, v)) {
    return std::vector<VMValue>(seq->items.begin(), seq->items.end());
  }
  if (const auto* set = heap_object_as<VMSet>(vm, v)) {
    return std::vector<VMValue>(set->begin(), set->end());
  }
  return std::nullopt;
}

// reduce's items: those of collection_items, and a map as one [key value]
// vector per entry in map order.
std::optional<std::vector<VMValue>> reducible_items(VM& vm, VMValue v) {
  const auto* found = heap_object_as<VMMap>(vm, v);
  if (!found) return collection_items(vm, v);
  const VMMap map = *found;
  std::vector<VMValue> pairs;
  pairs.reserve(map.size());
  for (const auto& [key, value] : map) pairs.push_back(vm.make_vector({key, value}));
  return pairs;
}

// --- Ordering ------------------------------------------------------------------

// Natural order: Ints and Floats by value (an Int beside a Float as a
// float). Every other pair, and any pair with NaN, is unordered.
bool naturally_before(VMValue a, VMValue b) {
  if (a.is_int() && b.is_int()) return a.as_int() < b.as_int();
  const bool real_a = a.is_int() || a.is_float();
  const bool real_b = b.is_int() || b.is_float();
  return real_a && real_b && number_to_double(a) < number_to_double(b);
}

// Bottom-up merge sort asking only before(later, earlier): an element moves
// ahead of an earlier one only when asked to, so the sort is stable. It is
// well defined for any answers, so inconsistent comparators cannot break it.
template <class T, class Before>
void stable_sort_by(std::vector<T>& items, Before before) {
  const size_t n = items.size();
  std::vector<T> merged(n);
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      const size_t mid = std::min(lo + width, n);
      const size_t hi = std::min(lo + 2 * width, n);
      size_t left = lo;
      size_t right = mid;
      size_t out = lo;
      while (left < mid && right < hi) {
        merged[out++] = before(items[right], items[left]) ? items[right++] : items[left++];
      }
      while (left < mid) merged[out++] = items[left++];
      while (right < hi) merged[out++] = items[right++];
    }
    items.swap(merged);
  }
}

// The order a user comparator defines. (c a b) answers whether a goes
// first: a negative Int or true says yes; false asks (c b a), whose positive
// Int says yes; anything else says no. The first failure of (c a b) is kept
// and every later question answers no without calling; a failure of the
// reversed call only answers no.
class ComparatorOrder {
 public:
  ComparatorOrder(VM& vm, VMValue comparator) : vm_(vm), comparator_(comparator) {}

  bool before(VMValue a, VMValue b) {
    if (failure_) return false;
    const VMValue forward[] = {a, b};
    auto first = vm_.apply(comparator_, forward);
    if (!first) {
      failure_ = std::move(first).error();
      return false;
    }
    if (first->is_int()) return first->as_int() < 0;
    if (!first->is_bool()) return false;
    if (first->as_bool()) return true;
    const VMValue reversed[] = {b, a};
    const auto second = vm_.apply(comparator_, reversed);
    return second && second->is_int() && second->as_int() > 0;
  }

  std::optional<VMError>& failure() { return failure_; }

 private:
  VM& vm_;
  VMValue comparator_;
  std::optional<VMError> failure_;
};

// The wrapped value when v is a Reduced value (variant 0 of the recorded
// ReduceSignal type).
std::optional<VMValue> reduced_value(const VM& vm, VMValue v) {
  if (!vm.reduce_signal_type) return std::nullopt;
  const auto* variant = heap_object_as<VariantObject>(vm, v);
  if (!variant || variant->tag != VariantObject::make_tag(*vm.reduce_signal_type, 0)) {
    return std::nullopt;
  }
  return variant->fields.empty() ? VMValue() : variant->fields.front();
}

}  // namespace

// The gathered results and the items being walked are reachable from no
// root: every loop that calls back keeps collection paused.

NativeResult native_map(VM& vm, Args args) {
  if (auto error = check_exactly(args, 2)) return make_err(std::move(*error));
  const auto input = seq_input(vm, args[1]);
  if (!input) return type_error("map requires a sequence");
  GcDisabledScope pause(vm.heap());
  PVector<VMValue> results;
  for (const VMValue& item : input->items) {
    auto result = vm.apply(args[0], {&item, 1});
    if (!result) return make_err(std::move(result).error());
    results = std::move(results).push_back(*result);
  }
  return make_seq(vm, std::move(results), input->is_vector);
}

NativeResult native_filter(VM& vm, Args args) {
  if (auto error = check_exactly(args, 2)) return make_err(std::move(*error));
  const auto input = seq_input(vm, args[1]);
  if (!input) return type_error("filter requires a sequence");
  GcDisabledScope pause(vm.heap());
  PVector<VMValue> kept;
  for (const VMValue& item : input->items) {
    auto keep = vm.apply(args[0], {&item, 1});
    if (!keep) return make_err(std::move(keep).error());
    if (keep->is_truthy()) kept = std::move(kept).push_back(item);
  }
  return make_seq(vm, std::move(kept), input->is_vector);
}

NativeResult native_reduce(VM& vm, Args args) {
  if (auto error = check_between(args, 2, 3)) return make_err(std::move(*error));
  const VMValue f = args[0];
  GcDisabledScope pause(vm.heap());
  const auto items = reducible_items(vm, args.back());
  if (!items) return type_error("reduce requires a sequence");
  size_t next = 0;
  VMValue accumulator;
  if (args.size() == 3) {
    accumulator = args[1];
  } else {
    if (items->empty()) return vm.apply(f, {});
    accumulator = items->front();
    next = 1;
  }
  for (; next < items->size(); ++next) {
    const VMValue step[] = {accumulator, (*items)[next]};
    auto result = vm.apply(f, step);
    if (!result) return make_err(std::move(result).error());
    if (const auto wrapped = reduced_value(vm, *result)) return *wrapped;
    accumulator = *result;
  }
  return accumulator;
}

NativeResult native_apply(VM& vm, Args args) {
  if (auto error = check_at_least(args, 2)) return make_err(std::move(*error));
  const auto spread = sequence_items(vm, args.back());
  if (!spread) return type_error("apply requires a sequence as last argument");
  std::vector<VMValue> call_args(args.begin() + 1, args.end() - 1);
  call_args.insert(call_args.end(), spread->begin(), spread->end());
  GcDisabledScope pause(vm.heap());
  return vm.apply(args[0], call_args);
}

NativeResult native_sort(VM& vm, Args args) {
  if (auto error = check_between(args, 1, 2)) return make_err(std::move(*error));
  auto items = collection_items(vm, args.back());
  if (!items) return type_error("sort requires a collection");
  GcDisabledScope pause(vm.heap());
  if (args.size() == 1) {
    stable_sort_by(*items, naturally_before);
  } else {
    ComparatorOrder order(vm, args[0]);
    stable_sort_by(*items, [&](VMValue a, VMValue b) { return order.before(a, b); });
    if (order.failure()) return make_err(std::move(*order.failure()));
  }
  return vm.make_list(std::move(*items));
}

NativeResult native_sort_by(VM& vm, Args args) {
  if (auto error = check_exactly(args, 2)) return make_err(std::move(*error));
  const auto items = collection_items(vm, args[1]);
  if (!items) return type_error("sort-by requires a collection");
  GcDisabledScope pause(vm.heap());
  std::vector<std::pair<VMValue, VMValue>> keyed;  // (key, item)
  keyed.reserve(items->size());
  for (const VMValue& item : *items) {
    auto key = vm.apply(args[0], {&item, 1});
    if (!key) return make_err(std::move(key).error());
    keyed.emplace_back(*key, item);
  }
  stable_sort_by(keyed,
                 [](const auto& a, const auto& b) { return naturally_before(a.first, b.first); });
  std::vector<VMValue> sorted;
  sorted.reserve(keyed.size());
  for (const auto& entry : keyed) sorted.push_back(entry.second);
  return vm.make_list(std::move(sorted));
}

}  // namespace quorvel
