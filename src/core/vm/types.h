// The data types defined with defdata: a type has variants, a variant has
// named fields; a zero-field variant has one shared singleton value.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "vm/vmvalue.h"

namespace quorvel {

struct VariantDef {
  uint32_t name = 0;                                  // symbol key
  std::vector<uint32_t> fields;                       // field name keys in order
  std::unordered_map<uint32_t, uint8_t> field_index;  // field name key -> position
  std::optional<HeapKey> singleton;                   // zero-field variants only
};

struct TypeDef {
  uint32_t name = 0;
  std::vector<VariantDef> variants;
};

class TypeRegistry {
 public:
  // Appends the type; its id is the number of types before it. The most
  // recent registration of a name wins.
  uint16_t register_type(TypeDef type) {
    const auto id = static_cast<uint16_t>(types_.size());
    by_name_[type.name] = id;
    types_.push_back(std::move(type));
    return id;
  }
  const TypeDef* get(uint16_t id) const { return id < types_.size() ? &types_[id] : nullptr; }
  std::optional<uint16_t> find(uint32_t name) const {
    auto it = by_name_.find(name);
    return it == by_name_.end() ? std::nullopt : std::optional<uint16_t>(it->second);
  }
  const std::vector<TypeDef>& types() const { return types_; }

 private:
  std::vector<TypeDef> types_;
  std::unordered_map<uint32_t, uint16_t> by_name_;
};

}  // namespace quorvel
