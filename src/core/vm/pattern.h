// Compiled parameter and match patterns: plain data stored in clauses and
// matched by the machine when a closure is called. Literals and lookup keys
// are indexes into the constants of the prototype that owns the clause, so
// a pattern holds no heap reference of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

namespace quorvel {

struct CompiledPattern;

// Exclusively owns one nested pattern; copying copies it.
class PatternBox {
 public:
  explicit PatternBox(CompiledPattern pattern);
  PatternBox(const PatternBox& other);
  PatternBox(PatternBox&&) noexcept = default;
  PatternBox& operator=(const PatternBox& other);
  PatternBox& operator=(PatternBox&&) noexcept = default;
  ~PatternBox();

  const CompiledPattern& operator*() const { return *pattern_; }
  const CompiledPattern* operator->() const { return pattern_.get(); }
  friend bool operator==(const PatternBox& a, const PatternBox& b);

 private:
  std::unique_ptr<CompiledPattern> pattern_;
};

struct CompiledPattern {
  // Stores the value in a local slot; always matches.
  struct Bind {
    uint8_t slot = 0;
    friend bool operator==(const Bind&, const Bind&) = default;
  };
  // Always matches, binds nothing.
  struct Wildcard {
    friend bool operator==(const Wildcard&, const Wildcard&) = default;
  };
  // Matches a value language-equal to the constant.
  struct Literal {
    uint16_t constant_index = 0;
    friend bool operator==(const Literal&, const Literal&) = default;
  };
  // A list, vector or string: exactly the leading elements, or at least
  // them when a rest pattern takes the remainder as a new list.
  struct Sequential {
    std::optional<uint8_t> as_slot;
    std::optional<PatternBox> rest_pattern;
    std::vector<CompiledPattern> element_patterns;
    friend bool operator==(const Sequential&, const Sequential&) = default;
  };
  // A map: each entry's pattern against the value under its key constant,
  // or the default recorded for that key constant, or nil.
  struct Associative {
    std::optional<uint8_t> as_slot;
    std::vector<std::pair<uint16_t, CompiledPattern>> entries;  // key constant, pattern
    std::vector<std::pair<uint16_t, uint16_t>> defaults;        // key constant, default constant
    friend bool operator==(const Associative&, const Associative&) = default;
  };
  // A variant of the given identity with one pattern per field.
  struct VariantPattern {
    uint8_t variant_index = 0;
    uint16_t type_id = 0;
    std::vector<CompiledPattern> field_patterns;
    friend bool operator==(const VariantPattern&, const VariantPattern&) = default;
  };

  // The alternatives are in the order of the pattern kind numbers 0..5.
  using Node = std::variant<Bind, Wildcard, Literal, Sequential, Associative, VariantPattern>;
  Node node;

  friend bool operator==(const CompiledPattern&, const CompiledPattern&) = default;
};

}  // namespace quorvel
