// Queries about the foreground program, shared by the keyboard procedure,
// the layout and foreground watchers and the realtime checker. They keep no
// state and may be called from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace harvel {

struct ForegroundApp {
  std::string exe;      // lower-case file name of the process image; empty when unknown
  uint32_t thread = 0;  // thread owning the foreground window; 0 when there is none
  bool operator==(const ForegroundApp&) const = default;
};

// The nine window classes of the taskbar, its overflow and the shell's
// transient windows, matched exactly.
inline constexpr std::string_view kShellWindowClasses[] = {
    "Shell_TrayWnd",        "Shell_SecondaryTrayWnd",       "NotifyIconOverflowWindow",
    "TopLevelWindowForOverflowXamlIsland", "XamlExplorerHostIslandWindow",
    "TaskListThumbnailWnd", "MultitaskingViewFrame",        "ForegroundStaging",
    "#32768",
};

ForegroundApp foreground_app();
// The same for a foreground window the caller already asked for (0: none).
ForegroundApp app_of_window(uintptr_t window);

// The full image path of a process (UTF-8, invalid UTF-16 replaced), or none.
std::optional<std::string> process_image_path(uint32_t pid);

// The foreground window is part of the shell (taskbar, menus, task view).
bool foreground_is_shell_window();
// The same for a foreground window the caller already asked for (0: none).
bool is_shell_window(uintptr_t window);

// The process of the focused window runs elevated; also true whenever that
// cannot be determined.
bool is_foreground_process_elevated();
// The process of the focused window runs more elevated than this copy, which
// the checker leaves alone: elevated while this copy is not (or cannot tell),
// or of an elevation that cannot be read. With UAC off every process runs
// elevated, this copy too, and such a program is not skipped.
bool is_foreground_process_more_elevated();

}  // namespace harvel
