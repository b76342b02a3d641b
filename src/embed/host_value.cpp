#include "embed/host_value.h"

#include <charconv>
#include <cmath>
#include <type_traits>

#include "support/stack_guard.h"
#include "vm/form_to_vm.h"
#include "vm/heap.h"
#include "vm/vm.h"

namespace quorvel::embed {

// ---------------------------------------------------------------------------
// Construction, access and destruction

Value Value::map(Map entries) {
  return Value(Repr(std::in_place_index<10>, std::make_shared<const Map>(std::move(entries))));
}

Value Value::set(Set members) {
  return Value(Repr(std::in_place_index<11>, std::make_shared<const Set>(std::move(members))));
}

Value Value::regex(Regex regex) {
  return Value(Repr(std::in_place_index<12>, std::make_shared<const Regex>(std::move(regex))));
}

const std::string& Value::as_text() const {
  switch (kind()) {
    case Kind::String:
      return *std::get<5>(repr_);
    case Kind::Keyword:
      return *std::get<6>(repr_);
    case Kind::Symbol:
      return *std::get<7>(repr_);
    default:
      return *std::get<13>(repr_);
  }
}

const Value::Items& Value::as_items() const {
  return kind() == Kind::List ? *std::get<8>(repr_) : *std::get<9>(repr_);
}

const void* Value::payload() const {
  switch (kind()) {
    case Kind::List:
      return std::get<8>(repr_).get();
    case Kind::Vector:
      return std::get<9>(repr_).get();
    case Kind::Map:
      return std::get<10>(repr_).get();
    case Kind::Set:
      return std::get<11>(repr_).get();
    default:
      return nullptr;
  }
}

bool Value::owns_nested() const {
  switch (kind()) {
    case Kind::List:
      return std::get<8>(repr_).use_count() == 1;
    case Kind::Vector:
      return std::get<9>(repr_).use_count() == 1;
    case Kind::Map:
      return std::get<10>(repr_).use_count() == 1;
    case Kind::Set:
      return std::get<11>(repr_).use_count() == 1;
    default:
      return false;
  }
}

template <class F>
void Value::for_each_child(F&& f) const {
  switch (kind()) {
    case Kind::List:
    case Kind::Vector:
      for (const Value& item : as_items()) f(item);
      break;
    case Kind::Map:
      for_each_key_and_value(as_map(), f);
      break;
    case Kind::Set:
      for (const Value& member : as_set()) f(member);
      break;
    default:
      break;
  }
}

Value::~Value() {
  drop_nested(*this);
}

// ---------------------------------------------------------------------------
// Equality and hashing

bool operator==(const Value& a, const Value& b) {
  using Kind = Value::Kind;
  if (a.kind() != b.kind()) return false;
  if (const auto equal = scalars_equal(a, b)) return *equal;
  switch (a.kind()) {
    case Kind::String:
    case Kind::Keyword:
    case Kind::Symbol:
    case Kind::Opaque:
      return a.as_text() == b.as_text();
    case Kind::Regex:
      return a.as_regex().pattern == b.as_regex().pattern;
    default:
      break;
  }
  // Collections: shared payloads are equal at once; otherwise compare while
  // the stack allows it.
  if (a.payload() == b.payload()) return true;
  if (!StackGuard::has_room()) return false;
  switch (a.kind()) {
    case Kind::List:
    case Kind::Vector:
      return sequences_equal(a.as_items(), b.as_items());
    case Kind::Map:
      return maps_equal(a.as_map(), b.as_map());
    default:
      return sets_equal(a.as_set(), b.as_set());
  }
}

namespace {

void hash_into(SipHasher13& h, const Value& v, SipKey key, size_t depth);

uint64_t hash_at(const Value& v, SipKey key, size_t depth) {
  SipHasher13 h(key);
  hash_into(h, v, key, depth);
  return h.finish();
}

void hash_into(SipHasher13& h, const Value& v, SipKey key, size_t depth) {
  using Kind = Value::Kind;
  h.write_u8(static_cast<uint8_t>(v.kind()));
  if (hash_scalar(h, v)) return;
  switch (v.kind()) {
    case Kind::String:
    case Kind::Keyword:
    case Kind::Symbol:
    case Kind::Opaque:
      hash_text(h, v.as_text());
      return;
    case Kind::Regex:
      hash_text(h, v.as_regex().pattern);
      return;
    default:
      break;
  }
  // Collections below the depth limit contribute only their kind and size,
  // so equal values still hash alike.
  if (depth >= kHashDepth) return;
  switch (v.kind()) {
    case Kind::List:
    case Kind::Vector:
      h.write_u64(v.as_items().size());
      for (const Value& item : v.as_items()) hash_into(h, item, key, depth + 1);
      return;
    case Kind::Map: {
      uint64_t combined = 0;
      for (const auto& [k, value] : v.as_map()) {
        SipHasher13 entry(key);
        entry.write_u64(hash_at(k, key, depth + 1));
        entry.write_u64(hash_at(value, key, depth + 1));
        combined ^= entry.finish();
      }
      h.write_u64(v.as_map().size());
      h.write_u64(combined);
      return;
    }
    default: {
      uint64_t combined = 0;
      for (const Value& member : v.as_set()) combined ^= hash_at(member, key, depth + 1);
      h.write_u64(v.as_set().size());
      h.write_u64(combined);
      return;
    }
  }
}

}  // namespace

uint64_t hash_value(const Value& v, SipKey key) {
  return hash_at(v, key, 0);
}

uint64_t HostValueTraits::hash(const SipKey& key, const Value& v) {
  return hash_value(v, key);
}

bool HostValueTraits::equal(const Value& a, const Value& b) {
  return a == b;
}

// ---------------------------------------------------------------------------
// Display

namespace {

std::string float_text(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
  // Fixed notation with the fewest digits that read back as the same double
  // (at most 309 integer digits plus sign, point and 17 fraction digits).
  char buffer[400];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed);
  std::string text(buffer, ec == std::errc() ? end : buffer);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

void display_into(std::string& out, const Value& v);

template <class Range>
void display_joined(std::string& out, const Range& items, std::string_view open,
                    std::string_view close) {
  out += open;
  bool first = true;
  for (const Value& item : items) {
    if (!first) out += ' ';
    first = false;
    display_into(out, item);
  }
  out += close;
}

void display_into(std::string& out, const Value& v) {
  using Kind = Value::Kind;
  switch (v.kind()) {
    case Kind::Nil:
      out += "nil";
      return;
    case Kind::Bool:
      out += v.as_bool() ? "true" : "false";
      return;
    case Kind::Int:
      out += std::to_string(v.as_int());
      return;
    case Kind::Float:
      out += float_text(v.as_float());
      return;
    case Kind::Ratio:
      out +=
          std::to_string(v.as_ratio().numerator) + "/" + std::to_string(v.as_ratio().denominator);
      return;
    case Kind::String:
      out += '"' + v.as_text() + '"';
      return;
    case Kind::Keyword:
      out += ':' + v.as_text();
      return;
    case Kind::Symbol:
      out += v.as_text();
      return;
    case Kind::Opaque:
      out += "#<" + v.as_text() + ">";
      return;
    case Kind::Regex:
      out += "#\"" + v.as_regex().pattern + '"';
      return;
    default:
      break;
  }
  if (!StackGuard::has_room()) {
    out += "...";
    return;
  }
  switch (v.kind()) {
    case Kind::List:
      display_joined(out, v.as_items(), "(", ")");
      return;
    case Kind::Vector:
      display_joined(out, v.as_items(), "[", "]");
      return;
    case Kind::Set:
      display_joined(out, v.as_set(), "#{", "}");
      return;
    default: {
      out += '{';
      bool first = true;
      for (const auto& [key, value] : v.as_map()) {
        if (!first) out += ", ";
        first = false;
        display_into(out, key);
        out += ' ';
        display_into(out, value);
      }
      out += '}';
      return;
    }
  }
}

}  // namespace

std::string Value::display() const {
  std::string out;
  display_into(out, *this);
  return out;
}

// ---------------------------------------------------------------------------
// Machine values to host values

namespace {

VMError too_deep() {
  return VMError::value_error("stack overflow: data nested too deeply to convert");
}

// The name of an object without a host form: its type keyword, except that
// closures and their templates are both "closure".
std::string opaque_name(const HeapObject& object) {
  const HeapKind kind = kind_of(object);
  if (kind == HeapKind::Closure || kind == HeapKind::ClosureTemplate) return "closure";
  return std::string(type_keyword_name(object));
}

Result<Value, VMError> heap_to_host(const VM& vm, const HeapObject& object) {
  if (const auto* s = std::get_if<StringObject>(&object)) return Value::string(s->text);
  if (const auto* re = std::get_if<RegexObject>(&object)) {
    return Value::regex({re->regex, re->source});
  }
  if (const auto* variant = std::get_if<VariantObject>(&object)) {
    return Value::opaque("variant(tag=" + std::to_string(variant->tag) + ")");
  }
  const bool collection = std::holds_alternative<SeqData>(object) ||
                          std::holds_alternative<VMMap>(object) ||
                          std::holds_alternative<VMSet>(object);
  if (!collection) return Value::opaque(opaque_name(object));
  if (!StackGuard::has_room()) return make_err(too_deep());

  if (const auto* seq = std::get_if<SeqData>(&object)) {
    Value::Items items;
    for (const VMValue& item : seq->items) {
      auto host = from_vm(vm, item);
      if (!host) return make_err(std::move(host).error());
      items = std::move(items).push_back(std::move(host).value());
    }
    return seq->is_vector ? Value::vector(std::move(items)) : Value::list(std::move(items));
  }
  if (const auto* set = std::get_if<VMSet>(&object)) {
    Value::Set members;
    for (const VMValue& member : *set) {
      auto host = from_vm(vm, member);
      if (!host) return make_err(std::move(host).error());
      members = std::move(members).insert(std::move(host).value());
    }
    return Value::set(std::move(members));
  }
  Value::Map entries;
  for (const auto& [key, value] : std::get<VMMap>(object)) {
    auto host_key = from_vm(vm, key);
    if (!host_key) return make_err(std::move(host_key).error());
    auto host_value = from_vm(vm, value);
    if (!host_value) return make_err(std::move(host_value).error());
    entries = std::move(entries).insert(std::move(host_key).value(), std::move(host_value).value());
  }
  return Value::map(std::move(entries));
}

}  // namespace

Result<Value, VMError> from_vm(const VM& vm, VMValue value) {
  switch (value.tag()) {
    case ValueTag::Nil:
      return Value::nil();
    case ValueTag::Bool:
      return Value::boolean(value.as_bool());
    case ValueTag::Int:
      return Value::integer(value.as_int());
    case ValueTag::Float:
      return Value::floating(value.as_float());
    case ValueTag::Ratio:
      return Value::ratio(value.numerator(), value.denominator());
    case ValueTag::Symbol:
      return Value::symbol(std::string(vm.interner().text(value.name_key())));
    case ValueTag::Keyword:
      return Value::keyword(std::string(vm.interner().text(value.name_key())));
    case ValueTag::Native:
      return Value::opaque("native-fn");
    case ValueTag::HeapRef:
      break;
  }
  const HeapObject* object = vm.heap().get(value.as_heap());
  if (object == nullptr) return Value::nil();
  return heap_to_host(vm, *object);
}

// ---------------------------------------------------------------------------
// Host values to machine values

namespace {

Result<VMValue, VMError> to_vm_unguarded(const Value& value, VM& vm);

Result<VMValue, VMError> collection_to_vm(const Value& value, VM& vm) {
  if (!StackGuard::has_room()) return make_err(too_deep());
  Heap& heap = vm.heap();
  switch (value.kind()) {
    case Value::Kind::List:
    case Value::Kind::Vector: {
      PVector<VMValue> items;
      for (const Value& item : value.as_items()) {
        auto converted = to_vm_unguarded(item, vm);
        if (!converted) return converted;
        items = std::move(items).push_back(*converted);
      }
      const bool is_vector = value.is(Value::Kind::Vector);
      return VMValue::heap(heap.intern_seq(SeqData{std::move(items), is_vector}));
    }
    case Value::Kind::Map: {
      VMMap map;
      for (const auto& [key, item] : value.as_map()) {
        auto k = to_vm_unguarded(key, vm);
        if (!k) return k;
        auto v = to_vm_unguarded(item, vm);
        if (!v) return v;
        map = heap.map_insert(map, *k, *v);
      }
      return VMValue::heap(heap.intern_map(std::move(map)));
    }
    default: {
      VMSet set;
      for (const Value& member : value.as_set()) {
        auto converted = to_vm_unguarded(member, vm);
        if (!converted) return converted;
        set = std::move(set).insert(heap.canonicalize_key(*converted));
      }
      return VMValue::heap(heap.intern_set(std::move(set)));
    }
  }
}

Result<VMValue, VMError> to_vm_unguarded(const Value& value, VM& vm) {
  if (const auto scalar = scalar_as<VMValue>(value)) return *scalar;
  switch (value.kind()) {
    case Value::Kind::Opaque:
      return VMValue::nil();
    case Value::Kind::Keyword:
      return VMValue::keyword(vm.interner().intern(value.as_text()));
    case Value::Kind::Symbol:
      return VMValue::symbol(vm.interner().intern(value.as_text()));
    case Value::Kind::String:
      return vm.alloc_string(value.as_text());
    case Value::Kind::Regex: {
      const Value::Regex& re = value.as_regex();
      return VMValue::heap(vm.heap().alloc_no_gc(RegexObject{re.engine, re.pattern}));
    }
    default:
      return collection_to_vm(value, vm);
  }
}

}  // namespace

Result<VMValue, VMError> to_vm(const Value& value, VM& vm) {
  // The parts converted so far are held only here, where the collector
  // cannot see them: no collection until the whole value is built.
  GcDisabledScope no_gc(vm.heap());
  return to_vm_unguarded(value, vm);
}

// ---------------------------------------------------------------------------
// Reader forms to host values

namespace {

Result<Value, quorvel::Error> form_to_host(const quorvel::Value& form, Span span);

template <class Range>
Result<Value::Items, quorvel::Error> forms_to_host(const Range& forms, Span span) {
  Value::Items items;
  for (const quorvel::Value& form : forms) {
    auto host = form_to_host(form, span);
    if (!host) return make_err(std::move(host).error());
    items = std::move(items).push_back(std::move(host).value());
  }
  return items;
}

Result<Value, quorvel::Error> form_to_host(const quorvel::Value& form, Span span) {
  using Kind = quorvel::Value::Kind;
  if (form.is(Kind::Meta)) {
    return form_to_host(strip_meta(form), form.as_meta().span);
  }
  if (const auto scalar = scalar_as<Value>(form)) return *scalar;
  switch (form.kind()) {
    case Kind::String:
      return Value::string(form.as_string());
    case Kind::Symbol:
      return Value::symbol(form.as_symbol().name());
    case Kind::Keyword:
      return Value::keyword(form.as_symbol().name());
    case Kind::Regex: {
      RegexObject shared = regex_object(form.as_regex());
      return Value::regex({std::move(shared.regex), std::move(shared.source)});
    }
    case Kind::NativeFn:
      return Value::opaque("native-fn");
    case Kind::Optic:
      return Value::opaque("optic");
    case Kind::Effect:
      return Value::opaque("effect");
    case Kind::Atom:
      return Value::opaque("atom");
    default:
      break;
  }
  if (!StackGuard::has_room()) return make_err(quorvel::Error::reader("Nesting too deep", span));
  switch (form.kind()) {
    case Kind::List: {
      auto items = forms_to_host(form.as_list(), span);
      if (!items) return make_err(std::move(items).error());
      return Value::list(std::move(items).value());
    }
    case Kind::Vector: {
      auto items = forms_to_host(form.as_vector(), span);
      if (!items) return make_err(std::move(items).error());
      return Value::vector(std::move(items).value());
    }
    case Kind::Map: {
      Value::Map entries;
      for (const auto& [key, value] : form.as_map()) {
        auto k = form_to_host(key, span);
        if (!k) return k;
        auto v = form_to_host(value, span);
        if (!v) return v;
        entries = std::move(entries).insert(std::move(k).value(), std::move(v).value());
      }
      return Value::map(std::move(entries));
    }
    default: {
      Value::Set members;
      for (const quorvel::Value& member : form.as_set()) {
        auto m = form_to_host(member, span);
        if (!m) return m;
        members = std::move(members).insert(std::move(m).value());
      }
      return Value::set(std::move(members));
    }
  }
}

}  // namespace

Result<Value, quorvel::Error> from_ast(const quorvel::Value& form) {
  return form_to_host(form, {});
}

}  // namespace quorvel::embed
