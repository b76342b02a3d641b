// The host handlers the engine installs by default for the built-in
// console and random effects.
#pragma once

#include <cstdint>
#include <span>

#include "support/result.h"
#include "vm/error.h"
#include "vm/native.h"
#include "vm/vmvalue.h"

namespace quorvel::embed {

// print, println, read-line on the process's standard streams.
Result<HostHandlerResult, VMError> console_handler(VM& vm, uint32_t operation,
                                                   std::span<const VMValue> args);
// rand and rand-int from a per-thread source seeded by the operating system.
Result<HostHandlerResult, VMError> random_handler(VM& vm, uint32_t operation,
                                                  std::span<const VMValue> args);

}  // namespace quorvel::embed
