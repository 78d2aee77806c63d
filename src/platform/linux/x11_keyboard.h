// The keyboard hook on X11, standing in for WH_KEYBOARD_LL and SendInput.
//
// Every key press reaches the hook through a synchronous passive grab on the
// root window, so the keyboard waits until the hook answers: ReplayKeyboard
// hands the press to the focused program as if no grab existed,
// AsyncKeyboard consumes it. Key releases are never grabbed; they arrive as
// XInput 2 raw events, which also carry the presses in the order the server
// saw them, so the two streams are merged back into one.
//
// Typing goes through XTest as one burst. Characters are typed on spare
// keycodes mapped to the character for the purpose (immune to Shift); the
// hook keeps an account of what it sent, so only its own events come back as
// its own.
//
// This header holds the pieces of that layer that need no X server (the
// event translation, the merge of the two streams, the account and the
// typing plan), for the layer and its tests.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/os.h"

namespace harvel::linux_host {

// X modifier bits.
inline constexpr uint16_t kShiftMask = 1 << 0;
inline constexpr uint16_t kLockMask = 1 << 1;
inline constexpr uint16_t kControlMask = 1 << 2;

inline constexpr uint32_t LLKHF_EXTENDED = 0x01;
inline constexpr uint32_t LLKHF_ALTDOWN = 0x20;
inline constexpr uint32_t LLKHF_UP = 0x80;

// ---- Event translation -------------------------------------------------------

// The hook event for a key: `vk` is the virtual key the layer chose for the
// keycode; Alt held (without Ctrl) makes it a system key as on Windows.
os::KeyEvent make_key_event(unsigned keycode, bool press, uint32_t vk, uint32_t time, bool alt_held, bool ctrl_held,
                            bool own);

// The virtual key of a keycode whose level-1 keysym in the active group is
// `keysym`: a Latin letter gives its own letter (as a Windows layout names
// its letter keys), everything else the key's US position.
uint32_t virtual_key_for(unsigned keycode, unsigned long keysym);

// ---- Our own input -----------------------------------------------------------

// What the hook does with one of its own presses when it comes back through
// the grab: hand it on (typed text) or consume it (the helper presses that
// only change the server's modifier state).
enum class Own : uint8_t { No, Replay, Consume };

// The events the layer has sent and not yet seen come back, in order. X
// events carry no sender, so a raw event counts as ours when it is the
// oldest one we are waiting for; entries the server never answers (a
// release it dropped) expire.
class OwnInputAccount {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kLifetime = std::chrono::milliseconds(1000);

  void expect(uint8_t keycode, bool press, Own action, Clock::time_point now);
  // Own::No when the event is not ours; else its action (the entry is used up).
  Own match(uint8_t keycode, bool press, Clock::time_point now);
  // Some of what we sent is still on its way.
  bool waiting(Clock::time_point now);
  bool empty() const { return entries_.empty(); }
  void clear() { entries_.clear(); }

 private:
  struct Entry {
    uint8_t keycode;
    bool press;
    Own action;
    Clock::time_point sent;
  };
  std::deque<Entry> entries_;
};

// ---- Merging the two event streams ------------------------------------------

// One event for the keyboard procedure, in the order the server saw it.
struct KeyDelivery {
  uint8_t keycode = 0;
  bool press = false;
  uint32_t time = 0;
  Own own = Own::No;
  bool grabbed = false;  // a press that came through the grab and waits for its answer
};

// Raw events arrive ahead of the grabbed presses (the grab waits for each
// answer), and a press that another client's grab took never comes through
// ours. The merge holds every raw event until the presses before it are
// settled: a press is settled when its grabbed copy arrives, or as not ours
// when a later press arrives first or the server has answered a round trip
// sent after it. A press that is not ours is left out with its release.
class KeyEventOrder {
 public:
  // `grabbed`: a press of this key comes through the grab too (the spare
  // keys that carry typed characters are not grabbed).
  void raw(uint8_t keycode, bool press, uint32_t time, Own own, std::vector<KeyDelivery>& out, bool grabbed = true);
  // A press through the grab; auto-repeat has no raw event of its own.
  void grabbed_press(uint8_t keycode, uint32_t time, std::vector<KeyDelivery>& out);
  // Numbers the raw events: a round trip sent now settles those up to `mark()`.
  uint64_t mark() const { return next_seq_; }
  void settle_up_to(uint64_t mark, std::vector<KeyDelivery>& out);
  // A press waits for its grabbed copy.
  bool waiting() const;
  void clear();

