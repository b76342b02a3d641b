#include "compiler/upvalue_map.h"

#include <algorithm>

#include "vm/opcode.h"

namespace quorvel {

void add_to_union(std::vector<UpvalueRef>& unified, const std::vector<UpvalueRef>& clause) {
  for (const UpvalueRef& ref : clause) {
    if (std::find(unified.begin(), unified.end(), ref) == unified.end()) unified.push_back(ref);
  }
}

Result<std::vector<uint8_t>, CompileError> build_upvalue_map(
    const std::vector<UpvalueRef>& clause, const std::vector<UpvalueRef>& unified) {
  std::vector<uint8_t> map;
  map.reserve(clause.size());
  for (const UpvalueRef& ref : clause) {
    const auto found = std::find(unified.begin(), unified.end(), ref);
    if (found == unified.end()) {
      return make_err(CompileError::invalid_syntax("missing upvalue in union map", std::nullopt));
    }
    const auto position = found - unified.begin();
    if (position > 255) {
      return make_err(CompileError::invalid_syntax("too many upvalues", std::nullopt));
    }
    map.push_back(static_cast<uint8_t>(position));
  }
  return map;
}

Result<Unit, CompileError> remap_proto_upvalues(Prototype& proto, const std::vector<uint8_t>& map,
                                                const std::vector<UpvalueRef>& unified) {
  for (uint32_t& word : proto.code) {
    const uint8_t op = opcode_byte(word);
    if (op != static_cast<uint8_t>(OpCode::LoadUpvalue) &&
        op != static_cast<uint8_t>(OpCode::StoreUpvalue)) {
      continue;
    }
    const uint8_t index = operand_a(word);
    if (index >= map.size()) {
      return make_err(CompileError::invalid_syntax("upvalue index out of range", std::nullopt));
    }
    word = encode(static_cast<OpCode>(op), map[index], operand_b(word), operand_c(word));
  }
  proto.upvalues = unified;
  proto.num_upvalues = static_cast<uint16_t>(unified.size());
  return Unit{};
}

}  // namespace quorvel
