// The number natives: arithmetic over the numeric tower, comparison,
// integer division, floating-point math, bit operations, constants and
// parsing numbers from strings.
#pragma once

#include <span>

#include "vm/native.h"

namespace quorvel {

// Arithmetic over Int, Ratio and Float: +, -, *, /.
NativeResult native_add(VM& vm, std::span<const VMValue> args);
NativeResult native_sub(VM& vm, std::span<const VMValue> args);
NativeResult native_mul(VM& vm, std::span<const VMValue> args);
NativeResult native_div(VM& vm, std::span<const VMValue> args);

// Equality and ordering chains: =, <, <=, >, >=.
NativeResult native_equal(VM& vm, std::span<const VMValue> args);
NativeResult native_lt(VM& vm, std::span<const VMValue> args);
NativeResult native_le(VM& vm, std::span<const VMValue> args);
NativeResult native_gt(VM& vm, std::span<const VMValue> args);
NativeResult native_ge(VM& vm, std::span<const VMValue> args);

// Integer division and divisors: quot, rem, mod, gcd, lcm.
NativeResult native_quot(VM& vm, std::span<const VMValue> args);
NativeResult native_rem(VM& vm, std::span<const VMValue> args);
NativeResult native_mod(VM& vm, std::span<const VMValue> args);
NativeResult native_gcd(VM& vm, std::span<const VMValue> args);
NativeResult native_lcm(VM& vm, std::span<const VMValue> args);

// Parity: even?, odd?.
NativeResult native_even(VM& vm, std::span<const VMValue> args);
NativeResult native_odd(VM& vm, std::span<const VMValue> args);

// Floating-point math: one number in, a Float out.
NativeResult native_floor(VM& vm, std::span<const VMValue> args);
NativeResult native_ceil(VM& vm, std::span<const VMValue> args);
NativeResult native_round(VM& vm, std::span<const VMValue> args);
NativeResult native_sqrt(VM& vm, std::span<const VMValue> args);
NativeResult native_exp(VM& vm, std::span<const VMValue> args);
NativeResult native_log(VM& vm, std::span<const VMValue> args);
NativeResult native_log2(VM& vm, std::span<const VMValue> args);
NativeResult native_log10(VM& vm, std::span<const VMValue> args);
NativeResult native_sin(VM& vm, std::span<const VMValue> args);
NativeResult native_cos(VM& vm, std::span<const VMValue> args);
NativeResult native_tan(VM& vm, std::span<const VMValue> args);
NativeResult native_asin(VM& vm, std::span<const VMValue> args);
NativeResult native_acos(VM& vm, std::span<const VMValue> args);
NativeResult native_atan(VM& vm, std::span<const VMValue> args);
NativeResult native_sinh(VM& vm, std::span<const VMValue> args);
NativeResult native_cosh(VM& vm, std::span<const VMValue> args);
NativeResult native_tanh(VM& vm, std::span<const VMValue> args);
NativeResult native_asinh(VM& vm, std::span<const VMValue> args);
NativeResult native_acosh(VM& vm, std::span<const VMValue> args);
NativeResult native_atanh(VM& vm, std::span<const VMValue> args);

// Two numbers in, a Float out.
NativeResult native_pow(VM& vm, std::span<const VMValue> args);
NativeResult native_atan2(VM& vm, std::span<const VMValue> args);
NativeResult native_hypot(VM& vm, std::span<const VMValue> args);

// Sign and ratio parts.
NativeResult native_signum(VM& vm, std::span<const VMValue> args);
NativeResult native_numerator(VM& vm, std::span<const VMValue> args);
NativeResult native_denominator(VM& vm, std::span<const VMValue> args);

// Bit operations on the 64-bit two's-complement representation.
NativeResult native_bit_and(VM& vm, std::span<const VMValue> args);
NativeResult native_bit_or(VM& vm, std::span<const VMValue> args);
NativeResult native_bit_xor(VM& vm, std::span<const VMValue> args);
NativeResult native_bit_not(VM& vm, std::span<const VMValue> args);
NativeResult native_bit_shift_left(VM& vm, std::span<const VMValue> args);
NativeResult native_bit_shift_right(VM& vm, std::span<const VMValue> args);

// Constants: they ignore their arguments.
NativeResult native_pi(VM& vm, std::span<const VMValue> args);
NativeResult native_e(VM& vm, std::span<const VMValue> args);
NativeResult native_infinity(VM& vm, std::span<const VMValue> args);
NativeResult native_negative_infinity(VM& vm, std::span<const VMValue> args);
NativeResult native_nan(VM& vm, std::span<const VMValue> args);

// Parsing numbers from text.
NativeResult native_parse_int(VM& vm, std::span<const VMValue> args);
NativeResult native_parse_double(VM& vm, std::span<const VMValue> args);

}  // namespace quorvel
