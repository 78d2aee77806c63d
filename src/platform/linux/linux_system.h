// The Linux host's system services behind the seam: shell services, the
// keyboard layout, the application lists, and the X11 and desktop-entry
// helpers they share with the foreground queries.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"

namespace harvel::linux_host {

class LinuxEventLoop;

// ---- X11 -------------------------------------------------------------------

// Queries on a connection of their own to $DISPLAY (XCB: usable from any
// thread, and a window that has gone away gives an error answer instead of
// the process-wide Xlib error handler).
namespace x11 {

// A window property as the server gives it; `type` 0 when the window has no
// such property.
struct Property {
  uint32_t type = 0;
  uint8_t format = 0;  // 8, 16 or 32
  std::vector<uint8_t> bytes;
  // The values of a 32-bit property.
  std::vector<uint32_t> cards() const;
};

// False when no display can be reached.
bool available();
uint32_t root_window();
// The atom of a name (interned once); 0 without a display.
uint32_t atom(std::string_view name);
// A property of `window` (any type when `type` is 0); none when the request
// fails (the window does not exist) or there is no display.
std::optional<Property> property(uint32_t window, uint32_t prop, uint32_t type = 0);
// A window's title (_NET_WM_NAME, else WM_NAME) as UTF-8; empty when it has none.
std::string window_title(uint32_t window);
// _NET_WM_PID, else the process of the window's client as the server knows
// it (the X-Resource extension, for local clients); 0 when unknown.
uint32_t window_pid(uint32_t window);
// The process of the client that made `window`, from the X-Resource
// extension (for programs that name none on their windows); 0 when unknown.
uint32_t client_pid(uint32_t window);
// The top-level window (a child of the root) that holds `window`; 0 when
// there is none.
uint32_t top_level_of(uint32_t window);
// A window's width in pixels; none when it does not exist or there is no
// display.
std::optional<uint32_t> window_width(uint32_t window);
// The window with the input focus; 0 for none, the root or PointerRoot.
uint32_t input_focus();
// How many times the root's _NET_ACTIVE_WINDOW changed, from the events of
// this connection (read without waiting); 0 without a display. The count
// starts at the first call, which asks for the events.
uint64_t active_window_changes();
// How many times the keyboard's group and its keymap (or layout names)
// changed, from the events of the same connection, read the same way; none
// when the server's keyboard extension does not report to it.
struct KeyboardChanges {
  uint64_t group = 0;
  uint64_t keymap = 0;
};
std::optional<KeyboardChanges> keyboard_changes();

// A child of the root window, in stacking order (bottom first).
struct RootChild {
  uint32_t window = 0;
  bool viewable = false;           // mapped, with every ancestor mapped
  bool override_redirect = false;  // menus, tooltips, pop-ups
};
std::vector<RootChild> root_children();

}  // namespace x11

// ---- Shell services ----------------------------------------------------------

// The autostart entry: $XDG_CONFIG_HOME (when set and absolute, else
// ~/.config) + "/autostart/harvel.desktop"; none without a home folder.
std::optional<std::filesystem::path> autostart_file_path();
// One Exec argument in double quotes, with `"`, backquote, `$` and `\`
// escaped and `%` doubled (the desktop-entry quoting rules, before the
// string escapes).
std::string desktop_exec_quoted(std::string_view arg);
// The string escapes of a desktop-entry value: `\` -> `\\`, and newline, tab
// and carriage return as \n, \t, \r.
std::string desktop_string_escaped(std::string_view value);
// The entry's whole text for a command text made of a program path in
// double quotes followed by its arguments (autostart_command_text): the
// command, the program as TryExec (so a removed program is not started) and
// the program icon.
std::string autostart_file_text(std::string_view command_text);
// The program path of a /proc/self/exe link: the kernel marks a file that was
// replaced while it ran (a package upgrade) with " (deleted)"; the path
// without the mark is the program now installed there.
std::string live_executable_path(std::string link_text);

class LinuxShell final : public os::Shell {
 public:
  // posix_spawn in a new session with the standard handles kept and every
  // other descriptor closed; a thread of its own reaps the child.
  void spawn_detached_process(const os::CommandLine& command) override;
  // The file open for reading (no link followed); it is started as that
  // open file (/proc/self/fd), so a new file under its name changes nothing.
  std::unique_ptr<os::HeldProgram> hold_program(const std::string& path) override;
  void spawn_held_program(std::unique_ptr<os::HeldProgram> program, const std::vector<std::string>& args) override;
  void write_autostart_entry(std::string_view command_text) override;
  void remove_autostart_entry() override;
  bool autostart_entry_is(std::string_view command_text) override;
  // The calling thread's nice value 19.
  void enter_background_priority() override;
  void name_current_thread(std::string_view name) override;
  // /proc/self/exe (live_executable_path).
  std::optional<std::string> executable_path() override;
  // xdg-open.
  os::CommandLine browser_command(std::string_view url) override;
};

// ---- Keyboard layout -----------------------------------------------------------

// The LANGID of an XKB layout and variant ("us" -> 0x0409, "uz" -> 0x0843,
// "uz" "latin" -> 0x0443); 0x0409 for a layout it does not know.
uint16_t langid_for_xkb_layout(std::string_view layout, std::string_view variant);

// The layout handle is the XKB group: (group + 1) << 16 | the LANGID of the
// group's layout. The whole keyboard has one layout, so every thread gets
// the same answer. ToUnicodeEx and MapVirtualKeyExW answer from the XKB
// keymap: a virtual key is the key that types its letter in the group, or,
// for a key the group lacks, the key at its US position (as a Windows
// layout places its virtual keys). SendInput types through the keyboard
// hook's X11 layer.
struct KeymapCache;

class LinuxKeyboardInput final : public os::KeyboardInput {
 public:
  LinuxKeyboardInput();
  ~LinuxKeyboardInput() override;
  os::HookResult call_next_hook(const os::KeyEvent& event) override;
  void send_input(std::span<const os::KeyInput> batch) override;
  int16_t key_state(uint32_t vk) override;
  os::LayoutHandle keyboard_layout(uint32_t thread_id) override;
  int to_unicode(uint32_t vk, uint32_t scan, const std::array<uint8_t, 256>& key_state, std::span<char16_t> out,
                 uint32_t flags, os::LayoutHandle layout) override;
  uint32_t map_virtual_key(uint32_t code, uint32_t map_type, os::LayoutHandle layout) override;

