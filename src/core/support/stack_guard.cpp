#include "support/stack_guard.h"

#include <pthread.h>

#include <cstdint>

namespace quorvel {

namespace {

// Lowest usable address of this thread's stack, found once per thread.
uintptr_t stack_low_end() {
  thread_local uintptr_t low = [] {
    pthread_attr_t attr;
    void* addr = nullptr;
    size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      pthread_attr_getstack(&attr, &addr, &size);
      pthread_attr_destroy(&attr);
    }
    if (addr == nullptr) {
      // Unknown bounds: assume a conservative 1 MiB below the current frame.
      char probe;
      return reinterpret_cast<uintptr_t>(&probe) - (1u << 20);
    }
    return reinterpret_cast<uintptr_t>(addr);
  }();
  return low;
}

}  // namespace

size_t StackGuard::remaining() {
  char probe;
  const auto here = reinterpret_cast<uintptr_t>(&probe);
  const uintptr_t low = stack_low_end();
  return here > low ? here - low : 0;
}

bool StackGuard::has_room() { return remaining() > kReserve; }

}  // namespace quorvel
