// SipHash with configurable rounds; the system uses SipHash-1-3 everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorvel {

// The two 64-bit keys of a SipHash instance.
struct SipKey {
  uint64_t k0 = 0;
  uint64_t k1 = 0;
};

// Incremental SipHash-c-d. Bytes fed through the write calls are hashed as
// one message; integers are fed in little-endian order.
template <int CRounds, int DRounds>
class SipHasher {
 public:
  explicit SipHasher(SipKey key = {})
      : v0_(key.k0 ^ 0x736f6d6570736575ULL),
        v1_(key.k1 ^ 0x646f72616e646f6dULL),
        v2_(key.k0 ^ 0x6c7967656e657261ULL),
        v3_(key.k1 ^ 0x7465646279746573ULL) {}

  void write(const void* data, size_t len);
  void write(std::string_view text) { write(text.data(), text.size()); }
  void write_u8(uint8_t v) { write(&v, 1); }
  void write_u16(uint16_t v);
  void write_u32(uint32_t v);
  void write_u64(uint64_t v);
  uint64_t finish() const;

 private:
  static uint64_t rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }
  static void round(uint64_t& v0, uint64_t& v1, uint64_t& v2, uint64_t& v3);
  void compress(uint64_t m);

  uint64_t v0_, v1_, v2_, v3_;
  uint64_t tail_ = 0;     // pending bytes, little-endian
  size_t tail_len_ = 0;   // number of pending bytes (0..7)
  uint64_t total_len_ = 0;
};

using SipHasher13 = SipHasher<1, 3>;
using SipHasher24 = SipHasher<2, 4>;

// One-shot SipHash-1-3 of a byte string.
uint64_t siphash13(SipKey key, const void* data, size_t len);

}  // namespace quorvel
