// The notification-area icons on Windows: Shell_NotifyIconW with a 32-bit
// ARGB icon made from the RGBA image, and the context menu with
// TrackPopupMenuEx on the right button (or the menu key).
//
// The icons belong to a hidden top-level window of their own, made on the
// thread of the first create() call, which must be the event-loop thread
// (its messages carry the clicks). A selection from the keyboard
// (NIN_SELECT, NIN_KEYSELECT) reaches the handler as a left click. A hidden top-level window rather than the
// application's message-only one: a menu closes on a click elsewhere only
// when its owner can be the foreground window, and only top-level windows
// hear "TaskbarCreated", after which the icons are added again (a restarted
// Explorer has forgotten them). Every other call may come from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"

namespace harvel::win32 {

class Win32Tray final : public os::Tray {
 public:
  Win32Tray() = default;
  ~Win32Tray() override;
  Win32Tray(const Win32Tray&) = delete;
  Win32Tray& operator=(const Win32Tray&) = delete;

  bool create(const os::TraySpec& spec) override;
  bool exists(std::string_view id) override;
  bool set_image(std::string_view id, const os::TrayImage& image) override;
  bool set_tooltip(std::string_view id, std::string_view tooltip) override;
  bool set_menu(std::string_view id, const os::TrayMenu& menu) override;
  void remove(std::string_view id) override;
  std::optional<os::TrayIconArea> icon_area(std::string_view id) override;

  // The window the icons report to (0 before the first icon).
  os::WindowHandle window() const { return window_; }
  // The notification id of an icon, for the shell's calls (0 when absent).
  uint32_t notify_id(std::string_view id);
  // The message the shell sends for clicks on the icons.
  static uint32_t callback_message();

  // For the window procedure.
  intptr_t handle_message(uint32_t message, uintptr_t wparam, intptr_t lparam);

 private:
  struct Icon {
    uint32_t uid = 0;
    void* hicon = nullptr;  // HICON
    std::wstring tooltip;
    os::TrayMenu menu;
    os::TrayMenuHandler on_menu;
    os::TrayEventHandler on_event;
    bool version4 = false;  // the shell speaks NOTIFYICON_VERSION_4 to this icon
    bool mouse_select_due = false;                 // a left click's NIN_SELECT is still to come
    std::optional<std::chrono::steady_clock::time_point> key_selected;  // the last NIN_KEYSELECT taken
  };

  bool ensure_window();
  bool add_to_shell(Icon& icon);
  Icon* find(std::string_view id);
  Icon* find_uid(uint32_t uid);
  std::optional<os::TrayIconArea> area_of(uint32_t uid);
  void on_callback(uint32_t uid, uint32_t event, int32_t x, int32_t y, bool anchor_known);
  // Whether a selection message is one of its own and not the echo of a click.
  bool is_selection(uint32_t uid, uint32_t event);
  void show_menu(uint32_t uid, int32_t x, int32_t y, bool anchor_known);

  os::WindowHandle window_ = 0;
  uint32_t taskbar_created_ = 0;
  std::mutex mutex_;
  std::map<std::string, Icon, std::less<>> icons_;
  uint32_t next_uid_ = 1;
};

// An icon handle (HICON) with the image's pixels as 32-bit ARGB; none when
// the image is empty or its buffer is not width * height * 4 bytes.
void* make_argb_icon(const os::TrayImage& image);
// The shell's tooltip: at most 127 UTF-16 units, not splitting a pair.
std::wstring tray_tooltip_text(std::string_view utf8);

}  // namespace harvel::win32
