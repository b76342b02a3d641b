#include "natives/atoms_predicates.h"

#include <optional>
#include <utility>
#include <vector>

#include "natives/args.h"
#include "vm/heap.h"
#include "vm/types.h"

namespace quorvel {

namespace {

// The atom object a value refers to, or nullptr.
AtomObject* atom_of(VM& vm, VMValue v) {
  if (!v.is_heap()) return nullptr;
  HeapObject* object = vm.heap().get_mut(v.as_heap());
  return object ? std::get_if<AtomObject>(object) : nullptr;
}

// The kind of the live object a value refers to.
std::optional<HeapKind> heap_kind(const VM& vm, VMValue v) {
  if (!v.is_heap()) return std::nullopt;
  const HeapObject* object = vm.heap().get(v.as_heap());
  return object ? std::optional<HeapKind>(kind_of(*object)) : std::nullopt;
}

bool is_kind(const VM& vm, VMValue v, HeapKind kind) {
  return heap_kind(vm, v) == kind;
}

// A list or vector by its flag.
bool is_seq_with_flag(const VM& vm, VMValue v, bool is_vector) {
  const auto* seq = heap_object_as<SeqData>(vm, v);
  return seq && seq->is_vector == is_vector;
}

// Tests the first argument; false without one, extra arguments ignored.
template <class Test>
NativeResult first_tested(Args args, Test test) {
  return VMValue::boolean(!args.empty() && test(args[0]));
}

// Tests the only argument; any other count is an arity error.
template <class Test>
NativeResult only_tested(Args args, Test test) {
  if (auto error = check_exactly(args, 1)) return make_err(std::move(*error));
  return VMValue::boolean(test(args[0]));
}

}  // namespace

// --- Atoms ------------------------------------------------------------------

NativeResult native_atom(VM& vm, Args args) {
  return VMValue::heap(vm.alloc(AtomObject{arg_or_nil(args, 0)}));
}

NativeResult native_deref(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const AtomObject* atom = atom_of(vm, args[0]);
  if (!atom) return type_error("deref requires an atom");
  return atom->value;
}

NativeResult native_reset(VM& vm, Args args) {
  if (auto error = check_at_least(args, 2)) return make_err(std::move(*error));
  AtomObject* atom = atom_of(vm, args[0]);
  if (!atom) return type_error("reset! requires an atom");
  atom->value = args[1];
  return args[1];
}

NativeResult native_swap(VM& vm, Args args) {
  if (auto error = check_at_least(args, 2)) return make_err(std::move(*error));
  const AtomObject* atom = atom_of(vm, args[0]);
  if (!atom) return type_error("swap! expects an atom");
  std::vector<VMValue> call_args{atom->value};
  call_args.insert(call_args.end(), args.begin() + 2, args.end());
  GcDisabledScope pause(vm.heap());
  auto updated = vm.apply(args[1], call_args);
  if (!updated) return make_err(std::move(updated).error());
  // The callback may have done anything: look the atom up again.
  AtomObject* still = atom_of(vm, args[0]);
  if (!still) return type_error("atom was collected during swap!");
  still->value = *updated;
  return *updated;
}

// --- Predicates ---------------------------------------------------------------

NativeResult native_is_nil(VM&, Args args) {
  return first_tested(args, [](VMValue v) { return v.is_nil(); });
}

NativeResult native_is_number(VM&, Args args) {
  return first_tested(args, is_number);
}

NativeResult native_is_int(VM&, Args args) {
  return only_tested(args, [](VMValue v) { return v.is_int(); });
}

NativeResult native_is_float(VM&, Args args) {
  return only_tested(args, [](VMValue v) { return v.is_float(); });
}

NativeResult native_is_ratio(VM&, Args args) {
  return first_tested(args, [](VMValue v) { return v.is_ratio(); });
}

NativeResult native_is_string(VM& vm, Args args) {
  return first_tested(args, [&](VMValue v) { return is_kind(vm, v, HeapKind::String); });
}

NativeResult native_is_keyword(VM&, Args args) {
  return first_tested(args, [](VMValue v) { return v.is_keyword(); });
}

NativeResult native_is_symbol(VM&, Args args) {
  return first_tested(args, [](VMValue v) { return v.is_symbol(); });
}

NativeResult native_is_fn(VM& vm, Args args) {
  return first_tested(
      args, [&](VMValue v) { return v.is_native() || is_kind(vm, v, HeapKind::Closure); });
}

NativeResult native_is_list(VM& vm, Args args) {
  return first_tested(args, [&](VMValue v) { return is_seq_with_flag(vm, v, false); });
}

NativeResult native_is_vector(VM& vm, Args args) {
  return first_tested(args, [&](VMValue v) { return is_seq_with_flag(vm, v, true); });
}

NativeResult native_is_map(VM& vm, Args args) {
  return first_tested(args, [&](VMValue v) { return is_kind(vm, v, HeapKind::Map); });
}

NativeResult native_is_set(VM& vm, Args args) {
  return first_tested(args, [&](VMValue v) { return is_kind(vm, v, HeapKind::Set); });
}

NativeResult native_is_coll(VM& vm, Args args) {
  return first_tested(args, [&](VMValue v) {
    const auto kind = heap_kind(vm, v);
    return v.is_nil() || kind == HeapKind::Seq || kind == HeapKind::Set || kind == HeapKind::Map;
  });
}

NativeResult native_is_effect(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  return VMValue::boolean(is_kind(vm, args[0], HeapKind::Effect));
}

// --- type ---------------------------------------------------------------------

NativeResult native_type(VM& vm, Args args) {
  if (auto error = check_exactly(args, 1)) return make_err(std::move(*error));
  const VMValue v = args[0];
  const auto named = [&](std::string_view name) {
    return VMValue::keyword(vm.interner().intern(name));
  };
  switch (v.tag()) {
    case ValueTag::Nil:
      return named("nil");
    case ValueTag::Bool:
      return named("bool");
    case ValueTag::Int:
      return named("int");
    case ValueTag::Float:
      return named("float");
    case ValueTag::Ratio:
      return named("ratio");
    case ValueTag::Symbol:
      return named("symbol");
    case ValueTag::Keyword:
      return named("keyword");
    case ValueTag::Native:
      return named("fn");
    case ValueTag::HeapRef:
      break;
  }
  const HeapObject* object = vm.heap().get(v.as_heap());
  if (!object) return named("unknown");
  if (const auto* variant = std::get_if<VariantObject>(object)) {
    // The registered type name, a symbol key, names the keyword too.
    if (const TypeDef* type = vm.types().get(variant->type_id())) {
      return VMValue::keyword(type->name);
    }
  }
  return named(type_keyword_name(*object));
}

}  // namespace quorvel
