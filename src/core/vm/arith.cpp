#include "vm/arith.h"

#include <cmath>
#include <limits>

namespace quorvel {

namespace {

using i128 = __int128;
using u128 = unsigned __int128;

VMError expected_numbers() {
  return VMError::type_error("expected numbers");
}

u128 magnitude(i128 v) {
  return v < 0 ? -static_cast<u128>(v) : static_cast<u128>(v);
}

u128 gcd(u128 a, u128 b) {
  while (b != 0) {
    const u128 r = a % b;
    a = b;
    b = r;
  }
  return a;
}

bool fits_i64(i128 v) {
  return v >= std::numeric_limits<int64_t>::min() && v <= std::numeric_limits<int64_t>::max();
}

// An Int as n/1 or a Ratio as its parts.
struct Exact {
  i128 n;
  i128 d;
};

Exact exact_parts(VMValue v) {
  if (v.is_int()) return {v.as_int(), 1};
  return {v.numerator(), v.denominator()};
}

enum class Order : uint8_t { Less, Equal, Greater, Unordered };

template <class T>
Order order_of(T a, T b) {
  if (a < b) return Order::Less;
  if (b < a) return Order::Greater;
  if (a == b) return Order::Equal;
  return Order::Unordered;
}

Result<Order, VMError> compare_numbers(VMValue a, VMValue b) {
  if (a.is_int() && b.is_int()) return order_of(a.as_int(), b.as_int());
  if (!is_number(a) || !is_number(b)) return make_err(expected_numbers());
  if (a.is_float() || b.is_float()) {
    const Order order = order_of(number_to_double(a), number_to_double(b));
    if (order == Order::Unordered && (a.is_ratio() || b.is_ratio())) {
      return make_err(VMError::type_error("invalid float"));
    }
    return order;
  }
  const Exact x = exact_parts(a);
  const Exact y = exact_parts(b);
  return order_of(x.n * y.d, y.n * x.d);
}

}  // namespace

NativeResult make_ratio(i128 numerator, i128 denominator) {
  if (denominator == 0) return make_err(VMError::division_by_zero());
  if (denominator < 0) {
    numerator = -numerator;
    denominator = -denominator;
  }
  const u128 g = gcd(magnitude(numerator), static_cast<u128>(denominator));
  if (g > 1) {
    numerator /= static_cast<i128>(g);
    denominator /= static_cast<i128>(g);
  }
  if (!fits_i64(numerator) || !fits_i64(denominator)) {
    return make_err(VMError::type_error("ratio overflow"));
  }
  if (denominator == 1) return VMValue::integer(static_cast<int64_t>(numerator));
  return VMValue::ratio(static_cast<int64_t>(numerator), static_cast<int64_t>(denominator));
}

double number_to_double(VMValue v) {
  if (v.is_int()) return static_cast<double>(v.as_int());
  if (v.is_float()) return v.as_float();
  if (v.is_ratio())
    return static_cast<double>(v.numerator()) / static_cast<double>(v.denominator());
  return 0;
}

NativeResult arith_add(VMValue a, VMValue b) {
  if (a.is_int() && b.is_int()) return VMValue::integer(wrap_add(a.as_int(), b.as_int()));
  if (!is_number(a) || !is_number(b)) return make_err(expected_numbers());
  if (a.is_float() || b.is_float()) {
    return VMValue::floating(number_to_double(a) + number_to_double(b));
  }
  const Exact x = exact_parts(a);
  const Exact y = exact_parts(b);
  return make_ratio(x.n * y.d + y.n * x.d, x.d * y.d);
}

NativeResult arith_sub(VMValue a, VMValue b) {
  if (a.is_int() && b.is_int()) return VMValue::integer(wrap_sub(a.as_int(), b.as_int()));
  if (!is_number(a) || !is_number(b)) return make_err(expected_numbers());
  if (a.is_float() || b.is_float()) {
    return VMValue::floating(number_to_double(a) - number_to_double(b));
  }
  const Exact x = exact_parts(a);
  const Exact y = exact_parts(b);
  return make_ratio(x.n * y.d - y.n * x.d, x.d * y.d);
}

NativeResult arith_mul(VMValue a, VMValue b) {
  if (a.is_int() && b.is_int()) return VMValue::integer(wrap_mul(a.as_int(), b.as_int()));
  if (!is_number(a) || !is_number(b)) return make_err(expected_numbers());
  if (a.is_float() || b.is_float()) {
    return VMValue::floating(number_to_double(a) * number_to_double(b));
  }
  const Exact x = exact_parts(a);
  const Exact y = exact_parts(b);
  return make_ratio(x.n * y.n, x.d * y.d);
}

NativeResult arith_div(VMValue a, VMValue b) {
  if (!is_number(a) || !is_number(b)) return make_err(expected_numbers());
  if (a.is_int() && b.is_int()) {
    if (b.as_int() == 0) return make_err(VMError::division_by_zero());
    if (b.as_int() == -1) return VMValue::integer(wrap_sub(0, a.as_int()));
    return make_ratio(a.as_int(), b.as_int());
  }
  if (a.is_float() || b.is_float()) {
    const double divisor = number_to_double(b);
    if ((a.is_ratio() || b.is_ratio()) && divisor == 0) {
      return make_err(VMError::division_by_zero());
    }
    return VMValue::floating(number_to_double(a) / divisor);
  }
  const Exact x = exact_parts(a);
  const Exact y = exact_parts(b);
  if (y.n == 0) return make_err(VMError::division_by_zero());
  return make_ratio(x.n * y.d, x.d * y.n);
}

NativeResult arith_mod(VMValue a, VMValue b) {
  if (a.is_int() && b.is_int()) {
    if (b.as_int() == 0) return make_err(VMError::division_by_zero());
    if (b.as_int() == -1) return VMValue::integer(0);
    return VMValue::integer(a.as_int() % b.as_int());
  }
  if (!is_number(a) || !is_number(b) || a.is_ratio() || b.is_ratio()) {
    return make_err(expected_numbers());
  }
  return VMValue::floating(std::fmod(number_to_double(a), number_to_double(b)));
}

NativeResult arith_neg(VMValue a) {
  if (a.is_int()) return VMValue::integer(wrap_sub(0, a.as_int()));
  if (a.is_float()) return VMValue::floating(-a.as_float());
  if (a.is_ratio()) return make_ratio(-static_cast<i128>(a.numerator()), a.denominator());
  return make_err(VMError::type_error("expected number"));
}

Result<bool, VMError> arith_lt(VMValue a, VMValue b) {
  auto order = compare_numbers(a, b);
  if (!order) return make_err(std::move(order).error());
  return *order == Order::Less;
}

Result<bool, VMError> arith_le(VMValue a, VMValue b) {
  auto order = compare_numbers(a, b);
  if (!order) return make_err(std::move(order).error());
  return *order == Order::Less || *order == Order::Equal;
}

Result<bool, VMError> arith_gt(VMValue a, VMValue b) {
  auto order = compare_numbers(a, b);
  if (!order) return make_err(std::move(order).error());
  return *order == Order::Greater;
}

Result<bool, VMError> arith_ge(VMValue a, VMValue b) {
  auto order = compare_numbers(a, b);
  if (!order) return make_err(std::move(order).error());
  return *order == Order::Greater || *order == Order::Equal;
}

}  // namespace quorvel
