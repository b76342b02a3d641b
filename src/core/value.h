// Data values: the form of source code and literal data. The reader produces
// them, the compiler consumes them. Every payload is shared and immutable
// (atoms excepted), so copying a Value only bumps a reference count.
//
// Depth: equality, hashing and destruction never overflow the stack on deeply
// nested values. Destruction is iterative. Equality recurses through
// StackGuard and reports values too deep to compare as unequal (values that
// share one payload are equal at once). Hashing descends at most kHashDepth
// levels of nesting (Meta layers not counted); deeper parts do not contribute,
// which keeps equal values hashing alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "support/hamt.h"
#include "support/pvector.h"
#include "support/result.h"
#include "support/siphash.h"
#include "value_tree.h"

namespace re2 {
class RE2;
}

namespace quorvel {

class Value;
struct Error;
struct ValueTraits;

using SharedText = std::shared_ptr<const std::string>;

// Position of a form in its source text.
struct Span {
  uint32_t start = 0;   // byte offset of the first character
  uint32_t end = 0;     // byte offset just past the last character
  uint32_t line = 0;    // line of the first character, from 0
  uint32_t column = 0;  // column of the first character in code points, from 0
  uint32_t source = 0;  // interner key of the source name; 0 when unnamed
  friend bool operator==(const Span&, const Span&) = default;
};

// Name and optional namespace of a symbol or keyword (the keyword's colon is
// not part of the name).
class Symbol {
 public:
  explicit Symbol(std::string name, std::optional<std::string> ns = std::nullopt);

  const std::string& name() const { return *name_; }
  // The namespace, or null when absent.
  const std::string* ns() const { return ns_.get(); }
  // "ns/name", or the name alone.
  std::string text() const;

  friend bool operator==(const Symbol& a, const Symbol& b);

 private:
  SharedText name_;
  SharedText ns_;
};

// Makes a Symbol from a token: a "/" that is neither the first nor the last
// character splits namespace (before the first "/") from name (everything
// after it); otherwise the whole token is the name. "a/b/c" is a and b/c.
Symbol split_namespace(std::string_view token);

// An immutable sequence of values. `rest` shares the storage, so walking a
// list with it costs O(1) per step.
class List {
 public:
  class Iterator;

  List() = default;
  explicit List(PVector<Value> items);

  size_t size() const;
  bool empty() const { return size() == 0; }
  // Element i; requires i < size().
  const Value& operator[](size_t i) const;
  // All elements after the first; empty for an empty list.
  List rest() const;
  // The elements from the second on (the argument forms of a call).
  std::vector<Value> args_vec() const;

  // Iteration in order (the list's `iter`).
  Iterator begin() const;
  Iterator end() const;

 private:
  List(std::shared_ptr<const PVector<Value>> items, size_t offset);

  std::shared_ptr<const PVector<Value>> items_;  // null when empty
  size_t offset_ = 0;                            // elements of items_ skipped by rest()

  friend class Value;
};

// Placeholder for the payload of an optic value: optics are built by the
// machine, never in data forms, and compared by identity.
struct OpticDescription {};

// One operation of an effect value.
struct OpSignature {
  std::vector<std::string> params;
  std::string doc;
};

class Value {
 public:
  // The eighteen variants, in the order of the type-name table.
  enum class Kind : uint8_t {
    Nil,
    Bool,
    Int,
    Ratio,
    Float,
    String,
    Symbol,
    Keyword,
    List,
    Vector,
    Map,
    Set,
    NativeFn,
    Meta,
    Optic,
    Regex,
    Effect,
    Atom,
  };

  struct Ratio {
    int64_t numerator = 0;
    int64_t denominator = 1;
  };
  using Vector = PVector<Value>;
  using Map = PMap<Value, Value, ValueTraits>;
  using Set = PSet<Value, ValueTraits>;
  // What a host function held in a NativeFn returns on success.
  using NativeResult = Value;
  using HostFunction = std::function<Result<NativeResult, Error>(std::span<const Value>)>;
  struct NativeFn {
    std::string_view name;  // static text
    std::shared_ptr<const HostFunction> function;
  };
  struct Meta;  // a form with its Span, defined below
  using Optic = std::shared_ptr<const OpticDescription>;
  // A compiled regular expression; it keeps its source pattern text.
  class Regex {
   public:
    // Compiles `pattern` (never logs); on failure, the engine's description.
    static Result<Regex, std::string> compile(const std::string& pattern);
    const re2::RE2& engine() const { return *re_; }
    const std::shared_ptr<const re2::RE2>& shared_engine() const { return re_; }
    const std::string& pattern() const;

