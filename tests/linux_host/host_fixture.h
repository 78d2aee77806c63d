// Shared set-up of the host tests: the host is started once per process (on
// the private display of with_xvfb.sh) and the tests pump its main context.
#pragma once

#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/linux_host.h"

extern char** environ;

namespace harvel::linux_host::testing {

inline void start_host_once() {
  static const bool started = [] {
    static char name[] = "linux_host_tests";
    static char* argv[] = {name, nullptr};
    return start_linux_host(1, argv);
  }();
  ASSERT_TRUE(started) << "no display (run under with_xvfb.sh)";
}

// How long a test waits for an event it needs: enough for a cold start
// (empty font and icon caches) on a machine whose every core is busy. Only
// a failing test waits that long.
inline constexpr double kEventSeconds = 60;

// Runs the main context until `done` holds; false after `seconds`.
inline bool pump_until(const std::function<bool()>& done, double seconds = kEventSeconds) {
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

// Sets (or, with none, removes) an environment variable for the life of the
// object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A child program with its standard input and output on pipes of ours.
struct PipedChild {
  pid_t pid = 0;   // 0 when it could not be started
  int in = -1;     // its standard input
  int out = -1;    // its standard output
};

inline PipedChild spawn_piped(std::vector<std::string> args) {
  PipedChild child;
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int in[2];
  int out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return child;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return child;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  if (posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) child.pid = 0;
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  child.in = in[1];
  child.out = out[0];
  return child;
}

}  // namespace harvel::linux_host::testing
