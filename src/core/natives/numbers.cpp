#include "natives/numbers.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "natives/args.h"
#include "vm/arith.h"

namespace quorvel {

namespace {

using i128 = __int128;
using u128 = unsigned __int128;

// --- Exact arithmetic ----------------------------------------------------
// Ints and ratios are combined as fractions of 128-bit integers, reduced
// after every step and checked to fit 64 bits only at the end (make_ratio,
// which also turns a denominator of 1 into an Int). A step whose
// intermediate would leave 128 bits is reported as "ratio overflow" too.

struct Fraction {
  i128 num;
  i128 den;
};

bool is_exact(VMValue v) {
  return v.is_int() || v.is_ratio();
}

// Precondition: is_exact(v).
Fraction fraction_of(VMValue v) {
  if (v.is_int()) return {v.as_int(), 1};
  return {v.numerator(), v.denominator()};
}

u128 magnitude(i128 x) {
  return x < 0 ? -static_cast<u128>(x) : static_cast<u128>(x);
}

u128 gcd(u128 a, u128 b) {
  while (b != 0) a = std::exchange(b, a % b);
  return a;
}

// Divides both parts by their greatest common divisor (the gcd of two
// values at most 2^127 in magnitude fits; the quotients keep their signs).
Fraction reduced(Fraction f) {
  const u128 g = gcd(magnitude(f.num), magnitude(f.den));
  if (g <= 1) return f;
  const auto shrink = [g](i128 x) {
    const i128 q = static_cast<i128>(magnitude(x) / g);
    return x < 0 ? -q : q;
  };
  return {shrink(f.num), shrink(f.den)};
}

VMError ratio_overflow() {
  return VMError::type_error("ratio overflow");
}

enum class ArithOp { Add, Sub, Mul };

// a op b on fractions; nothing when an intermediate leaves 128 bits.
std::optional<Fraction> combine(ArithOp op, Fraction a, Fraction b) {
  Fraction out;
  if (op == ArithOp::Mul) {
    if (__builtin_mul_overflow(a.num, b.num, &out.num)) return std::nullopt;
  } else {
    i128 left, right;
    if (__builtin_mul_overflow(a.num, b.den, &left) ||
        __builtin_mul_overflow(b.num, a.den, &right)) {
      return std::nullopt;
    }
    const bool overflow = op == ArithOp::Add ? __builtin_add_overflow(left, right, &out.num)
                                             : __builtin_sub_overflow(left, right, &out.num);
    if (overflow) return std::nullopt;
  }
  if (__builtin_mul_overflow(a.den, b.den, &out.den)) return std::nullopt;
  return reduced(out);
}

double combine(ArithOp op, double a, double b) {
  switch (op) {
    case ArithOp::Add:
      return a + b;
    case ArithOp::Sub:
      return a - b;
    case ArithOp::Mul:
      return a * b;
  }
  return 0;
}

// Folds the arguments (at least one) from the left: in floating point when
// any of them is a Float, exactly otherwise.
NativeResult fold_arith(Args args, ArithOp op, std::string_view name) {
  bool any_float = false;
  for (const VMValue& arg : args) {
    if (!is_number(arg)) return type_error(std::string(name) + " requires numbers");
    any_float = any_float || arg.is_float();
  }
  if (any_float) {
    double acc = *number_as_double(args[0]);
    for (const VMValue& arg : args.subspan(1)) acc = combine(op, acc, *number_as_double(arg));
    return VMValue::floating(acc);
  }
  Fraction acc = fraction_of(args[0]);
  for (const VMValue& arg : args.subspan(1)) {
    const auto next = combine(op, acc, fraction_of(arg));
    if (!next) return make_err(ratio_overflow());
    acc = *next;
  }
  return make_ratio(acc.num, acc.den);
}

NativeResult negate(VMValue v) {
  if (v.is_int()) {
    return VMValue::integer(static_cast<int64_t>(0 - static_cast<uint64_t>(v.as_int())));
  }
  if (v.is_float()) return VMValue::floating(-v.as_float());
  if (v.is_ratio()) return make_ratio(-static_cast<i128>(v.numerator()), v.denominator());
  return type_error("- requires numbers");
}

// a / b: floats when either is a Float, exact otherwise; a zero divisor is
// DivisionByZero in both.
NativeResult divide(VMValue a, VMValue b) {
  if (a.is_float() || b.is_float()) {
    const auto x = number_as_double(a);
    const auto y = number_as_double(b);
    if (!x || !y) return type_error("/ requires numbers");
    if (*y == 0.0) return make_err(VMError::division_by_zero());
    return VMValue::floating(*x / *y);
  }
  if (!is_exact(a) || !is_exact(b)) return type_error("/ requires numbers");
  const Fraction p = fraction_of(a);
  const Fraction q = fraction_of(b);
  if (q.num == 0 || p.den == 0) return make_err(VMError::division_by_zero());
  // Products of two 64-bit values always fit 128 bits.
  return make_ratio(p.num * q.den, p.den * q.num);
}

// --- Comparison ------------------------------------------------------------

// The ordering of a and b: negative, zero or positive.
Result<int, VMError> compare(VMValue a, VMValue b) {
  if (a.is_float() || b.is_float()) {
    const auto x = number_as_double(a);
    const auto y = number_as_double(b);
    if (!x || !y) return make_err(VMError::type_error("comparison requires numbers"));
    if (std::isnan(*x) || std::isnan(*y)) return make_err(VMError::type_error("invalid float"));
    return (*x > *y) - (*x < *y);
  }
  if (!is_exact(a) || !is_exact(b)) {
    return make_err(VMError::type_error("comparison requires numbers"));
  }
  const Fraction p = fraction_of(a);
  const Fraction q = fraction_of(b);
  const i128 left = p.num * q.den;
  const i128 right = q.num * p.den;
  return (left > right) - (left < right);
}

// True when every adjacent pair is ordered as `holds` wants; stops at the
// first pair that is not.
NativeResult compare_chain(Args args, bool (*holds)(int order)) {
  for (size_t i = 1; i < args.size(); ++i) {
    const auto order = compare(args[i - 1], args[i]);
    if (!order) return make_err(order.error());
    if (!holds(*order)) return VMValue::boolean(false);
  }
  return VMValue::boolean(true);
}

// --- Integer natives -------------------------------------------------------

struct IntPair {
  int64_t a;
  int64_t b;
};

// Exactly two Int arguments, else the arity error or "<name> requires integers".
Result<IntPair, VMError> int_pair(Args args, std::string_view name) {
  if (auto error = check_exactly(args, 2)) return make_err(std::move(*error));
  if (!args[0].is_int() || !args[1].is_int()) {
    return make_err(VMError::type_error(std::string(name) + " requires integers"));
  }
  return IntPair{args[0].as_int(), args[1].as_int()};
}

// Applies f to two Int arguments; f receives them and returns the result.
template <class F>
NativeResult with_int_pair(Args args, std::string_view name, F f) {
  const auto pair = int_pair(args, name);
  if (!pair) return make_err(pair.error());
  return f(pair->a, pair->b);
}

VMError division_by_zero_value() {
  return VMError::value_error("division by zero");
}

// A magnitude that must come back as a non-negative Int.
NativeResult non_negative(u128 x) {
  if (x > INT64_MAX) return value_error("integer overflow");
  return VMValue::integer(static_cast<int64_t>(x));
}

// --- Floating-point natives -----------------------------------------------

NativeResult float_math(Args args, std::string_view name, double (*f)(double)) {
  if (auto error = check_exactly(args, 1)) return make_err(std::move(*error));
  const auto x = number_as_double(args[0]);
  if (!x) return type_error(std::string(name) + " requires a number");
  return VMValue::floating(f(*x));
}

NativeResult float_math2(Args args, std::string_view name, double (*f)(double, double)) {
  if (auto error = check_exactly(args, 2)) return make_err(std::move(*error));
  const auto x = number_as_double(args[0]);
  const auto y = number_as_double(args[1]);
  if (!x || !y) return type_error(std::string(name) + " requires numbers");
  return VMValue::floating(f(*x, *y));
}

NativeResult parity(Args args, std::string_view name, bool odd) {
  const VMValue v = arg_or_nil(args, 0);
  if (!v.is_int()) return type_error(std::string(name) + " requires an integer");
  return VMValue::boolean((v.as_int() & 1) == (odd ? 1 : 0));
}

NativeResult constant(uint64_t bits) {
  return VMValue::floating(std::bit_cast<double>(bits));
}

// --- Parsing -------------------------------------------------------------

// Splits off an optional leading sign; true when it was a minus.
bool take_sign(std::string_view& text) {
  if (text.empty() || (text[0] != '+' && text[0] != '-')) return false;
  const bool negative = text[0] == '-';
  text.remove_prefix(1);
  return negative;
}

// For an unsigned decimal text that lies outside the range of doubles:
// true when it is too large (it rounds to infinity), false when too small
// (it rounds to zero). Decided by the decimal order of its first significant
// digit, which is far from zero either way.
bool beyond_largest_double(std::string_view text) {
  const size_t e = text.find_first_of("eE");
  const std::string_view mantissa = text.substr(0, e);
  const size_t point = std::min(mantissa.find('.'), mantissa.size());
  const size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return false;
  i128 order = first < point ? i128(point - first) - 1 : -i128(first - point);
  if (e != std::string_view::npos) {
    std::string_view exponent = text.substr(e + 1);
    const bool negative = take_sign(exponent);
    int64_t shift = 0;
    const auto [ptr, ec] =
        std::from_chars(exponent.data(), exponent.data() + exponent.size(), shift);
    if (ec == std::errc::result_out_of_range) return !negative;
    order += negative ? -i128(shift) : i128(shift);
  }
  return order >= 0;
}

}  // namespace

// --- Arithmetic ------------------------------------------------------------

NativeResult native_add(VM&, Args args) {
  if (args.empty()) return VMValue::integer(0);
  return fold_arith(args, ArithOp::Add, "+");
}

NativeResult native_sub(VM&, Args args) {
  if (args.empty()) return VMValue::integer(0);
  if (args.size() == 1) return negate(args[0]);
  return fold_arith(args, ArithOp::Sub, "-");
}

NativeResult native_mul(VM&, Args args) {
  if (args.empty()) return VMValue::integer(1);
  return fold_arith(args, ArithOp::Mul, "*");
}

NativeResult native_div(VM&, Args args) {
  if (auto error = check_at_least(args, 1)) return make_err(std::move(*error));
  if (args.size() == 1) {
    if (args[0].is_float()) return VMValue::floating(1.0 / args[0].as_float());
    return divide(VMValue::integer(1), args[0]);
  }
  NativeResult acc = args[0];
  for (const VMValue& arg : args.subspan(1)) {
    acc = divide(*acc, arg);
    if (!acc) break;
  }
  return acc;
}

// --- Comparison ------------------------------------------------------------

NativeResult native_equal(VM& vm, Args args) {
  for (size_t i = 1; i < args.size(); ++i) {
    const auto equal = vm.values_equal(args[i - 1], args[i]);
    if (!equal) return make_err(equal.error());
    if (!*equal) return VMValue::boolean(false);
  }
  return VMValue::boolean(true);
}

NativeResult native_lt(VM&, Args args) {
  return compare_chain(args, [](int order) { return order < 0; });
}
NativeResult native_le(VM&, Args args) {
  return compare_chain(args, [](int order) { return order <= 0; });
}
NativeResult native_gt(VM&, Args args) {
  return compare_chain(args, [](int order) { return order > 0; });
}
NativeResult native_ge(VM&, Args args) {
  return compare_chain(args, [](int order) { return order >= 0; });
}

// --- Integer division and divisors --------------------------------------
// The most negative integer divided by -1 gives the wrapped quotient (itself)
// and remainder 0.

NativeResult native_quot(VM&, Args args) {
  return with_int_pair(args, "quot", [](int64_t a, int64_t b) -> NativeResult {
    if (b == 0) return make_err(division_by_zero_value());
    if (b == -1) return VMValue::integer(static_cast<int64_t>(0 - static_cast<uint64_t>(a)));
    return VMValue::integer(a / b);
  });
}

NativeResult native_rem(VM&, Args args) {
  return with_int_pair(args, "rem", [](int64_t a, int64_t b) -> NativeResult {
    if (b == 0) return make_err(division_by_zero_value());
    if (b == -1) return VMValue::integer(0);
    return VMValue::integer(a % b);
  });
}

NativeResult native_mod(VM&, Args args) {
  return with_int_pair(args, "mod", [](int64_t a, int64_t b) -> NativeResult {
    if (b == 0) return make_err(division_by_zero_value());
    if (b == -1) return VMValue::integer(0);
    int64_t r = a % b;
    if (r != 0 && (r < 0) != (b < 0)) r += b;
    return VMValue::integer(r);
  });
}

// Results that do not fit a non-negative Int (gcd or lcm involving the most
// negative integer, lcm products past 64 bits) are the value error
// "integer overflow".
NativeResult native_gcd(VM&, Args args) {
  return with_int_pair(args, "gcd", [](int64_t a, int64_t b) {
    return non_negative(gcd(magnitude(a), magnitude(b)));
  });
}

NativeResult native_lcm(VM&, Args args) {
  return with_int_pair(args, "lcm", [](int64_t a, int64_t b) {
    if (a == 0 || b == 0) return NativeResult(VMValue::integer(0));
    const u128 x = magnitude(a);
    const u128 y = magnitude(b);
    return non_negative(y * (x / gcd(x, y)));
  });
}

// --- Parity ----------------------------------------------------------------

NativeResult native_even(VM&, Args args) {
  return parity(args, "even?", false);
}
NativeResult native_odd(VM&, Args args) {
  return parity(args, "odd?", true);
}

// --- Floating-point math -------------------------------------------------

NativeResult native_floor(VM&, Args args) {
  return float_math(args, "floor", [](double x) { return std::floor(x); });
}
NativeResult native_ceil(VM&, Args args) {
  return float_math(args, "ceil", [](double x) { return std::ceil(x); });
}
// Half away from zero; the constant just below 0.5 keeps 0.49999999999999994
// from rounding up.
NativeResult native_round(VM&, Args args) {
  return float_math(args, "round",
                    [](double x) { return std::trunc(x + std::copysign(0.49999999999999994, x)); });
}
NativeResult native_sqrt(VM&, Args args) {
  return float_math(args, "sqrt", [](double x) { return std::sqrt(x); });
}
NativeResult native_exp(VM&, Args args) {
  return float_math(args, "exp", [](double x) { return std::exp(x); });
}
NativeResult native_log(VM&, Args args) {
  return float_math(args, "log", [](double x) { return std::log(x); });
}
NativeResult native_log2(VM&, Args args) {
  return float_math(args, "log2", [](double x) { return std::log2(x); });
}
NativeResult native_log10(VM&, Args args) {
  return float_math(args, "log10", [](double x) { return std::log10(x); });
}
NativeResult native_sin(VM&, Args args) {
  return float_math(args, "sin", [](double x) { return std::sin(x); });
}
NativeResult native_cos(VM&, Args args) {
  return float_math(args, "cos", [](double x) { return std::cos(x); });
}
NativeResult native_tan(VM&, Args args) {
  return float_math(args, "tan", [](double x) { return std::tan(x); });
}
NativeResult native_asin(VM&, Args args) {
  return float_math(args, "asin", [](double x) { return std::asin(x); });
}
NativeResult native_acos(VM&, Args args) {
  return float_math(args, "acos", [](double x) { return std::acos(x); });
}
NativeResult native_atan(VM&, Args args) {
  return float_math(args, "atan", [](double x) { return std::atan(x); });
}
NativeResult native_sinh(VM&, Args args) {
  return float_math(args, "sinh", [](double x) { return std::sinh(x); });
}
NativeResult native_cosh(VM&, Args args) {
  return float_math(args, "cosh", [](double x) { return std::cosh(x); });
}
NativeResult native_tanh(VM&, Args args) {
  return float_math(args, "tanh", [](double x) { return std::tanh(x); });
}
NativeResult native_asinh(VM&, Args args) {
  return float_math(args, "asinh", [](double x) {
    const double a = std::fabs(x);
    return std::copysign(std::log1p(a + a / (std::hypot(1.0, 1.0 / a) + 1.0 / a)), x);
  });
}
NativeResult native_acosh(VM&, Args args) {
  return float_math(args, "acosh", [](double x) {
    if (x < 1.0) return std::nan("");
    return std::log(x + std::sqrt(x - 1.0) * std::sqrt(x + 1.0));
  });
}
NativeResult native_atanh(VM&, Args args) {
  return float_math(args, "atanh", [](double x) { return 0.5 * std::log1p(2.0 * x / (1.0 - x)); });
}

NativeResult native_pow(VM&, Args args) {
  return float_math2(args, "pow", [](double x, double y) { return std::pow(x, y); });
}
NativeResult native_atan2(VM&, Args args) {
  return float_math2(args, "atan2", [](double y, double x) { return std::atan2(y, x); });
}
NativeResult native_hypot(VM&, Args args) {
  return float_math2(args, "hypot", [](double x, double y) { return std::hypot(x, y); });
}

// --- Sign and ratio parts ------------------------------------------------

NativeResult native_signum(VM&, Args args) {
  if (auto error = check_exactly(args, 1)) return make_err(std::move(*error));
  const VMValue v = args[0];
  if (v.is_int()) return VMValue::integer((v.as_int() > 0) - (v.as_int() < 0));
  if (v.is_float()) {
    const double x = v.as_float();
    return VMValue::floating(std::isnan(x) ? x : std::copysign(1.0, x));
  }
  return type_error("signum requires a number");
}

NativeResult native_numerator(VM&, Args args) {
  if (auto error = check_exactly(args, 1)) return make_err(std::move(*error));
  const VMValue v = args[0];
  if (v.is_int()) return v;
  if (v.is_ratio()) return VMValue::integer(v.numerator());
  return type_error("numerator requires a ratio or integer");
}

NativeResult native_denominator(VM&, Args args) {
  if (auto error = check_exactly(args, 1)) return make_err(std::move(*error));
  const VMValue v = args[0];
  if (v.is_int()) return VMValue::integer(1);
  if (v.is_ratio()) return VMValue::integer(v.denominator());
  return type_error("denominator requires a ratio or integer");
}

// --- Bit operations ------------------------------------------------------
// Shift counts are taken modulo 64.

NativeResult native_bit_and(VM&, Args args) {
  return with_int_pair(args, "bit-and",
                       [](int64_t a, int64_t b) { return NativeResult(VMValue::integer(a & b)); });
}
NativeResult native_bit_or(VM&, Args args) {
  return with_int_pair(args, "bit-or",
                       [](int64_t a, int64_t b) { return NativeResult(VMValue::integer(a | b)); });
}
NativeResult native_bit_xor(VM&, Args args) {
  return with_int_pair(args, "bit-xor",
                       [](int64_t a, int64_t b) { return NativeResult(VMValue::integer(a ^ b)); });
}
NativeResult native_bit_not(VM&, Args args) {
  if (auto error = check_exactly(args, 1)) return make_err(std::move(*error));
  if (!args[0].is_int()) return type_error("bit-not requires an integer");
  return VMValue::integer(~args[0].as_int());
}
NativeResult native_bit_shift_left(VM&, Args args) {
  return with_int_pair(args, "bit-shift-left", [](int64_t a, int64_t b) {
    return NativeResult(
        VMValue::integer(static_cast<int64_t>(static_cast<uint64_t>(a) << (b & 63))));
  });
}
NativeResult native_bit_shift_right(VM&, Args args) {
  return with_int_pair(args, "bit-shift-right", [](int64_t a, int64_t b) {
    return NativeResult(VMValue::integer(a >> (b & 63)));
  });
}

// --- Constants -------------------------------------------------------------

NativeResult native_pi(VM&, Args) {
  return constant(0x400921fb54442d18);
}
NativeResult native_e(VM&, Args) {
  return constant(0x4005bf0a8b145769);
}
NativeResult native_infinity(VM&, Args) {
  return constant(0x7ff0000000000000);
}
NativeResult native_negative_infinity(VM&, Args) {
  return constant(0xfff0000000000000);
}
NativeResult native_nan(VM&, Args) {
  return constant(0x7ff8000000000000);
}

// --- Parsing -------------------------------------------------------------

// (parse-int s radix?): the whole text as a signed 64-bit integer in the
// radix (2 to 36, digits and letters of either case); nil when it does not
// parse or fit.
NativeResult native_parse_int(VM& vm, Args args) {
  if (auto error = check_between(args, 1, 2)) return make_err(std::move(*error));
  auto text = string_text(vm, args[0]);
  if (!text) return type_error("expected a string");
  int64_t radix = 10;
  if (args.size() == 2) {
    if (!args[1].is_int()) return type_error("radix must be integer");
    radix = args[1].as_int();
    if (radix < 2 || radix > 36) return value_error("radix must be between 2 and 36");
  }
  const bool negative = take_sign(*text);
  uint64_t value = 0;
  const char* end = text->data() + text->size();
  // An unsigned parse refuses a second sign.
  const auto [ptr, ec] = std::from_chars(text->data(), end, value, static_cast<int>(radix));
  if (ec != std::errc() || ptr != end) return VMValue::nil();
  const uint64_t limit = negative ? uint64_t{1} << 63 : uint64_t{INT64_MAX};
  if (value > limit) return VMValue::nil();
  return VMValue::integer(static_cast<int64_t>(negative ? 0 - value : value));
}

// (parse-double s): the whole text as a decimal floating-point number
// (sign, digits with optional fraction or a fraction alone, optional
// exponent, or inf, infinity, nan in any case); nil when it does not parse.
NativeResult native_parse_double(VM& vm, Args args) {
  if (auto error = check_exactly(args, 1)) return make_err(std::move(*error));
  auto text = string_text(vm, args[0]);
  if (!text) return type_error("expected a string");
  std::string_view body = *text;
  const bool negative = take_sign(body);
  // from_chars also reads "nan(...)", which is not a number here, and
  // takes a sign of its own.
  if (body.empty() || body.front() == '+' || body.front() == '-' ||
      body.find('(') != std::string_view::npos) {
    return VMValue::nil();
  }
  double value = 0;
  const char* end = body.data() + body.size();
  const auto [ptr, ec] = std::from_chars(body.data(), end, value, std::chars_format::general);
  if (ptr != end) return VMValue::nil();
  if (ec == std::errc::result_out_of_range) {
    value = beyond_largest_double(body) ? HUGE_VAL : 0.0;
  } else if (ec != std::errc()) {
    return VMValue::nil();
  }
  return VMValue::floating(negative ? -value : value);
}

}  // namespace quorvel
