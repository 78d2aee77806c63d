// The shell services on the Linux host: detached processes with
// posix_spawn, start with the desktop through an XDG autostart entry, the
// thread's nice value as background priority, and xdg-open for links.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>
#include <thread>

#include "platform/linux/linux_system.h"

extern char** environ;

namespace harvel::linux_host {

namespace {

std::optional<std::string> env(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return std::nullopt;
  return std::string(v);
}

// An Exec argument needs quotes when it holds a reserved character.
bool needs_quotes(std::string_view arg) {
  return arg.empty() || arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`%") != std::string_view::npos;
}

// Splits a command text made by autostart_command_text: the program between
// the first and the last double quote (a Linux path may itself hold quotes),
// then the arguments separated by blanks.
os::CommandLine parse_command_text(std::string_view text) {
  os::CommandLine command;
  std::string_view rest;
  const std::size_t last = text.rfind('"');
  if (text.starts_with('"') && last > 0) {
    command.program = std::string(text.substr(1, last - 1));
    rest = text.substr(last + 1);
  } else {
    const std::size_t end = text.find(' ');
    command.program = std::string(text.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : text.substr(end);
  }
  while (!rest.empty()) {
    const std::size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    const std::size_t end = rest.find(' ');
    command.args.emplace_back(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  }
  return command;
}

}  // namespace

std::optional<std::filesystem::path> autostart_file_path() {
  std::filesystem::path config;
  if (auto xdg = env("XDG_CONFIG_HOME"); xdg && xdg->front() == '/') {
    config = *xdg;
  } else if (auto home = env("HOME")) {
    config = std::filesystem::path(*home) / ".config";
  } else {
    return std::nullopt;
  }
  return config / "autostart" / "harvel.desktop";
}

std::string desktop_exec_quoted(std::string_view arg) {
  std::string out = "\"";
  for (char c : arg) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out.push_back('\\');
    if (c == '%') out.push_back('%');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string desktop_string_escaped(std::string_view value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string autostart_file_text(std::string_view command_text) {
  const os::CommandLine command = parse_command_text(command_text);
  std::string exec = desktop_exec_quoted(command.program);
  for (const std::string& arg : command.args) {
    exec.push_back(' ');
    exec.append(needs_quotes(arg) ? desktop_exec_quoted(arg) : arg);
  }
  std::string text = "[Desktop Entry]\nType=Application\nName=Harvel\nExec=";
  text.append(desktop_string_escaped(exec));
  text.append("\nTryExec=");
  text.append(desktop_string_escaped(command.program));
  text.append("\nIcon=harvel\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
  return text;
}

std::string live_executable_path(std::string link_text) {
  constexpr std::string_view kDeleted = " (deleted)";
  std::error_code ec;
  if (link_text.ends_with(kDeleted) && !std::filesystem::exists(link_text, ec)) {
    link_text.resize(link_text.size() - kDeleted.size());
  }
  return link_text;
}

namespace {

// posix_spawn of `path` (looked up on PATH unless `exact`) with `argv`, in a
// session of its own; `keep_fd` >= 0 is handed on as descriptor 3.
void spawn_detached(const char* path, bool exact, std::vector<std::string> args, int keep_fd = -1) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawnattr_t attr;
  posix_spawn_file_actions_t actions;
  if (posix_spawnattr_init(&attr) != 0) return;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    posix_spawnattr_destroy(&attr);
    return;
  }
  // A session of its own, no signal blocked or ignored that this process
  // blocks or ignores, and only the standard handles: a descriptor handed on
  // (the single-instance socket, say) would outlive this process in the child.
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  if (keep_fd >= 0) posix_spawn_file_actions_adddup2(&actions, keep_fd, 3);
  posix_spawn_file_actions_addclosefrom_np(&actions, keep_fd >= 0 ? 4 : 3);

  pid_t pid = 0;
  const int rc = exact ? posix_spawn(&pid, path, &actions, &attr, argv.data(), environ)
                       : posix_spawnp(&pid, path, &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return;
  // Never waited for by the caller; this thread only collects its exit
  // status so that it leaves no zombie behind.
  try {
    std::thread([pid] {
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
  }
}

class LinuxHeldProgram final : public os::HeldProgram {
 public:
  LinuxHeldProgram(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~LinuxHeldProgram() override { ::close(fd_); }
  LinuxHeldProgram(const LinuxHeldProgram&) = delete;
  LinuxHeldProgram& operator=(const LinuxHeldProgram&) = delete;
  std::optional<std::size_t> read(std::span<uint8_t> buffer) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return std::nullopt;
      return static_cast<std::size_t>(n);
    }
  }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

}  // namespace

void LinuxShell::spawn_detached_process(const os::CommandLine& command) {
  std::vector<std::string> args;
  args.push_back(command.program);
  args.insert(args.end(), command.args.begin(), command.args.end());
  spawn_detached(command.program.c_str(), false, std::move(args));
}

std::unique_ptr<os::HeldProgram> LinuxShell::hold_program(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<LinuxHeldProgram>(fd, path);
}

void LinuxShell::spawn_held_program(std::unique_ptr<os::HeldProgram> program, const std::vector<std::string>& args) {
  const auto* held = dynamic_cast<const LinuxHeldProgram*>(program.get());
  if (!held) return;
  std::vector<std::string> argv;
  argv.push_back(held->path());
  argv.insert(argv.end(), args.begin(), args.end());
  // The child runs the open file itself (descriptor 3 there), never what its
  // name points to by now.
  spawn_detached("/proc/self/fd/3", true, std::move(argv), held->fd());
}

void LinuxShell::write_autostart_entry(std::string_view command_text) {
  const auto path = autostart_file_path();
  if (!path) return;
  std::error_code ec;
  std::filesystem::create_directories(path->parent_path(), ec);
  if (ec) return;
  // Written beside and renamed over, so a reader never sees half a file.
  std::filesystem::path temp = *path;
  temp += ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return;
    out << autostart_file_text(command_text);
    out.flush();
    if (!out) {
      out.close();
      std::filesystem::remove(temp, ec);
      return;
    }
  }
  std::filesystem::rename(temp, *path, ec);
  if (ec) std::filesystem::remove(temp, ec);
}

bool LinuxShell::autostart_entry_is(std::string_view command_text) {
  const auto path = autostart_file_path();
  if (!path) return false;
  std::ifstream in(*path, std::ios::binary);
  if (!in) return false;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return text == autostart_file_text(command_text);
}

void LinuxShell::remove_autostart_entry() {
  if (const auto path = autostart_file_path()) {
    std::error_code ec;
    std::filesystem::remove(*path, ec);
  }
}

void LinuxShell::enter_background_priority() {
  // On Linux the nice value of a thread id applies to that thread alone.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);
}

void LinuxShell::name_current_thread(std::string_view name) {
  // The kernel keeps 15 bytes and a NUL; a longer name is refused whole.
  const std::string cut(name.substr(0, 15));
  pthread_setname_np(pthread_self(), cut.c_str());
}

std::optional<std::string> LinuxShell::executable_path() {
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || path.empty()) return std::nullopt;
  return live_executable_path(path.string());
}

os::CommandLine LinuxShell::browser_command(std::string_view url) { return {"xdg-open", {std::string(url)}}; }

}  // namespace harvel::linux_host
