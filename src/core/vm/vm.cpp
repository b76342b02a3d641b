#include "vm/vm.h"

#include "support/stack_guard.h"
#include "vm/calls.h"
#include "vm/interpreter.h"

namespace quorvel {

namespace {

struct BuiltinEffect {
  std::string_view name;
  uint64_t id;
  std::vector<std::pair<std::string_view, uint8_t>> ops;
};

}  // namespace

VM::VM(std::span<const NativeEntry> natives) : natives_(natives) {
  handlers_.reserve(16);

  const auto optic = [this](OpticKind::Variant kind) {
    const HeapKey key = heap_.alloc_no_gc(OpticKind{kind});
    optic_singletons_.push_back(key);
    return VMValue::heap(key);
  };
  const VMValue each = optic(OpticKind::Each{});
  const VMValue vals = optic(OpticKind::Vals{});
  const VMValue keys = optic(OpticKind::Keys{});
  const VMValue deep = optic(OpticKind::Deep{});
  const VMValue some = optic(OpticKind::Some{});

  for (size_t i = 0; i < natives_.size(); ++i) {
    const uint32_t name = interner_.intern(natives_[i].name);
    set_global(name, VMValue::native(static_cast<uint16_t>(i)));
    if (!natives_[i].doc.empty()) {
      docs_[name] = DocEntry{std::string(natives_[i].doc), std::nullopt};
    }
  }

  const BuiltinEffect effects[] = {
      {"exn", kExnEffectId, {{"raise", 1}}},
      {"console", kConsoleEffectId, {{"print", 1}, {"println", 1}, {"read-line", 0}}},
      {"random", kRandomEffectId, {{"rand", 0}, {"rand-int", 1}}},
  };
  for (const BuiltinEffect& effect : effects) {
    EffectObject object{effect.id, interner_.intern(effect.name), {}};
    for (const auto& [op, arity] : effect.ops) object.ops.push_back({interner_.intern(op), arity});
    set_global(*object.name, VMValue::heap(heap_.alloc_no_gc(std::move(object))));
  }

  next_effect_id_ = 1;

  set_global(interner_.intern("each"), each);
  set_global(interner_.intern("_vals"), vals);
  set_global(interner_.intern("_keys"), keys);
  set_global(interner_.intern("deep"), deep);
  set_global(interner_.intern("DEEP"), deep);
  set_global(interner_.intern("_some"), some);
}

// --- Running ---------------------------------------------------------------

Result<VMValue, VMErrorInfo> VM::run(uint32_t proto, std::span<const VMValue> args) {
  pending_trace_.clear();
  const MachineMark mark{stack_.size(), frames_.size(), handlers_.size()};
  const auto restore = [&] {
    frames_.truncate(std::min(frames_.size(), mark.frames));
    handlers_.resize(std::min(handlers_.size(), mark.handlers));
    stack_.truncate(std::min(stack_.size(), mark.stack_len));
  };
  const auto fail = [&](VMError error) {
    VMErrorInfo info = Interpreter::make_error(*this, std::move(error));
    restore();
    return make_err(std::move(info));
  };
  if (!StackGuard::has_room()) {
    return fail(VMError::value_error(std::string(kStackOverflowMessage)));
  }
  if (proto >= prototypes_.size()) {
    return fail(VMError::value_error("invalid bytecode: prototype index out of range"));
  }
  const Prototype& p = prototypes_[proto];
  if (p.variadic) {
    if (args.size() < p.arity) return fail(VMError::arity(p.arity, args.size()));
    for (size_t i = 0; i < p.arity; ++i) stack_.push(args[i]);
    stack_.push(make_list(std::vector<VMValue>(args.begin() + p.arity, args.end())));
  } else {
    for (const VMValue& v : args) stack_.push(v);
  }
  if (stack_.size() < mark.stack_len + p.num_locals) {
    stack_.push_nils(mark.stack_len + p.num_locals - stack_.size());
  }
  auto pushed = Calls::push_frame(*this, proto, mark.stack_len, std::nullopt, false);
  if (!pushed) return fail(std::move(pushed).error());
  auto result = Interpreter::execute_rich(*this);
  restore();
  return result;
}

NativeResult VM::apply(VMValue callee, std::span<const VMValue> args) {
  return Calls::apply(*this, callee, args);
}

NativeResult VM::call_native_by_idx(uint16_t index, std::span<const VMValue> args) {
  GcDisabledScope pause(heap_);
  if (index < natives_.size()) {
    const NativeFunction function = natives_[index].function;
    if (!function) return make_err(VMError::not_callable());
    return function(*this, args);
  }
  const size_t dynamic = index - natives_.size();
  if (dynamic >= dynamic_natives_.size()) return make_err(VMError::not_callable());
  // Kept alive even if the function registers another under its name.
  const std::shared_ptr<HostFunction> function = dynamic_natives_[dynamic].function;
  return (*function)(*this, args);
}

// --- Globals ---------------------------------------------------------------

void VM::set_global(uint32_t name, VMValue value) {
  const auto [it, added] = global_index_.try_emplace(name, static_cast<uint32_t>(globals_.size()));
  if (added) globals_.push_back(GlobalSlot{value, name, true});
  GlobalSlot& slot = globals_[it->second];
  slot.value = value;
  slot.bound = true;
}

std::optional<VMValue> VM::get_global(uint32_t name) const {
  const auto it = global_index_.find(name);
  if (it == global_index_.end() || !globals_[it->second].bound) return std::nullopt;
  return globals_[it->second].value;
}

std::optional<uint32_t> VM::global_slot(uint32_t name) const {
  const auto it = global_index_.find(name);
  if (it == global_index_.end()) return std::nullopt;
  return it->second;
}

void VM::reserve_global_slot(uint32_t name, uint32_t slot) {
  if (global_index_.contains(name)) return;
  if (slot < globals_.size() && globals_[slot].name != 0) return;
  if (slot >= globals_.size()) globals_.resize(size_t{slot} + 1);
  globals_[slot].name = name;
  global_index_.emplace(name, slot);
}

// --- Natives, prototypes, effects -------------------------------------------

Result<uint16_t, VMError> VM::register_dynamic_native(std::string name, HostFunction function) {
  const size_t index = natives_.size() + dynamic_natives_.size();
  if (index > UINT16_MAX) return make_err(VMError::value_error("too many host functions"));
  const uint32_t key = interner_.intern(name);
  dynamic_natives_.push_back(
      DynamicNative{std::move(name), std::make_shared<HostFunction>(std::move(function))});
  set_global(key, VMValue::native(static_cast<uint16_t>(index)));
  return static_cast<uint16_t>(index);
}

uint32_t VM::add_prototype(Prototype proto) {
  const auto index = static_cast<uint32_t>(prototypes_.size());
  exec_.push_back(prepare_exec_code(proto, index, globals_.size()));
  // Moving keeps the constants' buffer, which the executable copy points to.
  prototypes_.push_back(std::move(proto));
  return index;
}

std::optional<uint64_t> VM::get_effect_id(std::string_view name) const {
  const uint32_t key = interner_.find(name);
  if (key == 0) return std::nullopt;
  const auto value = get_global(key);
  if (!value || !value->is_heap()) return std::nullopt;
  const auto* effect = std::get_if<EffectObject>(heap_.get(value->as_heap()));
  if (!effect) return std::nullopt;
  return effect->id;
}

std::optional<std::string> VM::effect_name_by_id(uint64_t id) const {
  std::optional<std::string> name;
  heap_.for_each([&](HeapKey, const HeapObject& object) {
    const auto* effect = std::get_if<EffectObject>(&object);
    if (!name && effect && effect->id == id && effect->name) {
      name = std::string(interner_.text(*effect->name));
    }
  });
  return name;
}

void VM::set_host_handler(uint64_t effect_id, HostHandler handler) {
  host_handlers_[effect_id] = std::make_shared<const HostHandler>(std::move(handler));
}

// --- Heap helpers ------------------------------------------------------------

void VM::collect_roots(std::vector<HeapKey>& out) const {
  const auto add = [&out](VMValue v) {
    if (v.is_heap()) out.push_back(v.as_heap());
  };
  for (const Prototype& proto : prototypes_) {
    for (const VMValue& constant : proto.constants) add(constant);
  }
  out.insert(out.end(), optic_singletons_.begin(), optic_singletons_.end());
  for (const VMValue& v : stack_.values()) add(v);
  for (const GlobalSlot& slot : globals_) {
    if (slot.bound) add(slot.value);
  }
  for (size_t i = 0; i < frames_.size(); ++i) {
    const Frame& frame = frames_[i];
    if (frame.closure) out.push_back(*frame.closure);
    if (frame.handler_call) out.push_back(frame.handler_call->continuation);
  }
  for (const HandlerRecord& record : handlers_) {
    if (record.closure) out.push_back(*record.closure);
    if (record.dispatch) out.push_back(*record.dispatch);
  }
  out.insert(out.end(), extra_roots_.begin(), extra_roots_.end());
  for (const TypeDef& type : types_.types()) {
    for (const VariantDef& variant : type.variants) {
      if (variant.singleton) out.push_back(*variant.singleton);
    }
  }
}

VMValue VM::alloc_string(std::string text) {
  return VMValue::heap(alloc(StringObject{std::move(text)}));
}

VMValue VM::make_list(std::vector<VMValue> items) {
  return VMValue::heap(
      alloc(SeqData{PVector<VMValue>::from_range(items.begin(), items.end()), false}));
}

VMValue VM::make_vector(std::vector<VMValue> items) {
  return VMValue::heap(
      alloc(SeqData{PVector<VMValue>::from_range(items.begin(), items.end()), true}));
}

VMValue VM::canonicalize_key(VMValue value) {
  return heap_.canonicalize_key(value);
}

Result<bool, VMError> VM::values_equal(VMValue a, VMValue b) const {
  auto equal = heap_.language_equal(a, b);
  if (!equal)
    return make_err(VMError::value_error("stack overflow: data nested too deeply to compare"));
  return *equal;
}

}  // namespace quorvel
