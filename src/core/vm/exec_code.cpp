#include "vm/exec_code.h"

#include <memory>
#include <optional>

namespace quorvel {

namespace {

constexpr uint32_t internal_word(ExecOp op, uint8_t a = 0) {
  return uint32_t{static_cast<uint8_t>(op)} | uint32_t{a} << 8;
}

bool uses_constant_k16(OpCode op) {
  switch (op) {
    case OpCode::LoadConst:
    case OpCode::LoadGlobal:
    case OpCode::SetGlobal:
    case OpCode::DefineGlobal:
    case OpCode::MakeClosureFromTemplate:
    case OpCode::PushHandler:
    case OpCode::Perform:
      return true;
    default:
      return false;
  }
}

bool is_jump(OpCode op) {
  return op == OpCode::Jump || op == OpCode::JumpIfFalse || op == OpCode::JumpIfTrue;
}

// The word itself, or the internal operation that reports what is wrong with it.
uint32_t checked_word(const Prototype& proto, size_t at) {
  const uint32_t word = proto.code[at];
  const auto op = opcode_from_byte(opcode_byte(word));
  if (!op) return internal_word(ExecOp::InvalidOpcode, opcode_byte(word));
  const size_t constants = proto.constants.size();
  if (uses_constant_k16(*op) && operand_k16(word) >= constants) {
    return internal_word(ExecOp::BadConstant);
  }
  if (*op == OpCode::PerformOp && (operand_a(word) >= constants || operand_b(word) >= constants)) {
    return internal_word(ExecOp::BadConstant);
  }
  if ((*op == OpCode::LoadLocal || *op == OpCode::StoreLocal) &&
      operand_a(word) >= proto.num_locals) {
    return (word & ~0xFFu) |
           static_cast<uint8_t>(*op == OpCode::LoadLocal ? ExecOp::LoadLocalChecked
                                                         : ExecOp::StoreLocalChecked);
  }
  if (is_jump(*op)) {
    const auto target = static_cast<int64_t>(at) + 1 + operand_s16(word);
    if (target < 0 || target > static_cast<int64_t>(proto.code.size())) {
      return internal_word(ExecOp::BadJump);
    }
  }
  return word;
}

bool is(uint32_t word, OpCode op) {
  return opcode_byte(word) == static_cast<uint8_t>(op);
}

bool is_compare(uint32_t word) {
  return is(word, OpCode::Lt) || is(word, OpCode::Le) || is(word, OpCode::Gt) ||
         is(word, OpCode::Ge) || is(word, OpCode::Eq) || is(word, OpCode::NotEq);
}

struct Fused {
  ExecOp op;
  size_t length;       // words of the sequence, head included
  size_t compare = 0;  // position of the comparison of a compare-and-jump
};

// The fused operation that the checked sequence at `at` starts, if any.
std::optional<Fused> fused_at(const Prototype& proto, const std::vector<uint32_t>& words, size_t at,
                              size_t globals) {
  const auto next = [&](size_t k) { return at + k < words.size() ? words[at + k] : 0xFFu; };
  const uint32_t head = words[at];
  const auto existing_slot = [&](uint32_t word) {
    return is(word, OpCode::LoadGlobalSlot) && operand_k16(word) < globals;
  };
  // Only Int constants: the fused operation checks just the local.
  const auto int_constant = [&](uint32_t word) {
    return is(word, OpCode::LoadConst) && proto.constants[operand_k16(word)].is_int();
  };
  if (is(head, OpCode::LoadLocal)) {
    const uint32_t operand = next(1);
    if (is_compare(next(2)) && is(next(3), OpCode::JumpIfFalse)) {
      if (int_constant(operand)) return Fused{ExecOp::LocalConstCompareJump, 4, 2};
      if (is(operand, OpCode::LoadLocal)) return Fused{ExecOp::LocalLocalCompareJump, 4, 2};
      if (existing_slot(operand)) return Fused{ExecOp::LocalGlobalCompareJump, 4, 2};
    }
    const bool add = is(next(2), OpCode::Add);
    if (add || is(next(2), OpCode::Sub)) {
      if (int_constant(operand)) {
        return Fused{add ? ExecOp::LocalConstAdd : ExecOp::LocalConstSub, 3};
      }
      if (is(operand, OpCode::LoadLocal)) {
        return Fused{add ? ExecOp::LocalLocalAdd : ExecOp::LocalLocalSub, 3};
      }
    }
    return std::nullopt;
  }
  if (is_compare(head) && is(next(1), OpCode::JumpIfFalse)) return Fused{ExecOp::CompareJump, 2, 0};
  if (is(head, OpCode::StoreLocal) && is(next(1), OpCode::StoreLocal)) {
    return Fused{ExecOp::StoreLocalPair, is(next(2), OpCode::Jump) ? size_t{3} : 2};
  }
  if (existing_slot(head) && is(next(1), OpCode::Call)) {
    return Fused{ExecOp::GlobalSlotCall, 2};
  }
  return std::nullopt;
}

}  // namespace

uint8_t compare_mask(OpCode compare) {
  constexpr uint8_t kLess = 1, kEqual = 2, kGreater = 4;
  switch (compare) {
    case OpCode::Lt:
      return kLess;
    case OpCode::Le:
      return kLess | kEqual;
    case OpCode::Gt:
      return kGreater;
    case OpCode::Ge:
      return kGreater | kEqual;
    case OpCode::Eq:
      return kEqual;
    default:
      return kLess | kGreater;
  }
}

ExecCode prepare_exec_code(const Prototype& proto, uint32_t index, size_t globals) {
  ExecCode out;
  out.words.reserve(proto.code.size() + 1);
  for (size_t i = 0; i < proto.code.size(); ++i) out.words.push_back(checked_word(proto, i));
  // A fused operation reads the words after its head, so those stay plain:
  // sequences are chosen left to right and never overlap.
  for (size_t i = 0; i < out.words.size();) {
    const auto fused = fused_at(proto, out.words, i, globals);
    if (!fused) {
      ++i;
      continue;
    }
    uint32_t head = (out.words[i] & ~0xFFu) | static_cast<uint8_t>(fused->op);
    switch (fused->op) {
      case ExecOp::LocalConstCompareJump:
      case ExecOp::LocalLocalCompareJump:
      case ExecOp::LocalGlobalCompareJump:
      case ExecOp::CompareJump: {
        const auto compare = static_cast<OpCode>(opcode_byte(out.words[i + fused->compare]));
        head |= uint32_t{compare_mask(compare)} << 16;
        break;
      }
      case ExecOp::StoreLocalPair:
        if (fused->length == 3) head |= 1u << 24;
        break;
      default:
        break;
    }
    out.words[i] = head;
    i += fused->length;
  }
  out.words.push_back(internal_word(ExecOp::EndOfCode));
  out.constants = proto.constants.data();
  out.num_locals = proto.num_locals;
  out.single_clause = std::make_shared<const std::vector<ClauseInfo>>(
      1, ClauseInfo{std::nullopt, {}, index, proto.variadic, proto.arity});
  return out;
}

}  // namespace quorvel
