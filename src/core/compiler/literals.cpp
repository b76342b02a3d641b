// Literal collections, string and regex constants, and quoted data turned
// into constants of the constant heap.
#include <memory>
#include <string>
#include <utility>

#include "compiler/compiler.h"
#include "compiler/syntax.h"
#include "support/stack_guard.h"

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
  // The object shares the compiled expression: the pointer keeps the
  // Regex (and with it the engine) alive.
  auto holder = std::make_shared<const Value::Regex>(regex);
  std::shared_ptr<const re2::RE2> engine(holder, &holder->engine());
  return VMValue::heap(constants_.alloc_no_gc(RegexObject{std::move(engine), regex.pattern()}));
}

Result<VMValue, CompileError> Compiler::value_to_constant(const Value& value,
                                                          std::optional<Span> span) {
  const Value& form = strip_meta(value);
  if (!StackGuard::has_room()) return syntax_error("nesting too deep", span);
  switch (form.kind()) {
    case Value::Kind::Nil:
      return VMValue::nil();
    case Value::Kind::Bool:
      return VMValue::boolean(form.as_bool());
    case Value::Kind::Int:
      return VMValue::integer(form.as_int());
    case Value::Kind::Float:
      return VMValue::floating(form.as_float());
    case Value::Kind::Ratio:
      return VMValue::ratio(form.as_ratio().numerator, form.as_ratio().denominator);
    case Value::Kind::String:
      return string_constant(form.as_string());
    case Value::Kind::Symbol:
      return VMValue::symbol(symbol_key(form.as_symbol()));
    case Value::Kind::Keyword:
      return VMValue::keyword(symbol_key(form.as_symbol()));
    case Value::Kind::Regex:
      return regex_constant(form.as_regex());
    case Value::Kind::List:
    case Value::Kind::Vector: {
      SeqData seq;
      seq.is_vector = form.is(Value::Kind::Vector);
      auto add = [&](const Value& item) -> Result<Unit, CompileError> {
        QV_ASSIGN_OR_RETURN(const VMValue converted, value_to_constant(item, span));
        seq.items = std::move(seq.items).push_back(converted);
        return Unit{};
      };
      if (seq.is_vector) {
        for (const Value& item : form.as_vector()) QV_TRY(add(item));
      } else {
        for (const Value& item : form.as_list()) QV_TRY(add(item));
      }
      return VMValue::heap(constants_.intern_seq(std::move(seq)));
    }
    case Value::Kind::Map: {
      VMMap map;
      for (const auto& [key, item] : form.as_map()) {
        QV_ASSIGN_OR_RETURN(const VMValue k, value_to_constant(key, span));
        QV_ASSIGN_OR_RETURN(const VMValue v, value_to_constant(item, span));
        map = constants_.map_insert(map, k, v);
      }
      return VMValue::heap(constants_.intern_map(std::move(map)));
    }
    case Value::Kind::Set: {
      VMSet set;
      for (const Value& member : form.as_set()) {
        QV_ASSIGN_OR_RETURN(const VMValue m, value_to_constant(member, span));
        set = std::move(set).insert(constants_.canonicalize_key(m));
      }
      return VMValue::heap(constants_.intern_set(std::move(set)));
    }
    default:
      return make_err(CompileError::unsupported_expression("cannot quote this value", span));
  }
}

}  // namespace quorvel