   private:
    explicit Regex(std::shared_ptr<const re2::RE2> re) : re_(std::move(re)) {}
    std::shared_ptr<const re2::RE2> re_;
  };
  struct Effect {
    std::optional<std::string> name;
    std::map<std::string, OpSignature> operations;
    uint64_t id = 0;
  };
  struct AtomCell;  // a mutable cell, defined below
  using Atom = std::shared_ptr<AtomCell>;

  Value() = default;  // nil
  ~Value();
  Value(const Value&) = default;
  Value(Value&&) noexcept = default;
  Value& operator=(const Value&) = default;
  Value& operator=(Value&&) noexcept = default;

  static Value nil() { return Value(); }
  static Value boolean(bool b) { return Value(Repr(std::in_place_index<1>, b)); }
  static Value integer(int64_t i) { return Value(Repr(std::in_place_index<2>, i)); }
  // Stored as given: the reader reduces before calling this.
  static Value ratio(int64_t numerator, int64_t denominator);
  static Value floating(double d) { return Value(Repr(std::in_place_index<4>, d)); }
  static Value string(std::string text);
  // A symbol named `name` verbatim, without namespace (no splitting at "/").
  static Value symbol(std::string_view name);
  static Value symbol(Symbol sym);
  static Value keyword(Symbol sym);
  static Value list(List list);
  // A list holding `items` in order.
  static Value list_from_iter(std::vector<Value> items);
  static Value vector(Vector items);
  static Value map(Map entries);
  static Value set(Set members);
  static Value native_fn(NativeFn fn);
  static Value meta(Value inner, Span span);
  static Value optic(Optic optic);
  static Value regex(Regex regex);
  static Value effect(Effect effect);
  static Value atom(Atom atom);

  Kind kind() const { return static_cast<Kind>(repr_.index()); }
  bool is(Kind k) const { return kind() == k; }

  // Payload accessors; each requires the matching kind (as_symbol accepts
  // Symbol and Keyword).
  bool as_bool() const { return std::get<1>(repr_); }
  int64_t as_int() const { return std::get<2>(repr_); }
  Ratio as_ratio() const { return std::get<3>(repr_); }
  double as_float() const { return std::get<4>(repr_); }
  const std::string& as_string() const { return *std::get<5>(repr_); }
  const Symbol& as_symbol() const;
  const List& as_list() const { return std::get<8>(repr_); }
  const Vector& as_vector() const { return *std::get<9>(repr_); }
  const Map& as_map() const { return *std::get<10>(repr_); }
  const Set& as_set() const { return *std::get<11>(repr_); }
  const NativeFn& as_native_fn() const { return std::get<12>(repr_); }
  const Meta& as_meta() const { return *std::get<13>(repr_); }
  const Optic& as_optic() const { return std::get<14>(repr_); }
  const Regex& as_regex() const { return std::get<15>(repr_); }
  const Effect& as_effect() const { return *std::get<16>(repr_); }
  const Atom& as_atom() const { return std::get<17>(repr_); }

 private:
  // Alternatives in Kind order; Symbol appears twice (Symbol, Keyword), so
  // alternatives are always addressed by index.
  using Repr = std::variant<std::monostate, bool, int64_t, Ratio, double, SharedText, Symbol,
                            Symbol, List, std::shared_ptr<const Vector>, std::shared_ptr<const Map>,
                            std::shared_ptr<const Set>, NativeFn, std::shared_ptr<const Meta>,
                            Optic, Regex, std::shared_ptr<const Effect>, Atom>;

  explicit Value(Repr repr) : repr_(std::move(repr)) {}

  // True when this value is the last owner of a payload holding other values.
  bool owns_nested() const;
  // Calls f on each value the payload holds (for drop_nested).
  template <class F>
  void for_each_child(F&& f) const;

