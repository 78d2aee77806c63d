// The seam between the portable program and the operating system.
//
// Everything outside src/platform reaches the system only through these
// interfaces. Values crossing the seam are plain structs that keep the
// Windows numbers (virtual-key codes, message ids, flag bits), so the
// portable algorithms read the same on every target. platform/win32 is the
// real Windows implementation, platform/linux the desktop host, and
// platform/fake a scriptable in-memory system for the tests.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace harvel::os {

// ---- Windows numbers used across the seam ---------------------------------

inline constexpr uint32_t WM_KEYDOWN = 0x100;
inline constexpr uint32_t WM_KEYUP = 0x101;
inline constexpr uint32_t WM_SYSKEYDOWN = 0x104;
inline constexpr uint32_t WM_SYSKEYUP = 0x105;

inline constexpr uint32_t LLKHF_EXTENDED = 0x01;
inline constexpr uint32_t LLKHF_INJECTED = 0x10;

inline constexpr uint32_t KEYEVENTF_EXTENDEDKEY = 0x1;
inline constexpr uint32_t KEYEVENTF_KEYUP = 0x2;
inline constexpr uint32_t KEYEVENTF_UNICODE = 0x4;

inline constexpr uint32_t MAPVK_VK_TO_VSC = 0;

inline constexpr int32_t ES_PASSWORD = 0x20;

// Opaque handles (HWND, HKL) as integers.
using WindowHandle = uintptr_t;
using LayoutHandle = uintptr_t;

// ---- Keyboard hook and input ----------------------------------------------

// One low-level keyboard event: the fields of KBDLLHOOKSTRUCT plus the hook
// code and the message id.
struct KeyEvent {
  int code = 0;
  uint32_t message = WM_KEYDOWN;
  uint32_t vk_code = 0;
  uint32_t scan_code = 0;
  uint32_t flags = 0;
  uint32_t time = 0;
  uintptr_t extra_info = 0;
};

// One INPUT of type INPUT_KEYBOARD.
struct KeyInput {
  uint16_t vk = 0;
  uint16_t scan = 0;
  uint32_t flags = 0;
  uint32_t time = 0;
  uintptr_t extra_info = 0;
  bool operator==(const KeyInput&) const = default;
};

using InputBatch = std::vector<KeyInput>;

// The result a hook procedure returns for an event it passes on.
using HookResult = intptr_t;

class KeyboardInput {
 public:
  virtual ~KeyboardInput() = default;
  // CallNextHookEx with a null hook handle and the event.
  virtual HookResult call_next_hook(const KeyEvent& event) = 0;
  // One SendInput call with the whole batch.
  virtual void send_input(std::span<const KeyInput> batch) = 0;
  // GetKeyState.
  virtual int16_t key_state(uint32_t vk) = 0;
  // GetKeyboardLayout of a thread (0 for the caller's).
  virtual LayoutHandle keyboard_layout(uint32_t thread_id) = 0;
  // ToUnicodeEx: the number the call returns; `out` receives the units.
  virtual int to_unicode(uint32_t vk, uint32_t scan, const std::array<uint8_t, 256>& key_state,
                         std::span<char16_t> out, uint32_t flags, LayoutHandle layout) = 0;
  // MapVirtualKeyExW.
  virtual uint32_t map_virtual_key(uint32_t code, uint32_t map_type, LayoutHandle layout) = 0;
  // GetLocaleInfoW(langid, LOCALE_SLANGUAGE) into 128 units, without the
  // terminating NUL; none unless the call returns 2 or more.
  virtual std::optional<std::u16string> locale_language_name(uint32_t langid) {
    (void)langid;
    return std::nullopt;
  }
};

// The low-level keyboard hook of one thread. The installed callback runs the
// program's keyboard procedure with that thread's own state.
class KeyboardHook {
 public:
  virtual ~KeyboardHook() = default;
  // SetWindowsHookExW(WH_KEYBOARD_LL) for the calling thread; none on failure.
  virtual std::optional<uintptr_t> install() = 0;
  // UnhookWindowsHookEx.
  virtual void uninstall(uintptr_t hook) = 0;
  // GetCurrentThreadId.
  virtual uint32_t current_thread_id() = 0;
  // GetMessageW while it returns more than 0; nothing translated or dispatched.
  virtual void run_message_loop() = 0;
  // PostThreadMessageW(thread, WM_QUIT, 0, 0); the result is not examined.
  virtual void post_quit(uint32_t thread_id) = 0;
  // Why the calling thread's last install failed, when the system can say
  // more than that it refused (the hook error then names it).
  virtual std::optional<std::string> failure_reason() { return std::nullopt; }
};

