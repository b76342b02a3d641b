#include "vm/opcode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/interner.h"
#include "vm/prototype.h"

namespace quorvel {
namespace {

TEST(OpcodeEncoding, FieldsRoundTrip) {
  struct Case {
    OpCode op;
    uint8_t a, b, c;
  };
  for (const Case& t : {Case{OpCode::LoadLocal, 255, 0, 0}, Case{OpCode::PerformOp, 1, 2, 3},
                        Case{OpCode::MakeVariant, 0xAB, 0xCD, 0xEF}}) {
    const uint32_t word = encode(t.op, t.a, t.b, t.c);
    EXPECT_EQ(opcode_byte(word), static_cast<uint8_t>(t.op));
    EXPECT_EQ(operand_a(word), t.a);
    EXPECT_EQ(operand_b(word), t.b);
    EXPECT_EQ(operand_c(word), t.c);
    EXPECT_EQ(operand_k16(word), t.a | t.b << 8) << "A is the low byte of K16";
  }
  for (const uint16_t k : {0, 1, 0x1234, 0xFFFF}) {
    const uint32_t word = encode_k16(OpCode::MakeClosure, k, 7);
    EXPECT_EQ(operand_k16(word), k);
    EXPECT_EQ(operand_c(word), 7);
  }
  for (const int16_t s : {0, -1, 1, -32768, 32767}) {
    const uint32_t word = encode_s16(OpCode::Jump, s);
    EXPECT_EQ(operand_s16(word), s);
    EXPECT_EQ(opcode_byte(word), static_cast<uint8_t>(OpCode::Jump));
    EXPECT_EQ(operand_c(word), 0);
  }
}

TEST(OpcodeEncoding, NamesInNumberOrder) {
  const char* const names[] = {"LoadConst",
                               "Pop",
                               "Dup",
                               "LoadLocal",
                               "StoreLocal",
                               "LoadUpvalue",
                               "StoreUpvalue",
                               "LoadGlobal",
                               "SetGlobal",
                               "DefineGlobal",
                               "Add",
                               "Sub",
                               "Mul",
                               "Div",
                               "Mod",
                               "Neg",
                               "Eq",
                               "NotEq",
                               "Lt",
                               "Le",
                               "Gt",
                               "Ge",
                               "Not",
                               "Jump",
                               "JumpIfFalse",
                               "JumpIfTrue",
                               "Call",
                               "TailCall",
                               "Return",
                               "MakeClosure",
                               "MakeClosureFromTemplate",
                               "MakeList",
                               "MakeVector",
                               "MakeMap",
                               "MakeSet",
                               "PushHandler",
                               "PopHandler",
                               "Perform",
                               "Resume",
                               "PerformOp",
                               "CallNative",
                               "LoadGlobalSlot",
                               "MakeVariant"};
  static_assert(std::size(names) == kOpCodeCount);
  for (unsigned i = 0; i < kOpCodeCount; ++i) {
    const auto op = opcode_from_byte(static_cast<uint8_t>(i));
    ASSERT_TRUE(op.has_value());
    EXPECT_EQ(opcode_name(*op), names[i]);
  }
  EXPECT_FALSE(opcode_from_byte(43).has_value());
  EXPECT_FALSE(opcode_from_byte(200).has_value());
}

TEST(OpcodeJumps, PatchKeepsOpcodeAndChecksRange) {
  std::vector<uint32_t> code(40000, encode(OpCode::Pop));
  code[0] = encode(OpCode::JumpIfFalse, 0, 0, 9);  // stray C bits are cleared
  ASSERT_TRUE(patch_jump(code, 0, 4).ok());
  EXPECT_EQ(code[0], encode_s16(OpCode::JumpIfFalse, 3));

  code[10] = encode(OpCode::Jump);
  ASSERT_TRUE(patch_jump(code, 10, 2).ok());
  EXPECT_EQ(operand_s16(code[10]), -9) << "backward: target - pos - 1";

  struct Case {
    size_t pos, target;
    bool fits;
  };
  for (const Case& c : {Case{0, 1, true}, Case{5, 5, true}, Case{0, 32768, true},
                        Case{0, 32769, false}, Case{32767, 0, true}, Case{32768, 0, false}}) {
    const auto offset = jump_offset(c.pos, c.target);
    ASSERT_EQ(offset.ok(), c.fits) << c.pos << " -> " << c.target;
    if (!c.fits) {
      EXPECT_EQ(offset.error().kind, JumpError::Kind::TooFar);
      EXPECT_EQ(offset.error().message, "jump too far");
    }
  }
  const auto too_far = patch_jump(code, 0, 39999);
  ASSERT_FALSE(too_far.ok());
  EXPECT_EQ(too_far.error().kind, JumpError::Kind::TooFar);
  EXPECT_EQ(code[0], encode_s16(OpCode::JumpIfFalse, 3)) << "a failed patch changes nothing";

  code[20] = 99;
  const auto not_op = patch_jump(code, 20, 25);
  ASSERT_FALSE(not_op.ok());
  EXPECT_EQ(not_op.error().kind, JumpError::Kind::NotAnInstruction);
  EXPECT_FALSE(patch_jump(code, code.size(), 0).ok());
}

TEST(OpcodeDisassembly, OneLinePerInstruction) {
  Interner names;
  Prototype proto;
  proto.constants = {VMValue::integer(42),
                     VMValue::symbol(names.intern("foo")),
                     VMValue::keyword(names.intern("bar")),
                     VMValue::symbol(names.intern("console")),
                     VMValue::symbol(names.intern("println")),
                     VMValue::floating(0.5)};
  proto.code = {
      encode_k16(OpCode::LoadConst, 0),
      encode_k16(OpCode::LoadGlobal, 1),
      encode_s16(OpCode::JumpIfFalse, 2),
      encode_k16(OpCode::LoadConst, 2),
      encode(OpCode::LoadLocal, 3),
      encode_s16(OpCode::Jump, -6),
      encode(OpCode::PerformOp, 3, 4, 1),
      encode_k16(OpCode::MakeClosure, 7, 2),
      encode_k16(OpCode::LoadConst, 5),
      encode(OpCode::Return),
      200,
  };
  EXPECT_EQ(disassemble(proto, &names),
            "0000 LoadConst 0 ; 42\n"
            "0001 LoadGlobal 1 ; foo\n"
            "0002 JumpIfFalse 2 ; -> 0005\n"
            "0003 LoadConst 2 ; :bar\n"
            "0004 LoadLocal 3\n"
            "0005 Jump -6 ; -> 0000\n"
            "0006 PerformOp 3 4 1 ; console/println\n"
            "0007 MakeClosure 7 2\n"
            "0008 LoadConst 5 ; 0.5\n"
            "0009 Return\n"
            "0010 <invalid opcode 200>\n");
  EXPECT_NE(disassemble(proto).find("\n0001 LoadGlobal 1 ; sym(#1)\n"), std::string::npos)
      << "without names, symbols show their keys";
}

TEST(PrototypeRelocation, MakeClosureIndexesMoveByTheBase) {
  Prototype proto;
  proto.code = {encode_k16(OpCode::MakeClosure, 0, 2), encode_k16(OpCode::LoadConst, 0),
                encode_k16(OpCode::MakeClosure, 0xFFFF, 1)};
  proto.offset_proto_refs(10);
  EXPECT_EQ(proto.code, (std::vector<uint32_t>{encode_k16(OpCode::MakeClosure, 10, 2),
                                               encode_k16(OpCode::LoadConst, 0),
                                               encode_k16(OpCode::MakeClosure, 9, 1)}));
}

}  // namespace
}  // namespace quorvel
