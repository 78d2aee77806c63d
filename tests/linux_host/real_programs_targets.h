// The programs of the tests against real programs, each with a text field
// that the keys go to and that reports every change: the browsers' page
// and the terminal's reader (through a window title or the program's
// output), the Tk, Qt and GTK fields (on their standard output). They are
// started once for the whole run (Programs).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include "real_programs_keys.h"

namespace harvel::linux_host::real_programs {

using testing::FieldProgram;
using testing::program;

inline fs::path lab_dir() {
  static const fs::path dir = [] {
    const fs::path d = fs::temp_directory_path() / ("harvel-real-programs-" + std::to_string(getpid()));
    fs::create_directories(d / "home");
    return d;
  }();
  return dir;
}

// Starts a program in a process group of its own (so that it ends with all
// its processes), with `env` over this process's environment and its output
// and errors on `out`; its id, 0 when it could not start.
inline pid_t start(std::vector<std::string> args, const std::vector<std::string>& env, int out) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_strings = env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    if (std::none_of(env.begin(), env.end(), [&](const std::string& v) { return v.rfind(name, 0) == 0; })) {
      env_strings.push_back(entry);
    }
  }
  std::vector<char*> envp;
  for (std::string& e : env_strings) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, out, 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), envp.data()) != 0) pid = 0;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  return pid;
}

// Ends a program that start() started, and all its processes.
inline void end(pid_t pid) {
  if (pid <= 0) return;
  kill(-pid, SIGCONT);
  kill(-pid, SIGTERM);
  if (!pump_until([&] { return waitpid(pid, nullptr, WNOHANG) == pid; }, 10)) {
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

// A program with a text field the keys go to, and what it last reported.
class Target {
 public:
  explicit Target(std::string name) : name_(std::move(name)) {}
  virtual ~Target() = default;
  const std::string& name() const { return name_; }

  virtual bool ready() = 0;
  virtual Window window() = 0;  // its client window
  virtual pid_t pid() = 0;
  virtual void poll() = 0;
  // Empties its fields and puts the focus in the text field; also a word
  // break for the hook.
  virtual void clear() = 0;
  // Puts the focus in its password field; false when it has none.
  virtual bool focus_password() { return false; }

  const std::string& text() const { return text_; }
  const std::string& password() const { return password_; }
  int focus_count() const { return focus_count_; }
  Clock::time_point last_change() const { return last_change_; }
  // Each text it reported since the last clear, with when it arrived.
  const std::vector<std::pair<Clock::time_point, std::string>>& history() const { return history_; }

 protected:
  void update(const std::string& text, const std::string& password) {
    if (text == text_ && password == password_) return;
    last_change_ = Clock::now();
    if (text != text_) history_.emplace_back(last_change_, text);
    text_ = text;
    password_ = password;
  }
  void forget() {
    history_.clear();
    last_change_ = Clock::now();
  }
  int focus_count_ = 0;

 private:
  std::string name_;
  std::string text_;
  std::string password_;
  Clock::time_point last_change_ = Clock::now();
  std::vector<std::pair<Clock::time_point, std::string>> history_;
};

inline void tap(unsigned keycode) {
  screen().key(keycode, true);
  pump_for(kStep);
  screen().key(keycode, false);
  pump_for(kStep);
}

// A program that reports on its standard output (x11_textbox, the Tk and
// the Qt field).
class FieldTarget : public Target {
 public:
  FieldTarget(std::string name, std::vector<std::string> args)
      : Target(std::move(name)), program_(std::move(args), kStartSeconds) {}
  bool ready() override { return program_.ready() && window() != 0; }
  Window window() override {
    if (client_ == 0 && program_.window() != 0) client_ = screen().client_of(program_.window());
    return client_;
  }
  pid_t pid() override { return program_.pid(); }
  void poll() override {
    program_.poll();
    focus_count_ = program_.focus_count();
    update(program_.text(), program_.password());
  }
  void clear() override {
    program_.clear();
    tap(kEscape);
    poll();
    forget();
  }
  FieldProgram& program() { return program_; }

 private:
  FieldProgram program_;
  Window client_ = 0;
};

// The report lines ("harvel-report|" and the report) a child prints on its
// output, read on a thread of their own so that the child never waits on a
// full pipe; every line goes to a log file too.
class ReportLines {
 public:
  ReportLines(int fd, const fs::path& log) : fd_(fd), thread_([this, log] { read(log); }) {}
  ~ReportLines() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  std::vector<std::string> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(reports_, {});
  }

 private:
  void read(const fs::path& log) {
    std::ofstream out(log);
    std::string pending;
    char buf[4096];
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = ::read(fd_, buf, sizeof(buf));
      if (n <= 0) break;
      pending.append(buf, static_cast<std::size_t>(n));
      for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
        const std::string line = pending.substr(0, end);
        out << line << '\n';
        if (const std::size_t at = line.find(kMarker); at != std::string::npos) {
          std::lock_guard lock(mutex_);
          reports_.push_back(line.substr(at + kMarker.size()));
        }
      }
      out.flush();
    }
  }

  static constexpr std::string_view kMarker = "harvel-report|";
  int fd_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> reports_;
  std::thread thread_;
};

