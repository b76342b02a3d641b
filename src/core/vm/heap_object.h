// The thirteen kinds of heap object. HeapObject is a variant whose index is
// the kind number (HeapKind).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "support/pvector.h"
#include "vm/clause.h"
#include "vm/continuation.h"
#include "vm/optic_kind.h"
#include "vm/vmvalue.h"

namespace re2 {
class RE2;
}

namespace quorvel {

enum class HeapKind : uint8_t {
  String = 0,
  Seq = 1,
  Set = 2,
  Map = 3,
  Closure = 4,
  ClosureTemplate = 5,
  Continuation = 6,
  Atom = 7,
  Optic = 8,
  KeyBox = 9,
  Regex = 10,
  Effect = 11,
  Variant = 12,
};

// Immutable UTF-8 text.
struct StringObject {
  std::string text;
};

// A list (is_vector false) or a vector.
struct SeqData {
  PVector<VMValue> items;
  bool is_vector = false;
};

struct Closure {
  ClauseList clauses;
  std::vector<VMValue> upvalues;  // captured values, one per descriptor
};

struct ClosureTemplate {
  ClauseList clauses;
};

// The only mutable object: reset!/swap! replace the value in place.
struct AtomObject {
  VMValue value;
};

// A key or predicate an optic refers to by heap reference.
struct KeyBox {
  VMValue value;
};

struct RegexObject {
  std::shared_ptr<const re2::RE2> regex;
  std::string source;
};

struct EffectOp {
  uint32_t name = 0;  // interner key of the operation name
  uint8_t arity = 0;
};

struct EffectObject {
  uint64_t id = 0;
  std::optional<uint32_t> name;  // symbol key, set when first bound to a global
  std::vector<EffectOp> ops;
};

// A value of a defdata variant; tag packs variant index + 256 * type id.
struct VariantObject {
  uint32_t tag = 0;
  std::vector<VMValue> fields;

  static constexpr uint32_t make_tag(uint16_t type_id, uint8_t variant_index) {
    return uint32_t{variant_index} | uint32_t{type_id} << 8;
  }
  uint16_t type_id() const { return static_cast<uint16_t>(tag >> 8); }
  uint8_t variant_index() const { return static_cast<uint8_t>(tag & 0xFF); }
};

// Alternatives in HeapKind order.
using HeapObject =
    std::variant<StringObject, SeqData, VMSet, VMMap, Closure, ClosureTemplate, Continuation,
                 AtomObject, OpticKind, KeyBox, RegexObject, EffectObject, VariantObject>;

inline HeapKind kind_of(const HeapObject& object) {
  return static_cast<HeapKind>(object.index());
}

// The keyword text the `type` native reports for an object: "list" or
// "vector" for sequences, "variant" for variants (the native substitutes the
// registered type name when there is one).
std::string_view type_keyword_name(const HeapObject& object);

}  // namespace quorvel
