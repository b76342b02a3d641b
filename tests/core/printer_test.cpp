// The printed forms of values that Python code cannot reach: references to
// freed objects, key boxes, variants of unknown types, effects.
#include "vm/printer.h"

#include <gtest/gtest.h>

#include <string>

#include "vm/vm.h"

namespace quorvel {
namespace {

std::string printed(const VM& vm, VMValue v, bool readable) {
  auto text = print_value(vm, v, readable);
  EXPECT_TRUE(text.ok());
  return text.ok() ? *text : std::string();
}

class PrinterTest : public ::testing::Test {
 protected:
  VM vm{{}};
};

TEST_F(PrinterTest, DeadReferencePrintsInvalidAlsoInsideData) {
  const VMValue dead = vm.alloc_string("gone");
  vm.heap().collect({});
  const VMValue vector = vm.make_vector({VMValue::integer(1), dead});
  EXPECT_EQ(printed(vm, dead, true), "<invalid>");
  EXPECT_EQ(printed(vm, dead, false), "<invalid>");
  EXPECT_EQ(printed(vm, vector, true), "[1 <invalid>]");
}

TEST_F(PrinterTest, KeyBoxShowsItsValueOnlyWhenReadable) {
  const VMValue box = VMValue::heap(vm.alloc(KeyBox{vm.alloc_string("k")}));
  EXPECT_EQ(printed(vm, box, true), "\"k\"");
  EXPECT_EQ(printed(vm, box, false), "<keybox>");
}

TEST_F(PrinterTest, VariantsPairFieldNamesWithValues) {
  Interner& names = vm.interner();
  VariantDef point{names.intern("Point"), {names.intern("x"), names.intern("y")}, {}, {}};
  const uint16_t type = vm.types().register_type({names.intern("Shape"), {point}});
  // One field value only: the names pair up to the shorter list.
  const VMValue one_field = VMValue::heap(
      vm.alloc(VariantObject{VariantObject::make_tag(type, 0), {vm.alloc_string("a")}}));
  EXPECT_EQ(printed(vm, one_field, true), "#Shape/Point{x: \"a\"}");
  EXPECT_EQ(printed(vm, one_field, false), "#Shape/Point{x: a}");

  const VMValue unknown_type = VMValue::heap(
      vm.alloc(VariantObject{VariantObject::make_tag(type + 1, 0), {VMValue::integer(1)}}));
  const VMValue unknown_variant = VMValue::heap(
      vm.alloc(VariantObject{VariantObject::make_tag(type, 3), {VMValue::integer(1)}}));
  for (const bool readable : {true, false}) {
    EXPECT_EQ(printed(vm, unknown_type, readable), "<unknown-variant>");
    EXPECT_EQ(printed(vm, unknown_variant, readable), "<unknown-variant>");
  }
}

TEST_F(PrinterTest, EffectShowsItsId) {
  const VMValue effect = VMValue::heap(vm.alloc(EffectObject{42, std::nullopt, {}}));
  EXPECT_EQ(printed(vm, effect, true), "<effect #42>");
  EXPECT_EQ(printed(vm, effect, false), "<effect #42>");
}

}  // namespace
}  // namespace quorvel