 private:
  struct Entry {
    uint64_t seq;
    uint8_t keycode;
    bool press;
    uint32_t time;
    Own own;
    bool waits = false;  // a press waiting for its grabbed copy
  };
  void flush(std::vector<KeyDelivery>& out);
  void settle_front(std::vector<KeyDelivery>& out);
  std::deque<Entry> pending_;
  std::array<bool, 256> not_ours_{};  // a press left out; its release is left out too
  uint64_t next_seq_ = 1;
};

// ---- Typing ------------------------------------------------------------------

// The server's core keyboard mapping.
struct CoreKeymap {
  uint8_t min_keycode = 8;
  uint8_t max_keycode = 255;
  uint8_t per_keycode = 0;
  std::vector<uint32_t> keysyms;         // (max - min + 1) * per_keycode
  std::array<uint8_t, 256> modifiers{};  // the modifier bits of each keycode

  uint32_t keysym(unsigned keycode, unsigned column) const;
  bool has_no_symbols(unsigned keycode) const;
  // The first keycode whose first keysym is `keysym`; 0 when none.
  unsigned keycode_of(uint32_t keysym) const;
};

// The keysym that types a character.
uint32_t keysym_for_char(char32_t c);

struct TypingStep {
  uint8_t keycode = 0;
  bool press = false;
  Own own = Own::Replay;
};

// A key the burst first sets to a keysym (at both levels).
struct Remap {
  uint8_t keycode = 0;
  uint32_t keysym = 0;
  bool operator==(const Remap&) const = default;
};

struct TypingPlan {
  std::vector<Remap> remaps;
  std::vector<TypingStep> steps;
};

// A held key that sets a modifier: released around typed text so the program
// does not see Ctrl, Alt or the Windows key with it.
struct HeldModifier {
  uint8_t keycode = 0;
  bool by_xtest = false;  // pressed through XTest, so an XTest release lets it go
};

// What the server's keyboard state is as the burst starts.
struct TypingState {
  bool caps_lock = false;
  std::vector<HeldModifier> held;
};

// The spare keycodes that carry typed characters. A keycode keeps its
// character while typing goes on (no keymap change for letters typed
// again); `restore_due` says when the keymap is to be left as found.
class SpareKeys {
 public:
  using Clock = std::chrono::steady_clock;
  // How long an idle keycode keeps its character: long enough for every
  // program to have read the changed keymap before it changes again.
  static constexpr auto kHoldTime = std::chrono::milliseconds(1500);

  // The keycodes with no symbols, highest first (programs and layouts leave
  // the top of the range empty). Forgets earlier assignments.
  void reset(const CoreKeymap& map);
  // Builds the steps for a SendInput batch. Each key's release comes after
  // the next key's press (as in quick typing), so a program reads the next
  // character without working through a release first: "Backspace, ş"
  // shows its letter one key event sooner.
  TypingPlan plan(std::span<const os::KeyInput> batch, const CoreKeymap& map, const TypingState& state,
                  Clock::time_point now);
  // The keycodes set since the last restore (to be given NoSymbol again).
  std::vector<uint8_t> take_restore(Clock::time_point now, bool all);
  std::optional<Clock::time_point> restore_due() const;
  // After a keymap change by another program: forget keycodes that no
  // longer hold our keysym (they are not ours to restore).
  void reconcile(const CoreKeymap& map);
  bool owns(unsigned keycode) const;
  // One of the spare keycodes, assigned or not.
  bool is_spare(unsigned keycode) const;
  std::vector<uint8_t> keycodes() const;
  std::size_t capacity() const { return slots_.size(); }

 private:
  struct Slot {
    uint8_t keycode = 0;
    uint32_t keysym = 0;  // 0: unassigned
    Clock::time_point used;
  };
  std::optional<uint8_t> key_for(uint32_t keysym, Clock::time_point now, std::vector<Remap>& remaps,
                                 const std::vector<uint8_t>& in_burst);
  std::vector<Slot> slots_;
};

// ---- Shared between the hook thread and the rest of the layer ----------------

// Grabs that another part of the program keeps on the root window itself
// (the global shortcut): the hook leaves these combinations alone. Waits
// for a running hook to let go of the key before returning.
void reserve_root_key(unsigned keycode, unsigned modifiers);
void unreserve_root_key(unsigned keycode, unsigned modifiers);

// The keyboard state a running hook knows on its own thread, so the
// procedure's GetKeyState needs no round trip to the server; none elsewhere.
std::optional<int16_t> hook_thread_key_state(uint32_t vk);
// The XKB group of the event the hook thread is deciding; none elsewhere.
std::optional<unsigned> hook_thread_group();

// Counts changes of the focus and of the active window that the running hook
// saw, so the foreground queries can keep their answers between them (the
// procedure asks them at every key); 0 while no hook runs.
uint64_t watched_focus_generation();
// The keycode is one the typing layer currently uses for a character.
bool is_typing_keycode(unsigned keycode);

// Types a SendInput batch: through the running hook (which counts it as its
// own), or on a connection of its own when none runs.
void x11_send_input(std::span<const os::KeyInput> batch);

}  // namespace harvel::linux_host
