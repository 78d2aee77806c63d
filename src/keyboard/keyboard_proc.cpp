#include "keyboard/keyboard_proc.h"

#include <array>
#include <chrono>
#include <utility>

#include "keyboard/foreground.h"
#include "keyboard/key_tables.h"

namespace harvel {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

constexpr uint32_t VK_BACK = 0x08;
constexpr uint32_t VK_TAB = 0x09;
constexpr uint32_t VK_RETURN = 0x0D;
constexpr uint32_t VK_SHIFT = 0x10;
constexpr uint32_t VK_CAPITAL = 0x14;
constexpr uint32_t VK_SPACE = 0x20;
constexpr uint32_t VK_LCONTROL = 0xA2;
constexpr uint32_t kPhantomCtrlScan = 0x21D;

constexpr uint32_t kToUnicodeKeepState = 4;
constexpr std::size_t kClassNameUnits = 64;
constexpr auto kForegroundCacheTime = std::chrono::milliseconds(250);
constexpr int64_t kFixLifetimeSeconds = 4;  // an offer is good while fewer whole seconds have passed

enum class Verdict { Pass, Swallow };

bool is_key_down(uint32_t message) { return message == os::WM_KEYDOWN || message == os::WM_SYSKEYDOWN; }
bool is_key_up(uint32_t message) { return message == os::WM_KEYUP || message == os::WM_SYSKEYUP; }

// Key-downs the procedure lets through without looking further: lock keys,
// the generic and sided modifiers, the Windows keys.
bool passes_at_once(uint32_t vk) {
  switch (vk) {
    case 0x90: case 0x91:
    case 0xA0: case 0xA1: case 0xA2: case 0xA3: case 0xA4: case 0xA5:
    case 0x10: case 0x11: case 0x12:
    case 0x14:
    case 0x5B: case 0x5C:
      return true;
    default:
      return false;
  }
}

bool offer_is_fresh(const FixOffer& offer, const HookState& state) {
  const auto age = os::platform().clock->now() - offer.created;
  return std::chrono::duration_cast<std::chrono::seconds>(age).count() < kFixLifetimeSeconds &&
         offer.generation == state.fg_generation;
}

// Each side of each modifier has its own flag: a key still held on one side
// keeps the modifier held when the other side's key goes up.
void set_modifier(HookState& s, uint32_t vk, bool down, bool phantom) {
  switch (vk) {
    case 0x10: s.neutral_shift = down; break;
    case 0x11: s.neutral_ctrl = down; break;
    case 0x12: s.neutral_alt = down; break;
    case 0xA0: s.lshift = down; break;
    case 0xA1: s.rshift = down; break;
    case 0xA2: if (!phantom) s.lctrl = down; break;
    case 0xA3: s.rctrl = down; break;
    case 0xA4: s.lalt = down; break;
    case 0xA5: s.ralt = down; break;
    case 0x5B: s.lwin = down; break;
    case 0x5C: s.rwin = down; break;
    default: break;
  }
}

bool is_modifier_key(uint32_t vk) {
  return (vk >= 0x10 && vk <= 0x12) || (vk >= 0xA0 && vk <= 0xA5) || vk == 0x5B || vk == 0x5C;
}

bool any_modifier_held(const HookState& s) { return shift_held(s) || ctrl_held(s) || alt_held(s) || win_held(s); }

void send_text(char32_t c) { send_replacement(Replacement{std::u32string(1, c), 0, std::nullopt}); }

bool converting_mode(Mode m) { return m == kModeFast || m == kModeHybrid; }

// A zero-mode key that ends the word without being text (Tab, Enter, a key
// whose character is a control character): with a restore to type, the key
// is swallowed and pressed again after the restored word.
Verdict end_word_with_key(HookState& s, uint32_t vk, char32_t c) {
  auto r = engine_feed_char(s.engine, c);
  if (!r) return Verdict::Pass;
  s.swallowed.insert(vk);
  send_replacement(Replacement{std::move(r->text), r->backspaces, static_cast<uint16_t>(vk)});
  return Verdict::Swallow;
}

Verdict decide(HookState& s, const os::KeyEvent& ev) {
  HookFlags& flags = hook_flags();
  const uint32_t vk = ev.vk_code;
  const bool down = is_key_down(ev.message);
  const bool up = is_key_up(ev.message);
  // One load: the row and its index must agree even if the starter stores
  // a new value meanwhile.
  const uint32_t stored_index = flags.hybrid_index.load(kRelaxed);
  const uint32_t hybrid_index = stored_index < kHybridKeyCount ? stored_index : 0;
  const HybridKeyDef& hybrid = hybrid_key_row(hybrid_index);
  const uint32_t hk = hybrid.vk;
  const bool phantom = hybrid_index == 0 && vk == VK_LCONTROL && ev.scan_code == kPhantomCtrlScan;

  // The hybrid key and the modifier flags.
  if (vk == hk && down) {
    s.hybrid_down = true;
    // Auto-repeat keeps to what the first key-down was: one the program got
    // stays the key it is, even where the mode has changed since.
    if (s.hybrid_held) return Verdict::Swallow;
    if (!s.hybrid_passed) {
      const Mode m = effective_mode(s);
      s.hybrid_used = false;
      if (converting_mode(m)) {
        s.hybrid_held = flags.layout_compatible.load(kRelaxed) != 0;
        if (s.hybrid_held) return Verdict::Swallow;
      }
      // It reaches the program, which takes it for the key it is (Right Alt
      // is Alt there, Right Shift a Shift).
      s.hybrid_passed = true;
      set_modifier(s, vk, true, false);
    }
  } else if (vk == hk && up) {
    s.hybrid_down = false;
    if (s.hybrid_passed) {
      s.hybrid_passed = false;
      set_modifier(s, vk, false, false);
    }
    if (s.hybrid_held) {
      s.hybrid_held = false;
      if (hybrid_index == kBackquoteHybridRow && !s.hybrid_used && hybrid.tap) {
        send_text(shift_held(s) ? hybrid.shifted_tap : *hybrid.tap);
      }
      return Verdict::Swallow;
    }
  } else if (vk != hk) {
    set_modifier(s, vk, down, phantom);
    // The left-Ctrl event that AltGr layouts send along with Right Alt; its
    // auto-repeat keeps to what its first key-down was.
    if (phantom) {
      if (down) {
        if (s.phantom_swallowed) return Verdict::Swallow;
        if (s.phantom_passed) return Verdict::Pass;
        const Mode m = effective_mode(s);
        s.phantom_swallowed = converting_mode(m) && flags.layout_compatible.load(kRelaxed) != 0;
        if (s.phantom_swallowed) return Verdict::Swallow;
        s.phantom_passed = true;
        return Verdict::Pass;
      }
      if (up) {
        s.phantom_passed = false;
        if (std::exchange(s.phantom_swallowed, false)) return Verdict::Swallow;
      }
    }
  }

  const bool shift = shift_held(s);
  const bool ctrl = ctrl_held(s);
  const bool alt = alt_held(s);
  const bool ctrl_alone = ctrl && !s.hybrid_down;

  if (up) {
    // A key-up is swallowed only when its key-down was: a key the program
    // got down must reach it up too.
    const bool reached = s.passed.erase(vk);
    Verdict verdict = s.swallowed.erase(vk) && !reached ? Verdict::Swallow : Verdict::Pass;
    if (s.pending_fix && !any_modifier_held(s)) {
      FixOffer fix = std::move(*s.pending_fix);
      s.pending_fix.reset();
      if (offer_is_fresh(fix, s)) {
        // Input typed here reaches the program before the key-up being
        // decided: with a modifier's key-up still to come, Backspace would
        // be Ctrl+Backspace. That key-up goes first, in the same batch.
        std::optional<KeyRelease> release;
        if (verdict == Verdict::Pass && is_modifier_key(vk)) {
          release = KeyRelease{static_cast<uint16_t>(vk), static_cast<uint16_t>(ev.scan_code),
                               (ev.flags & os::LLKHF_EXTENDED) != 0};
          verdict = Verdict::Swallow;
        }
        send_replacement(Replacement{std::move(fix.text), fix.backspaces, std::nullopt}, release);
      }
    }
    return verdict;
  }
  if (!down) return Verdict::Pass;
  if (passes_at_once(vk)) return Verdict::Pass;

  // An accepted fix is for the word just before the caret: any key pressed
  // before the modifiers are let go (Ctrl+Shift+Left, End) may move it, and
  // the fix is dropped. The Space's own auto-repeat is swallowed as it was.
  if (s.pending_fix) {
    if (vk == VK_SPACE && s.swallowed.contains(VK_SPACE)) return Verdict::Swallow;
    s.pending_fix.reset();
  }

  // The checker's fix shortcut: every key-down reaching here consumes the offer.
  if (s.fix_offer) {
    FixOffer offer = std::move(*s.fix_offer);
    s.fix_offer.reset();
    if (vk == VK_SPACE && ctrl && shift && !alt && !win_held(s) &&
        flags.fix_applied.load(kRelaxed) == 0 && offer_is_fresh(offer, s)) {
      s.swallowed.insert(VK_SPACE);
      s.pending_fix = std::move(offer);
      return Verdict::Swallow;
    }
  }

  const Mode m = effective_mode(s);
  const bool checker_on = flags.checker_on.load(kRelaxed) != 0;
  if (checker_on) flags.key_seq.fetch_add(1, std::memory_order_relaxed);
  if (!checker_on || m == kModeZero || m == kModeOff) checker_reset_word(s.tracker);

  if (m == kModeEnglish || m == kModeOff) {
    engine_reset(s.engine);
    s.last_mode = m;
    if (checker_on && m == kModeEnglish) checker_track_key(s, vk, shift);
    return Verdict::Pass;
  }
  if (converting_mode(m) && flags.layout_compatible.load(kRelaxed) == 0) return Verdict::Pass;
  const os::WindowHandle window = os::platform().foreground->foreground_window();
  if (focused_control_is_password(window)) {
    engine_reset(s.engine);
    return Verdict::Pass;
  }
  if (m != s.last_mode) {
    engine_reset(s.engine);
    s.last_mode = m;
  }

  if (m == kModeZero) {
    if (window != s.engine_window) {
      engine_reset(s.engine);
      s.engine_window = window;
    }
    // Zero mode has no use for the hybrid key, so any Ctrl, Alt or Windows
    // key chord is a shortcut: it types no text and ends the word.
    if (ctrl || alt || win_held(s)) {
      engine_reset(s.engine);
      return Verdict::Pass;
    }
    if (vk == VK_BACK) {
      engine_pop(s.engine);
      return Verdict::Pass;
    }
    if (vk == VK_TAB || vk == VK_RETURN) return end_word_with_key(s, vk, U'\n');
    const auto c = key_to_char(s, vk, shift);
    if (!c) {
      engine_reset(s.engine);
      return Verdict::Pass;
    }
    if (is_control_char(*c)) return end_word_with_key(s, vk, *c);
    auto r = engine_feed_char(s.engine, *c);
    if (!r) return Verdict::Pass;
    s.swallowed.insert(vk);
    if (r->append_typed) r->text.push_back(*c);
    send_replacement(Replacement{std::move(r->text), r->backspaces, std::nullopt});
    return Verdict::Swallow;
  }

  if (converting_mode(m)) {
    const bool caps = hybrid_index != kCapsHybridRow &&
                      (os::platform().keyboard->key_state(VK_CAPITAL) & 1) != 0;
    std::optional<char32_t> typed;
    if (m == kModeFast) {
      for (uint32_t slot = 0; slot < 4 && !typed; ++slot) {
        const FastKeyDef& row = FAST_KEYS[fast_slot_row(slot, flags.fast_indices[slot].load(kRelaxed))];
        if (row.vk != vk) continue;
        if (win_held(s) || ctrl_alone || alt) break;
        const bool upper = shift != (caps && row.letter);
        const NewLetter& letter = FAST_SLOT_LETTERS[slot];
        if (s.hybrid_down) {
          typed = upper ? row.upper : row.lower;
        } else {
          typed = upper ? letter.upper : letter.lower;
        }
      }
    } else if (s.hybrid_down && !win_held(s) && !ctrl_alone && !alt) {
      for (const HybridLetter& h : HYBRID_LETTERS) {
        if (h.vk == vk) typed = (shift != caps) ? h.letter.upper : h.letter.lower;
      }
    }
    if (typed) {
      if (checker_on) checker_feed_char(s.tracker, *typed);
      s.hybrid_used = true;
      s.swallowed.insert(vk);
      send_text(*typed);
      return Verdict::Swallow;
    }
  }

  if (checker_on) checker_track_key(s, vk, shift);
  return Verdict::Pass;
}

// The verdict, with the keys whose key-down reached the program noted.
Verdict decide_and_note(HookState& s, const os::KeyEvent& ev) {
  const Verdict verdict = decide(s, ev);
  if (verdict == Verdict::Pass && is_key_down(ev.message)) s.passed.insert(ev.vk_code);
  return verdict;
}

// A plain pointer: thread-local objects with destructors are run by the
// thread-exit cleanup of MinGW's thread library, which can stall under Wine.
// The hook thread frees its state itself when its message loop ends.
thread_local HookState* t_hook_state = nullptr;

}  // namespace

