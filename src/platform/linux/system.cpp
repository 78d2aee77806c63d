// The Linux host's data folders, and its stand-ins for the Windows keyboard
// hook and foreground queries: the low-level hook has no Linux layer yet, so
// it refuses to install (the program then reports the hook error as on a
// refused Windows hook), and no foreground window is known.
#include "platform/linux/linux_host.h"

#include <cstdlib>
#include <string>

namespace harvel::linux_host {

namespace {

std::optional<std::string> env(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return std::nullopt;
  return std::string(v);
}

}  // namespace

std::optional<std::string> LinuxFolders::roaming_app_data() {
  if (auto data = env("XDG_DATA_HOME")) return data;
  if (auto home = env("HOME")) return *home + "/.local/share";
  return std::nullopt;
}

std::string LinuxFolders::temp_dir() { return env("TMPDIR").value_or("/tmp"); }

std::optional<uintptr_t> LinuxKeyboardHook::install() { return std::nullopt; }
void LinuxKeyboardHook::uninstall(uintptr_t) {}
uint32_t LinuxKeyboardHook::current_thread_id() { return 0; }
void LinuxKeyboardHook::run_message_loop() {}
void LinuxKeyboardHook::post_quit(uint32_t) {}

os::WindowHandle LinuxForeground::foreground_window() { return 0; }
uint32_t LinuxForeground::window_thread_process_id(os::WindowHandle, uint32_t& pid) {
  pid = 0;
  return 0;
}
std::optional<std::u16string> LinuxForeground::process_image_path(uint32_t) { return std::nullopt; }
std::optional<os::GuiThreadInfo> LinuxForeground::gui_thread_info(uint32_t) { return std::nullopt; }
int32_t LinuxForeground::window_style(os::WindowHandle) { return 0; }
std::u16string LinuxForeground::class_name(os::WindowHandle, std::size_t) { return {}; }
std::optional<bool> LinuxForeground::process_elevated(uint32_t) { return std::nullopt; }

}  // namespace harvel::linux_host
