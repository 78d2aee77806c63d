// The realtime checker's word tracker: rebuilds the word being typed from the
// keys the keyboard procedure lets through, and keeps the one-shot fix offer
// that Ctrl+Shift+Space applies.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os.h"

namespace harvel {

struct HookState;

struct WordTracker {};

// A fix the shortcut Ctrl+Shift+Space may type: erase `backspaces`
// characters, then type `text`.
struct FixOffer {
  std::u32string text;  // the suggestion, followed by the word's terminator when it has one
  os::Instant created{};
  uint64_t backspaces = 0;
  uint32_t generation = 0;  // the foreground generation when the word started
  bool operator==(const FixOffer&) const = default;
};

// One key-down the keyboard procedure let through unconverted.
void checker_track_key(HookState& state, uint32_t vk, bool shift);
// One character into the tracker (the keyboard procedure drops the result).
void checker_feed_char(WordTracker& tracker, char32_t ch);
// Forgets the current word; the fix offer is kept.
void checker_reset_word(WordTracker& tracker);

}  // namespace harvel