// ---- Foreground queries ----------------------------------------------------

struct GuiThreadInfo {
  WindowHandle active = 0;
  WindowHandle focus = 0;
  WindowHandle caret = 0;
};

class Foreground {
 public:
  virtual ~Foreground() = default;
  // GetForegroundWindow.
  virtual WindowHandle foreground_window() = 0;
  // GetWindowThreadProcessId: the thread id, with the process id in `pid`.
  virtual uint32_t window_thread_process_id(WindowHandle window, uint32_t& pid) = 0;
  // OpenProcess + QueryFullProcessImageNameW, raw UTF-16; none on failure.
  virtual std::optional<std::u16string> process_image_path(uint32_t pid) = 0;
  // GetGUIThreadInfo of a thread; none when the call fails.
  virtual std::optional<GuiThreadInfo> gui_thread_info(uint32_t thread_id) = 0;
  // GetWindowLongW(GWL_STYLE).
  virtual int32_t window_style(WindowHandle window) = 0;
  // GetClassNameW into a buffer of `max_units` units; empty when it fails.
  virtual std::u16string class_name(WindowHandle window, std::size_t max_units) = 0;
  // Whether a process runs elevated: OpenProcess(0x1000) + OpenProcessToken
  // (TOKEN_QUERY) + GetTokenInformation(TokenElevation); none when any step fails.
  virtual std::optional<bool> process_elevated(uint32_t pid) = 0;
  // The same for this process; none when its token cannot be read.
  virtual std::optional<bool> own_process_elevated() = 0;
};

// ---- Clocks ----------------------------------------------------------------

using Instant = std::chrono::steady_clock::time_point;

class Clock {
 public:
  virtual ~Clock() = default;
  virtual Instant now() = 0;         // monotonic
  virtual int64_t unix_ms() = 0;     // wall clock, Unix milliseconds
};

// ---- Web views and the event loop -----------------------------------------

class WebViews {
 public:
  virtual ~WebViews() = default;
  // Delivers an event with a JSON payload to every open web view.
  virtual void emit_all(std::string_view event, std::string_view payload_json) = 0;
};

class EventLoop {
 public:
  virtual ~EventLoop() = default;
  // Runs `task` on the event-loop thread and returns without waiting.
  virtual void post(std::function<void()> task) = 0;
};

// ---- Windows and their web views -------------------------------------------

// Logical pixels are physical pixels divided by the monitor's scale factor.
enum class Units { Logical, Physical };

// A window with one web view, created by label. Sizes are logical pixels of
// the inner (content) area.
struct WindowSpec {
  std::string label;
  // A page of the embedded files ("index.html", "index.html#/tray") or a
  // whole address on the application's origin.
  std::string url = "index.html";
  std::string title;
  double width = 800;
  double height = 600;
  std::optional<double> min_width;
  std::optional<double> min_height;
  // Top-left corner in logical pixels; none lets the system place it.
  std::optional<double> x;
  std::optional<double> y;
  bool center = false;
  bool frameless = false;
  bool transparent = false;  // window and web-view background
  bool always_on_top = false;
  bool skip_taskbar = false;
  bool visible = true;
  bool resizable = true;
  bool minimizable = true;
  bool maximizable = true;
  bool focus = true;  // takes the focus when shown; else only set_focus gives it
  // Runs in the main frame at document start, after the command bridge and
  // before the page's own scripts.
  std::string start_script;
};

enum class WindowEventKind { CloseRequested, Focused, Unfocused, Destroyed };

struct WindowEvent {
  WindowEventKind kind = WindowEventKind::CloseRequested;
  // For CloseRequested: set by the handler to keep the window open.
  bool prevent_close = false;
};

// Called on the event-loop thread for every window event.
using WindowEventHandler = std::function<void(std::string_view label, WindowEvent& event)>;

// The answer to one call of the page's command bridge: a JSON value, or an
// error text that rejects the page's promise.
struct CommandResult {
  bool ok = true;
  std::string text;  // JSON when ok, else the error text
  static CommandResult value(std::string json) { return {true, std::move(json)}; }
  static CommandResult error(std::string message) { return {false, std::move(message)}; }
};

// Answers a call once, from any thread.
using CommandReply = std::function<void(CommandResult)>;

