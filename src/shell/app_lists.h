// The three candidate lists of the applications page: programs with a
// visible window, installed programs, and one chosen in a file dialog. Each
// runs on the blocking pool; the lists take the rules from a copy of the
// settings made before the task started.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.h"
#include "core/settings.h"
#include "platform/os.h"

namespace harvel {

std::vector<AppInfo> list_running_apps_blocking(const Settings& settings);
// With COM initialised for the calling thread until the names and icons
// have been read.
std::vector<AppInfo> list_installed_apps_blocking(const Settings& settings);
// None when nothing was chosen.
std::optional<AppInfo> pick_exe_file_blocking();

// A program with a visible window: its lower-case file name and image path.
struct RunningEntry {
  std::string exe;
  std::string path;
  bool operator==(const RunningEntry&) const = default;
};

// A program of the applications folder.
struct InstalledEntry {
  std::string exe;   // lower-case file name of the link target
  std::string name;  // the shell's display name, white space trimmed
  std::string path;  // the target with environment variables expanded
  bool operator==(const InstalledEntry&) const = default;
};

// Adds the window's program to `entries` unless the window is invisible,
// untitled or a tool window, its image path cannot be read, or an entry of
// the same exe is already there.
void enum_windows_collect_apps(const os::TopLevelWindow& window, std::vector<RunningEntry>& entries);

// False for the program itself and the shell's own hosts.
bool keep_running_app(std::string_view exe);

// The entry a child of the applications folder gives, or none when it has
// no usable display name or target.
std::optional<InstalledEntry> installed_entry_from_item(const os::ShellAppItem& item);

// False for the program itself, Internet Explorer, uninstallers, set-up and
// update programs, console programs and programs of Windows itself, and for
// an exe already in `seen`; otherwise records the exe in `seen`.
bool keep_installed_app(std::set<std::string, std::less<>>& seen, const InstalledEntry& entry);

// A program file of Windows' GUI subsystem that is not part of Windows.
bool is_user_gui_exe(std::string_view path);

// The size of the file start that is_user_gui_exe reads.
inline constexpr std::size_t kPeHeadBytes = 4096;
// The PE header check on a file start: "MZ", the "PE\0\0" signature at the
// offset stored at 60, and the optional header's Subsystem 2 (Windows GUI),
// all within the `read` bytes that were read.
bool is_gui_pe_image(std::span<const uint8_t> head, std::size_t read);

// %NAME% references expanded as the system does; the text unchanged when it
// has none, the expansion fails or the result does not fit 1023 units.
std::string expand_env_vars(std::string_view text);

// UTF-16 units of the text (invalid UTF-8 replaced) with a terminating 0.
std::u16string to_wide_nul(std::string_view text);

// Case-insensitive ordering of names: their full Unicode lower-case forms
// compared byte-wise.
std::strong_ordering compare_names_ignoring_case(std::string_view a, std::string_view b);
bool name_less_ignoring_case(std::string_view a, std::string_view b);

}  // namespace harvel
