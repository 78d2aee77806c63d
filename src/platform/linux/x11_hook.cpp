// The keyboard hook's X11 session: one XCB connection per hook thread with
// the key grabs, the raw key events, the typing through XTest and a
// watchdog that bounds how long the keyboard can wait for an answer.
//
// The grabs sit on the window that has the input focus and move with it. A
// grab on that very window activates without focus events (a grab on the
// root window would tell the focused program, at every key, that it lost
// and regained the focus), and the root window's own grabs (the window
// manager's Alt+Tab, the global shortcut) are found before ours, so their
// keys go on reaching them. Only while no window has the focus do the grabs
// sit on the root window, around the combinations others hold there.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#include <xcb/xinput.h>
#include <xcb/xtest.h>
// The XKB protocol header names a field "explicit".
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "keyboard/keyboard_proc.h"
#include "platform/linux/atspi_focus.h"
#include "platform/linux/key_positions.h"
#include "platform/linux/linux_host.h"
#include "platform/linux/x11_keyboard.h"

namespace harvel::linux_host {

namespace {

using Clock = std::chrono::steady_clock;

// Failure reasons, shown as the hook error.
constexpr std::string_view kNoDisplay = "X11 displeyiga ulanib bo\u2018lmadi.";
constexpr std::string_view kWayland = "Wayland seansida klaviatura kuzatilmaydi: X11 seansida ishga tushiring.";
constexpr std::string_view kNoExtensions = "X serverda XTEST yoki XInput 2.2 kengaytmasi yo\u2018q.";
constexpr std::string_view kKeysTaken = "Klaviaturani boshqa dastur egallagan.";

// How long the keyboard may wait for the procedure before the key is
// passed on unanswered, and how many such waits in a row end the grabs.
constexpr auto kAnswerTimeout = std::chrono::milliseconds(300);
constexpr int kStallsBeforeGivingUp = 4;

constexpr uint16_t kAnyModifier = 0x8000;
constexpr uint32_t kXkNumLock = 0xFF7F;
constexpr uint32_t kXkLevel3Shift = 0xFE03;
constexpr uint32_t kXkModeSwitch = 0xFF7E;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T>
Reply<T> reply(T* r) {
  return Reply<T>(r, &std::free);
}

bool env_is(const char* name, std::string_view value) {
  const char* v = std::getenv(name);
  return v != nullptr && value == v;
}
bool env_set(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0';
}

// ---- Grabs other parts of the program keep on the root window ---------------

struct Reservations {
  std::mutex mutex;
  std::condition_variable applied_cv;
  std::set<std::pair<uint8_t, uint16_t>> keys;  // keycode, modifiers
  uint64_t version = 0;
  uint64_t applied = 0;  // the version the running hook grabs around
};

Reservations& reservations() {
  static Reservations* r = new Reservations;
  return *r;
}

std::atomic<uint64_t> g_focus_generation{0};
std::array<std::atomic<bool>, 256> g_typing_keys{};

class Session;
std::mutex g_session_mutex;
Session* g_session = nullptr;  // the running hook, under g_session_mutex
thread_local Session* t_session = nullptr;
thread_local std::string t_failure;

class Session {
 public:
  static std::unique_ptr<Session> open(std::string& error);
  ~Session();

  void run();
  void quit();
  // From another thread: typed at the next turn of the loop.
  void post_batch(std::vector<os::KeyInput> batch);
  void wake();
  // On the hook thread while deciding: typed once the event is answered.
  void queue_batch(std::span<const os::KeyInput> batch) {
    outgoing_.insert(outgoing_.end(), batch.begin(), batch.end());
  }

  uint32_t thread_id() const { return thread_id_; }
  std::optional<int16_t> key_state(uint32_t vk) const;
  // The XKB group of the last grabbed press (core events carry it once XKB
  // is in use on the connection).
  std::optional<unsigned> group() const {
    if (!xkb_) return std::nullopt;
    return (last_state_ >> 13) & 3;
  }

 private:
  Session() = default;
  bool setup(std::string& error);
  void read_keymap();
  void read_modifiers();
  void grab_all(xcb_window_t window, const std::set<std::pair<uint8_t, uint16_t>>& reserved);
  void grab_keycode(xcb_window_t window, uint8_t keycode, const std::set<std::pair<uint8_t, uint16_t>>& reserved);
  bool letters_taken_on_root();
  void follow_focus();
  void apply_reservations();

  void handle(xcb_generic_event_t* e);
  void deliver(std::vector<KeyDelivery>& deliveries);
  void answer(bool consume, uint32_t time);
  void type(std::span<const os::KeyInput> batch);
  void send_steps(const TypingPlan& plan);
  void neutralise(uint8_t keycode);
  void restore_spares(bool all);
  void set_keysyms(uint8_t keycode, uint32_t keysym);
  void check_sync();
  uint32_t vk_for(uint8_t keycode) const;
  bool held(uint32_t vk_left, uint32_t vk_right) const;
  void watchdog();

