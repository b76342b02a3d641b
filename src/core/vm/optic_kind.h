// The payload of an Optic heap object. Optics refer to keys, predicates and
// other optics only by heap key (keys and predicates boxed in KeyBoxes); the
// literal of KeyCompare is the one inline value.
#pragma once

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "vm/vmvalue.h"

namespace quorvel {

struct OpticKind {
  // The value under a key (a KeyBox holding a keyword, symbol or string).
  struct Key {
    HeapKey key;
  };
  // The element at a position; negative counts from the end.
  struct Index {
    int64_t index = 0;
  };
  // Elements from start up to (excluding) end; absent bounds are 0 and length.
  struct Slice {
    std::optional<int64_t> start;
    std::optional<int64_t> end;
  };
  struct Each {};
  struct Vals {};
  struct Keys {};
  struct Deep {};
  struct Some {};
  // Optic objects applied one after another.
  struct Composed {
    std::vector<HeapKey> parts;
  };
  // A function object, or a KeyBox holding a keyword or native.
  struct Filtered {
    HeapKey predicate;
  };
  // A function object, or a KeyBox holding a native.
  struct When {
    HeapKey predicate;
  };
  // The first non-nil focus of an inner optic object.
  struct First {
    HeapKey inner;
  };
  struct Lens {
    HeapKey getter;
    HeapKey setter;
  };
  // The value itself when its entry named by the key is absent, nil or false.
  struct NotKey {
    HeapKey key;
  };
  enum class Compare : uint8_t {
    Greater = 0,
    Less = 1,
    GreaterEqual = 2,
    LessEqual = 3,
    Equal = 4,
    NotEqual = 5,
  };
  // The value itself when its entry named by the key compares with literal.
  struct KeyCompare {
    HeapKey key;
    Compare op = Compare::Equal;
    VMValue literal;
  };

  // The alternatives are in the order of the optic tag numbers 0..14.
  using Variant = std::variant<Key, Index, Slice, Each, Vals, Keys, Deep, Some, Composed, Filtered,
                               When, First, Lens, NotKey, KeyCompare>;
  Variant kind;
};

}  // namespace quorvel
