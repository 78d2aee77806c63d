#include "platform/linux/keys/guard.h"

#include <poll.h>
#include <sys/socket.h>
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
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/keys/key_positions.h"
#include "platform/linux/keys/keymap.h"
#include "platform/linux/keys/link.h"
#include "platform/linux/keys/own_input.h"
#include "platform/linux/keys/typing.h"

namespace harvel::linux_host {

namespace {

using Clock = std::chrono::steady_clock;

// How long the keyboard may wait for a verdict before the key is passed on
// unanswered, and how many such keys in a row let the grabs go.
constexpr auto kAnswerTimeout = std::chrono::milliseconds(300);
constexpr int kStallsBeforeLettingGo = 4;

constexpr uint32_t kAnyModifier = XCB_INPUT_MODIFIER_MASK_ANY;
constexpr uint32_t kAnyKeycode = 0;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T>
Reply<T> reply(T* r) {
  return Reply<T>(r, &std::free);
}

bool tracing() {
  static const bool on = [] {
    const char* v = std::getenv("HARVEL_HOST_TRACE");
    return v != nullptr && std::strcmp(v, "1") == 0;
  }();
  return on;
}

void trace(const std::string& line) {
  if (tracing()) std::fprintf(stderr, "harvel-keys: %s\n", line.c_str());
}

using Reserved = std::set<ReservedKey>;

class Guard {
 public:
  Guard(int link, std::vector<uint32_t> kept) : link_(link), kept_(std::move(kept)) {}
  ~Guard();
  std::optional<Failure> setup();
  void run();

 private:
  // ---- The link to the hook thread ----
  bool send(std::span<const uint8_t> packet);
  template <typename T>
  bool send_message(const T& m) {
    return send(std::span(reinterpret_cast<const uint8_t*>(&m), sizeof(T)));
  }
  // Reads what the hook thread sent; false once the link has closed.
  bool read_link();
  void handle_packet(std::span<const uint8_t> p, uint64_t waiting_for, std::optional<std::vector<TypeItem>>& verdict,
                     bool& swallow);
  std::optional<std::pair<bool, std::vector<TypeItem>>> wait_verdict(uint64_t id, Clock::time_point deadline);
  void hook_answered();
  // The key event was handed on longer ago than a verdict may take.
  bool stale(uint64_t id) const;

  // ---- The keyboard ----
  void read_keymap();
  void read_modifiers();
  void set_keysym(uint8_t keycode, uint32_t keysym);
  void apply_remaps(const std::vector<Remap>& remaps);
  void refresh_group();
  void tell_spares();
  void grab_all(xcb_window_t window, const Reserved& reserved);
  void grab_keycode(xcb_window_t window, uint8_t keycode, const Reserved& reserved);
  void ungrab_all(xcb_window_t window);
  bool letters_taken_on_root();
  void follow_focus();
  void apply_reservations();
  void let_go_of_keys();

  // Events are read into read_ with the time they came, then handled.
  void read_events(bool queued_only);
  void handle_read_events();
  void handle(xcb_generic_event_t* e, Clock::time_point seen);
  // When an event of server time `time`, read at `seen`, happened: a frozen
  // keyboard queues its events, so they come late, but with their time.
  Clock::time_point pressed_at(uint32_t time, Clock::time_point seen);
  void deliver(std::vector<KeyDelivery>& deliveries);
  void answer(bool consume, uint32_t time, uint16_t device);
  void type(std::span<const TypeItem> items);
  void send_steps(const std::vector<TypingStep>& steps);
  void neutralise(uint8_t keycode);
  void check_sync();
  uint32_t vk_for(uint8_t keycode) const;
  // A key of the two is held; `for_the_program`: and not let go by us.
  bool held(uint32_t vk_left, uint32_t vk_right, bool for_the_program = false) const;
  KeyState key_state() const;

  int link_;
  std::vector<uint32_t> kept_;
  bool link_open_ = true;
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kMaxPacket);

  xcb_connection_t* c_ = nullptr;
  xcb_window_t root_ = 0;
  uint8_t xi_opcode_ = 0;
  std::vector<uint16_t> keyboards_;      // the master keyboards
  std::vector<uint16_t> xtest_devices_;  // the XTest keyboards
  bool xkb_ = false;

  CoreKeymap map_;
  uint8_t neutral_mask_ = 0;  // modifiers let go around typed text (not Shift, locks or level 3)
  uint8_t numlock_mask_ = 0;
  SpareKeys spares_;
  OwnInputAccount account_;
  KeyEventOrder order_;
  Reserved reserved_;  // the root window's combinations that are not ours
  uint64_t reserved_version_ = 0;
  bool reservations_changed_ = false;
  Reserved grabbed_around_;       // the reservations the root grabs leave out
  xcb_window_t grab_window_ = 0;  // where the grabs are
  xcb_atom_t active_window_atom_ = 0;

