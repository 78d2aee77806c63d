// The keyboard hook's thread on X11: it starts the key guard process
// (keys/guard.h) with a socket pair, decides each key the guard hands it
// with the keyboard procedure, and answers with the verdict and what the
// procedure typed. SendInput from any thread goes to the guard too; with no
// hook running it types on a connection of its own.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "checker/word_tracker.h"
#include "keyboard/digraph.h"
#include "keyboard/keyboard_proc.h"
#include "platform/linux/atspi_focus.h"
#include "platform/linux/keys/keymap.h"
#include "platform/linux/keys/link.h"
#include "platform/linux/keys/typing.h"
#include "platform/linux/linux_host.h"
#include "platform/linux/x11_keyboard.h"

extern char** environ;

namespace harvel::linux_host {

namespace {

using Clock = std::chrono::steady_clock;

// Failure reasons, shown as the hook error.
constexpr std::string_view kNoDisplay = "X11 displeyiga ulanib bo\u2018lmadi.";
constexpr std::string_view kWayland = "Wayland seansida klaviatura kuzatilmaydi: X11 seansida ishga tushiring.";
constexpr std::string_view kNoExtensions = "X serverda XTEST yoki XInput 2.2 kengaytmasi yo\u2018q.";
constexpr std::string_view kKeysTaken = "Klaviaturani boshqa dastur egallagan.";
constexpr std::string_view kNoGuard = "Klaviatura oqimi ishga tushmadi.";

// How long the guard may take to set up, and to end once the link closes.
constexpr auto kGuardStart = std::chrono::seconds(10);
constexpr auto kGuardEnd = std::chrono::seconds(2);

bool env_is(const char* name, std::string_view value) {
  const char* v = std::getenv(name);
  return v != nullptr && value == v;
}
bool env_set(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0';
}

// The guard's program: beside this one (the build and a plain install), or
// in the installed program's library folder.
std::string guard_program() {
  if (const char* p = std::getenv("HARVEL_KEYS_PROGRAM"); p != nullptr && *p != '\0') return p;
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const std::filesystem::path dir = self.parent_path();
  for (const std::filesystem::path& p :
       {dir / "harvel-keys", dir.parent_path() / "libexec" / "harvel" / "harvel-keys"}) {
    if (access(p.c_str(), X_OK) == 0) return p.string();
  }
  return {};
}

// Keys that commonly move the focus within a program: the next key asks
// the focused object whether it still has it.
bool moves_focus(uint32_t vk, bool chord) {
  switch (vk) {
    case 0x09: case 0x0D: case 0x1B:             // Tab, Enter, Escape
    case 0x21: case 0x22: case 0x26: case 0x28:  // Page Up, Page Down, Up, Down
      return true;
    default:
      break;
  }
  if (vk >= 0x70 && vk <= 0x87) return true;  // F1 to F24
  // Ctrl and Alt chords (not the modifiers themselves).
  return chord && !(vk >= 0xA0 && vk <= 0xA5) && vk != 0x10 && vk != 0x11 && vk != 0x12;
}

// ---- Grabs other parts of the program keep on the root window ---------------

struct Reservations {
  std::mutex mutex;
  std::condition_variable applied_cv;
  std::set<ReservedKey> keys;
  uint64_t version = 0;
  uint64_t applied = 0;  // the version the running hook grabs around
};

Reservations& reservations() {
  static Reservations* r = new Reservations;
  return *r;
}

std::atomic<uint64_t> g_focus_generation{0};
std::array<std::atomic<bool>, 256> g_typing_keys{};

class Link;
std::mutex g_link_mutex;
Link* g_link = nullptr;  // the running hook, under g_link_mutex
thread_local Link* t_link = nullptr;
thread_local std::string t_failure;

class Link {
 public:
  static std::unique_ptr<Link> start(std::string& error);
  ~Link();

  void run();
  void quit();
  // From any thread: typed by the guard as it comes.
  void post(std::span<const TypeItem> items);
  void send_reservations();
  // On the hook thread while deciding: sent with the verdict.
  void queue(std::span<const TypeItem> items) { queued_.insert(queued_.end(), items.begin(), items.end()); }

  uint32_t thread_id() const { return thread_id_; }
  const KeyState* deciding() const { return deciding_ ? &*deciding_ : nullptr; }

 private:
  Link() = default;
  bool send(std::span<const uint8_t> packet);
  void send_items(std::optional<std::pair<uint64_t, bool>> verdict, std::span<const TypeItem> items, uint64_t key = 0);
  void handle(std::span<const uint8_t> p);
  void decide(const KeyMessage& m);