// Receives every call of a page: the window's label, the command name and
// the JSON text of the argument object. Returns false when the name is not a
// command (the host then fails the call and `reply` must not be used);
// otherwise `reply` is called once, now or later. The title bar's window
// calls (window_minimize, window_toggle_maximize, window_is_maximized,
// window_close, window_start_dragging) are answered by the host itself.
using CommandHandler = std::function<bool(std::string_view label, std::string_view command,
                                          std::string_view args_json, CommandReply reply)>;

// Every call may come from any thread; the work is done on the event-loop
// thread. Calls naming a window that does not exist do nothing (queries
// answer false).
class WebWindows {
 public:
  virtual ~WebWindows() = default;
  // Creates the window and starts loading its page; false when the label is
  // taken or creation fails.
  virtual bool create(const WindowSpec& spec) = 0;
  virtual bool exists(std::string_view label) = 0;
  // Destroys the window at once, without a close request.
  virtual void destroy(std::string_view label) = 0;
  virtual void show(std::string_view label) = 0;
  virtual void hide(std::string_view label) = 0;
  virtual bool is_visible(std::string_view label) = 0;
  virtual void set_focus(std::string_view label) = 0;
  virtual void unminimize(std::string_view label) = 0;
  virtual void set_size(std::string_view label, double width, double height, Units units) = 0;
  virtual void set_position(std::string_view label, double x, double y, Units units) = 0;
  // Delivers an event with a JSON payload ("" means null) to one window's page.
  virtual void emit_to(std::string_view label, std::string_view event,
                       std::string_view payload_json) = 0;

  // The title bar's allowlisted window calls.
  virtual void minimize(std::string_view label) = 0;
  virtual void toggle_maximize(std::string_view label) = 0;
  virtual bool is_maximized(std::string_view label) = 0;
  // An ordinary close request: the window-event handler may prevent it.
  virtual void close(std::string_view label) = 0;
  // Starts moving the window with the pointer button that is held down.
  virtual void start_dragging(std::string_view label) = 0;

  virtual void set_event_handler(WindowEventHandler handler) = 0;
  virtual void set_command_handler(CommandHandler handler) = 0;
};

// ---- Monitors --------------------------------------------------------------

struct Rect {
  int32_t x = 0;
  int32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  bool operator==(const Rect&) const = default;
};

// Physical pixels.
struct MonitorInfo {
  Rect rect;       // the whole monitor
  Rect work_area;  // without the task bar and docks
  double scale_factor = 1.0;
  bool primary = false;
};

class Monitors {
 public:
  virtual ~Monitors() = default;
  virtual std::vector<MonitorInfo> monitors() = 0;
  virtual std::optional<MonitorInfo> primary_monitor() = 0;
};

// ---- Running and ending the program ---------------------------------------

class AppLoop {
 public:
  virtual ~AppLoop() = default;
  // Runs the event loop on the calling thread until exit or restart is
  // asked, or the last window is destroyed (exit code 0). `on_exit` runs on
  // the loop thread as the loop ends (the final exit event); then the exit
  // code is returned. After restart the process has become a new copy of the
  // program with the same arguments instead.
  virtual int run(std::function<void()> on_exit) = 0;
  // Asks the loop to end with `code`, from any thread; false when the
  // request cannot be delivered.
  virtual bool exit(int code) = 0;
  virtual void restart() = 0;
};

// ---- Single instance -------------------------------------------------------

// The arguments and working folder of a second start.
using SecondStartHandler = std::function<void(std::vector<std::string> args, std::string cwd)>;

class SingleInstance {
 public:
  virtual ~SingleInstance() = default;
  // Claims `identifier` for this process. True: this is the first copy, and
  // `on_second_start` runs on the event-loop thread whenever another copy
  // starts. False: a copy is already running and has been told of this
  // start; the caller ends.
  virtual bool acquire(std::string_view identifier, std::vector<std::string> args,
                       SecondStartHandler on_second_start) = 0;
};

// ---- Global shortcut -------------------------------------------------------

// RegisterHotKey modifier bits.
inline constexpr uint32_t MOD_ALT = 0x1;
inline constexpr uint32_t MOD_CONTROL = 0x2;
inline constexpr uint32_t MOD_SHIFT = 0x4;
inline constexpr uint32_t MOD_WIN = 0x8;

// A system-wide shortcut: MOD_* bits and a virtual-key code.
struct Hotkey {
  uint32_t modifiers = 0;
  uint32_t vk = 0;
  bool operator==(const Hotkey&) const = default;
};

