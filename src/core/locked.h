// A value behind its own mutex: the one way the shared state is reached.
#pragma once

#include <mutex>
#include <utility>

namespace harvel {

template <typename T>
class Locked {
 public:
  Locked() = default;
  explicit Locked(T value) : value_(std::move(value)) {}

  // Calls f with the value under the lock and returns what f returns.
  template <typename F>
  decltype(auto) with(F&& f) {
    std::lock_guard lock(mutex_);
    return std::forward<F>(f)(value_);
  }

  T copy() {
    std::lock_guard lock(mutex_);
    return value_;
  }

  void set(T value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }

  // Moves the value out, leaving a default-constructed one.
  T take() {
    std::lock_guard lock(mutex_);
    return std::exchange(value_, T{});
  }

 private:
  std::mutex mutex_;
  T value_{};
};

}  // namespace harvel
