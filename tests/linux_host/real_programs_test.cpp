// Typing into real programs from Debian's packages (Chromium, Firefox ESR,
// xterm, a Tk entry, a Qt line edit, GTK fields) under a window manager, as
// a person types: keys by keycode through XTest, each key going down before
// the previous one is let go (15 ms a key), Shift held over whole words.
// The keyboard hook of this process converts them (typing_fixture.h); each
// program reports every change of its text, and the exact final text is
// checked. Runs under with_xvfb.sh --accessibility --window-manager.
//
// HARVEL_TYPING_HOOK=off runs every case with conversion off: the keys must
// then arrive exactly as typed (the hybrid key left out), which checks the
// harness itself.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/text.h"
#include "typing_fixture.h"

// Xlib's macros (None, Bool) clash with names of the program.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace harvel::linux_host {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testing::FieldProgram;
using testing::program;
using testing::pump_for;
using testing::pump_until;
using text::decode_utf8_lossy;
using text::encode_utf8;

const bool g_hook = [] {
  const char* v = std::getenv("HARVEL_TYPING_HOOK");
  return v == nullptr || std::string(v) != "off";
}();

// How long a program may take to start (a browser on a cold, loaded
// machine), and how long a text may stay unchanged before it is taken as
// final when it is not the one expected.
constexpr double kStartSeconds = 90;
constexpr double kQuietSeconds = 4;
constexpr double kStep = 0.015;  // a typist's 15 ms a key

// Keycodes (evdev code + 8).
constexpr unsigned kEscape = 9;
constexpr unsigned kBackSpace = 22;
constexpr unsigned kReturn = 36;
constexpr unsigned kCtrlL = 37;
constexpr unsigned kShiftL = 50;
constexpr unsigned kSpace = 65;
constexpr unsigned kAltR = 108;

std::string quoted(const std::string& s) { return nlohmann::json(s).dump(); }

// ---- Keys ---------------------------------------------------------------

// A key of the keyboard and the modifiers held for it.
struct Stroke {
  unsigned keycode = 0;
  bool shift = false;
  bool hybrid = false;     // with the hybrid key (Right Alt) held
  bool any_shift = false;  // the space: Shift may stay held over it
};

// The key that types `c` on a US keyboard, or at its place in the Russian
// layout; '\n' is Enter, '\b' Backspace.
std::optional<Stroke> stroke_of(char32_t c) {
  struct Row {
    std::u32string_view plain;
    std::u32string_view shifted;
    unsigned first;
  };
  static constexpr Row kRows[] = {
      {U"1234567890-=", U"!@#$%^&*()_+", 10}, {U"qwertyuiop[]", U"QWERTYUIOP{}", 24},
      {U"asdfghjkl;'", U"ASDFGHJKL:\"", 38},  {U"zxcvbnm,./", U"ZXCVBNM<>?", 52},
      {U"йцукенгшщзхъ", U"ЙЦУКЕНГШЩЗХЪ", 24}, {U"фывапролджэ", U"ФЫВАПРОЛДЖЭ", 38},
      {U"ячсмитьбю", U"ЯЧСМИТЬБЮ", 52},
  };
  if (c == U' ') return Stroke{kSpace, false, false, true};
  if (c == U'\n') return Stroke{kReturn};
  if (c == U'\b') return Stroke{kBackSpace};
  for (const Row& r : kRows) {
    if (const auto i = r.plain.find(c); i != std::u32string_view::npos) return Stroke{unsigned(r.first + i)};
    if (const auto i = r.shifted.find(c); i != std::u32string_view::npos) return Stroke{unsigned(r.first + i), true};
  }
  return std::nullopt;
}

// The keys of `typed`: its characters, '~' holding the hybrid key for the
// next one. With the hook off the hybrid key is left out.
std::vector<Stroke> strokes_of(std::string_view typed) {
  std::vector<Stroke> out;
  bool hybrid = false;
  for (const char32_t c : decode_utf8_lossy(typed)) {
    if (c == U'~') {
      hybrid = g_hook;
      continue;
    }
    std::optional<Stroke> s = stroke_of(c);
    if (!s) {
      ADD_FAILURE() << "no key types " << encode_utf8(c);
      continue;
    }
    s->hybrid = hybrid;
    hybrid = false;
    out.push_back(*s);
  }
  return out;
}

