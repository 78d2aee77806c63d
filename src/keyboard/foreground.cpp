#include "keyboard/foreground.h"

#include <algorithm>

#include "core/text.h"
#include "platform/os.h"

namespace harvel {

namespace {
constexpr std::size_t kClassNameUnits = 64;
}

std::optional<std::string> process_image_path(uint32_t pid) {
  auto path = os::platform().foreground->process_image_path(pid);
  if (!path) return std::nullopt;
  return text::utf16_to_utf8_lossy(*path);
}

ForegroundApp foreground_app() { return app_of_window(os::platform().foreground->foreground_window()); }

ForegroundApp app_of_window(os::WindowHandle window) {
  os::Foreground& fg = *os::platform().foreground;
  ForegroundApp app;
  if (window == 0) return app;
  uint32_t pid = 0;
  app.thread = fg.window_thread_process_id(window, pid);
  if (pid == 0) return app;
  const auto path = fg.process_image_path(pid);
  if (!path) return app;
  const std::u16string_view p = *path;
  const std::size_t sep = p.find_last_of(u"\\/");
  const std::u16string_view name = sep == std::u16string_view::npos ? p : p.substr(sep + 1);
  app.exe = text::utf8_lower(text::utf16_to_utf8_lossy(name));
  return app;
}

bool foreground_is_shell_window() { return is_shell_window(os::platform().foreground->foreground_window()); }

bool is_shell_window(os::WindowHandle window) {
  if (window == 0) return false;
  const std::u16string units = os::platform().foreground->class_name(window, kClassNameUnits);
  if (units.empty()) return false;
  // The shell's classes are ASCII: compared unit by unit, with no UTF-8 copy
  // (the watchers ask several times a second).
  for (std::string_view shell : kShellWindowClasses) {
    if (std::equal(units.begin(), units.end(), shell.begin(), shell.end(),
                   [](char16_t u, char c) { return u == static_cast<unsigned char>(c); })) {
      return true;
    }
  }
  return false;
}

namespace {

// The elevation of the focused window's process; none when it cannot be read.
std::optional<bool> foreground_process_elevation() {
  os::Foreground& fg = *os::platform().foreground;
  const os::WindowHandle window = fg.foreground_window();
  uint32_t pid = 0;
  const uint32_t thread = window != 0 ? fg.window_thread_process_id(window, pid) : 0;
  os::WindowHandle target = window;
  if (thread != 0) {
    const auto info = fg.gui_thread_info(thread);
    if (info && info->focus != 0) target = info->focus;
  }
  pid = 0;
  if (target != 0) fg.window_thread_process_id(target, pid);
  if (pid == 0) return std::nullopt;
  return fg.process_elevated(pid);
}

}  // namespace

bool is_foreground_process_elevated() { return foreground_process_elevation().value_or(true); }

bool is_foreground_process_more_elevated() {
  const std::optional<bool> elevated = foreground_process_elevation();
  if (!elevated) return true;
  return *elevated && !os::platform().foreground->own_process_elevated().value_or(false);
}

}  // namespace harvel
