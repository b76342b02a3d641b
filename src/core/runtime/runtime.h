// The runtime facade: the one machine of a host and the few operations a
// host needs (evaluate text, define globals and host functions, look up
// effects, register host effect handlers, load the prelude). Everything
// evaluated accumulates: globals, prototypes, types, docs and handlers
// persist from one evaluation to the next.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "compiler/compile_error.h"
#include "support/result.h"
#include "value.h"
#include "vm/error.h"
#include "vm/native.h"
#include "vm/vm.h"
#include "vm/vmvalue.h"

namespace quorvel {

enum class EvalErrorKind : uint8_t { Read, Compile, Runtime };

// The error of an evaluation: a reader error, a compile error or a runtime
// error with its span and stack trace.
struct EvalError {
  // Alternatives in EvalErrorKind order.
  std::variant<Error, CompileError, VMErrorInfo> payload;

  // A runtime error raised outside any run: no span, no stack.
  static EvalError runtime(VMError error);

  EvalErrorKind kind() const { return static_cast<EvalErrorKind>(payload.index()); }
  // "Reader error: ...", "compile error: ..." followed by the compile
  // error's kind, or the runtime error's display.
  std::string display() const;
};

// Source names of the texts the runtime reads itself.
inline constexpr std::string_view kEvalSourceName = "<eval>";
inline constexpr std::string_view kStdlibSourceName = "<stdlib>";

class Runtime {
 public:
  // A runtime over a new machine (natives bound, built-in effects
  // registered); no prelude.
  static std::unique_ptr<Runtime> create();
  // create() followed by load_stdlib(); the prelude's error otherwise.
  static Result<std::unique_ptr<Runtime>, EvalError> with_stdlib();

  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  // Evaluates the prelude under "<stdlib>", then records the ReduceSignal
  // type for `reduce` when the prelude defines it.
  Result<Unit, EvalError> load_stdlib();

  // Reads the whole text (a read error runs nothing), then compiles and
  // runs each form in order; the value of the last form, nil for none.
  Result<VMValue, EvalError> eval_str(std::string_view text);
  Result<VMValue, EvalError> eval_str_with_source(std::string_view text, uint32_t source);
  // Compiles one form, loads what it produced into the machine and runs it.
  Result<VMValue, EvalError> eval_expr(const Value& form);

  // Binds the global `name` to the value, creating or replacing it.
  void define(std::string_view name, VMValue value);
  // Registers a host function callable from the language under `name`;
  // fails when the machine has no native index left.
  Result<Unit, EvalError> define_fn(std::string name, HostFunction function);
  // Id of the effect bound to the global `name`, if any.
  std::optional<uint64_t> get_effect_id(std::string_view name) const;
  // Stores the handler for the named effect, replacing an earlier one; the
  // runtime error "Type error: effect not found" when there is no such effect.
  Result<Unit, EvalError> register_native_handler_by_name(std::string_view effect,
                                                          HostHandler handler);

  VM& vm() { return *vm_; }
  const VM& vm() const { return *vm_; }

 private:
  Runtime();

  std::unique_ptr<VM> vm_;
};

}  // namespace quorvel
