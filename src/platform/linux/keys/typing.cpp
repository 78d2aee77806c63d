#include "platform/linux/keys/typing.h"

#include <map>
#include <optional>

namespace harvel::linux_host {

namespace {

// Where one press of the batch goes.
struct Target {
  uint8_t keycode = 0;
  int8_t shift = -1;  // the Shift state the key needs; -1 either
  bool spare = false;
};

class Steps {
 public:
  Steps(const TypingState& state, std::vector<TypingStep>& out)
      : out_(out), down_(state.down), xtest_down_(state.xtest_down) {}

  // A key goes down; one that is down already is let go first, or the
  // server would drop the press.
  void press(uint8_t keycode, Own own = Own::Replay) {
    if (down_[keycode]) let_go(keycode);
    out_.push_back({keycode, true, own});
    down_[keycode] = xtest_down_[keycode] = true;
  }
  void release(uint8_t keycode) {
    out_.push_back({keycode, false, Own::Replay});
    down_[keycode] = xtest_down_[keycode] = false;
  }
  // Lets go of a held key, whichever device holds it.
  void let_go(uint8_t keycode) {
    if (!xtest_down_[keycode]) out_.push_back({keycode, true, Own::Consume});
    out_.push_back({keycode, false, Own::Replay});
    down_[keycode] = xtest_down_[keycode] = false;
  }

 private:
  std::vector<TypingStep>& out_;
  std::array<bool, 256> down_;
  std::array<bool, 256> xtest_down_;
};

uint8_t shift_keycode(const CoreKeymap& map) {
  if (const unsigned kc = map.keycode_of(kXkShiftL)) return static_cast<uint8_t>(kc);
  for (unsigned kc = map.min_keycode; kc <= map.max_keycode; ++kc) {
    if ((map.modifiers[kc] & kShiftMask) != 0) return static_cast<uint8_t>(kc);
  }
  return 0;
}

}  // namespace

TypingPlan plan_typing(std::span<const TypeItem> items, const CoreKeymap& map, SpareKeys& spares,
                       const TypingState& state) {
  TypingPlan plan;
  std::array<bool, 256> spare_keys{};
  for (uint8_t kc : spares.keycodes()) spare_keys[kc] = true;

  // Where each press goes, and whether Caps Lock must be off for the text:
  // it would capitalise a lower-case letter, and toolkits disagree on what
  // Shift and Caps Lock together make of a letter key.
  std::vector<std::optional<Target>> targets(items.size());
  std::vector<uint8_t> in_burst;
  bool caps_off = false;
  bool shift_now = !state.shift.empty();
  for (std::size_t i = 0; i < items.size(); ++i) {
    const TypeItem& item = items[i];
    if (!item.press()) continue;
    if (item.key()) {
      if (const unsigned kc = map.keycode_of(item.keysym)) targets[i] = Target{static_cast<uint8_t>(kc), -1, false};
      continue;
    }
    if (const auto place = key_place(map, item.keysym, state.group, shift_now, spare_keys)) {
      targets[i] = Target{place->keycode, place->shift, false};
      if (place->shift >= 0) shift_now = place->shift == 1;
      caps_off = caps_off || item.cased();
    } else if (const auto kc = spares.key_for(item.keysym, plan.remaps, in_burst)) {
      in_burst.push_back(*kc);
      targets[i] = Target{*kc, -1, true};
      caps_off = caps_off || item.lower();
    }
  }
  const unsigned caps_key = map.keycode_of(kXkCapsLock);
  caps_off = caps_off && state.caps_lock && caps_key != 0;

  Steps steps(state, plan.steps);
  for (const HeldKey& m : state.neutral) steps.let_go(m.keycode);
  auto caps_tap = [&] {
    steps.press(static_cast<uint8_t>(caps_key), Own::Consume);
    steps.release(static_cast<uint8_t>(caps_key));
  };
  if (caps_off) caps_tap();

  // Each key's release comes after the next key's press (as in quick
  // typing), so a program reads the next character without working through
  // a release first: "Backspace, ş" shows its letter one key event sooner.
  std::optional<uint8_t> release;
  auto flush_release = [&] {
    if (release) steps.release(*release);
    release.reset();
  };

  // Shift as the text needs it; the user's own Shift keys are let go for a
  // character that needs it off, and pressed again after.
  const uint8_t own_shift = shift_keycode(map);
  bool shift_down = !state.shift.empty();
  bool users_let_go = false;
  bool ours_down = false;
  auto set_shift = [&](bool want) {
    if (want == shift_down) return;
    flush_release();
    if (want) {
      if (users_let_go) {
        for (const HeldKey& k : state.shift) steps.press(k.keycode, Own::Consume);
        users_let_go = false;
      } else if (own_shift != 0) {
        steps.press(own_shift, Own::Consume);
        ours_down = true;
      }
    } else if (ours_down) {
      steps.release(own_shift);
      ours_down = false;
    } else {
      for (const HeldKey& k : state.shift) steps.let_go(k.keycode);
      users_let_go = true;
    }
    shift_down = want;
  };

  std::map<uint32_t, uint8_t> pressed;  // the key of each keysym typed
  for (std::size_t i = 0; i < items.size(); ++i) {
    const TypeItem& item = items[i];
    if (item.press()) {
      const std::optional<Target>& t = targets[i];
      if (!t) continue;
      if (t->shift >= 0) set_shift(t->shift == 1);
      if (release && *release == t->keycode) flush_release();
      steps.press(t->keycode);
      flush_release();
      pressed[item.keysym] = t->keycode;
    } else {
      const auto it = pressed.find(item.keysym);
      if (it == pressed.end()) continue;
      flush_release();
      release = it->second;
      pressed.erase(it);
    }
  }
  flush_release();
  set_shift(!state.shift.empty());
  if (caps_off) caps_tap();
  return plan;
}

}  // namespace harvel::linux_host
