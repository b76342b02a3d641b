#include "vm/heap_object.h"

namespace quorvel {

std::string_view type_keyword_name(const HeapObject& object) {
  switch (kind_of(object)) {
    case HeapKind::String:
      return "string";
    case HeapKind::Seq:
      return std::get<SeqData>(object).is_vector ? "vector" : "list";
    case HeapKind::Set:
      return "set";
    case HeapKind::Map:
      return "map";
    case HeapKind::Closure:
      return "fn";
    case HeapKind::ClosureTemplate:
      return "closure-template";
    case HeapKind::Continuation:
      return "continuation";
    case HeapKind::Atom:
      return "atom";
    case HeapKind::Optic:
      return "optic";
    case HeapKind::KeyBox:
      return "keybox";
    case HeapKind::Regex:
      return "regex";
    case HeapKind::Effect:
      return "effect";
    case HeapKind::Variant:
      return "variant";
  }
  return "unknown";
}

}  // namespace quorvel
