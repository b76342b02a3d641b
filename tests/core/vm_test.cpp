#include "vm/vm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <variant>
#include <vector>

#include "vm/arith.h"
#include "vm/opcode.h"

namespace quorvel {
namespace {

constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
const double kNaN = std::nan("");

// --- A tiny native table ------------------------------------------------------

// (call f arg...): f applied to the arguments from native code.
NativeResult native_call(VM& vm, std::span<const VMValue> args) {
  if (args.empty()) return make_err(VMError::arity(1, 0));
  return vm.apply(args[0], args.subspan(1));
}

// (pair a b): a new vector of both.
NativeResult native_pair(VM& vm, std::span<const VMValue> args) {
  if (args.size() != 2) return make_err(VMError::arity(2, args.size()));
  return vm.make_vector({args[0], args[1]});
}

NativeResult native_boom(VM&, std::span<const VMValue>) {
  return make_err(VMError::type_error("boom"));
}

constexpr NativeEntry kNatives[] = {
    {"call", "f × a ... -> b\nCalls f.", native_call},
    {"pair", "a × b -> Vector a\nMakes a pair.", native_pair},
    {"boom", "", native_boom},
};
constexpr uint16_t kCall = 0;
constexpr uint16_t kPair = 1;
constexpr uint16_t kBoom = 2;

// --- Hand-assembled prototypes ------------------------------------------------

class Code {
 public:
  Code(VM& vm, std::string_view name = "", uint8_t arity = 0, uint16_t locals = 0,
       bool variadic = false)
      : vm_(vm) {
    proto_.name = name.empty() ? 0 : vm.interner().intern(name);
    proto_.arity = arity;
    proto_.num_locals = locals;
    proto_.variadic = variadic;
  }

  Code& op(OpCode op, uint8_t a = 0, uint8_t b = 0, uint8_t c = 0) {
    return word(encode(op, a, b, c));
  }
  Code& k16(OpCode op, uint16_t k, uint8_t c = 0) { return word(encode_k16(op, k, c)); }
  Code& jump(OpCode op, int16_t offset) { return word(encode_s16(op, offset)); }
  Code& word(uint32_t w) {
    proto_.code.push_back(w);
    return *this;
  }
  Code& load(VMValue v) { return k16(OpCode::LoadConst, constant(v)); }
  Code& global(OpCode op, std::string_view name) {
    return k16(op, constant(VMValue::symbol(vm_.interner().intern(name))));
  }
  // The next instruction comes from a form on this line.
  Code& span(uint32_t line) {
    const auto ip = static_cast<uint32_t>(proto_.code.size());
    proto_.spans.push_back(SpanEntry{ip, 10 * line, 10 * line + 5, line, 2, 0});
    return *this;
  }
  uint16_t constant(VMValue v) {
    proto_.constants.push_back(v);
    return static_cast<uint16_t>(proto_.constants.size() - 1);
  }
  uint32_t add() { return vm_.add_prototype(proto_); }

 private:
  VM& vm_;
  Prototype proto_;
};

bool same(VMValue a, VMValue b) {
  if (a.tag() != b.tag()) return false;
  if (a.is_float()) {
    return a.as_float() == b.as_float() || (std::isnan(a.as_float()) && std::isnan(b.as_float()));
  }
  return a.payload0() == b.payload0() && a.payload1() == b.payload1();
}

class VmTest : public testing::Test {
 protected:
  VMValue sym(std::string_view name) { return VMValue::symbol(vm.interner().intern(name)); }
  VMValue kw(std::string_view name) { return VMValue::keyword(vm.interner().intern(name)); }
  VMValue str(std::string text) { return vm.alloc_string(std::move(text)); }

  // The display text of the error a run ends with ("" when it succeeds).
  std::string error_of(uint32_t proto) {
    auto result = vm.run(proto);
    return result ? "" : result.error().display();
  }
  VMValue value_of(uint32_t proto) {
    auto result = vm.run(proto);
    EXPECT_TRUE(result) << result.error().display();
    return result ? *result : VMValue::nil();
  }
  const HeapObject* object(VMValue v) { return v.is_heap() ? vm.heap().get(v.as_heap()) : nullptr; }

  // A closure over `proto` left on the stack of top-level code.
  static Code& closure(Code& code, uint16_t proto, uint8_t captures = 0) {
    return code.k16(OpCode::MakeClosure, proto, captures);
  }

