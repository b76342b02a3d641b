// Helpers shared by the native functions: argument-count checks, error
// values in the natives' message style, and extraction of numbers,
// sequences and heap objects from arguments.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "support/pvector.h"
#include "support/result.h"
#include "vm/arith.h"
#include "vm/error.h"
#include "vm/heap_object.h"
#include "vm/native.h"
#include "vm/vm.h"
#include "vm/vmvalue.h"

namespace quorvel {

using Args = std::span<const VMValue>;

// --- Argument counts ---------------------------------------------------
// Each returns the ArityError to report, or nothing when the count is
// accepted. A native accepting several counts reports the smallest one.

std::optional<VMError> check_exactly(Args args, size_t n);
std::optional<VMError> check_at_least(Args args, size_t n);
std::optional<VMError> check_between(Args args, size_t min, size_t max);

// --- Errors --------------------------------------------------------------

inline Err<VMError> type_error(std::string message) {
  return make_err(VMError::type_error(std::move(message)));
}
inline Err<VMError> value_error(std::string message) {
  return make_err(VMError::value_error(std::move(message)));
}

// --- Extraction ----------------------------------------------------------

// The argument at index i, or nil when there are fewer arguments.
inline VMValue arg_or_nil(Args args, size_t i) {
  return i < args.size() ? args[i] : VMValue();
}

// A number (Int, Float or Ratio, vm/arith.h) as a double, a ratio as
// numerator / denominator; nothing for a non-number.
inline std::optional<double> number_as_double(VMValue v) {
  if (!is_number(v)) return std::nullopt;
  return number_to_double(v);
}

// The live heap object of kind T a value refers to; nullptr for any other
// value, another kind or a dead reference.
template <class T>
const T* heap_object_as(const VM& vm, VMValue v) {
  if (!v.is_heap()) return nullptr;
  const HeapObject* object = vm.heap().get(v.as_heap());
  return object ? std::get_if<T>(object) : nullptr;
}

// The text of a String argument (valid while the string lives), or nothing.
inline std::optional<std::string_view> string_text(const VM& vm, VMValue v) {
  const auto* string = heap_object_as<StringObject>(vm, v);
  if (!string) return std::nullopt;
  return std::string_view(string->text);
}

// The elements of nil (none), a list or a vector; nothing for any other
// value. The vector shares structure with the collection's.
std::optional<PVector<VMValue>> sequence_items(const VM& vm, VMValue v);

// A new Seq (list or vector) holding the items.
VMValue make_seq(VM& vm, PVector<VMValue> items, bool is_vector);

}  // namespace quorvel
