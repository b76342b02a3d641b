// The two equality relations. Interning equality decides whether two
// objects may share one canonical cell; language equality is `=`. Both
// walk nested data recursively under the stack guard.
#include "support/stack_guard.h"
#include "vm/heap.h"

namespace quorvel {

namespace {

enum class EqMode : uint8_t { Interning, Language };

class Equality {
 public:
  Equality(const Heap& heap, EqMode mode) : heap_(heap), mode_(mode) {}

  // Set once data nested too deeply was met; every comparison then fails.
  bool too_deep() const { return too_deep_; }

  bool values(VMValue a, VMValue b) {
    if (too_deep_) return false;
    if (a.tag() != b.tag()) return mode_ == EqMode::Language && mixed_numbers(a, b);
    switch (a.tag()) {
      case ValueTag::Nil:
        return true;
      case ValueTag::Float:
        return a.as_float() == b.as_float();
      case ValueTag::HeapRef: {
        if (a.as_heap() == b.as_heap()) return true;
        const HeapObject* oa = heap_.get(a.as_heap());
        const HeapObject* ob = heap_.get(b.as_heap());
        return oa && ob && objects(*oa, *ob);
      }
      default:
        return a.payload0() == b.payload0() && a.payload1() == b.payload1();
    }
  }

  bool objects(const HeapObject& a, const HeapObject& b) {
    if (a.index() != b.index()) return false;
    if (!StackGuard::has_room()) {
      too_deep_ = true;
      return false;
    }
    if (const auto* sa = std::get_if<StringObject>(&a)) {
      return sa->text == std::get<StringObject>(b).text;
    }
    if (const auto* sa = std::get_if<SeqData>(&a)) return seqs(*sa, std::get<SeqData>(b));
    if (const auto* sa = std::get_if<VMSet>(&a)) return sets(*sa, std::get<VMSet>(b));
    if (const auto* ma = std::get_if<VMMap>(&a)) return maps(*ma, std::get<VMMap>(b));
    if (const auto* va = std::get_if<VariantObject>(&a)) {
      const auto& vb = std::get<VariantObject>(b);
      return va->tag == vb.tag && all_equal(va->fields, vb.fields);
    }
    if (mode_ == EqMode::Language) {
      if (const auto* ka = std::get_if<KeyBox>(&a)) {
        return values(ka->value, std::get<KeyBox>(b).value);
      }
      if (const auto* ra = std::get_if<RegexObject>(&a)) {
        return ra->source == std::get<RegexObject>(b).source;
      }
    }
    // Closures, templates, continuations, atoms, optics and effects are
    // equal only to themselves (same key, handled by the caller).
    return false;
  }

 private:
  static bool mixed_numbers(VMValue a, VMValue b) {
    if (b.is_int() || (b.is_ratio() && a.is_float())) std::swap(a, b);
    // Now a is the Int (with Float or Ratio) or the Ratio (with Float).
    if (a.is_int() && b.is_float()) return static_cast<double>(a.as_int()) == b.as_float();
    if (a.is_ratio() && b.is_float()) {
      return static_cast<double>(a.numerator()) / static_cast<double>(a.denominator()) ==
             b.as_float();
    }
    if (a.is_int() && b.is_ratio()) {
      return static_cast<__int128>(b.numerator()) ==
             static_cast<__int128>(a.as_int()) * b.denominator();
    }
    return false;
  }

  template <class Range>
  bool all_equal(const Range& a, const Range& b) {
    if (a.size() != b.size()) return false;
    auto ib = b.begin();
    for (const VMValue& va : a) {
      if (!values(va, *ib)) return false;
      ++ib;
    }
    return true;
  }

  bool seqs(const SeqData& a, const SeqData& b) {
    if (mode_ == EqMode::Interning && a.is_vector != b.is_vector) return false;
    return all_equal(a.items, b.items);
  }

  // Every member of a has an equal member in b. An identical member is
  // found by hash first; otherwise b is scanned.
  bool sets(const VMSet& a, const VMSet& b) {
    if (a.size() != b.size()) return false;
    for (const VMValue& member : a) {
      if (b.contains(member)) continue;
      bool found = false;
      for (const VMValue& other : b) {
        if (values(member, other)) {
          found = true;
          break;
        }
      }
      if (!found) return false;
    }
    return true;
  }

  // For every entry of a, the entry of b under an equal key (the identical
  // key when b has it, else the first equal one in b's order) has an equal
  // value.
  bool maps(const VMMap& a, const VMMap& b) {
    if (a.size() != b.size()) return false;
    for (const auto& [key, value] : a) {
      const VMValue* match = b.find(key);
      if (!match) {
        for (const auto& [other_key, other_value] : b) {
          if (values(key, other_key)) {
            match = &other_value;
            break;
          }
        }
      }
      if (!match || !values(value, *match)) return false;
    }
    return true;
  }

  const Heap& heap_;
  EqMode mode_;
  bool too_deep_ = false;
};

}  // namespace

bool Heap::structurally_equal(const HeapObject& a, const HeapObject& b) const {
  return Equality(*this, EqMode::Interning).objects(a, b);
}

bool Heap::values_equal(VMValue a, VMValue b) const {
  return Equality(*this, EqMode::Interning).values(a, b);
}

Result<bool, DepthExceeded> Heap::language_equal(VMValue a, VMValue b) const {
  Equality eq(*this, EqMode::Language);
  const bool equal = eq.values(a, b);
  if (eq.too_deep()) return make_err(DepthExceeded{});
  return equal;
}

}  // namespace quorvel
