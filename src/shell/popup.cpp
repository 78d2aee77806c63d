#include "shell/popup.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/app.h"
#include "core/locked.h"
#include "platform/os.h"

namespace harvel {

namespace {

constexpr std::string_view kPopupLabel = "popup";

// Held for a whole show or hide of the window.
std::mutex& popup_lock() {
  static std::mutex m;
  return m;
}

struct PopupGeometry {
  double height = kPopupDefaultHeight;
};

Locked<PopupGeometry>& popup_geometry() {
  static Locked<PopupGeometry> g;
  return g;
}

}  // namespace

std::atomic<uint8_t>& popup_shown() {
  static std::atomic<uint8_t> shown{0};
  return shown;
}

void hide_popup_window(App&, bool) {
  std::lock_guard lock(popup_lock());
  if (os::WebWindows* windows = os::platform().windows; windows && windows->exists(kPopupLabel)) {
    windows->hide(kPopupLabel);
  }
  popup_shown() = 0;
  // The tray click state (open flag, focus-loss time) is recorded here once the tray click logic exists.
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
  popup_geometry().with([h](PopupGeometry& g) { g.height = h; });
  // Re-placing a shown pop-up at the new height comes with the pop-up's anchor and placement.
}

double popup_height() {
  return popup_geometry().with([](const PopupGeometry& g) { return g.height; });
}

}  // namespace harvel
