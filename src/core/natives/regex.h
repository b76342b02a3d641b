// Regular-expression natives and replacement: re-pattern, re-find,
// re-matches, re-seq, replace and replace-first (whose pattern is a literal
// string or a regex).
#pragma once

#include <span>

#include "vm/native.h"

namespace quorvel {

NativeResult native_re_pattern(VM& vm, std::span<const VMValue> args);
NativeResult native_re_find(VM& vm, std::span<const VMValue> args);
NativeResult native_re_matches(VM& vm, std::span<const VMValue> args);
NativeResult native_re_seq(VM& vm, std::span<const VMValue> args);
NativeResult native_replace(VM& vm, std::span<const VMValue> args);
NativeResult native_replace_first(VM& vm, std::span<const VMValue> args);

}  // namespace quorvel
