// Single instance in the user's runtime folder ($XDG_RUNTIME_DIR, else
// /run/user/<uid>), which only this user may write: the first copy holds a
// lock file there for as long as it runs and listens on a Unix socket beside
// it; a later start that finds the lock held connects and hands over its
// working folder and arguments. Names carry the identifier and the display,
// so copies on other displays (parallel test sessions) do not meet. Without
// a runtime folder of the user's, an abstract-namespace socket named also
// after the user id is used; abstract names have no owner or permissions, so
// both sides then check the other's user id (see acquire_abstract).
#include <fcntl.h>
#include <glib-unix.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/linux/linux_host.h"

namespace harvel::linux_host {

namespace {

constexpr std::size_t kMaxMessage = 64 * 1024;

socklen_t make_address(const std::string& name, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  const std::size_t n = std::min(name.size(), sizeof addr.sun_path - 1);
  std::memcpy(addr.sun_path + 1, name.data(), n);  // sun_path[0] = 0: abstract
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

bool write_all(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    // A first copy that hangs up early (an over-long message) must not end
    // this process with SIGPIPE.
    const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The user id of the process at the other end of a connected socket.
std::optional<uid_t> peer_uid(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return std::nullopt;
  return cred.uid;
}

std::string current_folder() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) != nullptr ? std::string(buf) : std::string();
}

// A folder that is this user's alone: a real folder, owned by the user,
// that no one else may write to.
bool private_folder(const std::string& path) {
  struct stat st {};
  return !path.empty() && path.front() == '/' && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The message of a second start: its working folder, then its arguments,
// each ended by a NUL.
std::string second_start_message(const std::vector<std::string>& args) {
  std::string message = current_folder();
  message.push_back('\0');
  for (const std::string& a : args) {
    message += a;
    message.push_back('\0');
  }
  return message;
}

socklen_t make_path_address(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.data(), path.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
}

}  // namespace

std::optional<std::string> LinuxSingleInstance::runtime_folder() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg != nullptr && private_folder(xdg)) return std::string(xdg);
  const std::string standard = "/run/user/" + std::to_string(::geteuid());
  if (private_folder(standard)) return standard;
  return std::nullopt;
}

std::string LinuxSingleInstance::display_key(const char* display) {
  std::string raw = display != nullptr ? display : "";
  char* host = nullptr;
  int number = 0;
  int screen = 0;
  // The screen number does not make another display: ":0" and ":0.0" are
  // one server, and so is "unix:0" (the local socket, as Xlib reads it).
  if (!raw.empty() && xcb_parse_display(raw.c_str(), &host, &number, &screen) != 0) {
    std::string h = host != nullptr ? host : "";
    std::free(host);
    for (char& c : h) c = g_ascii_tolower(c);
    if (h == "unix") h.clear();
    raw = h + ":" + std::to_string(number);
  }
  std::string key;
  for (char c : raw) key += (g_ascii_isalnum(c) || c == '.' || c == ':' || c == '-') ? c : '_';
  return key;
}

std::string LinuxSingleInstance::socket_name(std::string_view identifier) {
  return std::string(identifier) + ".uid" + std::to_string(getuid()) + ".display" +
         display_key(std::getenv("DISPLAY"));
}

