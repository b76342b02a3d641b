// String interner: maps text to a 32-bit key and back. Key 0 means "no name"
// and is never issued for a text.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorvel {

class Interner {
 public:
  Interner();

  // The key of `text`, issuing a new one on first sight.
  uint32_t intern(std::string_view text);
  // The key of `text` if it was interned before, else 0.
  uint32_t find(std::string_view text) const;
  // The text of a key; the empty text for 0 or an unknown key.
  std::string_view text(uint32_t key) const;
  size_t size() const { return texts_.size() - 1; }

 private:
  std::deque<std::string> texts_;  // stable addresses: the map's views point into it
  std::unordered_map<std::string_view, uint32_t> keys_;
};

}  // namespace quorvel
