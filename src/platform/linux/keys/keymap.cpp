#include "platform/linux/keys/keymap.h"

#include <algorithm>

namespace harvel::linux_host {

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

uint32_t CoreKeymap::level_keysym(unsigned keycode, unsigned group, unsigned level) const {
  if (group > 1 || level > 1) return 0;
  unsigned base = group * 2;
  if (group == 1 && keysym(keycode, 2) == 0 && keysym(keycode, 3) == 0) base = 0;
  const uint32_t plain = keysym(keycode, base);
  if (level == 0) return plain;
  const uint32_t shifted = keysym(keycode, base + 1);
  if (shifted != 0) return shifted;
  // A lone lower-case letter types its capital with Shift, as Xlib reads it.
  if (plain >= 'a' && plain <= 'z') return plain - 'a' + 'A';
  return plain;
}

uint32_t CoreKeymap::marked_keysym(unsigned keycode) const {
  if (per_keycode < 4) return 0;
  const uint32_t sym = keysym(keycode, 0);
  if (sym == 0) return 0;
  for (unsigned col = 1; col < per_keycode; ++col) {
    if (keysym(keycode, col) != (col < 4 ? sym : 0)) return 0;
  }
  return sym;
}

std::vector<uint32_t> marked_keysyms(uint32_t keysym, unsigned width) {
  std::vector<uint32_t> syms(std::max(width, 4u), 0);
  std::fill(syms.begin(), syms.begin() + 4, keysym);
  return syms;
}

std::optional<KeyPlace> key_place(const CoreKeymap& map, uint32_t keysym, unsigned group, bool shift_now,
                                  std::span<const bool> skip) {
  if (keysym == 0) return std::nullopt;
  std::optional<KeyPlace> other;
  for (unsigned kc = map.min_keycode; kc <= map.max_keycode; ++kc) {
    if (map.modifiers[kc] != 0 || (kc < skip.size() && skip[kc])) continue;
    const bool plain = map.level_keysym(kc, group, 0) == keysym;
    const bool shifted = map.level_keysym(kc, group, 1) == keysym;
    if (plain && shifted) return KeyPlace{static_cast<uint8_t>(kc), -1};
    if (plain || shifted) {
      const KeyPlace place{static_cast<uint8_t>(kc), static_cast<int8_t>(shifted ? 1 : 0)};
      if (shifted == shift_now) return place;
      if (!other) other = place;
    }
  }
  return other;
}

std::vector<Remap> SpareKeys::reset(const CoreKeymap& map, std::span<const uint32_t> kept) {
  slots_.clear();
  kept_.assign(kept.begin(), kept.end());
  uses_ = 0;
  // A few dozen keycodes are more than any burst needs.
  constexpr std::size_t kMaxSlots = 32;
  for (unsigned kc = map.max_keycode; kc >= map.min_keycode && slots_.size() < kMaxSlots; --kc) {
    if (map.modifiers[kc] != 0) continue;
    if (map.has_no_symbols(kc)) {
      slots_.push_back({static_cast<uint8_t>(kc), 0, false, 0});
    } else if (const uint32_t sym = map.marked_keysym(kc);
               sym != 0 && std::find(kept.begin(), kept.end(), sym) != kept.end()) {
      // A kept letter left by a copy that ended without giving it back:
      // ours again, and given back at stop. (Only those: a keyboard key
      // such as BackSpace can have one keysym in all four columns too.)
      const bool duplicate = std::any_of(slots_.begin(), slots_.end(), [&](const Slot& s) { return s.keysym == sym; });
      slots_.push_back({static_cast<uint8_t>(kc), duplicate ? 0u : sym, false, 0});
    }
  }
  std::vector<Remap> remaps;
  // A duplicate mark is cleared now: the keycode is free again.
  for (const Slot& s : slots_) {
    if (s.keysym == 0 && !map.has_no_symbols(s.keycode)) remaps.push_back({s.keycode, 0});
  }
  const std::vector<Remap> kept_remaps = assign_kept();
  remaps.insert(remaps.end(), kept_remaps.begin(), kept_remaps.end());
  return remaps;
}

std::vector<Remap> SpareKeys::assign_kept() {
  std::vector<Remap> remaps;
  for (Slot& s : slots_) {
    s.kept = std::find(kept_.begin(), kept_.end(), s.keysym) != kept_.end() && s.keysym != 0;
  }
  for (uint32_t sym : kept_) {
    if (std::any_of(slots_.begin(), slots_.end(), [&](const Slot& s) { return s.kept && s.keysym == sym; })) continue;
    const auto free = std::find_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.keysym == 0; });
    if (free == slots_.end()) break;
    free->keysym = sym;
    free->kept = true;
    remaps.push_back({free->keycode, sym});
  }
  return remaps;
}

std::optional<uint8_t> SpareKeys::key_for(uint32_t keysym, std::vector<Remap>& remaps,
                                          std::span<const uint8_t> in_use) {
  for (Slot& s : slots_) {
    if (s.keysym == keysym) {
      s.used = ++uses_;
      return s.keycode;
    }
  }
  Slot* pick = nullptr;
  for (Slot& s : slots_) {
    if (s.kept || std::find(in_use.begin(), in_use.end(), s.keycode) != in_use.end()) continue;
    if (s.keysym == 0) {
      pick = &s;
      break;
    }
    if (pick == nullptr || s.used < pick->used) pick = &s;
  }
  if (pick == nullptr) return std::nullopt;
  pick->keysym = keysym;
  pick->used = ++uses_;
  remaps.push_back({pick->keycode, keysym});
  return pick->keycode;
}

std::vector<Remap> SpareKeys::reconcile(const CoreKeymap& map) {
  std::vector<Slot> kept;
  for (const Slot& s : slots_) {
    if (s.keysym != 0 ? map.marked_keysym(s.keycode) == s.keysym : map.has_no_symbols(s.keycode)) kept.push_back(s);
  }
  slots_ = std::move(kept);
  SpareKeys fresh;
  fresh.reset(map, {});
  for (const Slot& s : fresh.slots_) {
    if (s.keysym == 0 && !is_spare(s.keycode)) slots_.push_back(s);
  }
  return assign_kept();
}

std::vector<uint8_t> SpareKeys::take_all() {
  std::vector<uint8_t> out;
  for (Slot& s : slots_) {
    if (s.keysym == 0) continue;
    out.push_back(s.keycode);
    s.keysym = 0;
    s.kept = false;
  }
  return out;
}

bool SpareKeys::is_spare(unsigned keycode) const {
  return std::any_of(slots_.begin(), slots_.end(), [&](const Slot& s) { return s.keycode == keycode; });
}

std::vector<uint8_t> SpareKeys::keycodes() const {
  std::vector<uint8_t> out;
  for (const Slot& s : slots_) out.push_back(s.keycode);
  return out;
}

}  // namespace harvel::linux_host
