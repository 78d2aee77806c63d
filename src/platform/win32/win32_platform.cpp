#include "platform/win32/win32_platform.h"

#include "platform/os.h"
#include "platform/win32/win32_app.h"
#include "platform/win32/win32_apps.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_foreground.h"
#include "platform/win32/win32_http.h"
#include "platform/win32/win32_keyboard.h"
#include "platform/win32/win32_monitors.h"
#include "platform/win32/win32_overlay.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_tray.h"
#include "platform/win32/win32_uia.h"
#include "platform/win32/win32_web_windows.h"

namespace harvel::win32 {

void install_win32_platform(Win32Application* application) {
  static Win32Keyboard keyboard;
  static Win32Foreground foreground;
  static Win32Shell shell;
  static Win32Dialogs dialogs;
  static Win32Folders folders;
  static Win32Files files;
  static Win32Tray tray;
  static Win32Apps apps;
  static Win32Http http;
  static Win32Monitors monitors;
  os::Platform p = os::platform();
  p.keyboard = &keyboard;
  p.hook = &keyboard;
  p.foreground = &foreground;
  p.clock = &os::system_clock();
  p.shell = &shell;
  p.dialogs = &dialogs;
  p.folders = &folders;
  p.files = &files;
  p.tray = &tray;
  p.apps = &apps;
  p.http = &http;
  p.monitors = &monitors;
  if (application) {
    // The web-view host belongs to the first application installed.
    static Win32WebWindows web_windows(*application);
    p.windows = &web_windows;
    p.web_views = &web_windows;
    p.event_loop = application;
    p.app_loop = application;
    p.single_instance = application;
    p.global_shortcut = application;
  }
  static Win32Caret caret;
  static Win32Uia uia;
  static Win32OverlayWindows overlay;
  os::install_checker_platform({&caret, &uia, &overlay});
  os::install_platform(p);
}

}  // namespace harvel::win32
