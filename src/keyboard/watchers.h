// The layout and foreground watchers on one thread: the layout is polled
// every 100 ms and the foreground program every 700 ms, at every seventh
// layout poll, so one wake-up serves both.
#pragma once

#include "keyboard/foreground_watcher.h"
#include "keyboard/layout_watcher.h"

namespace harvel {

class Watchers {
 public:
  static constexpr unsigned kLayoutPollsPerForegroundPoll = 7;

  explicit Watchers(App& app) : layout_(app), foreground_(app) {}
  // One tick (after the 100 ms sleep).
  void tick();

 private:
  LayoutWatcher layout_;
  ForegroundWatcher foreground_;
  unsigned ticks_ = 0;
};

// The watchers' thread body; never returns.
[[noreturn]] void run_watchers(App& app);

}  // namespace harvel
