// The error of every operation of the embedding layer.
#pragma once

#include <string>
#include <variant>

#include "runtime/runtime.h"

namespace quorvel::embed {

struct Error {
  struct Eval {
    EvalError error;
  };
  struct Type {
    std::string expected;
    std::string got;
  };
  struct InvalidEdn {
    std::string message;
  };
  struct Handler {
    std::string message;
  };
  struct EffectNotFound {
    std::string name;
  };
  std::variant<Eval, Type, InvalidEdn, Handler, EffectNotFound> payload;

  // "invalid EDN: ...", "handler error: ...", "effect not found: ..."; an
  // evaluation error shows its own display.
  std::string display() const;
};

}  // namespace quorvel::embed
