// The Linux host's data folders and file writes, and its foreground
// queries: the window manager's _NET_ACTIVE_WINDOW over X11, and the
// focused control from the accessibility tree.
#include "platform/linux/linux_host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "core/text.h"
#include "platform/linux/atspi_focus.h"
#include "platform/linux/linux_system.h"
#include "platform/linux/x11_keyboard.h"

namespace harvel::linux_host {

namespace {

// The focused control of a window (GetGUIThreadInfo's hwndFocus) is named by
// the window's id with this bit set. X11 knows no controls inside a window:
// its style and class come from the accessibility tree's focused object of
// the window's program, a password field showing as an ES_PASSWORD edit
// control, as on Windows.
constexpr os::WindowHandle kFocusedControl = os::WindowHandle{1} << 32;

uint32_t window_id(os::WindowHandle handle) {
  const os::WindowHandle window = handle & ~kFocusedControl;
  const auto id = static_cast<uint32_t>(window);
  return id == window ? id : 0;
}

// What the keyboard procedure and the watchers ask about the foreground
// window, kept while nothing says the focus or the active window changed
// (focus_generation); asked anew otherwise.
struct WindowFacts {
  bool exists = false;
  uint32_t pid = 0;  // _NET_WM_PID, else the client's process; 0 when unknown
};

// Set while the foreground window comes from the root's _NET_ACTIVE_WINDOW,
// kept by a window manager: its changes are then seen as events.
std::atomic<bool> g_manager_keeps_active{false};

// The generation the cache below is valid for: while the running hook counts
// the changes of the focus and the active window, its count; else, while a
// window manager keeps _NET_ACTIVE_WINDOW, the count of that property's
// changes (marked apart from the hook's); else 0, and every query asks the
// server.
uint64_t focus_generation() {
  // Read at every call, so the connection's events never pile up.
  const uint64_t changes = x11::active_window_changes();
  if (const uint64_t hook = watched_focus_generation()) return hook;
  if (changes == 0 || !g_manager_keeps_active.load()) return 0;
  return changes | (uint64_t{1} << 63);
}

struct FocusCache {
  std::mutex mutex;
  uint64_t generation = 0;
  std::optional<os::WindowHandle> foreground;
  uint32_t window = 0;
  WindowFacts facts;
  // WM_CLASS of class_window (its raw Latin-1 class), for the watchers that
  // ask it several times a second.
  uint32_t class_window = 0;
  std::optional<std::string> window_class;
  // The program file of image_pid, the foreground window's process, which
  // the foreground watcher asks for every 700 ms; a window's process stays
  // while the focus does.
  uint32_t image_pid = 0;
  std::optional<std::u16string> image_path;
};

FocusCache& focus_cache() {
  static FocusCache* c = new FocusCache;  // used by threads that outlive exit handlers
  return *c;
}

// The cache for `generation`, emptied when it belongs to an older one.
FocusCache& cache_for(uint64_t generation) {
  FocusCache& c = focus_cache();
  if (c.generation != generation) {
    c.generation = generation;
    c.foreground.reset();
    c.window = 0;
    c.class_window = 0;
    c.window_class.reset();
    c.image_pid = 0;
    c.image_path.reset();
  }
  return c;
}

WindowFacts read_window_facts(uint32_t id) {
  WindowFacts f;
  const auto p = x11::property(id, x11::atom("_NET_WM_PID"), 6 /* CARDINAL */);
  if (!p) return f;  // no such window
  f.exists = true;
  const std::vector<uint32_t> values = p->cards();
  // Programs that name no process (Tk, some older toolkits): the server
  // knows its local clients' processes.
  f.pid = !values.empty() ? values[0] : x11::client_pid(id);
  return f;
}

// What `read` answers for window `id`, kept in the cache's `window` and
// `value` fields while the focus generation says the focus did not change.
template <typename T>
T cached_while_focused(uint32_t id, uint32_t FocusCache::*window, T FocusCache::*value, T (*read)(uint32_t)) {
  const uint64_t generation = focus_generation();
  if (generation != 0) {
    FocusCache& c = focus_cache();
    std::lock_guard lock(c.mutex);
    if (c.generation == generation && c.*window == id && id != 0) return c.*value;
  }
  T answer = read(id);
  if (generation != 0) {
    FocusCache& c = focus_cache();
    std::lock_guard lock(c.mutex);
    cache_for(generation);
    c.*window = id;
    c.*value = answer;
  }
  return answer;
}

WindowFacts window_facts(uint32_t id) {
  return cached_while_focused(id, &FocusCache::window, &FocusCache::facts, read_window_facts);
}

// The class of WM_CLASS ("instance\0class\0"), or the instance when there
// is no class; nullopt without the property.
std::optional<std::string> read_window_class(uint32_t id) {
  const auto p = x11::property(id, x11::atom("WM_CLASS"), 31 /* STRING */);
  if (!p || p->type == 0) return std::nullopt;
  const std::string all(p->bytes.begin(), p->bytes.end());
  const std::size_t split = all.find('\0');
  std::string name = split == std::string::npos ? all : all.substr(split + 1);
  if (const std::size_t end = name.find('\0'); end != std::string::npos) name.resize(end);
  if (name.empty() && split != std::string::npos) name = all.substr(0, split);
  return name;
}

std::optional<std::string> window_class(uint32_t id) {
  return cached_while_focused(id, &FocusCache::class_window, &FocusCache::window_class, read_window_class);
}

os::WindowHandle read_foreground_window() {
  const uint32_t root = x11::root_window();
  if (root == 0) return 0;
  const auto active = x11::property(root, x11::atom("_NET_ACTIVE_WINDOW"), 33 /* WINDOW */);
  g_manager_keeps_active = active && active->type != 0;
  if (active && active->type != 0) {
    const std::vector<uint32_t> ids = active->cards();
    return ids.empty() ? 0 : ids[0];
  }
  // No window manager keeps _NET_ACTIVE_WINDOW: the top-level window that
  // holds the input focus.
  return x11::top_level_of(x11::input_focus());
}

std::optional<std::u16string> read_process_image_path(uint32_t pid) {
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  std::string path(4096, '\0');
  const ssize_t n = readlink(link.c_str(), path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return std::nullopt;
  path.resize(static_cast<std::size_t>(n));
  // A program file replaced while it runs is shown with this suffix.
  constexpr std::string_view kDeleted = " (deleted)";
  struct stat st {};
  if (path.ends_with(kDeleted) && lstat(path.c_str(), &st) != 0) path.resize(path.size() - kDeleted.size());
  return text::utf8_to_utf16(path);
}

std::optional<AccessibleFocus> focused_control_of(os::WindowHandle handle) {
  if ((handle & kFocusedControl) == 0) return std::nullopt;
  const uint32_t pid = window_facts(window_id(handle)).pid;
  if (pid == 0) return std::nullopt;
  return accessible_focus_of(pid);
}

std::optional<std::string> env(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return std::nullopt;
  return std::string(v);
}

}  // namespace

std::optional<std::string> LinuxFolders::roaming_app_data() {
  if (auto data = env("XDG_DATA_HOME")) return data;
  if (auto home = env("HOME")) return *home + "/.local/share";
  return std::nullopt;
}

std::optional<std::string> LinuxFolders::temp_dir() { return env("TMPDIR").value_or("/tmp"); }

bool LinuxFolders::claim_private_folder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  if (errno != EEXIST) return false;
  // Another user may have made it first, in a shared folder such as /tmp.
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
      (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return false;
  }
  // Ours: made readable to this user only, should an older copy have left
  // it open to reading.
  if ((st.st_mode & 077) != 0) (void)::chmod(path.c_str(), 0700);
  return true;
}

std::optional<std::string> LinuxFolders::make_private_folder(const std::string& parent, std::string_view prefix) {
  std::string name = parent;
  if (name.empty() || name.back() != '/') name += '/';
  name.append(prefix).append("XXXXXX");
  if (::mkdtemp(name.data()) == nullptr) return std::nullopt;  // mode 0700
  return name;
}

namespace {

bool write_all_to(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// A rename or a new name lives in the folder's entries: flush the folder too.
// A failed flush is not a failed change.
void flush_folder_of(const std::filesystem::path& path) {
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    (void)::fsync(fd);
    ::close(fd);
  }
}

// A new file `to` with the bytes of `from`, flushed; a part-made copy goes.
bool copy_to_new_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (in < 0) return false;
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    if (!write_all_to(out, std::string_view(buffer, static_cast<std::size_t>(n)))) {
      ok = false;
      break;
    }
  }
  if (ok) ok = ::fsync(out) == 0;
  if (::close(out) != 0) ok = false;
  ::close(in);
  if (!ok) ::unlink(to.c_str());
  return ok;
}

}  // namespace

