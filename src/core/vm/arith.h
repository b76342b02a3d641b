// The numeric tower shared by the arithmetic instructions and the number
// natives: 64-bit integers that wrap, IEEE floats, and exact ratios computed
// in 128 bits and kept reduced with a positive denominator.
#pragma once

#include <cstdint>

#include "support/result.h"
#include "vm/error.h"
#include "vm/native.h"
#include "vm/vmvalue.h"

namespace quorvel {

// Two's-complement a + b, a - b and a * b: the integer operations wrap.
inline int64_t wrap_add(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
inline int64_t wrap_sub(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}
inline int64_t wrap_mul(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}

// Int, Float or Ratio.
inline bool is_number(VMValue v) {
  return v.is_int() || v.is_float() || v.is_ratio();
}

// The exact quotient numerator/denominator as a value: reduced, with a
// positive denominator, an Int when the denominator is 1. A zero denominator
// is DivisionByZero; parts that do not fit 64 bits are "ratio overflow".
NativeResult make_ratio(__int128 numerator, __int128 denominator);

// A number as a double (a ratio as numerator / denominator); 0 for others.
double number_to_double(VMValue v);

// a + b, a - b, a * b: Int with Int wraps; a Float on either side makes the
// result a Float; otherwise exact. Non-numbers: "expected numbers".
NativeResult arith_add(VMValue a, VMValue b);
NativeResult arith_sub(VMValue a, VMValue b);
NativeResult arith_mul(VMValue a, VMValue b);
// a / b: Int by Int is exact (an Int when it divides, else a Ratio) and
// DivisionByZero for 0; floats divide by IEEE rules; a ratio with a float
// divisor of zero is DivisionByZero. The most negative integer divided by -1
// wraps.
NativeResult arith_div(VMValue a, VMValue b);
// The remainder with the sign of the dividend: Int by Int (0 divisor is
// DivisionByZero; the most negative integer by -1 gives 0) or floats (fmod).
// Ratios and non-numbers: "expected numbers".
NativeResult arith_mod(VMValue a, VMValue b);
// -a; a non-number is "expected number".
NativeResult arith_neg(VMValue a);

// a < b, a <= b, a > b, a >= b. Ints, floats and ratios compare exactly
// where both are exact; a comparison with NaN is false, except that a ratio
// against NaN is "invalid float". Non-numbers: "expected numbers".
Result<bool, VMError> arith_lt(VMValue a, VMValue b);
Result<bool, VMError> arith_le(VMValue a, VMValue b);
Result<bool, VMError> arith_gt(VMValue a, VMValue b);
Result<bool, VMError> arith_ge(VMValue a, VMValue b);

}  // namespace quorvel
