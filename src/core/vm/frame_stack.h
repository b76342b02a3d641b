// The machine's call frames: a stack whose storage only grows, so that a
// call reuses the slot of an earlier frame and resets just the parts of it
// that say which optional fields are present.
#pragma once

#include <cstddef>
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
    Frame& frame = storage_[size_++];
    frame.proto = 0;
    frame.ip = 0;
    frame.base = 0;
    frame.closure.reset();
    frame.stop.reset();
    frame.restore_len.reset();
    frame.resume_handler.reset();
    frame.handler_call.reset();
    return frame;
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