os::InputBatch build_replacement_batch(const Replacement& r, std::optional<KeyRelease> release_first) {
  os::InputBatch batch;
  if (r.backspaces > kMaxReplacementBackspaces) return batch;
  std::size_t units = 0;
  for (char32_t c : r.text) units += (c > 0xFFFF && c <= 0x10FFFF) ? 2 : 1;
  batch.reserve(2 * (static_cast<std::size_t>(r.backspaces) + units + (r.extra_key ? 1 : 0)) + 1);
  auto press = [&](uint16_t vk, uint16_t scan, uint32_t flags) {
    batch.push_back({vk, scan, flags, 0, kInjectedMarker});
    batch.push_back({vk, scan, flags | os::KEYEVENTF_KEYUP, 0, kInjectedMarker});
  };
  if (const auto& key = release_first) {
    const uint32_t extended = key->extended ? os::KEYEVENTF_EXTENDEDKEY : 0;
    batch.push_back({key->vk, key->scan, os::KEYEVENTF_KEYUP | extended, 0, kInjectedMarker});
  }
  for (uint64_t i = 0; i < r.backspaces; ++i) press(VK_BACK, 0, 0);
  for (char32_t c : r.text) {
    // Surrogates and values beyond Unicode cannot be typed: U+FFFD instead.
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    if (c > 0xFFFF) {
      const char32_t v = c - 0x10000;
      press(0, static_cast<uint16_t>(0xD800 + (v >> 10)), os::KEYEVENTF_UNICODE);
      press(0, static_cast<uint16_t>(0xDC00 + (v & 0x3FF)), os::KEYEVENTF_UNICODE);
    } else {
      press(0, static_cast<uint16_t>(c), os::KEYEVENTF_UNICODE);
    }
  }
  if (r.extra_key) press(*r.extra_key, 0, 0);
  return batch;
}