  xcb_connection_t* c_ = nullptr;
  xcb_window_t root_ = 0;
  uint8_t xi_opcode_ = 0;
  bool xkb_ = false;
  std::vector<uint16_t> xtest_devices_;
  uint32_t thread_id_ = 0;
  int wake_fd_ = -1;
  int timer_fd_ = -1;
  int stop_fd_ = -1;
  std::thread watchdog_;

  CoreKeymap map_;
  uint8_t neutral_mask_ = 0;  // modifiers released around typed text (not Shift, locks or level 3)
  uint8_t numlock_mask_ = 0;
  SpareKeys spares_;
  OwnInputAccount account_;
  KeyEventOrder order_;
  std::set<std::pair<uint8_t, uint16_t>> grabbed_around_;  // the reservations the root grabs leave out
  xcb_window_t grab_window_ = 0;                           // where the grabs are
  xcb_atom_t active_window_atom_ = 0;

  std::array<bool, 256> down_{};            // held, by what the user's devices sent
  std::array<bool, 256> xtest_down_{};      // held on the XTest device
  std::array<bool, 256> released_{};        // held, but released by us for the burst
  std::array<bool, 256> undo_lock_{};       // a swallowed lock key: its toggle is undone at release
  std::array<uint16_t, 256> own_remaps_{};  // our keymap changes whose notice is still to come
  uint16_t last_state_ = 0;                 // modifier state and group of the last grabbed press
  bool caps_lock_ = false;

  std::vector<os::KeyInput> outgoing_;
  std::mutex inbox_mutex_;
  std::vector<std::vector<os::KeyInput>> inbox_;
  std::atomic<bool> quit_{false};

  // The press the keyboard waits on; whoever clears it answers it.
  std::atomic<uint64_t> pending_{0};
  uint64_t next_pending_ = 0;
  std::atomic<int> stalls_{0};
  std::atomic<bool> gave_up_{false};

  // A round trip that settles raw presses no grab of ours delivered.
  std::optional<xcb_get_input_focus_cookie_t> sync_;
  uint64_t sync_mark_ = 0;
  bool grabbed_since_sync_ = false;
};

std::unique_ptr<Session> Session::open(std::string& error) {
  if (env_is("XDG_SESSION_TYPE", "wayland") || (env_set("WAYLAND_DISPLAY") && !env_is("XDG_SESSION_TYPE", "x11"))) {
    error = std::string(kWayland);
    return nullptr;
  }
  std::unique_ptr<Session> s(new Session);
  if (!s->setup(error)) return nullptr;
  return s;
}

bool Session::setup(std::string& error) {
  int screen = 0;
  c_ = xcb_connect(nullptr, &screen);
  if (c_ == nullptr || xcb_connection_has_error(c_) != 0) {
    error = std::string(kNoDisplay);
    return false;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
  for (int i = 0; i < screen && it.rem > 0; ++i) xcb_screen_next(&it);
  if (it.rem == 0) {
    error = std::string(kNoDisplay);
    return false;
  }
  root_ = it.data->root;

  const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(c_, &xcb_test_id);
  const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c_, &xcb_input_id);
  if (xtest == nullptr || !xtest->present || xi == nullptr || !xi->present) {
    error = std::string(kNoExtensions);
    return false;
  }
  xi_opcode_ = xi->major_opcode;
  // Raw events reach the root window while a grab is active from 2.1 on.
  auto version = reply(xcb_input_xi_query_version_reply(c_, xcb_input_xi_query_version(c_, 2, 2), nullptr));
  if (!version || (version->major_version == 2 && version->minor_version < 1) || version->major_version < 2) {
    error = std::string(kNoExtensions);
    return false;
  }
  // With XKB in use, core events carry the keyboard group.
  if (const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(c_, &xcb_xkb_id);
      xkb != nullptr && xkb->present) {
    auto r = reply(xcb_xkb_use_extension_reply(c_, xcb_xkb_use_extension(c_, 1, 0), nullptr));
    xkb_ = r && r->supported;
  }

  // The XTest keyboards, whose held keys an XTest release lets go.
  if (auto devices =
          reply(xcb_input_xi_query_device_reply(c_, xcb_input_xi_query_device(c_, XCB_INPUT_DEVICE_ALL), nullptr))) {
    for (auto d = xcb_input_xi_query_device_infos_iterator(devices.get()); d.rem > 0;
         xcb_input_xi_device_info_next(&d)) {
      const std::string name(xcb_input_xi_device_info_name(d.data),
                             static_cast<std::size_t>(xcb_input_xi_device_info_name_length(d.data)));
      if (d.data->type == XCB_INPUT_DEVICE_TYPE_SLAVE_KEYBOARD && name.find("XTEST") != std::string::npos) {
        xtest_devices_.push_back(d.data->deviceid);
      }
    }
  }

  read_keymap();
  read_modifiers();
  spares_.reset(map_);

  struct {
    xcb_input_event_mask_t head;
    uint32_t mask;
  } select{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE};
  if (xcb_generic_error_t* e = xcb_request_check(c_, xcb_input_xi_select_events_checked(c_, root_, 1, &select.head))) {
    std::free(e);
    error = std::string(kNoExtensions);
    return false;
  }

  if (letters_taken_on_root()) {
    error = std::string(kKeysTaken);
    return false;
  }
  // Focus changes of the root's children are seen on the root window while
  // it holds the focus; else on the focus window itself. The root's
  // properties name the active window.
  if (auto r = reply(xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, 18, "_NET_ACTIVE_WINDOW"), nullptr))) {
    active_window_atom_ = r->atom;
  }
  const uint32_t root_events = XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &root_events);
  follow_focus();

  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  timer_fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
  stop_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0 || timer_fd_ < 0 || stop_fd_ < 0) {
    error = std::string(kNoDisplay);
    return false;
  }
  thread_id_ = static_cast<uint32_t>(syscall(SYS_gettid));
  pthread_setname_np(pthread_self(), "harvel-keyboard");
  watchdog_ = std::thread([this] {
    pthread_setname_np(pthread_self(), "harvel-keys-wd");
    // The process's signals are for other threads: this one only waits.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    watchdog();
  });
  xcb_flush(c_);
  return true;
}

