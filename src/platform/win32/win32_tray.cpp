#include "platform/win32/win32_tray.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <utility>

#include "platform/win32/win32_text.h"
#include "platform/win32/win32_window.h"

namespace harvel::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"HarvelTrayWindow";
constexpr UINT kCallbackMessage = WM_APP + 0x40;
constexpr std::size_t kTipUnits = 127;  // szTip holds 128 units with the NUL

bool register_window_class() { return register_owner_window_class<Win32Tray>(kWindowClass); }

HWND to_hwnd(os::WindowHandle w) { return reinterpret_cast<HWND>(w); }

NOTIFYICONDATAW notify_data(HWND hwnd, UINT uid) {
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof(nid);
  nid.hWnd = hwnd;
  nid.uID = uid;
  return nid;
}

void copy_tip(NOTIFYICONDATAW& nid, const std::wstring& tip) {
  const std::size_t n = std::min(tip.size(), kTipUnits);
  std::memcpy(nid.szTip, tip.data(), n * sizeof(wchar_t));
  nid.szTip[n] = L'\0';
}

// "&" would underline the next letter in a menu.
std::wstring menu_text(std::string_view utf8) {
  std::wstring out;
  for (wchar_t c : widen(utf8)) {
    if (c == L'&') out.push_back(L'&');
    out.push_back(c);
  }
  return out;
}

// Appends the model's items; command ids are 1-based indices into `ids`.
bool fill_menu(HMENU menu, const os::TrayMenu& model, std::vector<std::string>& ids) {
  for (const os::TrayMenuItem& item : model) {
    if (item.kind == os::TrayMenuItemKind::Separator) {
      if (!AppendMenuW(menu, MF_SEPARATOR, 0, nullptr)) return false;
      continue;
    }
    UINT flags = MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED);
    const std::wstring text = menu_text(item.text);
    if (item.kind == os::TrayMenuItemKind::Submenu) {
      HMENU sub = CreatePopupMenu();
      if (!sub) return false;
      if (!fill_menu(sub, item.items, ids) ||
          !AppendMenuW(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), text.c_str())) {
        DestroyMenu(sub);
        return false;
      }
      continue;
    }
    if (item.kind == os::TrayMenuItemKind::Check && item.checked) flags |= MF_CHECKED;
    ids.push_back(item.id);
    if (!AppendMenuW(menu, flags, ids.size(), text.c_str())) return false;
  }
  return true;
}

}  // namespace

uint32_t Win32Tray::callback_message() { return kCallbackMessage; }

void* make_argb_icon(const os::TrayImage& image) {
  const uint32_t w = image.width;
  const uint32_t h = image.height;
  if (w == 0 || h == 0 || w > 1024 || h > 1024 || image.rgba.size() != static_cast<std::size_t>(w) * h * 4) {
    return nullptr;
  }
  BITMAPV5HEADER header{};
  header.bV5Size = sizeof(header);
  header.bV5Width = static_cast<LONG>(w);
  header.bV5Height = -static_cast<LONG>(h);  // top-down, as the image's rows
  header.bV5Planes = 1;
  header.bV5BitCount = 32;
  header.bV5Compression = BI_BITFIELDS;
  header.bV5RedMask = 0x00FF0000;
  header.bV5GreenMask = 0x0000FF00;
  header.bV5BlueMask = 0x000000FF;
  header.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP color =
      CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (!color || !bits) {
    if (color) DeleteObject(color);
    return nullptr;
  }
  // Icons take straight (not premultiplied) alpha, B G R A in memory.
  auto* out = static_cast<uint8_t*>(bits);
  for (std::size_t k = 0; k < image.rgba.size(); k += 4) {
    out[k] = image.rgba[k + 2];
    out[k + 1] = image.rgba[k + 1];
    out[k + 2] = image.rgba[k];
    out[k + 3] = image.rgba[k + 3];
  }
  // The AND mask is unused with an alpha channel, but must exist: all 0.
  const std::vector<uint8_t> zeros(((w + 15) / 16) * 2 * h, 0);
  HBITMAP mask = CreateBitmap(static_cast<int>(w), static_cast<int>(h), 1, 1, zeros.data());
  HICON icon = nullptr;
  if (mask) {
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = mask;
    info.hbmColor = color;
    icon = CreateIconIndirect(&info);
    DeleteObject(mask);
  }
  DeleteObject(color);
  return icon;
}

