// The parts of the X11 keyboard layer that need no server: what the
// procedure is told of a key, the merge of the raw and the grabbed streams,
// the account of our own input, and the typing plan.
#include <gtest/gtest.h>

#include "keyboard/keyboard_proc.h"
#include "platform/linux/key_positions.h"
#include "platform/linux/x11_keyboard.h"

namespace harvel::linux_host {
namespace {

using Clock = std::chrono::steady_clock;

TEST(KeyPositions, ScanCodesAndVirtualKeysOfThePcKeys) {
  struct Case {
    unsigned keycode;
    uint16_t scan;
    bool extended;
    uint8_t vk;
  };
  const Case cases[] = {
      {38, 0x1E, false, 'A'},  {25, 0x11, false, 'W'},  {19, 0x0B, false, '0'},  {34, 0x1A, false, 0xDB},
      {48, 0x28, false, 0xDE}, {49, 0x29, false, 0xC0}, {50, 0x2A, false, 0xA0}, {62, 0x36, false, 0xA1},
      {37, 0x1D, false, 0xA2}, {105, 0x1D, true, 0xA3}, {64, 0x38, false, 0xA4}, {108, 0x38, true, 0xA5},
      {133, 0x5B, true, 0x5B}, {66, 0x3A, false, 0x14}, {36, 0x1C, false, 0x0D}, {104, 0x1C, true, 0x0D},
      {22, 0x0E, false, 0x08}, {110, 0x47, true, 0x24}, {127, 0x45, false, 0x13}, {202, 0x76, false, 0x87},
      {140, 0, false, 0},      {7, 0, false, 0},        {300, 0, false, 0},
  };
  for (const Case& c : cases) {
    const KeyPosition p = key_position(c.keycode);
    EXPECT_EQ(p.scan, c.scan) << c.keycode;
    EXPECT_EQ(p.extended, c.extended) << c.keycode;
    EXPECT_EQ(p.vk, c.vk) << c.keycode;
  }
  EXPECT_EQ(keycode_for_position_vk('S'), 39u);
  EXPECT_EQ(keycode_for_position_vk(0x0D), 36u) << "the main Enter, not the keypad's";
  EXPECT_EQ(keycode_for_position_vk(0xE7), 0u);
  // A letter key is named by the letter it types; others by their place.
  EXPECT_EQ(virtual_key_for(52, 'y'), uint32_t{'Y'}) << "German Y at the US Z position";
  EXPECT_EQ(virtual_key_for(25, 0x6C3), uint32_t{'W'}) << "Cyrillic: the US position";
  EXPECT_EQ(virtual_key_for(10, '&'), uint32_t{'1'});
}

TEST(KeyEvents, CarryTheHookStructureFields) {
  os::KeyEvent e = make_key_event(108, true, 0xA5, 1234, true, false, false);
  EXPECT_EQ(e.message, os::WM_SYSKEYDOWN);
  EXPECT_EQ(e.vk_code, 0xA5u);
  EXPECT_EQ(e.scan_code, 0x38u);
  EXPECT_EQ(e.flags, LLKHF_EXTENDED | LLKHF_ALTDOWN);
  EXPECT_EQ(e.time, 1234u);
  EXPECT_EQ(e.extra_info, 0u);

  e = make_key_event(39, false, 'S', 5, true, true, false);
  EXPECT_EQ(e.message, os::WM_KEYUP) << "Ctrl+Alt is no system key";
  EXPECT_EQ(e.flags, LLKHF_ALTDOWN | LLKHF_UP);

  // Our own typing comes back marked as ours, as SendInput's does.
  e = make_key_event(250, true, 0, 9, false, false, true);
  EXPECT_EQ(e.message, os::WM_KEYDOWN);
  EXPECT_EQ(e.vk_code, 0xE7u);
  EXPECT_EQ(e.flags, os::LLKHF_INJECTED);
  EXPECT_EQ(e.extra_info, kInjectedMarker);
}

// Raw events (r+, r-) and grabbed presses (g) in, deliveries out.
class OrderTest : public ::testing::Test {
 protected:
  std::string raw(uint8_t kc, bool press, Own own = Own::No) {
    order.raw(kc, press, 0, own, out);
    return take();
  }
  std::string grabbed(uint8_t kc) {
    order.grabbed_press(kc, 0, out);
    return take();
  }
  std::string settle(uint64_t mark) {
    order.settle_up_to(mark, out);
    return take();
  }
  std::string take() {
    std::string s;
    for (const KeyDelivery& d : out) {
      if (!s.empty()) s += ' ';
      s += std::to_string(d.keycode) + (d.press ? (d.grabbed ? "v" : "?") : "^");
      if (d.own != Own::No) s += '*';
    }
    out.clear();
    return s;
  }
  KeyEventOrder order;
  std::vector<KeyDelivery> out;
};

TEST_F(OrderTest, APressWaitsForItsGrabbedCopyAndReleasesKeepTheirPlace) {
  EXPECT_EQ(raw(50, true), "");
  EXPECT_EQ(raw(38, true), "") << "behind a press still waiting";
  EXPECT_EQ(grabbed(50), "50v");
  EXPECT_EQ(raw(50, false), "") << "the release waits behind the press of a";
  EXPECT_EQ(grabbed(38), "38v 50^");
  EXPECT_EQ(raw(38, false), "38^");
  EXPECT_FALSE(order.waiting());
}

TEST_F(OrderTest, PressesAnotherClientTookAreLeftOutWithTheirReleases) {
  // Alt+Tab: the window manager's grab takes the Tab.
  EXPECT_EQ(raw(64, true), "");
  EXPECT_EQ(grabbed(64), "64v");
  EXPECT_EQ(raw(23, true), "");
  EXPECT_EQ(raw(23, false), "");
  EXPECT_EQ(raw(64, false), "");
  EXPECT_TRUE(order.waiting());
  // A round trip sent now: everything before it is settled.
  EXPECT_EQ(settle(order.mark()), "64^");
  EXPECT_FALSE(order.waiting());

  // Or a later press of ours settles it.
  EXPECT_EQ(raw(23, true), "");
  EXPECT_EQ(raw(38, true), "");
  EXPECT_EQ(grabbed(38), "38v");
  EXPECT_EQ(raw(23, false), "") << "the release of a key that was not ours";
  EXPECT_EQ(raw(38, false), "38^");
}

TEST_F(OrderTest, AutoRepeatAndOwnEvents) {
  EXPECT_EQ(raw(38, true), "");
  EXPECT_EQ(grabbed(38), "38v");
  EXPECT_EQ(grabbed(38), "38v") << "a repeat has no raw event";
  EXPECT_EQ(raw(250, true, Own::Replay), "");
  EXPECT_EQ(grabbed(250), "250v*");
  EXPECT_EQ(raw(250, false, Own::Replay), "250^*");
  EXPECT_EQ(raw(38, false), "38^");
  // The spare keys are not grabbed: their presses go on in their place.
  EXPECT_EQ(raw(22, true, Own::Replay), "");
  order.raw(251, true, 0, Own::Replay, out, false);
  EXPECT_EQ(take(), "") << "behind the grabbed Backspace";
  EXPECT_EQ(grabbed(22), "22v* 251?*");
}

TEST(OwnInputAccount, OnlyOurOwnEventsInOrderAndNotForever) {
  OwnInputAccount account;
  const auto t = Clock::now();
  account.expect(22, true, Own::Replay, t);
  account.expect(22, false, Own::Replay, t);
  EXPECT_EQ(account.match(22, false, t), Own::No) << "not the one we wait for";
  EXPECT_EQ(account.match(38, true, t), Own::No);
  EXPECT_EQ(account.match(22, true, t), Own::Replay);
  EXPECT_EQ(account.match(22, false, t), Own::Replay);
  EXPECT_TRUE(account.empty());
  EXPECT_EQ(account.match(22, true, t), Own::No) << "another program's key";

  // A helper press the server drops does not hold up what follows it.
  account.expect(108, true, Own::Consume, t);
  account.expect(108, false, Own::Replay, t);
  EXPECT_EQ(account.match(108, false, t), Own::Replay);
  EXPECT_TRUE(account.empty());

  // What never comes back expires.
  account.expect(36, true, Own::Replay, t);
  EXPECT_EQ(account.match(38, true, t + OwnInputAccount::kLifetime * 2), Own::No);
  EXPECT_TRUE(account.empty());
}

// A keymap like Xvfb's: letters, Backspace, Return, Caps Lock, Shift, Alt, and
// empty keycodes at the top.
CoreKeymap small_keymap() {
  CoreKeymap m;
  m.min_keycode = 8;
  m.max_keycode = 255;
  m.per_keycode = 2;
  m.keysyms.assign((m.max_keycode - m.min_keycode + 1) * 2, 0);
  auto set = [&](unsigned kc, uint32_t a, uint32_t b) {
    m.keysyms[(kc - 8) * 2] = a;
    m.keysyms[(kc - 8) * 2 + 1] = b;
  };
  set(22, 0xFF08, 0xFF08);  // BackSpace
  set(36, 0xFF0D, 0);       // Return
  set(38, 'a', 'A');
  set(39, 's', 'S');
  set(50, 0xFFE1, 0);  // Shift_L
  set(66, 0xFFE5, 0);  // Caps_Lock
  set(108, 0xFFEA, 0);  // Alt_R
  for (unsigned kc = 8; kc < 250; ++kc) {
    if (m.keysyms[(kc - 8) * 2] == 0) set(kc, 0x1008FF00 + kc, 0);  // everything else is taken
  }
  m.modifiers[50] = kShiftMask;
  m.modifiers[66] = kLockMask;
  m.modifiers[108] = 1 << 3;
  return m;
}

os::InputBatch batch_for(const std::u32string& text, uint64_t backspaces, std::optional<uint16_t> extra = {}) {
  return build_replacement_batch(Replacement{text, backspaces, extra});
}

std::string steps(const TypingPlan& plan) {
  std::string s;
  for (const TypingStep& st : plan.steps) {
    if (!s.empty()) s += ' ';
    s += std::to_string(st.keycode) + (st.press ? "v" : "^") + (st.own == Own::Consume ? "!" : "");
  }
  return s;
}

TEST(TypingPlan, CharactersOnSpareKeysThatKeepTheirCharacter) {
  const CoreKeymap map = small_keymap();
  SpareKeys spares;
  spares.reset(map);
  ASSERT_EQ(spares.capacity(), 6u) << "keycodes 250 to 255";
  const auto t = Clock::now();

  // Backspace too: the keyboard's own key would take a turn through the hook.
  TypingPlan p = spares.plan(batch_for(U"\u015F", 2), map, {}, t);
  EXPECT_EQ(p.remaps, (std::vector<Remap>{{255, 0xFF08}, {254, 0x1BA}}));
  // Each release after the next press, but a key goes up before it goes down again.
  EXPECT_EQ(steps(p), "255v 255^ 255v 254v 255^ 254^");
  EXPECT_TRUE(spares.owns(254));

  // The same letter again needs no keymap change; a new one takes the next key.
  p = spares.plan(batch_for(U"\u015Fa\U0001F600", 0, 0x0D), map, {}, t);
  EXPECT_EQ(p.remaps, (std::vector<Remap>{{253, 'a'}, {252, 0x101F600u}, {251, 0xFF0D}}));
  EXPECT_EQ(steps(p), "254v 253v 254^ 252v 253^ 251v 252^ 251^");

  // Idle keys are given back, all at once, once typing has paused.
  EXPECT_EQ(spares.restore_due(), t + SpareKeys::kHoldTime);
  EXPECT_TRUE(spares.take_restore(t, false).empty());
  EXPECT_EQ(spares.take_restore(t + SpareKeys::kHoldTime, false), (std::vector<uint8_t>{255, 254, 253, 252, 251}));
  EXPECT_FALSE(spares.restore_due().has_value());
}

TEST(TypingPlan, MoreCharactersThanSpareKeysReuseTheLeastRecent) {
  const CoreKeymap map = small_keymap();
  SpareKeys spares;
  spares.reset(map);
  auto t = Clock::now();
  spares.plan(batch_for(U"bcdefg", 0), map, {}, t);
  t += std::chrono::milliseconds(10);
  spares.plan(batch_for(U"c", 0), map, {}, t);
  t += std::chrono::milliseconds(10);
  const TypingPlan p = spares.plan(batch_for(U"h", 0), map, {}, t);
  EXPECT_EQ(p.remaps, (std::vector<Remap>{{255, 'h'}})) << "b was used longest ago";
  // A burst never reuses a key it typed itself: beyond the spare keys, a
  // character goes on a key of the keymap that types it, if any.
  const TypingPlan long_text = spares.plan(batch_for(U"ijklmnsaz", 0), map, {}, t);
  EXPECT_EQ(long_text.remaps.size(), 6u);
  EXPECT_TRUE(steps(long_text).ends_with(" 39v 255^ 38v 39^ 38^")) << steps(long_text);
}

TEST(TypingPlan, CapsLockIsSwitchedOffAroundLowerCaseLettersAndHeldModifiersLetGo) {
  const CoreKeymap map = small_keymap();
  SpareKeys spares;
  spares.reset(map);
  const auto t = Clock::now();
  TypingState caps;
  caps.caps_lock = true;
  EXPECT_EQ(steps(spares.plan(batch_for(U"\u015E", 0), map, caps, t)), "255v 255^") << "a capital needs nothing";
  EXPECT_EQ(steps(spares.plan(batch_for(U"\u015F", 0), map, caps, t)), "66v! 66^ 254v 254^ 66v! 66^");
  EXPECT_EQ(steps(spares.plan(batch_for(U"1", 0), map, caps, t)), "253v 253^") << "no case";

  // Alt held through XTest is let go; a keyboard's Alt is pressed through
  // XTest first, which the server then lets go of.
  TypingState held;
  held.held = {{108, true}};
  EXPECT_EQ(steps(spares.plan(batch_for(U"\u015F", 0), map, held, t)), "108^ 254v 254^");
  held.held = {{108, false}};
  EXPECT_EQ(steps(spares.plan(batch_for(U"\u015F", 0), map, held, t)), "108v! 108^ 254v 254^");
}

TEST(TypingPlan, AKeymapChangeByAnotherProgramTakesKeysAway) {
  CoreKeymap map = small_keymap();
  SpareKeys spares;
  spares.reset(map);
  spares.plan(batch_for(U"\u015F\u00E7", 0), map, {}, Clock::now());
  // setxkbmap gave keycode 255 a key of its own; 254 kept our ç.
  map.keysyms[(255 - 8) * 2] = 0x1008FF99;
  map.keysyms[(254 - 8) * 2] = 0xE7;
  map.keysyms[(254 - 8) * 2 + 1] = 0xE7;
  spares.reconcile(map);
  EXPECT_FALSE(spares.owns(255));
  EXPECT_TRUE(spares.owns(254));
  EXPECT_EQ(spares.take_restore(Clock::now(), true), (std::vector<uint8_t>{254}));
  EXPECT_EQ(spares.capacity(), 5u);
}

TEST(TypingPlan, CharactersForKeysyms) {
  EXPECT_EQ(keysym_for_char(U'a'), uint32_t{'a'});
  EXPECT_EQ(keysym_for_char(U'\u00E7'), 0xE7u);
  EXPECT_EQ(keysym_for_char(U'\u015F'), 0x1BAu) << "the classic keysym";
  EXPECT_EQ(keysym_for_char(U'\u2018'), 0xAD0u);
  EXPECT_EQ(keysym_for_char(U'\u02BB'), 0x10002BBu) << "no classic keysym: the Unicode one";
  EXPECT_EQ(keysym_for_char(U'\n'), 0xFF0Du);
  EXPECT_EQ(keysym_for_char(U'\u0007'), 0u);
  EXPECT_EQ(keysym_for_char(0xD800), 0u);
}

}  // namespace
}  // namespace harvel::linux_host
