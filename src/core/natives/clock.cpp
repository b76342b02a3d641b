#include "natives/clock.h"

#include <cstdint>
#include <ctime>

namespace quorvel {

NativeResult native_nano_time(VM&, std::span<const VMValue>) {
  std::timespec now{};
  if (std::timespec_get(&now, TIME_UTC) != TIME_UTC || now.tv_sec < 0) return VMValue::integer(0);
  // Seconds * 10^9 + nanoseconds, wrapping in 64 bits.
  const uint64_t nanos =
      static_cast<uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(now.tv_nsec);
  return VMValue::integer(static_cast<int64_t>(nanos));
}

}  // namespace quorvel
