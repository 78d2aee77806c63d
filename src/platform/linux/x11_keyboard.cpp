// The parts of the X11 keyboard layer that need no server: event
// translation, the account of our own input, the merge of the raw and the
// grabbed streams, and the typing plan.
#include "platform/linux/x11_keyboard.h"

#include <gdk/gdk.h>

#include <algorithm>

#include "keyboard/keyboard_proc.h"
#include "platform/linux/key_positions.h"
#include "platform/linux/linux_host.h"

namespace harvel::linux_host {

namespace {

constexpr uint32_t kVkPacket = 0xE7;  // the virtual key of typed characters

constexpr uint32_t kXkReturn = 0xFF0D;
constexpr uint32_t kXkTab = 0xFF09;
constexpr uint32_t kXkBackSpace = 0xFF08;
constexpr uint32_t kXkCapsLock = 0xFFE5;

}  // namespace

// ---- Event translation -------------------------------------------------------

os::KeyEvent make_key_event(unsigned keycode, bool press, uint32_t vk, uint32_t time, bool alt_held, bool ctrl_held,
                            bool own) {
  const KeyPosition pos = key_position(keycode);
  const bool system_key = alt_held && !ctrl_held;
  os::KeyEvent e;
  e.code = 0;
  e.message = press ? (system_key ? os::WM_SYSKEYDOWN : os::WM_KEYDOWN) : (system_key ? os::WM_SYSKEYUP : os::WM_KEYUP);
  e.vk_code = own && vk == 0 ? kVkPacket : vk;
  e.scan_code = pos.scan;
  e.flags = (pos.extended ? LLKHF_EXTENDED : 0) | (alt_held ? LLKHF_ALTDOWN : 0) | (press ? 0 : LLKHF_UP) |
            (own ? os::LLKHF_INJECTED : 0);
  e.time = time;
  e.extra_info = own ? kInjectedMarker : 0;
  return e;
}

uint32_t virtual_key_for(unsigned keycode, unsigned long keysym) {
  if (keysym >= 'a' && keysym <= 'z') return static_cast<uint32_t>(keysym - 'a' + 'A');
  if (keysym >= 'A' && keysym <= 'Z') return static_cast<uint32_t>(keysym);
  return key_position(keycode).vk;
}

// ---- Our own input -----------------------------------------------------------

void OwnInputAccount::expect(uint8_t keycode, bool press, Own action, Clock::time_point now) {
  entries_.push_back({keycode, press, action, now});
}

bool OwnInputAccount::waiting(Clock::time_point now) {
  while (!entries_.empty() && now - entries_.front().sent > kLifetime) entries_.pop_front();
  return !entries_.empty();
}

Own OwnInputAccount::match(uint8_t keycode, bool press, Clock::time_point now) {
  while (!entries_.empty() && now - entries_.front().sent > kLifetime) entries_.pop_front();
  // A helper press the server drops (its key was already down) never comes
  // back: the event may match past it.
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    if (e.keycode == keycode && e.press == press) {
      const Own action = e.action;
      entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      return action;
    }
    if (!(e.press && e.action == Own::Consume)) break;
  }
  return Own::No;
}

// ---- Merging the two event streams ------------------------------------------

void KeyEventOrder::raw(uint8_t keycode, bool press, uint32_t time, Own own, std::vector<KeyDelivery>& out,
                        bool grabbed) {
  pending_.push_back({next_seq_++, keycode, press, time, own, press && grabbed});
  flush(out);
}

void KeyEventOrder::flush(std::vector<KeyDelivery>& out) {
  while (!pending_.empty() && !pending_.front().waits) {
    const Entry e = pending_.front();
    pending_.pop_front();
    if (!e.press && not_ours_[e.keycode]) {
      not_ours_[e.keycode] = false;
      continue;
    }
    out.push_back({e.keycode, e.press, e.time, e.own, false});
  }
}

void KeyEventOrder::grabbed_press(uint8_t keycode, uint32_t time, std::vector<KeyDelivery>& out) {
  const auto it =
      std::find_if(pending_.begin(), pending_.end(), [&](const Entry& e) { return e.waits && e.keycode == keycode; });
  if (it == pending_.end()) {
    // Auto-repeat: the server repeats a held key without raw events.
    out.push_back({keycode, true, time, Own::No, true});
    return;
  }
  // Presses before it would have come through the grab first: another
  // client has them.
  while (pending_.begin() != it) settle_front(out);
  const Entry e = pending_.front();
  pending_.pop_front();
  not_ours_[e.keycode] = false;
  out.push_back({e.keycode, true, e.time, e.own, true});
  flush(out);
}