  VM vm{kNatives};
};

// --- The numeric tower ---------------------------------------------------------

TEST_F(VmTest, ArithmeticInstructions) {
  struct Case {
    const char* what;
    uint32_t word;
    std::vector<VMValue> operands;
    std::variant<VMValue, std::string> expected;  // a value or an error display
  };
  const auto i = VMValue::integer;
  const auto f = VMValue::floating;
  const auto r = VMValue::ratio;
  const auto b = VMValue::boolean;
  const Case cases[] = {
      {"Int add wraps", encode(OpCode::Add), {i(kMax), i(1)}, i(kMin)},
      {"Int sub wraps", encode(OpCode::Sub), {i(kMin), i(1)}, i(kMax)},
      {"Int mul wraps", encode(OpCode::Mul), {i(kMax), i(2)}, i(-2)},
      {"Int with float", encode(OpCode::Add), {i(1), f(0.5)}, f(1.5)},
      {"exact Int quotient", encode(OpCode::Div), {i(6), i(3)}, i(2)},
      {"ratio quotient", encode(OpCode::Div), {i(1), i(2)}, r(1, 2)},
      {"denominator made positive", encode(OpCode::Div), {i(2), i(-4)}, r(-1, 2)},
      {"Int by zero", encode(OpCode::Div), {i(1), i(0)}, "Division by zero"},
      {"float by Int zero",
       encode(OpCode::Div),
       {f(1.0), i(0)},
       f(std::numeric_limits<double>::infinity())},
      {"ratio by float zero", encode(OpCode::Div), {r(1, 2), f(0.0)}, "Division by zero"},
      {"ratio by ratio", encode(OpCode::Div), {r(1, 2), r(1, 4)}, i(2)},
      {"most negative by -1", encode(OpCode::Div), {i(kMin), i(-1)}, i(kMin)},
      {"ratio sum to Int", encode(OpCode::Add), {r(1, 2), r(1, 2)}, i(1)},
      {"ratio difference", encode(OpCode::Sub), {r(1, 2), r(1, 3)}, r(1, 6)},
      {"ratio times float", encode(OpCode::Mul), {r(1, 2), f(2.0)}, f(1.0)},
      {"ratio overflow", encode(OpCode::Mul), {r(1, kMax), r(1, 2)}, "Type error: ratio overflow"},
      {"non-number", encode(OpCode::Add), {i(1), VMValue::nil()}, "Type error: expected numbers"},
      {"truncated remainder", encode(OpCode::Mod), {i(-7), i(2)}, i(-1)},
      {"float remainder", encode(OpCode::Mod), {f(7.5), i(2)}, f(1.5)},
      {"float remainder by zero", encode(OpCode::Mod), {f(1.0), f(0.0)}, f(kNaN)},
      {"Int remainder by zero", encode(OpCode::Mod), {i(1), i(0)}, "Division by zero"},
      {"most negative rem -1", encode(OpCode::Mod), {i(kMin), i(-1)}, i(0)},
      {"ratio remainder", encode(OpCode::Mod), {r(1, 2), i(1)}, "Type error: expected numbers"},
      {"negate Int wraps", encode(OpCode::Neg), {i(kMin)}, i(kMin)},
      {"negate ratio", encode(OpCode::Neg), {r(1, 2)}, r(-1, 2)},
      {"negate non-number", encode(OpCode::Neg), {VMValue::nil()}, "Type error: expected number"},
      {"ratio below float", encode(OpCode::Lt), {r(1, 3), f(0.5)}, b(true)},
      {"ratios exactly", encode(OpCode::Lt), {r(1, 3), r(1, 2)}, b(true)},
      {"ratio against NaN", encode(OpCode::Lt), {r(1, 2), f(kNaN)}, "Type error: invalid float"},
      {"float against NaN", encode(OpCode::Lt), {f(1.0), f(kNaN)}, b(false)},
      {"compare non-number",
       encode(OpCode::Lt),
       {i(1), VMValue::nil()},
       "Type error: expected numbers"},
      {"Le equal", encode(OpCode::Le), {i(2), f(2.0)}, b(true)},
      {"Gt", encode(OpCode::Gt), {i(3), r(5, 2)}, b(true)},
      {"Ge", encode(OpCode::Ge), {r(5, 2), i(3)}, b(false)},
      {"Int equals float", encode(OpCode::Eq), {i(1), f(1.0)}, b(true)},
      {"NotEq", encode(OpCode::NotEq), {i(1), i(2)}, b(true)},
      {"Not of 0", encode(OpCode::Not), {i(0)}, b(false)},
      {"Not of nil", encode(OpCode::Not), {VMValue::nil()}, b(true)},
      {"invalid opcode", 200, {}, "Invalid opcode: 200"},
  };
  for (const Case& c : cases) {
    Code code(vm);
    for (const VMValue& v : c.operands) code.load(v);
    const uint32_t proto = code.word(c.word).op(OpCode::Return).add();
    auto result = vm.run(proto);
    if (const auto* value = std::get_if<VMValue>(&c.expected)) {
      ASSERT_TRUE(result) << c.what << ": " << result.error().display();
      EXPECT_TRUE(same(*result, *value)) << c.what << ": got " << to_diagnostic_string(*result)
                                         << ", want " << to_diagnostic_string(*value);
    } else {
      ASSERT_FALSE(result) << c.what << ": got " << to_diagnostic_string(*result);
      EXPECT_EQ(result.error().display(), std::get<std::string>(c.expected)) << c.what;
    }
  }
}

TEST_F(VmTest, ArithmeticFunctionsServeTheNumberNatives) {
  EXPECT_TRUE(same(*arith_add(VMValue::ratio(1, 3), VMValue::integer(1)), VMValue::ratio(4, 3)));
  EXPECT_TRUE(*arith_ge(VMValue::integer(2), VMValue::ratio(3, 2)));
  EXPECT_FALSE(arith_le(VMValue::ratio(1, 2), VMValue::floating(kNaN)));
  EXPECT_TRUE(same(*make_ratio(6, -4), VMValue::ratio(-3, 2)));
  EXPECT_EQ(make_ratio(1, 0).error().kind, VMErrorKind::DivisionByZero);
}

// --- Control flow -------------------------------------------------------------

TEST_F(VmTest, Jumps) {
  // Offset 0 falls through.
  Code through(vm);
  through.load(VMValue::integer(1)).jump(OpCode::Jump, 0).load(VMValue::integer(2));
  EXPECT_TRUE(
      same(value_of(through.op(OpCode::Add).op(OpCode::Return).add()), VMValue::integer(3)));

  // Offset -1 loops on the jump itself while it keeps popping true.
  Code self(vm);
  self.load(VMValue::boolean(false)).load(VMValue::integer(7)).load(VMValue::integer(8));
  self.jump(OpCode::JumpIfTrue, -1).load(VMValue::integer(42)).op(OpCode::Return);
  EXPECT_TRUE(same(value_of(self.add()), VMValue::integer(42)));

  // A counted loop: local 0 runs from 0 to 5.
  Code loop(vm, "", 0, 1);
  loop.load(VMValue::integer(0)).op(OpCode::StoreLocal, 0);
  loop.op(OpCode::LoadLocal, 0).load(VMValue::integer(5)).op(OpCode::Lt);   // 2..4
  loop.jump(OpCode::JumpIfFalse, 5);                                        // 5
  loop.op(OpCode::LoadLocal, 0).load(VMValue::integer(1)).op(OpCode::Add);  // 6..8
  loop.op(OpCode::StoreLocal, 0).jump(OpCode::Jump, -9);                    // 9, 10
  loop.op(OpCode::LoadLocal, 0).op(OpCode::Return);
  EXPECT_TRUE(same(value_of(loop.add()), VMValue::integer(5)));

  Code wild(vm);
  EXPECT_EQ(error_of(wild.jump(OpCode::Jump, 100).add()),
            "Value error: invalid bytecode: jump target out of range");
  Code past_end(vm);
  EXPECT_EQ(error_of(past_end.load(VMValue::nil()).add()),
            "Value error: invalid bytecode: execution ran past the end of the code");
}

// Sequences the machine runs fused behave like their instructions for every
// operand kind, and a jump into their middle runs the plain instructions.
TEST_F(VmTest, FusedSequences) {
  struct Case {
    const char* what;
    VMValue x;
    std::variant<VMValue, std::string> compare_const;  // (if (< x 2) :yes :no)
    std::variant<VMValue, std::string> compare_local;  // the same with 2 in a local
    std::variant<VMValue, std::string> add;            // (+ x 2)
  };
  const std::string expected_numbers = "Type error: expected numbers";
  const Case cases[] = {
      {"Int below", VMValue::integer(1), kw("yes"), kw("yes"), VMValue::integer(3)},
      {"Int above", VMValue::integer(5), kw("no"), kw("no"), VMValue::integer(7)},
      {"Float", VMValue::floating(1.5), kw("yes"), kw("yes"), VMValue::floating(3.5)},
      {"Ratio", VMValue::ratio(5, 2), kw("no"), kw("no"), VMValue::ratio(9, 2)},
      {"nil", VMValue::nil(), expected_numbers, expected_numbers, expected_numbers},
  };
  const auto check = [&](const char* what, uint32_t proto,
                         const std::variant<VMValue, std::string>& expected) {
    auto result = vm.run(proto);
    if (const auto* value = std::get_if<VMValue>(&expected)) {
      ASSERT_TRUE(result) << what << ": " << result.error().display();
      EXPECT_TRUE(same(*result, *value)) << what << ": " << to_diagnostic_string(*result);
    } else {
      ASSERT_FALSE(result) << what;
      EXPECT_EQ(result.error().display(), std::get<std::string>(expected)) << what;
      ASSERT_TRUE(result.error().span) << what;
      EXPECT_EQ(result.error().span->line, 4u) << what << ": the span of the operation itself";
    }
  };
  for (const Case& c : cases) {
    for (const bool by_local : {false, true}) {
      Code code(vm, "", 0, 2);
      code.load(c.x).op(OpCode::StoreLocal, 0).load(VMValue::integer(2)).op(OpCode::StoreLocal, 1);
      code.op(OpCode::LoadLocal, 0);  // 4
      if (by_local) {
        code.op(OpCode::LoadLocal, 1);
      } else {
        code.load(VMValue::integer(2));
      }
      code.span(4).op(OpCode::Lt).jump(OpCode::JumpIfFalse, 2);
      code.load(kw("yes")).op(OpCode::Return).load(kw("no")).op(OpCode::Return);
      check(c.what, code.add(), by_local ? c.compare_local : c.compare_const);
    }
    Code add(vm, "", 0, 1);
    add.load(c.x).op(OpCode::StoreLocal, 0).op(OpCode::LoadLocal, 0).load(VMValue::integer(2));
    check(c.what, add.span(4).op(OpCode::Add).op(OpCode::Return).add(), c.add);
  }

  // The Jump skips the LoadLocal that starts a fused (- local 1).
  Code middle(vm, "", 0, 1);
  middle.load(VMValue::integer(10)).op(OpCode::StoreLocal, 0).load(VMValue::integer(7));
  middle.jump(OpCode::Jump, 1).op(OpCode::LoadLocal, 0).load(VMValue::integer(1));
  EXPECT_TRUE(same(value_of(middle.op(OpCode::Sub).op(OpCode::Return).add()), VMValue::integer(6)));

  // Two stores in a row, then (- a b) over two locals.
  Code stores(vm, "", 0, 2);
  stores.load(VMValue::integer(1)).load(VMValue::integer(2));
  stores.op(OpCode::StoreLocal, 0).op(OpCode::StoreLocal, 1);
  stores.op(OpCode::LoadLocal, 0).op(OpCode::LoadLocal, 1).op(OpCode::Sub).op(OpCode::Return);
  EXPECT_TRUE(same(value_of(stores.add()), VMValue::integer(1)));
  Code bad_store(vm, "", 0, 1);
  bad_store.load(VMValue::integer(1)).load(VMValue::integer(2));
  bad_store.op(OpCode::StoreLocal, 0).op(OpCode::StoreLocal, 5).op(OpCode::Return);
  EXPECT_EQ(error_of(bad_store.add()), "Index 5 out of bounds for length 1");
}

// --- Errors, traces and the machine after a failure --------------------------------

TEST_F(VmTest, ErrorInAFunctionHasTwoTraceLinesWithSpans) {
  Code f(vm, "f");
  f.load(VMValue::integer(1)).load(VMValue::integer(0)).span(3).op(OpCode::Div).op(OpCode::Return);
  const uint32_t fp = f.add();
  Code top(vm);
  closure(top, fp).span(7).op(OpCode::Call, 0).op(OpCode::Return);
  auto result = vm.run(top.add());
  ASSERT_FALSE(result);
  const VMErrorInfo& info = result.error();
  EXPECT_EQ(info.display(), "Division by zero");
  ASSERT_EQ(info.stack.size(), 2u);
  EXPECT_EQ(info.stack[0].function, "f");
  ASSERT_TRUE(info.stack[0].span);
  EXPECT_EQ(info.stack[0].span->line, 3u);
  EXPECT_EQ(info.stack[0].span->start, 30u);
  EXPECT_FALSE(info.stack[1].function);
  ASSERT_TRUE(info.stack[1].span);
  EXPECT_EQ(info.stack[1].span->line, 7u);
  EXPECT_EQ(info.span, info.stack[0].span);

  // The failed run left nothing behind: popping now underflows, and a new
  // run gets its own value.
  Code pop(vm);
  EXPECT_EQ(error_of(pop.op(OpCode::Pop).load(VMValue::integer(1)).op(OpCode::Return).add()),
            "Stack underflow");
  Code next(vm);
  EXPECT_TRUE(
      same(value_of(next.load(VMValue::integer(5)).op(OpCode::Return).add()), VMValue::integer(5)));
}

TEST_F(VmTest, ErrorInsideApplyKeepsTheNestedFramesInTheTrace) {
  Code g(vm, "g");
  g.load(VMValue::nil()).span(2).op(OpCode::Neg).op(OpCode::Return);
  const uint32_t gp = g.add();
  Code top(vm);
  closure(top, gp).span(5).k16(OpCode::CallNative, kCall, 1).op(OpCode::Return);
  auto result = vm.run(top.add());
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().display(), "Type error: expected number");
  ASSERT_EQ(result.error().stack.size(), 2u);
  EXPECT_EQ(result.error().stack[0].function, "g");
  EXPECT_EQ(result.error().stack[0].span->line, 2u);
  EXPECT_EQ(result.error().stack[1].span->line, 5u);
  Code pop(vm);
  EXPECT_EQ(error_of(pop.op(OpCode::Pop).op(OpCode::Return).add()), "Stack underflow");
}

TEST_F(VmTest, UnboundedRecursionIsAStackOverflowAndTheMachineStaysUsable) {
  // (defn down [n] (down (+ n 1))): a non-tail self call with no end, through
  // the slot the compiler reserved for `down`.
  const auto slot = static_cast<uint16_t>(vm.global_count());
  vm.reserve_global_slot(vm.interner().intern("down"), slot);
  Code down(vm, "down", 1, 1);
  down.op(OpCode::LoadLocal, 0).load(VMValue::integer(1)).op(OpCode::Add);
  down.k16(OpCode::LoadGlobalSlot, slot).op(OpCode::Call, 1).op(OpCode::Return);
  const uint32_t dp = down.add();
  Code top(vm);
  closure(top, dp).global(OpCode::DefineGlobal, "down");
  top.load(VMValue::integer(0)).global(OpCode::LoadGlobal, "down").op(OpCode::Call, 1);
  top.op(OpCode::Return);
  auto result = vm.run(top.add());
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().display(), "Value error: stack overflow: too many nested calls");
  EXPECT_EQ(result.error().stack.size(), VM::kMaxFrames);

