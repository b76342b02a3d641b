#include "embed/error.h"

namespace quorvel::embed {

std::string Error::display() const {
  struct Visitor {
    std::string operator()(const Eval& e) const { return e.error.display(); }
    std::string operator()(const Type& e) const {
      return "type error: expected " + e.expected + ", got " + e.got;
    }
    std::string operator()(const InvalidEdn& e) const { return "invalid EDN: " + e.message; }
    std::string operator()(const Handler& e) const { return "handler error: " + e.message; }
    std::string operator()(const EffectNotFound& e) const { return "effect not found: " + e.name; }
  };
  return std::visit(Visitor{}, payload);
}

}  // namespace quorvel::embed
