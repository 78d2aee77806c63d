// The tray icon "main": its image, tooltip and menu.
#pragma once

#include <optional>
#include <string>

namespace harvel {

class App;

// Creates the tray icon at set-up; the error text when it cannot be made.
std::optional<std::string> create_tray_icon(App& app);

}  // namespace harvel