 private:
  void* display();  // Display*, opened on first use; under mutex_
  std::mutex mutex_;
  void* display_ = nullptr;
  bool display_tried_ = false;
  std::unique_ptr<KeymapCache> cache_;  // under mutex_
};

// ---- Desktop entries and the application lists ------------------------------

struct DesktopEntry {
  std::string id;      // file ID: the path under applications/ with '/' as '-'
  std::string type;    // "Application", "Link", ...
  std::string name;    // Name, in the user's language when the entry has it
  std::string exec;    // Exec, string escapes undone
  std::string try_exec;
  std::string icon;
  bool hidden = false;
  bool no_display = false;
  bool terminal = false;
};

// The [Desktop Entry] group of a file's text; none when it has none. Name is
// chosen for the messages locale `locale` ("uz_UZ.UTF-8@latin": Name[uz_UZ@latin],
// Name[uz_UZ], Name[uz@latin], Name[uz], then Name).
std::optional<DesktopEntry> parse_desktop_entry(std::string_view text, std::string_view locale);

// The arguments of an Exec value (string escapes already undone): quoting
// rules applied, field codes such as %f and %U dropped, %% made %; none when
// a quote is left open.
std::optional<std::vector<std::string>> split_desktop_exec(std::string_view exec);

// The folders holding desktop entries, most important first:
// $XDG_DATA_HOME/applications, then each of $XDG_DATA_DIRS + /applications.
std::vector<std::filesystem::path> application_dirs();

// Every entry under `dirs`, the first of each file ID winning, in folder order
// and then by file ID.
std::vector<DesktopEntry> read_desktop_entries(const std::vector<std::filesystem::path>& dirs,
                                               std::string_view locale);

// The program an entry starts: the first Exec argument after an "env"
// prefix and its NAME=value settings, found on $PATH when it has no '/',
// with symbolic links resolved (as /proc/PID/exe names running programs).
// None when it is not an executable file.
std::optional<std::filesystem::path> desktop_entry_program(const DesktopEntry& entry);

// Whether an entry is a graphical program for the applications list: an
// Application that is not hidden, shown in menus and not run in a terminal.
bool is_listed_application(const DesktopEntry& entry);

// The user's messages locale (LC_ALL, LC_MESSAGES, LANG).
std::string messages_locale();

// The applications list from desktop entries, top-level windows from the
// window manager's client list, icons from the icon theme and the GTK file
// chooser; programs here are not PE files and have no version resources.
class LinuxApps final : public os::Apps {
 public:
  explicit LinuxApps(LinuxEventLoop* loop) : loop_(loop) {}
  std::vector<os::TopLevelWindow> top_level_windows() override;
  std::vector<os::ShellAppItem> applications_folder_items() override;
  uint32_t expand_environment_strings(std::u16string_view text_nul, std::span<char16_t> buffer) override;
  std::optional<std::size_t> read_file_start(std::u16string_view path_nul, std::span<uint8_t> buffer) override;
  std::optional<std::vector<uint8_t>> file_version_info(std::u16string_view path_nul) override;
  std::optional<os::VersionValue> ver_query_value(std::span<const uint8_t> block,
                                                  std::u16string_view sub_block_nul) override;
  std::optional<os::IconBitmap> shell_icon(std::u16string_view path_nul) override;
  std::optional<std::u16string> open_file_dialog(std::u16string_view filter_name,
                                                 std::u16string_view pattern) override;
  bool programs_are_pe_files() override { return false; }

 private:
  // Runs `fn` on the GTK thread; false when that thread cannot run it now.
  template <typename Fn>
  bool on_gtk_thread(Fn&& fn);
  // The Icon of the entry that starts `program`; empty when none does.
  std::string icon_name_for(const std::string& program);

  LinuxEventLoop* loop_;
  std::mutex icons_mutex_;
  bool icons_read_ = false;
  std::vector<std::pair<std::string, std::string>> program_icons_;  // program path, Icon
};

}  // namespace harvel::linux_host
