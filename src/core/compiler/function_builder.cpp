#include "compiler/function_builder.h"

#include <algorithm>
#include <utility>

namespace quorvel {

namespace {

CompileError jump_error(const JumpError& error, std::optional<Span> span) {
  return CompileError::invalid_syntax(error.message, span);
}

}  // namespace

size_t FunctionBuilder::emit_jump(OpCode op) {
  code_.push_back(encode_s16(op, 0));
  return code_.size() - 1;
}

Result<Unit, CompileError> FunctionBuilder::patch_jump(size_t pos, std::optional<Span> span) {
  auto patched = quorvel::patch_jump(code_, pos, code_.size());
  if (!patched) return make_err(jump_error(patched.error(), span));
  return Unit{};
}

Result<Unit, CompileError> FunctionBuilder::emit_jump_back(size_t target,
                                                           std::optional<Span> span) {
  auto offset = jump_offset(code_.size(), target);
  if (!offset) return make_err(jump_error(offset.error(), span));
  code_.push_back(encode_s16(OpCode::Jump, *offset));
  return Unit{};
}

void FunctionBuilder::record_span(std::optional<Span> span) {
  if (!span) return;
  spans_.push_back(SpanEntry{static_cast<uint32_t>(code_.size()), span->start, span->end,
                             span->line, span->column, span->source});
}

Result<uint16_t, CompileError> FunctionBuilder::add_constant(VMValue value,
                                                             std::optional<Span> span) {
  const auto key =
      std::make_tuple(static_cast<uint8_t>(value.tag()), value.payload0(), value.payload1());
  if (const auto it = constant_index_.find(key); it != constant_index_.end()) return it->second;
  if (constants_.size() >= kMaxConstants) return make_err(CompileError::too_many_constants(span));
  const auto index = static_cast<uint16_t>(constants_.size());
  constants_.push_back(value);
  constant_index_.emplace(key, index);
  return index;
}

Result<Unit, CompileError> FunctionBuilder::emit_const(VMValue value, std::optional<Span> span) {
  auto index = add_constant(value, span);
  if (!index) return make_err(std::move(index).error());
  emit_k16(OpCode::LoadConst, *index);
  return Unit{};
}

Result<uint8_t, CompileError> FunctionBuilder::declare_local(uint32_t name,
                                                             std::optional<Span> span) {
  if (next_slot_ >= kMaxLocals) return make_err(CompileError::too_many_locals(span));
  const auto slot = static_cast<uint8_t>(next_slot_++);
  if (!scopes_.empty()) scopes_.back().push_back(Local{name, slot});
  return slot;
}

std::optional<uint8_t> FunctionBuilder::find_local(uint32_t name) const {
  for (auto scope = scopes_.rbegin(); scope != scopes_.rend(); ++scope) {
    for (auto local = scope->rbegin(); local != scope->rend(); ++local) {
      if (local->name == name) return local->slot;
    }
  }
  return std::nullopt;
}

Result<uint8_t, CompileError> FunctionBuilder::add_upvalue(UpvalueRef ref,
                                                           std::optional<Span> span) {
  const auto found = std::find(upvalues_.begin(), upvalues_.end(), ref);
  if (found != upvalues_.end()) return static_cast<uint8_t>(found - upvalues_.begin());
  if (upvalues_.size() >= kMaxUpvalues) {
    return make_err(CompileError::invalid_syntax("too many upvalues", span));
  }
  upvalues_.push_back(ref);
  return static_cast<uint8_t>(upvalues_.size() - 1);
}

Prototype FunctionBuilder::finish() && {
  Prototype proto;
  proto.code = std::move(code_);
  proto.constants = std::move(constants_);
  proto.spans = std::move(spans_);
  proto.num_upvalues = static_cast<uint16_t>(upvalues_.size());
  proto.upvalues = std::move(upvalues_);
  proto.name = name_;
  proto.arity = arity_;
  proto.num_locals = next_slot_;
  proto.variadic = variadic_;
  return proto;
}

}  // namespace quorvel
