#pragma once

#include <utility>
#include <variant>

namespace tandemo {

// The error side of an Expected; build it with unexpected(error).
template <class E>
struct Unexpected {
  E error;
};

template <class E>
Unexpected<std::decay_t<E>> unexpected(E&& error) {
  return {std::forward<E>(error)};
}

// A value or the reason there is none. Results of fallible operations are never dropped silently.
template <class T, class E>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : data_(std::in_place_index<0>, std::move(value)) {}
  Expected(Unexpected<E> error) : data_(std::in_place_index<1>, std::move(error.error)) {}

  bool hasValue() const { return data_.index() == 0; }
  explicit operator bool() const { return hasValue(); }

  T& value() & { return std::get<0>(data_); }
  const T& value() const& { return std::get<0>(data_); }
  T&& value() && { return std::get<0>(std::move(data_)); }
  const E& error() const { return std::get<1>(data_); }

  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

 private:
  std::variant<T, E> data_;
};

// Success without a value.
template <class E>
class [[nodiscard]] Expected<void, E> {
 public:
  Expected() = default;
  Expected(Unexpected<E> error) : error_(std::move(error.error)), failed_(true) {}

  bool hasValue() const { return !failed_; }
  explicit operator bool() const { return hasValue(); }
  const E& error() const { return error_; }

 private:
  E error_{};
  bool failed_ = false;
};

}  // namespace tandemo
