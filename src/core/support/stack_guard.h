// Stack guard: recursion over user-controlled depth checks the remaining
// space of the real thread stack and fails cleanly well before its end.
#pragma once

#include <cstddef>

namespace quorvel {

class StackGuard {
 public:
  // Bytes that must remain free below the current frame for recursion to go on.
  static constexpr size_t kReserve = 256 * 1024;

  // True while the calling thread has more than kReserve bytes of stack left.
  static bool has_room();
  // Bytes of stack left below the caller's frame on this thread.
  static size_t remaining();
};

}  // namespace quorvel