Session::~Session() {
  if (watchdog_.joinable()) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(stop_fd_, &one, sizeof(one));
    watchdog_.join();
  }
  if (c_ != nullptr && xcb_connection_has_error(c_) == 0) {
    restore_spares(true);
    // Closing the connection ends every grab; the round trip makes sure the
    // restored keymap went out first.
    std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
  }
  for (auto& k : g_typing_keys) k.store(false);
  if (c_ != nullptr) xcb_disconnect(c_);
  for (int fd : {wake_fd_, timer_fd_, stop_fd_}) {
    if (fd >= 0) close(fd);
  }
}

void Session::read_keymap() {
  const xcb_setup_t* setup = xcb_get_setup(c_);
  map_.min_keycode = setup->min_keycode;
  map_.max_keycode = setup->max_keycode;
  const auto count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
  auto r = reply(xcb_get_keyboard_mapping_reply(c_, xcb_get_keyboard_mapping(c_, setup->min_keycode, count), nullptr));
  if (!r) return;
  map_.per_keycode = r->keysyms_per_keycode;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r.get());
  map_.keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(r.get()));
}

void Session::read_modifiers() {
  map_.modifiers.fill(0);
  auto r = reply(xcb_get_modifier_mapping_reply(c_, xcb_get_modifier_mapping(c_), nullptr));
  if (!r) return;
  const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(r.get());
  for (unsigned m = 0; m < 8; ++m) {
    for (unsigned k = 0; k < r->keycodes_per_modifier; ++k) {
      const xcb_keycode_t kc = codes[m * r->keycodes_per_modifier + k];
      if (kc != 0) map_.modifiers[kc] |= static_cast<uint8_t>(1u << m);
    }
  }
  auto mask_of = [&](uint32_t keysym) {
    const unsigned kc = map_.keycode_of(keysym);
    return kc != 0 ? map_.modifiers[kc] : uint8_t{0};
  };
  numlock_mask_ = mask_of(kXkNumLock);
  const uint8_t level3 = static_cast<uint8_t>(mask_of(kXkLevel3Shift) | mask_of(kXkModeSwitch));
  neutral_mask_ = static_cast<uint8_t>(0xFF & ~(kShiftMask | kLockMask | numlock_mask_ | level3));
}

void Session::grab_keycode(xcb_window_t window, uint8_t keycode,
                           const std::set<std::pair<uint8_t, uint16_t>>& reserved) {
  auto grab = [&](uint16_t mods) {
    return xcb_grab_key_checked(c_, 0, window, mods, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC);
  };
  const auto first = reserved.lower_bound({keycode, 0});
  const bool has_reserved = first != reserved.end() && first->first == keycode;
  if (!has_reserved) {
    xcb_generic_error_t* e = xcb_request_check(c_, grab(kAnyModifier));
    if (e == nullptr) return;
    const bool window_gone = e->error_code == XCB_WINDOW;
    std::free(e);
    if (window_gone) return;
  }
  // Another client holds some combinations of this key on the window: every
  // other one is ours.
  std::vector<xcb_void_cookie_t> cookies;
  for (uint16_t mods = 0; mods < 256; ++mods) {
    if (!reserved.contains({keycode, mods})) cookies.push_back(grab(mods));
  }
  for (const xcb_void_cookie_t& cookie : cookies) std::free(xcb_request_check(c_, cookie));
}

void Session::grab_all(xcb_window_t window, const std::set<std::pair<uint8_t, uint16_t>>& reserved) {
  // The spare keys that carry our typed characters are no keys of the
  // keyboard: they go to the program without a round through the hook.
  // One request for every key when nobody holds any of them.
  if (reserved.empty()) {
    xcb_generic_error_t* e = xcb_request_check(
        c_, xcb_grab_key_checked(c_, 0, window, kAnyModifier, XCB_GRAB_ANY, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC));
    if (e == nullptr) {
      for (uint8_t kc : spares_.keycodes()) xcb_ungrab_key(c_, kc, window, kAnyModifier);
      return;
    }
    std::free(e);
  }
  for (unsigned kc = map_.min_keycode; kc <= map_.max_keycode; ++kc) {
    if (!spares_.is_spare(kc)) grab_keycode(window, static_cast<uint8_t>(kc), reserved);
  }
}

