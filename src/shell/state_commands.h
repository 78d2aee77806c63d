// The bodies of the commands that change the settings or the windows. Each
// settings change is made under the settings lock, which is released before
// the save (file, keyboard engine, broadcast), before any shortcut
// registration and before any notice. All run on the event-loop thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/mode.h"
#include "core/records.h"
#include "shell/commands.h"

namespace harvel {

class App;

// The fixed notice body of each mode (not following the user's key choices).
std::string_view mode_notice_body(Mode mode);

// Makes `mode` (0..3) the global mode; any mode but English also turns
// conversion on. Saves and shows the mode's notice.
void set_global_mode(App& app, Mode mode);

// Turns conversion off or on (on from English switches to hybrid), with its
// notice; while remotely disabled only the remote-disable notice is shown.
void toggle_enabled(App& app);

// Stores the known, correctly typed keys of `patch`; a hybrid key and fast
// keys that would share a physical key are both refused. False when the
// whole patch is refused because the settings file would pass the load
// limit (settings_file_fits): memory and file stay as they were.
bool apply_settings_patch(App& app, const Json& patch);

// Replaces the global on/off shortcut: "invalid" when the text does not
// parse (or is too long for the settings file), "busy" when another program
// holds the new shortcut.
Outcome set_hotkey(App& app, std::string_view accelerator);

// Back to the defaults, keeping "onboarded"; the default shortcut is
// registered again and start with the system is switched off.
void reset_settings(App& app);

// Sets the rule of one program: `rule` 255 off, 0..3 a mode, 254 removes it.
// `exe` is already lower-case; without a name the earlier rule's name or the
// exe's display name is used. The list stays sorted by name. False when the
// change is refused because the settings file would pass the load limit
// (settings_file_fits): memory and file stay as they were.
bool set_app_mode_rule(App& app, const std::string& exe, const std::optional<std::string>& name, Mode rule);

// Marks onboarding finished, hides the main window, tells how to use the tray.
void finish_onboarding(App& app);

// Brings the window "main" to the front, then sends "navigate" with the route.
void show_main_window(App& app, const std::optional<std::string>& route);
void hide_main_window(App& app);

// Opens an allowed link in the default browser; others are ignored.
void open_external(App& app, std::string_view url);

// Ends the program (the main window may then close for real).
void request_quit(App& app);
// Starts a new copy of the program and ends this one.
void relaunch(App& app);

}  // namespace harvel