class GlobalShortcut {
 public:
  virtual ~GlobalShortcut() = default;
  // False when the key cannot be grabbed (another program holds it).
  virtual bool register_hotkey(const Hotkey& hotkey) = 0;
  virtual bool unregister_hotkey(const Hotkey& hotkey) = 0;
  virtual void unregister_all() = 0;
  virtual bool is_registered(const Hotkey& hotkey) = 0;
  // Called on the event-loop thread when a registered shortcut is pressed
  // (releases are not reported).
  virtual void set_press_handler(std::function<void(const Hotkey&)> handler) = 0;
};

// ---- Message box -----------------------------------------------------------

inline constexpr uint32_t MB_OK = 0x0;
inline constexpr uint32_t MB_YESNO = 0x4;
inline constexpr uint32_t MB_ICONWARNING = 0x30;
inline constexpr uint32_t MB_SETFOREGROUND = 0x10000;
inline constexpr uint32_t MB_TOPMOST = 0x40000;
inline constexpr int IDOK = 1;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // MessageBoxW without an owner window: blocks until answered and returns
  // the button's id (IDOK, IDYES, IDNO).
  virtual int message_box(std::string_view caption, std::string_view text, uint32_t flags) = 0;
};

// ---- Shell services --------------------------------------------------------

// A program and its arguments.
struct CommandLine {
  std::string program;
  std::vector<std::string> args;
  bool operator==(const CommandLine&) const = default;
};

// A program file held from its check until it is started, so that what is
// started is what was checked: on Windows it is open without write or delete
// sharing, so no one can change, rename or delete it while held; on Linux it
// is started from the open file itself, whatever its name points to by then.
class HeldProgram {
 public:
  virtual ~HeldProgram() = default;
  // The next bytes of the file into `buffer`: how many (0 at its end), none
  // on a read error.
  virtual std::optional<std::size_t> read(std::span<uint8_t> buffer) = 0;
};

// Best-effort system services; none reports a failure.
class Shell {
 public:
  virtual ~Shell() = default;
  // Starts a program without waiting for it (each argument quoted as the
  // system's command-line rules require; standard handles inherited, no
  // console window). Every handle is closed at once.
  virtual void spawn_detached_process(const CommandLine& command) = 0;
  // Opens a program file and holds it (HeldProgram); none when it cannot be
  // opened so.
  virtual std::unique_ptr<HeldProgram> hold_program(const std::string& path) = 0;
  // Starts the held program with `args` as spawn_detached_process does, and
  // ends the hold once it has started (or failed to).
  virtual void spawn_held_program(std::unique_ptr<HeldProgram> program, const std::vector<std::string>& args) = 0;
  // The start-with-the-system entry: written with `command_text`, or removed
  // (a missing entry is fine).
  virtual void write_autostart_entry(std::string_view command_text) = 0;
  virtual void remove_autostart_entry() = 0;
  // The entry is there and is what `command_text` writes.
  virtual bool autostart_entry_is(std::string_view command_text) = 0;
  // Lowers the calling thread to background priority until it ends.
  virtual void enter_background_priority() = 0;
  // Names the calling thread for the system's tools (debuggers, process
  // lists); the system may cut the name short.
  virtual void name_current_thread(std::string_view name) = 0;
  // The full path of the running program's executable.
  virtual std::optional<std::string> executable_path() = 0;
  // How the default browser is asked to open a link.
  virtual CommandLine browser_command(std::string_view url) = 0;
};

// ---- Folders ---------------------------------------------------------------

class Folders {
 public:
  virtual ~Folders() = default;
  // The user's roaming application-data folder (%APPDATA%; on Linux
  // $XDG_DATA_HOME or ~/.local/share); none when it cannot be named.
  virtual std::optional<std::string> roaming_app_data() = 0;
  // The user's temporary folder as the system names it; none when it names
  // none (no folder is guessed in its place).
  virtual std::optional<std::string> temp_dir() = 0;
  // `path` as a folder of this user alone: made when missing (for this user
  // only); when already there, taken only if it is a real folder (no link),
  // owned by this user and writable by no one else. False otherwise.
  virtual bool claim_private_folder(const std::string& path) = 0;
  // A new folder of this user alone inside `parent`, named `prefix` and a
  // few random characters; none when it cannot be made.
  virtual std::optional<std::string> make_private_folder(const std::string& parent, std::string_view prefix) = 0;
};

// ---- Files -------------------------------------------------------------------

