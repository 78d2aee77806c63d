// The Windows shell services: detached processes, the Run value, background
// priority, the executable's path, the browser command, the folders and the
// file writes.
#pragma once

#include <string>
#include <string_view>

#include "platform/os.h"

namespace harvel::win32 {

// The Run key of the current user and the program's value under it.
inline constexpr std::wstring_view kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::wstring_view kRunValue = L"Harvel";

// One argument as the CommandLineToArgvW and C runtime rules read it back:
// quoted when empty or holding a blank, tab, newline or quote; inside quotes
// every quote is escaped and the backslashes before a quote or before the
// closing quote are doubled.
std::wstring quote_argument(std::wstring_view arg);

// The program in quotes (a path cannot hold a quote, and the program name is
// read without escapes), then each argument quoted by quote_argument.
std::wstring build_command_line(std::wstring_view program, const std::vector<std::wstring>& args);

class Win32Shell final : public os::Shell {
 public:
  void spawn_detached_process(const os::CommandLine& command) override;
  // Open for reading, sharing reading only: no one may write, rename or
  // delete the file until the hold ends, after the process has started.
  std::unique_ptr<os::HeldProgram> hold_program(const std::string& path) override;
  void spawn_held_program(std::unique_ptr<os::HeldProgram> program, const std::vector<std::string>& args) override;
  void write_autostart_entry(std::string_view command_text) override;
  void remove_autostart_entry() override;
  bool autostart_entry_is(std::string_view command_text) override;
  void enter_background_priority() override;
  void name_current_thread(std::string_view name) override;
  std::optional<std::string> executable_path() override;
  os::CommandLine browser_command(std::string_view url) override;
};

// The user's roaming application-data folder (the known folder) and the
// temporary folder (GetTempPathW, without its final backslash). Private
// folders (win32_private_folders.cpp) carry a protected access list that
// grants this user and the system alone.
class Win32Folders final : public os::Folders {
 public:
  std::optional<std::string> roaming_app_data() override;
  std::optional<std::string> temp_dir() override;
  bool claim_private_folder(const std::string& path) override;
  std::optional<std::string> make_private_folder(const std::string& parent, std::string_view prefix) override;
};

// Files written with FlushFileBuffers before they are closed, and renamed
// with MoveFileExW(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
// Windows cannot flush a folder: the write-through move is its documented
// way to have the rename on the disk when the call returns.
class Win32Files final : public os::Files {
 public:
  bool create_flushed(const std::filesystem::path& path, std::string_view bytes) override;
  bool rename_flushed(const std::filesystem::path& from, const std::filesystem::path& to) override;
  bool link_flushed(const std::filesystem::path& from, const std::filesystem::path& to) override;
};

// GetModuleFileNameW of the running executable, however long; none on failure.
std::optional<std::wstring> module_path();

// Every argument of this process's command line (CommandLineToArgvW), the
// program path included.
std::vector<std::string> command_line_arguments();

// An environment variable; none when it is unset, empty or unreadable.
std::optional<std::wstring> environment_variable(const wchar_t* name);

}  // namespace harvel::win32
