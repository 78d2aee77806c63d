#include "checker/checker_overlay.h"

#include <atomic>

namespace harvel {

void start_checker_overlay_once(App& app) {
  static std::atomic<bool> started{false};
  if (started.exchange(true)) return;
  // The overlay thread and its channel come with the realtime checker.
  (void)app;
}

}  // namespace harvel
