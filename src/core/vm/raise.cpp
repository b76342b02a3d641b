// The error path of the loops: stack traces with source spans, unwinding
// of nested loops, and the offer of an error to the exn effect.
#include <algorithm>
#include <string>

#include "vm/interpreter.h"
#include "vm/vm.h"

namespace quorvel {

namespace {

// The span of the instruction a frame is executing: the last span entry at
// or before ip - 1, found by bisection.
std::optional<Span> instruction_span(const Prototype& proto, uint32_t ip) {
  const uint32_t at = ip == 0 ? 0 : ip - 1;
  const auto after = std::upper_bound(proto.spans.begin(), proto.spans.end(), at,
                                      [](uint32_t pos, const SpanEntry& e) { return pos < e.ip; });
  if (after == proto.spans.begin()) return std::nullopt;
  const SpanEntry& e = *std::prev(after);
  return Span{e.start, e.end, e.line, e.column, e.source};
}

VMStackFrame trace_line(const VM& vm, const Frame& frame) {
  const Prototype& proto = vm.prototypes()[frame.proto];
  VMStackFrame line{instruction_span(proto, frame.ip), std::nullopt};
  if (proto.name != 0) line.function = std::string(vm.interner().text(proto.name));
  return line;
}

}  // namespace

VMErrorInfo Interpreter::make_error(const VM& vm, VMError error) {
  VMErrorInfo info{std::move(error), std::nullopt, vm.pending_trace_};
  for (size_t i = vm.frames_.size(); i > 0; --i)
    info.stack.push_back(trace_line(vm, vm.frames_[i - 1]));
  if (!info.stack.empty()) info.span = info.stack.front().span;
  return info;
}

void Interpreter::unwind_nested(VM& vm, const MachineMark& mark) {
  for (size_t i = vm.frames_.size(); i > mark.frames; --i) {
    vm.pending_trace_.push_back(trace_line(vm, vm.frames_[i - 1]));
  }
  vm.frames_.truncate(std::min(vm.frames_.size(), mark.frames));
  vm.handlers_.resize(std::min(vm.handlers_.size(), mark.handlers));
  vm.stack_.truncate(std::min(vm.stack_.size(), mark.stack_len));
}

std::optional<VMError> Interpreter::try_raise_error(VM& vm, VMError error) {
  if (!error.offered_to_exn()) return error;
  // Without a handler the offer fails and is dropped: skip building it.
  if (!vm.host_handlers_.contains(kExnEffectId)) return error;
  const VMValue message = vm.alloc_string(error.display());
  VMMap entries;
  entries = std::move(entries).insert(VMValue::keyword(vm.interner_.intern("type")),
                                      VMValue::keyword(vm.interner_.intern(error.kind_keyword())));
  entries = std::move(entries).insert(VMValue::keyword(vm.interner_.intern("message")), message);
  const VMValue map = VMValue::heap(vm.alloc(std::move(entries)));
  auto taken = handle_effect(vm, kExnEffectId, vm.interner_.intern("raise"), {&map, 1});
  if (!taken) return error;
  vm.pending_trace_.clear();
  return std::nullopt;
}

}  // namespace quorvel
