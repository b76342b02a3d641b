// The clauses of one function share one closure, so their captured
// variables are unified into one descriptor list and each clause prototype
// is rewritten to index into it.
#pragma once

#include <cstdint>
#include <vector>

#include "compiler/compile_error.h"
#include "support/result.h"
#include "vm/prototype.h"

namespace quorvel {

// Adds to `unified` every descriptor of `clause` not already there, in order.
void add_to_union(std::vector<UpvalueRef>& unified, const std::vector<UpvalueRef>& clause);

// For each of the clause's descriptors, its position in the union.
Result<std::vector<uint8_t>, CompileError> build_upvalue_map(
    const std::vector<UpvalueRef>& clause, const std::vector<UpvalueRef>& unified);

// Rewrites the operand of every LoadUpvalue/StoreUpvalue through the map and
// gives the prototype the unified descriptors.
Result<Unit, CompileError> remap_proto_upvalues(Prototype& proto, const std::vector<uint8_t>& map,
                                                const std::vector<UpvalueRef>& unified);

}  // namespace quorvel
