// Expressions by kind, the dispatch of list forms, and the core special
// forms: if, do, let, def, defn, loop, recur, and, or, assert, quote.
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "compiler/compiler.h"
#include "compiler/syntax.h"
#include "support/stack_guard.h"

namespace quorvel {

namespace {

using FormResult = Result<Unit, CompileError>;

// Special forms whose compilation arrives with later parts of the compiler.
constexpr std::array<std::string_view, 9> kPendingForms = {
    "syntax-quote", "defmacro", "macroexpand", "macroexpand-1", "match",
    "defdata",      "effect",   "perform",     "with-handler"};

}  // namespace

Result<Unit, CompileError> Compiler::compile_expr(const Value& value) {
  const auto [form, span] = locate(value);
  if (!StackGuard::has_room()) return syntax_error("nesting too deep", span);
  FunctionBuilder& b = builder();
  switch (form.kind()) {
    case Value::Kind::Nil:
      return b.emit_const(VMValue::nil(), span);
    case Value::Kind::Bool:
      return b.emit_const(VMValue::boolean(form.as_bool()), span);
    case Value::Kind::Int:
      return b.emit_const(VMValue::integer(form.as_int()), span);
    case Value::Kind::Float:
      return b.emit_const(VMValue::floating(form.as_float()), span);
    case Value::Kind::Ratio:
      return b.emit_const(VMValue::ratio(form.as_ratio().numerator, form.as_ratio().denominator),
                          span);
    case Value::Kind::String:
      return b.emit_const(string_constant(form.as_string()), span);
    case Value::Kind::Regex:
      return b.emit_const(regex_constant(form.as_regex()), span);
    case Value::Kind::Keyword:
      return b.emit_const(VMValue::keyword(symbol_key(form.as_symbol())), span);
    case Value::Kind::Symbol:
      return compile_symbol(form.as_symbol(), span);
    case Value::Kind::List:
      if (form.as_list().empty()) {
        b.emit_k16(OpCode::MakeList, 0);
        return Unit{};
      }
      return compile_list(form.as_list(), span);
    case Value::Kind::Vector:
    case Value::Kind::Map:
    case Value::Kind::Set:
      return compile_collection(form, span);
    default:
      return make_err(CompileError::unsupported_expression(std::string(type_name(form)), span));
  }
}

Result<Unit, CompileError> Compiler::compile_operand(const Value& form) {
  FunctionBuilder& b = builder();
  const bool saved = b.tail;
  b.tail = false;
  auto result = compile_expr(form);
  b.tail = saved;
  return result;
}

Result<Unit, CompileError> Compiler::compile_do(std::span<const Value> forms,
                                                std::optional<Span> span) {
  if (forms.empty()) return builder().emit_const(VMValue::nil(), span);
  for (size_t i = 0; i + 1 < forms.size(); ++i) {
    QV_TRY(compile_operand(forms[i]));
    builder().emit(OpCode::Pop);
  }
  return compile_expr(forms.back());
}

Result<Unit, CompileError> Compiler::compile_symbol(const Symbol& sym, std::optional<Span> span) {
  const uint32_t key = symbol_key(sym);
  QV_ASSIGN_OR_RETURN(const Resolution resolved, resolve_symbol(key, span));
  FunctionBuilder& b = builder();
  switch (resolved.kind) {
    case Resolution::Kind::Local:
      b.emit(OpCode::LoadLocal, resolved.index);
      return Unit{};
    case Resolution::Kind::Upvalue:
      b.emit(OpCode::LoadUpvalue, resolved.index);
      return Unit{};
    case Resolution::Kind::Global:
      break;
  }
  if (const auto slot = globals_slots_.find(key);
      slot != globals_slots_.end() && slot->second <= 0xFFFF) {
    b.emit_k16(OpCode::LoadGlobalSlot, static_cast<uint16_t>(slot->second));
    return Unit{};
  }
  QV_ASSIGN_OR_RETURN(const uint16_t name, b.add_constant(VMValue::symbol(key), span));
  b.record_span(span);
  b.emit_k16(OpCode::LoadGlobal, name);
  return Unit{};
}

Result<Unit, CompileError> Compiler::compile_list(const List& list, std::optional<Span> span) {
  if (list.empty()) return make_err(CompileError::empty_list(span));
  const std::vector<Value> items(list.begin(), list.end());
  const Value& head = items.front();
  const std::span<const Value> args = std::span(items).subspan(1);
  const auto [head_form, head_span] = locate(head);
  if (head_form.is(Value::Kind::Symbol)) {
    const Symbol& sym = head_form.as_symbol();
    if (auto special = compile_special_form(sym.name(), args, head_span, span)) {
      return std::move(*special);
    }
    if (sym.ns()) return compile_perform_op(sym, args, span);
    if (auto inlined = compile_inline_operator(sym.name(), args, span)) return std::move(*inlined);
    QV_ASSIGN_OR_RETURN(const std::optional<uint16_t> native, direct_native(sym, span));
    if (native) return compile_native_call(*native, args, span);
  }
  return compile_call(head, args, span);
}

std::optional<Result<Unit, CompileError>> Compiler::compile_special_form(
    std::string_view name, std::span<const Value> args, std::optional<Span> head_span,
    std::optional<Span> span) {
  if (name == "if") return compile_if(args, span);
  if (name == "do") return compile_do(args, span);
  if (name == "fn") return compile_fn(args, span);
  if (name == "and") return compile_and_or(true, args, span);
  if (name == "or") return compile_and_or(false, args, span);
  if (name == "let") return compile_let(args, span);
  if (name == "def") return compile_def(args, head_span, span);
  if (name == "defn") return compile_defn(args, head_span, span);
  if (name == "loop") return compile_loop(args, span);
  if (name == "recur") return compile_recur(args, span);
  if (name == "assert") return compile_assert(args, span);
  if (name == "quote") return compile_quote(args, span);
  if (name == "unquote") return FormResult(syntax_error("unquote outside of syntax-quote", span));
  if (name == "unquote-splicing") {
    return FormResult(syntax_error("unquote-splicing outside of syntax-quote", span));
  }
  for (std::string_view pending : kPendingForms) {
    if (name == pending) {
      return FormResult(syntax_error(std::string(name) + " is not available yet", span));
    }
  }
  return std::nullopt;
}

Result<Unit, CompileError> Compiler::compile_if(std::span<const Value> args,
                                                std::optional<Span> span) {
  if (args.empty()) return syntax_error("if requires a test expression", span);
  QV_TRY(compile_operand(args[0]));
  const size_t to_else = builder().emit_jump(OpCode::JumpIfFalse);
  if (args.size() > 1) {
    QV_TRY(compile_expr(args[1]));
  } else {
    QV_TRY(builder().emit_const(VMValue::nil(), span));
  }
  const size_t to_end = builder().emit_jump(OpCode::Jump);
  QV_TRY(builder().patch_jump(to_else, span));
  if (args.size() > 2) {
    QV_TRY(compile_expr(args[2]));
  } else {
    QV_TRY(builder().emit_const(VMValue::nil(), span));
  }
  return builder().patch_jump(to_end, span);
}

Result<Unit, CompileError> Compiler::compile_and_or(bool is_and, std::span<const Value> args,
                                                    std::optional<Span> span) {
  if (args.empty()) {
    return builder().emit_const(is_and ? VMValue::boolean(true) : VMValue::nil(), span);
  }
  std::vector<size_t> to_end;
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    QV_TRY(compile_operand(args[i]));
    builder().emit(OpCode::Dup);
    to_end.push_back(builder().emit_jump(is_and ? OpCode::JumpIfFalse : OpCode::JumpIfTrue));
    builder().emit(OpCode::Pop);
  }
  QV_TRY(compile_expr(args.back()));
  for (size_t jump : to_end) QV_TRY(builder().patch_jump(jump, span));
  return Unit{};
}

