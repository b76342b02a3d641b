// Data forms as machine values: quoted data becomes constants of the
// compiler's constant heap, and read-string turns the forms it reads into
// runtime values, both with this one conversion.
#pragma once

#include <cstdint>

#include "support/interner.h"
#include "support/result.h"
#include "value.h"
#include "vm/heap.h"
#include "vm/heap_object.h"
#include "vm/vmvalue.h"

namespace quorvel {

// Where converted values go and the two points on which the callers differ.
struct FormTarget {
  enum class Strings : uint8_t {
    Fresh,     // a new string object each
    Interned,  // the heap's canonical string object
  };
  Heap& heap;
  Interner& interner;
  Strings strings = Strings::Fresh;
  // When false, a regex is unsupported.
  bool regexes = false;
};

enum class FormFailure : uint8_t {
  TooDeep,      // nested too deeply for the stack
  Unsupported,  // a kind without a machine form here
};

// `form` with the Meta layers removed at every level: nil, booleans and
// numbers as they are, symbols and keywords interned by their full text,
// lists, vectors, maps and sets interned with canonical keys and members.
// Never collects, so the parts converted so far need no roots.
Result<VMValue, FormFailure> form_to_vm(const Value& form, const FormTarget& target);

// The heap object of a regex; it shares the compiled expression, whose
// owner it keeps alive.
RegexObject regex_object(const Value::Regex& regex);

}  // namespace quorvel
