#include "support/interner.h"

namespace quorvel {

Interner::Interner() { texts_.emplace_back(); }

uint32_t Interner::intern(std::string_view text) {
  if (auto it = keys_.find(text); it != keys_.end()) return it->second;
  const auto key = static_cast<uint32_t>(texts_.size());
  const std::string& stored = texts_.emplace_back(text);
  keys_.emplace(stored, key);
  return key;
}

uint32_t Interner::find(std::string_view text) const {
  auto it = keys_.find(text);
  return it == keys_.end() ? 0 : it->second;
}

std::string_view Interner::text(uint32_t key) const {
  return key < texts_.size() ? std::string_view(texts_[key]) : std::string_view();
}

}  // namespace quorvel
