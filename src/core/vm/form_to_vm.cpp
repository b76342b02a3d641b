#include "vm/form_to_vm.h"

#include <memory>
#include <string>
#include <utility>

#include "support/stack_guard.h"
#include "value_tree.h"

namespace quorvel {

namespace {

template <class Range>
Result<VMValue, FormFailure> seq_to_vm(const Range& items, bool is_vector,
                                       const FormTarget& target) {
  SeqData seq;
  seq.is_vector = is_vector;
  for (const Value& item : items) {
    auto converted = form_to_vm(item, target);
    if (!converted) return converted;
    seq.items = std::move(seq.items).push_back(*converted);
  }
  return VMValue::heap(target.heap.intern_seq(std::move(seq)));
}

}  // namespace

Result<VMValue, FormFailure> form_to_vm(const Value& value, const FormTarget& target) {
  const Value& form = strip_meta(value);
  if (!StackGuard::has_room()) return make_err(FormFailure::TooDeep);
  if (const auto scalar = scalar_as<VMValue>(form)) return *scalar;
  Heap& heap = target.heap;
  switch (form.kind()) {
    case Value::Kind::String:
      return VMValue::heap(target.strings == FormTarget::Strings::Interned
                               ? heap.intern_string(form.as_string())
                               : heap.alloc_no_gc(StringObject{form.as_string()}));
    case Value::Kind::Symbol:
      return VMValue::symbol(target.interner.intern(form.as_symbol().text()));
    case Value::Kind::Keyword:
      return VMValue::keyword(target.interner.intern(form.as_symbol().text()));
    case Value::Kind::Regex:
      if (!target.regexes) return make_err(FormFailure::Unsupported);
      return VMValue::heap(heap.alloc_no_gc(regex_object(form.as_regex())));
    case Value::Kind::List:
      return seq_to_vm(form.as_list(), false, target);
    case Value::Kind::Vector:
      return seq_to_vm(form.as_vector(), true, target);
    case Value::Kind::Map: {
      VMMap map;
      for (const auto& [key, item] : form.as_map()) {
        auto k = form_to_vm(key, target);
        if (!k) return k;
        auto v = form_to_vm(item, target);
        if (!v) return v;
        map = heap.map_insert(map, *k, *v);
      }
      return VMValue::heap(heap.intern_map(std::move(map)));
    }
    case Value::Kind::Set: {
      VMSet set;
      for (const Value& member : form.as_set()) {
        auto m = form_to_vm(member, target);
        if (!m) return m;
        set = std::move(set).insert(heap.canonicalize_key(*m));
      }
      return VMValue::heap(heap.intern_set(std::move(set)));
    }
    default:
      return make_err(FormFailure::Unsupported);
  }
}

RegexObject regex_object(const Value::Regex& regex) {
  auto holder = std::make_shared<const Value::Regex>(regex);
  std::shared_ptr<const re2::RE2> engine(holder, &holder->engine());
  return RegexObject{std::move(engine), regex.pattern()};
}

}  // namespace quorvel