// The writes of the program's small data files, made so that a power cut
// leaves the old file or the new one, never an empty or cut one.
class Files {
 public:
  virtual ~Files() = default;
  // Creates `path` as a new file (for this user alone where the system sets
  // that at creation: mode 0600 on Linux), writes all of `bytes` and flushes
  // them to the disk (fsync, FlushFileBuffers) before closing
  // it. Whatever is already at `path` makes it fail, a link included: no
  // existing file is opened, and no link followed. False on any failure.
  virtual bool create_flushed(const std::filesystem::path& path, std::string_view bytes) = 0;
  // Renames `from` over `to`, replacing it, and makes the rename durable (the
  // folder is flushed after it); false when the rename fails.
  virtual bool rename_flushed(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  // Gives the file `from` the new name `to` as well (a hard link; a copy
  // where the file system has none), durably; false when `to` exists or
  // neither can be made.
  virtual bool link_flushed(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
};

// ---- Tray icon ---------------------------------------------------------------

// An image for the tray: rows top to bottom, each left to right, 4 bytes per
// pixel R, G, B, A, alpha not premultiplied.
struct TrayImage {
  std::vector<uint8_t> rgba;
  uint32_t width = 0;
  uint32_t height = 0;
  bool operator==(const TrayImage&) const = default;
};

enum class TrayMenuItemKind : uint8_t { Plain, Check, Separator, Submenu };

// One entry of a tray menu; `items` holds a submenu's entries.
struct TrayMenuItem {
  TrayMenuItemKind kind = TrayMenuItemKind::Plain;
  std::string id;
  std::string text;
  bool enabled = true;
  bool checked = false;
  std::vector<TrayMenuItem> items;
  bool operator==(const TrayMenuItem&) const = default;
};

using TrayMenu = std::vector<TrayMenuItem>;

// The icon's place on the screen, in the units the system reports.
struct TrayIconArea {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  Units units = Units::Physical;
  bool operator==(const TrayIconArea&) const = default;
};

enum class TrayEventKind : uint8_t { Click, DoubleClick, Enter, Move, Leave };
enum class MouseButton : uint8_t { Left, Right, Middle };
enum class ButtonState : uint8_t { Down, Up };

struct TrayEvent {
  TrayEventKind kind = TrayEventKind::Click;
  MouseButton button = MouseButton::Left;
  ButtonState state = ButtonState::Up;
  std::optional<TrayIconArea> area;  // none when the system cannot tell
};

// Called on the event-loop thread: the chosen menu item's id, or a mouse
// event on the icon.
using TrayMenuHandler = std::function<void(std::string_view id)>;
using TrayEventHandler = std::function<void(const TrayEvent&)>;

struct TraySpec {
  std::string id;
  TrayImage image;
  std::string tooltip;
  TrayMenu menu;
  TrayMenuHandler on_menu;
  TrayEventHandler on_event;
};

// Notification-area icons by id. The menu opens on the right button only;
// every mouse event is also handed to the icon's event handler. Calls may
// come from any thread; the work is done on the event-loop thread, where the
// handlers run too. Calls naming an icon that does not exist do nothing and
// answer false.
class Tray {
 public:
  virtual ~Tray() = default;
  // False when the id is taken or the system refuses the icon.
  virtual bool create(const TraySpec& spec) = 0;
  virtual bool exists(std::string_view id) = 0;
  virtual bool set_image(std::string_view id, const TrayImage& image) = 0;
  virtual bool set_tooltip(std::string_view id, std::string_view tooltip) = 0;
  // Replaces the menu; it is in place when the call returns.
  virtual bool set_menu(std::string_view id, const TrayMenu& menu) = 0;
  virtual void remove(std::string_view id) = 0;
  // Where the icon is shown, when the system can tell.
  virtual std::optional<TrayIconArea> icon_area(std::string_view id) = 0;
};

// ---- Application lists: windows, programs, names and icons ---------------

inline constexpr int32_t WS_EX_TOOLWINDOW = 0x80;

// One top-level window as EnumWindows finds it.
struct TopLevelWindow {
  WindowHandle window = 0;
  bool visible = false;      // IsWindowVisible
  int32_t title_length = 0;  // GetWindowTextLengthW
  int32_t ex_style = 0;      // GetWindowLongW(GWL_EXSTYLE)
  uint32_t pid = 0;          // GetWindowThreadProcessId; 0 when unknown
};

// One child of the applications shell folder, as UTF-16 units the way the
// shell gave them (checked and converted by the caller).
struct ShellAppItem {
  // GetDisplayName(SIGDN_NORMALDISPLAY); none when it failed.
  std::optional<std::u16string> display_name;
  // The string property PKEY_Link_TargetParsingPath; none when it cannot be read.
  std::optional<std::u16string> target_path;
};

// A value VerQueryValueW found: a pointer into the version block (null when
// the system gave none) and its length (bytes for binary values, UTF-16 units
// for strings).
struct VersionValue {
  const uint8_t* data = nullptr;
  uint32_t length = 0;
};

// The colour bitmap of an icon: rows top to bottom, four bytes per pixel in
// the order GetDIBits writes them (B, G, R, A).
struct IconBitmap {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bgra;
};

// COM initialised for a thread, for as long as the object lives.
class ComApartment {
 public:
  virtual ~ComApartment() = default;
};

// Paths and texts handed to these calls are UTF-16 ending with their
// terminating 0 unit (`to_wide_nul`).
class Apps {
 public:
  virtual ~Apps() = default;
  // CoInitializeEx(COINIT_APARTMENTTHREADED) for the calling thread; the
  // object's end calls CoUninitialize only when that succeeded. The shell
  // calls below need it on the thread that makes them. Null without COM.
  virtual std::unique_ptr<ComApartment> enter_com_apartment() { return nullptr; }
  // EnumWindows: every top-level window, topmost first.
  virtual std::vector<TopLevelWindow> top_level_windows() = 0;
  // The children of the applications folder (FOLDERID_AppsFolder, enumerated
  // with COM initialised on the calling thread for the call), in enumeration
  // order; empty when the folder or its enumerator cannot be had.
  virtual std::vector<ShellAppItem> applications_folder_items() = 0;
  // ExpandEnvironmentStringsW into `buffer`: the count the call returns (with
  // the terminating 0; more than the buffer holds when it is too small; 0 on
  // failure).
  virtual uint32_t expand_environment_strings(std::u16string_view text_nul, std::span<char16_t> buffer) = 0;
  // Reads the start of a file, opened for reading and sharing read, write
  // and delete, into `buffer`: the number of bytes read; none when the file
  // cannot be opened or read.
  virtual std::optional<std::size_t> read_file_start(std::u16string_view path_nul, std::span<uint8_t> buffer) = 0;
  // GetFileVersionInfoSizeW + GetFileVersionInfoW: the file's version
  // resource; none when it has none or it cannot be read.
  virtual std::optional<std::vector<uint8_t>> file_version_info(std::u16string_view path_nul) = 0;
  // VerQueryValueW on a block that file_version_info gave; none when the
  // call fails.
  virtual std::optional<VersionValue> ver_query_value(std::span<const uint8_t> block,
                                                      std::u16string_view sub_block_nul) = 0;
  // The file's large shell icon (SHGetFileInfoW(SHGFI_ICON), GetIconInfo,
  // GetObjectW, GetDIBits with 32 bits per pixel); every handle obtained is
  // released; none on any failure or an empty bitmap.
  virtual std::optional<IconBitmap> shell_icon(std::u16string_view path_nul) = 0;
  // The open-file dialog without an owner window and with one filter pair
  // (GetOpenFileNameW, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
  // OFN_NOCHANGEDIR, a 1024-unit name buffer): the chosen path's units up to
  // the first 0; none when cancelled or failed.
  virtual std::optional<std::u16string> open_file_dialog(std::u16string_view filter_name,
                                                         std::u16string_view pattern) = 0;
  // Whether the system's programs are Windows executables: files named
  // "*.exe" whose PE header says Windows GUI. The Linux host's programs are
  // ELF files without a suffix, and its applications list holds only
  // graphical programs already, so neither check applies there.
  virtual bool programs_are_pe_files() { return true; }
};

// ---- HTTP transport ----------------------------------------------------------

// One GET request. The transport follows no redirect itself: a 3xx answer is
// handed back like any other (the caller applies its own redirect rule). No
// proxy is used and none is read from the environment.
struct HttpRequest {
  std::string url;  // "https://..." or "http://..."
  std::string user_agent;
  std::chrono::milliseconds connect_timeout{30000};
  // The longest a single read of the socket may wait; none: no limit.
  std::optional<std::chrono::milliseconds> read_timeout;
  // Covers connecting, sending, the head and reading the whole body,
  // counted from the start of the request; none: no limit.
  std::optional<std::chrono::milliseconds> total_timeout;
};

// An answer whose head has arrived; the body is read through `read`.
class HttpResponse {
 public:
  virtual ~HttpResponse() = default;
  virtual int status() const = 0;
  // The header fields as received (names in their own case).
  virtual const std::vector<std::pair<std::string, std::string>>& headers() const = 0;
  // Reads up to `buffer.size()` body bytes: the count (0 at the end of the
  // body); none on a transport error or a timeout.
  virtual std::optional<std::size_t> read(std::span<uint8_t> buffer) = 0;
};

class Http {
 public:
  virtual ~Http() = default;
  // Sends the request and waits for the answer's head; null on any
  // connection, TLS, protocol or timeout failure. Safe to call from several
  // threads at once.
  virtual std::unique_ptr<HttpResponse> get(const HttpRequest& request) = 0;
};

// ---- The whole system ------------------------------------------------------

struct Platform {
  KeyboardInput* keyboard = nullptr;
  KeyboardHook* hook = nullptr;
  Foreground* foreground = nullptr;
  Clock* clock = nullptr;
  WebViews* web_views = nullptr;
  EventLoop* event_loop = nullptr;
  WebWindows* windows = nullptr;
  Monitors* monitors = nullptr;
  AppLoop* app_loop = nullptr;
  SingleInstance* single_instance = nullptr;
  GlobalShortcut* global_shortcut = nullptr;
  Dialogs* dialogs = nullptr;
  Shell* shell = nullptr;
  Folders* folders = nullptr;
  Files* files = nullptr;
  Tray* tray = nullptr;
  Apps* apps = nullptr;
  Http* http = nullptr;
};

// The process-wide system. The low-level keyboard callback is entered by the
// system without a context pointer, so the platform is one global, installed
// once at start (and by each test).
Platform& platform();
void install_platform(const Platform& p);

// The system clock (std::chrono), the same on every target.
Clock& system_clock();

// ---- Realtime checker: caret, UI Automation and overlay windows -----------
//
// The checker's overlay thread finds the word just typed in another program
// and draws an underline and a fix pop-up beside it. These facilities are
// called on that thread only. Where one is missing the checker does without
// it: no caret facility, no caret fallback (the Linux host, where X11 has no
// system caret); no overlay windows, notices only.

// A rectangle by its edges, in physical screen pixels unless said otherwise.
struct Box {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  bool operator==(const Box&) const = default;
};

struct Point {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const Point&) const = default;
};

// The caret of the foreground thread (GetGUIThreadInfo for thread 0).
struct CaretInfo {
  WindowHandle caret = 0;  // hwndCaret
  WindowHandle focus = 0;  // hwndFocus
  Box rect;                // rcCaret, in the caret window's client coordinates
};

class CaretQueries {
 public:
  virtual ~CaretQueries() = default;
  // GetGUIThreadInfo(0) with cbSize 72; none when the call fails.
  virtual std::optional<CaretInfo> foreground_caret() = 0;
  // ClientToScreen; none when it fails.
  virtual std::optional<Point> client_to_screen(WindowHandle window, Point p) = 0;
  // The window's DPI awareness (GetWindowDpiAwarenessContext) is unaware.
  virtual bool window_dpi_unaware(WindowHandle window) = 0;
  // LogicalToPhysicalPointForPerMonitorDPI; the point unchanged when it fails.
  virtual Point logical_to_physical(WindowHandle window, Point p) = 0;
  // WM_GETFONT through SendMessageTimeoutW (SMTO_BLOCK | SMTO_ABORTIFHUNG);
  // 0 for no font, a time-out or a hung window.
  virtual uintptr_t window_font(WindowHandle window, uint32_t timeout_ms) = 0;
  // In the window's device context with `font` selected: the width of each
  // text (GetTextExtentPoint32W; 0 for an empty text or a failed call). The
  // old font is restored and the context released. None without a context
  // or when the font cannot be selected (a handle of another process).
  virtual std::optional<std::vector<int32_t>> text_widths(WindowHandle window, uintptr_t font,
                                                          std::span<const std::u16string> texts) = 0;
};

// A clone of the focused text control's caret or selection range.
class UiaTextRange {
 public:
  virtual ~UiaTextRange() = default;
  // MoveEndpointByUnit(Start or End, TextUnit_Character, count): the count the
  // call reports as moved; none when it fails.
  virtual std::optional<int32_t> move_start(int32_t count) = 0;
  virtual std::optional<int32_t> move_end(int32_t count) = 0;
  // GetBoundingRectangles: the array's values from its lower to its upper
  // bound (x, y, width, height for each line); none when the call fails.
  virtual std::optional<std::vector<double>> bounding_rectangles() = 0;
};

// What the focused element offers.
struct UiaFocus {
  enum class Kind : uint8_t { Unavailable, Password, Text };
  Kind kind = Kind::Unavailable;
  std::unique_ptr<UiaTextRange> range;  // set for Text
};

class UiAutomation {
 public:
  virtual ~UiAutomation() = default;
  // The calling thread's automation object (created on first use and kept;
  // after a failed creation the next call tries again), its focused element,
  // the element's IsPassword (true: Password; unreadable: Unavailable), its
  // text pattern, the selection (at least one range) and a clone of range 0.
  // Every failure is Unavailable; every interface but the clone is released.
  virtual UiaFocus focused_text() = 0;
};

struct Rgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  bool operator==(const Rgb&) const = default;
};

