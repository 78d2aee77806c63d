#include "shell/popup.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

#include "core/app.h"
#include "core/locked.h"
#include "core/state.h"
#include "keyboard/layout_watcher.h"
#include "shell/toast.h"
#include "shell/tray_events.h"

namespace harvel {

const char* const kPopupStartScript =
    "if (!location.hash.startsWith('#/tray')) location.hash = '#/tray';"
    "window.addEventListener('keydown', function (e) {if (e.key === 'Escape') { "
    "window.__HARVEL_IPC__.invoke('popup_close'); }});";

namespace {

constexpr std::string_view kPopupLabel = "popup";

// Held for a whole show or hide of the window.
std::mutex& popup_lock() {
  static std::mutex m;
  return m;
}

struct PopupGeometry {
  double height = kPopupDefaultHeight;
  std::optional<PopupAnchor> anchor;
};

Locked<PopupGeometry>& popup_geometry() {
  static Locked<PopupGeometry> g;
  return g;
}

// Rounded half away from zero and saturated to 32 bits; NaN gives 0.
int32_t round_i32(double v) {
  if (std::isnan(v)) return 0;
  const double r = std::round(v);
  if (r <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  if (r >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(r);
}

int32_t saturate_i32(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Keeps the start of a span of `size` inside [low + margin, high - margin]
// when it fits, else puts it at low + margin.
int64_t clamp_into(int64_t pos, int64_t size, int64_t low, int64_t high, int64_t margin) {
  const int64_t first = low + margin;
  const int64_t last = high - margin - size;
  if (last >= first && pos >= first) return std::min(pos, last);
  return first;
}

bool contains(const os::Rect& r, int64_t x, int64_t y) {
  return x >= r.x && y >= r.y && x < static_cast<int64_t>(r.x) + r.width && y < static_cast<int64_t>(r.y) + r.height;
}

os::Instant now() {
  os::Clock* clock = os::platform().clock;
  return clock != nullptr ? clock->now() : os::system_clock().now();
}

os::WindowSpec popup_window_spec() {
  os::WindowSpec spec;
  spec.label = std::string(kPopupLabel);
  spec.url = "index.html";
  spec.title = "Harvel";
  spec.width = kPopupWidth;
  spec.height = kPopupDefaultHeight;
  spec.visible = false;  // shown once placed
  spec.frameless = true;
  spec.resizable = false;
  spec.minimizable = false;
  spec.maximizable = false;
  spec.transparent = true;
  spec.focus = false;  // the show step focuses it
  // Above the window in front, like the tray menu it stands beside.
  spec.always_on_top = true;
  spec.skip_taskbar = true;
  spec.start_script = kPopupStartScript;
  return spec;
}

void apply_rect(os::WebWindows& windows, const PopupRect& r) {
  windows.set_size(kPopupLabel, std::max(r.width, 1), std::max(r.height, 1), os::Units::Physical);
  windows.set_position(kPopupLabel, r.x, r.y, os::Units::Physical);
}

}  // namespace

PopupRect place_popup(const PopupAnchor& anchor, double height) {
  const double s = anchor.scale;
  const int32_t w = round_i32(kPopupWidth * s);
  const int32_t h = round_i32(height * s);
  const int32_t m = round_i32(kPopupMargin * s);
  if (!anchor.icon) {
    const LogicalPoint p = bottom_right_position(anchor.monitor, s, kPopupWidth, height);
    return {round_i32(p.x * s), round_i32(p.y * s), w, h};
  }
  const TrayIconRect& icon = *anchor.icon;
  const int64_t cx = static_cast<int64_t>(icon.x) + icon.width / 2;
  const int64_t cy = static_cast<int64_t>(icon.y) + icon.height / 2;
  const int64_t left = anchor.work_area.x;
  const int64_t top = anchor.work_area.y;
  const int64_t right = left + anchor.work_area.width;
  const int64_t bottom = top + anchor.work_area.height;

  enum class Edge { Bottom, Right, Top, Left };
  const std::pair<Edge, int64_t> distances[] = {{Edge::Bottom, std::llabs(bottom - cy)},
                                                {Edge::Right, std::llabs(right - cx)},
                                                {Edge::Top, std::llabs(top - cy)},
                                                {Edge::Left, std::llabs(left - cx)}};
  std::pair<Edge, int64_t> nearest = distances[0];
  for (const auto& d : distances) {
    if (d.second < nearest.second) nearest = d;  // ties keep the earlier edge
  }

  int64_t x = 0;
  int64_t y = 0;
  switch (nearest.first) {
    case Edge::Bottom: x = cx - w / 2; y = bottom - m - h; break;
    case Edge::Right: x = right - m - w; y = cy - h / 2; break;
    case Edge::Top: x = cx - w / 2; y = top + m; break;
    case Edge::Left: x = left + m; y = cy - h / 2; break;
  }
  x = clamp_into(x, w, left, right, m);
  y = clamp_into(y, h, top, bottom, m);
  return {saturate_i32(x), saturate_i32(y), w, h};
}

std::optional<PopupAnchor> popup_anchor(std::optional<TrayIconRect> icon) {
  os::Monitors* monitors = os::platform().monitors;
  if (monitors == nullptr) return std::nullopt;
  std::optional<os::MonitorInfo> monitor;
  if (icon) {
    const int64_t cx = static_cast<int64_t>(icon->x) + icon->width / 2;
    const int64_t cy = static_cast<int64_t>(icon->y) + icon->height / 2;
    for (const os::MonitorInfo& m : monitors->monitors()) {
      if (contains(m.rect, cx, cy)) {
        monitor = m;
        break;
      }
    }
  }
  if (!monitor) monitor = monitors->primary_monitor();
  if (!monitor) return std::nullopt;
  return PopupAnchor{monitor->rect, monitor->work_area, monitor->scale_factor, icon};
}

void show_popup_window(App& app, std::optional<TrayIconRect> icon) {
  std::lock_guard lock(popup_lock());
  os::WebWindows* windows = os::platform().windows;
  if (windows == nullptr) return;
  if (!windows->exists(kPopupLabel) && !windows->create(popup_window_spec())) return;

  const std::optional<PopupAnchor> anchor = popup_anchor(icon);
  const std::optional<PopupRect> rect = popup_geometry().with([&](PopupGeometry& g) -> std::optional<PopupRect> {
    g.anchor = anchor;
    if (!anchor) return std::nullopt;
    return place_popup(*anchor, g.height);
  });
  if (rect) apply_rect(*windows, *rect);  // no monitor: it shows wherever it was

  windows->show(kPopupLabel);
  windows->set_focus(kPopupLabel);
  tray_click_state().with([](TrayClickState& s) {
    s.shown_at = now();
    s.hidden_at.reset();
    s.popup_open = true;
  });
  popup_shown() = 1;

  // The view resets itself on "popup-shown", with the state it has just got.
  windows->emit_to(kPopupLabel, "state-changed", snapshot_json_text(build_state_snapshot(app)));
  windows->emit_to(kPopupLabel, "popup-shown", "");
}

void spawn_show_popup(App& app, std::optional<TrayIconRect> icon) {
  try {
    std::thread([&app, icon] { show_popup_window(app, icon); }).detach();
  } catch (const std::system_error&) {
    // No thread, no pop-up: the next click tries again.
  }
}

void hide_popup_window(App&, bool focus_lost) {
  std::lock_guard lock(popup_lock());
  if (os::WebWindows* windows = os::platform().windows; windows && windows->exists(kPopupLabel)) {
    windows->hide(kPopupLabel);
  }
  popup_shown() = 0;
  tray_click_state().with([focus_lost](TrayClickState& s) {
    s.popup_open = false;
    s.hidden_at = focus_lost ? std::optional<os::Instant>(now()) : std::nullopt;
  });
}

void spawn_hide_popup(App& app, bool focus_lost) {
  try {
    std::thread([&app, focus_lost] { hide_popup_window(app, focus_lost); }).detach();
  } catch (const std::system_error&) {
    // No thread, no hide: the pop-up stays as it is.
  }
}

void close_popup(App& app) { spawn_hide_popup(app, false); }

void fit_popup(App&, double height) {
  const double h = std::isfinite(height) ? std::clamp(height, kPopupMinHeight, kPopupMaxHeight) : kPopupDefaultHeight;
  const std::optional<PopupRect> rect = popup_geometry().with([h](PopupGeometry& g) -> std::optional<PopupRect> {
    g.height = h;
    if (!g.anchor) return std::nullopt;
    return place_popup(*g.anchor, h);
  });
  os::WebWindows* windows = os::platform().windows;
  if (rect && windows && windows->exists(kPopupLabel)) apply_rect(*windows, *rect);
}

double popup_height() {
  return popup_geometry().with([](const PopupGeometry& g) { return g.height; });
}

std::optional<PopupAnchor> popup_stored_anchor() {
  return popup_geometry().with([](const PopupGeometry& g) { return g.anchor; });
}

void reset_popup_geometry() { popup_geometry().set(PopupGeometry{}); }

}  // namespace harvel