Result<Unit, CompileError> Compiler::compile_let(std::span<const Value> args,
                                                 std::optional<Span> span) {
  if (args.empty()) return syntax_error("let requires bindings vector", span);
  const Value& bindings = strip_meta(args[0]);
  if (!bindings.is(Value::Kind::Vector)) {
    return syntax_error("let bindings must be a vector", span_or(args[0], span),
                        "use [name value ...] form");
  }
  const Value::Vector& pairs = bindings.as_vector();
  if (pairs.size() % 2 != 0) return syntax_error("let bindings must have even count", span);
  builder().begin_scope();
  for (size_t i = 0; i < pairs.size(); i += 2) {
    QV_TRY(compile_operand(pairs.nth(i + 1)));
    QV_TRY(compile_binding(pairs.nth(i), span));
  }
  QV_TRY(compile_do(args.subspan(1), span));
  builder().end_scope();
  return Unit{};
}

Result<Unit, CompileError> Compiler::compile_binding(const Value& pattern,
                                                     std::optional<Span> span) {
  const auto [form, pattern_span] = locate(pattern);
  const std::optional<Span> at = pattern_span ? pattern_span : span;
  if (is_plain_symbol(form, "_")) {
    builder().emit(OpCode::Pop);
    return Unit{};
  }
  if (const Symbol* sym = plain_symbol(form)) {
    QV_ASSIGN_OR_RETURN(const uint8_t slot, builder().declare_local(symbol_key(*sym), at));
    builder().emit(OpCode::StoreLocal, slot);
    return Unit{};
  }
  // Destructuring of vectors, maps and variants is not supported yet.
  if (form.is(Value::Kind::Vector) || form.is(Value::Kind::Map) ||
      (form.is(Value::Kind::List) && !form.as_list().empty())) {
    return syntax_error("invalid pattern", at);
  }
  return syntax_error("only simple symbol patterns supported in let bindings", at);
}

