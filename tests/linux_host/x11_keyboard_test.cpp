// The parts of the X11 keyboard layer that need no server: what the
// procedure is told of a key, the merge of the raw and the grabbed streams,
// the account of our own input, and the typing plan.
#include "platform/linux/x11_keyboard.h"

#include <gtest/gtest.h>

#include "keyboard/keyboard_proc.h"
#include "platform/linux/keys/key_positions.h"
#include "platform/linux/keys/own_input.h"
#include "platform/linux/keys/typing.h"

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
      {38, 0x1E, false, 'A'},  {25, 0x11, false, 'W'},  {19, 0x0B, false, '0'},   {34, 0x1A, false, 0xDB},
      {48, 0x28, false, 0xDE}, {49, 0x29, false, 0xC0}, {50, 0x2A, false, 0xA0},  {62, 0x36, false, 0xA1},
      {37, 0x1D, false, 0xA2}, {105, 0x1D, true, 0xA3}, {64, 0x38, false, 0xA4},  {108, 0x38, true, 0xA5},
      {133, 0x5B, true, 0x5B}, {66, 0x3A, false, 0x14}, {36, 0x1C, false, 0x0D},  {104, 0x1C, true, 0x0D},
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

// A keymap like Xvfb's in a "us,ru" set-up: letters (s and s-cedilla's
// neighbours with a Cyrillic second group), Backspace, Return, Caps Lock,
// Shift, Alt, and empty keycodes at the top.
CoreKeymap small_keymap() {
  CoreKeymap m;
  m.min_keycode = 8;
  m.max_keycode = 255;
  m.per_keycode = 4;
  m.keysyms.assign((m.max_keycode - m.min_keycode + 1) * 4, 0);
  auto set = [&](unsigned kc, std::vector<uint32_t> syms) {
    for (std::size_t i = 0; i < syms.size(); ++i) m.keysyms[(kc - 8) * 4 + i] = syms[i];
  };
  set(22, {0xFF08, 0xFF08});  // BackSpace
  set(36, {0xFF0D});          // Return
  set(38, {'a', 'A', 0x6C6, 0x6E6});
  set(39, {'s', 'S', 0x6D9, 0x6F9});
  set(65, {' '});
  set(50, {0xFFE1});   // Shift_L
  set(66, {0xFFE5});   // Caps_Lock
  set(108, {0xFFEA});  // Alt_R
  for (unsigned kc = 8; kc < 250; ++kc) {
    if (m.keysyms[(kc - 8) * 4] == 0) set(kc, {0x1008FF00 + kc});  // everything else is taken
  }
  m.modifiers[50] = kShiftMask;
  m.modifiers[66] = kLockMask;
  m.modifiers[108] = 1 << 3;
  return m;
}

std::vector<TypeItem> items_for(const std::u32string& text, uint64_t backspaces, std::optional<uint16_t> extra = {}) {
  return type_items(build_replacement_batch(Replacement{text, backspaces, extra}));
}

std::string steps(const TypingPlan& plan) {
  std::string s;
  for (const TypingStep& st : plan.steps) {
    if (!s.empty()) s += ' ';
    s += std::to_string(st.keycode) + (st.press ? "v" : "^") + (st.own == Own::Consume ? "!" : "");
  }
  return s;
}

const std::vector<uint32_t> kKept = {0x1BA, 0x1AA};  // ş, Ş

