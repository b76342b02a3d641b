// The machine's executable copy of a prototype's code. Operands that the
// loop would otherwise check at every execution (constant indexes, jump
// targets, opcode bytes) are checked once when the prototype is loaded; a
// word that fails the check is replaced by an internal operation that raises
// the error when reached. Common sequences start with a fused operation that
// runs them in one step. Indexes are unchanged, so spans, handler end
// positions and saved instruction pointers mean the same in both copies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vm/clause.h"
#include "vm/opcode.h"
#include "vm/prototype.h"

namespace quorvel {

// Internal operations, numbered after the public ones.
enum class ExecOp : uint8_t {
  InvalidOpcode = kOpCodeCount,  // A: the original opcode byte
  BadConstant,                   // a constant index past the constant table
  BadJump,                       // a jump target outside the code
  EndOfCode,                     // appended after the last word
  // LoadLocal and StoreLocal of a slot past the prototype's locals: checked
  // against the stack top when run (the plain ones need no check, because a
  // frame never pops below its locals).
  LoadLocalChecked,
  StoreLocalChecked,
  // Fused sequences, named by the instructions they start. The head word
  // keeps its operands and the words after it stay as they are, so a jump
  // into the middle runs the plain instructions. When an operand is not an
  // Int (or anything else would need the general path) the head runs as
  // its original instruction. Operands B and C of a head say what its plain
  // form leaves to later words: a compare-and-jump head carries the outcomes
  // under which its comparison holds in B (see compare_mask), and a
  // StoreLocalPair head has C 1 when a Jump belongs to the sequence.
  LocalConstCompareJump,   // LoadLocal, LoadConst of an Int, Lt/Le/Gt/Ge/Eq/NotEq, JumpIfFalse
  LocalLocalCompareJump,   // LoadLocal, LoadLocal, compare, JumpIfFalse
  LocalGlobalCompareJump,  // LoadLocal, LoadGlobalSlot, compare, JumpIfFalse
  CompareJump,             // compare, JumpIfFalse
  LocalConstAdd,           // LoadLocal, LoadConst of an Int, Add
  LocalConstSub,           // LoadLocal, LoadConst of an Int, Sub
  LocalLocalAdd,           // LoadLocal, LoadLocal, Add
  LocalLocalSub,           // LoadLocal, LoadLocal, Sub
  StoreLocalPair,          // StoreLocal, StoreLocal, and a Jump after them
  GlobalSlotCall,          // LoadGlobalSlot, Call
};
inline constexpr unsigned kExecOpCount = static_cast<unsigned>(ExecOp::GlobalSlotCall) + 1;

// Bit 0, 1, 2: the comparison holds when the left operand is less than,
// equal to or greater than the right one.
uint8_t compare_mask(OpCode compare);

struct ExecCode {
  std::vector<uint32_t> words;  // one per instruction, then EndOfCode
  ClauseList single_clause;     // the clause of a MakeClosure over this prototype
  // The prototype's constants (its vector keeps this buffer when the
  // prototype moves) and local count, for entering a frame in few loads.
  const VMValue* constants = nullptr;
  uint16_t num_locals = 0;
};

// Builds the executable copy of the prototype loaded at `index` into a
// machine with `globals` global slots (slots are never removed, so a fused
// sequence need not check that a slot below that count exists).
ExecCode prepare_exec_code(const Prototype& proto, uint32_t index, size_t globals);

}  // namespace quorvel
