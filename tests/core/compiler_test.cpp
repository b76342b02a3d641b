#include "compiler/compiler.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "natives/table.h"
#include "reader.h"
#include "runtime/runtime.h"
#include "vm/opcode.h"
#include "vm/vm.h"

namespace quorvel {
namespace {

struct Compiled {
  CompileOutput output;
  uint32_t top = 0;
};

class CompilerTest : public ::testing::Test {
 protected:
  Result<Compiled, CompileError> compile_value(const Value& form) {
    Compiler compiler = Compiler::with_vm(vm);
    auto top = compiler.compile(form);
    if (!top) return make_err(std::move(top).error());
    return Compiled{std::move(compiler).finish(), *top};
  }

  Result<Compiled, CompileError> compile(std::string_view source) {
    Reader reader(std::string(source), 0);
    auto form = reader.read_form();
    if (!form) {
      ADD_FAILURE() << "cannot read " << source << ": " << form.error().display();
      return make_err(CompileError::invalid_syntax("unreadable test source", std::nullopt));
    }
    return compile_value(*form);
  }

  // The code of a prototype, one instruction per line without its position,
  // heap references shown as "heap".
  std::string code(const Prototype& proto) {
    const std::string text = disassemble(proto, &vm.interner());
    std::string out;
    size_t line = 0;
    while (line < text.size()) {
      const size_t end = text.find('\n', line);
      out += text.substr(line + 5, end - line - 5) + "\n";
      line = end + 1;
    }
    return std::regex_replace(out, std::regex(R"(heap\(\d+v\d+\))"), "heap");
  }

  // The code of the top-level prototype of a source form.
  std::string code(std::string_view source) {
    auto compiled = compile(source);
    if (!compiled) {
      ADD_FAILURE() << source << ": " << compiled.error().display();
      return "";
    }
    return code(compiled->output.prototypes[compiled->top]);
  }

  std::string native(std::string_view name) {
    const auto natives = vm.natives();
    for (size_t i = 0; i < natives.size(); ++i) {
      if (natives[i].name == name) return std::to_string(i);
    }
    ADD_FAILURE() << "no native " << name;
    return "";
  }

  std::string global_slot(std::string_view name) {
    return std::to_string(vm.global_slot(vm.interner().intern(name)).value_or(99999));
  }

  const ClauseList& template_clauses(const Compiled& compiled, uint16_t constant) {
    const VMValue ref = compiled.output.prototypes[compiled.top].constants.at(constant);
    return std::get<ClosureTemplate>(*compiled.output.constants.get(ref.as_heap())).clauses;
  }