// A client that grabs the plain letters on the root window takes them
// before any grab of ours could.
bool Session::letters_taken_on_root() {
  std::vector<std::pair<uint8_t, xcb_void_cookie_t>> probes;
  for (uint32_t vk = 'A'; vk <= 'Z'; ++vk) {
    const auto kc = static_cast<uint8_t>(keycode_for_position_vk(vk));
    probes.emplace_back(kc, xcb_grab_key_checked(c_, 0, root_, 0, kc, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC));
  }
  bool taken = false;
  for (const auto& [kc, cookie] : probes) {
    if (xcb_generic_error_t* e = xcb_request_check(c_, cookie)) {
      taken = taken || e->error_code == XCB_ACCESS;
      std::free(e);
    } else {
      xcb_ungrab_key(c_, kc, root_, 0);
    }
  }
  return taken;
}

void Session::follow_focus() {
  g_focus_generation.fetch_add(1);
  auto focus = reply(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
  if (!focus) return;
  // No focus, PointerRoot or the root itself: the root window.
  const xcb_window_t target = focus->focus > XCB_INPUT_FOCUS_POINTER_ROOT ? focus->focus : root_;
  if (target == grab_window_) return;
  if (grab_window_ != 0) {
    // The old window may be gone: errors of these requests are ignored.
    xcb_ungrab_key(c_, XCB_GRAB_ANY, grab_window_, kAnyModifier);
    if (grab_window_ != root_) {
      const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
      xcb_change_window_attributes(c_, grab_window_, XCB_CW_EVENT_MASK, &none);
    }
  }
  grab_window_ = target;
  if (target == root_) {
    Reservations& r = reservations();
    std::lock_guard lock(r.mutex);
    grabbed_around_ = r.keys;
  } else {
    // Focus leaving it (or the window going away) moves the grabs on.
    const uint32_t events = XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c_, target, XCB_CW_EVENT_MASK, &events);
  }
  grab_all(target, target == root_ ? grabbed_around_ : std::set<std::pair<uint8_t, uint16_t>>{});
  if (host_options().trace) trace("keyboard hook: grabs on window " + std::to_string(target));
}

void Session::apply_reservations() {
  Reservations& r = reservations();
  std::set<std::pair<uint8_t, uint16_t>> now;
  uint64_t version = 0;
  {
    std::lock_guard lock(r.mutex);
    if (r.applied == r.version) return;
    now = r.keys;
    version = r.version;
  }
  // Grabs on another window do not stand in the way of the root's.
  if (grab_window_ == root_) {
    std::set<uint8_t> changed;
    for (const auto& k : now) {
      if (!grabbed_around_.contains(k)) changed.insert(k.first);
    }
    for (const auto& k : grabbed_around_) {
      if (!now.contains(k)) changed.insert(k.first);
    }
    for (uint8_t kc : changed) {
      xcb_ungrab_key(c_, kc, root_, kAnyModifier);
      grab_keycode(root_, kc, now);
    }
    // The other grab is made only after ours are gone.
    std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
  }
  grabbed_around_ = std::move(now);
  {
    std::lock_guard lock(r.mutex);
    r.applied = std::max(r.applied, version);
  }
  r.applied_cv.notify_all();
}

void Session::wake() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(wake_fd_, &one, sizeof(one));
}

void Session::quit() {
  quit_.store(true);
  wake();
}

void Session::post_batch(std::vector<os::KeyInput> batch) {
  {
    std::lock_guard lock(inbox_mutex_);
    inbox_.push_back(std::move(batch));
  }
  wake();
}

void Session::run() {
  t_session = this;
  while (!quit_.load() && !gave_up_.load()) {
    while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
      handle(e);
      std::free(e);
    }
    if (xcb_connection_has_error(c_) != 0) break;  // the server went away: the hook ends
    check_sync();
    apply_reservations();
    std::vector<std::vector<os::KeyInput>> inbox;
    {
      std::lock_guard lock(inbox_mutex_);
      inbox.swap(inbox_);
    }
    for (const auto& batch : inbox) type(batch);
    if (order_.waiting() && !sync_) {
      sync_ = xcb_get_input_focus(c_);
      sync_mark_ = order_.mark();
      grabbed_since_sync_ = false;
    }
    restore_spares(false);
    xcb_flush(c_);

    int timeout = -1;
    if (const auto due = spares_.restore_due()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*due - Clock::now()).count();
      timeout = static_cast<int>(std::clamp<int64_t>(left + 1, 0, 60000));
    }
    pollfd fds[2] = {{xcb_get_file_descriptor(c_), POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    if (poll(fds, 2, timeout) < 0 && errno != EINTR) break;
    if ((fds[1].revents & POLLIN) != 0) {
      uint64_t n = 0;
      [[maybe_unused]] const ssize_t r = read(wake_fd_, &n, sizeof(n));
    }
  }
  t_session = nullptr;
}