// A font of the overlay's face ("Segoe UI"): the LOGFONT height (negative:
// character height) and weight.
struct OverlayFont {
  int32_t height = 0;
  int32_t weight = 400;
  bool operator==(const OverlayFont&) const = default;
};

// DrawTextW format bits used by the pop-up.
inline constexpr uint32_t DT_CENTER = 0x1;
inline constexpr uint32_t DT_VCENTER = 0x4;
inline constexpr uint32_t DT_SINGLELINE = 0x20;
inline constexpr uint32_t DT_END_ELLIPSIS = 0x8000;

// One step of painting the pop-up, in client coordinates.
struct PaintOp {
  enum class Kind : uint8_t {
    Fill,            // fill `rect` with `colour`
    FrameRoundRect,  // a 1 × 1 frame in `colour` along a rounded-rectangle region `rect` with `corner`
    Text,            // draw `text` (UTF-8) in `rect` with `font`, `colour` and `format`
  };
  Kind kind = Kind::Fill;
  Box rect;
  Rgb colour;
  int32_t corner = 0;
  OverlayFont font;
  std::string text;
  uint32_t format = 0;
  bool operator==(const PaintOp&) const = default;
};

// Where and how the pop-up is shown: an ellipse (0, 0, width + 1, height + 1)
// or a rounded rectangle of the same bounds with `corner` as its region.
struct PopupPlacement {
  enum class Shape : uint8_t { Ellipse, RoundRect };
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  Shape shape = Shape::Ellipse;
  int32_t corner = 0;
  bool operator==(const PopupPlacement&) const = default;
};

