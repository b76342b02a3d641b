// fn: clauses, parameters, :when guards, rest parameters and the closure
// that the enclosing function builds.
#include <memory>
#include <utility>
#include <vector>

#include "compiler/compiler.h"
#include "compiler/syntax.h"
#include "compiler/upvalue_map.h"

namespace quorvel {

struct Compiler::ClauseSyntax {
  std::vector<const Value*> fixed;  // parameter forms before &
  const Value* rest = nullptr;      // the form after &
  const Value* guard = nullptr;     // the form after :when
};

struct Compiler::ClauseCompile {
  Prototype body;
  std::optional<Prototype> guard;
  std::vector<CompiledPattern> patterns;  // fixed parameters, then the rest parameter
  bool variadic = false;
  uint8_t arity = 0;
  // One clause of plain parameters in slots 0, 1, ...: a MakeClosure suffices.
  bool plain = false;
};

namespace {

// A plain-parameter closure: no guard, no rest, each parameter a Bind of
// the slot equal to its position.
bool binds_in_order(const std::vector<CompiledPattern>& patterns) {
  for (size_t i = 0; i < patterns.size(); ++i) {
    const auto* bind = std::get_if<CompiledPattern::Bind>(&patterns[i].node);
    if (!bind || bind->slot != i) return false;
  }
  return true;
}

}  // namespace

Result<Unit, CompileError> Compiler::compile_fn(std::span<const Value> args,
                                                std::optional<Span> span) {
  size_t first = 0;
  uint32_t name = 0;
  if (!args.empty() && strip_meta(args[0]).is(Value::Kind::Symbol)) {
    name = symbol_key(strip_meta(args[0]).as_symbol());
    first = 1;
  }
  if (first >= args.size()) return syntax_error("fn requires parameters", span);

  // Each clause: its parameter vector and its body forms.
  std::vector<std::vector<Value>> clause_forms;
  if (strip_meta(args[first]).is(Value::Kind::List)) {
    for (const Value& clause : args.subspan(first)) {
      const auto [form, clause_span] = locate(clause);
      const std::optional<Span> at = clause_span ? clause_span : span;
      if (!form.is(Value::Kind::List)) return syntax_error("fn clause must be a list", at);
      if (form.as_list().empty()) return syntax_error("fn clause is empty", at);
      clause_forms.emplace_back(form.as_list().begin(), form.as_list().end());
      if (!strip_meta(clause_forms.back().front()).is(Value::Kind::Vector)) {
        return syntax_error("fn clause requires a parameter vector", at);
      }
    }
  } else {
    if (!strip_meta(args[first]).is(Value::Kind::Vector)) {
      return syntax_error("fn clause requires a parameter vector", span_or(args[first], span));
    }
    clause_forms.emplace_back(args.begin() + first, args.end());
  }

  std::vector<ClauseCompile> clauses;
  for (const std::vector<Value>& forms : clause_forms) {
    QV_ASSIGN_OR_RETURN(const ClauseSyntax syntax, read_clause(forms.front(), span));
    QV_ASSIGN_OR_RETURN(ClauseCompile clause,
                        compile_clause(name, syntax, std::span(forms).subspan(1), span));
    clauses.push_back(std::move(clause));
  }

  // One descriptor list for all clauses: bodies and guards index into it.
  std::vector<UpvalueRef> unified;
  for (const ClauseCompile& clause : clauses) {
    add_to_union(unified, clause.body.upvalues);
    if (clause.guard) add_to_union(unified, clause.guard->upvalues);
  }
  if (unified.size() > FunctionBuilder::kMaxUpvalues)
    return syntax_error("too many upvalues", span);
  auto unify = [&unified](Prototype& proto) -> Result<Unit, CompileError> {
    QV_ASSIGN_OR_RETURN(const std::vector<uint8_t> map, build_upvalue_map(proto.upvalues, unified));
    return remap_proto_upvalues(proto, map, unified);
  };
  std::vector<ClauseInfo> infos;
  for (ClauseCompile& clause : clauses) {
    QV_TRY(unify(clause.body));
    if (clause.guard) QV_TRY(unify(*clause.guard));
    ClauseInfo info;
    info.proto = add_prototype(std::move(clause.body));
    if (clause.guard) info.guard = add_prototype(std::move(*clause.guard));
    info.patterns = std::move(clause.patterns);
    info.variadic = clause.variadic;
    info.arity = clause.arity;
    infos.push_back(std::move(info));
  }

  // The closure, built in the enclosing function from its own variables.
  FunctionBuilder& b = builder();
  for (const UpvalueRef& ref : unified) {
    b.emit(ref.from_upvalue ? OpCode::LoadUpvalue : OpCode::LoadLocal, ref.index);
  }
  const auto captured = static_cast<uint8_t>(unified.size());
  if (clauses.size() == 1 && clauses.front().plain) {
    if (infos.front().proto > 0xFFFF) return syntax_error("too many functions", span);
    b.emit_k16(OpCode::MakeClosure, static_cast<uint16_t>(infos.front().proto), captured);
    return Unit{};
  }
  const HeapKey tmpl = constants_.alloc_no_gc(
      ClosureTemplate{std::make_shared<const std::vector<ClauseInfo>>(std::move(infos))});
  QV_ASSIGN_OR_RETURN(const uint16_t constant, b.add_constant(VMValue::heap(tmpl), span));
  b.emit_k16(OpCode::MakeClosureFromTemplate, constant, captured);
  return Unit{};
}

Result<Compiler::ClauseSyntax, CompileError> Compiler::read_clause(const Value& params,
                                                                   std::optional<Span> span) {
  const std::optional<Span> at = span_or(params, span);
  const Value::Vector& items = strip_meta(params).as_vector();
  ClauseSyntax syntax;
  size_t end = items.size();
  for (size_t i = 0; i < items.size(); ++i) {
    if (!is_plain_keyword(items.nth(i), "when")) continue;
    if (i + 1 == items.size()) return syntax_error(":when requires an expression", at);
    syntax.guard = &items.nth(i + 1);
    end = i;
    break;
  }
  bool after_ampersand = false;
  for (size_t i = 0; i < end; ++i) {
    const Value& item = items.nth(i);
    if (syntax.rest) return syntax_error("multiple rest parameters", span_or(item, at));
    if (after_ampersand) {
      syntax.rest = &item;
    } else if (is_plain_symbol(item, "&")) {
      after_ampersand = true;
    } else {
      syntax.fixed.push_back(&item);
    }
  }
  if (after_ampersand && !syntax.rest) return syntax_error("missing rest parameter after &", at);
  if (syntax.fixed.size() > 255) return syntax_error("too many parameters (max 255)", at);
  return syntax;
}

Result<Compiler::ClauseCompile, CompileError> Compiler::compile_clause(uint32_t name,
                                                                       const ClauseSyntax& syntax,
                                                                       std::span<const Value> body,
                                                                       std::optional<Span> span) {
  ClauseCompile clause;
  clause.arity = static_cast<uint8_t>(syntax.fixed.size());
  clause.variadic = syntax.rest != nullptr;
  push_builder(name, clause.arity, clause.variadic);
  builder().begin_scope();

  std::vector<const Value*> params = syntax.fixed;
  if (syntax.rest) params.push_back(syntax.rest);
  BoundNames bound;
  LoopTarget target;
  for (const Value* param : params) {
    QV_ASSIGN_OR_RETURN(CompiledPattern pattern, compile_parameter(*param, bound, span));
    const auto* bind = std::get_if<CompiledPattern::Bind>(&pattern.node);
    target.slots.push_back(bind ? std::optional<uint8_t>(bind->slot) : std::nullopt);
    clause.patterns.push_back(std::move(pattern));
  }
  target.start = static_cast<uint32_t>(builder().code_size());
  builder().loop_targets.push_back(std::move(target));
  QV_TRY(compile_do(body, span));
  builder().emit(OpCode::Return);
  clause.body = finish_function();

  if (syntax.guard) {
    // Slot i of the guard holds the i-th name the parameters bound.
    push_builder(name, 0, false);
    builder().begin_scope();
    for (const auto& [bound_name, bound_span] : bound) {
      QV_TRY(builder().declare_local(bound_name, bound_span));
    }
    QV_TRY(compile_expr(*syntax.guard));
    builder().emit(OpCode::Return);
    clause.guard = finish_function();
  }
  clause.plain = !clause.guard && !clause.variadic && binds_in_order(clause.patterns);
  return clause;
}

Result<CompiledPattern, CompileError> Compiler::compile_parameter(const Value& param,
                                                                  BoundNames& bound,
                                                                  std::optional<Span> span) {
  const auto [form, param_span] = locate(param);
  const std::optional<Span> at = param_span ? param_span : span;
  if (is_plain_symbol(form, "_")) return CompiledPattern{CompiledPattern::Wildcard{}};
  // Destructuring and literal parameters are not supported yet.
  const Symbol* sym = plain_symbol(form);
  if (!sym) return syntax_error("invalid pattern", at);
  const uint32_t key = symbol_key(*sym);
  for (const auto& [earlier, earlier_span] : bound) {
    if (earlier != key) continue;
    CompileError error = CompileError::duplicate_parameter(sym->name(), at);
    if (earlier_span) error = std::move(error).with_related({*earlier_span, "first defined here"});
    return make_err(std::move(error));
  }
  QV_ASSIGN_OR_RETURN(const uint8_t slot, builder().declare_local(key, at));
  bound.emplace_back(key, param_span);
  return CompiledPattern{CompiledPattern::Bind{slot}};
}

}  // namespace quorvel
