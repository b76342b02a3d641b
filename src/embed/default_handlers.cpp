#include "embed/default_handlers.h"

#include <cstdio>
#include <iostream>
#include <random>
#include <string>
#include <string_view>

#include "vm/printer.h"
#include "vm/vm.h"

namespace quorvel::embed {

namespace {

HostHandlerResult resume(VMValue value) {
  return {HostAction::Resume, value};
}

VMError missing_operation(std::string_view effect) {
  return VMError::value_error(std::string(effect) + " effect performed without an operation name");
}

std::mt19937_64& random_source() {
  thread_local std::mt19937_64 source = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }();
  return source;
}

}  // namespace

Result<HostHandlerResult, VMError> console_handler(VM& vm, uint32_t operation,
                                                   std::span<const VMValue> args) {
  if (operation == 0) return make_err(missing_operation("console"));
  const std::string_view name = vm.interner().text(operation);
  if (name == "print" || name == "println") {
    std::string text;
    if (!args.empty()) {
      auto readable = print_value(vm, args[0], true);
      if (!readable) return make_err(std::move(readable).error());
      text = std::move(readable).value();
      // A string shows without its quotes; the escapes inside stay.
      if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
      }
    }
    if (name == "println") text += '\n';
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return resume(VMValue::nil());
  }
  if (name == "read-line") {
    std::string line;
    if (!std::getline(std::cin, line)) line.clear();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return resume(vm.alloc_string(std::move(line)));
  }
  return resume(VMValue::nil());
}

Result<HostHandlerResult, VMError> random_handler(VM& vm, uint32_t operation,
                                                  std::span<const VMValue> args) {
  if (operation == 0) return make_err(missing_operation("random"));
  const std::string_view name = vm.interner().text(operation);
  if (name == "rand") {
    // The top 53 bits as a fraction: uniform over [0, 1), never 1.
    return resume(VMValue::floating(static_cast<double>(random_source()() >> 11) * 0x1.0p-53));
  }
  if (name == "rand-int") {
    if (args.empty() || !args[0].is_int()) {
      return make_err(VMError::type_error("rand-int expects an integer argument"));
    }
    const int64_t n = args[0].as_int();
    if (n <= 0) return make_err(VMError::value_error("rand-int expects a positive integer"));
    return resume(
        VMValue::integer(std::uniform_int_distribution<int64_t>(0, n - 1)(random_source())));
  }
  return resume(VMValue::nil());
}

}  // namespace quorvel::embed