// What the keys of `typed` give with no hook: the characters, Backspace
// taking the last one.
std::string plain_text(std::string_view typed) {
  std::u32string out;
  for (const char32_t c : decode_utf8_lossy(typed)) {
    if (c == U'~') continue;
    if (c == U'\b') {
      if (!out.empty()) out.pop_back();
    } else {
      out += c;
    }
  }
  return encode_utf8(out);
}

// ---- The screen ---------------------------------------------------------

// The test's own X connection: the keys it types (XTest), the windows of
// the window manager's list with their titles, the active window.
class Screen {
 public:
  Screen() {
    dpy_ = XOpenDisplay(nullptr);
    if (dpy_ == nullptr) return;
    root_ = DefaultRootWindow(dpy_);
    clients_atom_ = XInternAtom(dpy_, "_NET_CLIENT_LIST", False);
    active_atom_ = XInternAtom(dpy_, "_NET_ACTIVE_WINDOW", False);
    name_atom_ = XInternAtom(dpy_, "_NET_WM_NAME", False);
    utf8_atom_ = XInternAtom(dpy_, "UTF8_STRING", False);
    XSelectInput(dpy_, root_, PropertyChangeMask);
    watch_clients();
  }
  ~Screen() {
    if (dpy_ != nullptr) XCloseDisplay(dpy_);
  }
  Display* display() const { return dpy_; }

  void key(unsigned keycode, bool down) {
    XTestFakeKeyEvent(dpy_, keycode, down ? True : False, CurrentTime);
    XFlush(dpy_);
  }
  void click(int x, int y) {
    XTestFakeMotionEvent(dpy_, DefaultScreen(dpy_), x, y, CurrentTime);
    XTestFakeButtonEvent(dpy_, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy_, 1, False, CurrentTime);
    XFlush(dpy_);
  }

  // Handles the events that arrived: a changed title marks its window.
  void poll() {
    while (XPending(dpy_) > 0) {
      XEvent e;
      XNextEvent(dpy_, &e);
      if (e.type != PropertyNotify) continue;
      if (e.xproperty.window == root_ && e.xproperty.atom == clients_atom_) {
        watch_clients();
      } else if (e.xproperty.atom == name_atom_) {
        changed_titles_.insert(e.xproperty.window);
        ++changes_;
      }
    }
  }
  // Whether the window's title changed since the last call.
  bool take_title_change(Window w) { return changed_titles_.erase(w) > 0; }
  // Counts the changes of the window list and of every title.
  uint64_t changes() const { return changes_; }

  std::vector<Window> clients() { return window_list(root_, clients_atom_); }
  Window active() {
    const std::vector<Window> w = window_list(root_, active_atom_);
    return w.empty() ? 0 : w[0];
  }
  std::string title(Window w) { return property(w, name_atom_, utf8_atom_, 8); }
  // The window manager's client window holding `w` (itself or an ancestor).
  Window client_of(Window w) {
    const std::vector<Window> list = clients();
    while (w != 0 && w != root_) {
      if (std::find(list.begin(), list.end(), w) != list.end()) return w;
      Window root = 0;
      Window parent = 0;
      Window* children = nullptr;
      unsigned n = 0;
      if (!XQueryTree(dpy_, w, &root, &parent, &children, &n)) return 0;
      if (children != nullptr) XFree(children);
      w = parent;
    }
    return 0;
  }
  // Asks the window manager to activate the window, as a task bar does.
  void activate(Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = active_atom_;
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;  // from a pager: no focus-stealing rules
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(dpy_);
  }
  // The window's place and size on the screen.
  std::optional<std::array<int, 4>> geometry(Window w) {
    XWindowAttributes a{};
    int x = 0;
    int y = 0;
    Window child = 0;
    if (!XGetWindowAttributes(dpy_, w, &a) || !XTranslateCoordinates(dpy_, w, root_, 0, 0, &x, &y, &child)) {
      return std::nullopt;
    }
    return std::array<int, 4>{x, y, a.width, a.height};
  }
  // Sets the keyboard layouts and locks the group (0 the first).
  bool layouts(const std::string& list, unsigned group) {
    if (testing::run({"setxkbmap", "-layout", list}) != 0) return false;
    XkbLockGroup(dpy_, XkbUseCoreKbd, group);
    XkbStateRec state{};
    return XkbGetState(dpy_, XkbUseCoreKbd, &state) == Success && state.locked_group == group;
  }

