#include "platform/fake/fake_desktop.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "core/file_io.h"

namespace harvel::fake {

// ---- windows ----

void FakeWebWindows::record(WindowCall call) {
  calls_.push_back(std::move(call));
  changed_.notify_all();
}

namespace {

std::string pair_text(double a, double b, os::Units units) {
  char text[96];
  std::snprintf(text, sizeof text, "%g %g %s", a, b, units == os::Units::Logical ? "logical" : "physical");
  return text;
}

}  // namespace

FakeWebWindow* FakeWebWindows::find(std::string_view label) {
  const auto it = windows_.find(label);
  return it == windows_.end() ? nullptr : &it->second;
}

bool FakeWebWindows::create(const os::WindowSpec& spec) {
  if (on_create) on_create(spec);
  std::lock_guard lock(mutex_);
  record({"create", spec.label, "", ""});
  if (failing_.contains(spec.label) || windows_.contains(spec.label)) return false;
  FakeWebWindow w;
  w.spec = spec;
  w.visible = spec.visible;
  w.focused = spec.visible && spec.focus;
  windows_.emplace(spec.label, std::move(w));
  return true;
}

bool FakeWebWindows::exists(std::string_view label) {
  std::lock_guard lock(mutex_);
  return find(label) != nullptr;
}

void FakeWebWindows::destroy(std::string_view label) {
  std::lock_guard lock(mutex_);
  record({"destroy", std::string(label), "", ""});
  if (const auto it = windows_.find(label); it != windows_.end()) windows_.erase(it);
}

void FakeWebWindows::show(std::string_view label) {
  std::lock_guard lock(mutex_);
  record({"show", std::string(label), "", ""});
  if (FakeWebWindow* w = find(label)) w->visible = true;
}

void FakeWebWindows::hide(std::string_view label) {
  std::lock_guard lock(mutex_);
  record({"hide", std::string(label), "", ""});
  if (FakeWebWindow* w = find(label)) {
    w->visible = false;
    w->focused = false;
  }
}

bool FakeWebWindows::is_visible(std::string_view label) {
  std::lock_guard lock(mutex_);
  const FakeWebWindow* w = find(label);
  return w && w->visible;
}

void FakeWebWindows::set_focus(std::string_view label) {
  std::lock_guard lock(mutex_);
  record({"focus", std::string(label), "", ""});
  if (FakeWebWindow* w = find(label)) w->focused = true;
}

void FakeWebWindows::unminimize(std::string_view label) {
  std::lock_guard lock(mutex_);
  record({"unminimize", std::string(label), "", ""});
  if (FakeWebWindow* w = find(label)) w->minimized = false;
}

void FakeWebWindows::set_size(std::string_view label, double width, double height, os::Units units) {
  std::lock_guard lock(mutex_);
  record({"size", std::string(label), "", pair_text(width, height, units)});
  if (FakeWebWindow* w = find(label)) {
    w->spec.width = width;
    w->spec.height = height;
    w->size_units = units;
  }
}

void FakeWebWindows::set_position(std::string_view label, double x, double y, os::Units units) {
  std::lock_guard lock(mutex_);
  record({"position", std::string(label), "", pair_text(x, y, units)});
  if (FakeWebWindow* w = find(label)) {
    w->spec.x = x;
    w->spec.y = y;
    w->position_units = units;
  }
}

void FakeWebWindows::emit_to(std::string_view label, std::string_view event, std::string_view payload_json) {
  std::lock_guard lock(mutex_);
  record({"emit", std::string(label), std::string(event), std::string(payload_json)});
}

void FakeWebWindows::minimize(std::string_view label) {
  std::lock_guard lock(mutex_);
  record({"minimize", std::string(label), "", ""});
  if (FakeWebWindow* w = find(label)) w->minimized = true;
}

void FakeWebWindows::toggle_maximize(std::string_view label) {
  std::lock_guard lock(mutex_);
  record({"toggle_maximize", std::string(label), "", ""});
  if (FakeWebWindow* w = find(label)) w->maximized = !w->maximized;
}

bool FakeWebWindows::is_maximized(std::string_view label) {
  std::lock_guard lock(mutex_);
  const FakeWebWindow* w = find(label);
  return w && w->maximized;
}

void FakeWebWindows::close(std::string_view label) {
  os::WindowEventHandler handler;
  {
    std::lock_guard lock(mutex_);
    record({"close", std::string(label), "", ""});
    if (!find(label)) return;
    handler = event_handler_;
  }
  os::WindowEvent event{os::WindowEventKind::CloseRequested, false};
  if (handler) handler(label, event);
  if (event.prevent_close) return;
  std::lock_guard lock(mutex_);
  if (const auto it = windows_.find(label); it != windows_.end()) windows_.erase(it);
}

void FakeWebWindows::start_dragging(std::string_view label) {
  std::lock_guard lock(mutex_);
  record({"drag", std::string(label), "", ""});
}

void FakeWebWindows::set_event_handler(os::WindowEventHandler handler) {
  std::lock_guard lock(mutex_);
  event_handler_ = std::move(handler);
}

void FakeWebWindows::set_command_handler(os::CommandHandler handler) {
  std::lock_guard lock(mutex_);
  command_handler_ = std::move(handler);
}

void FakeWebWindows::add_window(std::string_view label, bool visible) {
  std::lock_guard lock(mutex_);
  FakeWebWindow w;
  w.spec.label = std::string(label);
  w.visible = visible;
  windows_.insert_or_assign(std::string(label), std::move(w));
}

void FakeWebWindows::fail_create(std::string_view label) {
  std::lock_guard lock(mutex_);
  failing_.emplace(label);
}

std::vector<WindowCall> FakeWebWindows::calls() {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<WindowCall> FakeWebWindows::calls_for(std::string_view label) {
  std::lock_guard lock(mutex_);
  std::vector<WindowCall> out;
  for (const WindowCall& c : calls_) {
    if (c.label == label) out.push_back(c);
  }
  return out;
}

std::optional<FakeWebWindow> FakeWebWindows::window(std::string_view label) {
  std::lock_guard lock(mutex_);
  const FakeWebWindow* w = find(label);
  return w ? std::optional<FakeWebWindow>(*w) : std::nullopt;
}

void FakeWebWindows::clear_calls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

os::CommandHandler FakeWebWindows::command_handler() {
  std::lock_guard lock(mutex_);
  return command_handler_;
}

os::WindowEventHandler FakeWebWindows::event_handler() {
  std::lock_guard lock(mutex_);
  return event_handler_;
}

bool FakeWebWindows::wait_for(const std::function<bool(const std::vector<WindowCall>&)>& done,
                              std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return done(calls_); });
}

