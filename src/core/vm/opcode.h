// The 43 operations and the 32-bit instruction word: opcode in bits 0-7,
// operands A, B, C in bits 8-15, 16-23, 24-31, or a 16-bit K16 (unsigned)
// or S16 (signed jump offset) in bits 8-23 with A as the low byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/result.h"

namespace quorvel {

class Interner;
struct Prototype;

enum class OpCode : uint8_t {
  LoadConst = 0,
  Pop = 1,
  Dup = 2,
  LoadLocal = 3,
  StoreLocal = 4,
  LoadUpvalue = 5,
  StoreUpvalue = 6,
  LoadGlobal = 7,
  SetGlobal = 8,
  DefineGlobal = 9,
  Add = 10,
  Sub = 11,
  Mul = 12,
  Div = 13,
  Mod = 14,
  Neg = 15,
  Eq = 16,
  NotEq = 17,
  Lt = 18,
  Le = 19,
  Gt = 20,
  Ge = 21,
  Not = 22,
  Jump = 23,
  JumpIfFalse = 24,
  JumpIfTrue = 25,
  Call = 26,
  TailCall = 27,
  Return = 28,
  MakeClosure = 29,
  MakeClosureFromTemplate = 30,
  MakeList = 31,
  MakeVector = 32,
  MakeMap = 33,
  MakeSet = 34,
  PushHandler = 35,
  PopHandler = 36,
  Perform = 37,
  Resume = 38,
  PerformOp = 39,
  CallNative = 40,
  LoadGlobalSlot = 41,
  MakeVariant = 42,
};

inline constexpr unsigned kOpCodeCount = 43;

// The operation's name, e.g. "LoadConst"; "?" for a byte above 42.
std::string_view opcode_name(OpCode op);
// The operation of an opcode byte, absent above 42.
std::optional<OpCode> opcode_from_byte(uint8_t byte);

// --- Encoding -----------------------------------------------------------

constexpr uint32_t encode(OpCode op, uint8_t a = 0, uint8_t b = 0, uint8_t c = 0) {
  return uint32_t{static_cast<uint8_t>(op)} | uint32_t{a} << 8 | uint32_t{b} << 16 |
         uint32_t{c} << 24;
}
constexpr uint32_t encode_k16(OpCode op, uint16_t k, uint8_t c = 0) {
  return uint32_t{static_cast<uint8_t>(op)} | uint32_t{k} << 8 | uint32_t{c} << 24;
}
constexpr uint32_t encode_s16(OpCode op, int16_t offset) {
  return encode_k16(op, static_cast<uint16_t>(offset));
}

// --- Decoding -----------------------------------------------------------

constexpr uint8_t opcode_byte(uint32_t word) {
  return static_cast<uint8_t>(word);
}
constexpr uint8_t operand_a(uint32_t word) {
  return static_cast<uint8_t>(word >> 8);
}
constexpr uint8_t operand_b(uint32_t word) {
  return static_cast<uint8_t>(word >> 16);
}
constexpr uint8_t operand_c(uint32_t word) {
  return static_cast<uint8_t>(word >> 24);
}
constexpr uint16_t operand_k16(uint32_t word) {
  return static_cast<uint16_t>(word >> 8);
}
constexpr int16_t operand_s16(uint32_t word) {
  return static_cast<int16_t>(word >> 8);
}

// --- Jumps --------------------------------------------------------------

struct JumpError {
  enum class Kind : uint8_t {
    TooFar,            // the distance does not fit 16 bits: a compile error
    NotAnInstruction,  // the patched word holds no valid opcode: an internal error
  };
  Kind kind;
  std::string message;  // "jump too far" / "internal error: ..."
};

// The offset stored in a jump at `pos` that lands on `target`:
// target - pos - 1, which must lie in -32768..32767.
Result<int16_t, JumpError> jump_offset(size_t pos, size_t target);
// Rewrites the jump at `pos` to land on `target`: keeps the opcode, writes
// the offset into bits 8-23 and clears bits 24-31.
Result<Unit, JumpError> patch_jump(std::vector<uint32_t>& code, size_t pos, size_t target);

// --- Disassembly ---------------------------------------------------------

// One line per instruction: the index (4 digits), the name, the operands in
// the form the operation uses, and for constants, symbols and jump targets a
// comment, e.g. "0003 LoadConst 2 ; 42" or "0005 Jump -3 ; -> 0003".
// Symbols and keywords are shown by name when an interner is given.
std::string disassemble(const Prototype& proto, const Interner* names = nullptr);

}  // namespace quorvel
