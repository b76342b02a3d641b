// The runtime value of the machine: a small tagged value that is copied
// freely. Compound values live in the heap and are named by HeapKey.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <type_traits>
#include <unordered_map>

#include "support/arena.h"
#include "support/hamt.h"
#include "support/references.h"
#include "support/siphash.h"

namespace quorvel {

// Handle of a heap object: slot index plus generation. A key dies with its
// object and never finds a later object stored in the same slot.
struct HeapKey {
  uint32_t index = 0;
  uint32_t generation = 0;

  static constexpr HeapKey from_arena(ArenaKey key) { return {key.index, key.generation}; }
  constexpr ArenaKey to_arena() const { return {index, generation}; }
  friend bool operator==(HeapKey, HeapKey) = default;
};

struct HeapKeyHash {
  size_t operator()(HeapKey key) const {
    return std::hash<uint64_t>{}(uint64_t{key.index} | uint64_t{key.generation} << 32);
  }
};

// Old key to new key, produced when objects move from one heap to another.
using HeapKeyMap = std::unordered_map<HeapKey, HeapKey, HeapKeyHash>;

// The tag numbers are fixed: they are also the first byte of every hash.
enum class ValueTag : uint8_t {
  Nil = 0,
  Bool = 1,
  Int = 2,
  Float = 3,
  Ratio = 4,
  Symbol = 5,
  Keyword = 6,
  HeapRef = 7,
  Native = 8,
};

// 24 bytes, trivially copyable. Payload words an alternative does not use
// are zero, so two values of the same tag compare word by word.
class VMValue {
 public:
  constexpr VMValue() = default;

  static constexpr VMValue nil() { return {}; }
  static constexpr VMValue boolean(bool b) { return {ValueTag::Bool, b ? 1u : 0u, 0}; }
  static constexpr VMValue integer(int64_t i) {
    return {ValueTag::Int, static_cast<uint64_t>(i), 0};
  }
  static constexpr VMValue floating(double d) {
    return {ValueTag::Float, std::bit_cast<uint64_t>(d), 0};
  }
  // Stores the parts as given; callers keep ratios reduced with a positive
  // denominator.
  static constexpr VMValue ratio(int64_t numerator, int64_t denominator) {
    return {ValueTag::Ratio, static_cast<uint64_t>(numerator), static_cast<uint64_t>(denominator)};
  }
  static constexpr VMValue symbol(uint32_t key) { return {ValueTag::Symbol, key, 0}; }
  static constexpr VMValue keyword(uint32_t key) { return {ValueTag::Keyword, key, 0}; }
  static constexpr VMValue heap(HeapKey key) {
    return {ValueTag::HeapRef, uint64_t{key.index} | uint64_t{key.generation} << 32, 0};
  }
  static constexpr VMValue native(uint16_t index) { return {ValueTag::Native, index, 0}; }

  constexpr ValueTag tag() const { return tag_; }
  constexpr bool is_nil() const { return tag_ == ValueTag::Nil; }
  constexpr bool is_bool() const { return tag_ == ValueTag::Bool; }
  constexpr bool is_int() const { return tag_ == ValueTag::Int; }
  constexpr bool is_float() const { return tag_ == ValueTag::Float; }
  constexpr bool is_ratio() const { return tag_ == ValueTag::Ratio; }
  constexpr bool is_symbol() const { return tag_ == ValueTag::Symbol; }
  constexpr bool is_keyword() const { return tag_ == ValueTag::Keyword; }
  constexpr bool is_heap() const { return tag_ == ValueTag::HeapRef; }
  constexpr bool is_native() const { return tag_ == ValueTag::Native; }

  // Accessors read the payload of the alternative the tag names; their
  // result is meaningless for another tag.
  constexpr bool as_bool() const { return a_ != 0; }
  constexpr int64_t as_int() const { return static_cast<int64_t>(a_); }
  constexpr double as_float() const { return std::bit_cast<double>(a_); }
  constexpr int64_t numerator() const { return static_cast<int64_t>(a_); }
  constexpr int64_t denominator() const { return static_cast<int64_t>(b_); }
  // Interner key of a Symbol or Keyword.
  constexpr uint32_t name_key() const { return static_cast<uint32_t>(a_); }
  constexpr HeapKey as_heap() const {
    return {static_cast<uint32_t>(a_), static_cast<uint32_t>(a_ >> 32)};
  }
  constexpr uint16_t native_index() const { return static_cast<uint16_t>(a_); }

  // Nil and false are false; everything else is true.
  constexpr bool is_truthy() const {
    return !(tag_ == ValueTag::Nil || (tag_ == ValueTag::Bool && a_ == 0));
  }

  // Identical representation (tag and payload bits): the same key, the same
  // float bits. Not an equality of the language.
  friend constexpr bool operator==(const VMValue&, const VMValue&) = default;

  // The raw payload words (used by the collection-key traits).
  constexpr uint64_t payload0() const { return a_; }
  constexpr uint64_t payload1() const { return b_; }

 private:
  constexpr VMValue(ValueTag tag, uint64_t a, uint64_t b) : tag_(tag), a_(a), b_(b) {}

  ValueTag tag_ = ValueTag::Nil;
  uint64_t a_ = 0;
  uint64_t b_ = 0;
};

static_assert(sizeof(VMValue) == 24);
static_assert(std::is_trivially_copyable_v<VMValue>);

// Only heap references keep collected objects alive.
template <>
struct ReferenceTraits<VMValue> {
  static constexpr bool refers(const VMValue& v) { return v.is_heap(); }
};

// Key equality and hash inside persistent maps and sets: same tag and same
// payload bits, except that floats compare by IEEE equality (NaN never
// matches, 0.0 matches -0.0); heap references compare by key identity.
struct VMKeyTraits {
  static uint64_t hash(const SipKey& key, const VMValue& v);
  static bool equal(const VMValue& a, const VMValue& b);
};

using VMMap = PMap<VMValue, VMValue, VMKeyTraits>;
using VMSet = PSet<VMValue, VMKeyTraits>;

// The value with its heap key replaced when the map has it.
inline VMValue remap_heap_ref(VMValue v, const HeapKeyMap& keys) {
  if (!v.is_heap()) return v;
  const auto it = keys.find(v.as_heap());
  return it == keys.end() ? v : VMValue::heap(it->second);
}

// Debugging form: nil, true/false, decimal integers, floats in plain
// shortest round-trip notation (1.0 as 1), n/d, sym(#key), :#key,
// heap(slotvgeneration), native(index).
std::string to_diagnostic_string(const VMValue& v);

}  // namespace quorvel