TEST(TypingPlan, LettersTheLayoutHasGoOnTheirKeysWithShiftAsTheyNeed) {
  const CoreKeymap map = small_keymap();
  SpareKeys spares;
  spares.reset(map, kKept);
  struct Case {
    std::u32string text;
    std::vector<HeldKey> shift;  // Shift keys the user holds
    std::string steps;
  };
  const Case cases[] = {
      // Each release after the next press, as in quick typing.
      {U"as a", {}, "38v 39v 38^ 65v 39^ 38v 65^ 38^"},
      // Shift is pressed for a capital and let go again.
      {U"As", {}, "50v! 38v 38^ 50^ 39v 39^"},
      // The user's Shift (through XTest) is let go for a small letter, and
      // pressed again for the rest of the text and after it.
      {U"aS", {{50, true}}, "50^ 38v 38^ 50v! 39v 39^"},
      {U"a", {{50, true}}, "50^ 38v 38^ 50v!"},
      // A keyboard's Shift is let go with an XTest press and release.
      {U"a", {{50, false}}, "50v! 50^ 38v 38^ 50v!"},
      // A space types the same either way: the Shift held stays.
      {U"S S", {{50, true}}, "39v 65v 39^ 39v 65^ 39^"},
  };
  for (const Case& c : cases) {
    TypingState state;
    state.shift = c.shift;
    for (const HeldKey& k : c.shift) {
      state.down[k.keycode] = true;
      state.xtest_down[k.keycode] = k.by_xtest;
    }
    const TypingPlan p = plan_typing(items_for(c.text, 0), map, spares, state);
    EXPECT_EQ(steps(p), c.steps) << std::string(c.text.begin(), c.text.end());
    EXPECT_TRUE(p.remaps.empty());
  }
}

TEST(TypingPlan, KeysOnTheirOwnKeysAndLettersTheLayoutLacksOnKeptSpares) {
  const CoreKeymap map = small_keymap();
  SpareKeys spares;
  // The kept letters take the highest empty keycodes at once, for good.
  EXPECT_EQ(spares.reset(map, kKept), (std::vector<Remap>{{255, 0x1BA}, {254, 0x1AA}}));
  ASSERT_EQ(spares.capacity(), 6u) << "keycodes 250 to 255";

  // Backspace and Return are the keyboard's own; a Return the user still
  // holds on a keyboard is let go first, or the server would drop ours.
  TypingState state;
  state.down[36] = true;
  TypingPlan p = plan_typing(items_for(U"\u015F", 2, 0x0D), map, spares, state);
  EXPECT_TRUE(p.remaps.empty());
  EXPECT_EQ(steps(p), "22v 22^ 22v 255v 22^ 36v! 36^ 36v 255^ 36^");

  // A character neither the layout nor the kept keys have takes a spare
  // key when it comes and keeps it; the kept ones never give way.
  p = plan_typing(items_for(U"\u015E\U0001F600\u2018", 0), map, spares, {});
  EXPECT_EQ(p.remaps, (std::vector<Remap>{{253, 0x101F600u}, {252, 0xAD0}}));
  EXPECT_EQ(steps(p), "254v 253v 254^ 252v 253^ 252^");
  p = plan_typing(items_for(U"\u2018", 0), map, spares, {});
  EXPECT_TRUE(p.remaps.empty());
  std::vector<Remap> remaps;
  for (uint32_t sym = 0x1000100; sym < 0x1000104; ++sym) spares.key_for(sym, remaps);
  // The free keys first, then the least recently used; never a kept letter's.
  EXPECT_EQ(remaps, (std::vector<Remap>{{251, 0x1000100}, {250, 0x1000101}, {253, 0x1000102}, {252, 0x1000103}}));
  EXPECT_EQ(spares.take_all(), (std::vector<uint8_t>{255, 254, 253, 252, 251, 250}));
}

TEST(TypingPlan, TheSecondGroupTypesItsOwnLetters) {
  const CoreKeymap map = small_keymap();
  SpareKeys spares;
  spares.reset(map, kKept);
  TypingState state;
  state.group = 1;
  // ы is on the S key there; a Latin s is not, so it goes on a spare key.
  const TypingPlan p = plan_typing(items_for(U"\u044Bs", 0), map, spares, state);
  EXPECT_EQ(p.remaps, (std::vector<Remap>{{253, 's'}}));
  EXPECT_EQ(steps(p), "39v 253v 39^ 253^");
}

