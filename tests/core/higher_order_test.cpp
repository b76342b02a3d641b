// The natives that call back into the language, seen from the machine's
// side: reduce's early exit on the registered ReduceSignal type, the
// collection pause around their loops, swap!'s re-validation of its atom,
// and the effect values __make_effect__ makes.
#include "natives/higher_order.h"

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "natives/atoms_predicates.h"
#include "natives/internals.h"
#include "runtime/runtime.h"
#include "vm/printer.h"

namespace quorvel {
namespace {

class HigherOrderTest : public ::testing::Test {
 protected:
  HigherOrderTest() : runtime_(Runtime::create()), vm_(runtime_->vm()) {}

  VMValue eval(std::string_view src) {
    auto result = runtime_->eval_str(src);
    EXPECT_TRUE(result) << src << ": " << (result ? "" : result.error().display());
    return result ? *result : VMValue();
  }

  // The readable text of a value, or the display of an error.
  std::string shown(const NativeResult& result) {
    if (!result) return result.error().display();
    auto text = print_value(vm_, *result, true);
    return text ? *text : text.error().display();
  }

  std::string shown_eval(std::string_view src) { return shown(eval(src)); }

  // A host function callable from the language as a Native value.
  VMValue host_fn(std::string name, HostFunction function) {
    auto index = vm_.register_dynamic_native(std::move(name), std::move(function));
    EXPECT_TRUE(index);
    return VMValue::native(index ? *index : 0);
  }

  uint32_t key(std::string_view text) { return vm_.interner().intern(text); }

  // A one-field type named `name` whose variants are given in order; each
  // variant gets a host constructor of its lower-cased name.
  uint16_t define_type(std::string_view name, std::vector<std::string> variants) {
    TypeDef type{key(name), {}};
    for (const std::string& variant : variants) {
      VariantDef def{key(variant), {key("value")}, {{key("value"), 0}}, std::nullopt};
      type.variants.push_back(std::move(def));
    }
    const uint16_t id = vm_.types().register_type(std::move(type));
    for (size_t i = 0; i < variants.size(); ++i) {
      std::string ctor = variants[i];
      for (char& c : ctor) c = static_cast<char>(std::tolower(c));
      const uint32_t tag = VariantObject::make_tag(id, static_cast<uint8_t>(i));
      host_fn(ctor, [tag](VM& vm, std::span<const VMValue> args) -> NativeResult {
        return VMValue::heap(vm.alloc(VariantObject{tag, {args.empty() ? VMValue() : args[0]}}));
      });
    }
    return id;
  }