void send_replacement(const Replacement& r, std::optional<KeyRelease> release_first) {
  const os::InputBatch batch = build_replacement_batch(r, release_first);
  if (batch.empty()) return;
  os::platform().keyboard->send_input(batch);
}

os::HookResult low_level_keyboard_proc(HookState& state, const os::KeyEvent& event) {
  os::KeyboardInput& keyboard = *os::platform().keyboard;
  if (event.code != 0) return keyboard.call_next_hook(event);
  if ((event.flags & os::LLKHF_INJECTED) != 0 && event.extra_info == kInjectedMarker) {
    return keyboard.call_next_hook(event);
  }
  if (state.in_use) return keyboard.call_next_hook(event);
  state.in_use = true;
  // Nothing may unwind into the system's callback: a failure passes the event.
  Verdict verdict = Verdict::Pass;
  try {
    verdict = decide_and_note(state, event);
  } catch (...) {
    verdict = Verdict::Pass;
  }
  const os::HookResult result = verdict == Verdict::Swallow ? 1 : keyboard.call_next_hook(event);
  state.in_use = false;
  return result;
}

Mode effective_mode(HookState& state) {
  HookFlags& flags = hook_flags();
  if (flags.active.load(kRelaxed) == 0) return kModeOff;
  const Mode global = flags.mode.load(kRelaxed);
  std::unique_lock lock(flags.app_rules.mutex, std::try_to_lock);
  if (!lock.owns_lock() || flags.app_rules.rules.empty()) return global;
  refresh_foreground_cache(state);
  return lookup_app_rule_mode(global, flags.app_rules.rules, state.fg_exe);
}

