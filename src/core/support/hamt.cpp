#include "support/hamt.h"

#include <chrono>
#include <random>
#include <thread>

namespace quorvel {
namespace {

SipKey seed_from_os() {
  try {
    std::random_device device;
    auto word = [&device] { return (uint64_t{device()} << 32) | device(); };
    const uint64_t k0 = word();
    return {k0, word()};
  } catch (...) {
    // No entropy source: fall back to the clock and the thread identity.
    const uint64_t now =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const uint64_t thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
    return {now ^ (thread * 0x9e3779b97f4a7c15ULL), thread ^ (now * 0xc2b2ae3d27d4eb4fULL)};
  }
}

}  // namespace

SipKey next_collection_key() {
  thread_local SipKey next = seed_from_os();
  const SipKey key = next;
  ++next.k0;
  return key;
}

}  // namespace quorvel