void Session::check_sync() {
  if (!sync_) return;
  xcb_get_input_focus_reply_t* r = nullptr;
  xcb_generic_error_t* error = nullptr;
  if (xcb_poll_for_reply(c_, sync_->sequence, reinterpret_cast<void**>(&r), &error) == 0) return;
  std::free(r);
  std::free(error);
  sync_.reset();
  // Events read together with the reply came before it.
  while (xcb_generic_event_t* e = xcb_poll_for_queued_event(c_)) {
    handle(e);
    std::free(e);
  }
  if (grabbed_since_sync_) return;  // the server was still answering our grabs: ask again
  std::vector<KeyDelivery> deliveries;
  order_.settle_up_to(sync_mark_, deliveries);
  deliver(deliveries);
}

uint32_t Session::vk_for(uint8_t keycode) const {
  // The core map lists groups 1 and 2 in its first four columns.
  const unsigned g = group().value_or(0);
  uint32_t sym = g < 2 ? map_.keysym(keycode, g * 2) : 0;
  if (sym == 0) sym = map_.keysym(keycode, 0);
  return virtual_key_for(keycode, sym);
}

bool Session::held(uint32_t vk_left, uint32_t vk_right) const {
  for (unsigned kc = map_.min_keycode; kc <= map_.max_keycode; ++kc) {
    if (!down_[kc]) continue;
    const uint32_t vk = key_position(kc).vk;
    if (vk == vk_left || vk == vk_right) return true;
  }
  return false;
}

std::optional<int16_t> Session::key_state(uint32_t vk) const {
  uint16_t state = 0;
  if (vk == 0x14 && caps_lock_) state |= 1;
  if (vk == 0x90 && numlock_mask_ != 0 && (last_state_ & numlock_mask_) != 0) state |= 1;
  uint32_t left = vk;
  uint32_t right = vk;
  if (vk == 0x10) left = 0xA0, right = 0xA1;
  if (vk == 0x11) left = 0xA2, right = 0xA3;
  if (vk == 0x12) left = 0xA4, right = 0xA5;
  for (unsigned kc = map_.min_keycode; kc <= map_.max_keycode; ++kc) {
    if (!down_[kc]) continue;
    const uint32_t k = key_position(kc).vk;
    if (k == left || k == right || vk_for(static_cast<uint8_t>(kc)) == vk) {
      state |= 0x8000;
      break;
    }
  }
  return static_cast<int16_t>(state);
}

void Session::handle(xcb_generic_event_t* e) {
  const uint8_t type = e->response_type & 0x7F;
  std::vector<KeyDelivery> deliveries;
  if (type == XCB_KEY_PRESS) {
    const auto* k = reinterpret_cast<xcb_key_press_event_t*>(e);
    last_state_ = k->state;
    caps_lock_ = (k->state & kLockMask) != 0;
    grabbed_since_sync_ = true;
    order_.grabbed_press(k->detail, k->time, deliveries);
    deliver(deliveries);
  } else if (type == XCB_FOCUS_IN || type == XCB_FOCUS_OUT) {
    // A grab's focus events (ours, a menu's) do not move the focus.
    const auto* f = reinterpret_cast<xcb_focus_in_event_t*>(e);
    if (f->mode == XCB_NOTIFY_MODE_NORMAL || f->mode == XCB_NOTIFY_MODE_WHILE_GRABBED) follow_focus();
  } else if (type == XCB_PROPERTY_NOTIFY) {
    const auto* p = reinterpret_cast<xcb_property_notify_event_t*>(e);
    if (p->window == root_ && p->atom == active_window_atom_) g_focus_generation.fetch_add(1);
  } else if (type == XCB_UNMAP_NOTIFY || type == XCB_DESTROY_NOTIFY) {
    const auto* u = reinterpret_cast<xcb_unmap_notify_event_t*>(e);
    if (u->window == grab_window_) follow_focus();
  } else if (type == XCB_MAPPING_NOTIFY) {
    const auto* m = reinterpret_cast<xcb_mapping_notify_event_t*>(e);
    if (m->request == XCB_MAPPING_MODIFIER) {
      read_modifiers();
    } else if (m->request == XCB_MAPPING_KEYBOARD) {
      // Our own change of a spare key is in the map already.
      if (m->count == 1 && own_remaps_[m->first_keycode] > 0) {
        --own_remaps_[m->first_keycode];
      } else {
        read_keymap();
        spares_.reconcile(map_);
        // The spare keys may be others now: the grabs are made anew.
        grab_window_ = 0;
        follow_focus();
      }
    }
  } else if (type == XCB_GE_GENERIC) {
    const auto* ge = reinterpret_cast<xcb_ge_generic_event_t*>(e);
    if (ge->extension != xi_opcode_) return;
    if (ge->event_type != XCB_INPUT_RAW_KEY_PRESS && ge->event_type != XCB_INPUT_RAW_KEY_RELEASE) return;
    const auto* raw = reinterpret_cast<xcb_input_raw_key_press_event_t*>(e);
    const bool press = ge->event_type == XCB_INPUT_RAW_KEY_PRESS;
    const auto kc = static_cast<uint8_t>(raw->detail);
    const bool by_xtest =
        std::find(xtest_devices_.begin(), xtest_devices_.end(), raw->sourceid) != xtest_devices_.end();
    const Own own = account_.match(kc, press, Clock::now());
    if (by_xtest) xtest_down_[kc] = press;
    if (own == Own::No) {
      down_[kc] = press;
      released_[kc] = false;
    }
    order_.raw(kc, press, raw->time, own, deliveries, !spares_.is_spare(kc));
    deliver(deliveries);
  }
}

