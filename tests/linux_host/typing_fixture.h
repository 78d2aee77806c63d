// Shared by the suites that type into other programs through the X server:
// the keyboard side of the program, built in this process as its set-up
// step builds it, and a program of text fields that reports every change on
// its standard output (x11_textbox, and the Tk and Qt fields).
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "app/accelerator.h"
#include "core/app.h"
#include "core/settings.h"
#include "core/state.h"
#include "host_fixture.h"
#include "keyboard/hook_thread.h"
#include "shell/sinks.h"
#include "shell/state_commands.h"
#include "shell/toast.h"

namespace harvel::linux_host::testing {

// Runs a command to its end; its exit status, -1 when it could not run.
inline int run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A program of text fields, started with `args`. It prints, one a line:
//   ready WINDOW PID        once its window is up
//   focus                   when its window gets the keyboard focus
//   text|password TIME "JSON-escaped content"   at every change of a field
//   done COMMAND            once it followed a command of its input
// and follows commands on its standard input; it ends when that closes.
class FieldProgram {
 public:
  explicit FieldProgram(std::vector<std::string> args, double start_seconds = testing::kEventSeconds) {
    const PipedChild child = spawn_piped(std::move(args));
    pid_ = child.pid;
    stdin_ = child.in;
    stdout_ = child.out;
    if (pid_ == 0) return;
    fcntl(stdout_, F_SETFL, O_NONBLOCK);
    ready_ = pump_until([&] { return poll(), window_ != 0; }, start_seconds);
  }
  ~FieldProgram() {
    if (stdin_ >= 0) close(stdin_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    if (stdout_ >= 0) close(stdout_);
  }
  FieldProgram(const FieldProgram&) = delete;
  FieldProgram& operator=(const FieldProgram&) = delete;

  bool ready() const { return ready_; }
  unsigned long window() const { return window_; }
  pid_t pid() const { return pid_; }

  // Runs a command and waits for the program to confirm it.
  bool command(const std::string& c) {
    const std::string line = c + "\n";
    if (write(stdin_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return false;
    done_.clear();
    return pump_until([&] { return poll(), done_ == c; });
  }
  void clear() {
    ASSERT_TRUE(command("clear"));
    ASSERT_TRUE(command("focus text"));
    text_.clear();
    password_.clear();
  }
  // Waits until the field holds `expected`; false when it does not within
  // `seconds` (with `field` then holding what it has).
  bool wait_for(const std::string& expected, const std::string* field = nullptr,
                double seconds = testing::kEventSeconds) {
    const std::string& f = field != nullptr ? *field : text_;
    return pump_until([&] { return poll(), f == expected; }, seconds);
  }
  // Lets every event in flight arrive.
  void settle() {
    pump_for(0.3);
    poll();
  }
  const std::string& text() const { return text_; }
  const std::string& password() const { return password_; }
  // How many times its window got the focus.
  int focus_count() const { return focus_count_; }

  // Reads the lines that arrived.
  void poll() {
    char buf[4096];
    for (;;) {
      const ssize_t n = read(stdout_, buf, sizeof(buf));
      if (n <= 0) break;
      pending_.append(buf, static_cast<std::size_t>(n));
    }
    for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
      const std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (line.rfind("ready ", 0) == 0) window_ = std::strtoul(line.c_str() + 6, nullptr, 10);
      if (line == "focus") ++focus_count_;
      if (line.rfind("done ", 0) == 0) done_ = line.substr(5);
      for (auto [prefix, field] : {std::pair{"text ", &text_}, std::pair{"password ", &password_}}) {
        if (line.rfind(prefix, 0) != 0) continue;
        const std::size_t quote = line.find('"');
        if (quote != std::string::npos) *field = nlohmann::json::parse(line.substr(quote)).get<std::string>();
      }
    }
  }

 private:
  pid_t pid_ = 0;
  int stdin_ = -1;
  int stdout_ = -1;
  bool ready_ = false;
  unsigned long window_ = 0;
  int focus_count_ = 0;
  std::string pending_;
  std::string done_;
  std::string text_;
  std::string password_;
};

// The keyboard side of the program, as its set-up step builds it: the
// settings, the global shortcut and the hook thread. Settings changes take
// effect at once (the hook thread starts or stops with them).
class Program {
 public:
  Program() {
    start_host_once();
    // Notices are not shown: this process has no pages.
    os::Platform p = os::platform();
    p.windows = nullptr;
    p.web_views = nullptr;
    os::install_platform(p);
    dir_ = std::filesystem::temp_directory_path() / ("harvel-typing-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    Settings s = default_settings();
    s.onboarded = true;
    app.manage(std::make_unique<Ctx>(dir_ / "settings.json", s));
    os::GlobalShortcut& shortcut = *os::platform().global_shortcut;
    shortcut_ok = shortcut.register_hotkey(*parse_accelerator(s.hotkey));
    shortcut.set_press_handler([this](const os::Hotkey&) { toggle_enabled(app); });
    app.set_notice_handler([this](const ToastData& d) {
      std::lock_guard lock(notices_mutex_);
      notices_.push_back(d);
    });
    install_shell_sinks(app);
    start_keyboard_hook_thread(app);
  }
  ~Program() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  void change(const std::function<void(Settings&)>& edit) {
    app.ctx().settings.with(edit);
    save_settings(app);
  }
  HookStatus status() { return hook_status(app); }
  std::vector<ToastData> notices() {
    std::lock_guard lock(notices_mutex_);
    return notices_;
  }
  void forget_notices() {
    std::lock_guard lock(notices_mutex_);
    notices_.clear();
  }

  App app;
  bool shortcut_ok = false;

 private:
  std::filesystem::path dir_;
  std::mutex notices_mutex_;
  std::vector<ToastData> notices_;
};

// The one Program of the process (its threads outlive the tests).
inline Program& program() {
  static Program* p = new Program;
  return *p;
}

}  // namespace harvel::linux_host::testing
