#include "keyboard/keyboard_proc.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "support/alloc_counter.h"
#include "support/key_script.h"

namespace harvel {
namespace {

using testing::KeyScriptRunner;

// ---- the fix shortcut (Ctrl+Shift+Space with an offer) ----

using Step = std::function<void(KeyScriptRunner&)>;

Step lines(std::string text) {
  return [text = std::move(text)](KeyScriptRunner& r) { r.run_lines(text); };
}

struct FixCase {
  std::string name;
  std::vector<Step> steps;  // run after the offer for "şahar " was made
  std::vector<std::string> log;
  std::string text;
};

void PrintTo(const FixCase& c, std::ostream* os) { *os << c.name; }

const char* kShortcut = "down LCONTROL\ndown LSHIFT\ntap SPACE\nup LSHIFT\nup LCONTROL";
// The last modifier's key-up goes first in the fix's own batch.
std::vector<std::string> fix_typed(const std::string& last_modifier) {
  return {"swallow down SPACE", "swallow up SPACE", "swallow up " + last_modifier,
          "send up=" + last_modifier + " bs=7 \"\u015Fahar \""};
}

Step bump_generation() {
  return [](KeyScriptRunner& r) { ++r.state().fg_generation; };
}

class FixShortcut : public ::testing::TestWithParam<FixCase> {};

TEST_P(FixShortcut, Applies) {
  const FixCase& c = GetParam();
  KeyScriptRunner r;
  r.run_lines("set mode english\ntype \"shahar \"");
  r.state().fix_offer = FixOffer{U"\u015Fahar ", r.system().now(), 7, r.state().fg_generation};
  for (const Step& step : c.steps) step(r);
  EXPECT_EQ(r.log(), c.log);
  EXPECT_EQ(r.text(), c.text);
  EXPECT_FALSE(r.state().fix_offer);
  EXPECT_FALSE(r.state().pending_fix);
}

std::vector<FixCase> fix_cases() {
  return {
        FixCase{"within_3_seconds", {lines("wait 3999"), lines(kShortcut)}, fix_typed("LCONTROL"), "\u015Fahar "},
        FixCase{"typed_when_shift_is_released_last",
                {lines("down LSHIFT\ndown LCONTROL\ntap SPACE\nup LCONTROL"),
                 [](KeyScriptRunner& r) {
                   EXPECT_TRUE(r.state().pending_fix);
                   EXPECT_EQ(r.text(), "shahar ");
                 },
                 lines("up LSHIFT")},
                fix_typed("LSHIFT"), "\u015Fahar "},
        FixCase{"after_4_seconds_space_passes", {lines("wait 4000"), lines(kShortcut)}, {}, "shahar "},
        FixCase{"after_an_app_switch_space_passes", {bump_generation(), lines(kShortcut)}, {}, "shahar "},
        FixCase{"already_fixed_from_the_popup", {lines("set fix-applied 1"), lines(kShortcut)}, {}, "shahar "},
        FixCase{"alt_held_space_passes",
                {lines("down LMENU"), lines(kShortcut), lines("up LMENU")}, {}, "shahar "},
        FixCase{"another_key_first_consumes_it", {lines("type \"x\""), lines(kShortcut)}, {}, "shahar x"},
        FixCase{"ctrl_space_without_shift_consumes_it",
                {lines("down LCONTROL\ntap SPACE\nup LCONTROL"), lines(kShortcut)}, {}, "shahar "},
        FixCase{"expired_before_release",
                {lines("down LCONTROL\ndown LSHIFT\ntap SPACE\nwait 4000\nup LSHIFT\nup LCONTROL")},
                {"swallow down SPACE", "swallow up SPACE"}, "shahar "},
        FixCase{"app_switch_before_release",
                {lines("down LCONTROL\ndown LSHIFT\ntap SPACE"), bump_generation(), lines("up LSHIFT\nup LCONTROL")},
                {"swallow down SPACE", "swallow up SPACE"}, "shahar "}};
}

INSTANTIATE_TEST_SUITE_P(Offers, FixShortcut, ::testing::ValuesIn(fix_cases()),
                         [](const auto& info) { return info.param.name; });

// ---- the procedure's guards ----

os::KeyEvent event(uint32_t message, uint32_t vk, int code = 0) {
  os::KeyEvent e;
  e.code = code;
  e.message = message;
  e.vk_code = vk;
  return e;
}

TEST(KeyboardProc, NonZeroCodePassesUntouched) {
  KeyScriptRunner r;  // hybrid mode, Right Alt
  r.run("down RMENU");
  const int before = r.system().next_hook_calls;
  EXPECT_EQ(low_level_keyboard_proc(r.state(), event(os::WM_KEYDOWN, 'S', -1)), 0);
  EXPECT_EQ(r.system().next_hook_calls, before + 1);
  EXPECT_TRUE(r.system().sent.empty());
  EXPECT_FALSE(r.state().swallowed.contains('S'));
}

TEST(KeyboardProc, ReentryPassesAndClearsGuard) {
  KeyScriptRunner r;
  r.run("set mode fast");
  std::vector<os::HookResult> inner;
  r.system().on_send_input = [&](std::span<const os::KeyInput>) {
    EXPECT_TRUE(r.state().in_use);
    // An ordinary key arriving while the procedure runs: passed, not converted.
    inner.push_back(low_level_keyboard_proc(r.state(), event(os::WM_KEYDOWN, 'W')));
  };
  EXPECT_EQ(low_level_keyboard_proc(r.state(), event(os::WM_KEYDOWN, 'W')), 1);
  EXPECT_EQ(inner, std::vector<os::HookResult>{0});
  EXPECT_EQ(r.system().sent.size(), 1u);
  EXPECT_FALSE(r.state().in_use);
}

TEST(KeyboardProc, OtherMessagesPass) {
  KeyScriptRunner r;
  r.run("set mode fast");
  r.run("msg=0x102 W");  // WM_CHAR is neither a key-down nor a key-up
  r.run("down RMENU");
  r.run("msg=0x102 RMENU");
  EXPECT_EQ(r.log(), std::vector<std::string>{"swallow down RMENU"});
}

TEST(KeyboardProc, SwallowedKeyUpOnlyOnce) {
  KeyScriptRunner r;
  r.run_lines("set mode fast\ndown W\nup W\nup W");
  EXPECT_EQ(r.log(), (std::vector<std::string>{"swallow down W", "send \"\u015F\"", "swallow up W"}));
}

TEST(KeyboardProc, OutOfRangeTableIndicesUseDefaults) {
  KeyScriptRunner r;
  hook_flags().hybrid_index = 99;           // read as ralt
  hook_flags().fast_indices[2] = 10;        // read as BracketLeft
  r.run_lines("down RMENU\ntap S\nup RMENU\nset mode fast\ntype \"[\"");
  EXPECT_EQ(r.text(), "\u015F\u00F6");
}

TEST(KeyboardProc, KeySeqCountsNonModifierKeyDownsWhileCheckerOn) {
  KeyScriptRunner r;
  r.run_lines("set mode english\ntype \"aB\"");
  EXPECT_EQ(hook_flags().key_seq.load(), 0u);
  r.run_lines("set checker on\ntype \"aB\"\nset mode fast\ntype \"w\"");
  EXPECT_EQ(hook_flags().key_seq.load(), 3u);  // a, B and w; not the Shift
}

// ---- rules, foreground, characters ----

TEST(KeyboardProc, RuleLookupIsFirstExactMatch) {
  const std::vector<AppRuleEntry> rules{{"notepad.exe", kModeFast}, {"notepad.exe", kModeOff}, {"", kModeZero}};
  EXPECT_EQ(lookup_app_rule_mode(kModeHybrid, rules, "notepad.exe"), kModeFast);
  EXPECT_EQ(lookup_app_rule_mode(kModeHybrid, rules, "Notepad.exe"), kModeHybrid);
  EXPECT_EQ(lookup_app_rule_mode(kModeHybrid, rules, "notepad"), kModeHybrid);
  EXPECT_EQ(lookup_app_rule_mode(kModeHybrid, {}, "notepad.exe"), kModeHybrid);
}

TEST(KeyboardProc, ForegroundCacheQueriesAtMostEvery250ms) {
  KeyScriptRunner r;
  r.run("set rule x.exe off");
  fake::FakeSystem& sys = r.system();
  const int start = sys.image_path_queries;
  r.run_lines("type \"ab\"\nwait 249\ntype \"c\"");
  EXPECT_EQ(sys.image_path_queries, start + 1);
  EXPECT_EQ(r.state().fg_exe, "notepad.exe");
  const uint32_t generation = r.state().fg_generation;
  r.run_lines("set app Other.EXE\nwait 1\ntype \"d\"");
  EXPECT_EQ(sys.image_path_queries, start + 2);
  EXPECT_EQ(r.state().fg_exe, "other.exe");
  EXPECT_EQ(r.state().fg_generation, generation + 1);
  EXPECT_EQ(r.state().fg_thread, sys.foreground_thread());
  // The same program again: no new generation.
  r.run_lines("set app Other.exe\nwait 250\ntype \"e\"");
  EXPECT_EQ(r.state().fg_generation, generation + 1);
}

TEST(KeyboardProc, KeyToChar) {
  KeyScriptRunner r;
  fake::FakeSystem& sys = r.system();
  const uint32_t thread = sys.foreground_thread();
  sys.set_thread_layout(thread, fake::kLayoutCyrillic);
  sys.set_caps_lock(true);
  EXPECT_EQ(key_to_char(r.state(), 'C', true), U'с');  // Shift and Caps Lock cancel out
  ASSERT_TRUE(sys.last_to_unicode);
  EXPECT_EQ(sys.last_to_unicode->layout, fake::kLayoutCyrillic);
  EXPECT_EQ(sys.last_to_unicode->scan, 0u);
  EXPECT_EQ(sys.last_to_unicode->flags, 4u);
  EXPECT_EQ(sys.last_to_unicode->out_size, 8u);
  std::array<uint8_t, 256> keys{};
  keys[0x10] = 0x80;
  keys[0x14] = 0x01;
  EXPECT_EQ(sys.last_to_unicode->key_state, keys);

  struct Answer {
    int result;
    std::u16string units;
    std::optional<char32_t> expected;
  };
  for (const Answer& a : {Answer{1, u"x", U'x'}, Answer{0, u"", std::nullopt}, Answer{-1, u"`", std::nullopt},
                          Answer{2, u"ab", std::nullopt}, Answer{1, u"\xD83D", std::nullopt},
                          Answer{1, u"\xDC00", std::nullopt}}) {
    sys.to_unicode_override = [&](uint32_t, const std::array<uint8_t, 256>&, std::span<char16_t> out) {
      for (std::size_t i = 0; i < a.units.size(); ++i) out[i] = a.units[i];
      return a.result;
    };
    EXPECT_EQ(key_to_char(r.state(), 'A', false), a.expected) << a.result;
  }
  sys.to_unicode_override = nullptr;
  EXPECT_EQ(key_to_char(r.state(), 0x141, false), std::nullopt);  // not a virtual-key code
}

TEST(KeyboardProc, PasswordBoxDetection) {
  struct Focus {
    std::u16string class_name;
    int32_t style;
    bool expected;
  };
  for (const Focus& f : {Focus{u"Edit", 0x20, true}, Focus{u"RichEdit20W", 0x20 | 0x1000, true},
                         Focus{u"EDIT", 0x20, true}, Focus{u"Edit", 0x1000, false},
                         Focus{u"Button", 0x20, false}, Focus{u"", 0x20, false},
                         Focus{u"Ed\xD800it", 0x20, false}}) {
    KeyScriptRunner r;
    r.system().set_focus_control(f.class_name, f.style);
    EXPECT_EQ(focused_control_is_password(), f.expected) << ::testing::PrintToString(f.class_name);
  }
  KeyScriptRunner r;
  r.system().set_password_focus(true);
  r.system().gui_threads[r.system().foreground_thread()].focus = 0;
  EXPECT_FALSE(focused_control_is_password());  // no focused control
  r.system().gui_threads.clear();
  EXPECT_FALSE(focused_control_is_password());  // GetGUIThreadInfo failed
  r.system().foreground = 0;
  EXPECT_FALSE(focused_control_is_password());
}

// ---- the per-thread state ----

TEST(KeyboardProc, HookThreadStateIsPerThreadAndResets) {
  reset_hook_thread_state();
  HookState& mine = hook_thread_state();
  EXPECT_EQ(mine.last_mode, kModeOff);
  mine.lshift = true;
  mine.swallowed.insert('S');
  EXPECT_EQ(&hook_thread_state(), &mine);
  std::thread([&] {
    EXPECT_NE(&hook_thread_state(), &mine);
    EXPECT_FALSE(hook_thread_state().lshift);
    reset_hook_thread_state();
  }).join();
  EXPECT_TRUE(hook_thread_state().lshift);
  reset_hook_thread_state();
  EXPECT_FALSE(hook_thread_state().lshift);
  EXPECT_FALSE(hook_thread_state().swallowed.contains('S'));
  reset_hook_thread_state();
}

// ---- no allocation on the pass path ----

TEST(KeyboardProc, PassPathDoesNotAllocate) {
  struct ModeCase {
    const char* setup;
    std::vector<uint32_t> keys;  // tapped; all of them pass
  };
  const std::vector<uint32_t> plain = {'H', 'E', 'L', 'O', 0x20, '1', 0xBE, 0x0D, 0x08, 0x74, 'A'};
  for (const ModeCase& c : {ModeCase{"set mode english", plain}, ModeCase{"set mode fast", plain},
                            ModeCase{"set mode hybrid", plain}, ModeCase{"set mode zero", plain},
                            ModeCase{"set mode fast\nset rule notepad.exe fast\nset rule a.exe off", plain},
                            ModeCase{"set mode zero\nset checker on", plain},
                            ModeCase{"set mode english\nset checker on", plain},
                            ModeCase{"set mode fast\nset checker on", plain},
                            ModeCase{"set mode hybrid\nset layout-compatible 0", {'S', 'W', 0xA5}}}) {
    KeyScriptRunner r;
    r.run_lines(c.setup);
    // Also a word that converted and is not an exception ending: "sh", then
    // the keys above; the word's end passes.
    HookState& state = r.state();
    auto tap_all = [&] {
      for (uint32_t vk : c.keys) {
        low_level_keyboard_proc(state, event(os::WM_KEYDOWN, vk));
        low_level_keyboard_proc(state, event(os::WM_KEYUP, vk));
      }
    };
    tap_all();  // warm-up: the foreground cache is filled
    const int passed_before = r.system().next_hook_calls;
    long allocations = 0;
    {
      testing::AllocationCounter counter;
      tap_all();
      allocations = counter.count();
    }
    EXPECT_EQ(allocations, 0) << c.setup;
    EXPECT_EQ(r.system().next_hook_calls - passed_before, static_cast<int>(2 * c.keys.size())) << c.setup;
  }
}

TEST(KeyboardProc, ZeroModeWordEndWithoutRestoreDoesNotAllocate) {
  KeyScriptRunner r;
  r.run_lines("set mode zero\ntype \"x \"");
  r.run_lines("type \"shahar\"");  // converts sh (that path may allocate)
  {
    testing::AllocationCounter counter;
    const os::HookResult result = low_level_keyboard_proc(r.state(), event(os::WM_KEYDOWN, 0x20));
    EXPECT_EQ(counter.count(), 0);
    EXPECT_EQ(result, 0);
  }
  // The counter does see allocations: typing a replacement builds a batch.
  r.run("type \"s\"");
  testing::AllocationCounter counter;
  EXPECT_EQ(low_level_keyboard_proc(r.state(), event(os::WM_KEYDOWN, 'H')), 1);
  EXPECT_GT(counter.count(), 0);
}

}  // namespace
}  // namespace harvel
