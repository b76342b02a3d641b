#include "vm/prototype.h"

#include "vm/opcode.h"

namespace quorvel {

void Prototype::remap_heap_keys(const HeapKeyMap& keys) {
  for (VMValue& constant : constants) constant = remap_heap_ref(constant, keys);
}

void Prototype::offset_proto_refs(uint32_t base) {
  for (uint32_t& word : code) {
    if (opcode_byte(word) != static_cast<uint8_t>(OpCode::MakeClosure)) continue;
    const auto proto = static_cast<uint16_t>(operand_k16(word) + base);
    word = encode_k16(OpCode::MakeClosure, proto, operand_c(word));
  }
}

}  // namespace quorvel
