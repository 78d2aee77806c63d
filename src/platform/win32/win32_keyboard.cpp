#include "platform/win32/win32_keyboard.h"

#include <windows.h>

#include <vector>

#include "keyboard/keyboard_proc.h"

namespace harvel::win32 {

namespace {

// The arguments of the callback running on this thread, so that passing an
// event hands the next hook exactly what the system gave us.
struct CallbackArgs {
  WPARAM wparam = 0;
  LPARAM lparam = 0;
  bool inside = false;
};
thread_local CallbackArgs t_args;

LRESULT CALLBACK low_level_callback(int code, WPARAM wparam, LPARAM lparam) {
  if (code < 0 || lparam == 0) return CallNextHookEx(nullptr, code, wparam, lparam);
  const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
  os::KeyEvent event;
  event.code = code;
  event.message = static_cast<uint32_t>(wparam);
  event.vk_code = k->vkCode;
  event.scan_code = k->scanCode;
  event.flags = k->flags;
  event.time = k->time;
  event.extra_info = static_cast<uintptr_t>(k->dwExtraInfo);
  const CallbackArgs saved = t_args;
  t_args = {wparam, lparam, true};
  const os::HookResult result = low_level_keyboard_proc(hook_thread_state(), event);
  t_args = saved;
  return static_cast<LRESULT>(result);
}

}  // namespace

os::HookResult Win32Keyboard::call_next_hook(const os::KeyEvent& event) {
  if (t_args.inside) return CallNextHookEx(nullptr, event.code, t_args.wparam, t_args.lparam);
  // Called outside a callback (tests of the procedure on Windows): rebuild
  // the structure from the event.
  KBDLLHOOKSTRUCT k{};
  k.vkCode = event.vk_code;
  k.scanCode = event.scan_code;
  k.flags = event.flags;
  k.time = event.time;
  k.dwExtraInfo = static_cast<ULONG_PTR>(event.extra_info);
  return CallNextHookEx(nullptr, event.code, event.message, reinterpret_cast<LPARAM>(&k));
}

void Win32Keyboard::send_input(std::span<const os::KeyInput> batch) {
  if (batch.empty()) return;
  std::vector<INPUT> inputs(batch.size());
  for (std::size_t i = 0; i < batch.size(); ++i) {
    INPUT& in = inputs[i];
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = batch[i].vk;
    in.ki.wScan = batch[i].scan;
    in.ki.dwFlags = batch[i].flags;
    in.ki.time = batch[i].time;
    in.ki.dwExtraInfo = static_cast<ULONG_PTR>(batch[i].extra_info);
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

int16_t Win32Keyboard::key_state(uint32_t vk) { return GetKeyState(static_cast<int>(vk)); }

os::LayoutHandle Win32Keyboard::keyboard_layout(uint32_t thread_id) {
  return reinterpret_cast<os::LayoutHandle>(GetKeyboardLayout(thread_id));
}

int Win32Keyboard::to_unicode(uint32_t vk, uint32_t scan, const std::array<uint8_t, 256>& key_state,
                              std::span<char16_t> out, uint32_t flags, os::LayoutHandle layout) {
  return ToUnicodeEx(vk, scan, key_state.data(), reinterpret_cast<LPWSTR>(out.data()), static_cast<int>(out.size()),
                     flags, reinterpret_cast<HKL>(layout));
}

uint32_t Win32Keyboard::map_virtual_key(uint32_t code, uint32_t map_type, os::LayoutHandle layout) {
  return MapVirtualKeyExW(code, map_type, reinterpret_cast<HKL>(layout));
}

std::optional<std::u16string> Win32Keyboard::locale_language_name(uint32_t langid) {
  wchar_t buffer[128];
  const int n = GetLocaleInfoW(MAKELCID(static_cast<WORD>(langid), SORT_DEFAULT), LOCALE_SLANGUAGE, buffer, 128);
  if (n < 2) return std::nullopt;
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), static_cast<std::size_t>(n - 1));
}

std::optional<uintptr_t> Win32Keyboard::install() {
  // Give the thread its message queue now: the quit message of
  // post_quit may arrive before the loop's first GetMessageW.
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, low_level_callback, GetModuleHandleW(nullptr), 0);
  if (!hook) return std::nullopt;
  return reinterpret_cast<uintptr_t>(hook);
}

void Win32Keyboard::uninstall(uintptr_t hook) { UnhookWindowsHookEx(reinterpret_cast<HHOOK>(hook)); }

uint32_t Win32Keyboard::current_thread_id() { return GetCurrentThreadId(); }

void Win32Keyboard::run_message_loop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
  }
}

void Win32Keyboard::post_quit(uint32_t thread_id) { PostThreadMessageW(thread_id, WM_QUIT, 0, 0); }

}  // namespace harvel::win32
