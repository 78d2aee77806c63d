// A program as the state shows it: its lower-case exe name, a human name and
// its rule (the shell adds the name and icon read from the program file).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/records.h"
#include "core/settings.h"

namespace harvel {

// "notepad.exe" -> "Notepad": every trailing ".exe" removed, then the first
// character upper-cased (full mapping).
std::string exe_display_name(std::string_view exe);

AppInfo build_app_info(const AppRule* rule, std::string_view exe);
// build_app_info with the first rule whose exe equals `exe` exactly.
AppInfo app_info_with_rule(const std::vector<AppRule>& rules, std::string_view exe);
Json serialize_app_info(const AppInfo& info);

}  // namespace harvel
