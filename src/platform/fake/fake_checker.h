// The checker's facilities on the fake system: a scripted caret and font,
// a scripted UI Automation text range, and overlay windows that record what
// they were asked to show.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/os.h"

namespace harvel::fake {

class FakeCaret final : public os::CaretQueries {
 public:
  std::optional<os::CaretInfo> foreground_caret() override { return caret; }
  std::optional<os::Point> client_to_screen(os::WindowHandle, os::Point p) override {
    return os::Point{p.x + client_origin.x, p.y + client_origin.y};
  }
  bool window_dpi_unaware(os::WindowHandle) override { return dpi_unaware; }
  os::Point logical_to_physical(os::WindowHandle, os::Point p) override {
    return {static_cast<int32_t>(p.x * logical_scale), static_cast<int32_t>(p.y * logical_scale)};
  }
  uintptr_t window_font(os::WindowHandle window, uint32_t timeout_ms) override;
  std::optional<std::vector<int32_t>> text_widths(os::WindowHandle window, uintptr_t font,
                                                  std::span<const std::u16string> texts) override;

  std::optional<os::CaretInfo> caret;
  os::Point client_origin;     // the caret window's client origin on the screen
  bool dpi_unaware = false;
  double logical_scale = 1.0;  // logical to physical for an unaware window
  uintptr_t font = 0;          // WM_GETFONT's answer (0: the system font or no answer)
  bool has_dc = true;
  int32_t char_width = 8;      // every character's width in the font
  std::vector<os::WindowHandle> font_queries;  // windows asked for their font
  uint32_t last_timeout_ms = 0;
};

class FakeUia final : public os::UiAutomation {
 public:
  os::UiaFocus focused_text() override;

  // What the focused element offers.
  os::UiaFocus::Kind kind = os::UiaFocus::Kind::Unavailable;
  int32_t chars_before_caret = 1000;  // how far Start can move back
  std::optional<std::vector<double>> rectangles;  // GetBoundingRectangles' answer
  // Every MoveEndpointByUnit call: 'S' or 'E' and the count asked for.
  std::vector<std::pair<char, int32_t>> moves;
  int queries = 0;
  std::function<void()> on_query;  // runs at each query (to change the system meanwhile)
};

class FakeOverlayWindows final : public os::OverlayWindows {
 public:
  void prepare_thread() override { ++prepared; }
  bool create_windows(os::OverlayEvents* e) override {
    events = e;
    created = can_create;
    return can_create;
  }
  void hide_windows() override {
    ++hides;
    underline_visible = false;
    popup_visible = false;
  }
  void pump_messages() override { ++pumps; }
  bool left_button_down() override { return button_down; }
  os::Point cursor_position() override { return cursor; }
  std::optional<os::Box> popup_rect() override;
  std::optional<uint32_t> monitor_dpi(const os::Box&) override { return dpi; }
  std::optional<os::Box> work_area(const os::Box&) override { return work; }
  void show_underline(os::Point at, int32_t width, int32_t height, std::span<const uint32_t> pixels) override;
  void show_popup(const os::PopupPlacement& placement) override;
  // Records the sleep and runs `on_sleep` (tests advance their clock or press a key there).
  void sleep(std::chrono::milliseconds duration) override;

  bool can_create = true;
  bool created = false;
  os::OverlayEvents* events = nullptr;
  int prepared = 0;
  int hides = 0;
  int pumps = 0;
  bool button_down = false;
  os::Point cursor;
  std::optional<uint32_t> dpi = 96;
  std::optional<os::Box> work = os::Box{0, 0, 1920, 1040};
  std::function<void(std::chrono::milliseconds)> on_sleep;
  std::vector<std::chrono::milliseconds> sleeps;

  bool underline_visible = false;
  os::Point underline_at;
  int32_t underline_width = 0;
  int32_t underline_height = 0;
  std::vector<uint32_t> underline_pixels;
  bool popup_visible = false;
  std::optional<os::PopupPlacement> popup;
  int popups_shown = 0;
};

// All three, installed together as the checker platform.
struct FakeChecker {
  FakeCaret caret;
  FakeUia uia;
  FakeOverlayWindows overlay;
  os::CheckerPlatform platform() { return {&caret, &uia, &overlay}; }
};

}  // namespace harvel::fake
