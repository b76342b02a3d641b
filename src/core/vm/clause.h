// One clause of a function: its parameter patterns, optional guard and the
// prototype of its body. Clause lists are shared by a closure template and
// every closure made from it, and are never changed once shared.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "vm/pattern.h"

namespace quorvel {

struct ClauseInfo {
  std::optional<uint32_t> guard;          // prototype index of the guard code
  std::vector<CompiledPattern> patterns;  // one per parameter, rest last; empty for MakeClosure
  uint32_t proto = 0;                     // prototype index of the body
  bool variadic = false;                  // extra arguments go to a rest list
  uint8_t arity = 0;                      // number of fixed parameters

  friend bool operator==(const ClauseInfo&, const ClauseInfo&) = default;
};

using ClauseList = std::shared_ptr<const std::vector<ClauseInfo>>;

}  // namespace quorvel
