#include "natives/args.h"

namespace quorvel {

std::optional<VMError> check_exactly(Args args, size_t n) {
  if (args.size() == n) return std::nullopt;
  return VMError::arity(n, args.size());
}

std::optional<VMError> check_at_least(Args args, size_t n) {
  if (args.size() >= n) return std::nullopt;
  return VMError::arity(n, args.size());
}

std::optional<VMError> check_between(Args args, size_t min, size_t max) {
  if (args.size() >= min && args.size() <= max) return std::nullopt;
  return VMError::arity(min, args.size());
}

std::optional<PVector<VMValue>> sequence_items(const VM& vm, VMValue v) {
  if (v.is_nil()) return PVector<VMValue>();
  if (const auto* seq = heap_object_as<SeqData>(vm, v)) return seq->items;
  return std::nullopt;
}

VMValue make_seq(VM& vm, PVector<VMValue> items, bool is_vector) {
  return VMValue::heap(vm.alloc(SeqData{std::move(items), is_vector}));
}

}  // namespace quorvel