 private:
  void watch_clients() {
    for (const Window w : clients()) XSelectInput(dpy_, w, PropertyChangeMask);
    ++changes_;
  }
  std::vector<Window> window_list(Window w, Atom name) {
    const std::string bytes = property(w, name, XA_WINDOW, 32);
    std::vector<Window> out(bytes.size() / sizeof(long));
    for (std::size_t i = 0; i < out.size(); ++i) {
      long id = 0;
      std::memcpy(&id, bytes.data() + i * sizeof(long), sizeof(long));
      out[i] = static_cast<Window>(id);
    }
    return out;
  }
  // A property of the window with items of `format` bits, as Xlib gives
  // them (32-bit items in longs); empty when it has none of that type.
  std::string property(Window w, Atom name, Atom type, int format) {
    Atom actual = 0;
    int actual_format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::string out;
    if (XGetWindowProperty(dpy_, w, name, 0, 65536, False, type, &actual, &actual_format, &count, &after, &data) !=
        Success) {
      return out;
    }
    if (data != nullptr && actual_format == format) {
      out.assign(reinterpret_cast<const char*>(data), count * (format == 32 ? sizeof(long) : 1));
    }
    if (data != nullptr) XFree(data);
    return out;
  }

  Display* dpy_ = nullptr;
  Window root_ = 0;
  Atom clients_atom_ = 0;
  Atom active_atom_ = 0;
  Atom name_atom_ = 0;
  Atom utf8_atom_ = 0;
  std::set<Window> changed_titles_;
  uint64_t changes_ = 1;
};

Screen& screen() {
  static Screen* s = new Screen;
  return *s;
}

// ---- The programs -------------------------------------------------------

