// The real low-level keyboard hook under Wine: the hook thread is started by
// the program's own starter with the Win32 platform installed, and a user's
// typing (SendInput without the program's marker) goes into an EDIT box of a
// window that has the focus. Only the US layout is active under Wine, so
// other layouts, the AltGr phantom Ctrl and incompatible layouts are covered
// by the key-event scripts on the fake system instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/app.h"
#include "core/ctx.h"
#include "core/settings.h"
#include "keyboard/hook_flags.h"
#include "keyboard/hook_thread.h"
#include "keyboard/keyboard_proc.h"
#include "platform/win32/win32_platform.h"
#include "shell/sinks.h"
#include "shell/toast.h"
#include "support/test_app.h"
#include "win32/desktop.h"

namespace harvel {
namespace {

using namespace win32test;

// The program's state with the Win32 platform and a running hook thread.
class HookedApp {
 public:
  explicit HookedApp(Settings settings) {
    reset_hook_flags();
    win32::install_win32_platform();
    app.manage(std::make_unique<Ctx>(dir.path() / "settings.json", std::move(settings)));
    app.set_notice_handler([](const ToastData&) {});
    install_shell_sinks(app);
    start_keyboard_hook_thread(app);
  }
  ~HookedApp() {
    if (auto record = app.ctx().hook_thread.take()) stop_hook_thread(std::move(*record));
    os::install_platform(os::Platform{});
    reset_hook_flags();
  }
  bool hooked() {
    return app.ctx().hook_thread.with([](const std::optional<HookThread>& r) { return r && r->running->load(); });
  }

  testing::TempDir dir;
  App app;
};

Settings settings_with(Mode mode, std::vector<AppRule> apps = {}) {
  Settings s = default_settings();
  s.mode = mode;
  s.apps = std::move(apps);
  return s;
}

struct TypingCase {
  const char* name;
  Mode mode;
  const char* keys;
  std::wstring expected;
  DWORD edit_style = 0;
  std::vector<AppRule> apps = {};
};

class Typing : public ::testing::TestWithParam<TypingCase> {};

TEST_P(Typing, TextInTheBox) {
  const TypingCase& c = GetParam();
  HookedApp hooked(settings_with(c.mode, c.apps));
  ASSERT_TRUE(hooked.hooked());
  TextWindow box(c.edit_style);
  ASSERT_TRUE(box.ready());
  type_keys(c.keys);
  EXPECT_EQ(box.settled_text(c.expected), c.expected) << c.keys;
}

// The test program itself is in front, so a rule for it applies.
const AppRule kRuleForThisProgram{"Tests", "win32_tests.exe", kModeFast};
const AppRule kRuleForAnotherProgram{"Other", "other.exe", kModeFast};

INSTANTIATE_TEST_SUITE_P(
    Win32Hook, Typing,
    ::testing::Values(
        TypingCase{"HybridLetters", kModeHybrid, "'sc' +RMENU S C O G A -RMENU", L"scşçöğa"},
        TypingCase{"HybridCapitals", kModeHybrid, "+RMENU +LSHIFT S C O G -LSHIFT -RMENU", L"ŞÇÖĞ"},
        TypingCase{"FastKeys", kModeFast, "W C OEM_4 OEM_6 +LSHIFT W C -LSHIFT 'a'", L"şçöğŞÇa"},
        TypingCase{"FastCapsLock", kModeFast, "CAPITAL W OEM_4 +LSHIFT W -LSHIFT CAPITAL W", L"Şöşş"},
        TypingCase{"FastHybridKeyTypesTheKeysOwnLetter", kModeFast, "+RMENU W -RMENU", L"w"},
        TypingCase{"ZeroPair", kModeZero, "'shahar'", L"şahar"},
        TypingCase{"ZeroEnglishWordRestored", kModeZero, "'fish' SPACE", L"fish "},
        TypingCase{"ZeroEnterRestoresThenTypesTheEnter", kModeZero, "'fis' H RETURN 'a'", L"fish\r\na",
                   ES_MULTILINE | ES_WANTRETURN},
        TypingCase{"ZeroRightAltChordIsNoTyping", kModeZero, "'ab' +RMENU S -RMENU 'h'", L"abh"},
        TypingCase{"EnglishChangesNothing", kModeEnglish, "'shahar' W OEM_4 +LSHIFT W -LSHIFT", L"shaharw[W", 0,
                   {kRuleForAnotherProgram}},
        TypingCase{"RuleOfTheProgramInFront", kModeEnglish, "W 'sh'", L"şsh", 0, {kRuleForThisProgram}},
        TypingCase{"PasswordBoxZero", kModeZero, "'shahar'", L"shahar", ES_PASSWORD},
        TypingCase{"PasswordBoxHybrid", kModeHybrid, "+RMENU S -RMENU", L"s", ES_PASSWORD},
        TypingCase{"PasswordBoxFast", kModeFast, "W OEM_4", L"w[", ES_PASSWORD}),
    [](const ::testing::TestParamInfo<TypingCase>& info) { return std::string(info.param.name); });

TEST(Win32Hook, OwnInjectedInputPassesUntouched) {
  HookedApp hooked(settings_with(kModeFast));
  TextWindow box;
  ASSERT_TRUE(box.ready());
  type_keys("W OEM_4", kInjectedMarker);
  type_keys("W");  // the same key typed by the user converts
  EXPECT_EQ(box.settled_text(L"w[ş"), L"w[ş");
}

// Records the virtual keys of the key-downs a window gets, and which of
// them came with Ctrl, Shift or Alt down.
class KeyDownRecorder {
 public:
  explicit KeyDownRecorder(HWND window) : window_(window) {
    keys_.clear();
    chords_.clear();
    old_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&KeyDownRecorder::proc)));
  }
  ~KeyDownRecorder() { SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old_)); }
  KeyDownRecorder(const KeyDownRecorder&) = delete;
  KeyDownRecorder& operator=(const KeyDownRecorder&) = delete;

  long count(WPARAM vk) const { return static_cast<long>(std::count(keys_.begin(), keys_.end(), vk)); }
  long count_with_modifier(WPARAM vk) const {
    return static_cast<long>(std::count(chords_.begin(), chords_.end(), vk));
  }

 private:
  static LRESULT CALLBACK proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) {
      keys_.push_back(wp);
      if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0) {
        chords_.push_back(wp);
      }
    }
    return CallWindowProcW(old_, w, msg, wp, lp);
  }
  HWND window_;
  static inline WNDPROC old_ = nullptr;
  static inline std::vector<WPARAM> keys_;
  static inline std::vector<WPARAM> chords_;
};

