// The error of a compilation: what went wrong, where, and how to fix it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "value.h"

namespace quorvel {

// The order is fixed: it is the numbering of the kinds.
enum class CompileErrorKind : uint8_t {
  UnsupportedExpression = 0,  // payload: the type name
  EmptyList = 1,
  InvalidSyntax = 2,  // payload: the message
  TooManyLocals = 3,
  TooManyConstants = 4,
  UndefinedVariable = 5,    // payload: the name
  UndefinedMacro = 6,       // payload: the name
  MacroExpansionError = 7,  // payload: the message
  InvalidMacroResult = 8,   // payload: the message
  DuplicateParameter = 9,   // payload: the name
};

struct CompileError {
  CompileErrorKind kind = CompileErrorKind::InvalidSyntax;
  std::string payload;  // empty for the kinds without one
  std::optional<Span> span;
  std::optional<std::string> hint;  // help shown after the message
  std::vector<RelatedSpan> related;

  static CompileError unsupported_expression(std::string type_name, std::optional<Span> span);
  static CompileError empty_list(std::optional<Span> span);
  static CompileError invalid_syntax(std::string message, std::optional<Span> span,
                                     std::optional<std::string> hint = std::nullopt);
  static CompileError too_many_locals(std::optional<Span> span);
  static CompileError too_many_constants(std::optional<Span> span);
  static CompileError duplicate_parameter(std::string name, std::optional<Span> span);

  // Appends a secondary position and returns the error.
  CompileError with_related(RelatedSpan related_span) &&;

  // The text of the kind, e.g. "invalid syntax: if requires a test expression".
  std::string display() const;
};

}  // namespace quorvel
