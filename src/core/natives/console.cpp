#include "natives/console.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "natives/args.h"
#include "vm/printer.h"

namespace quorvel {

namespace {

// Prints every argument, joined by single spaces and followed by `end`.
// The whole text is built first, so a value that cannot be printed writes
// nothing; it is flushed at once so that it keeps its place among the
// host's own output.
NativeResult write_joined(const VM& vm, Args args, bool readable, std::string_view end) {
  std::string text;
  for (size_t i = 0; i < args.size(); ++i) {
    auto printed = print_value(vm, args[i], readable);
    if (!printed) return make_err(std::move(printed).error());
    if (i > 0) text += ' ';
    text += *printed;
  }
  text += end;
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return VMValue();
}

}  // namespace

NativeResult native_print(VM& vm, Args args) {
  return write_joined(vm, args, false, "");
}

NativeResult native_println(VM& vm, Args args) {
  return write_joined(vm, args, false, "\n");
}

NativeResult native_prn(VM& vm, Args args) {
  return write_joined(vm, args, true, "\n");
}

}  // namespace quorvel