// Which keys reach the box as keys and how many reach it as typed text
// (VK_PACKET): a key that is no text must arrive as itself.
struct KeyCase {
  const char* name;
  Mode mode;
  const char* keys;
  WPARAM key;
  long key_downs;  // of `key`
  long packets;
  std::wstring text_end;
};

class KeysAsKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeysAsKeys, ReachTheBox) {
  const KeyCase& c = GetParam();
  HookedApp hooked(settings_with(c.mode));
  TextWindow box;
  ASSERT_TRUE(box.ready());
  KeyDownRecorder keys(box.edit());
  type_keys(c.keys);
  EXPECT_TRUE(pump_until([&] { return keys.count(VK_PACKET) >= c.packets; }));
  pump_for(60ms);
  EXPECT_EQ(keys.count(c.key), c.key_downs);
  EXPECT_EQ(keys.count(VK_PACKET), c.packets);
  const std::wstring text = box.text();
  EXPECT_TRUE(text.ends_with(c.text_end)) << win32::narrow(text);
}

INSTANTIATE_TEST_SUITE_P(
    Win32Hook, KeysAsKeys,
    ::testing::Values(
        // The ş, then the restored word, then the Escape key itself: no U+001B typed.
        KeyCase{"ZeroEscapeAfterAnEnglishWord", kModeZero, "'fish' ESCAPE", VK_ESCAPE, 1, 5, L"fish"},
        // Ctrl held through the neutral code, as other programs' input sends
        // it: Ctrl+W reaches the box as the W key; Shift held so types Ş.
        KeyCase{"FastNeutralModifierCodes", kModeFast, "+CONTROL W -CONTROL +SHIFT W -SHIFT", 'W', 1, 1, L"Ş"}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

// Ctrl+Shift+Space right after a word the checker flags, let go in either
// order: the fix replaces the word, and no Backspace reaches the box with a
// modifier still down (on Windows Ctrl+Backspace erases whole words).
class FixShortcut : public ::testing::TestWithParam<const char*> {};

TEST_P(FixShortcut, ReplacesTheWordOnceNoModifierIsHeld) {
  Settings settings = settings_with(kModeEnglish);
  settings.checker = true;
  HookedApp hooked(std::move(settings));
  ASSERT_TRUE(hooked.hooked());
  TextWindow box;
  ASSERT_TRUE(box.ready());
  KeyDownRecorder keys(box.edit());
  type_keys("'salom' SPACE 'shahar' SPACE");
  ASSERT_EQ(box.settled_text(L"salom shahar "), L"salom shahar ");
  type_keys(GetParam());
  EXPECT_EQ(box.settled_text(L"salom \u015Fahar "), L"salom \u015Fahar ");
  EXPECT_EQ(keys.count(VK_BACK), 7);
  EXPECT_EQ(keys.count_with_modifier(VK_BACK), 0);
}

INSTANTIATE_TEST_SUITE_P(Win32Hook, FixShortcut,
                         ::testing::Values("+LCONTROL +LSHIFT SPACE -LSHIFT -LCONTROL",
                                           "+LCONTROL +LSHIFT SPACE -LCONTROL -LSHIFT"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.index == 0 ? "ControlReleasedLast" : "ShiftReleasedLast");
                         });

// Two windows of one program: a word begun in the first is not finished in
// the second, which never got its start.
TEST(Win32Hook, ZeroWordStaysInItsWindow) {
  HookedApp hooked(settings_with(kModeZero));
  TextWindow first;
  ASSERT_TRUE(first.ready());
  type_keys("'s'");
  ASSERT_EQ(first.settled_text(L"s"), L"s");
  TextWindow second;
  ASSERT_TRUE(second.ready());
  type_keys("'h'");
  EXPECT_EQ(second.settled_text(L"h"), L"h");
  EXPECT_EQ(first.text(), L"s");
}

TEST(Win32Hook, StoppedWithinTwoSeconds) {
  HookedApp hooked(settings_with(kModeFast));
  ASSERT_TRUE(hooked.hooked());
  std::optional<HookThread> record = hooked.app.ctx().hook_thread.take();
  ASSERT_TRUE(record);
  const auto running = record->running;
  const auto start = std::chrono::steady_clock::now();
  stop_hook_thread(std::move(*record));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_FALSE(running->load());

  // Unhooked: the keys reach the box as typed.
  TextWindow box;
  ASSERT_TRUE(box.ready());
  type_keys("W OEM_4");
  EXPECT_EQ(box.settled_text(L"w["), L"w[");
}

}  // namespace
}  // namespace harvel