  // The same recursion nested through a native calling back.
  Code via(vm, "via", 1, 1);
  via.global(OpCode::LoadGlobal, "via").op(OpCode::LoadLocal, 0);
  via.k16(OpCode::CallNative, kCall, 2).op(OpCode::Return);
  const uint32_t vp = via.add();
  Code top2(vm);
  closure(top2, vp).global(OpCode::DefineGlobal, "via");
  top2.load(VMValue::integer(0)).global(OpCode::LoadGlobal, "via").op(OpCode::Call, 1);
  EXPECT_EQ(error_of(top2.op(OpCode::Return).add()),
            "Value error: stack overflow: too many nested calls");

  Code next(vm);
  EXPECT_TRUE(
      same(value_of(next.load(VMValue::integer(5)).op(OpCode::Return).add()), VMValue::integer(5)));
}

TEST_F(VmTest, TailCallReusesTheFrame) {
  // (fn count [n] (if (= n 0) :done (count (- n 1)))) with the self call a
  // TailCall, run deeper than the frame limit.
  Code count(vm, "count", 1, 1);
  count.op(OpCode::LoadLocal, 0).load(VMValue::integer(0)).op(OpCode::Eq);
  count.jump(OpCode::JumpIfFalse, 2).load(kw("done")).op(OpCode::Return);
  count.op(OpCode::LoadLocal, 0).load(VMValue::integer(1)).op(OpCode::Sub);
  count.global(OpCode::LoadGlobal, "count").op(OpCode::TailCall, 1).op(OpCode::Return);
  const uint32_t cp = count.add();
  Code top(vm);
  closure(top, cp).global(OpCode::DefineGlobal, "count");
  top.load(VMValue::integer(3 * VM::kMaxFrames)).global(OpCode::LoadGlobal, "count");
  EXPECT_TRUE(same(value_of(top.op(OpCode::Call, 1).op(OpCode::Return).add()), kw("done")));
}