Result<Unit, CompileError> Compiler::emit_define_global(uint32_t name, std::optional<Span> span) {
  FunctionBuilder& b = builder();
  b.emit(OpCode::Dup);
  QV_ASSIGN_OR_RETURN(const uint16_t constant, b.add_constant(VMValue::symbol(name), span));
  b.emit_k16(OpCode::DefineGlobal, constant);
  return Unit{};
}

Result<Unit, CompileError> Compiler::compile_def(std::span<const Value> args,
                                                 std::optional<Span> head_span,
                                                 std::optional<Span> span) {
  if (args.size() < 2) return syntax_error("def requires a name and value", span);
  const Value& name_form = strip_meta(args[0]);
  if (!name_form.is(Value::Kind::Symbol)) {
    return syntax_error("def name must be a symbol", span_or(args[0], span),
                        "def expects (def name value)");
  }
  const uint32_t name = symbol_key(name_form.as_symbol());
  const Value& doc = strip_meta(args[1]);
  const bool documented = args.size() >= 3 && doc.is(Value::Kind::String);
  QV_TRY(compile_operand(documented ? args[2] : args[1]));
  if (documented) docs_[name] = DocEntry{doc.as_string(), head_span};
  define_global_slot(name);
  return emit_define_global(name, span);
}

Result<Unit, CompileError> Compiler::compile_defn(std::span<const Value> args,
                                                  std::optional<Span> head_span,
                                                  std::optional<Span> span) {
  if (args.size() < 2) return syntax_error("defn requires a name and parameter vector", span);
  const Value& name_form = strip_meta(args[0]);
  if (!name_form.is(Value::Kind::Symbol)) {
    return syntax_error("defn name must be a symbol", span_or(args[0], span),
                        "defn expects (defn name [params] body)");
  }
  const uint32_t name = symbol_key(name_form.as_symbol());
  // (fn name params-and-body...), without the doc string.
  std::vector<Value> fn_args(args.begin(), args.end());
  const Value& doc = strip_meta(args[1]);
  if (doc.is(Value::Kind::String)) {
    docs_[name] = DocEntry{doc.as_string(), head_span};
    fn_args.erase(fn_args.begin() + 1);
  }
  // Recursive references in the body read the slot.
  define_global_slot(name);
  QV_TRY(compile_fn(fn_args, span));
  return emit_define_global(name, span);
}