// ---- global shortcut ----

namespace {

bool contains(const std::vector<os::Hotkey>& keys, const os::Hotkey& key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

}  // namespace

bool FakeGlobalShortcut::register_hotkey(const os::Hotkey& hotkey) {
  std::lock_guard lock(mutex_);
  // Registering a shortcut this program already holds fails, as RegisterHotKey does.
  const bool ok = !contains(taken_, hotkey) && !contains(registered_, hotkey);
  if (ok) registered_.push_back(hotkey);
  calls_.push_back({"register", hotkey, ok});
  return ok;
}

bool FakeGlobalShortcut::unregister_hotkey(const os::Hotkey& hotkey) {
  std::lock_guard lock(mutex_);
  const auto it = std::find(registered_.begin(), registered_.end(), hotkey);
  const bool ok = it != registered_.end();
  if (ok) registered_.erase(it);
  calls_.push_back({"unregister", hotkey, ok});
  return ok;
}

void FakeGlobalShortcut::unregister_all() {
  std::lock_guard lock(mutex_);
  registered_.clear();
  calls_.push_back({"unregister_all", {}, true});
}

bool FakeGlobalShortcut::is_registered(const os::Hotkey& hotkey) {
  std::lock_guard lock(mutex_);
  return contains(registered_, hotkey);
}

void FakeGlobalShortcut::set_press_handler(std::function<void(const os::Hotkey&)> handler) {
  std::lock_guard lock(mutex_);
  press_handler_ = std::move(handler);
}

void FakeGlobalShortcut::take(const os::Hotkey& hotkey) {
  std::lock_guard lock(mutex_);
  taken_.push_back(hotkey);
}

void FakeGlobalShortcut::preregister(const os::Hotkey& hotkey) {
  std::lock_guard lock(mutex_);
  if (!contains(registered_, hotkey)) registered_.push_back(hotkey);
}

std::vector<os::Hotkey> FakeGlobalShortcut::registered() {
  std::lock_guard lock(mutex_);
  return registered_;
}

std::vector<ShortcutCall> FakeGlobalShortcut::calls() {
  std::lock_guard lock(mutex_);
  return calls_;
}

void FakeGlobalShortcut::clear_calls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void FakeGlobalShortcut::press(const os::Hotkey& hotkey) {
  std::function<void(const os::Hotkey&)> handler;
  {
    std::lock_guard lock(mutex_);
    if (!contains(registered_, hotkey)) return;
    handler = press_handler_;
  }
  if (handler) handler(hotkey);
}

// ---- application loop ----

int FakeAppLoop::run(std::function<void()> on_exit) {
  if (on_exit) on_exit();
  std::lock_guard lock(mutex_);
  return exits_.empty() ? 0 : exits_.front();
}

bool FakeAppLoop::exit(int code) {
  {
    std::lock_guard lock(mutex_);
    exits_.push_back(code);
  }
  if (on_exit_request) on_exit_request(code);
  return true;
}

void FakeAppLoop::restart() {
  {
    std::lock_guard lock(mutex_);
    ++restarts_;
  }
  if (on_restart) on_restart();
}

std::vector<int> FakeAppLoop::exits() {
  std::lock_guard lock(mutex_);
  return exits_;
}

int FakeAppLoop::restarts() {
  std::lock_guard lock(mutex_);
  return restarts_;
}

// ---- shell ----

void FakeShell::spawn_detached_process(const os::CommandLine& command) {
  std::lock_guard lock(mutex_);
  spawned_.push_back(command);
}

namespace {

class FakeHeldProgram final : public os::HeldProgram {
 public:
  FakeHeldProgram(std::string path, std::shared_ptr<std::atomic<int>> holds)
      : path_(std::move(path)), in_(path_from_utf8(path_), std::ios::binary), holds_(std::move(holds)) {
    ++*holds_;
  }
  ~FakeHeldProgram() override { --*holds_; }
  std::optional<std::size_t> read(std::span<uint8_t> buffer) override {
    in_.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
    if (in_.bad()) return std::nullopt;
    return static_cast<std::size_t>(in_.gcount());
  }
  bool open() const { return static_cast<bool>(in_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::ifstream in_;
  std::shared_ptr<std::atomic<int>> holds_;
};

}  // namespace

std::unique_ptr<os::HeldProgram> FakeShell::hold_program(const std::string& path) {
  auto held = std::make_unique<FakeHeldProgram>(path, holds_);
  if (!held->open()) return nullptr;
  return held;
}

void FakeShell::spawn_held_program(std::unique_ptr<os::HeldProgram> program, const std::vector<std::string>& args) {
  const auto* held = dynamic_cast<const FakeHeldProgram*>(program.get());
  if (!held) return;
  std::lock_guard lock(mutex_);
  spawned_.push_back({held->path(), args});
  held_starts_.push_back(held->path());
}

std::vector<std::string> FakeShell::held_starts() {
  std::lock_guard lock(mutex_);
  return held_starts_;
}

int FakeShell::holds_open() { return holds_->load(); }

void FakeShell::write_autostart_entry(std::string_view command_text) {
  std::lock_guard lock(mutex_);
  autostart_ = std::string(command_text);
  std::string call = "write:";
  call.append(command_text);
  autostart_calls_.push_back(std::move(call));
}

void FakeShell::remove_autostart_entry() {
  std::lock_guard lock(mutex_);
  autostart_.reset();
  autostart_calls_.emplace_back("remove");
}

bool FakeShell::autostart_entry_is(std::string_view command_text) {
  std::lock_guard lock(mutex_);
  return autostart_ == command_text;
}

void FakeShell::enter_background_priority() {
  std::lock_guard lock(mutex_);
  ++background_;
}

void FakeShell::name_current_thread(std::string_view name) {
  std::lock_guard lock(mutex_);
  thread_names_.emplace_back(name);
}

std::vector<std::string> FakeShell::thread_names() {
  std::lock_guard lock(mutex_);
  return thread_names_;
}

std::optional<std::string> FakeShell::executable_path() {
  std::lock_guard lock(mutex_);
  return exe_path;
}

os::CommandLine FakeShell::browser_command(std::string_view url) { return {"open-url", {std::string(url)}}; }

std::vector<os::CommandLine> FakeShell::spawned() {
  std::lock_guard lock(mutex_);
  return spawned_;
}

std::optional<std::string> FakeShell::autostart_entry() {
  std::lock_guard lock(mutex_);
  return autostart_;
}

std::vector<std::string> FakeShell::autostart_calls() {
  std::lock_guard lock(mutex_);
  return autostart_calls_;
}

int FakeShell::background_priority_calls() {
  std::lock_guard lock(mutex_);
  return background_;
}

// ---- all four ----

// ---- monitors ----

std::vector<os::MonitorInfo> FakeMonitors::monitors() {
  std::lock_guard lock(mutex_);
  return monitors_;
}

std::optional<os::MonitorInfo> FakeMonitors::primary_monitor() {
  std::lock_guard lock(mutex_);
  for (const os::MonitorInfo& m : monitors_) {
    if (m.primary) return m;
  }
  return std::nullopt;
}

void FakeMonitors::set(std::vector<os::MonitorInfo> monitors) {
  std::lock_guard lock(mutex_);
  monitors_ = std::move(monitors);
}

void FakeDesktop::add_to(os::Platform& p) {
  p.windows = &windows;
  p.monitors = &monitors;
  p.global_shortcut = &shortcuts;
  p.app_loop = &loop;
  p.shell = &shell;
}

}  // namespace harvel::fake