  std::array<bool, 256> down_{};            // held, by what the user's devices sent
  std::array<bool, 256> xtest_down_{};      // held on the XTest device
  std::array<bool, 256> released_{};        // held, but let go by us for typed text
  std::array<bool, 256> undo_lock_{};       // a swallowed lock key: its toggle is undone at release
  std::array<uint16_t, 256> own_remaps_{};  // our keymap changes whose notice is still to come
  std::array<uint32_t, 256> press_vk_{};    // the virtual key each held key was pressed as
  unsigned group_ = 0;                      // the keyboard group of the last press
  bool caps_lock_ = false;
  bool num_lock_ = false;

  std::deque<std::pair<xcb_generic_event_t*, Clock::time_point>> read_;
  // Our clock's milliseconds less the server's: the least seen is when an
  // event came at once.
  std::optional<int64_t> server_offset_;
  uint64_t next_id_ = 0;
  std::deque<std::pair<uint64_t, Clock::time_point>> sent_;  // recent key events and when they went
  int stalls_ = 0;
  bool let_go_ = false;  // the hook thread stopped answering: no grabs

  // A round trip that settles raw presses no grab of ours delivered.
  std::optional<xcb_get_input_focus_cookie_t> sync_;
  uint64_t sync_mark_ = 0;
  bool grabbed_since_sync_ = false;
};

// ---- Set-up and the loop ----------------------------------------------------

std::optional<Failure> Guard::setup() {
  int screen = 0;
  // A busy server can turn a connection away for a moment: a few tries.
  for (int attempt = 0;; ++attempt) {
    c_ = xcb_connect(nullptr, &screen);
    if (c_ != nullptr && xcb_connection_has_error(c_) == 0) break;
    if (c_ != nullptr) xcb_disconnect(c_);
    c_ = nullptr;
    if (attempt == 4 || std::getenv("DISPLAY") == nullptr) {
      trace("cannot connect to the display");
      return Failure::NoDisplay;
    }
    usleep(20000u << attempt);
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
  for (int i = 0; i < screen && it.rem > 0; ++i) xcb_screen_next(&it);
  if (it.rem == 0) return Failure::NoDisplay;
  root_ = it.data->root;

  const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(c_, &xcb_test_id);
  const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c_, &xcb_input_id);
  if (xtest == nullptr || !xtest->present || xi == nullptr || !xi->present) return Failure::NoExtensions;
  xi_opcode_ = xi->major_opcode;
  // Raw events reach the root window while a grab is active from 2.1 on.
  auto version = reply(xcb_input_xi_query_version_reply(c_, xcb_input_xi_query_version(c_, 2, 2), nullptr));
  if (!version || version->major_version < 2 || (version->major_version == 2 && version->minor_version < 1)) {
    return Failure::NoExtensions;
  }

  // The master keyboards, whose presses the grabs take, and the XTest
  // keyboards, whose held keys an XTest release lets go.
  if (auto devices =
          reply(xcb_input_xi_query_device_reply(c_, xcb_input_xi_query_device(c_, XCB_INPUT_DEVICE_ALL), nullptr))) {
    for (auto d = xcb_input_xi_query_device_infos_iterator(devices.get()); d.rem > 0;
         xcb_input_xi_device_info_next(&d)) {
      const std::string name(xcb_input_xi_device_info_name(d.data),
                             static_cast<std::size_t>(xcb_input_xi_device_info_name_length(d.data)));
      if (d.data->type == XCB_INPUT_DEVICE_TYPE_MASTER_KEYBOARD) keyboards_.push_back(d.data->deviceid);
      if (d.data->type == XCB_INPUT_DEVICE_TYPE_SLAVE_KEYBOARD && name.find("XTEST") != std::string::npos) {
        xtest_devices_.push_back(d.data->deviceid);
      }
    }
  }
  if (keyboards_.empty()) return Failure::NoExtensions;
  if (const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(c_, &xcb_xkb_id);
      xkb != nullptr && xkb->present) {
    auto r = reply(xcb_xkb_use_extension_reply(c_, xcb_xkb_use_extension(c_, 1, 0), nullptr));
    xkb_ = r && r->supported;
  }

  struct {
    xcb_input_event_mask_t head;
    uint32_t mask;
  } select{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE |
               XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
  if (xcb_generic_error_t* e = xcb_request_check(c_, xcb_input_xi_select_events_checked(c_, root_, 1, &select.head))) {
    std::free(e);
    return Failure::NoExtensions;
  }
  if (letters_taken_on_root()) return Failure::KeysTaken;
  // The program sends the combinations that are not ours first of all.
  pollfd first{link_, POLLIN, 0};
  if (poll(&first, 1, 5000) > 0) {
    const ssize_t n = recv(link_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
    std::optional<std::vector<TypeItem>> none;
    bool swallow = false;
    if (n > 0) handle_packet(std::span(buffer_.data(), static_cast<std::size_t>(n)), 0, none, swallow);
  }

  read_keymap();
  read_modifiers();
  apply_remaps(spares_.reset(map_, kept_));

  // Focus changes of the root's children are seen on the root window while
  // it holds the focus; else on the focus window itself. The root's
  // properties name the active window.
  if (auto r = reply(xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, 18, "_NET_ACTIVE_WINDOW"), nullptr))) {
    active_window_atom_ = r->atom;
  }
  const uint32_t root_events = XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &root_events);
  follow_focus();
  // Everything above is in place before the hook thread is told so.
  std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
  tell_spares();
  return std::nullopt;
}

