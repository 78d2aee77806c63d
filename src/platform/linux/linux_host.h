// The Linux desktop host: the interfaces of platform/os.h on GTK 3,
// WebKitGTK 4.1 and X11, so the program runs on this system with its real
// windows and web pages.
//
// GTK is single-threaded: every GTK call happens on the thread that called
// start_linux_host (the event-loop thread). The interfaces may be called
// from any thread; such calls are carried to that thread and waited for
// (once the loop has ended they return at once, doing nothing).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/os.h"

typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitSettings WebKitSettings;
typedef struct _GMainLoop GMainLoop;

namespace harvel::linux_host {

struct HostOptions {
  // Started by a WebDriver session (--automation): the web context accepts
  // automation and every view is created as controlled by it.
  bool automation = false;
  // HARVEL_HOST_TRACE=1: command calls, page loads and the first paint of
  // each window are written to the error output, with page console messages.
  bool trace = false;
};

// Initialises GTK and WebKit, builds the host's parts and installs them as
// the platform (with any parts already installed left in place). Call once,
// from the thread that will run the event loop. False when GTK cannot start
// (no display).
bool start_linux_host(int argc, char** argv);

// The options start_linux_host read from the command line and environment.
const HostOptions& host_options();

// Milliseconds since the program was loaded, for trace lines.
double host_clock_ms();
// Writes one trace line ("harvel-host: ...") when tracing is on.
void trace(const std::string& line);

// ---- Event loop ------------------------------------------------------------

class LinuxEventLoop final : public os::EventLoop, public os::AppLoop {
 public:
  explicit LinuxEventLoop(std::vector<std::string> argv);
  ~LinuxEventLoop() override;

  void post(std::function<void()> task) override;
  int run(std::function<void()> on_exit) override;
  bool exit(int code) override;
  void restart() override;

  bool on_loop_thread() const { return std::this_thread::get_id() == loop_thread_; }
  bool running() const { return running_.load(); }

  // Runs `fn` on the loop thread and waits for it (directly when already
  // there). Once run() has seen the loop end, nothing would take the call:
  // `fn` is then not run and the call answers a default value at once, and a
  // call still waiting at that moment is released the same way.
  template <typename Fn>
  auto call(Fn&& fn) -> decltype(fn()) {
    if (on_loop_thread()) return fn();
    return call_from_other_thread(std::forward<Fn>(fn));
  }

 private:
  // One call from another thread: finished, or given up by the loop.
  struct PendingCall {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    bool cancelled = false;
  };
  template <typename Fn>
  auto call_from_other_thread(Fn&& fn) -> decltype(fn());
  // False when the loop has ended (the call is not taken).
  bool add_pending(const std::shared_ptr<PendingCall>& call);
  void remove_pending(const std::shared_ptr<PendingCall>& call);
  // Loop thread: takes no more calls and releases the waiting ones.
  void close_calls();

  std::mutex calls_mutex_;
  bool calls_closed_ = false;
  std::vector<std::shared_ptr<PendingCall>> pending_calls_;
  std::thread::id loop_thread_;
  std::vector<std::string> argv_;
  GMainLoop* loop_ = nullptr;
  std::atomic<bool> running_{false};
  std::atomic<bool> quit_requested_{false};
  std::atomic<bool> restart_requested_{false};
  std::atomic<int> exit_code_{0};
};

// ---- The embedded files under harvel://localhost/ ---------------------------

// Registers the scheme "harvel" on the context, serving the embedded files.
void register_asset_scheme(WebKitWebContext* context);

// ---- Downloads ---------------------------------------------------------------

// Creates an empty file for the name in `folder`, numbered past the names
// already taken (free_download_name), and answers its path; none when
// nothing can be created.
std::optional<std::string> reserve_download_path(const std::string& folder, std::string_view name);
// The user's Downloads folder (XDG), else ~/Downloads.
std::string downloads_folder();
// Saves the pages' downloads into downloads_folder() and cancels any other.
void handle_downloads(WebKitWebContext* context);

// ---- Windows and web views -------------------------------------------------

struct HostWindow;

class LinuxWebWindows final : public os::WebWindows, public os::WebViews {
 public:
  LinuxWebWindows(LinuxEventLoop& loop, const HostOptions& options);
  ~LinuxWebWindows() override;

