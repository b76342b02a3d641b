// Errors as values: a Result holds either a value of T or an error of E.
#pragma once

#include <utility>
#include <variant>

namespace quorvel {

// Wraps an error so that Result's constructor can tell it from a value.
template <class E>
struct Err {
  E error;
};

template <class E>
Err<std::decay_t<E>> make_err(E&& e) {
  return Err<std::decay_t<E>>{std::forward<E>(e)};
}

template <class T, class E>
class [[nodiscard]] Result {
 public:
  Result(T value) : data_(std::in_place_index<0>, std::move(value)) {}
  template <class F>
  Result(Err<F> err) : data_(std::in_place_index<1>, E(std::move(err.error))) {}

  bool ok() const { return data_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(data_); }
  const T& value() const& { return std::get<0>(data_); }
  T&& value() && { return std::get<0>(std::move(data_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  E& error() & { return std::get<1>(data_); }
  const E& error() const& { return std::get<1>(data_); }
  E&& error() && { return std::get<1>(std::move(data_)); }

 private:
  std::variant<T, E> data_;
};

// Result of an operation that yields nothing on success.
struct Unit {};

}  // namespace quorvel
