// Display texts shared by the tray and the notices: mode names, rule labels
// and the shortcut as the user reads it.
#pragma once

#include <string>
#include <string_view>

#include "core/mode.h"

namespace harvel {

// "English", "Fast", "Hybrid" or "Zero-learning" for a mode 0 to 3.
std::string_view mode_name(Mode mode);
// "O‘chiq" for a rule "off" (255), else the mode's name.
std::string_view mode_label(Mode rule);
// The stored shortcut with every "Control" written "Ctrl".
std::string hotkey_display_label(std::string_view accelerator);

}  // namespace harvel
