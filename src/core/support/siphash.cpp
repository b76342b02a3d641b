#include "support/siphash.h"

#include <cstring>

namespace quorvel {

template <int C, int D>
void SipHasher<C, D>::round(uint64_t& v0, uint64_t& v1, uint64_t& v2, uint64_t& v3) {
  v0 += v1;
  v1 = rotl(v1, 13);
  v1 ^= v0;
  v0 = rotl(v0, 32);
  v2 += v3;
  v3 = rotl(v3, 16);
  v3 ^= v2;
  v0 += v3;
  v3 = rotl(v3, 21);
  v3 ^= v0;
  v2 += v1;
  v1 = rotl(v1, 17);
  v1 ^= v2;
  v2 = rotl(v2, 32);
}

template <int C, int D>
void SipHasher<C, D>::compress(uint64_t m) {
  v3_ ^= m;
  for (int i = 0; i < C; ++i) round(v0_, v1_, v2_, v3_);
  v0_ ^= m;
}

template <int C, int D>
void SipHasher<C, D>::write(const void* data, size_t len) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  total_len_ += len;
  size_t i = 0;
  while (tail_len_ != 0 && i < len) {
    tail_ |= uint64_t(bytes[i++]) << (8 * tail_len_);
    if (++tail_len_ == 8) {
      compress(tail_);
      tail_ = 0;
      tail_len_ = 0;
    }
  }
  for (; i + 8 <= len; i += 8) {
    uint64_t m = 0;
    for (int b = 0; b < 8; ++b) m |= uint64_t(bytes[i + b]) << (8 * b);
    compress(m);
  }
  for (; i < len; ++i) tail_ |= uint64_t(bytes[i]) << (8 * tail_len_++);
}

template <int C, int D>
void SipHasher<C, D>::write_u16(uint16_t v) {
  unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
  write(b, 2);
}

template <int C, int D>
void SipHasher<C, D>::write_u32(uint32_t v) {
  unsigned char b[4];
  for (int i = 0; i < 4; ++i) b[i] = uint8_t(v >> (8 * i));
  write(b, 4);
}

template <int C, int D>
void SipHasher<C, D>::write_u64(uint64_t v) {
  if (tail_len_ == 0) {  // aligned fast path
    total_len_ += 8;
    compress(v);
    return;
  }
  unsigned char b[8];
  for (int i = 0; i < 8; ++i) b[i] = uint8_t(v >> (8 * i));
  write(b, 8);
}

template <int C, int D>
uint64_t SipHasher<C, D>::finish() const {
  uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
  uint64_t b = (uint64_t(total_len_ & 0xff) << 56) | tail_;
  v3 ^= b;
  for (int i = 0; i < C; ++i) round(v0, v1, v2, v3);
  v0 ^= b;
  v2 ^= 0xff;
  for (int i = 0; i < D; ++i) round(v0, v1, v2, v3);
  return v0 ^ v1 ^ v2 ^ v3;
}

template class SipHasher<1, 3>;
template class SipHasher<2, 4>;

uint64_t siphash13(SipKey key, const void* data, size_t len) {
  SipHasher13 h(key);
  h.write(data, len);
  return h.finish();
}

}  // namespace quorvel
