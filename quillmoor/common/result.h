// Result<T, E>: a value or an error, the way every fallible operation of
// the project reports its outcome. Nothing is thrown across module
// boundaries; errors travel as values and are checked at each step.
#pragma once

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

namespace quillmoor {

// Wraps an error so that it converts into any Result whose error type can
// be built from it: `return Err(DatError::not_found(id));`.
template <class E>
struct Err {
  E error;
};
template <class E>
Err(E) -> Err<E>;

template <class T, class E>
class [[nodiscard]] Result {
 public:
  using value_type = T;
  using error_type = E;

  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT(google-explicit-constructor)
  template <class E2, class = std::enable_if_t<std::is_constructible_v<E, E2&&>>>
  Result(Err<E2> err) : v_(std::in_place_index<1>, E(std::move(err.error))) {}  // NOLINT(google-explicit-constructor)

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { assert(ok()); return std::get<0>(v_); }
  const T& value() const& { assert(ok()); return std::get<0>(v_); }
  T&& value() && { assert(ok()); return std::get<0>(std::move(v_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  E& error() & { assert(!ok()); return std::get<1>(v_); }
  const E& error() const& { assert(!ok()); return std::get<1>(v_); }
  E&& error() && { assert(!ok()); return std::get<1>(std::move(v_)); }

 private:
  std::variant<T, E> v_;
};

struct Ok {};

// Result<void, E>: success carries nothing.
template <class E>
class [[nodiscard]] Result<void, E> {
 public:
  using value_type = void;
  using error_type = E;

  Result() = default;
  Result(Ok) {}  // NOLINT(google-explicit-constructor)
  template <class E2, class = std::enable_if_t<std::is_constructible_v<E, E2&&>>>
  Result(Err<E2> err) : v_(std::in_place_index<1>, E(std::move(err.error))) {}  // NOLINT(google-explicit-constructor)

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  E& error() & { assert(!ok()); return std::get<1>(v_); }
  const E& error() const& { assert(!ok()); return std::get<1>(v_); }
  E&& error() && { assert(!ok()); return std::get<1>(std::move(v_)); }

 private:
  std::variant<std::monostate, E> v_;
};

}  // namespace quillmoor

#define QM_CONCAT_INNER_(a, b) a##b
#define QM_CONCAT_(a, b) QM_CONCAT_INNER_(a, b)

// Returns the error of `expr` from the enclosing function, converting it to
// that function's error type.
#define QM_TRY(expr)                                              \
  do {                                                            \
    auto&& qm_try_result_ = (expr);                               \
    if (!qm_try_result_.ok())                                     \
      return ::quillmoor::Err{std::move(qm_try_result_).error()}; \
  } while (false)

// `QM_ASSIGN_OR_RETURN(auto x, read_u32(r));` declares x from the value of
// the expression, or returns its error from the enclosing function.
#define QM_ASSIGN_OR_RETURN(lhs, expr) \
  QM_ASSIGN_OR_RETURN_IMPL_(QM_CONCAT_(qm_result_, __LINE__), lhs, expr)
#define QM_ASSIGN_OR_RETURN_IMPL_(tmp, lhs, expr)         \
  auto tmp = (expr);                                      \
  if (!tmp.ok()) return ::quillmoor::Err{std::move(tmp).error()}; \
  lhs = std::move(tmp).value()
