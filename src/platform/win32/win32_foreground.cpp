#include "platform/win32/win32_foreground.h"

#include <windows.h>

#include <vector>

namespace harvel::win32 {

namespace {

HWND to_hwnd(os::WindowHandle w) { return reinterpret_cast<HWND>(w); }
os::WindowHandle from_hwnd(HWND w) { return reinterpret_cast<os::WindowHandle>(w); }

}  // namespace

os::WindowHandle Win32Foreground::foreground_window() { return from_hwnd(GetForegroundWindow()); }

uint32_t Win32Foreground::window_thread_process_id(os::WindowHandle window, uint32_t& pid) {
  DWORD process = 0;
  const DWORD thread = GetWindowThreadProcessId(to_hwnd(window), &process);
  pid = process;
  return thread;
}

std::optional<std::u16string> Win32Foreground::process_image_path(uint32_t pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return std::nullopt;
  wchar_t buffer[520];
  DWORD size = 520;
  const BOOL ok = QueryFullProcessImageNameW(process, 0, buffer, &size);
  CloseHandle(process);
  if (!ok) return std::nullopt;
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), size);
}

std::optional<os::GuiThreadInfo> Win32Foreground::gui_thread_info(uint32_t thread_id) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(GUITHREADINFO);  // 72 on x86-64
  if (!GetGUIThreadInfo(thread_id, &info)) return std::nullopt;
  return os::GuiThreadInfo{from_hwnd(info.hwndActive), from_hwnd(info.hwndFocus), from_hwnd(info.hwndCaret)};
}

int32_t Win32Foreground::window_style(os::WindowHandle window) {
  return static_cast<int32_t>(GetWindowLongW(to_hwnd(window), GWL_STYLE));
}

std::u16string Win32Foreground::class_name(os::WindowHandle window, std::size_t max_units) {
  std::vector<wchar_t> buffer(max_units ? max_units : 1);
  const int n = GetClassNameW(to_hwnd(window), buffer.data(), static_cast<int>(buffer.size()));
  if (n <= 0) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), static_cast<std::size_t>(n));
}

namespace {

std::optional<bool> token_elevated(HANDLE process) {
  HANDLE token = nullptr;
  std::optional<bool> result;
  if (OpenProcessToken(process, TOKEN_QUERY, &token)) {
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size)) {
      result = elevation.TokenIsElevated != 0;
    }
    CloseHandle(token);
  }
  return result;
}

}  // namespace

std::optional<bool> Win32Foreground::process_elevated(uint32_t pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return std::nullopt;
  const std::optional<bool> result = token_elevated(process);
  CloseHandle(process);
  return result;
}

std::optional<bool> Win32Foreground::own_process_elevated() { return token_elevated(GetCurrentProcess()); }

}  // namespace harvel::win32
