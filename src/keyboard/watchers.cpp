#include "keyboard/watchers.h"

#include <chrono>
#include <thread>

namespace harvel {

void Watchers::tick() {
  layout_.poll();
  if (++ticks_ == kLayoutPollsPerForegroundPoll) {
    ticks_ = 0;
    foreground_.poll();
  }
}

void run_watchers(App& app) {
  Watchers watchers(app);
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    watchers.tick();
  }
}

}  // namespace harvel
