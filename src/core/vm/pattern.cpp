#include "vm/pattern.h"

namespace quorvel {

PatternBox::PatternBox(CompiledPattern pattern)
    : pattern_(std::make_unique<CompiledPattern>(std::move(pattern))) {}

PatternBox::PatternBox(const PatternBox& other)
    : pattern_(std::make_unique<CompiledPattern>(*other.pattern_)) {}

PatternBox& PatternBox::operator=(const PatternBox& other) {
  if (this != &other) pattern_ = std::make_unique<CompiledPattern>(*other.pattern_);
  return *this;
}

PatternBox::~PatternBox() = default;

bool operator==(const PatternBox& a, const PatternBox& b) {
  return *a.pattern_ == *b.pattern_;
}

}  // namespace quorvel