bool LinuxFiles::create_flushed(const std::filesystem::path& path, std::string_view bytes) {
  // O_EXCL with O_CREAT fails on any entry already there, a link (even a
  // dangling one) included, so nothing planted is written through.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = write_all_to(fd, bytes);
  if (ok) ok = ::fsync(fd) == 0;
  // A failed close can report a lost write (on network file systems).
  if (::close(fd) != 0) ok = false;
  return ok;
}

bool LinuxFiles::rename_flushed(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return false;
  flush_folder_of(to);
  return true;
}

bool LinuxFiles::link_flushed(const std::filesystem::path& from, const std::filesystem::path& to) {
  bool ok = ::link(from.c_str(), to.c_str()) == 0;
  if (!ok && errno != EEXIST) ok = copy_to_new_file(from, to);  // a file system without hard links
  if (ok) flush_folder_of(to);
  return ok;
}

// X11 has no threads of windows: the "thread" of a window is its own window
// id (X ids use 29 bits), so gui_thread_info can name the window again, and
// no window gives 0 as on Windows.

os::WindowHandle LinuxForeground::foreground_window() {
  const uint64_t generation = focus_generation();
  if (generation != 0) {
    FocusCache& c = focus_cache();
    std::lock_guard lock(c.mutex);
    if (c.generation == generation && c.foreground) return *c.foreground;
  }
  const os::WindowHandle window = read_foreground_window();
  if (generation != 0) {
    FocusCache& c = focus_cache();
    std::lock_guard lock(c.mutex);
    cache_for(generation).foreground = window;
  }
  return window;
}