Result<Unit, CompileError> Compiler::compile_loop(std::span<const Value> args,
                                                  std::optional<Span> span) {
  if (args.empty()) return syntax_error("loop requires bindings vector", span);
  const Value& bindings = strip_meta(args[0]);
  if (!bindings.is(Value::Kind::Vector)) {
    return syntax_error("loop bindings must be a vector", span_or(args[0], span));
  }
  const Value::Vector& pairs = bindings.as_vector();
  if (pairs.size() % 2 != 0) return syntax_error("loop bindings must have even count", span);
  builder().begin_scope();
  LoopTarget target;
  for (size_t i = 0; i < pairs.size(); i += 2) {
    const Symbol* name = plain_symbol(pairs.nth(i));
    if (!name) {
      return syntax_error("only simple symbol patterns supported in loop bindings",
                          span_or(pairs.nth(i), span));
    }
    QV_TRY(compile_operand(pairs.nth(i + 1)));
    QV_ASSIGN_OR_RETURN(const uint8_t slot,
                        builder().declare_local(symbol_key(*name), span_or(pairs.nth(i), span)));
    builder().emit(OpCode::StoreLocal, slot);
    target.slots.push_back(slot);
  }
  FunctionBuilder& b = builder();
  target.start = static_cast<uint32_t>(b.code_size());
  b.loop_targets.push_back(std::move(target));
  const bool saved = b.tail;
  b.tail = true;
  QV_TRY(compile_do(args.subspan(1), span));
  b.tail = saved;
  b.loop_targets.pop_back();
  b.end_scope();
  return Unit{};
}

Result<Unit, CompileError> Compiler::compile_recur(std::span<const Value> args,
                                                   std::optional<Span> span) {
  if (!builder().tail) return syntax_error("recur must be in tail position", span);
  if (builder().loop_targets.empty()) return syntax_error("recur outside of loop", span);
  // A copy: loops among the arguments push targets of their own.
  const LoopTarget target = builder().loop_targets.back();
  if (args.size() != target.slots.size()) {
    return syntax_error("recur arity mismatch: expected " + std::to_string(target.slots.size()) +
                            ", got " + std::to_string(args.size()),
                        span);
  }
  for (const Value& arg : args) QV_TRY(compile_operand(arg));
  FunctionBuilder& b = builder();
  for (auto slot = target.slots.rbegin(); slot != target.slots.rend(); ++slot) {
    if (*slot) {
      b.emit(OpCode::StoreLocal, **slot);
    } else {
      b.emit(OpCode::Pop);
    }
  }
  QV_TRY(b.emit_jump_back(target.start, span));
  // Never runs: keeps the form's one-value shape.
  return b.emit_const(VMValue::nil(), span);
}

Result<Unit, CompileError> Compiler::compile_assert(std::span<const Value> args,
                                                    std::optional<Span> span) {
  if (args.empty()) return syntax_error("assert requires an expression", span);
  QV_TRY(compile_operand(args[0]));
  const size_t to_ok = builder().emit_jump(OpCode::JumpIfTrue);
  if (args.size() > 1) {
    QV_TRY(compile_operand(args[1]));
  } else {
    QV_TRY(builder().emit_const(string_constant("assertion failed"), span));
  }
  FunctionBuilder& b = builder();
  QV_ASSIGN_OR_RETURN(const uint16_t failed,
                      b.add_constant(VMValue::symbol(intern("assert-failed")), span));
  b.emit_k16(OpCode::LoadGlobal, failed);
  b.record_span(span);
  b.emit(OpCode::Call, 1);
  const size_t to_end = b.emit_jump(OpCode::Jump);
  QV_TRY(b.patch_jump(to_ok, span));
  QV_TRY(b.emit_const(VMValue::nil(), span));
  return b.patch_jump(to_end, span);
}

Result<Unit, CompileError> Compiler::compile_quote(std::span<const Value> args,
                                                   std::optional<Span> span) {
  if (args.size() != 1) return syntax_error("quote expects exactly 1 argument", span);
  QV_ASSIGN_OR_RETURN(const VMValue constant, value_to_constant(args[0], span));
  return builder().emit_const(constant, span);
}

}  // namespace quorvel