std::wstring tray_tooltip_text(std::string_view utf8) {
  std::wstring tip = widen(utf8);
  if (tip.size() <= kTipUnits) return tip;
  std::size_t n = kTipUnits - 1;  // room for the ellipsis
  if (n > 0 && tip[n - 1] >= 0xD800 && tip[n - 1] <= 0xDBFF) --n;  // keep a pair whole
  tip.resize(n);
  tip.push_back(L'\u2026');
  return tip;
}

Win32Tray::~Win32Tray() {
  std::lock_guard lock(mutex_);
  for (auto& [id, icon] : icons_) {
    NOTIFYICONDATAW nid = notify_data(to_hwnd(window_), icon.uid);
    Shell_NotifyIconW(NIM_DELETE, &nid);
    if (icon.hicon) DestroyIcon(static_cast<HICON>(icon.hicon));
  }
  icons_.clear();
  if (window_) {
    HWND hwnd = to_hwnd(window_);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId()) DestroyWindow(hwnd);
  }
}

bool Win32Tray::ensure_window() {
  if (window_) return true;
  if (!register_window_class()) return false;
  HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"Harvel", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleW(nullptr), this);
  if (!hwnd) return false;
  taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
  // An elevated copy must still hear that a new task bar has started.
  if (taskbar_created_) ChangeWindowMessageFilterEx(hwnd, taskbar_created_, MSGFLT_ALLOW, nullptr);
  window_ = reinterpret_cast<os::WindowHandle>(hwnd);
  return true;
}

bool Win32Tray::add_to_shell(Icon& icon) {
  NOTIFYICONDATAW nid = notify_data(to_hwnd(window_), icon.uid);
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
  nid.uCallbackMessage = kCallbackMessage;
  nid.hIcon = static_cast<HICON>(icon.hicon);
  copy_tip(nid, icon.tooltip);
  if (!Shell_NotifyIconW(NIM_ADD, &nid)) return false;
  nid.uVersion = NOTIFYICON_VERSION_4;
  icon.version4 = Shell_NotifyIconW(NIM_SETVERSION, &nid) != FALSE;
  return true;
}

Win32Tray::Icon* Win32Tray::find(std::string_view id) {
  const auto it = icons_.find(id);
  return it == icons_.end() ? nullptr : &it->second;
}

Win32Tray::Icon* Win32Tray::find_uid(uint32_t uid) {
  for (auto& [id, icon] : icons_) {
    if (icon.uid == uid) return &icon;
  }
  return nullptr;
}

uint32_t Win32Tray::notify_id(std::string_view id) {
  std::lock_guard lock(mutex_);
  const Icon* icon = find(id);
  return icon ? icon->uid : 0;
}

bool Win32Tray::create(const os::TraySpec& spec) {
  std::lock_guard lock(mutex_);
  if (spec.id.empty() || icons_.contains(spec.id) || !ensure_window()) return false;
  Icon icon;
  icon.uid = next_uid_++;
  icon.hicon = make_argb_icon(spec.image);
  if (!icon.hicon) return false;
  icon.tooltip = tray_tooltip_text(spec.tooltip);
  icon.menu = spec.menu;
  icon.on_menu = spec.on_menu;
  icon.on_event = spec.on_event;
  if (!add_to_shell(icon)) {
    DestroyIcon(static_cast<HICON>(icon.hicon));
    return false;
  }
  icons_.emplace(spec.id, std::move(icon));
  return true;
}

bool Win32Tray::exists(std::string_view id) {
  std::lock_guard lock(mutex_);
  return find(id) != nullptr;
}

bool Win32Tray::set_image(std::string_view id, const os::TrayImage& image) {
  std::lock_guard lock(mutex_);
  Icon* icon = find(id);
  if (!icon) return false;
  HICON hicon = static_cast<HICON>(make_argb_icon(image));
  if (!hicon) return false;
  NOTIFYICONDATAW nid = notify_data(to_hwnd(window_), icon->uid);
  nid.uFlags = NIF_ICON;
  nid.hIcon = hicon;
  if (!Shell_NotifyIconW(NIM_MODIFY, &nid)) {
    DestroyIcon(hicon);
    return false;
  }
  // The shell keeps its own copy: the old handle can go.
  if (icon->hicon) DestroyIcon(static_cast<HICON>(icon->hicon));
  icon->hicon = hicon;
  return true;
}

