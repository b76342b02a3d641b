// The machine's call frames: a stack whose storage only grows, so that a
// call reuses the slot of an earlier frame.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

#include "vm/frame.h"

namespace quorvel {

class FrameStack {
 public:
  FrameStack() { storage_.resize(kInitialCapacity); }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  Frame& operator[](size_t i) { return storage_[i]; }
  const Frame& operator[](size_t i) const { return storage_[i]; }
  Frame& back() { return storage_[size_ - 1]; }
  const Frame& back() const { return storage_[size_ - 1]; }

  // A new top frame: proto, ip and base 0, no closure and no optional parts.
  Frame& push() {
    if (size_ == storage_.size()) storage_.resize(2 * storage_.size());
    // Default-initialised in place: the numbers are zeroed and the optional
    // parts marked absent, without touching their payloads.
    return *new (&storage_[size_++]) Frame;
  }
  void pop_back() { --size_; }
  // Keeps the first n frames (n <= size()).
  void truncate(size_t n) { size_ = n; }

 private:
  static constexpr size_t kInitialCapacity = 64;

  std::vector<Frame> storage_;
  size_t size_ = 0;
};

}  // namespace quorvel
