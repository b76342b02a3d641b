#include "vm/calls.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "support/stack_guard.h"
#include "support/utf8.h"
#include "vm/interpreter.h"
#include "vm/vm.h"

namespace quorvel {

namespace {

VMError stack_overflow() {
  return VMError::value_error(std::string(kStackOverflowMessage));
}

VMError bad_prototype() {
  return VMError::value_error("invalid bytecode: prototype index out of range");
}

VMError bad_constant() {
  return VMError::value_error("invalid bytecode: constant index out of range");
}

bool fits(const ClauseInfo& clause, size_t argc) {
  return argc == clause.arity || (clause.variadic && argc >= clause.arity);
}

// Only Bind patterns whose slot is their position: the arguments are the locals.
bool plain_parameters(const ClauseInfo& clause) {
  for (size_t i = 0; i < clause.patterns.size(); ++i) {
    const auto* bind = std::get_if<CompiledPattern::Bind>(&clause.patterns[i].node);
    if (!bind || bind->slot != i) return false;
  }
  return true;
}

VMError wrong_number_of_arguments(size_t argc, const std::vector<ClauseInfo>* clauses) {
  std::string text = "Wrong number of arguments (" + std::to_string(argc) + "), function expects [";
  if (clauses) {
    for (size_t i = 0; i < clauses->size(); ++i) {
      if (i > 0) text += ", ";
      text += std::to_string((*clauses)[i].arity);
      if ((*clauses)[i].variadic) text += "+";
    }
  }
  return VMError::value_error(text + "]");
}

// A copy of a native's arguments, without allocating for the usual few.
class ArgBuffer {
 public:
  ArgBuffer(const VMValue* first, size_t count) : count_(count) {
    if (count <= kInline) {
      std::copy(first, first + count, inline_);
    } else {
      spill_.assign(first, first + count);
    }
  }
  std::span<const VMValue> span() const {
    return {count_ <= kInline ? inline_ : spill_.data(), count_};
  }

