// Runtime errors: every failure while code runs is a VMError. A failure
// that ends a top-level run also carries the span of the failing
// instruction and the stack trace (VMErrorInfo).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "value.h"

namespace quorvel {

// The order is fixed: it indexes the kind keyword table.
enum class VMErrorKind : uint8_t {
  TypeError = 0,
  ValueError = 1,
  StackUnderflow = 2,
  InvalidOpcode = 3,
  UndefinedVariable = 4,
  NotCallable = 5,
  ArityError = 6,
  IndexOutOfBounds = 7,
  InvalidContinuation = 8,
  UnhandledEffect = 9,
  UnhandledOperation = 10,
  DivisionByZero = 11,
  AssertionFailed = 12,
  NoMatchingClause = 13,
};

struct VMError {
  VMErrorKind kind;
  std::string message = {};                // TypeError, ValueError, AssertionFailed; the name of
                                           // UndefinedVariable; the operation of UnhandledOperation
  std::optional<std::string> effect = {};  // effect name of UnhandledEffect / UnhandledOperation
  int64_t index = 0;                       // IndexOutOfBounds index; InvalidOpcode byte;
                                           // ArityError expected; effect id of the Unhandled kinds
  uint64_t length = 0;                     // IndexOutOfBounds length; ArityError got

  static VMError type_error(std::string message) {
    return {VMErrorKind::TypeError, std::move(message)};
  }
  static VMError value_error(std::string message) {
    return {VMErrorKind::ValueError, std::move(message)};
  }
  static VMError stack_underflow() { return {VMErrorKind::StackUnderflow}; }
  static VMError invalid_opcode(uint8_t byte) { return {VMErrorKind::InvalidOpcode, {}, {}, byte}; }
  static VMError undefined_variable(std::string name) {
    return {VMErrorKind::UndefinedVariable, std::move(name)};
  }
  static VMError not_callable() { return {VMErrorKind::NotCallable}; }
  // Counts are 8-bit: larger ones are reduced modulo 256.
  static VMError arity(uint64_t expected, uint64_t got) {
    return {VMErrorKind::ArityError, {}, {}, int64_t(expected % 256), got % 256};
  }
  static VMError index_out_of_bounds(int64_t index, uint64_t length) {
    return {VMErrorKind::IndexOutOfBounds, {}, {}, index, length};
  }
  static VMError invalid_continuation() { return {VMErrorKind::InvalidContinuation}; }
  static VMError unhandled_effect(std::optional<std::string> name, uint64_t id) {
    return {VMErrorKind::UnhandledEffect, {}, std::move(name), int64_t(id)};
  }
  static VMError unhandled_operation(std::string op, std::optional<std::string> effect,
                                     uint64_t id) {
    return {VMErrorKind::UnhandledOperation, std::move(op), std::move(effect), int64_t(id)};
  }
  static VMError division_by_zero() { return {VMErrorKind::DivisionByZero}; }
  static VMError assertion_failed(std::string message) {
    return {VMErrorKind::AssertionFailed, std::move(message)};
  }
  static VMError no_matching_clause() { return {VMErrorKind::NoMatchingClause}; }

  // The display text, e.g. "Type error: expected numbers".
  std::string display() const;
  // The keyword text of the kind, e.g. "type-error".
  std::string_view kind_keyword() const;
  // Whether the error is offered to the exn effect before it ends a run.
  bool offered_to_exn() const;
};

// One line of a stack trace.
struct VMStackFrame {
  std::optional<Span> span;
  std::optional<std::string> function;
};

// What a failed top-level run returns; its display is the error's.
struct VMErrorInfo {
  VMError error;
  std::optional<Span> span;
  std::vector<VMStackFrame> stack;  // innermost first

  std::string display() const { return error.display(); }
};

}  // namespace quorvel
