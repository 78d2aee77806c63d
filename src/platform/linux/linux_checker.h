// The realtime checker's facilities on the Linux desktop host: the word's
// rectangle from the accessibility tree (AT-SPI) and the underline and fix
// pop-up as X11 windows. There is no system caret on X11, so the caret
// fallback has no facility here: a text object that gives nothing gives no
// overlay.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "platform/os.h"

namespace harvel::linux_host {

class LinuxEventLoop;

// The focused accessible object of the foreground program (as the focus
// events left it, atspi_focus.h) and a range at its caret. libatspi is not
// thread-safe: every call is carried to the event-loop thread and waited for.
class LinuxUiAutomation final : public os::UiAutomation {
 public:
  explicit LinuxUiAutomation(LinuxEventLoop& loop) : loop_(loop) {}
  os::UiaFocus focused_text() override;

 private:
  LinuxEventLoop& loop_;
};

// The values the range's bounding_rectangles answers for the screen extents
// of its first and last character and of the whole range (x, y, width,
// height each): one rectangle, two when the two characters lie on different
// lines, none when the range is empty or has no size.
std::vector<double> range_rectangles(const os::Box& first_char, const os::Box& last_char, const os::Box& range);

// How many physical pixels a program's pixel is, from its window's width on
// the X server and as its accessible reports it (GTK reports a window scale's
// logical pixels): a whole number from 1 to 8, 1 without a reported width.
int32_t coordinate_scale(uint32_t physical_width, int32_t logical_width);

// Moves one endpoint of the range [start, end) within a text of `length`
// characters by `count`, clamped to the text; the other endpoint follows
// when they would cross. Answers the count actually moved.
int32_t move_range_endpoint(int32_t& start, int32_t& end, int32_t length, bool move_start, int32_t count);

// Xft.dpi from a resource-manager string ("Xft.dpi:\t144\n..."); none when
// it holds no usable value.
std::optional<uint32_t> xft_dpi(const char* resources);

// The monitor with the largest part of the box, or, when none has any, the
// one closest to it; none without monitors.
std::optional<std::size_t> nearest_monitor(std::span<const os::MonitorInfo> monitors, const os::Box& box);

// The underline and the pop-up on an X11 connection of the overlay thread's
// own (opened by create_windows, never shared with GTK's).
class LinuxOverlayWindows final : public os::OverlayWindows {
 public:
  LinuxOverlayWindows();
  ~LinuxOverlayWindows() override;
  void prepare_thread() override {}
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

  struct State;

 private:
  State* s_;
};

}  // namespace harvel::linux_host