// The portable halves of the pop-up's window procedure, run on the overlay
// thread while it pumps its messages.
class OverlayEvents {
 public:
  virtual ~OverlayEvents() = default;
  // WM_PAINT: what to draw in the client rectangle; empty leaves it empty.
  virtual std::vector<PaintOp> popup_paint(Box client) = 0;
  // WM_LBUTTONUP at a client point.
  virtual void popup_click(Point p) = 0;
};

class OverlayWindows {
 public:
  virtual ~OverlayWindows() = default;
  // Per-monitor DPI awareness v2 for the calling thread (with the system's
  // fallbacks) and a single-threaded COM apartment.
  virtual void prepare_thread() = 0;
  // Registers the classes "HarvelCheckUnder" and "HarvelCheckPop" and creates
  // their windows, hidden; false when either window could not be created.
  virtual bool create_windows(OverlayEvents* events) = 0;
  // Hides both windows (nothing before they exist).
  virtual void hide_windows() = 0;
  // Dispatches every waiting message of the calling thread, without blocking.
  virtual void pump_messages() = 0;
  // GetAsyncKeyState(VK_LBUTTON) has its high bit set.
  virtual bool left_button_down() = 0;
  virtual Point cursor_position() = 0;
  // The pop-up window's screen rectangle; none when it cannot be read.
  virtual std::optional<Box> popup_rect() = 0;
  // Effective DPI of the monitor nearest to the rectangle; none on failure.
  virtual std::optional<uint32_t> monitor_dpi(const Box& nearby) = 0;
  // Work area of the monitor nearest to the rectangle; none on failure.
  virtual std::optional<Box> work_area(const Box& nearby) = 0;
  // Puts a width × height bitmap of premultiplied pixels (0xAARRGGBB, rows
  // top-down) on the underline window at (x, y), topmost, not activated,
  // shown. Nothing when the bitmap cannot be created.
  virtual void show_underline(Point at, int32_t width, int32_t height, std::span<const uint32_t> pixels) = 0;
  // Shapes, places (topmost, not activated) and shows the pop-up, then
  // invalidates it for repainting.
  virtual void show_popup(const PopupPlacement& placement) = 0;
  // Sleeps the calling thread.
  virtual void sleep(std::chrono::milliseconds duration) = 0;
};

struct CheckerPlatform {
  CaretQueries* caret = nullptr;
  UiAutomation* uia = nullptr;
  OverlayWindows* overlay = nullptr;
};

// The checker's facilities, installed once at start (and by its tests);
// absent ones are null.
CheckerPlatform& checker_platform();
void install_checker_platform(const CheckerPlatform& p);

}  // namespace harvel::os