fs::path lab_dir() {
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
pid_t start(std::vector<std::string> args, const std::vector<std::string>& env, int out) {
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
void end(pid_t pid) {
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

void tap(unsigned keycode) {
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

std::string page_url(const std::string& tag) { return "file://" HARVEL_REAL_PROGRAMS "/page.html?tag=" + tag; }

std::unique_ptr<Target> start_chromium() {
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
      std::vector<std::string>{"HOME=" + (lab_dir() / "home").string()}, true);
}

std::unique_ptr<Target> start_firefox() {
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

std::unique_ptr<Target> start_xterm() {
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
  static std::vector<std::unique_ptr<Target>> targets_;
};

std::vector<std::unique_ptr<Target>> Programs::targets_;

// ---- The typist ---------------------------------------------------------

// Key events on a clock: each key goes down one step after the previous
// one and is let go half a step after the next one went down; a modifier
// goes down before its first key and up after its last.
class Typing {
 public:
  struct Event {
    double at = 0;
    unsigned keycode = 0;
    bool down = false;
    int character = -1;  // the index of the character this press types
  };

  Typing& type(std::string_view typed) {
    for (const Stroke& s : strokes_of(typed)) {
      std::set<unsigned> want;
      if (s.shift || (s.any_shift && held_.contains(kShiftL))) want.insert(kShiftL);
      if (s.hybrid) want.insert(kAltR);
      if (want != held_) {
        let_go();
        for (const unsigned m : held_) {
          if (!want.contains(m)) add(m, false);
        }
        for (const unsigned m : want) {
          if (!held_.contains(m)) add(m, true);
        }
        held_ = want;
      }
      if (last_ == s.keycode) let_go();  // the same key again: up first
      events_.push_back({t_, s.keycode, true, characters_++});
      if (last_) events_.push_back({t_ + kStep / 2, *last_, false});
      last_ = s.keycode;
      t_ += kStep;
    }
    let_go();
    for (const unsigned m : held_) add(m, false);
    held_.clear();
    return *this;
  }
  // One key event, a step after the last one.
  Typing& key(unsigned keycode, bool down) {
    add(keycode, down);
    return *this;
  }
  // Something to do at this point of the typing.
  Typing& then(std::function<void()> action) {
    actions_.emplace_back(t_, std::move(action));
    return *this;
  }

  // Types it, reading the programs meanwhile; the time each character's
  // key went down.
  std::vector<Clock::time_point> play(Target& target) {
    std::stable_sort(events_.begin(), events_.end(), [](const Event& a, const Event& b) { return a.at < b.at; });
    std::vector<Clock::time_point> pressed(characters_);
    std::set<unsigned> down;
    const Clock::time_point start = Clock::now();
    auto wait_until = [&](double at) {
      const auto when = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(at));
      pump_until(
          [&] {
            target.poll();
            return Clock::now() >= when;
          },
          at + 60);
    };
    std::size_t next_action = 0;
    for (const Event& e : events_) {
      for (; next_action < actions_.size() && actions_[next_action].first <= e.at; ++next_action) {
        wait_until(actions_[next_action].first);
        actions_[next_action].second();
      }
      wait_until(e.at);
      screen().key(e.keycode, e.down);
      if (e.down)
        down.insert(e.keycode);
      else
        down.erase(e.keycode);
      if (e.character >= 0) pressed[e.character] = Clock::now();
    }
    for (; next_action < actions_.size(); ++next_action) actions_[next_action].second();
    for (const unsigned k : down) screen().key(k, false);
    return pressed;
  }

 private:
  void add(unsigned keycode, bool down) {
    let_go();
    events_.push_back({t_, keycode, down});
    t_ += kStep;
  }
  void let_go() {
    if (!last_) return;
    events_.push_back({t_, *last_, false});
    last_.reset();
    t_ += kStep;
  }

  std::vector<Event> events_;
  std::vector<std::pair<double, std::function<void()>>> actions_;
  std::set<unsigned> held_;
  std::optional<unsigned> last_;
  double t_ = 0;
  int characters_ = 0;
};

// Waits until the field holds `expected`, or until it stayed unchanged for
// a while (its final text, then, is another).
bool settles_on(Target& t, const std::string& expected, bool password = false) {
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

// ---- The cases ----------------------------------------------------------

struct Case {
  const char* typed;      // '~': the hybrid key held for the next key
  const char* converted;  // the text with the hook on
};

class RealProgramTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    target_ = Programs::find(GetParam());
    ASSERT_NE(target_, nullptr);
    ASSERT_TRUE(target_->ready()) << GetParam() << " did not start";
    focus();
  }
  Target& target() { return *target_; }

  // Its window active, its focus reported.
  void focus() {
    if (screen().active() == target_->window()) return;
    const int before = target_->focus_count();
    screen().activate(target_->window());
    ASSERT_TRUE(pump_until(
        [&] {
          target_->poll();
          return target_->focus_count() > before;
        },
        10))
        << GetParam() << " did not get the focus";
  }
  static void use(Mode mode, std::vector<AppRule> rules = {}, bool checker = false) {
    program().change([&](Settings& s) {
      s.mode = mode;
      s.enabled = g_hook;
      s.checker = g_hook && checker;
      s.apps = rules;
    });
    // English without the checker converts nothing: no hook runs.
    const bool hook = g_hook && (mode != kModeEnglish || checker);
    ASSERT_EQ(program().status(), hook ? HookStatus::On : HookStatus::Off);
  }
  // Types each case into the emptied field and checks its final text.
  void expect_cases(const char* mode_name, std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
      target_->clear();
      Typing().type(c.typed).play(*target_);
      const std::string expected = g_hook ? c.converted : plain_text(c.typed);
      EXPECT_TRUE(settles_on(*target_, expected))
          << GetParam() << ", " << mode_name << ": typed " << quoted(c.typed) << " gave " << quoted(target_->text())
          << ", expected " << quoted(expected);
    }
  }

  Target* target_ = nullptr;
};

std::string program_name(const ::testing::TestParamInfo<const char*>& info) { return info.param; }

TEST_P(RealProgramTest, ZeroModeConvertsDigraphsAndRestoresEnglishWords) {
  use(kModeZero);
  expect_cases("zero", {
                           {"shahar choy o'zbek g'alaba ", "şahar çoy özbek ğalaba "},
                           {"SHAHAR CHOY", "ŞAHAR ÇOY"},
                           {"shop fish\n", "shop fish\n"},
                           {"as\bh ash\bh", "ah ah"},
                       });
}

TEST_P(RealProgramTest, HybridModeTypesTheNewLettersWithRightAlt) {
  use(kModeHybrid);
  expect_cases("hybrid", {
                             {"~sahar ~coy ~ozbek ~galaba", "şahar çoy özbek ğalaba"},
                             {"~SAHAR ~COY", "ŞAHAR ÇOY"},
                         });
}

TEST_P(RealProgramTest, FastModeTypesTheNewLettersOnItsKeys) {
  use(kModeFast);
  expect_cases("fast", {
                           {"wahar coy [zbek ]alaba", "şahar çoy özbek ğalaba"},
                           {"WAHAR COY", "ŞAHAR ÇOY"},
                       });
}

INSTANTIATE_TEST_SUITE_P(, RealProgramTest, ::testing::Values("chromium", "firefox", "xterm", "tk", "qt", "gtk"),
                         program_name);

// A password field takes the letters as typed, also when typing begins as
// soon as the focus is in it.
class PasswordFieldTest : public RealProgramTest {};

TEST_P(PasswordFieldTest, TakesTheLettersAsTyped) {
  use(kModeZero);
  target().clear();
  ASSERT_TRUE(target().focus_password()) << GetParam() << ": the password field did not get the focus";
  Typing().type("shahar choy").play(target());
  EXPECT_TRUE(settles_on(target(), "shahar choy", true))
      << GetParam() << ": the password field holds " << quoted(target().password());
  EXPECT_EQ(target().text(), "");
}

INSTANTIATE_TEST_SUITE_P(, PasswordFieldTest, ::testing::Values("chromium", "firefox", "gtk"), program_name);

// The checker's fix, conversion off: Ctrl+Shift+Space right after the word,
// Ctrl and Shift let go in either order.
class CheckerFixTest : public RealProgramTest {};

TEST_P(CheckerFixTest, CtrlShiftSpaceFixesTheWord) {
  use(kModeEnglish, {}, true);
  // One suggestion in 2 seconds: the last case's may be that recent.
  static Clock::time_point last = Clock::time_point{};
  for (const bool ctrl_first : {true, false}) {
    pump_until([] { return Clock::now() - last > std::chrono::milliseconds(2100); }, 3);
    target().clear();
    Typing()
        .type("salom shahar ")
        .key(kCtrlL, true)
        .key(kShiftL, true)
        .key(kSpace, true)
        .key(kSpace, false)
        .key(ctrl_first ? kCtrlL : kShiftL, false)
        .key(ctrl_first ? kShiftL : kCtrlL, false)
        .play(target());
    last = Clock::now();
    const std::string expected = g_hook ? "salom şahar " : "salom shahar ";
    EXPECT_TRUE(settles_on(target(), expected))
        << GetParam() << ", " << (ctrl_first ? "Ctrl" : "Shift") << " let go first: " << quoted(target().text())
        << ", expected " << quoted(expected);
  }
}

INSTANTIATE_TEST_SUITE_P(, CheckerFixTest, ::testing::Values("chromium", "gtk"), program_name);

// A rule "off" for the Tk program, named as the foreground query names its
// executable.
class ProgramRuleTest : public RealProgramTest {};

TEST_P(ProgramRuleTest, ARuleOffLeavesTheProgramsTypingAlone) {
  std::error_code ec;
  const std::string exe = fs::read_symlink("/proc/" + std::to_string(target().pid()) + "/exe", ec).filename().string();
  ASSERT_FALSE(exe.empty());
  use(kModeZero, {AppRule{"Tk", exe, kModeOff}});
  target().clear();
  Typing().type("shahar choy").play(target());
  EXPECT_TRUE(settles_on(target(), "shahar choy"))
      << GetParam() << ", rule off for " << exe << ": " << quoted(target().text());
}

INSTANTIATE_TEST_SUITE_P(, ProgramRuleTest, ::testing::Values("tk"), program_name);

// With the layouts "us,ru" and the second group locked, Russian arrives
// unchanged in every mode.
class RussianTest : public RealProgramTest {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(screen().layouts("us,ru", 1)) << "setxkbmap -layout us,ru"; }
  static void TearDownTestSuite() { EXPECT_TRUE(screen().layouts("us", 0)); }
};