void KeyEventOrder::settle_front(std::vector<KeyDelivery>& out) {
  const Entry e = pending_.front();
  pending_.pop_front();
  if (e.waits) {
    not_ours_[e.keycode] = true;
  } else if (!e.press && not_ours_[e.keycode]) {
    not_ours_[e.keycode] = false;
  } else {
    out.push_back({e.keycode, e.press, e.time, e.own, false});
  }
}

void KeyEventOrder::settle_up_to(uint64_t mark, std::vector<KeyDelivery>& out) {
  while (!pending_.empty() && pending_.front().seq < mark) settle_front(out);
  flush(out);
}

bool KeyEventOrder::waiting() const { return !pending_.empty() && pending_.front().waits; }

void KeyEventOrder::clear() {
  pending_.clear();
  not_ours_.fill(false);
}

// ---- Typing ------------------------------------------------------------------

uint32_t CoreKeymap::keysym(unsigned keycode, unsigned column) const {
  if (keycode < min_keycode || keycode > max_keycode || column >= per_keycode) return 0;
  const std::size_t i = (keycode - min_keycode) * std::size_t{per_keycode} + column;
  return i < keysyms.size() ? keysyms[i] : 0;
}

bool CoreKeymap::has_no_symbols(unsigned keycode) const {
  if (keycode < min_keycode || keycode > max_keycode) return false;
  for (unsigned col = 0; col < per_keycode; ++col) {
    if (keysym(keycode, col) != 0) return false;
  }
  return true;
}

unsigned CoreKeymap::keycode_of(uint32_t sym) const {
  if (sym == 0) return 0;
  for (unsigned kc = min_keycode; kc <= max_keycode; ++kc) {
    if (keysym(kc, 0) == sym) return kc;
  }
  return 0;
}

uint32_t keysym_for_char(char32_t c) {
  if (c == U'\n' || c == U'\r') return kXkReturn;
  if (c == U'\t') return kXkTab;
  if (c == U'\b') return kXkBackSpace;
  if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return 0;
  // The classic keysym where there is one (older programs know only
  // those), else the Unicode keysym.
  return gdk_unicode_to_keyval(static_cast<guint32>(c));
}

void SpareKeys::reset(const CoreKeymap& map) {
  slots_.clear();
  // A few dozen keycodes are more than any burst needs.
  constexpr std::size_t kMaxSlots = 32;
  for (unsigned kc = map.max_keycode; kc >= map.min_keycode && slots_.size() < kMaxSlots; --kc) {
    if (map.has_no_symbols(kc) && map.modifiers[kc] == 0) slots_.push_back({static_cast<uint8_t>(kc), 0, {}});
  }
}

void SpareKeys::reconcile(const CoreKeymap& map) {
  std::vector<Slot> kept;
  for (const Slot& s : slots_) {
    if (s.keysym != 0 ? map.keysym(s.keycode, 0) == s.keysym : map.has_no_symbols(s.keycode)) kept.push_back(s);
  }
  slots_ = std::move(kept);
  SpareKeys fresh;
  fresh.reset(map);
  for (const Slot& s : fresh.slots_) {
    if (!owns(s.keycode) &&
        std::none_of(slots_.begin(), slots_.end(), [&](const Slot& k) { return k.keycode == s.keycode; })) {
      slots_.push_back(s);
    }
  }
}

bool SpareKeys::is_spare(unsigned keycode) const {
  return std::any_of(slots_.begin(), slots_.end(), [&](const Slot& s) { return s.keycode == keycode; });
}

std::vector<uint8_t> SpareKeys::keycodes() const {
  std::vector<uint8_t> out;
  for (const Slot& s : slots_) out.push_back(s.keycode);
  return out;
}

bool SpareKeys::owns(unsigned keycode) const {
  return std::any_of(slots_.begin(), slots_.end(),
                     [&](const Slot& s) { return s.keycode == keycode && s.keysym != 0; });
}

std::optional<uint8_t> SpareKeys::key_for(uint32_t keysym, Clock::time_point now, std::vector<Remap>& remaps,
                                          const std::vector<uint8_t>& in_burst) {
  for (Slot& s : slots_) {
    if (s.keysym == keysym) {
      s.used = now;
      return s.keycode;
    }
  }
  Slot* pick = nullptr;
  for (Slot& s : slots_) {
    if (std::find(in_burst.begin(), in_burst.end(), s.keycode) != in_burst.end()) continue;
    if (s.keysym == 0) {
      pick = &s;
      break;
    }
    if (pick == nullptr || s.used < pick->used) pick = &s;
  }
  if (pick == nullptr) return std::nullopt;
  pick->keysym = keysym;
  pick->used = now;
  remaps.push_back({pick->keycode, keysym});
  return pick->keycode;
}