  int fd_ = -1;
  int quit_fd_ = -1;
  pid_t pid_ = 0;
  uint32_t thread_id_ = 0;
  std::atomic<bool> quit_{false};
  std::mutex send_mutex_;
  // Hook thread only.
  std::optional<KeyState> deciding_;
  std::vector<TypeItem> queued_;
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kMaxPacket);
};

std::unique_ptr<Link> Link::start(std::string& error) {
  if (env_is("XDG_SESSION_TYPE", "wayland") || (env_set("WAYLAND_DISPLAY") && !env_is("XDG_SESSION_TYPE", "x11"))) {
    error = std::string(kWayland);
    return nullptr;
  }
  if (!env_set("DISPLAY")) {
    error = std::string(kNoDisplay);
    return nullptr;
  }
  const std::string program = guard_program();
  if (program.empty()) {
    trace("keyboard hook: the key guard program is missing");
    error = std::string(kNoGuard);
    return nullptr;
  }
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
    error = std::string(kNoGuard);
    return nullptr;
  }
  std::unique_ptr<Link> link(new Link);
  link->fd_ = pair[0];
  // Room for many keys while the hook thread is held up.
  const int size = 1 << 20;
  setsockopt(pair[0], SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
  setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &size, sizeof(size));

  std::string keep = "--keep=";
  for (uint32_t sym : kept_keysyms()) keep += std::to_string(sym) + ",";
  std::vector<std::string> args = {program, keep};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pair[1], kGuardFd);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // A session of its own: the terminal's Ctrl+Z and Ctrl+C stop or end this
  // program, never the guard that keeps its keyboard going. The guard starts
  // with no signal blocked or ignored.
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const int spawned = posix_spawn(&link->pid_, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(pair[1]);
  if (spawned != 0) {
    link->pid_ = 0;
    error = std::string(kNoGuard);
    return nullptr;
  }
  link->send_reservations();

  // Its report: ready, or why it cannot run.
  const auto deadline = Clock::now() + kGuardStart;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd fd{link->fd_, POLLIN, 0};
    const int ready = left > 0 ? poll(&fd, 1, static_cast<int>(left)) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      trace("keyboard hook: the key guard did not start in time");
      error = std::string(kNoGuard);
      return nullptr;
    }
    const ssize_t n = recv(link->fd_, link->buffer_.data(), link->buffer_.size(), MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      trace("keyboard hook: the key guard ended as it started");
      error = std::string(kNoGuard);
      return nullptr;
    }
    const std::span<const uint8_t> p(link->buffer_.data(), static_cast<std::size_t>(n));
    if (message_type(p) == Msg::Ready) break;
    if (const auto f = read_message<FailedMessage>(p)) {
      error = std::string(f->failure == Failure::NoExtensions ? kNoExtensions
                          : f->failure == Failure::KeysTaken  ? kKeysTaken
                                                              : kNoDisplay);
      return nullptr;
    }
    link->handle(p);
  }
  link->quit_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (link->quit_fd_ < 0) {
    error = std::string(kNoGuard);
    return nullptr;
  }
  link->thread_id_ = static_cast<uint32_t>(syscall(SYS_gettid));
  return link;
}

