// The three candidate lists of the applications page: programs with a
// visible window, installed programs, and one chosen in a file dialog. Each
// runs on the blocking pool.
#pragma once

#include <optional>
#include <vector>

#include "core/records.h"

namespace harvel {

class App;

std::vector<AppInfo> list_running_apps_blocking(App& app);
std::vector<AppInfo> list_installed_apps_blocking(App& app);
// None when nothing was chosen.
std::optional<AppInfo> pick_exe_file_blocking(App& app);

}  // namespace harvel