TEST_P(RussianTest, TheSecondGroupArrivesUnchanged) {
  const std::pair<Mode, const char*> modes[] = {
      {kModeEnglish, "english"}, {kModeZero, "zero"}, {kModeHybrid, "hybrid"}, {kModeFast, "fast"}};
  for (const auto& [mode, mode_name] : modes) {
    use(mode);
    expect_cases(mode_name, {{"москва сыр сразу", "москва сыр сразу"}});
  }
}

INSTANTIATE_TEST_SUITE_P(, RussianTest, ::testing::Values("chromium", "firefox", "xterm", "tk", "qt", "gtk"),
                         program_name);

// The program itself (its own process, so that it can be stopped) in zero
// mode, stopped for 2 s while typing goes on: no key waits more than 0.5 s
// for its program, and nothing typed is lost or doubled.
class StoppedHookTest : public RealProgramTest {
 protected:
  static void SetUpTestSuite() {
    // This process's hook steps aside for the program's.
    program().change([](Settings& s) {
      s.enabled = false;
      s.checker = false;
    });
    ASSERT_EQ(program().status(), HookStatus::Off);
    const fs::path data = lab_dir() / "harvel";
    fs::create_directories(data / "uz.harvel.desktop");
    std::ofstream(data / "uz.harvel.desktop" / "settings.json")
        << R"({"mode": "zero", "enabled": )" << (g_hook ? "true" : "false")
        << R"(, "onboarded": true, "offers": false})";
    log_ = lab_dir() / "harvel.log";
    const int log = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(log, 0);
    pid_ = start({HARVEL_BINARY, "--hidden"}, {"HARVEL_HOST_TRACE=1", "XDG_DATA_HOME=" + data.string()}, log);
    close(log);
    ASSERT_GT(pid_, 0);
    // Started: with conversion on once its hook is in, else once its tray is.
    const std::string started = g_hook ? "keyboard hook: installed" : "tray created";
    ASSERT_TRUE(pump_until(
        [&] {
          std::ifstream in(log_);
          const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
          return text.find(started) != std::string::npos;
        },
        kStartSeconds))
        << "the program did not start (" << log_ << ")";
  }
  static void TearDownTestSuite() {
    end(pid_);
    pid_ = 0;
  }