TEST(TypingPlan, CapsLockIsSwitchedOffAroundLowerCaseLettersAndHeldModifiersLetGo) {
  const CoreKeymap map = small_keymap();
  SpareKeys spares;
  spares.reset(map, kKept);
  TypingState caps;
  caps.caps_lock = true;
  EXPECT_EQ(steps(plan_typing(items_for(U"\u015E", 0), map, spares, caps)), "254v 254^") << "a capital needs nothing";
  EXPECT_EQ(steps(plan_typing(items_for(U"\u015F", 0), map, spares, caps)), "66v! 66^ 255v 255^ 66v! 66^");
  // Letters on the keyboard's keys: Shift and Caps Lock together mean
  // different things to different toolkits, so Caps Lock goes off.
  EXPECT_EQ(steps(plan_typing(items_for(U"A", 0), map, spares, caps)), "66v! 66^ 50v! 38v 38^ 50^ 66v! 66^");
  EXPECT_EQ(steps(plan_typing(items_for(U" ", 0), map, spares, caps)), "65v 65^") << "no case";

  // Alt held through XTest is let go; a keyboard's Alt is pressed through
  // XTest first, which the server then lets go of.
  TypingState held;
  held.neutral = {{108, true}};
  held.down[108] = held.xtest_down[108] = true;
  EXPECT_EQ(steps(plan_typing(items_for(U"\u015F", 0), map, spares, held)), "108^ 255v 255^");
  held.neutral = {{108, false}};
  held.xtest_down[108] = false;
  EXPECT_EQ(steps(plan_typing(items_for(U"\u015F", 0), map, spares, held)), "108v! 108^ 255v 255^");
}

TEST(SpareKeys, KeptLettersLeftByAnEndedCopyAreOursAgainAndAChangedKeymapIsFollowed) {
  CoreKeymap map = small_keymap();
  // As the guard writes a keycode, mark included.
  auto mark = [&](unsigned kc, uint32_t sym) {
    const std::vector<uint32_t> syms = marked_keysyms(sym, map.per_keycode);
    std::copy(syms.begin(), syms.end(), map.keysyms.begin() + (kc - 8) * 4);
  };
  // A copy killed outright left ş on 249 and Ş on 251 and 252; 253 is a key
  // of the keyboard with one keysym in all four columns, as BackSpace has.
  mark(249, 0x1BA);
  mark(251, 0x1AA);
  mark(252, 0x1AA);
  mark(253, 0xFF08);
  SpareKeys spares;
  // Both letters keep a key; the second Ş is cleared; 253 is not ours.
  const std::vector<Remap> made = spares.reset(map, kKept);
  EXPECT_EQ(made, (std::vector<Remap>{{251, 0}}));
  for (const Remap& r : made) mark(r.keycode, r.keysym);
  EXPECT_FALSE(spares.is_spare(253));
  std::vector<Remap> remaps;
  EXPECT_EQ(spares.key_for(0x1BA, remaps), uint8_t{249});
  EXPECT_EQ(spares.key_for(0x1AA, remaps), uint8_t{252});
  EXPECT_TRUE(remaps.empty());

  // setxkbmap gave 252 (our Ş) a key of its own: Ş moves to a free key.
  mark(252, 0x1008FF99);
  EXPECT_EQ(spares.reconcile(map), (std::vector<Remap>{{255, 0x1AA}}));
  EXPECT_FALSE(spares.is_spare(252));
}

TEST(TypingPlan, BatchesBecomeCharactersAndKeys) {
  EXPECT_EQ(type_items(build_replacement_batch(Replacement{U"\u015Eb\U0001F600", 1, 0x0D})),
            (std::vector<TypeItem>{{0xFF08, TypeItem::kKey | TypeItem::kPress},
                                   {0xFF08, TypeItem::kKey},
                                   {0x1AA, TypeItem::kPress | TypeItem::kCased},
                                   {0x1AA, TypeItem::kCased},
                                   {'b', TypeItem::kPress | TypeItem::kCased | TypeItem::kLower},
                                   {'b', TypeItem::kCased | TypeItem::kLower},
                                   {0x101F600, TypeItem::kPress},
                                   {0x101F600, 0},
                                   {0xFF0D, TypeItem::kKey | TypeItem::kPress},
                                   {0xFF0D, TypeItem::kKey}}));
  // A low half on its own is no character.
  EXPECT_TRUE(type_items(std::vector<os::KeyInput>{{0, 0xDC00, os::KEYEVENTF_UNICODE, 0, 0}}).empty());
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
