// The low-level keyboard procedure: decides every keyboard event of the
// desktop (pass, swallow, or swallow and type something else), converting in
// the fast, hybrid and zero modes and applying the checker's fix shortcut.
// It never waits for a lock: it reads the hook flags and its own per-thread
// state. Also the owner of the replacement input format.
#pragma once

#include <bitset>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "checker/word_tracker.h"
#include "core/mode.h"
#include "keyboard/digraph.h"
#include "keyboard/hook_flags.h"
#include "platform/os.h"

namespace harvel {

// dwExtraInfo of every input the program injects, so the hook knows its own.
inline constexpr uintptr_t kInjectedMarker = 0x55A7;

// A set of virtual-key codes (0 to 255) without allocation.
class VkSet {
 public:
  bool contains(uint32_t vk) const { return vk < 256 && bits_.test(vk); }
  void insert(uint32_t vk) {
    if (vk < 256) bits_.set(vk);
  }
  // True when the key was in the set.
  bool erase(uint32_t vk) {
    if (!contains(vk)) return false;
    bits_.reset(vk);
    return true;
  }
  bool empty() const { return bits_.none(); }

 private:
  std::bitset<256> bits_;
};

// The hook thread's own state; a fresh one has nothing held or pending.
struct HookState {
  bool in_use = false;  // re-entry guard
  DigraphEngine engine;
  // Owned by the realtime checker.
  WordTracker tracker;
  uint32_t word_start_gen = 0;
  std::optional<os::Instant> last_post;
  std::optional<FixOffer> fix_offer;
  // The foreground cache.
  std::string fg_exe;
  uint32_t fg_thread = 0;
  uint32_t fg_generation = 0;  // wraps; bumped when fg_exe changes
  std::optional<os::Instant> fg_checked;
  // Accepted by Ctrl+Shift+Space; typed at the key-up that leaves no
  // modifier held, dropped by any other key pressed before that.
  std::optional<FixOffer> pending_fix;
  VkSet swallowed;  // keys whose key-down was swallowed: their key-up is swallowed too
  VkSet passed;     // keys whose key-down reached the program: their key-up always does
  bool lshift = false;
  bool rshift = false;
  bool lctrl = false;
  bool rctrl = false;
  bool lalt = false;
  bool ralt = false;
  bool lwin = false;
  bool rwin = false;
  // Held through the neutral codes VK_SHIFT, VK_CONTROL and VK_MENU, which
  // other programs' injected input and on-screen keyboards send.
  bool neutral_shift = false;
  bool neutral_ctrl = false;
  bool neutral_alt = false;
  bool hybrid_down = false;        // the hybrid key is physically down
  bool hybrid_held = false;        // its key-down was swallowed: it acts as a modifier
  bool hybrid_used = false;        // a letter was typed while it was held
  bool hybrid_passed = false;      // its key-down reached the program: it counts as the modifier it is
  bool phantom_swallowed = false;  // the phantom left-Ctrl key-down was swallowed
  bool phantom_passed = false;     // the phantom left-Ctrl key-down reached the program
  Mode last_mode = kModeOff;
  // The foreground window of the zero-mode word: a key in another window
  // starts a new word, since that window never got the word's start.
  os::WindowHandle engine_window = 0;
};

// The modifiers as the foreground program sees them, whichever code or side
// holds them.
inline bool shift_held(const HookState& s) { return s.lshift || s.rshift || s.neutral_shift; }
inline bool ctrl_held(const HookState& s) { return s.lctrl || s.rctrl || s.neutral_ctrl; }
inline bool alt_held(const HookState& s) { return s.lalt || s.ralt || s.neutral_alt; }
inline bool win_held(const HookState& s) { return s.lwin || s.rwin; }

// A key's release, as the program must get it: its virtual key and scan
// code, and whether it is an extended key.
struct KeyRelease {
  uint16_t vk = 0;
  uint16_t scan = 0;
  bool extended = false;
  bool operator==(const KeyRelease&) const = default;
};

// A request to type: `backspaces` Backspaces, then `text`, then `extra_key`.
struct Replacement {
  std::u32string text;
  uint64_t backspaces = 0;
  std::optional<uint16_t> extra_key;
};

// More Backspaces than any word can need: a larger request is refused whole
// rather than building a huge input batch.
inline constexpr uint64_t kMaxReplacementBackspaces = 4096;

// The INPUT batch for a replacement: Backspace presses, each UTF-16 unit of
// the text as a Unicode key press, then the extra key; all marked as ours.
// `release_first` goes before them: the modifier whose key-up the request is
// made for, which the program would otherwise get after them.
os::InputBatch build_replacement_batch(const Replacement& r, std::optional<KeyRelease> release_first = {});
// Sends the batch in one SendInput call; nothing when it is empty.
void send_replacement(const Replacement& r, std::optional<KeyRelease> release_first = {});

// The hook callback's body for one event: the next hook's result when the
// event passes, 1 when it is swallowed.
os::HookResult low_level_keyboard_proc(HookState& state, const os::KeyEvent& event);

// The mode for the current key: MODE, or the foreground program's rule;
// 255 when conversion is off.
Mode effective_mode(HookState& state);
// Refreshes fg_exe, fg_thread and fg_generation at most every 250 ms.
void refresh_foreground_cache(HookState& state);
// The mode of the first rule whose exe equals `exe` exactly, else `fallback`.
Mode lookup_app_rule_mode(Mode fallback, std::span<const AppRuleEntry> rules, std::string_view exe);
// The character the foreground window's layout gives for the key, or none.
std::optional<char32_t> key_to_char(HookState& state, uint32_t vk, bool shift);
// The focused control of the foreground window is a password box.
bool focused_control_is_password();
// The same for a foreground window the caller already has.
bool focused_control_is_password(os::WindowHandle foreground);

// The calling thread's own HookState, created empty on first use; the real
// hook callback, which gets no context pointer, uses it.
HookState& hook_thread_state();
// Replaces the calling thread's state by a fresh one (when its message loop ends).
void reset_hook_thread_state();

}  // namespace harvel
