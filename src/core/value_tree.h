// Algorithms shared by the value types whose payloads are immutable, shared
// trees of values: the data Value and the embedding's host value. Both name
// their common variants alike (Kind::Nil, Bool, Int, Float, Ratio) with the
// same accessors, and hold maps and sets as PMap and PSet.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "support/siphash.h"

namespace quorvel {

// ---------------------------------------------------------------------------
// Destruction without recursion

// Releases the payload of `root` without recursing into nested values. A
// value that is the last owner of a payload holding values would otherwise
// free its children, and theirs, on the stack. V supplies
//   bool owns_nested() const;  // last owner of a payload holding values
//   void for_each_child(F&& f) const;  // f on each value the payload holds
template <class V>
void drop_nested(V& root) {
  std::vector<V> pending;
  // A kept copy makes the child shared, so releasing the payload does not
  // descend into it; the loop takes the copy apart later.
  auto detach = [&pending](V& value) {
    if (!value.owns_nested()) return;
    value.for_each_child([&pending](const V& child) {
      if (child.owns_nested()) pending.push_back(child);
    });
    value = V();
  };
  detach(root);
  while (!pending.empty()) {
    V next = std::move(pending.back());
    pending.pop_back();
    detach(next);
  }
}

// Calls f on each key and each value of a map.
template <class Map, class F>
void for_each_key_and_value(const Map& map, F&& f) {
  for (const auto& [key, value] : map) {
    f(key);
    f(value);
  }
}

// ---------------------------------------------------------------------------
// Conversion

// `v` as a value of type To when it is nil, a boolean or a number; nullopt
// for every other kind. To supplies nil(), boolean(b), integer(i),
// floating(d) and ratio(numerator, denominator).
template <class To, class From>
std::optional<To> scalar_as(const From& v) {
  using Kind = typename From::Kind;
  switch (v.kind()) {
    case Kind::Nil:
      return To::nil();
    case Kind::Bool:
      return To::boolean(v.as_bool());
    case Kind::Int:
      return To::integer(v.as_int());
    case Kind::Float:
      return To::floating(v.as_float());
    case Kind::Ratio:
      return To::ratio(v.as_ratio().numerator, v.as_ratio().denominator);
    default:
      return std::nullopt;
  }
}

// ---------------------------------------------------------------------------
// Structural equality

// Equality of two values of one kind when that kind is nil, a boolean or a
// number (floats by bit pattern); nullopt for every other kind.
template <class V>
std::optional<bool> scalars_equal(const V& a, const V& b) {
  using Kind = typename V::Kind;
  switch (a.kind()) {
    case Kind::Nil:
      return true;
    case Kind::Bool:
      return a.as_bool() == b.as_bool();
    case Kind::Int:
      return a.as_int() == b.as_int();
    case Kind::Float:
      return std::bit_cast<uint64_t>(a.as_float()) == std::bit_cast<uint64_t>(b.as_float());
    case Kind::Ratio:
      return a.as_ratio().numerator == b.as_ratio().numerator &&
             a.as_ratio().denominator == b.as_ratio().denominator;
    default:
      return std::nullopt;
  }
}

// Element by element, in order.
template <class Seq>
bool sequences_equal(const Seq& a, const Seq& b) {
  if (a.size() != b.size()) return false;
  auto bi = b.begin();
  for (const auto& x : a) {
    if (!(x == *bi)) return false;
    ++bi;
  }
  return true;
}

// The same keys, each with an equal value.
template <class Map>
bool maps_equal(const Map& a, const Map& b) {
  if (a.size() != b.size()) return false;
  for (const auto& [key, value] : a) {
    const auto* other = b.find(key);
    if (other == nullptr || !(value == *other)) return false;
  }
  return true;
}

// The same members.
template <class Set>
bool sets_equal(const Set& a, const Set& b) {
  if (a.size() != b.size()) return false;
  for (const auto& member : a) {
    if (!b.contains(member)) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Hashing

// The text and a terminator, so that adjacent texts cannot run together.
inline void hash_text(SipHasher13& hasher, std::string_view text) {
  hasher.write(text);
  hasher.write_u8(0xFF);
}

// Feeds `v` into `hasher` when it is nil, a boolean or a number (floats by
// bit pattern) and returns true; false, feeding nothing, for other kinds.
template <class V>
bool hash_scalar(SipHasher13& hasher, const V& v) {
  using Kind = typename V::Kind;
  switch (v.kind()) {
    case Kind::Nil:
      return true;
    case Kind::Bool:
      hasher.write_u8(v.as_bool() ? 1 : 0);
      return true;
    case Kind::Int:
      hasher.write_u64(static_cast<uint64_t>(v.as_int()));
      return true;
    case Kind::Float:
      hasher.write_u64(std::bit_cast<uint64_t>(v.as_float()));
      return true;
    case Kind::Ratio:
      hasher.write_u64(static_cast<uint64_t>(v.as_ratio().numerator));
      hasher.write_u64(static_cast<uint64_t>(v.as_ratio().denominator));
      return true;
    default:
      return false;
  }
}

}  // namespace quorvel
