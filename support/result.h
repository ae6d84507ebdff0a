#pragma once

// Errors are values inside the core: every fallible operation returns a
// Result holding either its value or its error. (std::expected arrives with
// C++23; this is the small subset the project uses.)

#include <type_traits>
#include <utility>
#include <variant>

namespace revizer {

template <class E>
struct Unexpected {
  E error;
};
template <class E>
Unexpected(E) -> Unexpected<E>;

// Shorthand for returning an error: `return fail(CodecError{...});`
template <class E>
Unexpected<std::decay_t<E>> fail(E&& error) {
  return {std::forward<E>(error)};
}

template <class T, class E>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  template <class U = T, std::enable_if_t<std::is_default_constructible_v<U>, int> = 0>
  Result() : state_(std::in_place_index<0>) {}
  template <class G>
  Result(Unexpected<G> error) : state_(std::in_place_index<1>, std::move(error.error)) {}

  bool has_value() const noexcept { return state_.index() == 0; }
  explicit operator bool() const noexcept { return has_value(); }

  T& value() & { return *std::get_if<0>(&state_); }
  const T& value() const& { return *std::get_if<0>(&state_); }
  T&& value() && { return std::move(*std::get_if<0>(&state_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  E& error() & { return *std::get_if<1>(&state_); }
  const E& error() const& { return *std::get_if<1>(&state_); }
  E&& error() && { return std::move(*std::get_if<1>(&state_)); }

 private:
  std::variant<T, E> state_;
};

// A Result without a value: success or an error.
struct Ok {};
template <class E>
using Status = Result<Ok, E>;

}  // namespace revizer