// A program that reports "NAME|FOCUS|TEXT|PASSWORD|", the contents
// percent-encoded and FOCUS "text", "password" or "none", in its window
// title (the terminal's reader) or, sooner than there, on its output too
// (the browsers' page, by console.log): Chromium puts a title on its window
// at most every 200 ms.
class TitleTarget : public Target {
 public:
  TitleTarget(std::string name, std::vector<std::string> args, std::vector<std::string> env, bool console)
      : Target(std::move(name)) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = start(std::move(args), env, out[1]);
    close(out[1]);
    lines_ = std::make_unique<ReportLines>(out[0], lab_dir() / (this->name() + ".log"));
    console_ = console;
  }
  ~TitleTarget() override {
    end(pid_);
    lines_.reset();
  }
  bool ready() override {
    if (pid_ <= 0) return false;
    poll();
    return window_ != 0;
  }
  Window window() override { return window_; }
  pid_t pid() override { return pid_; }
  void poll() override {
    screen().poll();
    if (lines_) {
      for (const std::string& report : lines_->take()) {
        if (console_) apply(report);
      }
    }
    if (window_ == 0) {
      // Its window is the one whose title begins with its name.
      if (screen().changes() == seen_changes_) return;
      seen_changes_ = screen().changes();
      for (const Window w : screen().clients()) {
        if (screen().title(w).rfind(name() + "|", 0) == 0) window_ = w;
      }
      if (window_ == 0) return;
      screen().take_title_change(window_);
      if (!console_) apply(screen().title(window_));
    } else if (screen().take_title_change(window_) && !console_) {
      apply(screen().title(window_));
    }
  }
  void clear() override {
    const bool empty = text().empty() && password().empty() && focus_ == "text";
    tap(kEscape);
    // Escape empties the fields; an empty field says nothing new.
    if (!empty) {
      EXPECT_TRUE(pump_until(
          [&] {
            poll();
            return text().empty() && password().empty() && focus_ == "text";
          },
          10))
          << name() << " was not emptied: " << quoted(text());
    }
    forget();
  }
  bool focus_password() override {
    const auto g = screen().geometry(window_);
    if (!g) return false;
    // The page's password field fills the bottom of the window.
    const auto [x, y, width, height] = *g;
    screen().click(x + width / 2, y + height - height / 8);
    return pump_until(
        [&] {
          poll();
          return focus_ == "password";
        },
        10);
  }

 private:
  // NAME|FOCUS|TEXT|PASSWORD| and whatever follows (the browser's name).
  void apply(const std::string& report) {
    std::vector<std::string> parts;
    for (std::size_t start = 0, bar; (bar = report.find('|', start)) != std::string::npos; start = bar + 1) {
      parts.push_back(report.substr(start, bar - start));
    }
    if (parts.size() < 4 || parts[0] != name()) return;
    if (parts[1] != "none" && focus_ != parts[1]) ++focus_count_;
    focus_ = parts[1];
    update(decoded(parts[2]), decoded(parts[3]));
  }
  static std::string decoded(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (s[i] == '%' && i + 2 < s.size()) {
        out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        out += s[i];
      }
    }
    return out;
  }

  pid_t pid_ = 0;
  std::unique_ptr<ReportLines> lines_;
  bool console_ = false;
  Window window_ = 0;
  uint64_t seen_changes_ = 0;
  std::string focus_ = "none";
};

// The GTK program also has a password field.
class GtkTarget : public FieldTarget {
 public:
  GtkTarget() : FieldTarget("gtk", {HARVEL_X11_TEXTBOX}) {}
  bool focus_password() override { return program().command("focus password"); }
};

