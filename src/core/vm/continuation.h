// A one-shot continuation: the handled region of the machine captured at a
// perform, resumed at most once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vm/frame.h"
#include "vm/handler_record.h"
#include "vm/vmvalue.h"

namespace quorvel {

struct Continuation {
  std::vector<VMValue> stack;           // operand stack from the region's start to the top
  std::vector<Frame> frames;            // frames above the region, bases relative to `stack`
  std::vector<HandlerRecord> handlers;  // records above the dispatching one, relative regions
  uint32_t resume_proto = 0;            // the installing frame at the perform
  uint32_t resume_ip = 0;
  size_t resume_base = 0;
  uint32_t stop_ip = 0;  // index of the matching PopHandler
  size_t stack_len = 0;  // the dispatching record's region
  size_t frame_count = 0;
  bool used = false;
};

}  // namespace quorvel