TypingPlan SpareKeys::plan(std::span<const os::KeyInput> batch, const CoreKeymap& map, const TypingState& state,
                           Clock::time_point now) {
  TypingPlan plan;
  std::vector<uint8_t> in_burst;

  // Caps Lock would turn typed lower-case letters into capitals: it is
  // switched off around the text when any of them is lower case.
  bool caps_off = false;
  if (state.caps_lock) {
    for (const os::KeyInput& in : batch) {
      if ((in.flags & os::KEYEVENTF_UNICODE) == 0 || (in.scan >= 0xD800 && in.scan <= 0xDFFF)) continue;
      if (g_unichar_toupper(in.scan) != in.scan) caps_off = true;
    }
  }
  const auto caps_key = static_cast<uint8_t>(map.keycode_of(kXkCapsLock));
  if (caps_key == 0) caps_off = false;

  for (const HeldModifier& m : state.held) {
    if (!m.by_xtest) plan.steps.push_back({m.keycode, true, Own::Consume});
    plan.steps.push_back({m.keycode, false, Own::Replay});
  }
  auto caps_tap = [&] {
    plan.steps.push_back({caps_key, true, Own::Consume});
    plan.steps.push_back({caps_key, false, Own::Replay});
  };
  if (caps_off) caps_tap();

  char16_t high = 0;
  unsigned char_key = 0;  // the key of the character being typed; 0: none
  std::optional<TypingStep> release;  // held back until the next key is down
  auto flush_release = [&] {
    if (release) plan.steps.push_back(*release);
    release.reset();
  };
  for (const os::KeyInput& in : batch) {
    const bool up = (in.flags & os::KEYEVENTF_KEYUP) != 0;
    unsigned key = 0;
    if ((in.flags & os::KEYEVENTF_UNICODE) != 0) {
      const char16_t unit = in.scan;
      if (up) {
        if (unit >= 0xD800 && unit <= 0xDBFF) continue;  // the pair's key goes up with its low half
        key = char_key;
        char_key = 0;
      } else {
        char32_t c = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          high = unit;
          continue;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
          if (high == 0) continue;
          c = 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (unit - 0xDC00);
        }
        high = 0;
        const uint32_t sym = keysym_for_char(c);
        if (sym == 0) continue;
        if (const auto spare = key_for(sym, now, plan.remaps, in_burst)) {
          in_burst.push_back(*spare);
          key = *spare;
        } else {
          // More different characters than spare keys: a key that types it
          // (unshifted) is the next best thing.
          key = map.keycode_of(sym);
        }
        char_key = key;
      }
    } else {
      // Backspace, Enter, Tab on a spare key too: the keyboard's own keys
      // are grabbed, and each press would take a turn through the hook (and
      // the user may still hold the one typed again). The keyboard's key that
      // types the symbol is the fallback.
      const auto sym = static_cast<uint32_t>(keysym_for_vk(in.vk));
      if (sym != 0) {
        if (const auto spare = key_for(sym, now, plan.remaps, in_burst)) {
          in_burst.push_back(*spare);
          key = *spare;
        } else {
          const unsigned positional = keycode_for_position_vk(in.vk);
          key = positional != 0 && map.keysym(positional, 0) == sym ? positional : map.keycode_of(sym);
        }
      }
    }
    if (key == 0) continue;
    const TypingStep step{static_cast<uint8_t>(key), !up, Own::Replay};
    if (up) {
      flush_release();
      if (map.modifiers[key] == 0) {
        release = step;
      } else {
        plan.steps.push_back(step);
      }
    } else {
      // A key goes up before it goes down again, and before a modifier changes.
      if (release && (release->keycode == key || map.modifiers[key] != 0)) flush_release();
      plan.steps.push_back(step);
      flush_release();
    }
  }
  flush_release();
  if (caps_off) caps_tap();
  return plan;
}

std::vector<uint8_t> SpareKeys::take_restore(Clock::time_point now, bool all) {
  std::vector<uint8_t> out;
  const auto due = restore_due();
  if (!due || (!all && now < *due)) return out;
  for (Slot& s : slots_) {
    if (s.keysym == 0) continue;
    out.push_back(s.keycode);
    s.keysym = 0;
  }
  return out;
}

std::optional<SpareKeys::Clock::time_point> SpareKeys::restore_due() const {
  std::optional<Clock::time_point> last;
  for (const Slot& s : slots_) {
    if (s.keysym != 0 && (!last || s.used > *last)) last = s.used;
  }
  if (!last) return std::nullopt;
  return *last + kHoldTime;
}

}  // namespace harvel::linux_host
