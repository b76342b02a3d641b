// Literal collections, string and regex constants, and quoted data turned
// into constants of the constant heap.
#include "compiler/compiler.h"
#include "compiler/syntax.h"
#include "vm/form_to_vm.h"

namespace quorvel {

namespace {

// Element counts are the 16-bit K16 operand.
constexpr size_t kMaxLiteralCount = 0xFFFF;

}  // namespace

Result<Unit, CompileError> Compiler::compile_collection(const Value& form,
                                                        std::optional<Span> span) {
  switch (form.kind()) {
    case Value::Kind::Vector: {
      const Value::Vector& items = form.as_vector();
      if (items.size() > kMaxLiteralCount) return syntax_error("vector too large", span);
      for (const Value& item : items) QV_TRY(compile_operand(item));
      builder().emit_k16(OpCode::MakeVector, static_cast<uint16_t>(items.size()));
      return Unit{};
    }
    case Value::Kind::Map: {
      const Value::Map& entries = form.as_map();
      if (entries.size() > kMaxLiteralCount) return syntax_error("map too large", span);
      for (const auto& [key, value] : entries) {
        QV_TRY(compile_operand(key));
        QV_TRY(compile_operand(value));
      }
      builder().emit_k16(OpCode::MakeMap, static_cast<uint16_t>(entries.size()));
      return Unit{};
    }
    default: {
      const Value::Set& members = form.as_set();
      if (members.size() > kMaxLiteralCount) return syntax_error("set too large", span);
      for (const Value& member : members) QV_TRY(compile_operand(member));
      builder().emit_k16(OpCode::MakeSet, static_cast<uint16_t>(members.size()));
      return Unit{};
    }
  }
}

VMValue Compiler::string_constant(std::string_view text) {
  return VMValue::heap(constants_.intern_string(text));
}

VMValue Compiler::regex_constant(const Value::Regex& regex) {
  return VMValue::heap(constants_.alloc_no_gc(regex_object(regex)));
}

Result<VMValue, CompileError> Compiler::value_to_constant(const Value& value,
                                                          std::optional<Span> span) {
  const FormTarget target{constants_, interner_, FormTarget::Strings::Interned, true};
  auto constant = form_to_vm(value, target);
  if (constant) return *constant;
  if (constant.error() == FormFailure::TooDeep) return syntax_error("nesting too deep", span);
  return make_err(CompileError::unsupported_expression("cannot quote this value", span));
}

}  // namespace quorvel