// --- Callees -----------------------------------------------------------------------

TEST_F(VmTest, ValuesCalledAsFunctions) {
  struct Case {
    const char* what;
    std::vector<VMValue> args;
    std::string callee;  // built by the program: "map" {:a 1}, "vector" [10 20], "list" (10 20),
                         // "set" #{1 2}
    std::variant<VMValue, std::string> expected;
  };
  const auto i = VMValue::integer;
  const Case cases[] = {
      {"keyword on map", {}, "kw-map", i(1)},
      {"keyword default", {i(2)}, "kw-miss", i(2)},
      {"keyword on number", {}, "kw-num", VMValue::nil()},
      {"keyword without argument", {}, "kw-none", "Wrong number of arguments: expected 1, got 0"},
      {"vector index", {i(1)}, "vector", i(20)},
      {"vector past end", {i(2)}, "vector", "Index 2 out of bounds for length 2"},
      {"vector keyword index", {kw("x")}, "vector", "Type error: vector index must be integer"},
      {"list", {i(0)}, "list", "Value is not callable"},
      {"set member", {i(2)}, "set", i(2)},
      {"set non-member", {i(3)}, "set", VMValue::nil()},
      {"map lookup", {kw("a")}, "map", i(1)},
      {"map default", {kw("b"), i(9)}, "map", i(9)},
      {"number", {}, "number", "Value is not callable"},
  };
  for (const Case& c : cases) {
    Code code(vm);
    const VMValue a = kw("a");
    uint8_t argc = static_cast<uint8_t>(c.args.size());
    if (c.callee.starts_with("kw-")) {
      if (c.callee == "kw-map" || c.callee == "kw-miss") {
        code.load(a).load(i(1)).k16(OpCode::MakeMap, 1);
        ++argc;
      } else if (c.callee == "kw-num") {
        code.load(i(5));
        ++argc;
      }
      for (const VMValue& v : c.args) code.load(v);
      code.load(c.callee == "kw-miss" ? kw("b") : a);
    } else {
      for (const VMValue& v : c.args) code.load(v);
      if (c.callee == "map") code.load(a).load(i(1)).k16(OpCode::MakeMap, 1);
      if (c.callee == "vector") code.load(i(10)).load(i(20)).k16(OpCode::MakeVector, 2);
      if (c.callee == "list") code.load(i(10)).load(i(20)).k16(OpCode::MakeList, 2);
      if (c.callee == "set") code.load(i(1)).load(i(2)).k16(OpCode::MakeSet, 2);
      if (c.callee == "number") code.load(i(5));
    }
    auto result = vm.run(code.op(OpCode::Call, argc).op(OpCode::Return).add());
    if (const auto* value = std::get_if<VMValue>(&c.expected)) {
      ASSERT_TRUE(result) << c.what << ": " << result.error().display();
      EXPECT_TRUE(same(*result, *value)) << c.what << ": " << to_diagnostic_string(*result);
    } else {
      ASSERT_FALSE(result) << c.what;
      EXPECT_EQ(result.error().display(), std::get<std::string>(c.expected)) << c.what;
    }
  }
}

