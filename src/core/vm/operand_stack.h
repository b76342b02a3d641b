// The machine's operand stack: one contiguous, growable array of values
// shared by all calls (locals live on it). The interpreter loop keeps the
// top pointer in a local and writes it back before anything that can look
// at the stack, so the storage is exposed as raw pointers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <span>

#include "vm/vmvalue.h"

namespace quorvel {

class OperandStack {
 public:
  static constexpr size_t kInitialCapacity = 1024;

  OperandStack() { reallocate(kInitialCapacity); }

  size_t size() const { return static_cast<size_t>(top_ - data_.get()); }
  VMValue& operator[](size_t i) { return data_[i]; }
  const VMValue& operator[](size_t i) const { return data_[i]; }
  std::span<const VMValue> values() const { return {data_.get(), size()}; }

  void push(VMValue v) {
    if (top_ == end_) reserve(1);
    *top_++ = v;
  }
  // The caller checks that the stack is not empty.
  VMValue pop() { return *--top_; }
  VMValue& top() { return top_[-1]; }
  // Cuts the stack back to n values (n <= size()).
  void truncate(size_t n) { top_ = data_.get() + n; }
  // Pushes `count` nils.
  void push_nils(size_t count) {
    reserve(count);
    std::fill(top_, top_ + count, VMValue::nil());
    top_ += count;
  }
  // Makes room for `extra` more values; may move the storage.
  void reserve(size_t extra) {
    if (static_cast<size_t>(end_ - top_) >= extra) return;
    reallocate(std::max(2 * capacity(), size() + extra));
  }

  // Raw access for the interpreter loop.
  VMValue* begin_ptr() { return data_.get(); }
  VMValue* top_ptr() { return top_; }
  VMValue* end_ptr() { return end_; }
  void set_top(VMValue* top) { top_ = top; }

 private:
  size_t capacity() const { return static_cast<size_t>(end_ - data_.get()); }
  void reallocate(size_t capacity) {
    auto fresh = std::make_unique_for_overwrite<VMValue[]>(capacity);
    const size_t n = data_ ? size() : 0;
    if (n > 0) std::copy(data_.get(), top_, fresh.get());
    data_ = std::move(fresh);
    top_ = data_.get() + n;
    end_ = data_.get() + capacity;
  }

  std::unique_ptr<VMValue[]> data_;
  VMValue* top_ = nullptr;
  VMValue* end_ = nullptr;
};

}  // namespace quorvel
