#include "natives/printing.h"

#include <optional>
#include <string>

#include "natives/args.h"
#include "reader.h"
#include "support/stack_guard.h"
#include "value.h"
#include "vm/printer.h"

namespace quorvel {

namespace {

// Appends the display form of v.
std::optional<VMError> append_display(const VM& vm, std::string& out, VMValue v) {
  auto text = print_value(vm, v, false);
  if (!text) return std::move(text.error());
  out += *text;
  return std::nullopt;
}

// A data form read by read-string as a runtime value: strings become new
// heap strings, collections interned ones of the same kind. Symbols and
// keywords keep their full text, as in evaluated code, so that printing
// and reading back gives an equal value.
Result<VMValue, VMError> to_runtime(VM& vm, const Value& value) {
  const Value& form = strip_meta(value);
  if (!StackGuard::has_room()) {
    return value_error("stack overflow: data nested too deeply to convert");
  }
  switch (form.kind()) {
    case Value::Kind::Nil:
      return VMValue::nil();
    case Value::Kind::Bool:
      return VMValue::boolean(form.as_bool());
    case Value::Kind::Int:
      return VMValue::integer(form.as_int());
    case Value::Kind::Float:
      return VMValue::floating(form.as_float());
    case Value::Kind::Ratio:
      return VMValue::ratio(form.as_ratio().numerator, form.as_ratio().denominator);
    case Value::Kind::String:
      return vm.alloc_string(form.as_string());
    case Value::Kind::Symbol:
      return VMValue::symbol(vm.interner().intern(form.as_symbol().text()));
    case Value::Kind::Keyword:
      return VMValue::keyword(vm.interner().intern(form.as_symbol().text()));
    case Value::Kind::List:
    case Value::Kind::Vector: {
      SeqData seq;
      seq.is_vector = form.is(Value::Kind::Vector);
      auto add = [&](const Value& item) -> std::optional<VMError> {
        auto converted = to_runtime(vm, item);
        if (!converted) return std::move(converted.error());
        seq.items = std::move(seq.items).push_back(*converted);
        return std::nullopt;
      };
      if (seq.is_vector) {
        for (const Value& item : form.as_vector()) {
          if (auto error = add(item)) return make_err(std::move(*error));
        }
      } else {
        for (const Value& item : form.as_list()) {
          if (auto error = add(item)) return make_err(std::move(*error));
        }
      }
      return VMValue::heap(vm.heap().intern_seq(std::move(seq)));
    }
    case Value::Kind::Map: {
      VMMap map;
      for (const auto& [key, item] : form.as_map()) {
        auto k = to_runtime(vm, key);
        if (!k) return k;
        auto v = to_runtime(vm, item);
        if (!v) return v;
        map = vm.heap().map_insert(map, *k, *v);
      }
      return VMValue::heap(vm.heap().intern_map(std::move(map)));
    }
    case Value::Kind::Set: {
      VMSet set;
      for (const Value& member : form.as_set()) {
        auto m = to_runtime(vm, member);
        if (!m) return m;
        set = std::move(set).insert(vm.canonicalize_key(*m));
      }
      return VMValue::heap(vm.heap().intern_set(std::move(set)));
    }
    default:
      return type_error("unsupported value type for read-string");
  }
}

}  // namespace

NativeResult native_str(VM& vm, Args args) {
  std::string out;
  for (const VMValue& arg : args) {
    if (auto error = append_display(vm, out, arg)) return make_err(std::move(*error));
  }
  return vm.alloc_string(std::move(out));
}

NativeResult native_pr_str(VM& vm, Args args) {
  if (auto error = check_exactly(args, 1)) return make_err(std::move(*error));
  auto text = print_value(vm, args[0], true);
  if (!text) return make_err(std::move(text.error()));
  return vm.alloc_string(std::move(*text));
}

// (format f values...): %s, %d and %f insert the display form of the next
// value (nothing once the values are used up), %% is one %, and any other
// % sequence is copied as it stands.
NativeResult native_format(VM& vm, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  const auto format = string_text(vm, args[0]);
  if (!format) return type_error("expected a string");
  std::string out;
  size_t next = 1;
  for (size_t i = 0; i < format->size(); ++i) {
    const char c = (*format)[i];
    if (c != '%' || i + 1 == format->size()) {
      out += c;
      continue;
    }
    const char directive = (*format)[++i];
    if (directive == '%') {
      out += '%';
    } else if (directive == 's' || directive == 'd' || directive == 'f') {
      if (next < args.size()) {
        if (auto error = append_display(vm, out, args[next++])) return make_err(std::move(*error));
      }
    } else {
      out += c;
      out += directive;
    }
  }
  return vm.alloc_string(std::move(out));
}

// (read-string s): the first form of s as data, nil when there is none; a
// reader error is a value error with the reader's display text.
NativeResult native_read_string(VM& vm, Args args) {
  if (auto error = check_exactly(args, 1)) return make_err(std::move(*error));
  const auto text = string_text(vm, args[0]);
  if (!text) return type_error("expected a string");
  Reader reader(std::string(*text), 0);
  auto forms = reader.read_all();
  if (!forms) return value_error(forms.error().display());
  if (forms->empty()) return VMValue::nil();
  return to_runtime(vm, forms->front());
}

}  // namespace quorvel
