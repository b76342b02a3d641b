#include "compiler/compiler.h"

#include <limits>
#include <utility>

#include "compiler/syntax.h"

namespace quorvel {

Compiler::Compiler(VM& vm)
    : vm_(vm),
      interner_(vm.interner()),
      globals_slots_(vm.global_index()),
      next_global_slot_(vm.global_count()) {
  const auto natives = vm.natives();
  for (size_t i = 0; i < natives.size() && i <= std::numeric_limits<uint16_t>::max(); ++i) {
    if (const uint32_t key = interner_.find(natives[i].name)) {
      natives_by_name_.emplace(key, static_cast<uint16_t>(i));
    }
  }
}

Result<uint32_t, CompileError> Compiler::compile(const Value& form) {
  builders_.clear();  // what a failed compile left
  push_builder(0, 0, false);
  QV_TRY(compile_expr(form));
  builder().emit(OpCode::Return);
  return add_prototype(finish_function());
}

CompileOutput Compiler::finish() && {
  builders_.clear();
  return CompileOutput{std::move(prototypes_), std::move(constants_), std::move(docs_)};
}

void Compiler::push_builder(uint32_t name, uint8_t arity, bool variadic) {
  builders_.emplace_back(name, arity, variadic);
}

Prototype Compiler::finish_function() {
  Prototype proto = std::move(builders_.back()).finish();
  builders_.pop_back();
  return proto;
}

uint32_t Compiler::add_prototype(Prototype proto) {
  prototypes_.push_back(std::move(proto));
  return static_cast<uint32_t>(prototypes_.size() - 1);
}

Result<Resolution, CompileError> Compiler::resolve_symbol(uint32_t name, std::optional<Span> span) {
  const size_t current = builders_.size() - 1;
  for (size_t level = builders_.size(); level-- > 0;) {
    const std::optional<uint8_t> slot = builders_[level].find_local(name);
    if (!slot) continue;
    if (level == current) return Resolution{Resolution::Kind::Local, *slot};
    // Every function between the binding and the use captures the value
    // from the one around it: a local first, then a captured variable.
    UpvalueRef ref{false, *slot};
    uint8_t index = 0;
    for (size_t inner = level + 1; inner <= current; ++inner) {
      QV_ASSIGN_OR_RETURN(index, builders_[inner].add_upvalue(ref, span));
      ref = UpvalueRef{true, index};
    }
    return Resolution{Resolution::Kind::Upvalue, index};
  }
  return Resolution{};
}

void Compiler::define_global_slot(uint32_t name) {
  if (globals_slots_.contains(name)) return;
  globals_slots_.emplace(name, next_global_slot_);
  vm_.reserve_global_slot(name, next_global_slot_);
  ++next_global_slot_;
}

}  // namespace quorvel
