// Generational arena: objects live in slots addressed by (index, generation)
// keys. Freeing a slot bumps its generation, so every key issued for the old
// object stops finding anything, even after the slot is reused.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace quorvel {

struct ArenaKey {
  uint32_t index = 0;
  uint32_t generation = 0;
  friend bool operator==(ArenaKey, ArenaKey) = default;
};

template <class T>
class Arena {
 public:
  ArenaKey insert(T value) {
    ++live_;
    if (!free_.empty()) {
      const uint32_t index = free_.back();
      free_.pop_back();
      Slot& slot = slots_[index];
      slot.value.emplace(std::move(value));
      return {index, slot.generation};
    }
    slots_.push_back(Slot{1, std::move(value)});
    return {static_cast<uint32_t>(slots_.size() - 1), 1};
  }

  T* get(ArenaKey key) {
    if (key.index >= slots_.size()) return nullptr;
    Slot& slot = slots_[key.index];
    return slot.generation == key.generation && slot.value ? &*slot.value : nullptr;
  }
  const T* get(ArenaKey key) const { return const_cast<Arena*>(this)->get(key); }
  bool contains(ArenaKey key) const { return get(key) != nullptr; }

  // Frees the object of a live key; returns false for a dead key.
  bool remove(ArenaKey key) {
    if (!get(key)) return false;
    Slot& slot = slots_[key.index];
    slot.value.reset();
    ++slot.generation;
    free_.push_back(key.index);
    --live_;
    return true;
  }

  // Frees every live object for which pred(object) is true, in slot order.
  template <class Pred>
  void remove_if(Pred&& pred) {
    for (uint32_t i = 0; i < slots_.size(); ++i) {
      Slot& slot = slots_[i];
      if (!slot.value || !pred(*slot.value)) continue;
      slot.value.reset();
      ++slot.generation;
      free_.push_back(i);
      --live_;
    }
  }

  size_t live() const { return live_; }
  size_t capacity() const { return slots_.size(); }

  // Calls f(key, object) for every live object, in slot order.
  template <class F>
  void for_each(F&& f) {
    for (uint32_t i = 0; i < slots_.size(); ++i) {
      if (slots_[i].value) f(ArenaKey{i, slots_[i].generation}, *slots_[i].value);
    }
  }

 private:
  struct Slot {
    uint32_t generation;
    std::optional<T> value;
  };
  std::vector<Slot> slots_;
  std::vector<uint32_t> free_;
  size_t live_ = 0;
};

}  // namespace quorvel
