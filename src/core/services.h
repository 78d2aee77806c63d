// Small system services several parts of the program need: start with the
// system, background priority and opening links.
// Each is best-effort and silent on failure.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace harvel {

// On: the entry holds the quoted program path followed by " --hidden".
void set_autostart(bool on);
// At start, with the settings' "startup": when on, an entry that is missing
// or starts another program file (one an uninstaller removed, a copy
// installed elsewhere) is written for this copy. Nothing when off.
void restore_autostart(bool on);
void enter_background_priority();
void open_url_in_browser(std::string_view url);

// The text of the start-with-the-system entry for a program path.
std::string autostart_command_text(std::string_view executable_path);

}  // namespace harvel
