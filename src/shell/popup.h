// The tray pop-up window "popup": a small web-view window next to the tray
// icon, on the side of the screen where the task bar is, showing the tray
// view ("/tray"). It is created once and then only hidden and shown again;
// the page reports its content height and the window is resized and placed
// again to fit.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/os.h"

namespace harvel {

class App;

inline constexpr double kPopupWidth = 360.0;  // logical pixels
inline constexpr double kPopupDefaultHeight = 300.0;
inline constexpr double kPopupMinHeight = 120.0;
inline constexpr double kPopupMaxHeight = 640.0;
inline constexpr double kPopupMargin = 8.0;  // from the edges of the work area

// The tray icon's rectangle in physical pixels, as the tray reports it.
struct TrayIconRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const TrayIconRect&) const = default;
};

// Where the pop-up belongs: the monitor of the tray icon (physical pixels).
struct PopupAnchor {
  os::Rect monitor;    // the monitor's full area
  os::Rect work_area;  // without the task bar
  double scale = 1.0;
  std::optional<TrayIconRect> icon;
  bool operator==(const PopupAnchor&) const = default;
};

// The pop-up's rectangle in physical pixels.
struct PopupRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const PopupRect&) const = default;
};

// The pop-up's rectangle for a content height (logical pixels): next to the
// icon on the work-area edge nearest to it, 8 px in and kept inside the work
// area; without an icon, the bottom right of the monitor (as a toast is).
PopupRect place_popup(const PopupAnchor& anchor, double height);

// The anchor for a click: the monitor containing the icon's centre, else the
// primary monitor; none without a monitor.
std::optional<PopupAnchor> popup_anchor(std::optional<TrayIconRect> icon);

// Thread body: creates the window the first time, places it at the stored
// height next to the icon (when the tray reported one), shows and focuses
// it, records the show in the tray click state, and sends the page a fresh
// "state-changed" and then "popup-shown".
void show_popup_window(App& app, std::optional<TrayIconRect> icon);
// Starts a thread running show_popup_window and returns at once.
void spawn_show_popup(App& app, std::optional<TrayIconRect> icon);

// Thread body: hides the window "popup" when it exists (it is never
// destroyed). `focus_lost` tells a hide caused by losing the focus from an
// explicit close.
void hide_popup_window(App& app, bool focus_lost);
// Starts a thread running hide_popup_window and returns at once.
void spawn_hide_popup(App& app, bool focus_lost);
// An explicit close: spawn_hide_popup with false.
void close_popup(App& app);

// Body of "popup_fit" (event-loop thread): stores the reported content
// height (logical pixels), limited to 120..640, and 300 when it is not
// finite; when the pop-up has been placed before, resizes and moves it to
// fit. It neither shows nor hides the window.
void fit_popup(App& app, double height);
// The stored pop-up height.
double popup_height();
// The stored anchor (none before the first show, or without a monitor).
std::optional<PopupAnchor> popup_stored_anchor();
// Back to the height 300 and no anchor, as at start (for tests).
void reset_popup_geometry();

// The window's start script: routes the page to "/tray" and closes the
// pop-up on Escape.
extern const char* const kPopupStartScript;

}  // namespace harvel