Link::~Link() {
  // The guard gives the keymap back and ends once its link closes.
  if (fd_ >= 0) close(fd_);
  if (pid_ > 0) {
    const auto deadline = Clock::now() + kGuardEnd;
    while (waitpid(pid_, nullptr, WNOHANG) == 0) {
      if (Clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  if (quit_fd_ >= 0) close(quit_fd_);
  for (auto& k : g_typing_keys) k.store(false);
}

bool Link::send(std::span<const uint8_t> packet) {
  std::lock_guard lock(send_mutex_);
  for (;;) {
    if (::send(fd_, packet.data(), packet.size(), MSG_NOSIGNAL) >= 0) return true;
    if (errno != EINTR) return false;
  }
}

void Link::send_items(std::optional<std::pair<uint64_t, bool>> verdict, std::span<const TypeItem> items, uint64_t key) {
  // A verdict carries the first items; the rest follow in order.
  std::size_t done = 0;
  if (verdict) {
    const std::size_t n = std::min(items.size(), kMaxItems);
    VerdictHeader h;
    h.id = verdict->first;
    h.swallow = verdict->second ? 1 : 0;
    h.count = static_cast<uint16_t>(n);
    send(packet(h, items.subspan(0, n)));
    done = n;
  }
  while (done < items.size()) {
    const std::size_t n = std::min(items.size() - done, kMaxItems);
    TypeHeader h;
    h.count = static_cast<uint16_t>(n);
    h.key = key;
    send(packet(h, items.subspan(done, n)));
    done += n;
  }
}

void Link::post(std::span<const TypeItem> items) { send_items(std::nullopt, items); }

void Link::send_reservations() {
  Reservations& r = reservations();
  std::vector<ReservedKey> keys;
  ReserveHeader h;
  {
    std::lock_guard lock(r.mutex);
    keys.assign(r.keys.begin(), r.keys.end());
    h.version = r.version;
  }
  keys.resize(std::min(keys.size(), kMaxReserved));
  h.count = static_cast<uint16_t>(keys.size());
  send(packet(h, std::span<const ReservedKey>(keys)));
}

void Link::quit() {
  quit_.store(true);
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(quit_fd_, &one, sizeof(one));
}

void Link::run() {
  t_link = this;
  while (!quit_.load()) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {quit_fd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if ((fds[1].revents & POLLIN) != 0) break;
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    const ssize_t n = recv(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;  // the guard has ended: so does the hook
    handle(std::span<const uint8_t>(buffer_.data(), static_cast<std::size_t>(n)));
  }
  t_link = nullptr;
}

void Link::handle(std::span<const uint8_t> p) {
  const std::optional<Msg> type = message_type(p);
  if (!type) return;
  switch (*type) {
    case Msg::Key:
      if (const auto m = read_message<KeyMessage>(p)) decide(*m);
      break;
    case Msg::Late:
      // A key went on without the procedure's word: the word it was
      // building no longer matches the text.
      if (read_message<LateMessage>(p)) {
        HookState& state = hook_thread_state();
        engine_reset(state.engine);
        checker_reset_word(state.tracker);
      }
      break;
    case Msg::Focus:
      g_focus_generation.fetch_add(1);
      accessible_focus_may_move();
      break;
    case Msg::Pointer:
      accessible_focus_may_move(true);
      break;
    case Msg::Spares:
      if (const auto m = read_message<SparesMessage>(p)) {
        for (unsigned kc = 0; kc < 256; ++kc) g_typing_keys[kc].store(((m->keycodes[kc / 8] >> (kc % 8)) & 1) != 0);
      }
      break;
    case Msg::Applied:
      if (const auto m = read_message<AppliedMessage>(p)) {
        Reservations& r = reservations();
        {
          std::lock_guard lock(r.mutex);
          r.applied = std::max(r.applied, m->version);
        }
        r.applied_cv.notify_all();
      }
      break;
    default:
      break;
  }
}

void Link::decide(const KeyMessage& m) {
  deciding_ = m.state;
  queued_.clear();
  const os::KeyEvent event =
      make_key_event(m.keycode, m.press != 0, m.vk, m.time, m.alt_held != 0, m.ctrl_held != 0, false);
  const auto start = Clock::now();
  const os::HookResult result = low_level_keyboard_proc(hook_thread_state(), event);
  deciding_.reset();
  if (m.press != 0 && moves_focus(m.vk, m.chord != 0)) accessible_focus_may_move();
  if (m.waits != 0) {
    send_items(std::pair{m.id, result != 0}, queued_, m.id);
  } else if (!queued_.empty()) {
    send_items(std::nullopt, queued_, m.id);
  }
  if (host_options().trace) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    trace("key " + std::to_string(m.keycode) + " " + std::to_string(us) + "us" + (m.press != 0 ? " down" : " up") +
          (result != 0 ? " swallowed" : "") + " vk " + std::to_string(m.vk) + " group " +
          std::to_string(m.state.group));
  }
  queued_.clear();
}

// Typing when no hook runs: a connection of its own, the characters' keys
// given back once every program has had time to read them.
void type_without_hook(std::vector<TypeItem> items) {
  std::thread([items = std::move(items)] {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (c == nullptr || xcb_connection_has_error(c) != 0) {
      if (c != nullptr) xcb_disconnect(c);
      return;
    }
    const xcb_setup_t* setup = xcb_get_setup(c);
    CoreKeymap map;
    map.min_keycode = setup->min_keycode;
    map.max_keycode = setup->max_keycode;
    auto* r = xcb_get_keyboard_mapping_reply(
        c,
        xcb_get_keyboard_mapping(c, setup->min_keycode,
                                 static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1)),
        nullptr);
    if (r != nullptr) {
      map.per_keycode = r->keysyms_per_keycode;
      const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r);
      map.keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(r));
      std::free(r);
    }
    SpareKeys spares;
    const std::vector<Remap> cleared = spares.reset(map, {});
    const TypingPlan plan = plan_typing(items, map, spares, TypingState{});
    auto set = [&](const Remap& m) {
      const std::vector<xcb_keysym_t> syms = marked_keysyms(m.keysym, map.per_keycode);
      xcb_change_keyboard_mapping(c, 1, m.keycode, static_cast<uint8_t>(syms.size()), syms.data());
    };
    for (const Remap& m : cleared) set(m);
    for (const Remap& m : plan.remaps) set(m);
    for (const TypingStep& s : plan.steps) {
      xcb_test_fake_input(c, s.press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, s.keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    if (!plan.remaps.empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      for (const Remap& m : plan.remaps) set({m.keycode, 0});
      std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    xcb_disconnect(c);
  }).detach();
}

}  // namespace

// ---- Shared between the hook thread and the rest of the layer ---------------

void reserve_root_key(unsigned keycode, unsigned modifiers) {
  Reservations& r = reservations();
  uint64_t version = 0;
  {
    std::lock_guard lock(r.mutex);
    r.keys.insert({static_cast<uint8_t>(keycode), static_cast<uint16_t>(modifiers)});
    version = ++r.version;
  }
  {
    std::lock_guard link_lock(g_link_mutex);
    if (g_link == nullptr) {
      std::lock_guard lock(r.mutex);
      r.applied = version;
      return;
    }
    g_link->send_reservations();
  }
  std::unique_lock lock(r.mutex);
  r.applied_cv.wait_for(lock, std::chrono::seconds(1), [&] { return r.applied >= version; });
}

void unreserve_root_key(unsigned keycode, unsigned modifiers) {
  Reservations& r = reservations();
  {
    std::lock_guard lock(r.mutex);
    r.keys.erase({static_cast<uint8_t>(keycode), static_cast<uint16_t>(modifiers)});
    ++r.version;
  }
  std::lock_guard link_lock(g_link_mutex);
  if (g_link != nullptr) {
    g_link->send_reservations();
  } else {
    std::lock_guard lock(r.mutex);
    r.applied = r.version;
  }
}

std::optional<int16_t> hook_thread_key_state(uint32_t vk) {
  const KeyState* s = t_link != nullptr ? t_link->deciding() : nullptr;
  if (s == nullptr) return std::nullopt;
  uint16_t state = 0;
  if ((vk == 0x14 && s->caps_lock != 0) || (vk == 0x90 && s->num_lock != 0)) state |= 1;
  if (s->down(vk)) state |= 0x8000;
  return static_cast<int16_t>(state);
}

std::optional<unsigned> hook_thread_group() {
  const KeyState* s = t_link != nullptr ? t_link->deciding() : nullptr;
  if (s == nullptr) return std::nullopt;
  return s->group;
}

uint64_t watched_focus_generation() {
  std::lock_guard lock(g_link_mutex);
  return g_link != nullptr ? g_focus_generation.load() + 1 : 0;
}

bool is_typing_keycode(unsigned keycode) { return keycode < 256 && g_typing_keys[keycode].load(); }

void x11_send_input(std::span<const os::KeyInput> batch) {
  const std::vector<TypeItem> items = type_items(batch);
  if (items.empty()) return;
  if (t_link != nullptr) {
    t_link->queue(items);
    return;
  }
  {
    std::lock_guard lock(g_link_mutex);
    if (g_link != nullptr) {
      g_link->post(items);
      return;
    }
  }
  type_without_hook(items);
}

// ---- The hook interface -----------------------------------------------------

std::optional<uintptr_t> LinuxKeyboardHook::install() {
  t_failure.clear();
  {
    // One hook at a time: a second guard would wait on the first one's grabs.
    std::lock_guard lock(g_link_mutex);
    if (g_link != nullptr) {
      t_failure = std::string(kKeysTaken);
      return std::nullopt;
    }
  }
  std::unique_ptr<Link> link = Link::start(t_failure);
  if (!link) {
    trace("keyboard hook: " + t_failure);
    return std::nullopt;
  }
  if (os::EventLoop* loop = os::platform().event_loop) start_accessible_focus(*loop);
  std::lock_guard lock(g_link_mutex);
  if (g_link != nullptr) {
    t_failure = std::string(kKeysTaken);
    return std::nullopt;
  }
  g_link = link.get();
  trace("keyboard hook: installed");
  return reinterpret_cast<uintptr_t>(link.release());
}

void LinuxKeyboardHook::uninstall(uintptr_t hook) {
  auto* link = reinterpret_cast<Link*>(hook);
  {
    std::lock_guard lock(g_link_mutex);
    if (g_link == link) g_link = nullptr;
  }
  delete link;
  // Nothing waits on reservations of a hook that is gone.
  Reservations& r = reservations();
  {
    std::lock_guard lock(r.mutex);
    r.applied = r.version;
  }
  r.applied_cv.notify_all();
}

uint32_t LinuxKeyboardHook::current_thread_id() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

void LinuxKeyboardHook::run_message_loop() {
  Link* link = nullptr;
  {
    std::lock_guard lock(g_link_mutex);
    link = g_link;
  }
  if (link != nullptr && link->thread_id() == current_thread_id()) link->run();
}

void LinuxKeyboardHook::post_quit(uint32_t thread_id) {
  std::lock_guard lock(g_link_mutex);
  if (g_link != nullptr && g_link->thread_id() == thread_id) g_link->quit();
}

std::optional<std::string> LinuxKeyboardHook::failure_reason() {
  if (t_failure.empty()) return std::nullopt;
  return t_failure;
}

}  // namespace harvel::linux_host
