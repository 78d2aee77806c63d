#include "platform/os.h"

namespace harvel::os {

namespace {

Platform g_platform;

class SystemClock final : public Clock {
 public:
  Instant now() override { return std::chrono::steady_clock::now(); }
  int64_t unix_ms() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  }
};

}  // namespace

Platform& platform() { return g_platform; }

void install_platform(const Platform& p) { g_platform = p; }

Clock& system_clock() {
  static SystemClock clock;
  return clock;
}

}  // namespace harvel::os