  std::unique_ptr<Runtime> runtime_;
  VM& vm_;
};

TEST_F(HigherOrderTest, ReduceStopsOnlyAtTheRegisteredReducedVariant) {
  const uint16_t signal = define_type("ReduceSignal", {"Reduced", "Other"});
  define_type("Wrapper", {"Wrap"});
  const std::string_view stop_at_first = "(reduce (fn [acc x] (reduced x)) 0 [1 2 3])";

  // Not recorded yet: a Reduced value is an ordinary accumulator.
  EXPECT_EQ(shown_eval(std::string("(type ") + std::string(stop_at_first) + ")"), ":ReduceSignal");

  vm_.reduce_signal_type = signal;
  EXPECT_EQ(shown_eval(stop_at_first), "1");
  EXPECT_EQ(shown_eval("(reduce (fn [acc x] (if (> x 2) (reduced acc) (+ acc x))) 0 [1 2 3 4])"),
            "3");
  EXPECT_EQ(shown_eval("(reduce (fn [acc x] (if (= x 2) (reduced :stop) x)) [1 2 3])"), ":stop");
  // Another variant of the type, or the same shape of another type, goes on.
  EXPECT_EQ(shown_eval("(:value (reduce (fn [acc x] (other x)) 0 [1 2 3]))"), "3");
  EXPECT_EQ(shown_eval("(type (reduce (fn [acc x] (wrap x)) 0 [1 2 3]))"), ":Wrapper");
  // Only a step's result is looked at: a Reduced init or single item is kept.
  EXPECT_EQ(shown_eval("(type (reduce + (reduced 1) []))"), ":ReduceSignal");
  EXPECT_EQ(shown_eval("(type (reduce + [(reduced 1)]))"), ":ReduceSignal");
}

TEST_F(HigherOrderTest, TypeOfAVariantWithoutRegisteredTypeIsVariant) {
  const VMValue orphan =
      VMValue::heap(vm_.alloc(VariantObject{VariantObject::make_tag(77, 0), {}}));
  const VMValue args[] = {orphan};
  EXPECT_EQ(shown(native_type(vm_, args)), ":variant");
}

// Called directly, outside any machine call, the natives alone keep what
// they gather alive while callbacks allocate under stress collection.
TEST_F(HigherOrderTest, LoopsPauseCollectionAndRestoreThePause) {
  // Globals keep the functions and inputs alive; nothing else is rooted.
  eval("(def pair (fn [x] [x x])) (def failing (fn [x] (nth x 0)))");
  eval("(def step (fn [acc p] (+ acc (nth [(nth p 1)] 0))))");
  eval("(def input [1 2 3]) (def entries {:a 1 :b 2})");
  const VMValue pair = eval("pair");
  const VMValue step = eval("step");
  const VMValue failing = eval("failing");
  const VMValue input = eval("input");
  const VMValue entries = eval("entries");
  vm_.heap().set_stress(true);
  ASSERT_EQ(vm_.heap().gc_disabled(), 0u);

  const VMValue map_args[] = {pair, input};
  EXPECT_EQ(shown(native_map(vm_, map_args)), "[[1 1] [2 2] [3 3]]");
  EXPECT_EQ(vm_.heap().gc_disabled(), 0u);

  // The [key value] pairs of a map input exist only inside reduce.
  const VMValue reduce_args[] = {step, VMValue::integer(0), entries};
  EXPECT_EQ(shown(native_reduce(vm_, reduce_args)), "3");

  // An atom nothing else refers to.
  const VMValue seven[] = {VMValue::integer(7)};
  const VMValue swap_args[] = {*native_atom(vm_, seven), pair};
  EXPECT_EQ(shown(native_swap(vm_, swap_args)), "[7 7]");
  EXPECT_EQ(shown(native_deref(vm_, swap_args)), "[7 7]");

  const VMValue failing_args[] = {failing, input};
  const std::string failure = "Type error: nth requires a sequence";
  EXPECT_EQ(shown(native_map(vm_, failing_args)), failure);
  EXPECT_EQ(shown(native_sort_by(vm_, failing_args)), failure);
  EXPECT_EQ(vm_.heap().gc_disabled(), 0u);
  vm_.heap().set_stress(false);
}

TEST_F(HigherOrderTest, SwapFailsWhenTheCallbackFreedTheAtom) {
  const VMValue collect = host_fn("collect!", [](VM& vm, std::span<const VMValue>) -> NativeResult {
    std::vector<HeapKey> roots;
    vm.collect_roots(roots);
    vm.heap().collect(std::move(roots));
    return VMValue::integer(5);
  });
  const VMValue none[] = {VMValue::integer(1)};
  const VMValue args[] = {*native_atom(vm_, none), collect};
  EXPECT_EQ(shown(native_swap(vm_, args)), "Type error: atom was collected during swap!");
}

TEST_F(HigherOrderTest, MakeEffectTakesTheNextIdOnlyWhenItSucceeds) {
  const auto effect_of = [&](std::string_view ops) -> const EffectObject* {
    const VMValue args[] = {eval(ops)};
    auto made = native_make_effect(vm_, args);
    if (!made) return nullptr;
    return std::get_if<EffectObject>(vm_.heap().get(made->as_heap()));
  };
  const EffectObject* first = effect_of("'[ask 0 tell 300 dangling]");
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(first->name.has_value());
  ASSERT_EQ(first->ops.size(), 2u);
  EXPECT_EQ(first->ops[0].name, key("ask"));
  EXPECT_EQ(first->ops[0].arity, 0);
  EXPECT_EQ(first->ops[1].name, key("tell"));
  EXPECT_EQ(first->ops[1].arity, 300 % 256);
  const uint64_t first_id = first->id;

  EXPECT_EQ(effect_of("'[1 2]"), nullptr);
  const EffectObject* second = effect_of("'()");
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(second->ops.empty());
  EXPECT_EQ(second->id, first_id + 1);
}

}  // namespace
}  // namespace quorvel