Mode lookup_app_rule_mode(Mode fallback, std::span<const AppRuleEntry> rules, std::string_view exe) {
  for (const AppRuleEntry& rule : rules) {
    if (rule.exe == exe) return rule.mode;
  }
  return fallback;
}

void refresh_foreground_cache(HookState& state) {
  const os::Instant now = os::platform().clock->now();
  if (state.fg_checked && now - *state.fg_checked < kForegroundCacheTime) return;
  ForegroundApp app = foreground_app();
  if (app.exe != state.fg_exe) {
    ++state.fg_generation;
    state.fg_exe = std::move(app.exe);
  }
  state.fg_thread = app.thread;
  state.fg_checked = now;
}

std::optional<char32_t> key_to_char(HookState& state, uint32_t vk, bool shift) {
  if (vk > 0xFF) return std::nullopt;  // not a virtual-key code
  refresh_foreground_cache(state);
  os::KeyboardInput& keyboard = *os::platform().keyboard;
  const os::LayoutHandle layout = keyboard.keyboard_layout(state.fg_thread);
  std::array<uint8_t, 256> keys{};
  if (shift) keys[VK_SHIFT] = 0x80;
  if ((keyboard.key_state(VK_CAPITAL) & 1) != 0) keys[VK_CAPITAL] = 0x01;
  std::array<char16_t, 8> out{};
  const int n = keyboard.to_unicode(vk, 0, keys, out, kToUnicodeKeepState, layout);
  if (n != 1 || (out[0] >= 0xD800 && out[0] <= 0xDFFF)) return std::nullopt;
  return out[0];
}

