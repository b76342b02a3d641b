#include "vm/opcode.h"

#include <array>
#include <cstdio>

#include "support/interner.h"
#include "vm/prototype.h"

namespace quorvel {

namespace {

// Which fields an operation reads, and so how it is disassembled.
enum class Form : uint8_t {
  None,  // no operand
  A,     // one 8-bit operand
  K16,   // a 16-bit operand
  K16C,  // a 16-bit operand and C
  S16,   // a signed jump offset
  ABC,   // three 8-bit operands
};

// What the comment after the operands shows.
enum class Note : uint8_t {
  None,
  Constant,    // constants[K16]
  ConstantAB,  // constants[A] and constants[B] (effect/operation)
  Target,      // the jump target
};

struct OpInfo {
  std::string_view name;
  Form form;
  Note note;
};

constexpr std::array<OpInfo, kOpCodeCount> kOps = {{
    {"LoadConst", Form::K16, Note::Constant},
    {"Pop", Form::None, Note::None},
    {"Dup", Form::None, Note::None},
    {"LoadLocal", Form::A, Note::None},
    {"StoreLocal", Form::A, Note::None},
    {"LoadUpvalue", Form::A, Note::None},
    {"StoreUpvalue", Form::A, Note::None},
    {"LoadGlobal", Form::K16, Note::Constant},
    {"SetGlobal", Form::K16, Note::Constant},
    {"DefineGlobal", Form::K16, Note::Constant},
    {"Add", Form::None, Note::None},
    {"Sub", Form::None, Note::None},
    {"Mul", Form::None, Note::None},
    {"Div", Form::None, Note::None},
    {"Mod", Form::None, Note::None},
    {"Neg", Form::None, Note::None},
    {"Eq", Form::None, Note::None},
    {"NotEq", Form::None, Note::None},
    {"Lt", Form::None, Note::None},
    {"Le", Form::None, Note::None},
    {"Gt", Form::None, Note::None},
    {"Ge", Form::None, Note::None},
    {"Not", Form::None, Note::None},
    {"Jump", Form::S16, Note::Target},
    {"JumpIfFalse", Form::S16, Note::Target},
    {"JumpIfTrue", Form::S16, Note::Target},
    {"Call", Form::A, Note::None},
    {"TailCall", Form::A, Note::None},
    {"Return", Form::None, Note::None},
    {"MakeClosure", Form::K16C, Note::None},
    {"MakeClosureFromTemplate", Form::K16C, Note::Constant},
    {"MakeList", Form::K16, Note::None},
    {"MakeVector", Form::K16, Note::None},
    {"MakeMap", Form::K16, Note::None},
    {"MakeSet", Form::K16, Note::None},
    {"PushHandler", Form::K16, Note::Constant},
    {"PopHandler", Form::None, Note::None},
    {"Perform", Form::K16C, Note::Constant},
    {"Resume", Form::None, Note::None},
    {"PerformOp", Form::ABC, Note::ConstantAB},
    {"CallNative", Form::K16C, Note::None},
    {"LoadGlobalSlot", Form::K16, Note::None},
    {"MakeVariant", Form::K16C, Note::None},
}};

std::string index_text(int64_t index) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%04lld", static_cast<long long>(index));
  return buf;
}

// A constant as the comment shows it: names by text when known.
std::string constant_text(const Prototype& proto, size_t index, const Interner* names) {
  if (index >= proto.constants.size()) return "<no constant " + std::to_string(index) + ">";
  const VMValue v = proto.constants[index];
  if (names && (v.is_symbol() || v.is_keyword())) {
    const std::string_view text = names->text(v.name_key());
    if (!text.empty()) {
      std::string out = v.is_keyword() ? ":" : "";
      out += text;
      return out;
    }
  }
  return to_diagnostic_string(v);
}

}  // namespace

std::string_view opcode_name(OpCode op) {
  const auto index = static_cast<size_t>(op);
  return index < kOps.size() ? kOps[index].name : "?";
}

std::optional<OpCode> opcode_from_byte(uint8_t byte) {
  if (byte >= kOpCodeCount) return std::nullopt;
  return static_cast<OpCode>(byte);
}

Result<int16_t, JumpError> jump_offset(size_t pos, size_t target) {
  const auto distance = static_cast<int64_t>(target) - static_cast<int64_t>(pos) - 1;
  if (distance < INT16_MIN || distance > INT16_MAX) {
    return make_err(JumpError{JumpError::Kind::TooFar, "jump too far"});
  }
  return static_cast<int16_t>(distance);
}

Result<Unit, JumpError> patch_jump(std::vector<uint32_t>& code, size_t pos, size_t target) {
  if (pos >= code.size()) {
    return make_err(JumpError{
        JumpError::Kind::NotAnInstruction,
        "internal error: jump position " + std::to_string(pos) + " is past the end of the code"});
  }
  const auto op = opcode_from_byte(opcode_byte(code[pos]));
  if (!op) {
    return make_err(JumpError{JumpError::Kind::NotAnInstruction,
                              "internal error: invalid opcode " +
                                  std::to_string(opcode_byte(code[pos])) + " at jump position " +
                                  std::to_string(pos)});
  }
  auto offset = jump_offset(pos, target);
  if (!offset) return make_err(std::move(offset).error());
  code[pos] = encode_s16(*op, *offset);
  return Unit{};
}

std::string disassemble(const Prototype& proto, const Interner* names) {
  std::string out;
  // Text is built by appending: operator+ on strings trips a false
  // -Wrestrict warning of GCC 12 at -O3.
  const auto operand = [&out](int64_t value) {
    out += ' ';
    out += std::to_string(value);
  };
  for (size_t ip = 0; ip < proto.code.size(); ++ip) {
    const uint32_t word = proto.code[ip];
    out += index_text(static_cast<int64_t>(ip));
    const auto op = opcode_from_byte(opcode_byte(word));
    if (!op) {
      out += " <invalid opcode";
      operand(opcode_byte(word));
      out += ">\n";
      continue;
    }
    const OpInfo& info = kOps[static_cast<size_t>(*op)];
    out += ' ';
    out += info.name;
    switch (info.form) {
      case Form::None:
        break;
      case Form::A:
        operand(operand_a(word));
        break;
      case Form::K16:
        operand(operand_k16(word));
        break;
      case Form::K16C:
        operand(operand_k16(word));
        operand(operand_c(word));
        break;
      case Form::S16:
        operand(operand_s16(word));
        break;
      case Form::ABC:
        operand(operand_a(word));
        operand(operand_b(word));
        operand(operand_c(word));
        break;
    }
    switch (info.note) {
      case Note::None:
        break;
      case Note::Constant:
        out += " ; ";
        out += constant_text(proto, operand_k16(word), names);
        break;
      case Note::ConstantAB:
        out += " ; ";
        out += constant_text(proto, operand_a(word), names);
        out += '/';
        out += constant_text(proto, operand_b(word), names);
        break;
      case Note::Target:
        out += " ; -> ";
        out += index_text(static_cast<int64_t>(ip) + 1 + operand_s16(word));
        break;
    }
    out += '\n';
  }
  return out;
}

}  // namespace quorvel
