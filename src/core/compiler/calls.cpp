// Calls: operators compiled to single instructions, effect operations
// written ns/op, direct native calls and general calls.
#include <array>
#include <utility>

#include "compiler/compiler.h"
#include "compiler/syntax.h"

namespace quorvel {

namespace {

// A call takes its argument count in an 8-bit operand.
constexpr size_t kMaxArguments = 255;

struct InlineOperator {
  std::string_view name;
  OpCode op;
  enum class Operands : uint8_t { One, Two, TwoOrMore } operands;
  bool spanned;  // the instruction can fail and records the form's span
};

// Recognised by name alone: a local or a global of the same name does not
// change the code.
constexpr std::array<InlineOperator, 14> kInlineOperators = {{
    {"+", OpCode::Add, InlineOperator::Operands::TwoOrMore, true},
    {"-", OpCode::Neg, InlineOperator::Operands::One, true},
    {"-", OpCode::Sub, InlineOperator::Operands::TwoOrMore, true},
    {"*", OpCode::Mul, InlineOperator::Operands::TwoOrMore, true},
    {"/", OpCode::Div, InlineOperator::Operands::TwoOrMore, true},
    {"<", OpCode::Lt, InlineOperator::Operands::Two, true},
    {">", OpCode::Gt, InlineOperator::Operands::Two, true},
    {"<=", OpCode::Le, InlineOperator::Operands::Two, true},
    {">=", OpCode::Ge, InlineOperator::Operands::Two, true},
    {"=", OpCode::Eq, InlineOperator::Operands::Two, false},
    {"not=", OpCode::NotEq, InlineOperator::Operands::Two, false},
    {"rem", OpCode::Mod, InlineOperator::Operands::Two, true},
    {"mod", OpCode::Mod, InlineOperator::Operands::Two, true},
    {"not", OpCode::Not, InlineOperator::Operands::One, false},
}};

bool accepts(InlineOperator::Operands operands, size_t count) {
  switch (operands) {
    case InlineOperator::Operands::One:
      return count == 1;
    case InlineOperator::Operands::Two:
      return count == 2;
    case InlineOperator::Operands::TwoOrMore:
      return count >= 2;
  }
  return false;
}

}  // namespace

std::optional<Result<Unit, CompileError>> Compiler::compile_inline_operator(
    std::string_view name, std::span<const Value> args, std::optional<Span> span) {
  for (const InlineOperator& op : kInlineOperators) {
    if (op.name != name || !accepts(op.operands, args.size())) continue;
    // The argument limit holds for every call, inline ones included.
    if (args.size() > kMaxArguments) return syntax_error("too many arguments (max 255)", span);
    const std::optional<Span> recorded = op.spanned ? span : std::nullopt;
    // a op, or a b op c op ...: folded from the left.
    auto emit = [&]() -> Result<Unit, CompileError> {
      QV_TRY(compile_operand(args[0]));
      if (args.size() == 1) {
        builder().record_span(recorded);
        builder().emit(op.op);
      }
      for (const Value& operand : args.subspan(1)) {
        QV_TRY(compile_operand(operand));
        builder().record_span(recorded);
        builder().emit(op.op);
      }
      return Unit{};
    };
    return emit();
  }
  return std::nullopt;
}

Result<Unit, CompileError> Compiler::compile_operands(std::span<const Value> args,
                                                      std::optional<Span> span) {
  if (args.size() > kMaxArguments) return syntax_error("too many arguments (max 255)", span);
  for (const Value& arg : args) QV_TRY(compile_operand(arg));
  return Unit{};
}

Result<Unit, CompileError> Compiler::compile_perform_op(const Symbol& head,
                                                        std::span<const Value> args,
                                                        std::optional<Span> span) {
  QV_TRY(compile_operands(args, span));
  FunctionBuilder& b = builder();
  QV_ASSIGN_OR_RETURN(const uint16_t effect,
                      b.add_constant(VMValue::symbol(intern(*head.ns())), span));
  QV_ASSIGN_OR_RETURN(const uint16_t operation,
                      b.add_constant(VMValue::symbol(intern(head.name())), span));
  // Both are 8-bit operands.
  if (effect > 255 || operation > 255) {
    return make_err(CompileError::too_many_constants(span));
  }
  b.record_span(span);
  b.emit(OpCode::PerformOp, static_cast<uint8_t>(effect), static_cast<uint8_t>(operation),
         static_cast<uint8_t>(args.size()));
  return Unit{};
}

Result<std::optional<uint16_t>, CompileError> Compiler::direct_native(const Symbol& head,
                                                                      std::optional<Span> span) {
  const uint32_t key = symbol_key(head);
  const auto native = natives_by_name_.find(key);
  if (native == natives_by_name_.end()) return std::optional<uint16_t>();
  QV_ASSIGN_OR_RETURN(const Resolution resolved, resolve_symbol(key, span));
  if (resolved.kind != Resolution::Kind::Global) return std::optional<uint16_t>();
  return std::optional<uint16_t>(native->second);
}

Result<Unit, CompileError> Compiler::compile_native_call(uint16_t native,
                                                         std::span<const Value> args,
                                                         std::optional<Span> span) {
  QV_TRY(compile_operands(args, span));
  builder().record_span(span);
  builder().emit_k16(OpCode::CallNative, native, static_cast<uint8_t>(args.size()));
  return Unit{};
}

Result<Unit, CompileError> Compiler::compile_call(const Value& head, std::span<const Value> args,
                                                  std::optional<Span> span) {
  QV_TRY(compile_operands(args, span));
  QV_TRY(compile_operand(head));
  builder().record_span(span);
  builder().emit(OpCode::Call, static_cast<uint8_t>(args.size()));
  return Unit{};
}

}  // namespace quorvel