TEST_F(VmTest, ApplyRefusesMapsThatCallAccepts) {
  Code code(vm);
  code.load(kw("a")).load(VMValue::integer(1)).k16(OpCode::MakeMap, 1);
  code.load(kw("a")).k16(OpCode::CallNative, kCall, 2).op(OpCode::Return);
  EXPECT_EQ(error_of(code.add()), "Value is not callable");
}

class ClauseTest : public VmTest {
 protected:
  // A prototype returning its local `slot`.
  uint32_t returns_local(uint8_t arity, uint16_t locals, uint8_t slot, bool variadic = false) {
    Code body(vm, "", arity, locals, variadic);
    return body.op(OpCode::LoadLocal, slot).op(OpCode::Return).add();
  }
  uint32_t returns(VMValue v) {
    Code body(vm, "", 1, 1);
    return body.load(v).op(OpCode::Return).add();
  }
  // Top-level code that calls a closure made from the clauses with the arguments.
  uint32_t call_template(std::vector<ClauseInfo> clauses, std::vector<VMValue> args) {
    const HeapKey tmpl = vm.heap().alloc_no_gc(
        ClosureTemplate{std::make_shared<const std::vector<ClauseInfo>>(std::move(clauses))});
    Code top(vm);
    for (const VMValue& v : args) top.load(v);
    top.k16(OpCode::MakeClosureFromTemplate, top.constant(VMValue::heap(tmpl)), 0);
    return top.op(OpCode::Call, static_cast<uint8_t>(args.size())).op(OpCode::Return).add();
  }
  static CompiledPattern bind(uint8_t slot) { return {CompiledPattern::Bind{slot}}; }
  static CompiledPattern literal(uint16_t constant) { return {CompiledPattern::Literal{constant}}; }
};

TEST_F(ClauseTest, ArityMismatchListsTheClauses) {
  const ClauseInfo one{std::nullopt, {}, returns_local(1, 1, 0), false, 1};
  const ClauseInfo rest{std::nullopt, {}, returns_local(2, 3, 2, true), true, 2};
  EXPECT_EQ(error_of(call_template({one, rest}, {})),
            "Value error: Wrong number of arguments (0), function expects [1, 2+]");
  const VMValue list =
      value_of(call_template({one, rest}, {VMValue::integer(1), VMValue::integer(2),
                                           VMValue::integer(3), VMValue::integer(4)}));
  const auto* seq = std::get_if<SeqData>(object(list));
  ASSERT_TRUE(seq);
  EXPECT_FALSE(seq->is_vector);
  ASSERT_EQ(seq->items.size(), 2u);
  EXPECT_TRUE(same(seq->items.nth(1), VMValue::integer(4)));
}

