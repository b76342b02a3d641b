#include "natives/printing.h"

#include <optional>
#include <string>

#include "natives/args.h"
#include "reader.h"
#include "value.h"
#include "vm/form_to_vm.h"
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
Result<VMValue, VMError> to_runtime(VM& vm, const Value& form) {
  const FormTarget target{vm.heap(), vm.interner(), FormTarget::Strings::Fresh, false};
  auto converted = form_to_vm(form, target);
  if (converted) return *converted;
  if (converted.error() == FormFailure::TooDeep) {
    return value_error("stack overflow: data nested too deeply to convert");
  }
  return type_error("unsupported value type for read-string");
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
