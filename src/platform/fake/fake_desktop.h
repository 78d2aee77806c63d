// Fakes of the desktop facilities: web-view windows, the global shortcut,
// the application loop and the shell services. Each records every call so a
// test can check what the program asked for and in which order; calls may
// come from any thread, and `wait_for` lets a test wait for work that a
// short-lived thread does.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/os.h"

namespace harvel::fake {

struct FakeWebWindow {
  os::WindowSpec spec;  // width, height, x and y as last set
  os::Units size_units = os::Units::Logical;
  os::Units position_units = os::Units::Logical;
  bool visible = false;
  bool minimized = false;
  bool maximized = false;
  bool focused = false;
};

// One recorded window call: "create", "destroy", "show", "hide", "focus",
// "unminimize", "size", "position", "emit", "minimize", "toggle_maximize",
// "close", "drag". `event` and `payload` are set for "emit"; `payload` is
// "W H logical|physical" for "size" and "X Y logical|physical" for
// "position" (numbers as printed by %g).
struct WindowCall {
  std::string op;
  std::string label;
  std::string event;
  std::string payload;
  bool operator==(const WindowCall&) const = default;
};

class FakeWebWindows final : public os::WebWindows {
 public:
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
  void minimize(std::string_view label) override;
  void toggle_maximize(std::string_view label) override;
  bool is_maximized(std::string_view label) override;
  void close(std::string_view label) override;
  void start_dragging(std::string_view label) override;
  void set_event_handler(os::WindowEventHandler handler) override;
  void set_command_handler(os::CommandHandler handler) override;

  // Adds a window without recording a call (a window made by set-up).
  void add_window(std::string_view label, bool visible = true);
  // Labels whose creation fails.
  void fail_create(std::string_view label);
  // Called at the start of every create(), outside the fake's lock: a test
  // can hold a creation there, as the real event loop does while it is busy.
  // Set it before any thread may create a window.
  std::function<void(const os::WindowSpec&)> on_create;

  std::vector<WindowCall> calls();
  // Recorded calls for one label, in order.
  std::vector<WindowCall> calls_for(std::string_view label);
  std::optional<FakeWebWindow> window(std::string_view label);
  void clear_calls();

  os::CommandHandler command_handler();
  os::WindowEventHandler event_handler();

  // Waits until `done` holds for the recorded calls; false on time-out.
  bool wait_for(const std::function<bool(const std::vector<WindowCall>&)>& done,
                std::chrono::milliseconds timeout = std::chrono::seconds(5));

 private:
  void record(WindowCall call);
  FakeWebWindow* find(std::string_view label);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, FakeWebWindow, std::less<>> windows_;
  std::set<std::string, std::less<>> failing_;
  std::vector<WindowCall> calls_;
  os::CommandHandler command_handler_;
  os::WindowEventHandler event_handler_;
};

// One recorded shortcut call: "register", "unregister" or "unregister_all",
// with whether it worked.
struct ShortcutCall {
  std::string op;
  os::Hotkey hotkey;
  bool ok = true;
  bool operator==(const ShortcutCall&) const = default;
};

class FakeGlobalShortcut final : public os::GlobalShortcut {
 public:
  bool register_hotkey(const os::Hotkey& hotkey) override;
  bool unregister_hotkey(const os::Hotkey& hotkey) override;
  void unregister_all() override;
  bool is_registered(const os::Hotkey& hotkey) override;
  void set_press_handler(std::function<void(const os::Hotkey&)> handler) override;

  // Shortcuts that another program holds: registering them fails.
  void take(const os::Hotkey& hotkey);
  // Marks a shortcut registered without recording a call.
  void preregister(const os::Hotkey& hotkey);
  std::vector<os::Hotkey> registered();
  std::vector<ShortcutCall> calls();
  void clear_calls();
  // Delivers a press of `hotkey` to the handler when it is registered.
  void press(const os::Hotkey& hotkey);

 private:
  std::mutex mutex_;
  std::vector<os::Hotkey> registered_;
  std::vector<os::Hotkey> taken_;
  std::vector<ShortcutCall> calls_;
  std::function<void(const os::Hotkey&)> press_handler_;
};

class FakeAppLoop final : public os::AppLoop {
 public:
  // Runs `on_exit` at once and returns the code of the first exit request (0).
  int run(std::function<void()> on_exit) override;
  bool exit(int code) override;
  void restart() override;

  std::vector<int> exits();
  int restarts();
  // Called inside exit() and restart(), before they return.
  std::function<void(int code)> on_exit_request;
  std::function<void()> on_restart;

 private:
  std::mutex mutex_;
  std::vector<int> exits_;
  int restarts_ = 0;
};

class FakeShell final : public os::Shell {
 public:
  void spawn_detached_process(const os::CommandLine& command) override;
  // Reads the real file; spawning it records it like any other start.
  std::unique_ptr<os::HeldProgram> hold_program(const std::string& path) override;
  void spawn_held_program(std::unique_ptr<os::HeldProgram> program, const std::vector<std::string>& args) override;
  void write_autostart_entry(std::string_view command_text) override;
  void remove_autostart_entry() override;
  bool autostart_entry_is(std::string_view command_text) override;
  void enter_background_priority() override;
  void name_current_thread(std::string_view name) override;
  std::optional<std::string> executable_path() override;
  // {"open-url", {url}}.
  os::CommandLine browser_command(std::string_view url) override;

  std::vector<os::CommandLine> spawned();
  // The programs among them that were started from a hold, by path.
  std::vector<std::string> held_starts();
  // How many holds are open now.
  int holds_open();
  // The entry as last written; none when absent or removed.
  std::optional<std::string> autostart_entry();
  // Every write ("write:" + text) and removal ("remove"), in order.
  std::vector<std::string> autostart_calls();
  int background_priority_calls();
  // The names given to threads, in order.
  std::vector<std::string> thread_names();

  std::optional<std::string> exe_path = std::string("C:\\Program Files\\Harvel\\harvel.exe");

 private:
  std::mutex mutex_;
  std::vector<os::CommandLine> spawned_;
  std::vector<std::string> held_starts_;
  std::shared_ptr<std::atomic<int>> holds_ = std::make_shared<std::atomic<int>>(0);
  std::optional<std::string> autostart_;
  std::vector<std::string> autostart_calls_;
  int background_ = 0;
  std::vector<std::string> thread_names_;
};

// Monitors as a test sets them; none at first.
class FakeMonitors final : public os::Monitors {
 public:
  std::vector<os::MonitorInfo> monitors() override;
  // The first monitor marked primary; none when no monitor is.
  std::optional<os::MonitorInfo> primary_monitor() override;

  void set(std::vector<os::MonitorInfo> monitors);

 private:
  std::mutex mutex_;
  std::vector<os::MonitorInfo> monitors_;
};

// All five, ready to be put into a platform next to the FakeSystem.
struct FakeDesktop {
  FakeWebWindows windows;
  FakeGlobalShortcut shortcuts;
  FakeAppLoop loop;
  FakeShell shell;
  FakeMonitors monitors;

  // Sets the five desktop interfaces of `p` to these fakes.
  void add_to(os::Platform& p);
};

}  // namespace harvel::fake
