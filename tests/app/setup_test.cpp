#include <gtest/gtest.h>

#include "app/setup.h"
#include "shell/tray_events.h"
#include "support/test_app.h"

namespace harvel {
namespace {

using namespace std::chrono_literals;
using testing::TestApp;

TEST(Setup, HiddenFlag) {
  EXPECT_TRUE(hidden_flag({"harvel.exe", "--hidden"}));
  EXPECT_TRUE(hidden_flag({"--hidden"}));  // the program path counts too
  EXPECT_FALSE(hidden_flag({"harvel.exe", "--Hidden", "-hidden", "--hidden=1"}));
}

TEST(Setup, MainWindowClosesOnlyBeforeOnboardingOrWhenQuitting) {
  struct Case {
    bool onboarded;
    bool quitting;
    bool prevented;
  };
  for (const Case c : {Case{false, false, false}, Case{true, false, true}, Case{true, true, false}}) {
    Settings s = default_settings();
    s.onboarded = c.onboarded;
    TestApp t(s);
    t.ctx().quitting = c.quitting;
    os::WindowEvent close{os::WindowEventKind::CloseRequested};
    on_window_event(t.app, "main", close);
    EXPECT_EQ(close.prevent_close, c.prevented) << c.onboarded << c.quitting;
  }
  App no_state;  // before set-up the window just closes
  os::WindowEvent close{os::WindowEventKind::CloseRequested};
  on_window_event(no_state, "main", close);
  EXPECT_FALSE(close.prevent_close);
}

TEST(Setup, PopupIsNeverClosedAndKeepsTheFocusForItsFirst200Ms) {
  TestApp t;
  os::WindowEvent close{os::WindowEventKind::CloseRequested};
  on_window_event(t.app, "popup", close);
  EXPECT_TRUE(close.prevent_close);

  tray_click_state().with([&](TrayClickState& s) {
    s.popup_open = true;
    s.shown_at = t.sys.now();
  });
  t.sys.advance(150ms);
  os::WindowEvent blur{os::WindowEventKind::Unfocused};
  on_window_event(t.app, "popup", blur);
  EXPECT_TRUE(tray_click_state().copy().popup_open);  // too soon: it stays
  tray_click_state().set(TrayClickState{});
}

TEST(Setup, ExitStopsTheHookThread) {
  TestApp t;
  t.ctx().hook_thread.set(HookThread{std::thread{}, std::make_shared<std::atomic<bool>>(false), 42});
  on_app_exit(t.app);
  EXPECT_FALSE(t.ctx().hook_thread.with([](const std::optional<HookThread>& r) { return r.has_value(); }));
  EXPECT_EQ(t.hook.quits_posted(), 1);
  App no_state;
  on_app_exit(no_state);  // tolerated before set-up
}

}  // namespace
}  // namespace harvel
