#include "platform/win32/win32_platform.h"

#include "platform/os.h"
#include "platform/win32/win32_foreground.h"
#include "platform/win32/win32_keyboard.h"

namespace harvel::win32 {

void install_win32_platform() {
  static Win32Keyboard keyboard;
  static Win32Foreground foreground;
  os::Platform p = os::platform();
  p.keyboard = &keyboard;
  p.hook = &keyboard;
  p.foreground = &foreground;
  p.clock = &os::system_clock();
  os::install_platform(p);
}

}  // namespace harvel::win32
