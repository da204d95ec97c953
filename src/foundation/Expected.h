#pragma once
// A value or the error that prevented it; shaped like std::expected.

#include <utility>
#include <variant>

#include "foundation/Assert.h"
#include "foundation/Error.h"

namespace vantor {

template <class T>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : v_(std::move(value)) {}
  Expected(Error error) : v_(std::move(error)) {}

  bool has_value() const { return v_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & {
    VANTOR_ASSERT(has_value());
    return std::get<0>(v_);
  }
  const T& value() const& {
    VANTOR_ASSERT(has_value());
    return std::get<0>(v_);
  }
  T&& value() && {
    VANTOR_ASSERT(has_value());
    return std::get<0>(std::move(v_));
  }
  const Error& error() const {
    VANTOR_ASSERT(!has_value());
    return std::get<1>(v_);
  }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

 private:
  std::variant<T, Error> v_;
};

}  // namespace vantor