inline std::string page_url(const std::string& tag) { return "file://" HARVEL_REAL_PROGRAMS "/page.html?tag=" + tag; }

inline std::unique_ptr<Target> start_chromium() {
  const fs::path profile = lab_dir() / "chromium";
  fs::create_directories(profile);
  return std::make_unique<TitleTarget>(
      "chromium",
      std::vector<std::string>{"chromium", "--no-sandbox", "--disable-background-networking",
                               "--disable-component-update", "--no-first-run", "--disable-sync", "--disable-gpu",
                               "--no-default-browser-check", "--password-store=basic", "--force-renderer-accessibility",
                               "--disable-renderer-backgrounding", "--disable-backgrounding-occluded-windows",
                               "--enable-logging=stderr", "--user-data-dir=" + profile.string(),
                               "--app=" + page_url("chromium")},
      std::vector<std::string>{"HOME=" + (lab_dir() / "home").string(), "ACCESSIBILITY_ENABLED=1"}, true);
}

inline std::unique_ptr<Target> start_firefox() {
  const fs::path profile = lab_dir() / "firefox";
  fs::create_directories(profile);
  // No first-run pages, no connections of its own.
  std::ofstream(profile / "user.js") << R"(user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.aboutwelcome.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("datareporting.healthreport.uploadEnabled", false);
user_pref("toolkit.telemetry.enabled", false);
user_pref("app.update.auto", false);
user_pref("browser.sessionstore.resume_from_crash", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("browser.safebrowsing.malware.enabled", false);
user_pref("browser.safebrowsing.phishing.enabled", false);
user_pref("extensions.update.enabled", false);
user_pref("signon.rememberSignons", false);
user_pref("devtools.console.stdout.content", true);
)";
  return std::make_unique<TitleTarget>(
      "firefox",
      std::vector<std::string>{"firefox-esr", "--no-remote", "--new-instance", "--profile", profile.string(),
                               page_url("firefox")},
      // Its accessibility tree is built only when asked for.
      std::vector<std::string>{"HOME=" + (lab_dir() / "home").string(), "GNOME_ACCESSIBILITY=1"}, true);
}

inline std::unique_ptr<Target> start_xterm() {
  return std::make_unique<TitleTarget>(
      "xterm",
      std::vector<std::string>{"xterm", "-u8", "-fa", "Monospace", "-e", "/usr/bin/python3",
                               HARVEL_REAL_PROGRAMS "/terminal_reader.py", "xterm"},
      std::vector<std::string>{"LANG=C.UTF-8", "LC_ALL=C.UTF-8"}, false);
}

// Every program, started once for the whole suite (the slow ones first,
// all at the same time).
class Programs : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_NE(screen().display(), nullptr);
    program();
    // Debian's programs (its own python3, which has PyQt5), started by path.
    targets_.push_back(start_chromium());
    targets_.push_back(start_firefox());
    targets_.push_back(start_xterm());
    targets_.push_back(std::make_unique<FieldTarget>(
        "tk", std::vector<std::string>{"/usr/bin/wish", HARVEL_REAL_PROGRAMS "/tk_entry.tcl"}));
    targets_.push_back(std::make_unique<FieldTarget>(
        "qt", std::vector<std::string>{"/usr/bin/python3", HARVEL_REAL_PROGRAMS "/qt_line_edit.py"}));
    targets_.push_back(std::make_unique<GtkTarget>());
    for (const auto& t : targets_) {
      EXPECT_TRUE(pump_until([&] { return t->ready(); }, kStartSeconds)) << t->name() << " did not start";
    }
  }
  void TearDown() override {
    targets_.clear();
    std::error_code ec;
    fs::remove_all(lab_dir(), ec);
  }
  static Target* find(const std::string& name) {
    for (const auto& t : targets_) {
      if (t->name() == name) return t.get();
    }
    return nullptr;
  }

 private:
  inline static std::vector<std::unique_ptr<Target>> targets_;
};

// Waits until the field holds `expected`, or until it stayed unchanged for
// a while (its final text, then, is another).
inline bool settles_on(Target& t, const std::string& expected, bool password = false) {
  const auto field = [&] { return password ? t.password() : t.text(); };
  const Clock::time_point since = Clock::now();
  pump_until(
      [&] {
        t.poll();
        return field() == expected ||
               Clock::now() - std::max(since, t.last_change()) > std::chrono::duration<double>(kQuietSeconds);
      },
      60);
  return field() == expected;
}

}  // namespace harvel::linux_host::real_programs
