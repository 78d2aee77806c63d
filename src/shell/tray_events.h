// What the tray icon does when it is clicked or its menu is used.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/locked.h"
#include "platform/os.h"

namespace harvel {

class App;

// The decision taken when the left button went down.
inline constexpr uint8_t kPressClose = 0;
inline constexpr uint8_t kPressIgnore = 1;
inline constexpr uint8_t kPressOpen = 2;
inline constexpr uint8_t kPressNone = 255;  // no press since the last release

struct TrayClickState {
  bool popup_open = false;
  std::optional<os::Instant> shown_at;   // when the pop-up was last shown
  std::optional<os::Instant> hidden_at;  // when it last hid because it lost the focus
  uint8_t press_state = kPressNone;
};

// The one process-wide click state, behind its own lock.
Locked<TrayClickState>& tray_click_state();

// A mouse event on the icon: a left click opens or closes the pop-up (the
// main window before onboarding); every other event is ignored.
void on_tray_icon_click(App& app, const os::TrayEvent& event);

// A menu item was chosen (ids of build_tray_menu).
void on_tray_menu_event(App& app, std::string_view id);

}  // namespace harvel