bool focused_control_is_password() {
  return focused_control_is_password(os::platform().foreground->foreground_window());
}

bool focused_control_is_password(os::WindowHandle window) {
  os::Foreground& fg = *os::platform().foreground;
  uint32_t pid = 0;
  const uint32_t thread = window != 0 ? fg.window_thread_process_id(window, pid) : 0;
  const auto info = fg.gui_thread_info(thread);
  if (!info || info->focus == 0) return false;
  if ((fg.window_style(info->focus) & os::ES_PASSWORD) == 0) return false;
  const std::u16string name = fg.class_name(info->focus, kClassNameUnits);
  // "edit" anywhere in the class name, ASCII case-insensitive. Invalid units
  // would decode to U+FFFD, which never matches, so units compare directly.
  constexpr std::u16string_view kEdit = u"edit";
  if (name.size() < kEdit.size()) return false;
  for (std::size_t i = 0; i + kEdit.size() <= name.size(); ++i) {
    bool match = true;
    for (std::size_t j = 0; j < kEdit.size() && match; ++j) {
      char16_t u = name[i + j];
      if (u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u + 0x20);
      match = u == kEdit[j];
    }
    if (match) return true;
  }
  return false;
}

HookState& hook_thread_state() {
  if (!t_hook_state) t_hook_state = new HookState();
  return *t_hook_state;
}

void reset_hook_thread_state() {
  delete t_hook_state;
  t_hook_state = nullptr;
}

}  // namespace harvel
