// Follows the foreground program: keeps its exe name in the shared state and
// tells the user when conversion is off in it.
#pragma once

#include <string>

namespace harvel {

class App;

inline constexpr std::string_view kOwnExeName = "harvel.exe";

class ForegroundWatcher {
 public:
  explicit ForegroundWatcher(App& app);
  // One poll (after the 700 ms sleep).
  void poll();

 private:
  App& app_;
  std::string last_exe_;
  std::string own_exe_;  // the running program's own file name, lower case
};

// The watcher thread's body; never returns.
[[noreturn]] void run_foreground_app_watcher(App& app);

}  // namespace harvel