bool Win32Tray::set_tooltip(std::string_view id, std::string_view tooltip) {
  std::lock_guard lock(mutex_);
  Icon* icon = find(id);
  if (!icon) return false;
  std::wstring tip = tray_tooltip_text(tooltip);
  NOTIFYICONDATAW nid = notify_data(to_hwnd(window_), icon->uid);
  nid.uFlags = NIF_TIP | NIF_SHOWTIP;
  copy_tip(nid, tip);
  if (!Shell_NotifyIconW(NIM_MODIFY, &nid)) return false;
  icon->tooltip = std::move(tip);
  return true;
}

bool Win32Tray::set_menu(std::string_view id, const os::TrayMenu& menu) {
  // The menu is made from the model each time it opens.
  std::lock_guard lock(mutex_);
  Icon* icon = find(id);
  if (!icon) return false;
  icon->menu = menu;
  return true;
}

void Win32Tray::remove(std::string_view id) {
  std::lock_guard lock(mutex_);
  const auto it = icons_.find(id);
  if (it == icons_.end()) return;
  NOTIFYICONDATAW nid = notify_data(to_hwnd(window_), it->second.uid);
  Shell_NotifyIconW(NIM_DELETE, &nid);
  if (it->second.hicon) DestroyIcon(static_cast<HICON>(it->second.hicon));
  icons_.erase(it);
}

std::optional<os::TrayIconArea> Win32Tray::area_of(uint32_t uid) {
  NOTIFYICONIDENTIFIER ident{};
  ident.cbSize = sizeof(ident);
  ident.hWnd = to_hwnd(window_);
  ident.uID = uid;
  RECT r{};
  if (FAILED(Shell_NotifyIconGetRect(&ident, &r)) || r.right <= r.left || r.bottom <= r.top) return std::nullopt;
  return os::TrayIconArea{static_cast<double>(r.left), static_cast<double>(r.top),
                          static_cast<double>(r.right - r.left), static_cast<double>(r.bottom - r.top),
                          os::Units::Physical};
}

std::optional<os::TrayIconArea> Win32Tray::icon_area(std::string_view id) {
  uint32_t uid = 0;
  {
    std::lock_guard lock(mutex_);
    const Icon* icon = find(id);
    if (!icon) return std::nullopt;
    uid = icon->uid;
  }
  return area_of(uid);
}

intptr_t Win32Tray::handle_message(uint32_t message, uintptr_t wparam, intptr_t lparam) {
  if (message == kCallbackMessage) {
    bool version4 = false;
    {
      std::lock_guard lock(mutex_);
      // Version 4 names the icon in the high word of lParam, version 0 in wParam.
      const Icon* icon = find_uid(HIWORD(lparam));
      version4 = icon && icon->version4;
    }
    if (version4) {
      on_callback(HIWORD(lparam), LOWORD(lparam), static_cast<int16_t>(LOWORD(wparam)),
                  static_cast<int16_t>(HIWORD(wparam)), true);
    } else {
      on_callback(static_cast<uint32_t>(wparam), static_cast<uint32_t>(lparam), 0, 0, false);
    }
    return 0;
  }
  if (taskbar_created_ && message == taskbar_created_) {
    // A new task bar knows none of the icons: add them again.
    std::lock_guard lock(mutex_);
    for (auto& [id, icon] : icons_) add_to_shell(icon);
    return 0;
  }
  return -1;
}

bool Win32Tray::is_selection(uint32_t uid, uint32_t event) {
  std::lock_guard lock(mutex_);
  Icon* icon = find_uid(uid);
  if (!icon) return false;
  if (event == NIN_SELECT) {
    // Version 4 follows every left click of the mouse with NIN_SELECT.
    return !std::exchange(icon->mouse_select_due, false);
  }
  // Enter sends NIN_KEYSELECT twice, Space once: a second one within the
  // double-click time belongs to the same key.
  const auto now = std::chrono::steady_clock::now();
  const auto same_key = std::chrono::milliseconds(GetDoubleClickTime());
  if (icon->key_selected && now - *icon->key_selected < same_key) return false;
  icon->key_selected = now;
  return true;
}

