// The native table: every built-in function in index order. Compiled code
// and Native values refer to entries by index, so the order never changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "vm/native.h"

namespace quorvel {

inline constexpr size_t kNativeCount = 159;

// Natives the compiler calls directly by index (destructuring and rest
// patterns).
inline constexpr uint16_t kNativeNth = 0;
inline constexpr uint16_t kNativeGet = 8;
inline constexpr uint16_t kNativeDrop = 67;

// The static table of all natives, to hand to the VM.
std::span<const NativeEntry> build_native_table();

}  // namespace quorvel
