// Calling values: every callee kind of Call/TailCall and of VM::apply,
// clause selection of closures with parameter patterns and guards, frame
// set-up, and native calls with collection paused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "support/result.h"
#include "vm/clause.h"
#include "vm/error.h"
#include "vm/native.h"
#include "vm/pattern.h"
#include "vm/prototype.h"
#include "vm/vmvalue.h"

namespace quorvel {

class VM;

class Calls {
 public:
  // Call or TailCall: the callee on top of `argc` arguments. The callee and
  // the arguments are consumed, also on failure. A closure gets its frame;
  // any other callee's result is pushed. True when the current frame must
  // now return that result (a native called by a tail call).
  static Result<bool, VMError> do_call(VM& vm, size_t argc, bool tail);
  // CallNative, and a Native callee: pops `argc` arguments, calls the native
  // and pushes its result; true as for do_call.
  static Result<bool, VMError> do_call_native(VM& vm, uint16_t index, size_t argc, bool tail);
  // Chooses the clause of the closure for the `argc` arguments under the
  // callee on top of the stack, puts its locals in their place and pushes
  // its frame (a tail call reuses the current frame instead).
  static Result<Unit, VMError> call_closure_inplace(VM& vm, HeapKey closure, size_t argc,
                                                    bool tail);
  // The same for given arguments (which must not lie on the operand stack).
  static Result<Unit, VMError> call_closure_with_args(VM& vm, HeapKey closure,
                                                      std::span<const VMValue> args);
  // VM::apply: calls a value from native code and waits for its result.
  static NativeResult apply(VM& vm, VMValue callee, std::span<const VMValue> args);

  // Pushes a frame whose locals start at stack index `base` (or, for a tail
  // call, moves them down into the current frame and reuses it). Beyond
  // VM::kMaxFrames frames this is the stack-overflow value error.
  static Result<Unit, VMError> push_frame(VM& vm, uint32_t proto, size_t base,
                                          std::optional<HeapKey> closure, bool tail);

  // Matches each argument (at stack index `args_at`) against the clause's
  // pattern, writing bindings to the locals at `locals_at`; false when a
  // pattern rejects the arguments.
  static Result<bool, VMError> bind_pattern_args_for_clause(VM& vm, const ClauseInfo& clause,
                                                            const Prototype& proto, size_t args_at,
                                                            size_t argc, size_t locals_at);
  // Matches one value; constants and the locals count are the prototype's.
  static Result<bool, VMError> match_pattern_with_idx(VM& vm, VMValue value,
                                                      const CompiledPattern& pattern,
                                                      const Prototype& proto, size_t locals_at);

 private:
  // Keywords, maps, sets, vectors and continuations called as functions.
  static NativeResult call_value(VM& vm, VMValue callee, std::span<const VMValue> args);
  // Tries one clause whose arity fits: binds its patterns (or copies plain
  // parameters) into fresh locals above the callee and runs its guard; when
  // chosen, the locals replace the arguments.
  static Result<bool, VMError> select_clause(VM& vm, HeapKey closure, const ClauseInfo& clause,
                                             size_t args_at, size_t argc);
  // Writes the clause's plain parameters into the `num_locals` slots at
  // `dest` (nil beyond them); `dest` may be `args_at` itself.
  static void write_plain_locals(VM& vm, const ClauseInfo& clause, size_t args_at, size_t argc,
                                 size_t dest, size_t num_locals);
  // A new list of `count` values from stack index `from`.
  static VMValue rest_list(VM& vm, size_t from, size_t count);
  // Drops the handler records installed by the current frame.
  static void discard_frame_handlers(VM& vm);
};

// The value of (k target fallback) for a keyword k: the map entry or the
// variant field named k, else the fallback.
VMValue keyword_lookup(const VM& vm, VMValue keyword, VMValue target, VMValue fallback);

}  // namespace quorvel