  VM vm{build_native_table()};
};

TEST_F(CompilerTest, InlineOperatorsByNameAndOperandCount) {
  struct Case {
    std::string source;
    std::string expected;
  };
  const Case cases[] = {
      {"(+ 1 2 3)", "LoadConst 0 ; 1\nLoadConst 1 ; 2\nAdd\nLoadConst 2 ; 3\nAdd\nReturn\n"},
      {"(- 1 2 3)", "LoadConst 0 ; 1\nLoadConst 1 ; 2\nSub\nLoadConst 2 ; 3\nSub\nReturn\n"},
      {"(* 2 3)", "LoadConst 0 ; 2\nLoadConst 1 ; 3\nMul\nReturn\n"},
      {"(/ 2 3)", "LoadConst 0 ; 2\nLoadConst 1 ; 3\nDiv\nReturn\n"},
      {"(- 5)", "LoadConst 0 ; 5\nNeg\nReturn\n"},
      {"(+ 5)", "LoadConst 0 ; 5\nCallNative " + native("+") + " 1\nReturn\n"},
      {"(+)", "CallNative " + native("+") + " 0\nReturn\n"},
      {"(< 1 2 3)", "LoadConst 0 ; 1\nLoadConst 1 ; 2\nLoadConst 2 ; 3\nCallNative " + native("<") +
                        " 3\nReturn\n"},
      {"(>= 1 2)", "LoadConst 0 ; 1\nLoadConst 1 ; 2\nGe\nReturn\n"},
      {"(mod -7 2)", "LoadConst 0 ; -7\nLoadConst 1 ; 2\nMod\nReturn\n"},
      {"(rem -7 2)", "LoadConst 0 ; -7\nLoadConst 1 ; 2\nMod\nReturn\n"},
      {"(not= 1 2)", "LoadConst 0 ; 1\nLoadConst 1 ; 2\nNotEq\nReturn\n"},
      {"(not 0)", "LoadConst 0 ; 0\nNot\nReturn\n"},
      // By name: a local called + is not consulted.
      {"(let [+ -] (+ 1 2))",
       "LoadGlobalSlot " + global_slot("-") +
           "\nStoreLocal 0\nLoadConst 0 ; 1\nLoadConst 1 ; 2\nAdd\nReturn\n"},
      {"(count [1 2])", "LoadConst 0 ; 1\nLoadConst 1 ; 2\nMakeVector 2\nCallNative " +
                            native("count") + " 1\nReturn\n"},
      // A visible local stops the direct native call.
      {"(let [count (fn [x] 0)] (count [1 2]))",
       "MakeClosure 0 0\nStoreLocal 0\nLoadConst 0 ; 1\nLoadConst 1 ; 2\nMakeVector 2\n"
       "LoadLocal 0\nCall 1\nReturn\n"},
      {"(console/print \"hi\")", "LoadConst 0 ; heap\nPerformOp 1 2 1 ; console/print\nReturn\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(code(c.source), c.expected) << c.source;
}

TEST_F(CompilerTest, FailingOperatorsRecordTheirSpan) {
  auto sum = compile("(+ 1 2 3)");
  ASSERT_TRUE(sum);
  const auto& spans = sum->output.prototypes[sum->top].spans;
  ASSERT_EQ(spans.size(), 2u);
  EXPECT_EQ(spans[0].ip, 2u);
  EXPECT_EQ(spans[1].ip, 4u);
  EXPECT_EQ(spans[1].start, 0u);
  EXPECT_EQ(spans[1].end, 9u);
  auto equal = compile("(= 1 2)");
  ASSERT_TRUE(equal);
  EXPECT_TRUE(equal->output.prototypes[equal->top].spans.empty());
}

TEST_F(CompilerTest, SpecialFormShapes) {
  struct Case {
    std::string source;
    std::string expected;
  };
  const Case cases[] = {
      {"(do)", "LoadConst 0 ; nil\nReturn\n"},
      {"(and)", "LoadConst 0 ; true\nReturn\n"},
      {"(or)", "LoadConst 0 ; nil\nReturn\n"},
      {"(do 1 2)", "LoadConst 0 ; 1\nPop\nLoadConst 1 ; 2\nReturn\n"},
      {"(if true 1)",
       "LoadConst 0 ; true\nJumpIfFalse 2 ; -> 0004\nLoadConst 1 ; 1\nJump 1 ; -> 0005\n"
       "LoadConst 2 ; nil\nReturn\n"},
      {"(and 1 nil 2)",
       "LoadConst 0 ; 1\nDup\nJumpIfFalse 6 ; -> 0009\nPop\nLoadConst 1 ; nil\nDup\n"
       "JumpIfFalse 2 ; -> 0009\nPop\nLoadConst 2 ; 2\nReturn\n"},
      {"(or nil false)",
       "LoadConst 0 ; nil\nDup\nJumpIfTrue 2 ; -> 0005\nPop\nLoadConst 1 ; false\nReturn\n"},
      {"(let [x 1 x (+ x 1)] x)",
       "LoadConst 0 ; 1\nStoreLocal 0\nLoadLocal 0\nLoadConst 0 ; 1\nAdd\nStoreLocal 1\n"
       "LoadLocal 1\nReturn\n"},
      {"(loop [i 0] (if (< i 3) (recur (+ i 1)) i))",
       "LoadConst 0 ; 0\nStoreLocal 0\nLoadLocal 0\nLoadConst 1 ; 3\nLt\n"
       "JumpIfFalse 7 ; -> 0013\nLoadLocal 0\nLoadConst 2 ; 1\nAdd\nStoreLocal 0\n"
       "Jump -9 ; -> 0002\nLoadConst 3 ; nil\nJump 1 ; -> 0014\nLoadLocal 0\nReturn\n"},
      // The recur stores into the loop variable, not into the let's local.
      {"(loop [a (let [t 1] t)] (recur 2))",
       "LoadConst 0 ; 1\nStoreLocal 0\nLoadLocal 0\nStoreLocal 1\nLoadConst 1 ; 2\n"
       "StoreLocal 1\nJump -3 ; -> 0004\nLoadConst 2 ; nil\nReturn\n"},
      {"(assert false)",
       "LoadConst 0 ; false\nJumpIfTrue 4 ; -> 0006\nLoadConst 1 ; heap\n"
       "LoadGlobal 2 ; assert-failed\nCall 1\nJump 1 ; -> 0007\nLoadConst 3 ; nil\nReturn\n"},
      {"(def x 1 2)", "LoadConst 0 ; 1\nDup\nDefineGlobal 1 ; x\nReturn\n"},
      {"(undefined-thing)", "LoadGlobal 0 ; undefined-thing\nCall 0\nReturn\n"},
      {"'(a b)", "LoadConst 0 ; heap\nReturn\n"},
      {"()", "MakeList 0\nReturn\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(code(c.source), c.expected) << c.source;
}

TEST_F(CompilerTest, QuotedDataIsAnInternedConstant) {
  auto quoted = compile("(do '(a [1]) '(a [1]))");
  ASSERT_TRUE(quoted);
  const Prototype& top = quoted->output.prototypes[quoted->top];
  EXPECT_EQ(code(top), "LoadConst 0 ; heap\nPop\nLoadConst 0 ; heap\nReturn\n");
  const auto& list = std::get<SeqData>(*quoted->output.constants.get(top.constants[0].as_heap()));
  EXPECT_FALSE(list.is_vector);
  ASSERT_EQ(list.items.size(), 2u);
  EXPECT_EQ(list.items.nth(0).name_key(), vm.interner().find("a"));
  EXPECT_TRUE(
      std::get<SeqData>(*quoted->output.constants.get(list.items.nth(1).as_heap())).is_vector);
}

TEST_F(CompilerTest, DefinitionsBindGlobalSlotsAndDocs) {
  const std::string slot = std::to_string(vm.global_count());
  EXPECT_EQ(code("(do (def a \"the a\" 1) a)"),
            "LoadConst 0 ; 1\nDup\nDefineGlobal 1 ; a\nPop\nLoadGlobalSlot " + slot + "\nReturn\n");
  EXPECT_EQ(global_slot("a"), slot) << "the slot is reserved in the machine";

  auto defined = compile("(defn f \"calls itself\" [n] (f n))");
  ASSERT_TRUE(defined);
  EXPECT_EQ(code(defined->output.prototypes[0]),
            "LoadLocal 0\nLoadGlobalSlot " + global_slot("f") + "\nCall 1\nReturn\n");
  EXPECT_EQ(code(defined->output.prototypes[defined->top]),
            "MakeClosure 0 0\nDup\nDefineGlobal 0 ; f\nReturn\n");
  const DocEntry& doc = defined->output.docs.at(vm.interner().find("f"));
  EXPECT_EQ(doc.text, "calls itself");
  ASSERT_TRUE(doc.span);
  EXPECT_EQ(doc.span->start, 1u) << "the span of the defn symbol";
}

TEST_F(CompilerTest, PlainFunctionsUseMakeClosureOthersATemplate) {
  auto plain = compile("(fn [x] x)");
  ASSERT_TRUE(plain);
  EXPECT_EQ(code(plain->output.prototypes[plain->top]), "MakeClosure 0 0\nReturn\n");
  EXPECT_EQ(code(plain->output.prototypes[0]), "LoadLocal 0\nReturn\n");

  for (const char* source :
       {"(fn ([x] x) ([x y] y))", "(fn [& r] r)", "(fn [x :when (pos? x)] x)", "(fn [_ y] y)"}) {
    EXPECT_EQ(code(source), "MakeClosureFromTemplate 0 0 ; heap\nReturn\n") << source;
  }

  auto guarded = compile("(fn [x :when (pos? x)] x)");
  ASSERT_TRUE(guarded);
  const auto& clauses = *template_clauses(*guarded, 0);
  ASSERT_EQ(clauses.size(), 1u);
  EXPECT_EQ(clauses[0].proto, 0u);
  EXPECT_EQ(clauses[0].guard, std::optional<uint32_t>(1));
  EXPECT_EQ(clauses[0].patterns, std::vector<CompiledPattern>{{CompiledPattern::Bind{0}}});
  const Prototype& guard = guarded->output.prototypes[1];
  EXPECT_EQ(code(guard), "LoadLocal 0\nLoadGlobal 0 ; pos?\nCall 1\nReturn\n");
  EXPECT_EQ(guard.arity, 0);
  EXPECT_EQ(guard.num_locals, 1);

  // A wildcard takes no slot: two parameters, one local.
  auto wildcard = compile("(fn [_ y] y)");
  ASSERT_TRUE(wildcard);
  const ClauseInfo& clause = template_clauses(*wildcard, 0)->at(0);
  EXPECT_EQ(clause.arity, 2);
  EXPECT_EQ(clause.patterns, (std::vector<CompiledPattern>{{CompiledPattern::Wildcard{}},
                                                           {CompiledPattern::Bind{0}}}));
  EXPECT_EQ(wildcard->output.prototypes[0].num_locals, 1);
}

TEST_F(CompilerTest, RecurRebindsParametersAndDiscardsWildcards) {
  auto rest = compile("(fn [a & r] (recur 1 [2]))");
  ASSERT_TRUE(rest) << rest.error().display();
  auto wildcard = compile("(fn [a _ b] (recur 1 2 3))");
  ASSERT_TRUE(wildcard);
  EXPECT_EQ(code(wildcard->output.prototypes[0]),
            "LoadConst 0 ; 1\nLoadConst 1 ; 2\nLoadConst 2 ; 3\nStoreLocal 1\nPop\nStoreLocal 0\n"
            "Jump -7 ; -> 0000\nLoadConst 3 ; nil\nReturn\n");
}

TEST_F(CompilerTest, CapturesChainThroughEveryFunctionLevel) {
  auto three = compile("(fn [x] (fn [] (fn [] x)))");
  ASSERT_TRUE(three);
  const auto& p3 = three->output.prototypes;
  EXPECT_EQ(p3[0].upvalues, (std::vector<UpvalueRef>{{true, 0}}));
  EXPECT_EQ(code(p3[0]), "LoadUpvalue 0\nReturn\n");
  EXPECT_EQ(p3[1].upvalues, (std::vector<UpvalueRef>{{false, 0}}))
      << "the middle function captures x though it never names it";
  EXPECT_EQ(code(p3[1]), "LoadUpvalue 0\nMakeClosure 0 1\nReturn\n");
  EXPECT_EQ(code(p3[2]), "LoadLocal 0\nMakeClosure 1 1\nReturn\n");

  auto four = compile("(fn [x] (fn [] (fn [] (fn [] x))))");
  ASSERT_TRUE(four);
  const auto& p4 = four->output.prototypes;
  EXPECT_EQ(code(p4[0]), "LoadUpvalue 0\nReturn\n") << "never a global reference";
  EXPECT_EQ(p4[0].upvalues, (std::vector<UpvalueRef>{{true, 0}}));
  EXPECT_EQ(p4[1].upvalues, (std::vector<UpvalueRef>{{true, 0}}));
  EXPECT_EQ(p4[2].upvalues, (std::vector<UpvalueRef>{{false, 0}}));

  auto twice = compile("(fn [x] (fn [] [x x]))");
  ASSERT_TRUE(twice);
  EXPECT_EQ(code(twice->output.prototypes[0]),
            "LoadUpvalue 0\nLoadUpvalue 0\nMakeVector 2\nReturn\n");
  EXPECT_EQ(twice->output.prototypes[0].num_upvalues, 1);
}

TEST_F(CompilerTest, ClausesShareOneDescriptorList) {
  auto compiled = compile("(let [a 1 b 2] (fn ([] a) ([x] b) ([x y] [b a])))");
  ASSERT_TRUE(compiled);
  const auto& protos = compiled->output.prototypes;
  const std::vector<UpvalueRef> unified{{false, 0}, {false, 1}};
  EXPECT_EQ(code(protos[0]), "LoadUpvalue 0\nReturn\n");
  EXPECT_EQ(code(protos[1]), "LoadUpvalue 1\nReturn\n");
  EXPECT_EQ(code(protos[2]), "LoadUpvalue 1\nLoadUpvalue 0\nMakeVector 2\nReturn\n");
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(protos[i].upvalues, unified);
    EXPECT_EQ(protos[i].num_upvalues, 2);
  }
  EXPECT_EQ(code(protos[compiled->top]),
            "LoadConst 0 ; 1\nStoreLocal 0\nLoadConst 1 ; 2\nStoreLocal 1\nLoadLocal 0\n"
            "LoadLocal 1\nMakeClosureFromTemplate 2 2 ; heap\nReturn\n");
}

TEST_F(CompilerTest, ConstantsDedupByBitPattern) {
  EXPECT_EQ(code("(do 1 1 0.0 -0.0)"),
            "LoadConst 0 ; 1\nPop\nLoadConst 0 ; 1\nPop\nLoadConst 1 ; 0\nPop\n"
            "LoadConst 2 ; -0\nReturn\n");
  FunctionBuilder builder(0, 0, false);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double other_nan = std::bit_cast<double>(std::bit_cast<uint64_t>(nan) | 1);
  const auto first = builder.add_constant(VMValue::floating(nan), std::nullopt);
  const auto same = builder.add_constant(VMValue::floating(nan), std::nullopt);
  const auto other = builder.add_constant(VMValue::floating(other_nan), std::nullopt);
  EXPECT_EQ(*first, *same);
  EXPECT_NE(*first, *other);
}

TEST_F(CompilerTest, RelocationShiftsClosurePrototypes) {
  auto compiled = compile("(fn [x] x)");
  ASSERT_TRUE(compiled);
  Prototype& top = compiled->output.prototypes[compiled->top];
  top.offset_proto_refs(10);
  EXPECT_EQ(code(top), "MakeClosure 10 0\nReturn\n");
}

TEST_F(CompilerTest, DuplicateParameterPointsAtBothBindings) {
  auto compiled = compile("(fn [x x] x)");
  ASSERT_FALSE(compiled);
  const CompileError& error = compiled.error();
  EXPECT_EQ(error.display(), "duplicate parameter: x");
  ASSERT_TRUE(error.span);
  EXPECT_EQ(error.span->start, 7u);
  ASSERT_EQ(error.related.size(), 1u);
  EXPECT_EQ(error.related[0].span.start, 5u);
  EXPECT_EQ(error.related[0].message, "first defined here");
}

std::string repeated(std::string_view pattern, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) {
    std::string item(pattern);
    if (const size_t at = item.find('#'); at != std::string::npos) {
      item.replace(at, 1, std::to_string(i));
    }
    out += item;
  }
  return out;
}

TEST_F(CompilerTest, ErrorMessages) {
  struct Case {
    std::string source;
    std::string display;
    std::optional<std::string> hint = std::nullopt;
  };
  const std::string args256 = repeated(" 1", 256);
  const Case cases[] = {
      {"(if)", "invalid syntax: if requires a test expression"},
      {"(let)", "invalid syntax: let requires bindings vector"},
      {"(let x 1)", "invalid syntax: let bindings must be a vector", "use [name value ...] form"},
      {"(let [x] x)", "invalid syntax: let bindings must have even count"},
      {"(let [1 2] 3)", "invalid syntax: only simple symbol patterns supported in let bindings"},
      {"(let [a/b 1] 3)", "invalid syntax: only simple symbol patterns supported in let bindings"},
      {"(let [[a] [1]] a)", "invalid syntax: invalid pattern"},
      {"(def x)", "invalid syntax: def requires a name and value"},
      {"(def \"x\" 1)", "invalid syntax: def name must be a symbol",
       "def expects (def name value)"},
      {"(defn f)", "invalid syntax: defn requires a name and parameter vector"},
      {"(defn \"f\" [x] x)", "invalid syntax: defn name must be a symbol",
       "defn expects (defn name [params] body)"},
      {"(loop)", "invalid syntax: loop requires bindings vector"},
      {"(loop x 1)", "invalid syntax: loop bindings must be a vector"},
      {"(loop [i] i)", "invalid syntax: loop bindings must have even count"},
      {"(loop [[i] 0] i)",
       "invalid syntax: only simple symbol patterns supported in loop bindings"},
      {"(loop [i 0] (+ 1 (recur i)))", "invalid syntax: recur must be in tail position"},
      {"(recur 1)", "invalid syntax: recur outside of loop"},
      {"(loop [a 1 b 2] (recur 1))", "invalid syntax: recur arity mismatch: expected 2, got 1"},
      {"(assert)", "invalid syntax: assert requires an expression"},
      {"(fn)", "invalid syntax: fn requires parameters"},
      {"(fn f)", "invalid syntax: fn requires parameters"},
      {"(fn ([x] x) 5)", "invalid syntax: fn clause must be a list"},
      {"(fn ([x] x) ())", "invalid syntax: fn clause is empty"},
      {"(fn (x))", "invalid syntax: fn clause requires a parameter vector"},
      {"(fn 5)", "invalid syntax: fn clause requires a parameter vector"},
      {"(fn [x :when] x)", "invalid syntax: :when requires an expression"},
      {"(fn [x &] x)", "invalid syntax: missing rest parameter after &"},
      {"(fn [x & y z] x)", "invalid syntax: multiple rest parameters"},
      {"(fn [[a b]] a)", "invalid syntax: invalid pattern"},
      {"(fn [1] 1)", "invalid syntax: invalid pattern"},
      {"(quote)", "invalid syntax: quote expects exactly 1 argument"},
      {"(unquote x)", "invalid syntax: unquote outside of syntax-quote"},
      {"(unquote-splicing x)", "invalid syntax: unquote-splicing outside of syntax-quote"},
      {"(f" + args256 + ")", "invalid syntax: too many arguments (max 255)"},
      {"(count" + args256 + ")", "invalid syntax: too many arguments (max 255)"},
      {"(console/print" + args256 + ")", "invalid syntax: too many arguments (max 255)"},
      {"((fn [] 1)" + args256 + ")", "invalid syntax: too many arguments (max 255)"},
      {"(let [" + repeated("a# 0 ", 257) + "] 0)", "too many locals (max 256)"},
      {"(do" + repeated(" #", 65537) + ")", "too many constants (max 65536)"},
      {"(let [" + repeated("a# 0 ", 256) + "] (fn [] [" + repeated("a# ", 256) + "]))",
       "invalid syntax: too many upvalues"},
      {"(if true (do" + repeated(" 1", 20000) + "))", "invalid syntax: jump too far"},
  };
  for (const Case& c : cases) {
    auto compiled = compile(c.source);
    ASSERT_FALSE(compiled) << c.source.substr(0, 60);
    EXPECT_EQ(compiled.error().display(), c.display) << c.source.substr(0, 60);
    EXPECT_EQ(compiled.error().hint, c.hint) << c.source.substr(0, 60);
  }
}

TEST_F(CompilerTest, ValuesTheReaderNeverMakesAreRefused) {
  auto atom = compile_value(Value::atom(std::make_shared<Value::AtomCell>()));
  ASSERT_FALSE(atom);
  EXPECT_EQ(atom.error().display(), "unsupported expression: atom");

  // Nesting deeper than the stack allows is an error, not a crash.
  Value deep = Value::integer(1);
  for (int i = 0; i < 100000; ++i) deep = Value::vector(Value::Vector::from({deep}));
  auto nested = compile_value(deep);
  ASSERT_FALSE(nested);
  EXPECT_EQ(nested.error().display(), "invalid syntax: nesting too deep");
}

TEST(CompiledCode, EvaluatesAsTheFormsSay) {
  auto runtime = Runtime::create();
  struct Case {
    std::string source;
    std::string expected;
  };
  const Case cases[] = {
      {"(do)", "nil"},
      {"(if false 1)", "nil"},
      {"(let [] )", "nil"},
      {"(and)", "true"},
      {"(or)", "nil"},
      {"(and 1 nil 2)", "nil"},
      {"(or nil false)", "false"},
      {"(mod -7 2)", "-1"},
      {"(let [+ -] (+ 1 2))", "3"},
      {"(let [count (fn [x] 0)] (count [1 2]))", "0"},
      {"(let [x 1 x (+ x 1)] x)", "2"},
      {"(loop [i 0] (if (< i 3) (recur (+ i 1)) i))", "3"},
      {"(loop [i (let [t 0] t) acc []] (if (< i 2) (recur (+ i 1) [acc i]) acc))", "[[[] 0] 1]"},
      {"((fn [a & r] (if (= a 0) r (recur 0 [a]))) 5)", "[5]"},
      {"((fn [a _ b] (if (= a 0) b (recur 0 99 (+ b a)))) 5 1 10)", "15"},
      {"(((((fn [x] (fn [] (fn [] (fn [] x)))) 42))))", "42"},
      {"(let [a 1 b 2] ((fn ([] a) ([x] b) ([x y] [b a])) 1 2))", "[2 1]"},
      {"((fn ([x :when (> x 0)] :pos) ([x] :other)) -1)", ":other"},
      {"(do (def x 1 2) x)", "1"},
      {"(do (defn down [n] (if (= n 0) :done (down (- n 1)))) (down 10))", ":done"},
      {"(assert (= 1 1))", "nil"},
      {"'(a [1 2])", "['a [1 2]]"},
  };
  for (const Case& c : cases) {
    auto same = runtime->eval_str("(= " + c.source + " " + c.expected + ")");
    ASSERT_TRUE(same) << c.source << ": " << same.error().display();
    EXPECT_TRUE(same->is_bool() && same->as_bool()) << c.source;
  }
  // A definition that did not run leaves its reserved slot unbound.
  auto skipped = runtime->eval_str("(do (if false (def zz 1)) zz)");
  ASSERT_FALSE(skipped);
  EXPECT_EQ(skipped.error().display(), "Undefined variable: zz");
}

}  // namespace
}  // namespace quorvel
