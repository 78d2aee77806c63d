#include "platform/os.h"

namespace harvel::os {

namespace {
Platform g_platform;
}

Platform& platform() { return g_platform; }

void install_platform(const Platform& p) { g_platform = p; }

}  // namespace harvel::os
