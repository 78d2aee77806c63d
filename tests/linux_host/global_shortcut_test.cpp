// The X11 global shortcut, pressed through XTest from a second X client as a
// user's keyboard would.
// GoogleTest first: Xlib's macros (None, Bool) would break its headers.
#include "host_fixture.h"

#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "app/accelerator.h"

namespace harvel::linux_host {
namespace {

using testing::pump_for;
using testing::pump_until;

TEST(KeysymForVk, CoversTheAcceleratorKeys) {
  const std::pair<uint32_t, unsigned long> cases[] = {
      {0x55, XK_u},          {0x41, XK_a},          {0x30, XK_0},         {0x39, XK_9},
      {0x70, XK_F1},         {0x87, XK_F24},        {0x60, XK_KP_0},      {0x67, XK_KP_7},
      {0x6B, XK_KP_Add},     {0x20, XK_space},      {0x0D, XK_Return},    {0x1B, XK_Escape},
      {0x26, XK_Up},         {0x22, XK_Next},       {0x2E, XK_Delete},    {0xBB, XK_equal},
      {0xBD, XK_minus},      {0xC0, XK_grave},      {0xDB, XK_bracketleft}, {0xDE, XK_apostrophe},
      {0xAF, XF86XK_AudioRaiseVolume}, {0xB3, XF86XK_AudioPlay},
      {0x07, 0},             {0xFF, 0},
  };
  for (const auto& [vk, keysym] : cases) EXPECT_EQ(keysym_for_vk(vk), keysym) << std::hex << vk;
}

class GlobalShortcutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::start_host_once();
    shortcut_ = os::platform().global_shortcut;
    other_ = XOpenDisplay(nullptr);
    ASSERT_NE(other_, nullptr);
    shortcut_->set_press_handler([this](const os::Hotkey& h) { presses_.push_back(h); });
  }
  void TearDown() override {
    shortcut_->unregister_all();
    shortcut_->set_press_handler({});
    if (other_ != nullptr) XCloseDisplay(other_);
  }

  void key(KeySym keysym, bool down) {
    XTestFakeKeyEvent(other_, XKeysymToKeycode(other_, keysym), down ? True : False, CurrentTime);
    XSync(other_, False);
  }
  // Presses the keys in order and lets them go in reverse.
  void chord(std::initializer_list<KeySym> keys) {
    for (KeySym k : keys) key(k, true);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it) key(*it, false);
    pump_for(0.1);
  }

  os::GlobalShortcut* shortcut_ = nullptr;
  Display* other_ = nullptr;
  std::vector<os::Hotkey> presses_;
};

TEST_F(GlobalShortcutTest, APressCallsTheHandlerOnce) {
  const os::Hotkey hotkey = *parse_accelerator("Control+Shift+U");
  ASSERT_TRUE(shortcut_->register_hotkey(hotkey));
  EXPECT_TRUE(shortcut_->is_registered(hotkey));

  chord({XK_Control_L, XK_Shift_L, XK_u});
  ASSERT_TRUE(pump_until([&] { return presses_.size() == 1; }));
  EXPECT_EQ(presses_[0], hotkey);

  // A held key repeats its press: still one toggle until it is let go.
  key(XK_Control_L, true);
  key(XK_Shift_L, true);
  key(XK_u, true);
  key(XK_u, true);
  key(XK_u, false);
  key(XK_Shift_L, false);
  key(XK_Control_L, false);
  EXPECT_TRUE(pump_until([&] { return presses_.size() == 2; }));
  pump_for(0.1);
  EXPECT_EQ(presses_.size(), 2u);

  // Caps Lock and Num Lock do not get in the way.
  for (KeySym lock : {XK_Caps_Lock, XK_Num_Lock}) {
    chord({lock});
    chord({XK_Control_L, XK_Shift_L, XK_u});
    chord({lock});
  }
  EXPECT_TRUE(pump_until([&] { return presses_.size() == 4; }));

  // Other modifiers are another shortcut.
  chord({XK_Control_L, XK_u});
  chord({XK_Control_L, XK_Shift_L, XK_Alt_L, XK_u});
  pump_for(0.1);
  EXPECT_EQ(presses_.size(), 4u);

  EXPECT_TRUE(shortcut_->unregister_hotkey(hotkey));
  EXPECT_FALSE(shortcut_->is_registered(hotkey));
  EXPECT_FALSE(shortcut_->unregister_hotkey(hotkey));
  chord({XK_Control_L, XK_Shift_L, XK_u});
  pump_for(0.1);
  EXPECT_EQ(presses_.size(), 4u);
}

TEST_F(GlobalShortcutTest, AKeyHeldByAnotherProgramCannotBeRegistered) {
  const os::Hotkey hotkey = *parse_accelerator("Control+Alt+K");
  const Window root = DefaultRootWindow(other_);
  const KeyCode k = XKeysymToKeycode(other_, XK_k);
  // Held only with Caps Lock on: the whole registration fails, and none of
  // its grabs stay behind.
  XGrabKey(other_, k, ControlMask | Mod1Mask | LockMask, root, False, GrabModeAsync, GrabModeAsync);
  XSync(other_, False);
  EXPECT_FALSE(shortcut_->register_hotkey(hotkey));
  EXPECT_FALSE(shortcut_->is_registered(hotkey));

  XUngrabKey(other_, k, ControlMask | Mod1Mask | LockMask, root);
  XSync(other_, False);
  ASSERT_TRUE(shortcut_->register_hotkey(hotkey));
  EXPECT_TRUE(shortcut_->register_hotkey(hotkey));  // already ours
  chord({XK_Control_L, XK_Alt_L, XK_k});
  EXPECT_TRUE(pump_until([&] { return presses_.size() == 1; }));
}

TEST_F(GlobalShortcutTest, KeysWithoutAKeysymAreRefused) {
  EXPECT_FALSE(shortcut_->register_hotkey({os::MOD_CONTROL, 0x07}));
}

}  // namespace
}  // namespace harvel::linux_host