uint32_t LinuxForeground::window_thread_process_id(os::WindowHandle window, uint32_t& pid) {
  pid = 0;
  const uint32_t id = window_id(window);
  if (id == 0) return 0;
  const WindowFacts f = window_facts(id);
  if (!f.exists) return 0;
  pid = f.pid;
  return id;
}

std::optional<std::u16string> LinuxForeground::process_image_path(uint32_t pid) {
  if (pid == 0) return std::nullopt;
  return cached_while_focused(pid, &FocusCache::image_pid, &FocusCache::image_path, read_process_image_path);
}

std::optional<os::GuiThreadInfo> LinuxForeground::gui_thread_info(uint32_t thread_id) {
  if (thread_id == 0 || !window_facts(thread_id).exists) return std::nullopt;
  const os::WindowHandle window = thread_id;
  return os::GuiThreadInfo{window, window | kFocusedControl, 0};
}

int32_t LinuxForeground::window_style(os::WindowHandle window) {
  const auto focus = focused_control_of(window);
  return focus && focus->password ? os::ES_PASSWORD : 0;
}

std::u16string LinuxForeground::class_name(os::WindowHandle window, std::size_t max_units) {
  if (max_units == 0) return {};
  if ((window & kFocusedControl) != 0) {
    const auto focus = focused_control_of(window);
    if (!focus || !focus->editable) return {};
    return std::u16string(u"Edit").substr(0, max_units - 1);
  }
  const uint32_t id = window_id(window);
  if (id == 0) return {};
  const std::optional<std::string> name = window_class(id);
  if (!name) return {};
  // STRING is Latin-1: each byte is its code point (as unsigned: a plain
  // char would turn 0xE9 into U+FFE9).
  std::u16string units;
  for (const char c : *name) units.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  if (units.size() > max_units - 1) units.resize(max_units - 1);  // as GetClassNameW truncates
  return units;
}

std::optional<bool> LinuxForeground::process_elevated(uint32_t pid) {
  // A process of the same user whose program can be read is not elevated;
  // any other (another user's, root's, or one that is gone) cannot be told.
  if (pid == 0) return std::nullopt;
  struct stat st {};
  const std::string dir = "/proc/" + std::to_string(pid);
  if (stat(dir.c_str(), &st) != 0 || st.st_uid != geteuid()) return std::nullopt;
  char target[16];
  if (readlink((dir + "/exe").c_str(), target, sizeof(target)) < 0) return std::nullopt;
  return false;
}

// Nothing here answers "elevated", so this copy never is either.
std::optional<bool> LinuxForeground::own_process_elevated() { return false; }

}  // namespace harvel::linux_host