  static pid_t pid_;
  static fs::path log_;
};

pid_t StoppedHookTest::pid_ = 0;
fs::path StoppedHookTest::log_;

TEST_P(StoppedHookTest, NoKeyWaitsLongAndNoneIsLostOrDoubled) {
  ASSERT_GT(pid_, 0);
  target().clear();
  // Typing goes on for the whole stop and after it: 2.6 s of keys.
  std::string typed;
  while (typed.size() < 170) typed += "salom dunyo ";
  struct Resume {
    ~Resume() { kill(StoppedHookTest::pid_, SIGCONT); }
  } resume;
  Typing typing;
  typing.type(typed.substr(0, 10))
      .then([] { kill(pid_, SIGSTOP); })
      .type(typed.substr(10, 134))
      .then([] { kill(pid_, SIGCONT); })
      .type(typed.substr(144));
  const std::vector<Clock::time_point> pressed = typing.play(target());
  EXPECT_TRUE(settles_on(target(), typed)) << GetParam() << ": " << quoted(target().text());
  // Each key's wait: from its press to the first text that holds it.
  double longest = 0;
  std::size_t at = 0;
  for (std::size_t i = 0; i < pressed.size(); ++i) {
    for (const auto& [when, text] : target().history()) {
      if (decode_utf8_lossy(text).size() <= i) continue;
      const double wait = std::chrono::duration<double>(when - pressed[i]).count();
      if (wait > longest) {
        longest = wait;
        at = i;
      }
      break;
    }
  }
  std::printf("%s: the longest wait for a key was %.0f ms (key %zu of %zu)\n", GetParam(), longest * 1000, at + 1,
              pressed.size());
  EXPECT_LT(longest, 0.5) << GetParam() << ": key " << at + 1 << " waited " << longest * 1000 << " ms";
}

INSTANTIATE_TEST_SUITE_P(, StoppedHookTest, ::testing::Values("chromium", "firefox", "xterm", "tk", "qt", "gtk"),
                         program_name);

}  // namespace
}  // namespace harvel::linux_host

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new harvel::linux_host::Programs);
  return RUN_ALL_TESTS();
}
