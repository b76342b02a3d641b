// Data values: equality and hashing, split_namespace, lists, type names,
// error display, and values nested far deeper than the stack allows to recurse.
#include "value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "reader.h"

namespace quorvel {
namespace {

using Kind = Value::Kind;

Value sym(const char* name) {
  return Value::symbol(name);
}
Value kw(const char* name) {
  return Value::keyword(Symbol(name));
}
Value num(int64_t i) {
  return Value::integer(i);
}
Value vec(std::vector<Value> items) {
  return Value::vector(Value::Vector::from_range(items.begin(), items.end()));
}
Value map_of(std::vector<std::pair<Value, Value>> entries) {
  Value::Map map;
  for (auto& [k, v] : entries) map = std::move(map).insert(k, v);
  return Value::map(std::move(map));
}
Value set_of(std::vector<Value> members) {
  Value::Set set;
  for (auto& m : members) set = std::move(set).insert(m);
  return Value::set(std::move(set));
}
Value wrapped(Value v) {
  return Value::meta(std::move(v), Span{1, 2, 3, 4, 5});
}
Value regex(const char* pattern) {
  return Value::regex(Value::Regex::compile(pattern).value());
}
Value nan_with_payload(uint64_t payload) {
  const uint64_t bits = 0x7ff8000000000000ULL | payload;
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return Value::floating(d);
}

Value read_first(const std::string& text) {
  Reader reader(text, 0);
  auto form = reader.read_form();
  EXPECT_TRUE(form.ok()) << text;
  return form.ok() ? std::move(form).value() : Value();
}

TEST(ValueEquality, CasesAndHashAgreement) {
  const Value atom = Value::atom(std::make_shared<Value::AtomCell>());
  const Value optic = Value::optic(std::make_shared<OpticDescription>());
  const struct {
    const char* label;
    Value a, b;
    bool equal;
  } cases[] = {
      {"int vs float", num(1), Value::floating(1.0), false},
      {"int vs ratio", num(2), Value::ratio(2, 1), false},
      {"ratio parts", Value::ratio(1, 2), Value::ratio(1, 2), true},
      {"-0.0 vs 0.0", Value::floating(-0.0), Value::floating(0.0), false},
      {"NaN same bits", nan_with_payload(0), nan_with_payload(0), true},
      {"NaN other bits", nan_with_payload(0), nan_with_payload(1), false},
      {"string vs symbol", Value::string("a"), sym("a"), false},
      {"symbol vs keyword", sym("a"), kw("a"), false},
      {"namespace present vs absent", Value::symbol(Symbol("b", "a")), sym("b"), false},
      {"namespaces equal", Value::symbol(Symbol("b", "a")), Value::symbol(split_namespace("a/b")),
       true},
      {"verbatim name vs split", sym("a/b"), Value::symbol(split_namespace("a/b")), false},
      {"list vs vector", Value::list_from_iter({num(1)}), vec({num(1)}), false},
      {"vectors", vec({num(1), Value::string("x")}), vec({num(1), Value::string("x")}), true},
      {"vector lengths", vec({num(1)}), vec({num(1), num(2)}), false},
      {"maps in any order", map_of({{kw("a"), num(1)}, {kw("b"), num(2)}}),
       map_of({{kw("b"), num(2)}, {kw("a"), num(1)}}), true},
      {"map values", map_of({{kw("a"), num(1)}}), map_of({{kw("a"), num(2)}}), false},
      {"sets", set_of({num(1), num(2)}), set_of({num(2), num(1)}), true},
      {"regex by pattern", regex("a+"), regex("a+"), true},
      {"regex patterns differ", regex("a+"), regex("a*"), false},
      {"atom itself", atom, atom, true},
      {"distinct atoms", atom, Value::atom(std::make_shared<Value::AtomCell>()), false},
      {"optic itself", optic, optic, true},
      {"distinct optics", optic, Value::optic(std::make_shared<OpticDescription>()), false},
      {"effects by id", Value::effect({"E", {}, 7}), Value::effect({std::nullopt, {}, 7}), true},
      {"meta is transparent", wrapped(wrapped(vec({wrapped(num(1))}))), vec({num(1)}), true},
      {"read form vs built form", read_first("(f [1 :k] {\"s\" #{2}})"),
       Value::list_from_iter(
           {sym("f"), vec({num(1), kw("k")}), map_of({{Value::string("s"), set_of({num(2)})}})}),
       true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.a == c.b, c.equal) << c.label;
    EXPECT_EQ(c.b == c.a, c.equal) << c.label;
    if (c.equal) {
      EXPECT_EQ(hash_value(c.a), hash_value(c.b)) << c.label;
    }
  }
}

TEST(ValueEquality, DistinctKeysInMapsAndSets) {
  const Value map = strip_meta(read_first("{1 :a 1.0 :b 2/1 :c}"));
  EXPECT_EQ(map.as_map().size(), 3u);
  EXPECT_NE(map.as_map().find(num(1)), nullptr);
  // A probe without spans finds a key read with spans.
  const Value* found = map.as_map().find(Value::ratio(2, 1));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(*found, kw("c"));
  EXPECT_EQ(strip_meta(read_first("#{1 1 [1] (1)}")).as_set().size(), 3u);
}

TEST(SplitNamespace, Tokens) {
  const struct {
    const char* token;
    const char* ns;  // null when absent
    const char* name;
  } cases[] = {
      {"str/join", "str", "join"}, {"a/b/c", "a", "b/c"}, {"/", nullptr, "/"},
      {"a/", nullptr, "a/"},       {"/a", nullptr, "/a"}, {"plain", nullptr, "plain"},
  };
  for (const auto& c : cases) {
    const Symbol s = split_namespace(c.token);
    EXPECT_EQ(s.name(), c.name) << c.token;
    if (c.ns) {
      ASSERT_NE(s.ns(), nullptr) << c.token;
      EXPECT_EQ(*s.ns(), c.ns) << c.token;
    } else {
      EXPECT_EQ(s.ns(), nullptr) << c.token;
    }
  }
}

TEST(List, RestAndArgsShareTheElements) {
  const Value form = Value::list_from_iter({sym("f"), num(1), num(2)});
  const List& list = form.as_list();
  EXPECT_EQ(list.args_vec(), (std::vector<Value>{num(1), num(2)}));
  const List rest = list.rest();
  EXPECT_EQ(Value::list(rest), Value::list_from_iter({num(1), num(2)}));
  EXPECT_EQ(Value::list(rest.rest().rest()), Value::list_from_iter({}));
  EXPECT_TRUE(List().rest().empty());
  EXPECT_TRUE(Value::list_from_iter({sym("f")}).as_list().args_vec().empty());
  // A rest is not equal to its source because it starts later.
  EXPECT_NE(Value::list(rest), form);
}

TEST(TypeName, TableOrder) {
  const char* expected[] = {"nil",       "bool",    "int",   "ratio",  "float",  "string",
                            "symbol",    "keyword", "list",  "vector", "map",    "set",
                            "native-fn", "meta",    "optic", "regex",  "effect", "atom"};
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(type_name(static_cast<Kind>(i)), expected[i]) << i;
  }
  EXPECT_EQ(type_name(wrapped(num(1))), "meta");
  EXPECT_EQ(type_name(strip_meta(wrapped(wrapped(num(1))))), "int");
}

TEST(ErrorDisplay, EveryKind) {
  const struct {
    Error::Payload payload;
    const char* display;
  } cases[] = {
      {Error::Reader{"Unclosed list"}, "Reader error: Unclosed list"},
      {Error::Eval{"boom"}, "boom"},
      {Error::RuntimeMessage{"stopped"}, "stopped"},
      {Error::Arity{"2", 3}, "Arity error: expected 2, got 3"},
      {Error::Type{"int", "string"}, "Type error: expected int, got string"},
      {Error::Index{-1, 4}, "Index -1 out of bounds for length 4"},
      {Error::RecurSignal{{num(1)}}, "Internal recur signal"},
      {Error::OneShotViolation{}, "Continuation resumed more than once (one-shot violation)"},
  };
  for (const auto& c : cases) {
    const Error e(c.payload);
    EXPECT_EQ(e.display(), c.display);
    EXPECT_EQ(static_cast<size_t>(e.kind()), c.payload.index());
  }
}

TEST(NativeFn, HoldsAHostFunctionAndComparesByName) {
  auto add = std::make_shared<const Value::HostFunction>(
      [](std::span<const Value> args) -> Result<Value::NativeResult, Error> {
        if (args.size() != 2) return make_err(Error(Error::Arity{"2", args.size()}));
        return num(args[0].as_int() + args[1].as_int());
      });
  const Value fn = Value::native_fn({"add", add});
  const std::vector<Value> args{num(2), num(3)};
  auto result = (*fn.as_native_fn().function)(args);
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(*result, num(5));
  EXPECT_EQ((*fn.as_native_fn().function)({}).error().display(), "Arity error: expected 2, got 0");
  EXPECT_EQ(fn, Value::native_fn({"add", nullptr}));
  EXPECT_NE(fn, Value::native_fn({"sub", add}));
}

// Deep values: built programmatically 100,000 levels deep.
constexpr int kDeep = 100000;

template <class Wrap>
Value nest(int depth, Wrap wrap) {
  Value v = num(0);
  for (int i = 0; i < depth; ++i) v = wrap(std::move(v));
  return v;
}

TEST(DeepValues, DestroyWithoutOverflow) {
  const auto kinds = {
      +[](Value v) { return Value::list_from_iter({std::move(v)}); },
      +[](Value v) { return vec({std::move(v)}); },
      +[](Value v) {
        return map_of({{num(1), std::move(v)}});
      },
      +[](Value v) { return set_of({std::move(v)}); },
      +[](Value v) { return wrapped(std::move(v)); },
      +[](Value v) { return Value::atom(std::make_shared<Value::AtomCell>(std::move(v))); },
  };
  for (auto wrap : kinds) {
    Value deep = nest(kDeep, wrap);
    Value copy = deep;
    deep = Value();  // the copy keeps it alive
    copy = num(1);   // now it goes, iteratively
  }
}

TEST(DeepValues, CompareAndHashWithoutOverflow) {
  auto wrap = [](Value v) { return Value::list_from_iter({std::move(v)}); };
  // Deeper than an 8 MiB stack holds at 20 bytes a level, so the comparison
  // cannot complete whatever the frame size.
  constexpr int kBeyondStack = 4 * kDeep;
  const Value a = nest(kBeyondStack, wrap);
  const Value b = nest(kBeyondStack, wrap);
  EXPECT_TRUE(a == a);  // one shared payload
  // Too deep to compare within the stack: reported unequal.
  EXPECT_FALSE(a == b);
  // Hashing stops descending at a fixed depth, so equal prefixes hash alike.
  EXPECT_EQ(hash_value(a), hash_value(b));
  EXPECT_NE(hash_value(nest(10, wrap)), hash_value(nest(11, wrap)));
  // Nesting within the stack compares structurally.
  EXPECT_TRUE(nest(1000, wrap) == nest(1000, wrap));
  EXPECT_FALSE(nest(1000, wrap) == nest(999, wrap));
}

}  // namespace
}  // namespace quorvel