LinuxSingleInstance::~LinuxSingleInstance() {
  if (watch_id_ != 0) g_source_remove(watch_id_);
  if (listen_fd_ >= 0) ::close(listen_fd_);
  // The socket's name goes while the lock still keeps a new copy away.
  if (!socket_path_.empty()) ::unlink(socket_path_.c_str());
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

void LinuxSingleInstance::listen_on(int fd, os::SecondStartHandler on_second_start) {
  listen_fd_ = fd;
  handler_ = std::move(on_second_start);
  watch_id_ = g_unix_fd_add(
      fd, G_IO_IN,
      [](gint, GIOCondition, gpointer self) {
        static_cast<LinuxSingleInstance*>(self)->accept_one();
        return gboolean{G_SOURCE_CONTINUE};
      },
      this);
}

bool LinuxSingleInstance::acquire(std::string_view identifier, std::vector<std::string> args,
                                  os::SecondStartHandler on_second_start) {
  const std::string message = second_start_message(args);
  const std::optional<std::string> folder = runtime_folder();
  if (!folder) return acquire_abstract(identifier, message, std::move(on_second_start));
  const std::string base = *folder + "/" + std::string(identifier) + ".display" + display_key(std::getenv("DISPLAY"));
  const std::string socket_path = base + ".socket";
  sockaddr_un addr;
  if (socket_path.size() >= sizeof addr.sun_path) return acquire_abstract(identifier, message, std::move(on_second_start));
  const socklen_t len = make_path_address(socket_path, addr);

  const int lock = ::open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (lock < 0) return acquire_abstract(identifier, message, std::move(on_second_start));
  if (::flock(lock, LOCK_EX | LOCK_NB) == 0) {
    // The first copy. A socket left by a copy that was killed goes first.
    ::unlink(socket_path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), len) == 0 && ::listen(fd, 16) == 0) {
      lock_fd_ = lock;
      socket_path_ = socket_path;
      listen_on(fd, std::move(on_second_start));
      return true;
    }
    if (fd >= 0) ::close(fd);
    // No socket: this copy still runs alone, holding the lock, so no
    // second copy starts beside it.
    lock_fd_ = lock;
    return true;
  }
  ::close(lock);
  // A copy of this user runs: it may still be between its lock and its
  // listen, so try for a while. It is told or not, this start ends.
  for (int attempt = 0; attempt < 200; ++attempt) {
    const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (client < 0) break;
    if (::connect(client, reinterpret_cast<const sockaddr*>(&addr), len) == 0) {
      if (peer_uid(client) == getuid()) write_all(client, message);
      ::close(client);
      break;
    }
    ::close(client);
    g_usleep(25 * 1000);
  }
  return false;
}

bool LinuxSingleInstance::acquire_abstract(std::string_view identifier, const std::string& message,
                                           os::SecondStartHandler on_second_start) {
  sockaddr_un addr;
  const socklen_t len = make_address(socket_name(identifier), addr);
  for (int attempt = 0; attempt < 40; ++attempt) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;  // no sockets: run as the only copy
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), len) == 0 && ::listen(fd, 16) == 0) {
      listen_on(fd, std::move(on_second_start));
      return true;
    }
    ::close(fd);
    const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (client < 0) return true;
    if (::connect(client, reinterpret_cast<const sockaddr*>(&addr), len) == 0) {
      const std::optional<uid_t> owner = peer_uid(client);
      if (owner != getuid()) {
        // Another user took the name first: that is no copy of ours. It gets
        // nothing of this start (its folder, its arguments), and this copy
        // runs rather than let another user stop it; it cannot listen on the
        // taken name, so later starts run too until the name is free.
        ::close(client);
        std::fprintf(stderr, "harvel: the single-instance name is held by another user (uid %s); running alone\n",
                     owner ? std::to_string(*owner).c_str() : "unknown");
        return true;
      }
      write_all(client, message);
      ::close(client);
      return false;
    }
    ::close(client);
    // The first copy is between bind and listen, or just ending: try again.
    g_usleep(25 * 1000);
  }
  return true;
}

void LinuxSingleInstance::accept_one() {
  const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  if (peer_uid(fd) != getuid()) {
    ::close(fd);
    return;
  }
  // A second start writes a few bytes and closes; never wait long for it.
  timeval timeout{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  std::string data;
  char buf[4096];
  bool whole = false;  // the sender closed after its last byte
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) whole = true;
    if (n <= 0) break;
    data.append(buf, static_cast<std::size_t>(n));
    if (data.size() > kMaxMessage) break;
  }
  ::close(fd);
  // A message cut short (too long, or timed out) would pass a part of the
  // arguments as if it were all of them.
  if (!whole || data.empty() || data.back() != '\0') return;
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\0') {
      fields.push_back(data.substr(start, i - start));
      start = i + 1;
    }
  }
  std::string cwd = std::move(fields.front());
  fields.erase(fields.begin());
  trace("second start");
  if (handler_) handler_(std::move(fields), std::move(cwd));
}

}  // namespace harvel::linux_host
