// The embedding's own value: self-contained, immutable and independent of any
// machine, so it can outlive the heap it came from and be handed to the host.
// Payloads are shared with non-atomic reference counts: one thread only.
//
// Depth: destruction is iterative; equality and hashing recurse through
// StackGuard and treat data too deep for the stack as unequal / stop
// descending (equal values still hash alike).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "support/hamt.h"
#include "support/pvector.h"
#include "support/result.h"
#include "support/siphash.h"
#include "value.h"
#include "value_tree.h"
#include "vm/error.h"
#include "vm/vmvalue.h"

namespace re2 {
class RE2;
}

namespace quorvel {
class VM;
}

namespace quorvel::embed {

class Value;

struct HostValueTraits {
  static uint64_t hash(const SipKey& key, const Value& v);
  static bool equal(const Value& a, const Value& b);
};

class Value {
 public:
  // The fourteen variants, in their fixed order.
  enum class Kind : uint8_t {
    Nil,
    Bool,
    Int,
    Float,
    Ratio,
    String,
    Keyword,
    Symbol,
    List,
    Vector,
    Map,
    Set,
    Regex,
    Opaque,
  };

  using Ratio = quorvel::Value::Ratio;
  using Items = PVector<Value>;
  using Map = PMap<Value, Value, HostValueTraits>;
  using Set = PSet<Value, HostValueTraits>;
  // A compiled regular expression shared with the machine or the reader.
  struct Regex {
    std::shared_ptr<const re2::RE2> engine;
    std::string pattern;
  };

  Value() = default;  // nil
  ~Value();
  Value(const Value&) = default;
  Value(Value&&) noexcept = default;
  Value& operator=(const Value&) = default;
  Value& operator=(Value&&) noexcept = default;

  static Value nil() { return Value(); }
  static Value boolean(bool b) { return Value(Repr(std::in_place_index<1>, b)); }
  static Value integer(int64_t i) { return Value(Repr(std::in_place_index<2>, i)); }
  static Value floating(double d) { return Value(Repr(std::in_place_index<3>, d)); }
  // Stored as given, never re-normalised.
  static Value ratio(int64_t numerator, int64_t denominator) {
    return Value(Repr(std::in_place_index<4>, Ratio{numerator, denominator}));
  }
  static Value string(std::string text) { return text_value<5>(std::move(text)); }
  static Value keyword(std::string name) { return text_value<6>(std::move(name)); }
  static Value symbol(std::string name) { return text_value<7>(std::move(name)); }
  static Value list(Items items) { return items_value<8>(std::move(items)); }
  static Value vector(Items items) { return items_value<9>(std::move(items)); }
  static Value map(Map entries);
  static Value set(Set members);
  static Value regex(Regex regex);
  // A value without a host form, named for what it was ("closure", ...).
  static Value opaque(std::string name) { return text_value<13>(std::move(name)); }

  Kind kind() const { return static_cast<Kind>(repr_.index()); }
  bool is(Kind k) const { return kind() == k; }

  // Payload accessors; each requires the matching kind. as_text serves
  // String, Keyword, Symbol and Opaque; as_items serves List and Vector.
  bool as_bool() const { return std::get<1>(repr_); }
  int64_t as_int() const { return std::get<2>(repr_); }
  double as_float() const { return std::get<3>(repr_); }
  Ratio as_ratio() const { return std::get<4>(repr_); }
  const std::string& as_text() const;
  const Items& as_items() const;
  const Map& as_map() const { return *std::get<10>(repr_); }
  const Set& as_set() const { return *std::get<11>(repr_); }
  const Regex& as_regex() const { return *std::get<12>(repr_); }

  // The text shown for a result: "nil", 1.0, "a", :k, [1 2], {:a 1, :b 2} ...
  std::string display() const;

  friend bool operator==(const Value& a, const Value& b);

 private:
  using Text = std::shared_ptr<const std::string>;
  using Repr = std::variant<std::monostate, bool, int64_t, double, Ratio, Text, Text, Text,
                            std::shared_ptr<const Items>, std::shared_ptr<const Items>,
                            std::shared_ptr<const Map>, std::shared_ptr<const Set>,
                            std::shared_ptr<const Regex>, Text>;

  explicit Value(Repr repr) : repr_(std::move(repr)) {}

  template <size_t I>
  static Value text_value(std::string text) {
    return Value(
        Repr(std::in_place_index<I>, std::make_shared<const std::string>(std::move(text))));
  }
  template <size_t I>
  static Value items_value(Items items) {
    return Value(Repr(std::in_place_index<I>, std::make_shared<const Items>(std::move(items))));
  }

  // The shared payload of a collection, null for other kinds.
  const void* payload() const;
  // True when this value is the last owner of a payload holding other values.
  bool owns_nested() const;
  // Calls f on each value the payload holds (for drop_nested).
  template <class F>
  void for_each_child(F&& f) const;

  Repr repr_;

  friend void quorvel::drop_nested<>(Value& root);
};

// SipHash-1-3 of `v` under `key`; maps and sets combine their entries by XOR.
uint64_t hash_value(const Value& v, SipKey key = {});

// The machine value as a host value. Strings, collections and regexes are
// copied out of the heap; closures and other machine-only objects become
// Opaque. Data nested too deeply for the stack is the value error
// "stack overflow: data nested too deeply to convert".
Result<Value, VMError> from_vm(const VM& vm, VMValue value);

// The host value as a machine value: strings and collections are allocated
// in the machine's heap (collections interned), names interned, Opaque
// becomes nil. Too deep data fails as for from_vm.
Result<VMValue, VMError> to_vm(const Value& value, VM& vm);

// A reader form as a host value: Meta layers removed, namespaces of symbols
// and keywords dropped. Data too deep for the stack is the reader error
// "Nesting too deep".
Result<Value, quorvel::Error> from_ast(const quorvel::Value& form);

}  // namespace quorvel::embed
