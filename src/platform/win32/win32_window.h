// Windows whose messages go to a C++ object: the object is passed at
// creation (CreateWindowExW's last argument) and kept in GWLP_USERDATA.
#pragma once

#include <windows.h>

#include <cstdint>

namespace harvel::win32 {

// Owner::handle_message answers a message with its result, or with a
// negative value to leave it to DefWindowProcW.
template <typename Owner>
LRESULT CALLBACK owner_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* owner = reinterpret_cast<Owner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (owner && message != WM_NCCREATE) {
    const intptr_t handled = owner->handle_message(message, wparam, lparam);
    if (handled >= 0) return handled;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// Registers the window class of Owner once per process.
template <typename Owner>
bool register_owner_window_class(const wchar_t* class_name) {
  static const bool registered = [class_name] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = owner_window_proc<Owner>;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = class_name;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

}  // namespace harvel::win32
