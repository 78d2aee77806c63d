// The checker's windows on Windows: the layered, click-through underline
// window ("HarvelCheckUnder") and the fix pop-up ("HarvelCheckPop"), drawn
// with GDI; the caret, font and text-width queries of the word rectangle;
// monitor work areas and DPI (with fallbacks where the system lacks the
// per-monitor calls).
#pragma once

#include "platform/os.h"

#include <windows.h>

namespace harvel::win32 {

class Win32Caret final : public os::CaretQueries {
 public:
  std::optional<os::CaretInfo> foreground_caret() override;
  std::optional<os::Point> client_to_screen(os::WindowHandle window, os::Point p) override;
  bool window_dpi_unaware(os::WindowHandle window) override;
  os::Point logical_to_physical(os::WindowHandle window, os::Point p) override;
  uintptr_t window_font(os::WindowHandle window, uint32_t timeout_ms) override;
  std::optional<std::vector<int32_t>> text_widths(os::WindowHandle window, uintptr_t font,
                                                  std::span<const std::u16string> texts) override;
};

class Win32OverlayWindows final : public os::OverlayWindows {
 public:
  void prepare_thread() override;
  bool create_windows(os::OverlayEvents* events) override;
  void hide_windows() override;
  void pump_messages() override;
  bool left_button_down() override;
  os::Point cursor_position() override;
  std::optional<os::Box> popup_rect() override;
  std::optional<uint32_t> monitor_dpi(const os::Box& nearby) override;
  std::optional<os::Box> work_area(const os::Box& nearby) override;
  void show_underline(os::Point at, int32_t width, int32_t height, std::span<const uint32_t> pixels) override;
  void show_popup(const os::PopupPlacement& placement) override;
  void sleep(std::chrono::milliseconds duration) override;
};

// The calling thread's two windows (null until both exist).
HWND overlay_underline_hwnd();
HWND overlay_popup_hwnd();

LRESULT CALLBACK checker_underline_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK checker_popup_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// A "Segoe UI" font of the given height and weight; the caller deletes it.
HFONT create_overlay_font(const os::OverlayFont& font);
// Draws UTF-8 text with DrawTextW.
void draw_text_utf8(HDC dc, std::string_view text, RECT rect, UINT format);

// Which DPI awareness prepare_thread obtained: 2 per-monitor v2, 1
// per-monitor, 0 system or none (tests).
int overlay_thread_dpi_level();

}  // namespace harvel::win32