void Win32Tray::on_callback(uint32_t uid, uint32_t event, int32_t x, int32_t y, bool anchor_known) {
  if (event == NIN_SELECT || event == NIN_KEYSELECT) {
    // A selection from the keyboard acts as a left click.
    if (!is_selection(uid, event)) return;
    on_callback(uid, WM_LBUTTONDOWN, x, y, anchor_known);
    on_callback(uid, WM_LBUTTONUP, x, y, anchor_known);
    {
      std::lock_guard lock(mutex_);
      if (Icon* icon = find_uid(uid)) icon->mouse_select_due = false;
    }
    return;
  }
  if (event != WM_MOUSEMOVE) {
    std::lock_guard lock(mutex_);
    if (Icon* icon = find_uid(uid)) icon->mouse_select_due = event == WM_LBUTTONUP;
  }
  os::TrayEvent e;
  switch (event) {
    case WM_LBUTTONDOWN: e = {os::TrayEventKind::Click, os::MouseButton::Left, os::ButtonState::Down, {}}; break;
    case WM_LBUTTONUP: e = {os::TrayEventKind::Click, os::MouseButton::Left, os::ButtonState::Up, {}}; break;
    case WM_LBUTTONDBLCLK:
      e = {os::TrayEventKind::DoubleClick, os::MouseButton::Left, os::ButtonState::Down, {}};
      break;
    case WM_RBUTTONDOWN: e = {os::TrayEventKind::Click, os::MouseButton::Right, os::ButtonState::Down, {}}; break;
    case WM_RBUTTONUP: e = {os::TrayEventKind::Click, os::MouseButton::Right, os::ButtonState::Up, {}}; break;
    case WM_MBUTTONDOWN: e = {os::TrayEventKind::Click, os::MouseButton::Middle, os::ButtonState::Down, {}}; break;
    case WM_MBUTTONUP: e = {os::TrayEventKind::Click, os::MouseButton::Middle, os::ButtonState::Up, {}}; break;
    case WM_MOUSEMOVE: e = {os::TrayEventKind::Move, os::MouseButton::Left, os::ButtonState::Up, {}}; break;
    case WM_CONTEXTMENU:
      // Version 4: the right button or the keyboard asks for the menu.
      show_menu(uid, x, y, anchor_known);
      return;
    default: return;
  }
  os::TrayEventHandler handler;
  {
    std::lock_guard lock(mutex_);
    if (const Icon* icon = find_uid(uid)) handler = icon->on_event;
  }
  if (e.kind != os::TrayEventKind::Move) e.area = area_of(uid);
  if (handler) handler(e);
  // Version 0 has no WM_CONTEXTMENU: the right button's release opens the menu.
  if (!anchor_known && event == WM_RBUTTONUP) show_menu(uid, 0, 0, false);
}

void Win32Tray::show_menu(uint32_t uid, int32_t x, int32_t y, bool anchor_known) {
  os::TrayMenu model;
  os::TrayMenuHandler handler;
  {
    std::lock_guard lock(mutex_);
    const Icon* icon = find_uid(uid);
    if (!icon) return;
    model = icon->menu;
    handler = icon->on_menu;
  }
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  std::vector<std::string> ids;
  if (!fill_menu(menu, model, ids)) {
    DestroyMenu(menu);
    return;
  }
  POINT at{x, y};
  if (!anchor_known) GetCursorPos(&at);
  HWND hwnd = to_hwnd(window_);
  // The menu closes on a click elsewhere only while its owner is in front.
  SetForegroundWindow(hwnd);
  const UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
  const BOOL chosen = TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_BOTTOMALIGN | align,
                                       at.x, at.y, hwnd, nullptr);
  PostMessageW(hwnd, WM_NULL, 0, 0);
  DestroyMenu(menu);
  if (chosen > 0 && static_cast<std::size_t>(chosen) <= ids.size() && handler) handler(ids[chosen - 1]);
}

}  // namespace harvel::win32