Guard::~Guard() {
  if (c_ != nullptr && xcb_connection_has_error(c_) == 0) {
    const std::vector<uint8_t> given_back = spares_.take_all();
    for (uint8_t kc : given_back) set_keysym(kc, 0);
    if (!given_back.empty()) refresh_group();
    // Closing the connection ends every grab; the round trip makes sure the
    // restored keymap went out first.
    std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
  }
  if (c_ != nullptr) xcb_disconnect(c_);
}

void Guard::read_events(bool queued_only) {
  const auto now = Clock::now();
  while (xcb_generic_event_t* e = queued_only ? xcb_poll_for_queued_event(c_) : xcb_poll_for_event(c_)) {
    read_.emplace_back(e, now);
  }
}

void Guard::handle_read_events() {
  while (!read_.empty()) {
    const auto [e, seen] = read_.front();
    read_.pop_front();
    handle(e, seen);
    std::free(e);
  }
}

void Guard::run() {
  while (link_open_) {
    read_events(false);
    handle_read_events();
    if (xcb_connection_has_error(c_) != 0) break;  // the server went away
    check_sync();
    apply_reservations();
    if (order_.waiting() && !sync_) {
      sync_ = xcb_get_input_focus(c_);
      sync_mark_ = order_.mark();
      grabbed_since_sync_ = false;
    }
    xcb_flush(c_);
    // A reply read above may have brought events along.
    read_events(true);
    if (!read_.empty()) continue;
    pollfd fds[2] = {{xcb_get_file_descriptor(c_), POLLIN, 0}, {link_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
    if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !read_link()) break;
  }
}

// ---- The link ---------------------------------------------------------------

bool Guard::send(std::span<const uint8_t> packet) {
  // Never blocks: a hook thread that has stopped reading must not stop the
  // guard. What does not fit is dropped (its key goes on unanswered).
  for (;;) {
    const ssize_t n = ::send(link_, packet.data(), packet.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) return true;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) link_open_ = false;
    return false;
  }
}