void Session::deliver(std::vector<KeyDelivery>& deliveries) {
  for (const KeyDelivery& d : deliveries) {
    const bool own = d.own != Own::No;
    if (d.press && d.grabbed) {
      // The keyboard waits for this answer; the watchdog gives it if the
      // procedure stalls.
      pending_.store(++next_pending_);
      itimerspec t{};
      t.it_value.tv_nsec = std::chrono::duration_cast<std::chrono::nanoseconds>(kAnswerTimeout).count();
      timerfd_settime(timer_fd_, 0, &t, nullptr);
      if (d.own == Own::Consume) {
        answer(true, d.time);
        continue;
      }
    }
    const os::KeyEvent event = make_key_event(d.keycode, d.press, own ? 0 : vk_for(d.keycode), d.time, held(0xA4, 0xA5),
                                              held(0xA2, 0xA3), own);
    // A press that reaches us while our typing is still on its way was
    // pressed before that typing was queued: passed on now, it would land
    // in front of the text typed for an earlier key. It is typed again
    // behind that text instead.
    // (A modifier's place does not matter to typed text, which no modifier
    // changes: it goes on at once.)
    const bool ahead_of_typing =
        d.press && d.grabbed && !own && map_.modifiers[d.keycode] == 0 && account_.waiting(Clock::now());
    const auto proc_start = Clock::now();
    const os::HookResult result = low_level_keyboard_proc(hook_thread_state(), event);
    const auto proc_us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - proc_start).count();
    const bool swallow = !own && result != 0;
    if (host_options().trace) {
      trace("key " + std::to_string(d.keycode) + " " + std::to_string(proc_us) + "us" + (d.press ? " down" : " up") +
            (own ? " own" : "") + (swallow ? " swallowed" : "") + (ahead_of_typing ? " ahead" : "") + " state " +
            std::to_string(last_state_));
    }
    if (ahead_of_typing && !swallow) {
      answer(true, d.time);
      TypingPlan again;
      again.steps = {{d.keycode, true, Own::Replay}, {d.keycode, false, Own::Replay}};
      send_steps(again);
    } else if (d.press && d.grabbed) {
      answer(swallow, d.time);
      // A swallowed modifier must not reach other programs through the
      // server's modifier state either.
      const uint8_t mods = map_.modifiers[d.keycode];
      if (swallow && mods != 0) {
        if ((mods & (kLockMask | numlock_mask_)) != 0) {
          undo_lock_[d.keycode] = true;
        } else {
          neutralise(d.keycode);
        }
      }
    } else if (!d.press && undo_lock_[d.keycode] && !own) {
      undo_lock_[d.keycode] = false;
      // The press toggled the lock although no program saw it: toggle back.
      TypingPlan plan;
      plan.steps = {{d.keycode, true, Own::Consume}, {d.keycode, false, Own::Replay}};
      send_steps(plan);
      if ((map_.modifiers[d.keycode] & kLockMask) != 0) caps_lock_ = !caps_lock_;
    }
    if (!outgoing_.empty()) {
      std::vector<os::KeyInput> batch;
      batch.swap(outgoing_);
      type(batch);
    }
  }
  deliveries.clear();
}

void Session::answer(bool consume, uint32_t time) {
  uint64_t id = pending_.load();
  if (id == 0 || !pending_.compare_exchange_strong(id, 0)) return;  // the watchdog answered already
  itimerspec off{};
  timerfd_settime(timer_fd_, 0, &off, nullptr);
  stalls_.store(0);
  if (consume) {
    // Ending the grab the press activated consumes it, and what we type
    // next reaches the focused program. (AsyncKeyboard first would let the
    // server run the queued keys before the ungrab, and a queued press
    // that activated the grab again would be let go by it unanswered.)
    xcb_ungrab_keyboard(c_, time);
  } else {
    xcb_allow_events(c_, XCB_ALLOW_REPLAY_KEYBOARD, time);
  }
  xcb_flush(c_);
}

