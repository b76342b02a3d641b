#include "vm/printer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <variant>

#include "support/stack_guard.h"
#include "vm/heap_object.h"
#include "vm/vm.h"

namespace quorvel {

namespace {

// Appends printed forms to one buffer. Every method returns false once the
// data is nested too deeply for the stack; the buffer is then abandoned.
class Printer {
 public:
  explicit Printer(const VM& vm) : vm_(vm) {}

  bool value(VMValue v, bool readable) {
    switch (v.tag()) {
      case ValueTag::Nil:
        if (readable) out_ += "nil";
        return true;
      case ValueTag::Bool:
        out_ += v.as_bool() ? "true" : "false";
        return true;
      case ValueTag::Int:
        out_ += std::to_string(v.as_int());
        return true;
      case ValueTag::Float:
        out_ += float_to_text(v.as_float());
        return true;
      case ValueTag::Ratio:
        out_ += std::to_string(v.numerator()) + "/" + std::to_string(v.denominator());
        return true;
      case ValueTag::Symbol:
        out_ += vm_.interner().text(v.name_key());
        return true;
      case ValueTag::Keyword:
        out_ += ':';
        out_ += vm_.interner().text(v.name_key());
        return true;
      case ValueTag::Native:
        out_ += "<native-fn>";
        return true;
      case ValueTag::HeapRef:
        return heap_value(v.as_heap(), readable);
    }
    return true;
  }

  std::string take() { return std::move(out_); }

 private:
  bool heap_value(HeapKey key, bool readable) {
    const HeapObject* object = vm_.heap().get(key);
    if (!object) {
      out_ += "<invalid>";
      return true;
    }
    if (!StackGuard::has_room()) return false;
    return std::visit([&](const auto& o) { return this->object(o, readable); }, *object);
  }

  bool object(const StringObject& s, bool readable) {
    if (!readable) {
      out_ += s.text;
      return true;
    }
    out_ += '"';
    out_ += escape_string(s.text);
    out_ += '"';
    return true;
  }

  bool object(const SeqData& seq, bool readable) {
    if (!readable) {
      out_ += "<seq>";
      return true;
    }
    return elements(seq.is_vector ? "[" : "(", seq.items, seq.is_vector ? "]" : ")");
  }

  bool object(const VMSet& set, bool readable) {
    if (!readable) {
      out_ += "<set>";
      return true;
    }
    return elements("#{", set, "}");
  }

  bool object(const VMMap& map, bool readable) {
    if (!readable) {
      out_ += "<map>";
      return true;
    }
    out_ += '{';
    bool first = true;
    for (const auto& [k, v] : map) {
      if (!first) out_ += ' ';
      first = false;
      if (!value(k, true)) return false;
      out_ += ' ';
      if (!value(v, true)) return false;
    }
    out_ += '}';
    return true;
  }

  bool object(const Closure&, bool) { return placeholder("<fn>"); }
  bool object(const ClosureTemplate&, bool) { return placeholder("<closure-template>"); }
  bool object(const Continuation&, bool) { return placeholder("<continuation>"); }
  bool object(const AtomObject&, bool) { return placeholder("<atom>"); }
  bool object(const OpticKind&, bool) { return placeholder("<optic>"); }
  bool object(const RegexObject&, bool) { return placeholder("<regex>"); }

  bool object(const KeyBox& box, bool readable) {
    if (!readable) return placeholder("<keybox>");
    return value(box.value, true);
  }

  bool object(const EffectObject& effect, bool) {
    out_ += "<effect #" + std::to_string(effect.id) + ">";
    return true;
  }

  // #Type/Variant{field: value, ...}; the fields in the form asked for.
  bool object(const VariantObject& variant, bool readable) {
    const TypeDef* type = vm_.types().get(variant.type_id());
    if (!type || variant.variant_index() >= type->variants.size()) {
      return placeholder("<unknown-variant>");
    }
    const VariantDef& def = type->variants[variant.variant_index()];
    out_ += '#';
    out_ += vm_.interner().text(type->name);
    out_ += '/';
    out_ += vm_.interner().text(def.name);
    if (variant.fields.empty()) return true;
    out_ += '{';
    const size_t shown = std::min(def.fields.size(), variant.fields.size());
    for (size_t i = 0; i < shown; ++i) {
      if (i > 0) out_ += ", ";
      out_ += vm_.interner().text(def.fields[i]);
      out_ += ": ";
      if (!value(variant.fields[i], readable)) return false;
    }
    out_ += '}';
    return true;
  }

  bool placeholder(std::string_view text) {
    out_ += text;
    return true;
  }

  // open, the elements in readable form separated by spaces, close.
  template <class Items>
  bool elements(std::string_view open, const Items& items, std::string_view close) {
    out_ += open;
    bool first = true;
    for (const VMValue& item : items) {
      if (!first) out_ += ' ';
      first = false;
      if (!value(item, true)) return false;
    }
    out_ += close;
    return true;
  }

  const VM& vm_;
  std::string out_;
};

}  // namespace

Result<std::string, VMError> print_value(const VM& vm, VMValue v, bool readable) {
  Printer printer(vm);
  if (!printer.value(v, readable)) {
    return make_err(VMError::value_error(std::string(kPrintTooDeepMessage)));
  }
  return printer.take();
}

std::string float_to_text(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
  // Fixed notation without a precision is the shortest text that reads
  // back as the same value; the longest (subnormals) fit in 400 bytes.
  char buf[400];
  const auto result = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
  return std::string(buf, result.ptr);
}

std::string escape_string(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace quorvel
