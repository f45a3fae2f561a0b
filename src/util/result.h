#pragma once
// Failures travel as values. Result<T> holds either a T or an error (a
// message text by default), in the spirit of std::expected, which the
// libstdc++ that clang 14 uses does not offer.

#include <cassert>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace tersify {

template <class E>
struct Unexpected {
  E error;
};

// Builds the error side of a Result: `return fail("message");`
template <class E>
Unexpected<std::decay_t<E>> fail(E&& error) {
  return {std::forward<E>(error)};
}
inline Unexpected<std::string> fail(const char* message) { return {std::string(message)}; }

template <class T, class E = std::string>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  template <class U>
  requires std::is_constructible_v<E, U> Result(Unexpected<U> failure)
      : state_(std::in_place_index<1>, E(std::move(failure.error))) {}

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & {
    assert(has_value());
    return std::get<0>(state_);
  }
  const T& value() const& {
    assert(has_value());
    return std::get<0>(state_);
  }
  T&& value() && {
    assert(has_value());
    return std::get<0>(std::move(state_));
  }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const E& error() const& {
    assert(!has_value());
    return std::get<1>(state_);
  }
  E&& error() && {
    assert(!has_value());
    return std::get<1>(std::move(state_));
  }

 private:
  std::variant<T, E> state_;
};

template <class E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  template <class U>
  requires std::is_constructible_v<E, U> Result(Unexpected<U> failure)
      : error_(E(std::move(failure.error))), failed_(true) {}

  bool has_value() const { return !failed_; }
  explicit operator bool() const { return has_value(); }
  const E& error() const& {
    assert(failed_);
    return error_;
  }
  E&& error() && {
    assert(failed_);
    return std::move(error_);
  }

 private:
  E error_{};
  bool failed_ = false;
};

using Status = Result<void>;

}  // namespace tersify