TEST_F(ClauseTest, PatternsAndGuardsChooseTheClause) {
  // Clauses whose body prototypes hold the literal as constant 0.
  Code first(vm, "", 1, 1);
  first.constant(VMValue::integer(1));
  const uint32_t fp = first.load(kw("one")).op(OpCode::Return).add();
  Code second(vm, "", 1, 1);
  second.constant(VMValue::integer(2));
  const uint32_t sp = second.load(kw("two")).op(OpCode::Return).add();
  const ClauseInfo is_one{std::nullopt, {literal(0)}, fp, false, 1};
  const ClauseInfo is_two{std::nullopt, {literal(0)}, sp, false, 1};
  EXPECT_TRUE(same(value_of(call_template({is_one, is_two}, {VMValue::integer(2)})), kw("two")));
  EXPECT_EQ(error_of(call_template({is_one, is_two}, {VMValue::integer(3)})), "No matching clause");

  // A guard (> x 10) over the bound parameter; the second clause takes the rest.
  Code guard(vm, "", 0, 1);
  guard.op(OpCode::LoadLocal, 0).load(VMValue::integer(10)).op(OpCode::Gt).op(OpCode::Return);
  const uint32_t gp = guard.add();
  const ClauseInfo big{gp, {bind(0)}, returns(kw("big")), false, 1};
  const ClauseInfo small{std::nullopt, {bind(0)}, returns(kw("small")), false, 1};
  EXPECT_TRUE(same(value_of(call_template({big, small}, {VMValue::integer(50)})), kw("big")));
  EXPECT_TRUE(same(value_of(call_template({big, small}, {VMValue::integer(5)})), kw("small")));

  // A guard that fails ends the call with its error.
  Code bad_guard(vm);
  const uint32_t bp = bad_guard.load(VMValue::nil()).op(OpCode::Neg).op(OpCode::Return).add();
  const ClauseInfo broken{bp, {bind(0)}, returns(kw("x")), false, 1};
  EXPECT_EQ(error_of(call_template({broken}, {VMValue::integer(1)})),
            "Type error: expected number");
}

TEST_F(ClauseTest, DestructuringPatterns) {
  // [[a & more] {:k v :or {v 7}}] binding a, more, v to slots 0, 1, 2.
  Code body(vm, "", 2, 3);
  body.op(OpCode::LoadLocal, 0).op(OpCode::LoadLocal, 1).op(OpCode::LoadLocal, 2);
  const uint16_t key = body.constant(kw("k"));
  const uint16_t fallback = body.constant(VMValue::integer(7));
  const uint32_t bp = body.k16(OpCode::MakeVector, 3).op(OpCode::Return).add();
  CompiledPattern::Sequential seq;
  seq.element_patterns.push_back(bind(0));
  seq.rest_pattern.emplace(bind(1));
  CompiledPattern::Associative assoc;
  assoc.entries.push_back({key, bind(2)});
  assoc.defaults.push_back({key, fallback});
  const ClauseInfo clause{std::nullopt, {{seq}, {assoc}}, bp, false, 2};

  const auto run_with = [&](VMValue first, VMValue second) {
    return vm.run(call_template({clause}, {first, second}));
  };
  const VMValue vec =
      vm.make_vector({VMValue::integer(1), VMValue::integer(2), VMValue::integer(3)});
  const VMValue empty_map = VMValue::heap(vm.heap().alloc_no_gc(VMMap{}));
  auto result = run_with(vec, empty_map);
  ASSERT_TRUE(result) << result.error().display();
  const auto* out = std::get_if<SeqData>(object(*result));
  ASSERT_TRUE(out);
  EXPECT_TRUE(same(out->items.nth(0), VMValue::integer(1)));
  const auto* more = std::get_if<SeqData>(object(out->items.nth(1)));
  ASSERT_TRUE(more);
  EXPECT_EQ(more->items.size(), 2u);
  EXPECT_TRUE(same(out->items.nth(2), VMValue::integer(7)));

  // A string is a sequence of one-character strings.
  result = run_with(str("héllo"), empty_map);
  ASSERT_TRUE(result);
  const auto* text =
      std::get_if<StringObject>(object(std::get<SeqData>(*object(*result)).items.nth(0)));
  ASSERT_TRUE(text);
  EXPECT_EQ(text->text, "h");

  EXPECT_EQ(run_with(VMValue::integer(1), empty_map).error().display(),
            "Type error: expected sequential");
  EXPECT_EQ(run_with(vec, VMValue::integer(1)).error().display(), "Type error: expected map");
  EXPECT_EQ(run_with(VMValue::nil(), empty_map).error().display(), "No matching clause");
}

TEST_F(ClauseTest, Variants) {
  // (defdata Shape (Circle r) Dot)
  const uint32_t r = vm.interner().intern("r");
  const HeapKey dot = vm.heap().alloc_no_gc(VariantObject{VariantObject::make_tag(0, 1), {}});
  VariantDef circle{vm.interner().intern("Circle"), {r}, {{r, 0}}, std::nullopt};
  VariantDef dot_def{vm.interner().intern("Dot"), {}, {}, dot};
  const uint16_t shape =
      vm.types().register_type(TypeDef{vm.interner().intern("Shape"), {circle, dot_def}});

  Code make(vm);
  make.load(VMValue::integer(5)).k16(OpCode::MakeVariant, shape, 0).op(OpCode::Return);
  const VMValue c = value_of(make.add());
  const auto* variant = std::get_if<VariantObject>(object(c));
  ASSERT_TRUE(variant);
  EXPECT_EQ(variant->tag, VariantObject::make_tag(shape, 0));
  Code singleton(vm);
  EXPECT_TRUE(same(value_of(singleton.k16(OpCode::MakeVariant, shape, 1).op(OpCode::Return).add()),
                   VMValue::heap(dot)));
  Code unknown(vm);
  EXPECT_EQ(error_of(unknown.k16(OpCode::MakeVariant, 99, 0).op(OpCode::Return).add()),
            "Type error: unknown variant type");

  // (:r circle) reads the field; a variant pattern takes it apart.
  Code field(vm);
  field.load(c).load(VMValue::keyword(r)).op(OpCode::Call, 1).op(OpCode::Return);
  EXPECT_TRUE(same(value_of(field.add()), VMValue::integer(5)));
  CompiledPattern::VariantPattern pattern{0, shape, {bind(0)}};
  const ClauseInfo clause{std::nullopt, {{pattern}}, returns_local(1, 1, 0), false, 1};
  EXPECT_TRUE(same(value_of(call_template({clause}, {c})), VMValue::integer(5)));
  EXPECT_EQ(error_of(call_template({clause}, {VMValue::heap(dot)})), "No matching clause");
}

