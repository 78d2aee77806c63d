// How the key guard types: the XTest key events for a batch of characters
// and keys. A character the active group has on a key is typed on that key
// (with Shift pressed or let go for it as needed); one it lacks on a spare
// keycode set to it (immune to Shift). Backspace, Return and Tab are typed
// on the keyboard's own keys, which every program knows.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/linux/keys/keymap.h"
#include "platform/linux/keys/link.h"
#include "platform/linux/keys/own_input.h"

namespace harvel::linux_host {

struct TypingStep {
  uint8_t keycode = 0;
  bool press = false;
  Own own = Own::Replay;
  bool operator==(const TypingStep&) const = default;
};

struct TypingPlan {
  std::vector<Remap> remaps;  // made before the steps
  std::vector<TypingStep> steps;
};

// A held key, and whether the XTest device holds it (then an XTest release
// lets it go; a key another keyboard holds takes an XTest press and release,
// as the server lets a key go only once every device has).
struct HeldKey {
  uint8_t keycode = 0;
  bool by_xtest = false;
};

// The server's keyboard as the burst starts.
struct TypingState {
  bool caps_lock = false;
  unsigned group = 0;
  std::vector<HeldKey> neutral;  // Ctrl, Alt, Super held: let go around the text
  std::vector<HeldKey> shift;    // Shift keys held
  std::array<bool, 256> down{};  // every key held, the modifiers above included
  std::array<bool, 256> xtest_down{};
};

TypingPlan plan_typing(std::span<const TypeItem> items, const CoreKeymap& map, SpareKeys& spares,
                       const TypingState& state);

}  // namespace harvel::linux_host
