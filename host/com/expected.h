#pragma once
// Errors as values: a result or a message for the user.
#include <string>
#include <utility>
#include <variant>

struct Error {
  std::string message;
};

template <class T>
class Expected {
 public:
  Expected(T value) : mValue(std::in_place_index<0>, std::move(value)) {}
  Expected(Error error) : mValue(std::in_place_index<1>, std::move(error)) {}

  bool HasValue() const { return mValue.index() == 0; }
  explicit operator bool() const { return HasValue(); }
  T& Value() { return std::get<0>(mValue); }
  const T& Value() const { return std::get<0>(mValue); }
  T& operator*() { return Value(); }
  const T& operator*() const { return Value(); }
  T* operator->() { return &Value(); }
  const T* operator->() const { return &Value(); }
  const std::string& ErrorMessage() const { return std::get<1>(mValue).message; }

 private:
  std::variant<T, Error> mValue;
};

// For operations that return nothing but may fail.
struct Done {};
using Status = Expected<Done>;
inline Status Ok() { return Done{}; }
