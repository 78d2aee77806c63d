// The Windows program's entry.
//
// The program needs the WebView2 runtime for its windows. This build has no
// web-view host yet (the WebView2 SDK cannot be built against here), so it
// goes as far as the start allows without one: the start flag, the runtime
// check and, since no window can be shown either way, the box that explains
// the missing runtime and offers its download page. Then it ends with 0.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_webview2.h"
#include "shell/services.h"

// Only the types of the entry's signature: <windows.h> would define macros
// over the system constants that platform/os.h names.
#include <windef.h>

namespace harvel {

namespace {

constexpr std::string_view kWebView2DownloadUrl = "https://developer.microsoft.com/microsoft-edge/webview2/";

// Becomes true with the web-view host.
constexpr bool kHasWebViewHost = false;

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

int app_main() {
  win32::install_win32_platform();
  const std::vector<std::string> args = win32::command_line_arguments();
  [[maybe_unused]] const bool hidden = std::ranges::find(args, std::string_view("--hidden")) != args.end();

  const bool runtime_found = win32::webview2_runtime_version().has_value();
  if (!runtime_found || !kHasWebViewHost) {
    const int answer = os::platform().dialogs->message_box(
        "Harvel", webview2_missing_text(), os::MB_YESNO | os::MB_ICONWARNING | os::MB_SETFOREGROUND | os::MB_TOPMOST);
    if (answer == os::IDYES) open_url_in_browser(kWebView2DownloadUrl);
    return 0;
  }
  return 0;
}

}  // namespace

}  // namespace harvel

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return harvel::app_main(); }
