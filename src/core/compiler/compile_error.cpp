#include "compiler/compile_error.h"

#include <utility>

namespace quorvel {

namespace {

CompileError make(CompileErrorKind kind, std::string payload, std::optional<Span> span) {
  CompileError error;
  error.kind = kind;
  error.payload = std::move(payload);
  error.span = span;
  return error;
}

}  // namespace

CompileError CompileError::unsupported_expression(std::string type_name, std::optional<Span> span) {
  return make(CompileErrorKind::UnsupportedExpression, std::move(type_name), span);
}

CompileError CompileError::empty_list(std::optional<Span> span) {
  return make(CompileErrorKind::EmptyList, {}, span);
}

CompileError CompileError::invalid_syntax(std::string message, std::optional<Span> span,
                                          std::optional<std::string> hint) {
  CompileError error = make(CompileErrorKind::InvalidSyntax, std::move(message), span);
  error.hint = std::move(hint);
  return error;
}

CompileError CompileError::too_many_locals(std::optional<Span> span) {
  return make(CompileErrorKind::TooManyLocals, {}, span);
}

CompileError CompileError::too_many_constants(std::optional<Span> span) {
  return make(CompileErrorKind::TooManyConstants, {}, span);
}

CompileError CompileError::duplicate_parameter(std::string name, std::optional<Span> span) {
  return make(CompileErrorKind::DuplicateParameter, std::move(name), span);
}

CompileError CompileError::with_related(RelatedSpan related_span) && {
  related.push_back(std::move(related_span));
  return std::move(*this);
}

std::string CompileError::display() const {
  switch (kind) {
    case CompileErrorKind::UnsupportedExpression:
      return "unsupported expression: " + payload;
    case CompileErrorKind::EmptyList:
      return "empty list";
    case CompileErrorKind::InvalidSyntax:
      return "invalid syntax: " + payload;
    case CompileErrorKind::TooManyLocals:
      return "too many locals (max 256)";
    case CompileErrorKind::TooManyConstants:
      return "too many constants (max 65536)";
    case CompileErrorKind::UndefinedVariable:
      return "undefined variable: " + payload;
    case CompileErrorKind::UndefinedMacro:
      return "undefined macro: " + payload;
    case CompileErrorKind::MacroExpansionError:
      return "macro expansion error: " + payload;
    case CompileErrorKind::InvalidMacroResult:
      return "invalid macro result: " + payload;
    case CompileErrorKind::DuplicateParameter:
      return "duplicate parameter: " + payload;
  }
  return "invalid syntax: " + payload;
}

}  // namespace quorvel
