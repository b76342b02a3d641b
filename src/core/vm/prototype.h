// A compiled function: instruction words, constants, source spans and the
// descriptors of the variables it captures.
#pragma once

#include <cstdint>
#include <vector>

#include "vm/vmvalue.h"

namespace quorvel {

// The instruction at `ip` came from the form at this source position.
struct SpanEntry {
  uint32_t ip = 0;
  uint32_t start = 0;
  uint32_t end = 0;
  uint32_t line = 0;
  uint32_t column = 0;
  uint32_t source = 0;  // interner key of the source name
  friend bool operator==(const SpanEntry&, const SpanEntry&) = default;
};

// A captured variable: the enclosing function's local slot `index`
// (from_upvalue false) or its own captured variable `index` (true).
struct UpvalueRef {
  bool from_upvalue = false;
  uint8_t index = 0;
  friend bool operator==(const UpvalueRef&, const UpvalueRef&) = default;
};

struct Prototype {
  std::vector<uint32_t> code;
  std::vector<VMValue> constants;
  std::vector<SpanEntry> spans;  // increasing instruction index
  std::vector<UpvalueRef> upvalues;
  uint32_t name = 0;  // symbol key, 0 when anonymous
  uint8_t arity = 0;
  uint16_t num_locals = 0;  // up to 256 slots
  uint16_t num_upvalues = 0;
  bool variadic = false;

  // Replaces every heap-reference constant found in the map by its new key.
  void remap_heap_keys(const HeapKeyMap& keys);
  // Adds base (mod 2^16) to the prototype index of every MakeClosure.
  void offset_proto_refs(uint32_t base);
};

}  // namespace quorvel
