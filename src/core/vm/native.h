// The calling convention of native functions: the machine and the argument
// values in, a value or a VMError out.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "support/result.h"
#include "vm/error.h"
#include "vm/vmvalue.h"

namespace quorvel {

class VM;

using NativeResult = Result<VMValue, VMError>;
using NativeFunction = NativeResult (*)(VM& vm, std::span<const VMValue> args);

// One row of the static native table.
struct NativeEntry {
  std::string_view name;
  std::string_view doc;  // signature, a newline, a one-line description; may be empty
  NativeFunction function;
};

// A host-registered function (its callable is shared so it stays alive while it runs).
using HostFunction = std::function<NativeResult(VM& vm, std::span<const VMValue> args)>;

struct DynamicNative {
  std::string name;
  std::shared_ptr<HostFunction> function;
};

// What a host effect handler asks for; the machine treats both alike: the
// value becomes the result of the perform.
enum class HostAction { Resume, Abort };

struct HostHandlerResult {
  HostAction action = HostAction::Resume;
  VMValue value;
};

// Receives the machine, the operation name key (0 when the perform names no
// operation) and the arguments.
using HostHandler = std::function<Result<HostHandlerResult, VMError>(
    VM& vm, uint32_t operation, std::span<const VMValue> args)>;

}  // namespace quorvel
