#include "shell/app_lists.h"

namespace harvel {

// The system's window and program enumeration comes with the application-lists subsystem; until then the lists are empty.
std::vector<AppInfo> list_running_apps_blocking(App&) { return {}; }

// The applications folder is read by the application-lists subsystem; until then the list is empty.
std::vector<AppInfo> list_installed_apps_blocking(App&) { return {}; }

// The open-file dialog comes with the application-lists subsystem; until then nothing is chosen.
std::optional<AppInfo> pick_exe_file_blocking(App&) { return std::nullopt; }

}  // namespace harvel
