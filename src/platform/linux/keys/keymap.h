// The server's core keymap as the key guard reads it, and the spare
// keycodes it sets to the characters the layout lacks.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace harvel::linux_host {

// X modifier bits.
inline constexpr uint16_t kShiftMask = 1 << 0;
inline constexpr uint16_t kLockMask = 1 << 1;
inline constexpr uint16_t kControlMask = 1 << 2;

// Keysyms the guard needs by name.
inline constexpr uint32_t kXkShiftL = 0xFFE1;
inline constexpr uint32_t kXkCapsLock = 0xFFE5;
inline constexpr uint32_t kXkNumLock = 0xFF7F;
inline constexpr uint32_t kXkLevel3Shift = 0xFE03;
inline constexpr uint32_t kXkModeSwitch = 0xFF7E;

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
  // The keysym of a key at level 0 (plain) or 1 (Shift) in group 0 or 1,
  // as XKB lays the first two groups out in the core columns; a key without
  // symbols of its own for group 1 wraps to group 0. 0 for the other groups.
  uint32_t level_keysym(unsigned keycode, unsigned group, unsigned level) const;
  // Our mark on a spare keycode: one keysym in the first four columns and
  // nothing else. The keysym, or 0 when the keycode does not carry it.
  uint32_t marked_keysym(unsigned keycode) const;
};

// The keysyms that set a keycode to `keysym` with our mark (for `width`
// columns, at least four); 0 gives it back with no symbols.
std::vector<uint32_t> marked_keysyms(uint32_t keysym, unsigned width);

// Where a character is typed on the keyboard's own keys.
struct KeyPlace {
  uint8_t keycode = 0;
  // The Shift state the key needs: 0 without, 1 with, -1 either.
  int8_t shift = -1;
};

// A key of the keymap that types `keysym` in `group` at level 0 or 1; keys
// that are modifiers, or in `skip`, do not count. Of two places, the one
// that needs `shift_now` comes first.
std::optional<KeyPlace> key_place(const CoreKeymap& map, uint32_t keysym, unsigned group, bool shift_now,
                                  std::span<const bool> skip = {});

// A key the guard sets to a keysym.
struct Remap {
  uint8_t keycode = 0;
  uint32_t keysym = 0;  // 0: given back (no symbols)
  bool operator==(const Remap&) const = default;
};

// The spare keycodes that carry typed characters the layout lacks. The
// kept letters get a keycode each for as long as the guard runs, so no
// program ever sees a key change just before its press; other characters
// take the remaining ones as they come and keep them too, the least
// recently used giving way when none is left. All are given back at stop.
class SpareKeys {
 public:
  // The keycodes with no symbols, highest first (programs and layouts leave
  // the top of the range empty), and the keycodes that still carry our mark
  // of a kept letter from a copy that ended without giving them back. The
  // kept letters are assigned; the keycodes to set for them are returned.
  std::vector<Remap> reset(const CoreKeymap& map, std::span<const uint32_t> kept);
  // The spare keycode for a keysym, assigned when it has none; the remap
  // this needs is added to `remaps`. None when every spare keycode is in
  // `in_use` (taken by the same burst) or kept.
  std::optional<uint8_t> key_for(uint32_t keysym, std::vector<Remap>& remaps, std::span<const uint8_t> in_use = {});
  // After a keymap change by another program: forget keycodes that no
  // longer carry our keysym (they are not ours to give back), take in new
  // empty ones, and set again the kept letters that lost their keycode.
  std::vector<Remap> reconcile(const CoreKeymap& map);
  // Every assigned keycode, forgotten: they are to be given back.
  std::vector<uint8_t> take_all();
  bool is_spare(unsigned keycode) const;
  std::vector<uint8_t> keycodes() const;
  std::size_t capacity() const { return slots_.size(); }

 private:
  struct Slot {
    uint8_t keycode = 0;
    uint32_t keysym = 0;  // 0: unassigned
    bool kept = false;
    uint64_t used = 0;  // order of last use
  };
  std::vector<Remap> assign_kept();
  std::vector<Slot> slots_;
  std::vector<uint32_t> kept_;
  uint64_t uses_ = 0;
};

}  // namespace harvel::linux_host