  bool create(const os::WindowSpec& spec) override;
  bool exists(std::string_view label) override;
  void destroy(std::string_view label) override;
  void show(std::string_view label) override;
  void hide(std::string_view label) override;
  bool is_visible(std::string_view label) override;
  void set_focus(std::string_view label) override;
  void unminimize(std::string_view label) override;
  void set_size(std::string_view label, double width, double height, os::Units units) override;
  void set_position(std::string_view label, double x, double y, os::Units units) override;
  void emit_to(std::string_view label, std::string_view event, std::string_view payload_json) override;
  void emit_all(std::string_view event, std::string_view payload_json) override;
  void minimize(std::string_view label) override;
  void toggle_maximize(std::string_view label) override;
  bool is_maximized(std::string_view label) override;
  void close(std::string_view label) override;
  void start_dragging(std::string_view label) override;
  void set_event_handler(os::WindowEventHandler handler) override;
  void set_command_handler(os::CommandHandler handler) override;

  // The web view of a window, for the automation session (loop thread).
  WebKitWebView* web_view(std::string_view label);
  WebKitWebContext* context();
  LinuxEventLoop& loop() { return loop_; }

  // Loop-thread entry points of the GTK and WebKit signal handlers.
  void handle_close_request(HostWindow* w);
  void handle_destroyed(HostWindow* w);
  void handle_focus(HostWindow* w, bool focused);
  void handle_message(HostWindow* w, std::string command, std::string args_json,
                      os::CommandReply reply);

 private:
  HostWindow* find(std::string_view label);
  void deliver(HostWindow* w, std::string_view event, std::string_view payload_json);

  LinuxEventLoop& loop_;
  HostOptions options_;
  WebKitWebContext* context_ = nullptr;
  WebKitSettings* settings_ = nullptr;
  std::map<std::string, std::unique_ptr<HostWindow>, std::less<>> windows_;
  os::WindowEventHandler event_handler_;
  os::CommandHandler command_handler_;
};

// ---- Monitors --------------------------------------------------------------

class LinuxMonitors final : public os::Monitors {
 public:
  explicit LinuxMonitors(LinuxEventLoop& loop) : loop_(loop) {}
  std::vector<os::MonitorInfo> monitors() override;
  std::optional<os::MonitorInfo> primary_monitor() override;

 private:
  LinuxEventLoop& loop_;
};

// ---- Single instance -------------------------------------------------------

// A lock file and a Unix socket in the user's runtime folder, named after
// the identifier and the display: the first copy holds the lock and listens,
// a second start finds the lock held, connects and hands over its arguments
// and working folder. Without a runtime folder, an abstract-namespace socket
// named after the identifier, the user and the display.
class LinuxSingleInstance final : public os::SingleInstance {
 public:
  explicit LinuxSingleInstance(LinuxEventLoop& loop) : loop_(loop) {}
  ~LinuxSingleInstance() override;
  bool acquire(std::string_view identifier, std::vector<std::string> args,
               os::SecondStartHandler on_second_start) override;

  // $XDG_RUNTIME_DIR, else /run/user/<uid>, when it is a folder of this
  // user's that no one else may write to; none otherwise.
  static std::optional<std::string> runtime_folder();
  // The abstract socket's name (without its leading NUL), for the display
  // named by DISPLAY.
  static std::string socket_name(std::string_view identifier);
  // A display name reduced to what tells displays apart: the host (lower
  // case, "unix" being the local one) and the display number.
  static std::string display_key(const char* display);

 private:
  bool acquire_abstract(std::string_view identifier, const std::string& message,
                        os::SecondStartHandler on_second_start);
  void listen_on(int fd, os::SecondStartHandler on_second_start);
  void accept_one();

  LinuxEventLoop& loop_;
  int listen_fd_ = -1;
  int lock_fd_ = -1;
  std::string socket_path_;  // the socket in the runtime folder, once listening
  unsigned watch_id_ = 0;
  os::SecondStartHandler handler_;
};

// ---- Global shortcut -------------------------------------------------------

// The X keysym of a Windows virtual-key code; 0 when there is none.
unsigned long keysym_for_vk(uint32_t vk);

// XGrabKey on the root window, once for each combination of the lock
// modifiers, so the shortcut works with Caps Lock or Num Lock on.
class LinuxGlobalShortcut final : public os::GlobalShortcut {
 public:
  explicit LinuxGlobalShortcut(LinuxEventLoop& loop);
  ~LinuxGlobalShortcut() override;
  bool register_hotkey(const os::Hotkey& hotkey) override;
  bool unregister_hotkey(const os::Hotkey& hotkey) override;
  void unregister_all() override;
  bool is_registered(const os::Hotkey& hotkey) override;
  void set_press_handler(std::function<void(const os::Hotkey&)> handler) override;

