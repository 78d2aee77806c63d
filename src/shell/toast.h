// Short notices ("toasts"): the web-view window "toast" at the bottom right
// of the primary monitor, shown for 3.2 s. Only one exists at a time; a new
// notice replaces the old one at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/notice.h"
#include "platform/os.h"

namespace harvel {

class App;

// The kind's name; any byte that is no kind is "info".
const char* toast_kind_name(ToastKind kind);

// A notice from a kind byte (kept as it is: an unknown byte is sent as "info").
ToastData toast_data_new(std::string_view title, std::string_view body, uint8_t kind);

// {"title","body","kind"} in that order; "{}" when the texts cannot be
// serialised (not UTF-8). '<', U+2028 and U+2029 are written as \u escapes,
// so the text is the same JSON value and still data wherever a script is put.
std::string toast_json(const ToastData& data);

// The toast window's start script: sets `window.__toast` to the notice
// before the page's own scripts run, and routes the page to "/toast".
std::string toast_start_script(std::string_view json);

inline constexpr double kToastWidth = 400.0;   // logical pixels
inline constexpr double kToastHeight = 96.0;
inline constexpr double kToastFallbackPosition = 100.0;  // without a primary monitor

// The logical top-left corner of a box of (box_width, box_height) logical
// pixels at the bottom right of `rect` (physical pixels) with the scale
// `scale`: 16 px from the right edge, 64 px from the bottom. No rounding and
// no clamping. Shared with the tray pop-up.
struct LogicalPoint {
  double x = 0;
  double y = 0;
  bool operator==(const LogicalPoint&) const = default;
};
LogicalPoint bottom_right_position(const os::Rect& rect, double scale, double box_width, double box_height);

// Where the toast goes: the bottom right of the primary monitor's full
// rectangle, or (100, 100) logical without a primary monitor.
LogicalPoint toast_position();

// The notice sink set-up installs: starts the toast window for the notice
// on a thread of its own and returns at once.
void show_notice_window(App& app, ToastData data);

// Thread body of show_notice_window: replaces any toast window by a new one
// with the start script, and removes it 3.2 s later unless a newer toast or a
// close came in between.
void show_toast_window(App& app, std::string start_script);

// Thread body of the command "toast_close": removes the toast window now and
// cancels the pending expiry of the toast it showed.
void hide_toast_window(App& app);

// How long a toast stays, and the pause after removing an old one before the
// new one is created.
struct ToastTimes {
  std::chrono::milliseconds life{3200};
  std::chrono::milliseconds replace_pause{60};
};
// For tests that would otherwise wait seconds; the real times are the defaults.
void set_toast_times(ToastTimes times);

// Ends the waits of every pending toast (their windows stay until the next
// toast or close) and waits until all toast threads have ended. For tests,
// before the platform they use goes away.
void finish_toast_threads();

}  // namespace harvel