void Session::watchdog() {
  pollfd fds[2] = {{timer_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if ((fds[1].revents & POLLIN) != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    uint64_t expirations = 0;
    [[maybe_unused]] const ssize_t n = read(timer_fd_, &expirations, sizeof(expirations));
    uint64_t id = pending_.load();
    if (id == 0 || !pending_.compare_exchange_strong(id, 0)) continue;
    // The procedure has not answered in time: the key goes on as if no
    // hook were there (as Windows does with a slow hook).
    xcb_allow_events(c_, XCB_ALLOW_REPLAY_KEYBOARD, XCB_CURRENT_TIME);
    if (stalls_.fetch_add(1) + 1 >= kStallsBeforeGivingUp) {
      // The hook thread is stuck: let every key through until it ends.
      xcb_ungrab_key(c_, XCB_GRAB_ANY, root_, kAnyModifier);
      gave_up_.store(true);
    }
    xcb_flush(c_);
  }
}

void Session::neutralise(uint8_t keycode) {
  TypingPlan plan;
  if (!xtest_down_[keycode]) plan.steps.push_back({keycode, true, Own::Consume});
  plan.steps.push_back({keycode, false, Own::Replay});
  released_[keycode] = true;
  send_steps(plan);
}

void Session::type(std::span<const os::KeyInput> batch) {
  if (batch.empty()) return;
  TypingState state;
  state.caps_lock = caps_lock_;
  for (unsigned kc = map_.min_keycode; kc <= map_.max_keycode; ++kc) {
    if (down_[kc] && !released_[kc] && (map_.modifiers[kc] & neutral_mask_) != 0) {
      state.held.push_back({static_cast<uint8_t>(kc), xtest_down_[kc]});
      released_[kc] = true;
    }
  }
  TypingPlan plan = spares_.plan(batch, map_, state, Clock::now());
  // A key the XTest device still holds (the Enter being typed again while
  // its press is held) would not go down again: it is let go first.
  std::array<bool, 256> held = xtest_down_;
  std::vector<TypingStep> steps;
  for (const TypingStep& s : plan.steps) {
    if (s.press && held[s.keycode]) steps.push_back({s.keycode, false, Own::Replay});
    held[s.keycode] = s.press;
    steps.push_back(s);
  }
  plan.steps = std::move(steps);
  for (const Remap& r : plan.remaps) {
    set_keysyms(r.keycode, r.keysym);
    g_typing_keys[r.keycode].store(true);
  }
  send_steps(plan);
}

void Session::send_steps(const TypingPlan& plan) {
  const auto now = Clock::now();
  if (host_options().trace) {
    std::string line = "type";
    for (const TypingStep& s : plan.steps) line += " " + std::to_string(s.keycode) + (s.press ? "v" : "^");
    trace(line);
  }
  for (const TypingStep& s : plan.steps) {
    account_.expect(s.keycode, s.press, s.own, now);
    xcb_test_fake_input(c_, s.press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, s.keycode, XCB_CURRENT_TIME, root_, 0, 0, 0);
  }
  xcb_flush(c_);
}

void Session::set_keysyms(uint8_t keycode, uint32_t keysym) {
  // The same symbol at both levels: Shift held does not change it.
  std::vector<xcb_keysym_t> syms(std::max<uint8_t>(map_.per_keycode, 2), 0);
  syms[0] = keysym;
  syms[1] = keysym;
  xcb_change_keyboard_mapping(c_, 1, keycode, static_cast<uint8_t>(syms.size()), syms.data());
  ++own_remaps_[keycode];
  if (keycode >= map_.min_keycode && keycode <= map_.max_keycode && map_.per_keycode > 0) {
    for (unsigned col = 0; col < map_.per_keycode; ++col) {
      map_.keysyms[(keycode - map_.min_keycode) * std::size_t{map_.per_keycode} + col] = col < 2 ? keysym : 0;
    }
  }
}

void Session::restore_spares(bool all) {
  const std::vector<uint8_t> keys = spares_.take_restore(Clock::now(), all);
  for (uint8_t kc : keys) {
    set_keysyms(kc, 0);
    g_typing_keys[kc].store(false);
  }
  if (!keys.empty()) xcb_flush(c_);
}

// Typing when no hook runs: a connection of its own, the characters' keys
// restored once every program has had time to read them.
void type_without_hook(std::vector<os::KeyInput> batch) {
  std::thread([batch = std::move(batch)] {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (c == nullptr || xcb_connection_has_error(c) != 0) {
      if (c != nullptr) xcb_disconnect(c);
      return;
    }
    const xcb_setup_t* setup = xcb_get_setup(c);
    CoreKeymap map;
    map.min_keycode = setup->min_keycode;
    map.max_keycode = setup->max_keycode;
    auto r = reply(xcb_get_keyboard_mapping_reply(
        c,
        xcb_get_keyboard_mapping(c, setup->min_keycode,
                                 static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1)),
        nullptr));
    if (r) {
      map.per_keycode = r->keysyms_per_keycode;
      const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r.get());
      map.keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(r.get()));
    }
    SpareKeys spares;
    spares.reset(map);
    const TypingPlan plan = spares.plan(batch, map, TypingState{}, Clock::now());
    const uint8_t width = std::max<uint8_t>(map.per_keycode, 2);
    for (const Remap& m : plan.remaps) {
      std::vector<xcb_keysym_t> syms(width, 0);
      syms[0] = syms[1] = m.keysym;
      xcb_change_keyboard_mapping(c, 1, m.keycode, width, syms.data());
    }
    for (const TypingStep& s : plan.steps) {
      xcb_test_fake_input(c, s.press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, s.keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    if (!plan.remaps.empty()) {
      std::this_thread::sleep_for(SpareKeys::kHoldTime);
      for (const Remap& m : plan.remaps) {
        std::vector<xcb_keysym_t> none(width, 0);
        xcb_change_keyboard_mapping(c, 1, m.keycode, width, none.data());
      }
      std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    xcb_disconnect(c);
  }).detach();
}

}  // namespace

// ---- Shared between the hook thread and the rest of the layer ----------------

void reserve_root_key(unsigned keycode, unsigned modifiers) {
  Reservations& r = reservations();
  std::unique_lock lock(r.mutex);
  r.keys.insert({static_cast<uint8_t>(keycode), static_cast<uint16_t>(modifiers)});
  const uint64_t version = ++r.version;
  {
    std::lock_guard session_lock(g_session_mutex);
    if (g_session == nullptr) {
      r.applied = version;
      return;
    }
    g_session->wake();
  }
  r.applied_cv.wait_for(lock, std::chrono::seconds(1), [&] { return r.applied >= version; });
}

void unreserve_root_key(unsigned keycode, unsigned modifiers) {
  Reservations& r = reservations();
  std::lock_guard lock(r.mutex);
  r.keys.erase({static_cast<uint8_t>(keycode), static_cast<uint16_t>(modifiers)});
  ++r.version;
  std::lock_guard session_lock(g_session_mutex);
  if (g_session != nullptr) {
    g_session->wake();
  } else {
    r.applied = r.version;
  }
}

std::optional<int16_t> hook_thread_key_state(uint32_t vk) {
  if (t_session == nullptr) return std::nullopt;
  return t_session->key_state(vk);
}

std::optional<unsigned> hook_thread_group() {
  if (t_session == nullptr) return std::nullopt;
  return t_session->group();
}

uint64_t watched_focus_generation() {
  std::lock_guard lock(g_session_mutex);
  return g_session != nullptr ? g_focus_generation.load() + 1 : 0;
}

bool is_typing_keycode(unsigned keycode) { return keycode < 256 && g_typing_keys[keycode].load(); }

void x11_send_input(std::span<const os::KeyInput> batch) {
  if (batch.empty()) return;
  if (t_session != nullptr) {
    t_session->queue_batch(batch);
    return;
  }
  {
    std::lock_guard lock(g_session_mutex);
    if (g_session != nullptr) {
      g_session->post_batch(std::vector<os::KeyInput>(batch.begin(), batch.end()));
      return;
    }
  }
  type_without_hook(std::vector<os::KeyInput>(batch.begin(), batch.end()));
}

// ---- The hook interface ------------------------------------------------------

std::optional<uintptr_t> LinuxKeyboardHook::install() {
  t_failure.clear();
  {
    // One hook at a time: a second would wait on the first one's grabs (a
    // hook thread that did not end in time may still hold them).
    std::lock_guard lock(g_session_mutex);
    if (g_session != nullptr) {
      t_failure = std::string(kKeysTaken);
      return std::nullopt;
    }
  }
  std::unique_ptr<Session> s = Session::open(t_failure);
  if (!s) {
    trace("keyboard hook: " + t_failure);
    return std::nullopt;
  }
  if (os::EventLoop* loop = os::platform().event_loop) start_accessible_focus(*loop);
  std::lock_guard lock(g_session_mutex);
  if (g_session != nullptr) {
    t_failure = std::string(kKeysTaken);
    return std::nullopt;
  }
  g_session = s.get();
  trace("keyboard hook: installed");
  return reinterpret_cast<uintptr_t>(s.release());
}

void LinuxKeyboardHook::uninstall(uintptr_t hook) {
  auto* s = reinterpret_cast<Session*>(hook);
  {
    std::lock_guard lock(g_session_mutex);
    if (g_session == s) g_session = nullptr;
  }
  delete s;
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
  Session* s = nullptr;
  {
    std::lock_guard lock(g_session_mutex);
    s = g_session;
  }
  if (s != nullptr && s->thread_id() == current_thread_id()) s->run();
}

void LinuxKeyboardHook::post_quit(uint32_t thread_id) {
  std::lock_guard lock(g_session_mutex);
  if (g_session != nullptr && g_session->thread_id() == thread_id) g_session->quit();
}

std::optional<std::string> LinuxKeyboardHook::failure_reason() {
  if (t_failure.empty()) return std::nullopt;
  return t_failure;
}

}  // namespace harvel::linux_host