  // Loop thread: a key event on the root window.
  void handle_key(unsigned keycode, unsigned state, bool press);

 private:
  struct Grab {
    os::Hotkey hotkey;
    unsigned keycode = 0;
    unsigned x_modifiers = 0;
    bool held = false;
  };
  bool grab(Grab& g);
  void ungrab(const Grab& g);
  std::vector<unsigned> lock_combinations();

  LinuxEventLoop& loop_;
  std::vector<Grab> grabs_;
  std::function<void(const os::Hotkey&)> handler_;
  bool filter_installed_ = false;
};

// ---- Message box -----------------------------------------------------------

class LinuxDialogs final : public os::Dialogs {
 public:
  explicit LinuxDialogs(LinuxEventLoop& loop) : loop_(loop) {}
  int message_box(std::string_view caption, std::string_view text, uint32_t flags) override;

 private:
  LinuxEventLoop& loop_;
};

// ---- Template definitions --------------------------------------------------

template <typename Fn>
auto LinuxEventLoop::call_from_other_thread(Fn&& fn) -> decltype(fn()) {
  using R = decltype(fn());
  // A call the loop gives up answers this; every call in use has a result
  // type with a meaningful empty value.
  static_assert(std::is_void_v<R> || std::is_default_constructible_v<R>);
  auto call = std::make_shared<PendingCall>();
  std::conditional_t<std::is_void_v<R>, bool, std::optional<R>> result{};
  if (!add_pending(call)) return R();
  // The task touches `fn` and `result` only under the call's lock and only
  // when the call was not given up, so this frame may be gone by then.
  post([call, &fn, &result] {
    std::lock_guard lock(call->mutex);
    if (call->cancelled) return;
    if constexpr (std::is_void_v<R>) {
      fn();
    } else {
      result.emplace(fn());
    }
    call->done = true;
    call->cv.notify_one();
  });
  {
    std::unique_lock lock(call->mutex);
    call->cv.wait(lock, [&] { return call->done || call->cancelled; });
  }
  remove_pending(call);
  if constexpr (!std::is_void_v<R>) {
    if (!result) return R();
    return std::move(*result);
  }
}

// ---- System stand-ins ------------------------------------------------------

class LinuxFolders final : public os::Folders {
 public:
  std::optional<std::string> roaming_app_data() override;
  std::optional<std::string> temp_dir() override;
  bool claim_private_folder(const std::string& path) override;
  std::optional<std::string> make_private_folder(const std::string& parent, std::string_view prefix) override;
};

// fsync of the file before it is closed, and of its folder after a rename.
class LinuxFiles final : public os::Files {
 public:
  bool create_flushed(const std::filesystem::path& path, std::string_view bytes) override;
  bool rename_flushed(const std::filesystem::path& from, const std::filesystem::path& to) override;
  bool link_flushed(const std::filesystem::path& from, const std::filesystem::path& to) override;
};

// The low-level keyboard hook on X11 (x11_keyboard.h): root-window grabs
// answered per key, raw events for releases, typing through XTest.
class LinuxKeyboardHook final : public os::KeyboardHook {
 public:
  std::optional<uintptr_t> install() override;
  void uninstall(uintptr_t hook) override;
  uint32_t current_thread_id() override;
  void run_message_loop() override;
  void post_quit(uint32_t thread_id) override;
  std::optional<std::string> failure_reason() override;
};

class LinuxForeground final : public os::Foreground {
 public:
  os::WindowHandle foreground_window() override;
  uint32_t window_thread_process_id(os::WindowHandle window, uint32_t& pid) override;
  std::optional<std::u16string> process_image_path(uint32_t pid) override;
  std::optional<os::GuiThreadInfo> gui_thread_info(uint32_t thread_id) override;
  int32_t window_style(os::WindowHandle window) override;
  std::u16string class_name(os::WindowHandle window, std::size_t max_units) override;
  std::optional<bool> process_elevated(uint32_t pid) override;
  std::optional<bool> own_process_elevated() override;
};

}  // namespace harvel::linux_host
