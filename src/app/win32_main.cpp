// The Windows program's entry: the start flag is read by the program
// itself; here the runtime check (the box when WebView2 is missing), then
// the Windows system behind the seam with its web-view host, and the
// program's run.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_main.h"
#include "core/app.h"
#include "core/services.h"
#include "platform/os.h"
#include "platform/win32/win32_app.h"
#include "platform/win32/win32_monitors.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_webview2.h"
#include "shell/state_commands.h"
#include "shell/tray_menu.h"

// Only the types of the entry's signature: <windows.h> would define macros
// over the system constants that platform/os.h names.
#include <windef.h>

namespace harvel {

namespace {

constexpr std::string_view kWebView2DownloadUrl = "https://developer.microsoft.com/microsoft-edge/webview2/";

std::string webview2_missing_text() {
  std::string text =
      "WebView2 topilmadi\n"
      "\n"
      "Harvel oynasi Microsoft WebView2 komponentini talab qiladi. Uni o\u2018rnatib, Harvel\u2019ni qayta oching.\n"
      "\n"
      "1. Havola orqali WebView2 Runtime\u2019ni yuklab oling\n"
      "2. Bir marta o\u2018rnating\n"
      "3. Harvel\u2019ni qayta oching\n"
      "\n";
  text += kWebView2DownloadUrl;
  text +=
      "\n"
      "Internet faqat shu yuklash uchun kerak.\n"
      "\n"
      "O\u2018rnatish havolasi ochilsinmi?\n"
      "Ha \u2014 havolani ochish, Yo\u2018q \u2014 chiqish.";
  return text;
}

[[noreturn]] void end(int code) {
  std::fflush(nullptr);
  // The background threads use the application until the very end: nothing
  // is torn down under them.
  std::_Exit(code);
}

int app_main() {
  win32::enable_per_monitor_dpi();
  win32::install_win32_platform();
  const std::vector<std::string> args = win32::command_line_arguments();

  if (!win32::webview2_runtime_version()) {
    const int answer = os::platform().dialogs->message_box(
        "Harvel", webview2_missing_text(), os::MB_YESNO | os::MB_ICONWARNING | os::MB_SETFOREGROUND | os::MB_TOPMOST);
    if (answer == os::IDYES) open_url_in_browser(kWebView2DownloadUrl);
    return 0;
  }

  auto* application = new win32::Win32Application;
  if (!application->valid()) {
    std::fprintf(stderr, "Harvel ishga tushmadi: the application window could not be created\n");
    end(1);
  }
  win32::install_win32_platform(application);
  App* app = new App;
  // A close request (the installer's, before it replaces the program) is
  // answered as the tray's "Chiqish"; before set-up there is nothing to stop.
  application->set_close_request_handler([app, application] {
    if (app->try_ctx()) {
      request_quit(*app);
    } else {
      application->exit(0);
    }
  });
  const int code = run_app(*app, args);
  // The shell forgets a process's icons only when asked.
  if (os::Tray* tray = os::platform().tray) tray->remove(kTrayId);
  end(code);
}

}  // namespace

}  // namespace harvel

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return harvel::app_main(); }
