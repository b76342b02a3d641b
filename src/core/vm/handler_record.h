// An installed effect handler (one entry of the machine's handler list).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "vm/vmvalue.h"

namespace quorvel {

struct HandlerRecord {
  uint64_t effect_id = 0;
  std::optional<HeapKey> closure;   // handler function (short form)
  std::optional<HeapKey> dispatch;  // map from operation symbol to function (long form)
  size_t stack_len = 0;             // where the handled region begins on the operand stack
  size_t frame_count = 0;           // and on the frames
  uint32_t end_ip = 0;              // instruction after the matching PopHandler
  bool busy = false;                // a handler function of this record is running
};

}  // namespace quorvel