// --- Construction, globals and effects ---------------------------------------------

TEST_F(VmTest, MapAndSetLiteralsCanonicaliseKeys) {
  Code map(vm);
  map.load(kw("a")).load(VMValue::integer(1)).load(kw("a")).load(VMValue::integer(2));
  const VMValue m = value_of(map.k16(OpCode::MakeMap, 2).op(OpCode::Return).add());
  const auto* entries = std::get_if<VMMap>(object(m));
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_TRUE(same(*entries->find(kw("a")), VMValue::integer(2)));

  Code set(vm);
  set.load(VMValue::integer(1)).load(VMValue::integer(2)).k16(OpCode::MakeVector, 2);
  set.load(VMValue::integer(1)).load(VMValue::integer(2)).k16(OpCode::MakeVector, 2);
  const VMValue s = value_of(set.k16(OpCode::MakeSet, 2).op(OpCode::Return).add());
  ASSERT_TRUE(std::get_if<VMSet>(object(s)));
  EXPECT_EQ(std::get<VMSet>(*object(s)).size(), 1u);
}

TEST_F(VmTest, UpvaluesAndGlobals) {
  Code top_upvalue(vm);
  EXPECT_EQ(error_of(top_upvalue.op(OpCode::LoadUpvalue, 0).op(OpCode::Return).add()),
            "Type error: no closure for upvalue access");

  // A closure over 41 that adds one to its captured value.
  Code inc(vm, "inc");
  inc.op(OpCode::LoadUpvalue, 0).load(VMValue::integer(1)).op(OpCode::Add).op(OpCode::Return);
  const uint32_t ip = inc.add();
  Code top(vm);
  closure(top.load(VMValue::integer(41)), ip, 1).op(OpCode::Call, 0).op(OpCode::Return);
  EXPECT_TRUE(same(value_of(top.add()), VMValue::integer(42)));

  // A reserved slot reads as undefined until its definition runs.
  const uint32_t name = vm.interner().intern("later");
  const uint32_t slot = vm.global_count();
  vm.reserve_global_slot(name, slot);
  Code read(vm);
  const uint32_t rp =
      read.k16(OpCode::LoadGlobalSlot, static_cast<uint16_t>(slot)).op(OpCode::Return).add();
  EXPECT_EQ(error_of(rp), "Undefined variable: later");
  Code define(vm);
  define.load(VMValue::integer(3)).global(OpCode::DefineGlobal, "later").load(VMValue::nil());
  EXPECT_TRUE(value_of(define.op(OpCode::Return).add()).is_nil());
  EXPECT_EQ(vm.global_slot(name), slot);
  EXPECT_TRUE(same(value_of(rp), VMValue::integer(3)));
  Code unbound(vm);
  EXPECT_EQ(error_of(unbound.global(OpCode::LoadGlobal, "nowhere").op(OpCode::Return).add()),
            "Undefined variable: nowhere");
}

TEST_F(VmTest, StartUpBindsNativesEffectsAndOptics) {
  EXPECT_TRUE(same(*vm.get_global(vm.interner().intern("pair")), VMValue::native(kPair)));
  EXPECT_EQ(vm.docs().at(vm.interner().intern("call")).text, "f × a ... -> b\nCalls f.");
  EXPECT_FALSE(vm.docs().contains(vm.interner().intern("boom")));
  EXPECT_EQ(vm.get_effect_id("exn"), kExnEffectId);
  EXPECT_EQ(vm.get_effect_id("random"), kRandomEffectId);
  EXPECT_EQ(vm.effect_name_by_id(kConsoleEffectId), "console");
  EXPECT_FALSE(vm.get_effect_id("each"));
  EXPECT_EQ(vm.take_next_effect_id(), 1u);
  const VMValue deep = *vm.get_global(vm.interner().intern("deep"));
  EXPECT_TRUE(same(deep, *vm.get_global(vm.interner().intern("DEEP"))));
  ASSERT_TRUE(std::get_if<OpticKind>(object(deep)));
  EXPECT_TRUE(std::holds_alternative<OpticKind::Deep>(std::get<OpticKind>(*object(deep)).kind));

  auto index =
      vm.register_dynamic_native("twice", [](VM&, std::span<const VMValue> args) -> NativeResult {
        return VMValue::integer(2 * args[0].as_int());
      });
  ASSERT_TRUE(index);
  EXPECT_EQ(*index, std::size(kNatives));
  Code code(vm);
  code.load(VMValue::integer(21)).global(OpCode::LoadGlobal, "twice").op(OpCode::Call, 1);
  EXPECT_TRUE(same(value_of(code.op(OpCode::Return).add()), VMValue::integer(42)));
}

