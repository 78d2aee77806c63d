// Shared set-up of the host tests: the host is started once per process (on
// the private display of with_xvfb.sh) and the tests pump its main context.
#pragma once

#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "platform/linux/linux_host.h"

namespace harvel::linux_host::testing {

inline void start_host_once() {
  static const bool started = [] {
    static char name[] = "linux_host_tests";
    static char* argv[] = {name, nullptr};
    return start_linux_host(1, argv);
  }();
  ASSERT_TRUE(started) << "no display (run under with_xvfb.sh)";
}

// Runs the main context until `done` holds; false after `seconds`.
inline bool pump_until(const std::function<bool()>& done, double seconds = 10) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return true;
}

inline void pump_for(double seconds) {
  pump_until([] { return false; }, seconds);
}

}  // namespace harvel::linux_host::testing