bool Guard::read_link() {
  std::optional<std::vector<TypeItem>> none;
  bool swallow = false;
  for (;;) {
    const ssize_t n = recv(link_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
    if (n > 0) {
      handle_packet(std::span(buffer_.data(), static_cast<std::size_t>(n)), 0, none, swallow);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return link_open_;
    link_open_ = false;  // closed by the program, or the program is gone
    return false;
  }
}

void Guard::handle_packet(std::span<const uint8_t> p, uint64_t waiting_for,
                          std::optional<std::vector<TypeItem>>& verdict, bool& swallow) {
  const std::optional<Msg> kind = message_type(p);
  if (!kind) return;
  switch (*kind) {
    case Msg::Verdict:
      if (auto v = read_items<VerdictHeader, TypeItem>(p)) {
        hook_answered();
        // A verdict for a key passed on already comes too late: dropped,
        // with what it would have typed.
        if (v->first.id == waiting_for && waiting_for != 0) {
          swallow = v->first.swallow != 0;
          verdict = std::move(v->second);
        }
      }
      break;
    case Msg::Type:
      if (auto t = read_items<TypeHeader, TypeItem>(p)) {
        hook_answered();
        // What a key's decision typed comes too late once the user has
        // typed on for as long as a verdict may take: it would land in the
        // wrong place.
        if (t->first.key == 0 || !stale(t->first.key)) {
          type(t->second);
        } else {
          trace("typing of key event " + std::to_string(t->first.key) + " dropped: too late");
        }
      }
      break;
    case Msg::Reserve:
      if (auto r = read_items<ReserveHeader, ReservedKey>(p)) {
        reserved_ = Reserved(r->second.begin(), r->second.end());
        reserved_version_ = r->first.version;
        reservations_changed_ = true;
      }
      break;
    default:
      break;
  }
}

std::optional<std::pair<bool, std::vector<TypeItem>>> Guard::wait_verdict(uint64_t id, Clock::time_point deadline) {
  std::optional<std::vector<TypeItem>> verdict;
  bool swallow = false;
  while (link_open_) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd fds[2] = {{link_, POLLIN, 0}, {xcb_get_file_descriptor(c_), POLLIN, 0}};
    const int r = poll(fds, 2, static_cast<int>(left));
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    // The server's events are read as they come, so each later key's wait
    // counts from when it was pressed; they are handled after this one.
    if ((fds[1].revents & POLLIN) != 0) read_events(false);
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    for (;;) {
      const ssize_t n = recv(link_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
      if (n > 0) {
        handle_packet(std::span(buffer_.data(), static_cast<std::size_t>(n)), id, verdict, swallow);
        if (verdict) return std::pair{swallow, std::move(*verdict)};
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) link_open_ = false;
      break;
    }
  }
  return std::nullopt;
}

bool Guard::stale(uint64_t id) const {
  for (const auto& [sent_id, when] : sent_) {
    if (sent_id == id) return Clock::now() - when > kAnswerTimeout;
  }
  return true;  // older than any kept
}

void Guard::hook_answered() {
  stalls_ = 0;
  if (!let_go_) return;
  // The hook thread answers again: the grabs come back.
  let_go_ = false;
  grab_window_ = 0;
  follow_focus();
  trace("the hook answers again: keys grabbed");
}

void Guard::let_go_of_keys() {
  let_go_ = true;
  if (grab_window_ != 0) ungrab_all(grab_window_);
  trace("the hook does not answer: keys let go");
}

// ---- The keymap -------------------------------------------------------------

void Guard::read_keymap() {
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

void Guard::read_modifiers() {
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

void Guard::set_keysym(uint8_t keycode, uint32_t keysym) {
  // The keysym in both groups at both levels (Shift and the group do not
  // change it), which is also our mark on the keycode.
  const std::vector<xcb_keysym_t> syms = marked_keysyms(keysym, map_.per_keycode);
  const auto width = static_cast<uint8_t>(syms.size());
  xcb_change_keyboard_mapping(c_, 1, keycode, width, syms.data());
  ++own_remaps_[keycode];
  if (keycode >= map_.min_keycode && keycode <= map_.max_keycode && map_.per_keycode > 0) {
    for (unsigned col = 0; col < map_.per_keycode; ++col) {
      map_.keysyms[(keycode - map_.min_keycode) * std::size_t{map_.per_keycode} + col] = syms[col];
    }
  }
}

void Guard::apply_remaps(const std::vector<Remap>& remaps) {
  if (remaps.empty()) return;
  for (const Remap& r : remaps) set_keysym(r.keycode, r.keysym);
  refresh_group();
  tell_spares();
}

void Guard::refresh_group() {
  // Qt types in the first group after any keymap change until the group
  // changes again: a locked group other than the first is set to the first
  // and back, which every program then reads again.
  if (!xkb_) return;
  auto state = reply(xcb_xkb_get_state_reply(c_, xcb_xkb_get_state(c_, XCB_XKB_ID_USE_CORE_KBD), nullptr));
  if (!state || state->lockedGroup == 0) return;
  xcb_xkb_latch_lock_state(c_, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, 0, 0, 0, 0);
  xcb_xkb_latch_lock_state(c_, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, state->lockedGroup, 0, 0, 0);
}

void Guard::tell_spares() {
  SparesMessage m;
  for (uint8_t kc : spares_.keycodes())
    m.keycodes[kc / 8] = static_cast<uint8_t>(m.keycodes[kc / 8] | (1u << (kc % 8)));
  send_message(m);
}

// ---- Grabs ------------------------------------------------------------------

void Guard::grab_keycode(xcb_window_t window, uint8_t keycode, const Reserved& reserved) {
  // Another client holds some combinations of this key on the window: every
  // other one is ours.
  std::vector<uint32_t> mods;
  const auto first = reserved.lower_bound({keycode, 0});
  if (first == reserved.end() || first->keycode != keycode) {
    mods.push_back(kAnyModifier);
  } else {
    for (uint32_t m = 0; m < 256; ++m) {
      if (!reserved.contains({keycode, static_cast<uint16_t>(m)})) mods.push_back(m);
    }
  }
  const uint32_t mask = XCB_INPUT_XI_EVENT_MASK_KEY_PRESS;
  for (uint16_t device : keyboards_) {
    const xcb_input_xi_passive_grab_device_cookie_t cookie = xcb_input_xi_passive_grab_device(
        c_, XCB_CURRENT_TIME, window, XCB_NONE, keycode, device, static_cast<uint16_t>(mods.size()), 1,
        XCB_INPUT_GRAB_TYPE_KEYCODE, XCB_INPUT_GRAB_MODE_22_SYNC, XCB_INPUT_GRAB_MODE_22_ASYNC, 0, &mask, mods.data());
    xcb_discard_reply(c_, cookie.sequence);
  }
}

void Guard::grab_all(xcb_window_t window, const Reserved& reserved) {
  const uint32_t mask = XCB_INPUT_XI_EVENT_MASK_KEY_PRESS;
  if (reserved.empty()) {
    // One request for every key when nobody holds any of them here.
    bool all = true;
    for (uint16_t device : keyboards_) {
      auto r = reply(xcb_input_xi_passive_grab_device_reply(
          c_,
          xcb_input_xi_passive_grab_device(c_, XCB_CURRENT_TIME, window, XCB_NONE, kAnyKeycode, device, 1, 1,
                                           XCB_INPUT_GRAB_TYPE_KEYCODE, XCB_INPUT_GRAB_MODE_22_SYNC,
                                           XCB_INPUT_GRAB_MODE_22_ASYNC, 0, &mask, &kAnyModifier),
          nullptr));
      // The window went away, or another client holds a key of it.
      if (!r || r->num_modifiers != 0) all = false;
    }
    if (all) {
      // The spare keys that carry our typed characters are no keys of the
      // keyboard: they go to the program without a round through the hook.
      for (uint8_t kc : spares_.keycodes()) {
        for (uint16_t device : keyboards_) {
          xcb_input_xi_passive_ungrab_device(c_, window, kc, device, 1, XCB_INPUT_GRAB_TYPE_KEYCODE, &kAnyModifier);
        }
      }
      return;
    }
    ungrab_all(window);
  }
  for (unsigned kc = map_.min_keycode; kc <= map_.max_keycode; ++kc) {
    if (!spares_.is_spare(kc)) grab_keycode(window, static_cast<uint8_t>(kc), reserved);
  }
}

void Guard::ungrab_all(xcb_window_t window) {
  // The window may be gone: errors of these requests are ignored.
  for (uint16_t device : keyboards_) {
    xcb_input_xi_passive_ungrab_device(c_, window, kAnyKeycode, device, 1, XCB_INPUT_GRAB_TYPE_KEYCODE, &kAnyModifier);
  }
}

// A client that grabs the plain letters on the root window takes them
// before any grab of ours could.
bool Guard::letters_taken_on_root() {
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

// The grabs sit on the window that has the input focus and move with it. A
// grab on that very window activates without focus events (a grab on the
// root window would tell the focused program, at every key, that it lost
// and regained the focus), and the root window's own grabs (the window
// manager's Alt+Tab, the global shortcut) are found before ours, so their
// keys go on reaching them. Only while no window has the focus do the grabs
// sit on the root window, around the combinations others hold there.
void Guard::follow_focus() {
  send_message(Msg::Focus);
  auto focus = reply(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
  if (!focus) return;
  // No focus, PointerRoot or the root itself: the root window.
  const xcb_window_t target = focus->focus > XCB_INPUT_FOCUS_POINTER_ROOT ? focus->focus : root_;
  if (target == grab_window_) return;
  if (grab_window_ != 0) {
    ungrab_all(grab_window_);
    if (grab_window_ != root_) {
      const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
      xcb_change_window_attributes(c_, grab_window_, XCB_CW_EVENT_MASK, &none);
    }
  }
  grab_window_ = target;
  if (target != root_) {
    // Focus leaving it (or the window going away) moves the grabs on.
    const uint32_t events = XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c_, target, XCB_CW_EVENT_MASK, &events);
  }
  grabbed_around_ = reserved_;
  if (!let_go_) grab_all(target, target == root_ ? grabbed_around_ : Reserved{});
  trace("grabs on window " + std::to_string(target));
}

void Guard::apply_reservations() {
  if (!reservations_changed_) return;
  reservations_changed_ = false;
  // Grabs on another window do not stand in the way of the root's.
  if (grab_window_ == root_ && !let_go_) {
    std::set<uint8_t> changed;
    for (const auto& k : reserved_) {
      if (!grabbed_around_.contains(k)) changed.insert(k.keycode);
    }
    for (const auto& k : grabbed_around_) {
      if (!reserved_.contains(k)) changed.insert(k.keycode);
    }
    for (uint8_t kc : changed) {
      for (uint16_t device : keyboards_) {
        xcb_input_xi_passive_ungrab_device(c_, root_, kc, device, 1, XCB_INPUT_GRAB_TYPE_KEYCODE, &kAnyModifier);
      }
      grab_keycode(root_, kc, reserved_);
    }
    // The other grab is made only after ours are gone.
    std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
  }
  grabbed_around_ = reserved_;
  send_message(AppliedMessage{Msg::Applied, reserved_version_});
}

// ---- Events -----------------------------------------------------------------

void Guard::handle(xcb_generic_event_t* e, Clock::time_point seen) {
  const uint8_t type = e->response_type & 0x7F;
  std::vector<KeyDelivery> deliveries;
  if (type == XCB_FOCUS_IN || type == XCB_FOCUS_OUT) {
    // A grab's focus events (a menu's) do not move the focus.
    const auto* f = reinterpret_cast<xcb_focus_in_event_t*>(e);
    if (f->mode == XCB_NOTIFY_MODE_NORMAL || f->mode == XCB_NOTIFY_MODE_WHILE_GRABBED) follow_focus();
  } else if (type == XCB_PROPERTY_NOTIFY) {
    const auto* p = reinterpret_cast<xcb_property_notify_event_t*>(e);
    if (p->window == root_ && p->atom == active_window_atom_) send_message(Msg::Focus);
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
        // The spare keys the hook thread knows change even with nothing to set.
        const std::vector<Remap> remaps = spares_.reconcile(map_);
        apply_remaps(remaps);
        if (remaps.empty()) tell_spares();
        // The spare keys may be others now: the grabs are made anew.
        grab_window_ = 0;
        follow_focus();
      }
    }
  } else if (type == XCB_GE_GENERIC) {
    const auto* ge = reinterpret_cast<xcb_ge_generic_event_t*>(e);
    if (ge->extension != xi_opcode_) return;
    if (ge->event_type == XCB_INPUT_KEY_PRESS) {
      const auto* k = reinterpret_cast<xcb_input_key_press_event_t*>(e);
      group_ = k->group.effective & 3;
      caps_lock_ = (k->mods.locked & kLockMask) != 0;
      num_lock_ = numlock_mask_ != 0 && (k->mods.locked & numlock_mask_) != 0;
      grabbed_since_sync_ = true;
      order_.grabbed_press(static_cast<uint8_t>(k->detail), k->time, deliveries, k->deviceid,
                           pressed_at(k->time, seen));
      deliver(deliveries);
    } else if (ge->event_type == XCB_INPUT_RAW_BUTTON_PRESS) {
      // A click can move the focus within a program (the wheel's buttons,
      // 4 and up, cannot).
      const auto* raw = reinterpret_cast<xcb_input_raw_button_press_event_t*>(e);
      if (raw->detail >= 1 && raw->detail <= 3) send_message(Msg::Pointer);
    } else if (ge->event_type == XCB_INPUT_RAW_KEY_PRESS || ge->event_type == XCB_INPUT_RAW_KEY_RELEASE) {
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
      order_.raw(kc, press, raw->time, own, deliveries, !spares_.is_spare(kc), pressed_at(raw->time, seen));
      deliver(deliveries);
    }
  }
}

Clock::time_point Guard::pressed_at(uint32_t time, Clock::time_point seen) {
  const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(seen.time_since_epoch()).count();
  const int64_t offset = ms - time;
  if (!server_offset_ || offset < *server_offset_) server_offset_ = offset;
  // The server's milliseconds wrap: the age is their difference.
  const auto age = static_cast<int32_t>(static_cast<uint32_t>(ms - *server_offset_) - time);
  return age > 0 ? seen - std::chrono::milliseconds(age) : seen;
}

void Guard::deliver(std::vector<KeyDelivery>& deliveries) {
  for (const KeyDelivery& d : deliveries) {
    if (d.own != Own::No) {
      // Our own typing: handed on (text), or consumed (the presses that
      // only change the server's modifier state). The procedure passes
      // injected input of its own anyway.
      if (d.press && d.grabbed) answer(d.own == Own::Consume, d.time, d.device);
      continue;
    }
    if (d.press) press_vk_[d.keycode] = vk_for(d.keycode);
    KeyMessage m;
    m.keycode = d.keycode;
    m.press = d.press;
    m.waits = d.press && d.grabbed && !let_go_;
    m.alt_held = held(0xA4, 0xA5);
    m.ctrl_held = held(0xA2, 0xA3);
    m.chord = held(0xA2, 0xA3, true) || held(0xA4, 0xA5, true);
    m.vk = press_vk_[d.keycode] != 0 ? press_vk_[d.keycode] : vk_for(d.keycode);
    m.time = d.time;
    m.id = ++next_id_;
    m.state = key_state();
    const bool sent = send_message(m);
    sent_.emplace_back(m.id, Clock::now());
    if (sent_.size() > 256) sent_.pop_front();
    if (!m.waits) {
      // A press the grabs took just before they were let go.
      if (d.press && d.grabbed) answer(false, d.time, d.device);
      if (!d.press && undo_lock_[d.keycode]) {
        undo_lock_[d.keycode] = false;
        // The press toggled the lock although no program saw it: toggle back.
        send_steps({{d.keycode, true, Own::Consume}, {d.keycode, false, Own::Replay}});
        if ((map_.modifiers[d.keycode] & kLockMask) != 0) caps_lock_ = !caps_lock_;
      }
      continue;
    }
    auto verdict = sent ? wait_verdict(m.id, d.seen + kAnswerTimeout) : std::nullopt;
    if (!verdict) {
      // The hook thread has not answered in time: the key goes on as if no
      // hook were there, and what the hook makes of it later is dropped.
      // After a few, the grabs go first, so the keys queued behind this one
      // go on without them.
      if (++stalls_ >= kStallsBeforeLettingGo && !let_go_) let_go_of_keys();
      answer(false, d.time, d.device);
      send_message(LateMessage{Msg::Late, m.id});
      trace("key " + std::to_string(d.keycode) + " passed on unanswered");
      continue;
    }
    const auto& [swallow, items] = *verdict;
    // A press that reaches us while our typing is still on its way was
    // pressed before that typing was queued: passed on now, it would land
    // in front of the text typed for an earlier key. It is typed again
    // behind that text instead. (A modifier's place does not matter to
    // typed text, which no modifier changes: it goes on at once.)
    const bool ahead_of_typing = map_.modifiers[d.keycode] == 0 && account_.waiting(Clock::now());
    if (ahead_of_typing && !swallow) {
      answer(true, d.time, d.device);
      // A key still held is let go first, or the server would drop the
      // press (a keyboard's key takes an XTest press and release).
      std::vector<TypingStep> again;
      if (down_[d.keycode] || xtest_down_[d.keycode]) {
        if (!xtest_down_[d.keycode]) again.push_back({d.keycode, true, Own::Consume});
        again.push_back({d.keycode, false, Own::Replay});
      }
      again.push_back({d.keycode, true, Own::Replay});
      again.push_back({d.keycode, false, Own::Replay});
      send_steps(again);
    } else {
      answer(swallow, d.time, d.device);
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
    }
    type(items);
    if (tracing()) {
      trace("key " + std::to_string(d.keycode) + (swallow ? " swallowed" : " passed") +
            (ahead_of_typing ? " ahead" : "") + " group " + std::to_string(group_) + " typed " +
            std::to_string(items.size()));
    }
  }
  deliveries.clear();
}

void Guard::answer(bool consume, uint32_t time, uint16_t device) {
  if (consume) {
    // Ending the grab the press activated consumes it, and what we type
    // next reaches the focused program. (AsyncDevice first would let the
    // server run the queued keys before the ungrab, and a queued press
    // that activated the grab again would be let go by it unanswered.)
    xcb_input_xi_ungrab_device(c_, time, device);
  } else {
    xcb_input_xi_allow_events(c_, time, device, XCB_INPUT_EVENT_MODE_REPLAY_DEVICE, 0, 0);
  }
  xcb_flush(c_);
}

void Guard::neutralise(uint8_t keycode) {
  std::vector<TypingStep> steps;
  if (!xtest_down_[keycode]) steps.push_back({keycode, true, Own::Consume});
  steps.push_back({keycode, false, Own::Replay});
  released_[keycode] = true;
  send_steps(steps);
}

void Guard::type(std::span<const TypeItem> items) {
  if (items.empty()) return;
  TypingState state;
  state.caps_lock = caps_lock_;
  state.group = group_;
  for (unsigned kc = map_.min_keycode; kc <= map_.max_keycode; ++kc) {
    state.down[kc] = (down_[kc] && !released_[kc]) || xtest_down_[kc];
    state.xtest_down[kc] = xtest_down_[kc];
    if (!down_[kc] || released_[kc]) continue;
    const uint8_t mods = map_.modifiers[kc];
    if ((mods & neutral_mask_) != 0) {
      state.neutral.push_back({static_cast<uint8_t>(kc), xtest_down_[kc]});
      released_[kc] = true;
    } else if ((mods & kShiftMask) != 0) {
      state.shift.push_back({static_cast<uint8_t>(kc), xtest_down_[kc]});
    }
  }
  const TypingPlan plan = plan_typing(items, map_, spares_, state);
  apply_remaps(plan.remaps);
  send_steps(plan.steps);
}

void Guard::send_steps(const std::vector<TypingStep>& steps) {
  const auto now = Clock::now();
  if (tracing()) {
    std::string line = "type";
    for (const TypingStep& s : steps) line += " " + std::to_string(s.keycode) + (s.press ? "v" : "^");
    trace(line);
  }
  for (const TypingStep& s : steps) {
    account_.expect(s.keycode, s.press, s.own, now);
    xcb_test_fake_input(c_, s.press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, s.keycode, XCB_CURRENT_TIME, root_, 0, 0, 0);
  }
  xcb_flush(c_);
}

void Guard::check_sync() {
  if (!sync_) return;
  xcb_get_input_focus_reply_t* r = nullptr;
  xcb_generic_error_t* error = nullptr;
  if (xcb_poll_for_reply(c_, sync_->sequence, reinterpret_cast<void**>(&r), &error) == 0) return;
  std::free(r);
  std::free(error);
  sync_.reset();
  // Events read together with the reply came before it.
  read_events(true);
  handle_read_events();
  if (grabbed_since_sync_) return;  // the server was still answering our grabs: ask again
  std::vector<KeyDelivery> deliveries;
  order_.settle_up_to(sync_mark_, deliveries);
  deliver(deliveries);
}

uint32_t Guard::vk_for(uint8_t keycode) const {
  uint32_t sym = map_.level_keysym(keycode, group_, 0);
  if (sym == 0) sym = map_.keysym(keycode, 0);
  return virtual_key_for(keycode, sym);
}

bool Guard::held(uint32_t vk_left, uint32_t vk_right, bool for_the_program) const {
  for (unsigned kc = map_.min_keycode; kc <= map_.max_keycode; ++kc) {
    if (!down_[kc] || (for_the_program && released_[kc])) continue;
    const uint32_t vk = key_position(kc).vk;
    if (vk == vk_left || vk == vk_right) return true;
  }
  return false;
}

KeyState Guard::key_state() const {
  KeyState s;
  s.caps_lock = caps_lock_;
  s.num_lock = num_lock_;
  s.group = static_cast<uint8_t>(group_);
  for (unsigned kc = map_.min_keycode; kc <= map_.max_keycode; ++kc) {
    if (!down_[kc]) continue;
    const uint32_t position = key_position(kc).vk;
    s.set_down(position);
    s.set_down(press_vk_[kc] != 0 ? press_vk_[kc] : vk_for(static_cast<uint8_t>(kc)));
    if (position == 0xA0 || position == 0xA1) s.set_down(0x10);
    if (position == 0xA2 || position == 0xA3) s.set_down(0x11);
    if (position == 0xA4 || position == 0xA5) s.set_down(0x12);
  }
  return s;
}

}  // namespace

// Reads and drops what the program sent, until it closes its end or
// `deadline`: a socket closed with unread data resets the link, and the
// program would lose what was sent to it last.
void drain_until_closed(int link_fd, Clock::time_point deadline) {
  std::vector<uint8_t> buffer(kMaxPacket);
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd fd{link_fd, POLLIN, 0};
    if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0) return;
    const ssize_t n = recv(link_fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
  }
}

int run_key_guard(int link_fd, std::vector<uint32_t> kept) {
  Guard guard(link_fd, std::move(kept));
  if (const std::optional<Failure> failure = guard.setup()) {
    FailedMessage m;
    m.failure = *failure;
    ::send(link_fd, &m, sizeof(m), MSG_NOSIGNAL);
    // The program closes the link once it has read why.
    drain_until_closed(link_fd, Clock::now() + std::chrono::seconds(5));
    return 1;
  }
  const Msg ready = Msg::Ready;
  if (::send(link_fd, &ready, sizeof(ready), MSG_NOSIGNAL) < 0) return 1;
  guard.run();
  return 0;
}

}  // namespace harvel::linux_host
