// The step loop and the three loops built on it: execute_rich for
// top-level runs, execute_until_depth for calls made from native code, and
// eval_guard for clause guards; plus the error path (make_error,
// try_raise_error) and effect dispatch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "support/result.h"
#include "vm/error.h"
#include "vm/vmvalue.h"

namespace quorvel {

class VM;

// The lengths of the operand stack, the frames and the handler records at
// the start of a nested loop, restored when the loop fails.
struct MachineMark {
  size_t stack_len = 0;
  size_t frames = 0;
  size_t handlers = 0;
};

class Interpreter {
 public:
  // Runs the top frame and whatever it calls until a frame returns leaving
  // `stop_depth` frames; that frame's value is the result. With
  // `offer_errors` every error that may be caught is first offered to the
  // exn effect. On failure the frames and the stack stay as they were at the
  // failure, so that the stack trace can be read.
  static Result<VMValue, VMError> execute(VM& vm, size_t stop_depth, bool offer_errors);

  // The loop of VM::run (whose frame is the top one); a failure becomes a
  // VMErrorInfo while the frames are still in place.
  static Result<VMValue, VMErrorInfo> execute_rich(VM& vm);
  // The loop of VM::apply, started with the callee's frame on top of
  // `mark.frames` frames. On failure the nested frames are unwound back to
  // the mark, their trace lines kept for the error of the run.
  static Result<VMValue, VMError> execute_until_depth(VM& vm, const MachineMark& mark);
  // Runs a clause guard over `count` locals found at stack index
  // `locals_at`; errors are returned at once, never offered to exn.
  static Result<bool, VMError> eval_guard(VM& vm, uint32_t guard, HeapKey closure, size_t locals_at,
                                          size_t count);

  // The error with the span of the failing instruction and the stack trace.
  static VMErrorInfo make_error(const VM& vm, VMError error);
  // Offers the error to the exn effect: nullopt when a handler took it over
  // (execution goes on there), else the error unchanged.
  static std::optional<VMError> try_raise_error(VM& vm, VMError error);
  // Dispatches a perform of operation `op` (0: none) of the effect: on
  // success execution goes on with the handler's result pushed.
  static Result<Unit, VMError> handle_effect(VM& vm, uint64_t effect, uint32_t op,
                                             std::span<const VMValue> args);

 private:
  // Records the trace lines of the frames above the mark, then cuts the
  // frames, the handler records and the stack back to it.
  static void unwind_nested(VM& vm, const MachineMark& mark);

  // Records the closure as the machine's plain callee when its one clause
  // has plain parameters; false otherwise.
  static bool remember_plain_callee(VM& vm, HeapKey closure);
  // The values above the current frame's locals: what its instructions may
  // pop.
  static size_t temporaries(const VM& vm);
  // The original instruction of the fused word just fetched at `ip` - 1.
  static uint32_t unfused_word(const VM& vm, const uint32_t* ip);

  // Instructions too large for the loop body, kept out of line.
  // Each works on the synced machine; results are pushed.
  static Result<Unit, VMError> load_upvalue(VM& vm, uint8_t index);
  static Result<Unit, VMError> store_upvalue(VM& vm, uint8_t index, const VMValue& value);
  static Result<Unit, VMError> load_global(VM& vm, const VMValue& name);
  static Result<Unit, VMError> define_global(VM& vm, const VMValue& name, const VMValue& value);
  static VMError undefined_slot(const VM& vm, uint16_t slot);
  static Result<Unit, VMError> make_closure(VM& vm, uint16_t proto, uint8_t count);
  static Result<Unit, VMError> make_closure_from_template(VM& vm, const VMValue& constant,
                                                          uint8_t count);
  static Result<Unit, VMError> make_collection(VM& vm, uint8_t opcode, uint16_t count);
  static Result<Unit, VMError> make_variant(VM& vm, uint16_t type, uint8_t variant);
  static Result<Unit, VMError> resume(VM& vm, const VMValue& continuation);
  static Result<uint64_t, VMError> resolve_effect(const VM& vm, uint32_t name);
  // `op` is absent for Perform.
  static Result<Unit, VMError> perform(VM& vm, const VMValue& effect, const VMValue* op,
                                       uint8_t argc);
};

}  // namespace quorvel
