// The Windows system behind the seam.
#pragma once

namespace harvel::win32 {

class Win32Application;

// Installs the Windows implementations as the process-wide platform: the
// keyboard hook and input, foreground queries, the system clock, shell
// services, folders and file writes, the message box, the application-list
// calls and the tray, the monitors, the checker's caret, UI Automation and
// overlay windows; with `application` also its event loop, single instance,
// global shortcut and the web-view host on its thread. Parts installed before
// and not named here are left in place.
void install_win32_platform(Win32Application* application = nullptr);

}  // namespace harvel::win32