 private:
  static constexpr size_t kInline = 8;
  VMValue inline_[kInline];
  std::vector<VMValue> spill_;
  size_t count_;
};

}  // namespace

VMValue keyword_lookup(const VM& vm, VMValue keyword, VMValue target, VMValue fallback) {
  const HeapObject* object = target.is_heap() ? vm.heap().get(target.as_heap()) : nullptr;
  if (!object) return fallback;
  if (const auto* map = std::get_if<VMMap>(object)) {
    const VMValue* found = map->find(keyword);
    return found ? *found : fallback;
  }
  if (const auto* variant = std::get_if<VariantObject>(object)) {
    const TypeDef* type = vm.types().get(variant->type_id());
    if (type && variant->variant_index() < type->variants.size()) {
      const auto& fields = type->variants[variant->variant_index()].field_index;
      const auto field = fields.find(keyword.name_key());
      if (field != fields.end() && field->second < variant->fields.size()) {
        return variant->fields[field->second];
      }
    }
  }
  return fallback;
}

// --- Call and TailCall --------------------------------------------------------

Result<bool, VMError> Calls::do_call(VM& vm, size_t argc, bool tail) {
  OperandStack& stack = vm.stack_;
  if (stack.size() < argc + 1) return make_err(VMError::stack_underflow());
  const VMValue callee = stack.top();
  if (callee.is_native()) {
    stack.pop();
    return do_call_native(vm, callee.native_index(), argc, tail);
  }
  if (callee.is_heap()) {
    const HeapObject* object = vm.heap_.get(callee.as_heap());
    if (object && kind_of(*object) == HeapKind::Closure) {
      auto called = call_closure_inplace(vm, callee.as_heap(), argc, tail);
      if (!called) return make_err(std::move(called).error());
      return false;
    }
  }
  // The result replaces the callee and its arguments, also after a tail call.
  const size_t args_at = stack.size() - argc - 1;
  auto result = call_value(vm, callee, {&stack[args_at], argc});
  stack.truncate(args_at);
  if (!result) return make_err(std::move(result).error());
  stack.push(*result);
  return false;
}

Result<bool, VMError> Calls::do_call_native(VM& vm, uint16_t index, size_t argc, bool tail) {
  OperandStack& stack = vm.stack_;
  if (stack.size() < argc) return make_err(VMError::stack_underflow());
  // Natives never see the operand stack: it may move while they call back.
  const ArgBuffer args(stack.top_ptr() - argc, argc);
  stack.truncate(stack.size() - argc);
  if (tail) discard_frame_handlers(vm);
  auto result = vm.call_native_by_idx(index, args.span());
  if (!result) return make_err(std::move(result).error());
  // A native that succeeds has dealt with any error of code it called.
  vm.pending_trace_.clear();
  stack.push(*result);
  // Nothing was collected while the native ran; its garbage may be due now.
  vm.heap_.collect_if_due(vm);
  return tail;
}

NativeResult Calls::call_value(VM& vm, VMValue callee, std::span<const VMValue> args) {
  const size_t argc = args.size();
  if (callee.is_keyword()) {
    if (argc < 1 || argc > 2) return make_err(VMError::arity(1, argc));
    return keyword_lookup(vm, callee, args[0], argc == 2 ? args[1] : VMValue::nil());
  }
  const HeapObject* object = callee.is_heap() ? vm.heap_.get(callee.as_heap()) : nullptr;
  if (!object) return make_err(VMError::not_callable());
  switch (kind_of(*object)) {
    case HeapKind::Map: {
      if (argc < 1 || argc > 2) return make_err(VMError::arity(1, argc));
      const auto found = vm.heap_.map_get(std::get<VMMap>(*object), args[0]);
      return found ? *found : (argc == 2 ? args[1] : VMValue::nil());
    }
    case HeapKind::Set: {
      if (argc != 1) return make_err(VMError::arity(1, argc));
      const bool member = std::get<VMSet>(*object).contains(vm.heap_.canonicalize_key(args[0]));
      return member ? args[0] : VMValue::nil();
    }
    case HeapKind::Seq: {
      const auto& seq = std::get<SeqData>(*object);
      if (!seq.is_vector) return make_err(VMError::not_callable());
      if (argc != 1) return make_err(VMError::arity(1, argc));
      if (!args[0].is_int()) return make_err(VMError::type_error("vector index must be integer"));
      const int64_t i = args[0].as_int();
      if (i < 0 || static_cast<uint64_t>(i) >= seq.items.size()) {
        return make_err(VMError::index_out_of_bounds(i, seq.items.size()));
      }
      return seq.items.nth(static_cast<size_t>(i));
    }
    case HeapKind::Continuation:
      if (argc != 1) return make_err(VMError::arity(1, argc));
      return make_err(VMError::type_error("effects are not available yet"));
    default:
      return make_err(VMError::not_callable());
  }
}

// --- Closures -----------------------------------------------------------------

Result<Unit, VMError> Calls::call_closure_inplace(VM& vm, HeapKey key, size_t argc, bool tail) {
  OperandStack& stack = vm.stack_;
  const size_t args_at = stack.size() - argc - 1;
  const auto* closure = std::get_if<Closure>(vm.heap_.get(key));
  // A clause list never changes, and the callee on the stack keeps it alive.
  const std::vector<ClauseInfo>* clauses = closure ? closure->clauses.get() : nullptr;
  bool arity_fitted = false;
  for (size_t i = 0; clauses && i < clauses->size(); ++i) {
    const ClauseInfo& clause = (*clauses)[i];
    if (!fits(clause, argc)) continue;
    arity_fitted = true;
    if (clause.proto >= vm.prototypes_.size()) {
      stack.truncate(args_at);
      return make_err(bad_prototype());
    }
    if (!clause.guard && plain_parameters(clause)) {
      write_plain_locals(vm, clause, args_at, argc, args_at,
                         vm.prototypes_[clause.proto].num_locals);
      return push_frame(vm, clause.proto, args_at, key, tail);
    }
    auto chosen = select_clause(vm, key, clause, args_at, argc);
    if (!chosen) {
      stack.truncate(args_at);
      return make_err(std::move(chosen).error());
    }
    if (*chosen) return push_frame(vm, clause.proto, args_at, key, tail);
  }
  stack.truncate(args_at);
  if (arity_fitted) return make_err(VMError::no_matching_clause());
  return make_err(wrong_number_of_arguments(argc, clauses));
}

Result<bool, VMError> Calls::select_clause(VM& vm, HeapKey closure, const ClauseInfo& clause,
                                           size_t args_at, size_t argc) {
  OperandStack& stack = vm.stack_;
  const size_t num_locals = vm.prototypes_[clause.proto].num_locals;
  const size_t locals_at = stack.size();
  stack.push_nils(num_locals);
  if (plain_parameters(clause)) {
    write_plain_locals(vm, clause, args_at, argc, locals_at, num_locals);
  } else {
    auto bound = bind_pattern_args_for_clause(vm, clause, vm.prototypes_[clause.proto], args_at,
                                              argc, locals_at);
    if (!bound || !*bound) {
      stack.truncate(locals_at);
      return bound;
    }
  }
  if (clause.guard) {
    auto passed = Interpreter::eval_guard(vm, *clause.guard, closure, locals_at, num_locals);
    if (!passed || !*passed) {
      stack.truncate(locals_at);
      return passed;
    }
  }
  VMValue* base = stack.begin_ptr();
  std::copy(base + locals_at, base + locals_at + num_locals, base + args_at);
  stack.truncate(args_at + num_locals);
  return true;
}

void Calls::write_plain_locals(VM& vm, const ClauseInfo& clause, size_t args_at, size_t argc,
                               size_t dest, size_t num_locals) {
  OperandStack& stack = vm.stack_;
  const size_t fixed = clause.variadic ? clause.arity : argc;
  // Made while the callee is still on the stack.
  const VMValue rest =
      clause.variadic ? rest_list(vm, args_at + fixed, argc - fixed) : VMValue::nil();
  if (stack.size() < dest + num_locals) stack.push_nils(dest + num_locals - stack.size());
  VMValue* locals = stack.begin_ptr() + dest;
  size_t i = std::min(fixed, num_locals);
  if (dest != args_at)
    std::copy(stack.begin_ptr() + args_at, stack.begin_ptr() + args_at + i, locals);
  if (clause.variadic && i < num_locals) locals[i++] = rest;
  std::fill(locals + i, locals + num_locals, VMValue::nil());
  stack.truncate(dest + num_locals);
}

VMValue Calls::rest_list(VM& vm, size_t from, size_t count) {
  const VMValue* first = vm.stack_.begin_ptr() + from;
  return vm.make_list(std::vector<VMValue>(first, first + count));
}

Result<Unit, VMError> Calls::call_closure_with_args(VM& vm, HeapKey closure,
                                                    std::span<const VMValue> args) {
  OperandStack& stack = vm.stack_;
  stack.reserve(args.size() + 1);
  for (const VMValue& v : args) stack.push(v);
  stack.push(VMValue::heap(closure));
  return call_closure_inplace(vm, closure, args.size(), false);
}

Result<Unit, VMError> Calls::push_frame(VM& vm, uint32_t proto, size_t base,
                                        std::optional<HeapKey> closure, bool tail) {
  FrameStack& frames = vm.frames_;
  OperandStack& stack = vm.stack_;
  if (tail && !frames.empty()) {
    discard_frame_handlers(vm);
    Frame& frame = frames.back();
    const size_t count = stack.size() - base;
    std::memmove(stack.begin_ptr() + frame.base, stack.begin_ptr() + base, count * sizeof(VMValue));
    stack.truncate(frame.base + count);
    frame.proto = proto;
    frame.ip = 0;
    frame.closure = closure;
    return Unit{};
  }
  if (frames.size() >= VM::kMaxFrames) {
    stack.truncate(base);
    return make_err(stack_overflow());
  }
  Frame& frame = frames.push();
  frame.proto = proto;
  frame.base = base;
  frame.closure = closure;
  return Unit{};
}

void Calls::discard_frame_handlers(VM& vm) {
  while (!vm.handlers_.empty() && vm.handlers_.back().frame_count >= vm.frames_.size()) {
    vm.handlers_.pop_back();
  }
}

// --- apply ------------------------------------------------------------------

NativeResult Calls::apply(VM& vm, VMValue callee, std::span<const VMValue> args) {
  if (callee.is_native()) return vm.call_native_by_idx(callee.native_index(), args);
  if (callee.is_keyword()) return call_value(vm, callee, args);
  const HeapObject* object = callee.is_heap() ? vm.heap_.get(callee.as_heap()) : nullptr;
  const auto kind = object ? std::optional<HeapKind>(kind_of(*object)) : std::nullopt;
  if (kind == HeapKind::Set) return call_value(vm, callee, args);
  if (kind != HeapKind::Closure) return make_err(VMError::not_callable());
  if (!StackGuard::has_room()) return make_err(stack_overflow());
  const MachineMark mark{vm.stack_.size(), vm.frames_.size(), vm.handlers_.size()};
  auto started = call_closure_with_args(vm, callee.as_heap(), args);
  if (!started) return make_err(std::move(started).error());
  return Interpreter::execute_until_depth(vm, mark);
}

// --- Parameter patterns -------------------------------------------------------

Result<bool, VMError> Calls::bind_pattern_args_for_clause(VM& vm, const ClauseInfo& clause,
                                                          const Prototype& proto, size_t args_at,
                                                          size_t argc, size_t locals_at) {
  // Values in flight (rest lists, characters of strings) live in C++ locals.
  GcDisabledScope pause(vm.heap_);
  const auto& patterns = clause.patterns;
  const size_t fixed = std::min<size_t>(clause.arity, patterns.size());
  for (size_t i = 0; i < fixed; ++i) {
    auto matched =
        match_pattern_with_idx(vm, vm.stack_[args_at + i], patterns[i], proto, locals_at);
    if (!matched || !*matched) return matched;
  }
  if (clause.variadic && patterns.size() > clause.arity) {
    const VMValue rest = rest_list(vm, args_at + clause.arity, argc - clause.arity);
    return match_pattern_with_idx(vm, rest, patterns[clause.arity], proto, locals_at);
  }
  return true;
}

Result<bool, VMError> Calls::match_pattern_with_idx(VM& vm, VMValue value,
                                                    const CompiledPattern& pattern,
                                                    const Prototype& proto, size_t locals_at) {
  if (!StackGuard::has_room()) return make_err(stack_overflow());
  const auto store = [&](uint8_t slot, VMValue v) {
    if (slot < proto.num_locals) vm.stack_[locals_at + slot] = v;
  };
  const auto constant = [&](uint16_t index) -> const VMValue* {
    return index < proto.constants.size() ? &proto.constants[index] : nullptr;
  };
  const auto match_all =
      [&](auto&& item, size_t count,
          const std::vector<CompiledPattern>& patterns) -> Result<bool, VMError> {
    for (size_t i = 0; i < count; ++i) {
      auto matched = match_pattern_with_idx(vm, item(i), patterns[i], proto, locals_at);
      if (!matched || !*matched) return matched;
    }
    return true;
  };
  const HeapObject* object = value.is_heap() ? vm.heap_.get(value.as_heap()) : nullptr;

  if (const auto* bind = std::get_if<CompiledPattern::Bind>(&pattern.node)) {
    store(bind->slot, value);
    return true;
  }
  if (std::holds_alternative<CompiledPattern::Wildcard>(pattern.node)) return true;
  if (const auto* literal = std::get_if<CompiledPattern::Literal>(&pattern.node)) {
    const VMValue* expected = constant(literal->constant_index);
    if (!expected) return make_err(bad_constant());
    return vm.values_equal(*expected, value);
  }
  if (const auto* seq_pattern = std::get_if<CompiledPattern::Sequential>(&pattern.node)) {
    if (value.is_nil()) return false;
    std::vector<VMValue> chars;
    const PVector<VMValue>* items = nullptr;
    if (const auto* text = std::get_if<StringObject>(object)) {
      for (size_t pos = 0; pos < text->text.size();) {
        const size_t length = utf8::decode(text->text, pos).length;
        chars.push_back(vm.alloc_string(text->text.substr(pos, length)));
        pos += length;
      }
    } else if (const auto* seq = std::get_if<SeqData>(object)) {
      items = &seq->items;
    } else {
      return make_err(VMError::type_error("expected sequential"));
    }
    const auto item = [&](size_t i) { return items ? items->nth(i) : chars[i]; };
    const size_t length = items ? items->size() : chars.size();
    const size_t count = seq_pattern->element_patterns.size();
    if (seq_pattern->rest_pattern ? length < count : length != count) return false;
    if (seq_pattern->as_slot) store(*seq_pattern->as_slot, value);
    auto matched = match_all(item, count, seq_pattern->element_patterns);
    if (!matched || !*matched || !seq_pattern->rest_pattern) return matched;
    std::vector<VMValue> rest;
    for (size_t i = count; i < length; ++i) rest.push_back(item(i));
    return match_pattern_with_idx(vm, vm.make_list(std::move(rest)), **seq_pattern->rest_pattern,
                                  proto, locals_at);
  }
  if (const auto* map_pattern = std::get_if<CompiledPattern::Associative>(&pattern.node)) {
    if (value.is_nil()) return false;
    const auto* map = std::get_if<VMMap>(object);
    if (!map) return make_err(VMError::type_error("expected map"));
    if (map_pattern->as_slot) store(*map_pattern->as_slot, value);
    for (const auto& [key_index, sub] : map_pattern->entries) {
      const VMValue* key = constant(key_index);
      if (!key) return make_err(bad_constant());
      VMValue found = VMValue::nil();
      if (const auto entry = vm.heap_.map_get(*map, *key)) {
        found = *entry;
      } else {
        for (const auto& [default_key, default_index] : map_pattern->defaults) {
          if (default_key != key_index) continue;
          const VMValue* fallback = constant(default_index);
          if (!fallback) return make_err(bad_constant());
          found = *fallback;
          break;
        }
      }
      auto matched = match_pattern_with_idx(vm, found, sub, proto, locals_at);
      if (!matched || !*matched) return matched;
    }
    return true;
  }
  const auto& variant_pattern = std::get<CompiledPattern::VariantPattern>(pattern.node);
  const auto* variant = std::get_if<VariantObject>(object);
  if (!variant ||
      variant->tag !=
          VariantObject::make_tag(variant_pattern.type_id, variant_pattern.variant_index) ||
      variant->fields.size() != variant_pattern.field_patterns.size()) {
    return false;
  }
  return match_all([&](size_t i) { return variant->fields[i]; }, variant->fields.size(),
                   variant_pattern.field_patterns);
}

}  // namespace quorvel
