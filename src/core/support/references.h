// Whether an element may refer to a garbage-collected object. Persistent
// collections keep the answer for everything they were ever given, so the
// collector can skip tracing those that never held a reference. The default
// answers yes; the machine's value type specialises it.
#pragma once

#include <utility>

namespace quorvel {

template <class T>
struct ReferenceTraits {
  static constexpr bool refers(const T&) { return true; }
};

template <class A, class B>
struct ReferenceTraits<std::pair<A, B>> {
  static constexpr bool refers(const std::pair<A, B>& p) {
    return ReferenceTraits<A>::refers(p.first) || ReferenceTraits<B>::refers(p.second);
  }
};

}  // namespace quorvel
