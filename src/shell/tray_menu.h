// The tray icon's look, tooltip and menu, computed from the state and kept
// current on the event-loop thread after every state broadcast.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/locked.h"
#include "core/settings.h"
#include "platform/os.h"
#include "shell/tray_icon.h"

namespace harvel {

class App;

inline constexpr std::string_view kTrayId = "main";

// The look last given to the icon (set-up stores the first one).
Locked<std::optional<TrayLook>>& last_tray_look();

// Appends " · yangilanish <version> tayyor" when a version is given.
std::string append_update_ready_note(std::string tooltip, const std::optional<std::string>& version);

// The ready update's version: the latest version while the update phase is
// ready, else none.
std::optional<std::string> ready_update_version(App& app);

// Image flags and tooltip for the current state.
TrayLook compute_tray_look(App& app);

os::TrayMenuItem menu_item_with_id(std::string id, std::string text, bool enabled);
os::TrayMenuItem check_menu_item_with_id(std::string id, std::string text, bool checked);

// The context menu for the current state.
os::TrayMenu build_tray_menu(App& app);

// Everything the menu shows, as one text: enabled|mode|exe|rules|remote|version|checker.
std::string tray_menu_signature(const Settings& s, std::string_view exe, bool remote_disabled,
                                const std::optional<std::string>& ready_version);

// Posts a tray refresh to the event-loop thread and returns at once.
void set_tray_menu(App& app);
// Event-loop thread: brings image, tooltip and menu of the icon up to date,
// re-reading the state up to three times while it moves.
void refresh_tray(App& app);

}  // namespace harvel
