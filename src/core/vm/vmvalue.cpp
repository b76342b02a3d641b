#include "vm/vmvalue.h"

#include <charconv>
#include <cmath>

namespace quorvel {

uint64_t VMKeyTraits::hash(const SipKey& key, const VMValue& v) {
  SipHasher13 hasher(key);
  hasher.write_u64(static_cast<uint64_t>(v.tag()));
  // 0.0 and -0.0 are the same key, so they must hash alike.
  const bool zero_float = v.is_float() && v.as_float() == 0.0;
  hasher.write_u64(zero_float ? 0 : v.payload0());
  hasher.write_u64(v.payload1());
  return hasher.finish();
}

bool VMKeyTraits::equal(const VMValue& a, const VMValue& b) {
  if (a.tag() != b.tag()) return false;
  if (a.is_float()) return a.as_float() == b.as_float();
  return a.payload0() == b.payload0() && a.payload1() == b.payload1();
}

namespace {

std::string float_text(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
  // Fixed notation without precision is the shortest text that reads back
  // as the same value; the longest (subnormals, 1e308) fit in 400 bytes.
  char buf[400];
  const auto result = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
  return std::string(buf, result.ptr);
}

std::string heap_key_text(HeapKey key) {
  return std::to_string(key.index) + "v" + std::to_string(key.generation);
}

}  // namespace

std::string to_diagnostic_string(const VMValue& v) {
  switch (v.tag()) {
    case ValueTag::Nil:
      return "nil";
    case ValueTag::Bool:
      return v.as_bool() ? "true" : "false";
    case ValueTag::Int:
      return std::to_string(v.as_int());
    case ValueTag::Float:
      return float_text(v.as_float());
    case ValueTag::Ratio:
      return std::to_string(v.numerator()) + "/" + std::to_string(v.denominator());
    case ValueTag::Symbol:
      return "sym(#" + std::to_string(v.name_key()) + ")";
    case ValueTag::Keyword:
      return ":#" + std::to_string(v.name_key());
    case ValueTag::HeapRef:
      return "heap(" + heap_key_text(v.as_heap()) + ")";
    case ValueTag::Native:
      return "native(" + std::to_string(v.native_index()) + ")";
  }
  return "?";
}

}  // namespace quorvel
