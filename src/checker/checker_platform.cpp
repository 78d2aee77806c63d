#include "platform/os.h"

namespace harvel::os {

namespace {
CheckerPlatform g_checker_platform;
}

CheckerPlatform& checker_platform() { return g_checker_platform; }

void install_checker_platform(const CheckerPlatform& p) { g_checker_platform = p; }

}  // namespace harvel::os