  // Identity of the shared payload, or null for inline payloads.
  const void* payload_address() const;

  Repr repr_;

  friend bool operator==(const Value& a, const Value& b);
  friend void drop_nested<>(Value& root);
};

struct Value::Meta {
  Value inner;
  Span span;
};

struct Value::AtomCell {
  Value value;
};

class List::Iterator {
 public:
  using value_type = Value;
  using difference_type = std::ptrdiff_t;
  using reference = const Value&;
  using pointer = const Value*;
  using iterator_category = std::forward_iterator_tag;

  Iterator() = default;
  reference operator*() const { return items_->nth(index_); }
  pointer operator->() const { return &**this; }
  Iterator& operator++() {
    ++index_;
    return *this;
  }
  Iterator operator++(int) {
    Iterator old = *this;
    ++index_;
    return old;
  }
  friend bool operator==(const Iterator& a, const Iterator& b) { return a.index_ == b.index_; }

 private:
  Iterator(const PVector<Value>* items, size_t index) : items_(items), index_(index) {}
  const PVector<Value>* items_ = nullptr;
  size_t index_ = 0;
  friend class List;
};

// Nesting levels below which hashing stops descending.
constexpr size_t kHashDepth = 128;

// Structural equality: Meta layers ignored, no numeric coercion, floats by
// bit pattern, regexes by pattern, effects by id, optics and atoms by identity.
bool operator==(const Value& a, const Value& b);

// Feeds `v` into `hasher`, Meta layers skipped; `depth` counts the nesting
// levels above `v`.
void hash_value(SipHasher13& hasher, const Value& v, size_t depth = 0);
// SipHash-1-3 of `v` under `key`.
uint64_t hash_value(const Value& v, SipKey key = {});

// Lets PMap and PSet key on Value.
struct ValueTraits {
  static uint64_t hash(const SipKey& key, const Value& v) { return hash_value(v, key); }
  static bool equal(const Value& a, const Value& b) { return a == b; }
};

// The type-name table: "nil", "bool", ... "atom".
std::string_view type_name(Value::Kind kind);
// The type name of the outermost variant (a Meta is "meta").
std::string_view type_name(const Value& v);

// `v` without the Meta layers at its top (nested elements keep theirs).
const Value& strip_meta(const Value& v);
Value strip_meta(Value&& v);

// ---------------------------------------------------------------------------
// The core error record.

enum class ErrorKind : uint8_t {
  Reader,
  Eval,
  RuntimeMessage,
  Arity,
  Type,
  Index,
  RecurSignal,
  OneShotViolation,
};

// One stack-trace entry; nothing in the core fills them.
struct CallFrame {
  std::string function;
  std::optional<Span> span;
};

// Another place in the source that explains an error.
struct RelatedSpan {
  Span span;
  std::string message;
};

struct Error {
  struct Reader {
    std::string message;
  };
  struct Eval {
    std::string message;
  };
  struct RuntimeMessage {
    std::string message;
  };
  struct Arity {
    std::string expected;  // the accepted counts, as text
    uint64_t got = 0;
  };
  struct Type {
    std::string expected;
    std::string got;
  };
  struct Index {
    int64_t index = 0;
    uint64_t length = 0;
  };
  struct RecurSignal {
    std::vector<Value> values;
  };
  struct OneShotViolation {};
  // Alternatives in ErrorKind order.
  using Payload =
      std::variant<Reader, Eval, RuntimeMessage, Arity, Type, Index, RecurSignal, OneShotViolation>;

  explicit Error(Payload kind_payload, std::optional<Span> where = std::nullopt)
      : payload(std::move(kind_payload)), span(where) {}
  static Error reader(std::string message, Span where) {
    return Error(Reader{std::move(message)}, where);
  }

  Payload payload;
  std::optional<Span> span;
  std::vector<CallFrame> stack;
  std::vector<RelatedSpan> related;

  ErrorKind kind() const { return static_cast<ErrorKind>(payload.index()); }
  // "Reader error: Unclosed list", "Arity error: expected 2, got 3", ...
  std::string display() const;
};

}  // namespace quorvel
