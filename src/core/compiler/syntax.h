// Helpers shared by the compiler's files: looking at forms through their
// span wrappers, and early return on errors.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "compiler/compile_error.h"
#include "support/result.h"
#include "value.h"

namespace quorvel {

// An InvalidSyntax error, ready to be returned as any compiler Result.
inline Err<CompileError> syntax_error(std::string message, std::optional<Span> span,
                                      std::optional<std::string> hint = std::nullopt) {
  return make_err(CompileError::invalid_syntax(std::move(message), span, std::move(hint)));
}

// A form without its span wrappers, and the span of the innermost wrapper.
struct Located {
  const Value& form;
  std::optional<Span> span;
};

inline Located locate(const Value& v) {
  const Value* form = &v;
  std::optional<Span> span;
  while (form->is(Value::Kind::Meta)) {
    span = form->as_meta().span;
    form = &form->as_meta().inner;
  }
  return {*form, span};
}

// The span of a form, or `fallback` when it carries none.
inline std::optional<Span> span_or(const Value& v, std::optional<Span> fallback) {
  const std::optional<Span> own = locate(v).span;
  return own ? own : fallback;
}

// The symbol of a form that is a symbol without namespace, else null.
inline const Symbol* plain_symbol(const Value& v) {
  const Value& form = strip_meta(v);
  if (!form.is(Value::Kind::Symbol) || form.as_symbol().ns()) return nullptr;
  return &form.as_symbol();
}

inline bool is_plain_symbol(const Value& v, std::string_view name) {
  const Symbol* sym = plain_symbol(v);
  return sym && sym->name() == name;
}

inline bool is_plain_keyword(const Value& v, std::string_view name) {
  const Value& form = strip_meta(v);
  return form.is(Value::Kind::Keyword) && !form.as_symbol().ns() && form.as_symbol().name() == name;
}

}  // namespace quorvel

// Returns the error of a failed Result from the enclosing function.
#define QV_TRY(expr)                                                         \
  do {                                                                       \
    auto qv_try_result_ = (expr);                                            \
    if (!qv_try_result_) return make_err(std::move(qv_try_result_).error()); \
  } while (false)

#define QV_CONCAT_INNER(a, b) a##b
#define QV_CONCAT(a, b) QV_CONCAT_INNER(a, b)
#define QV_ASSIGN_INNER(tmp, lhs, expr)              \
  auto tmp = (expr);                                 \
  if (!tmp) return make_err(std::move(tmp).error()); \
  lhs = std::move(tmp).value()
// Declares or assigns `lhs` from a successful Result, else returns its error.
#define QV_ASSIGN_OR_RETURN(lhs, expr) QV_ASSIGN_INNER(QV_CONCAT(qv_assign_, __LINE__), lhs, expr)
