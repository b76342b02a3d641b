#include "value.h"

#include <re2/re2.h>

#include <utility>

#include "support/stack_guard.h"

namespace quorvel {

// ---------------------------------------------------------------------------
// Symbol

Symbol::Symbol(std::string name, std::optional<std::string> ns)
    : name_(std::make_shared<const std::string>(std::move(name))),
      ns_(ns ? std::make_shared<const std::string>(std::move(*ns)) : nullptr) {}

std::string Symbol::text() const {
  return ns_ ? *ns_ + "/" + *name_ : *name_;
}

bool operator==(const Symbol& a, const Symbol& b) {
  if (a.name() != b.name()) return false;
  if (!a.ns() || !b.ns()) return !a.ns() && !b.ns();
  return *a.ns() == *b.ns();
}

Symbol split_namespace(std::string_view token) {
  const size_t slash = token.find('/');
  if (slash == std::string_view::npos || slash == 0 || slash + 1 == token.size()) {
    return Symbol(std::string(token));
  }
  return Symbol(std::string(token.substr(slash + 1)), std::string(token.substr(0, slash)));
}

// ---------------------------------------------------------------------------
// List

List::List(PVector<Value> items)
    : items_(items.empty() ? nullptr : std::make_shared<const PVector<Value>>(std::move(items))) {}

List::List(std::shared_ptr<const PVector<Value>> items, size_t offset)
    : items_(std::move(items)), offset_(offset) {}

size_t List::size() const {
  return items_ ? items_->size() - offset_ : 0;
}

const Value& List::operator[](size_t i) const {
  return items_->nth(offset_ + i);
}

List List::rest() const {
  if (size() <= 1) return List();
  return List(items_, offset_ + 1);
}

std::vector<Value> List::args_vec() const {
  if (size() <= 1) return {};
  return std::vector<Value>(std::next(begin()), end());
}

List::Iterator List::begin() const {
  return Iterator(items_.get(), offset_);
}
List::Iterator List::end() const {
  return Iterator(items_.get(), offset_ + size());
}

// ---------------------------------------------------------------------------
// Regex

Result<Value::Regex, std::string> Value::Regex::compile(const std::string& pattern) {
  RE2::Options options;
  options.set_log_errors(false);
  auto re = std::make_shared<const RE2>(pattern, options);
  if (!re->ok()) return make_err(re->error());
  return Regex(std::move(re));
}

const std::string& Value::Regex::pattern() const {
  return re_->pattern();
}

// ---------------------------------------------------------------------------
// Construction and access

Value Value::ratio(int64_t numerator, int64_t denominator) {
  return Value(Repr(std::in_place_index<3>, Ratio{numerator, denominator}));
}

Value Value::string(std::string text) {
  return Value(Repr(std::in_place_index<5>, std::make_shared<const std::string>(std::move(text))));
}

Value Value::symbol(std::string_view name) {
  return symbol(Symbol(std::string(name)));
}

Value Value::symbol(Symbol sym) {
  return Value(Repr(std::in_place_index<6>, std::move(sym)));
}

Value Value::keyword(Symbol sym) {
  return Value(Repr(std::in_place_index<7>, std::move(sym)));
}

Value Value::list(List list) {
  return Value(Repr(std::in_place_index<8>, std::move(list)));
}

Value Value::list_from_iter(std::vector<Value> items) {
  return list(List(Vector::from_range(std::make_move_iterator(items.begin()),
                                      std::make_move_iterator(items.end()))));
}

Value Value::vector(Vector items) {
  return Value(Repr(std::in_place_index<9>, std::make_shared<const Vector>(std::move(items))));
}

Value Value::map(Map entries) {
  return Value(Repr(std::in_place_index<10>, std::make_shared<const Map>(std::move(entries))));
}

Value Value::set(Set members) {
  return Value(Repr(std::in_place_index<11>, std::make_shared<const Set>(std::move(members))));
}

Value Value::native_fn(NativeFn fn) {
  return Value(Repr(std::in_place_index<12>, std::move(fn)));
}

Value Value::meta(Value inner, Span span) {
  return Value(
      Repr(std::in_place_index<13>, std::make_shared<const Meta>(Meta{std::move(inner), span})));
}

Value Value::optic(Optic optic) {
  return Value(Repr(std::in_place_index<14>, std::move(optic)));
}

Value Value::regex(Regex regex) {
  return Value(Repr(std::in_place_index<15>, std::move(regex)));
}

Value Value::effect(Effect effect) {
  return Value(Repr(std::in_place_index<16>, std::make_shared<const Effect>(std::move(effect))));
}

Value Value::atom(Atom atom) {
  return Value(Repr(std::in_place_index<17>, std::move(atom)));
}

const Symbol& Value::as_symbol() const {
  return kind() == Kind::Keyword ? std::get<7>(repr_) : std::get<6>(repr_);
}

const void* Value::payload_address() const {
  switch (kind()) {
    case Kind::String:
      return std::get<5>(repr_).get();
    case Kind::List:
      return as_list().items_.get();
    case Kind::Vector:
      return std::get<9>(repr_).get();
    case Kind::Map:
      return std::get<10>(repr_).get();
    case Kind::Set:
      return std::get<11>(repr_).get();
    case Kind::Meta:
      return std::get<13>(repr_).get();
    case Kind::Optic:
      return as_optic().get();
    case Kind::Effect:
      return std::get<16>(repr_).get();
    case Kind::Atom:
      return as_atom().get();
    default:
      return nullptr;
  }
}

// ---------------------------------------------------------------------------
// Destruction without recursion

bool Value::owns_nested() const {
  switch (kind()) {
    case Kind::List:
      return as_list().items_ && as_list().items_.use_count() == 1;
    case Kind::Vector:
      return std::get<9>(repr_).use_count() == 1;
    case Kind::Map:
      return std::get<10>(repr_).use_count() == 1;
    case Kind::Set:
      return std::get<11>(repr_).use_count() == 1;
    case Kind::Meta:
      return std::get<13>(repr_).use_count() == 1;
    case Kind::Atom:
      return as_atom().use_count() == 1;
    default:
      return false;
  }
}

template <class F>
void Value::for_each_child(F&& f) const {
  switch (kind()) {
    case Kind::List:
      // The whole shared storage, the elements `rest` skipped included.
      for (const Value& item : *as_list().items_) f(item);
      break;
    case Kind::Vector:
      for (const Value& item : as_vector()) f(item);
      break;
    case Kind::Map:
      for_each_key_and_value(as_map(), f);
      break;
    case Kind::Set:
      for (const Value& member : as_set()) f(member);
      break;
    case Kind::Meta:
      f(as_meta().inner);
      break;
    case Kind::Atom:
      f(as_atom()->value);
      break;
    default:
      break;
  }
}

Value::~Value() {
  drop_nested(*this);
}

// ---------------------------------------------------------------------------
// Equality

bool operator==(const Value& left, const Value& right) {
  const Value& a = strip_meta(left);
  const Value& b = strip_meta(right);
  using Kind = Value::Kind;
  if (a.kind() != b.kind()) return false;
  const void* address = a.payload_address();
  if (address && address == b.payload_address()) {
    // One shared payload; a List also needs the same starting element.
    return a.kind() != Kind::List || a.as_list().size() == b.as_list().size();
  }
  if (const auto equal = scalars_equal(a, b)) return *equal;
  switch (a.kind()) {
    case Kind::String:
      return a.as_string() == b.as_string();
    case Kind::Symbol:
    case Kind::Keyword:
      return a.as_symbol() == b.as_symbol();
    case Kind::NativeFn:
      return a.as_native_fn().name == b.as_native_fn().name;
    case Kind::Regex:
      return a.as_regex().pattern() == b.as_regex().pattern();
    case Kind::Effect:
      return a.as_effect().id == b.as_effect().id;
    case Kind::Optic:
    case Kind::Atom:
    case Kind::Meta:
      return false;  // distinct identities (Meta never remains after strip_meta)
    default:
      break;
  }
  // Collections: too deep to compare within the stack means unequal.
  if (!StackGuard::has_room()) return false;
  switch (a.kind()) {
    case Kind::List:
      return sequences_equal(a.as_list(), b.as_list());
    case Kind::Vector:
      return sequences_equal(a.as_vector(), b.as_vector());
    case Kind::Map:
      return maps_equal(a.as_map(), b.as_map());
    case Kind::Set:
      return sets_equal(a.as_set(), b.as_set());
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------
// Hashing

namespace {

// Hash of one map entry or set member with a fresh fixed-key hasher, so that
// XOR-combining the results does not depend on iteration order.
uint64_t entry_hash(const Value& key, const Value* value, size_t depth) {
  SipHasher13 hasher{SipKey{}};
  hash_value(hasher, key, depth);
  if (value) hash_value(hasher, *value, depth);
  return hasher.finish();
}

}  // namespace

void hash_value(SipHasher13& hasher, const Value& value, size_t depth) {
  const Value& v = strip_meta(value);
  using Kind = Value::Kind;
  hasher.write_u64(static_cast<uint64_t>(v.kind()));
  if (hash_scalar(hasher, v)) return;
  switch (v.kind()) {
    case Kind::String:
      hash_text(hasher, v.as_string());
      return;
    case Kind::Symbol:
    case Kind::Keyword: {
      const Symbol& sym = v.as_symbol();
      hasher.write_u64(sym.ns() ? 1 : 0);
      if (sym.ns()) hash_text(hasher, *sym.ns());
      hash_text(hasher, sym.name());
      return;
    }
    case Kind::NativeFn:
      hash_text(hasher, v.as_native_fn().name);
      return;
    case Kind::Regex:
      hash_text(hasher, v.as_regex().pattern());
      return;
    case Kind::Effect:
      hasher.write_u64(v.as_effect().id);
      return;
    case Kind::Optic:
      hasher.write_u64(reinterpret_cast<uintptr_t>(v.as_optic().get()));
      return;
    case Kind::Atom:
      hasher.write_u64(reinterpret_cast<uintptr_t>(v.as_atom().get()));
      return;
    default:
      break;
  }
  // Collections: past the depth limit the contents do not contribute.
  if (depth >= kHashDepth || !StackGuard::has_room()) return;
  switch (v.kind()) {
    case Kind::List:
      for (const Value& item : v.as_list()) hash_value(hasher, item, depth + 1);
      return;
    case Kind::Vector:
      for (const Value& item : v.as_vector()) hash_value(hasher, item, depth + 1);
      return;
    case Kind::Map: {
      uint64_t combined = 0;
      for (const auto& [key, item] : v.as_map()) combined ^= entry_hash(key, &item, depth + 1);
      hasher.write_u64(combined);
      return;
    }
    case Kind::Set: {
      uint64_t combined = 0;
      for (const Value& member : v.as_set()) combined ^= entry_hash(member, nullptr, depth + 1);
      hasher.write_u64(combined);
      return;
    }
    default:
      return;
  }
}

uint64_t hash_value(const Value& v, SipKey key) {
  SipHasher13 hasher(key);
  hash_value(hasher, v, 0);
  return hasher.finish();
}

// ---------------------------------------------------------------------------
// Type names and Meta

std::string_view type_name(Value::Kind kind) {
  static constexpr std::string_view kNames[18] = {
      "nil",    "bool", "int", "ratio",     "float", "string", "symbol", "keyword", "list",
      "vector", "map",  "set", "native-fn", "meta",  "optic",  "regex",  "effect",  "atom",
  };
  return kNames[static_cast<size_t>(kind)];
}

std::string_view type_name(const Value& v) {
  return type_name(v.kind());
}

const Value& strip_meta(const Value& v) {
  const Value* p = &v;
  while (p->is(Value::Kind::Meta)) p = &p->as_meta().inner;
  return *p;
}

Value strip_meta(Value&& v) {
  return strip_meta(static_cast<const Value&>(v));
}

// ---------------------------------------------------------------------------
// Error

std::string Error::display() const {
  switch (kind()) {
    case ErrorKind::Reader:
      return "Reader error: " + std::get<Reader>(payload).message;
    case ErrorKind::Eval:
      return std::get<Eval>(payload).message;
    case ErrorKind::RuntimeMessage:
      return std::get<RuntimeMessage>(payload).message;
    case ErrorKind::Arity: {
      const Arity& a = std::get<Arity>(payload);
      return "Arity error: expected " + a.expected + ", got " + std::to_string(a.got);
    }
    case ErrorKind::Type: {
      const Type& t = std::get<Type>(payload);
      return "Type error: expected " + t.expected + ", got " + t.got;
    }
    case ErrorKind::Index: {
      const Index& i = std::get<Index>(payload);
      std::string text = "Index ";
      text += std::to_string(i.index);
      text += " out of bounds for length ";
      text += std::to_string(i.length);
      return text;
    }
    case ErrorKind::RecurSignal:
      return "Internal recur signal";
    case ErrorKind::OneShotViolation:
      return "Continuation resumed more than once (one-shot violation)";
  }
  return {};
}

}  // namespace quorvel
