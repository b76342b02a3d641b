#include "vm/error.h"

namespace quorvel {

std::string VMError::display() const {
  switch (kind) {
    case VMErrorKind::TypeError:
      return "Type error: " + message;
    case VMErrorKind::ValueError:
      return "Value error: " + message;
    case VMErrorKind::StackUnderflow:
      return "Stack underflow";
    case VMErrorKind::InvalidOpcode:
      return "Invalid opcode: " + std::to_string(index);
    case VMErrorKind::UndefinedVariable:
      return "Undefined variable: " + message;
    case VMErrorKind::NotCallable:
      return "Value is not callable";
    case VMErrorKind::ArityError:
      return "Wrong number of arguments: expected " + std::to_string(index) + ", got " +
             std::to_string(length);
    case VMErrorKind::IndexOutOfBounds:
      return "Index " + std::to_string(index) + " out of bounds for length " +
             std::to_string(length);
    case VMErrorKind::InvalidContinuation:
      return "Invalid continuation";
    case VMErrorKind::UnhandledEffect:
      return effect ? "Unhandled effect: " + *effect
                    : "Unhandled effect: effect #" + std::to_string(uint64_t(index));
    case VMErrorKind::UnhandledOperation:
      return effect ? "Unhandled operation '" + *effect + "/" + message + "' "
                    : "Unhandled operation '" + message + "' on effect #" +
                          std::to_string(uint64_t(index));
    case VMErrorKind::DivisionByZero:
      return "Division by zero";
    case VMErrorKind::AssertionFailed:
      return "Assertion failed: " + message;
    case VMErrorKind::NoMatchingClause:
      return "No matching clause";
  }
  return {};
}

std::string_view VMError::kind_keyword() const {
  static constexpr std::string_view kNames[] = {
      "type-error",           "value-error",        "stack-underflow",       "invalid-opcode",
      "undefined-variable",   "not-callable",       "arity-error",           "index-out-of-bounds",
      "invalid-continuation", "effect-not-handled", "operation-not-handled", "division-by-zero",
      "assertion-failed",     "no-matching-clause",
  };
  return kNames[static_cast<size_t>(kind)];
}

bool VMError::offered_to_exn() const {
  switch (kind) {
    case VMErrorKind::StackUnderflow:
    case VMErrorKind::InvalidOpcode:
    case VMErrorKind::InvalidContinuation:
    case VMErrorKind::UnhandledEffect:
    case VMErrorKind::UnhandledOperation:
      return false;
    default:
      return true;
  }
}

}  // namespace quorvel
