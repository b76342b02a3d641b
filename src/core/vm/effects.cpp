// Dispatch of performed effects. Language handlers (with-handler) are not
// installed yet, so a perform reaches the host handler registered for its
// effect, or fails as unhandled.
#include "vm/interpreter.h"
#include "vm/vm.h"

namespace quorvel {

Result<Unit, VMError> Interpreter::handle_effect(VM& vm, uint64_t effect, uint32_t op,
                                                 std::span<const VMValue> args) {
  const auto found = vm.host_handlers_.find(effect);
  if (found == vm.host_handlers_.end()) {
    return make_err(VMError::unhandled_effect(vm.effect_name_by_id(effect), effect));
  }
  // The handler may replace itself while it runs; the arguments are off the
  // operand stack, so nothing may be collected meanwhile.
  const std::shared_ptr<const HostHandler> handler = found->second;
  auto result = [&] {
    GcDisabledScope pause(vm.heap_);
    return (*handler)(vm, op, args);
  }();
  if (!result) return make_err(std::move(result).error());
  vm.stack_.push(result->value);
  return Unit{};
}

}  // namespace quorvel
