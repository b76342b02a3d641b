#include "natives/internals.h"

#include <vector>

#include "natives/args.h"

namespace quorvel {

namespace {

// An Int argument read as a count (VMError::arity keeps its low 8 bits);
// anything else, or a missing argument, counts as 0.
uint64_t count_arg(Args args, size_t i) {
  const VMValue v = arg_or_nil(args, i);
  return v.is_int() ? static_cast<uint64_t>(v.as_int()) : 0;
}

}  // namespace

NativeResult native_throw_arity(VM&, Args args) {
  return make_err(VMError::arity(count_arg(args, 0), count_arg(args, 1)));
}

NativeResult native_assert_failed(VM& vm, Args args) {
  if (args.empty()) return make_err(VMError::assertion_failed("assertion failed"));
  if (const auto* string = heap_object_as<StringObject>(vm, args[0])) {
    return make_err(VMError::assertion_failed(string->text));
  }
  return make_err(VMError::assertion_failed(to_diagnostic_string(args[0])));
}

NativeResult native_make_effect(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const auto* spec = heap_object_as<SeqData>(vm, args[0]);
  if (!spec) return type_error("expected ops vector");
  // Pairs of (name, arity); a trailing unpaired element is ignored.
  std::vector<EffectOp> ops;
  for (size_t i = 0; i + 1 < spec->items.size(); i += 2) {
    const VMValue name = spec->items.nth(i);
    const VMValue arity = spec->items.nth(i + 1);
    if (!name.is_symbol()) return type_error("operation name must be a symbol");
    if (!arity.is_int()) return type_error("operation arity must be an integer");
    ops.push_back(EffectOp{name.name_key(), static_cast<uint8_t>(arity.as_int())});
  }
  const uint64_t id = vm.take_next_effect_id();
  return VMValue::heap(vm.alloc(EffectObject{id, std::nullopt, std::move(ops)}));
}

}  // namespace quorvel
