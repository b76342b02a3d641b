// One function being compiled: its code, constants, spans, captured
// variables, scopes of locals and the targets `recur` may jump to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "compiler/compile_error.h"
#include "support/result.h"
#include "value.h"
#include "vm/opcode.h"
#include "vm/prototype.h"
#include "vm/vmvalue.h"

namespace quorvel {

struct Local {
  uint32_t name = 0;  // symbol key
  uint8_t slot = 0;
};

// The locals of one scope, in declaration order.
using Scope = std::vector<Local>;

// Where `recur` jumps and which slots it rebinds, one per value it takes;
// an absent slot (a `_` parameter) discards its value.
struct LoopTarget {
  uint32_t start = 0;
  std::vector<std::optional<uint8_t>> slots;
};

class FunctionBuilder {
 public:
  static constexpr size_t kMaxLocals = 256;
  static constexpr size_t kMaxConstants = 65536;
  // The capture count is the 8-bit C operand of the closure instructions.
  static constexpr size_t kMaxUpvalues = 255;

  FunctionBuilder(uint32_t name, uint8_t arity, bool variadic)
      : name_(name), arity_(arity), variadic_(variadic) {}

  // Whether the expression being compiled is in tail position.
  bool tail = true;
  std::vector<LoopTarget> loop_targets;

  size_t code_size() const { return code_.size(); }

  // --- Emission --------------------------------------------------------
  void emit(OpCode op, uint8_t a = 0, uint8_t b = 0, uint8_t c = 0) {
    code_.push_back(encode(op, a, b, c));
  }
  void emit_k16(OpCode op, uint16_t k, uint8_t c = 0) { code_.push_back(encode_k16(op, k, c)); }
  // Appends a forward jump with offset 0 and returns its position.
  size_t emit_jump(OpCode op);
  // Makes the jump at `pos` land at the current end of the code.
  Result<Unit, CompileError> patch_jump(size_t pos, std::optional<Span> span);
  // Appends a Jump back to `target`.
  Result<Unit, CompileError> emit_jump_back(size_t target, std::optional<Span> span);
  // A SpanEntry for the instruction about to be emitted; nothing without a span.
  void record_span(std::optional<Span> span);

  // --- Constants -------------------------------------------------------
  // The index of an equal constant (same tag and payload bits, so 0.0 and
  // -0.0 differ and a NaN shares only with the same NaN), else a new one.
  Result<uint16_t, CompileError> add_constant(VMValue value, std::optional<Span> span);
  Result<Unit, CompileError> emit_const(VMValue value, std::optional<Span> span);

  // --- Locals and scopes ------------------------------------------------
  void begin_scope() { scopes_.emplace_back(); }
  // Forgets the innermost scope's names; their slots are not reused.
  void end_scope() { scopes_.pop_back(); }
  // Gives the name the next slot; records it in the innermost scope, if any.
  Result<uint8_t, CompileError> declare_local(uint32_t name, std::optional<Span> span);
  // The slot of the innermost visible local of that name.
  std::optional<uint8_t> find_local(uint32_t name) const;

  // --- Captured variables ----------------------------------------------
  // The index of the descriptor, appending it on first use.
  Result<uint8_t, CompileError> add_upvalue(UpvalueRef ref, std::optional<Span> span);
  const std::vector<UpvalueRef>& upvalues() const { return upvalues_; }

  // Moves everything into a prototype; scopes and loop targets are dropped.
  Prototype finish() &&;

 private:
  std::vector<uint32_t> code_;
  std::vector<VMValue> constants_;
  std::map<std::tuple<uint8_t, uint64_t, uint64_t>, uint16_t> constant_index_;
  std::vector<SpanEntry> spans_;
  std::vector<UpvalueRef> upvalues_;
  std::vector<Scope> scopes_;
  uint32_t name_;
  uint8_t arity_;
  bool variadic_;
  uint16_t next_slot_ = 0;
};

}  // namespace quorvel