TEST_F(VmTest, HostHandlersServePerformsAndErrors) {
  Code print(vm);
  print.load(VMValue::integer(1));
  const uint8_t effect = static_cast<uint8_t>(print.constant(sym("console")));
  const uint8_t op = static_cast<uint8_t>(print.constant(sym("println")));
  const uint32_t pp = print.op(OpCode::PerformOp, effect, op, 1).op(OpCode::Return).add();
  EXPECT_EQ(error_of(pp), "Unhandled effect: console");

  // An exn handler does not take the unhandled effect.
  std::vector<std::string> raised;
  vm.set_host_handler(
      kExnEffectId,
      [&](VM& m, uint32_t operation,
          std::span<const VMValue> args) -> Result<HostHandlerResult, VMError> {
        EXPECT_EQ(m.interner().text(operation), "raise");
        const auto& entries = std::get<VMMap>(*m.heap().get(args[0].as_heap()));
        const VMValue type = *entries.find(VMValue::keyword(m.interner().intern("type")));
        const VMValue message = *entries.find(VMValue::keyword(m.interner().intern("message")));
        raised.push_back(std::string(m.interner().text(type.name_key())) + " " +
                         std::get<StringObject>(*m.heap().get(message.as_heap())).text);
        return HostHandlerResult{HostAction::Resume, VMValue::integer(99)};
      });
  EXPECT_EQ(error_of(pp), "Unhandled effect: console");

  vm.set_host_handler(
      kConsoleEffectId,
      [](VM&, uint32_t, std::span<const VMValue> args) -> Result<HostHandlerResult, VMError> {
        return HostHandlerResult{HostAction::Resume, args[0]};
      });
  EXPECT_TRUE(same(value_of(pp), VMValue::integer(1)));

  // (+ (/ 1 0) 1) with the exn handler resuming with 99.
  Code div(vm);
  div.load(VMValue::integer(1)).load(VMValue::integer(0)).op(OpCode::Div);
  div.load(VMValue::integer(1)).op(OpCode::Add).op(OpCode::Return);
  EXPECT_TRUE(same(value_of(div.add()), VMValue::integer(100)));
  Code boom(vm);
  EXPECT_TRUE(same(value_of(boom.k16(OpCode::CallNative, kBoom, 0).op(OpCode::Return).add()),
                   VMValue::integer(99)));
  EXPECT_EQ(raised, (std::vector<std::string>{"division-by-zero Division by zero",
                                              "type-error Type error: boom"}));
}

TEST_F(VmTest, StressModeKeepsEverythingReachable) {
  // (loop [i 0 acc nil sum 0]
  //   (if (< i 300)
  //     (recur (+ i 1) (list i acc (rest-of i (pair i i))) (+ sum ((fn [] (* i 2)))))
  //     [sum acc]))
  Code twice(vm, "twice");
  twice.op(OpCode::LoadUpvalue, 0).load(VMValue::integer(2)).op(OpCode::Mul);
  const uint32_t tp = twice.op(OpCode::Return).add();
  Code rest_of(vm, "rest-of", 1, 2, true);
  const uint32_t rp = rest_of.op(OpCode::LoadLocal, 1).op(OpCode::Return).add();

  Code loop(vm, "", 0, 3);
  loop.load(VMValue::integer(0)).op(OpCode::StoreLocal, 0);                            // 0, 1
  loop.load(VMValue::nil()).op(OpCode::StoreLocal, 1);                                 // 2, 3
  loop.load(VMValue::integer(0)).op(OpCode::StoreLocal, 2);                            // 4, 5
  loop.op(OpCode::LoadLocal, 0).load(VMValue::integer(300)).op(OpCode::Lt);            // 6..8
  loop.jump(OpCode::JumpIfFalse, 21);                                                  // 9
  loop.op(OpCode::LoadLocal, 0).load(VMValue::integer(1)).op(OpCode::Add);             // 10..12
  loop.op(OpCode::LoadLocal, 0).op(OpCode::LoadLocal, 1);                              // 13, 14
  loop.op(OpCode::LoadLocal, 0).op(OpCode::LoadLocal, 0).op(OpCode::LoadLocal, 0);     // 15..17
  loop.k16(OpCode::CallNative, kPair, 2);                                              // 18
  closure(loop, rp).op(OpCode::Call, 2).k16(OpCode::MakeList, 3);                      // 19..21
  loop.op(OpCode::LoadLocal, 2).op(OpCode::LoadLocal, 0);                              // 22, 23
  closure(loop, tp, 1).op(OpCode::Call, 0).op(OpCode::Add);                            // 24..26
  loop.op(OpCode::StoreLocal, 2).op(OpCode::StoreLocal, 1).op(OpCode::StoreLocal, 0);  // 27..29
  loop.jump(OpCode::Jump, -25);                                                        // 30
  loop.op(OpCode::LoadLocal, 2).op(OpCode::LoadLocal, 1).k16(OpCode::MakeVector, 2);
  const uint32_t proto = loop.op(OpCode::Return).add();

  vm.heap().set_stress(true);
  const VMValue result = value_of(proto);
  vm.heap().set_stress(false);
  const auto* pair = std::get_if<SeqData>(object(result));
  ASSERT_TRUE(pair);
  EXPECT_TRUE(same(pair->items.nth(0), VMValue::integer(299 * 300)));
  VMValue node = pair->items.nth(1);
  for (int64_t i = 299; i >= 0; --i) {
    const auto* cell = std::get_if<SeqData>(object(node));
    ASSERT_TRUE(cell) << "list cell " << i << " was collected";
    EXPECT_TRUE(same(cell->items.nth(0), VMValue::integer(i)));
    const auto* rest = std::get_if<SeqData>(object(cell->items.nth(2)));
    ASSERT_TRUE(rest) << "rest list " << i << " was collected";
    const auto* made = std::get_if<SeqData>(object(rest->items.nth(0)));
    ASSERT_TRUE(made) << "pair " << i << " was collected";
    EXPECT_TRUE(same(made->items.nth(1), VMValue::integer(i)));
    node = cell->items.nth(1);
  }
  EXPECT_TRUE(node.is_nil());
}

}  // namespace
}  // namespace quorvel
