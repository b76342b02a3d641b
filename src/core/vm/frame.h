// One active call of the machine, and the record a running handler function
// keeps of the with-handler region it interrupted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "vm/vmvalue.h"

namespace quorvel {

// Set on the frame of a running handler function.
struct HandlerCall {
  HeapKey continuation;    // the continuation handed to the handler function
  size_t stack_len = 0;    // operand-stack length of the interrupted region
  size_t frame_count = 0;  // frame count of the interrupted region
  uint32_t end_ip = 0;     // where the installing frame continues after the body
};

struct Frame {
  uint32_t proto = 0;                    // prototype index being run
  uint32_t ip = 0;                       // next instruction
  size_t base = 0;                       // operand-stack index of local slot 0
  std::optional<HeapKey> closure;        // absent for top-level code
  std::optional<uint32_t> stop;          // resume frames complete when ip reaches it
  std::optional<size_t> restore_len;     // stack length to cut to when a stopped frame completes
  std::optional<size_t> resume_handler;  // handler-record index of a resume frame
  std::optional<HandlerCall> handler_call;
};

}  // namespace quorvel
