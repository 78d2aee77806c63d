// The tray icon's events: left clicks opening and closing the pop-up (with
// the fake clock), and the context menu's items.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "shell/tray_fixture.h"

namespace harvel {
namespace {

using namespace std::chrono_literals;
using fake::WindowCall;
using testing::TrayWorld;

os::TrayEvent left(os::ButtonState state, std::optional<os::TrayIconArea> area = std::nullopt) {
  return {os::TrayEventKind::Click, os::MouseButton::Left, state, area};
}

class TrayClicks : public ::testing::Test {
 protected:
  TrayClicks() {
    w.settings([](Settings& s) { s.onboarded = true; });
    w.desk.windows.add_window("main", false);
    os::MonitorInfo screen;
    screen.rect = {0, 0, 1920, 1080};
    screen.work_area = {0, 0, 1920, 1040};
    screen.primary = true;
    w.desk.monitors.set({screen});
  }
  ~TrayClicks() override {
    // Let a pop-up thread still running finish before the world goes.
    std::this_thread::sleep_for(20ms);
  }

  void press() { on_tray_icon_click(w.app(), left(os::ButtonState::Down)); }
  void release(std::optional<os::TrayIconArea> area = std::nullopt) {
    on_tray_icon_click(w.app(), left(os::ButtonState::Up, area));
  }
  TrayClickState state() { return tray_click_state().copy(); }

  int popup_ops(const std::string& op) {
    int n = 0;
    for (const WindowCall& c : w.desk.windows.calls_for("popup")) n += c.op == op ? 1 : 0;
    return n;
  }
  // The show thread's last step is the "popup-shown" event.
  bool wait_shown(int times = 1) {
    return w.desk.windows.wait_for([times](const std::vector<WindowCall>& calls) {
      int n = 0;
      for (const WindowCall& c : calls) n += c.label == "popup" && c.event == "popup-shown" ? 1 : 0;
      return n >= times;
    });
  }
  bool wait_hidden() {
    const bool hid = w.desk.windows.wait_for([](const std::vector<WindowCall>& calls) {
      for (const WindowCall& c : calls) {
        if (c.label == "popup" && c.op == "hide") return true;
      }
      return false;
    });
    for (int i = 0; i < 200 && tray_click_state().copy().popup_open; ++i) std::this_thread::sleep_for(5ms);
    return hid;
  }
  // Nothing more happens to the pop-up for a while.
  void expect_no_more_popup_calls(std::size_t before) {
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(w.desk.windows.calls_for("popup").size(), before);
  }
  void open_popup() {
    press();
    release();
    ASSERT_TRUE(wait_shown());
    ASSERT_TRUE(state().popup_open);
  }

  TrayWorld w;
};

TEST_F(TrayClicks, BeforeOnboardingTheMainWindowOpensAndNeverThePopup) {
  w.settings([](Settings& s) { s.onboarded = false; });
  press();
  release();
  const std::vector<WindowCall> main = w.desk.windows.calls_for("main");
  ASSERT_EQ(main.size(), 3u);
  EXPECT_EQ(main[0].op, "unminimize");
  EXPECT_EQ(main[1].op, "show");
  EXPECT_EQ(main[2].op, "focus");
  expect_no_more_popup_calls(0);
}

TEST_F(TrayClicks, AClickOpensThePopupNextToTheIconInPhysicalPixels) {
  os::MonitorInfo screen;
  screen.rect = {0, 0, 2880, 1620};
  screen.work_area = {0, 0, 2880, 1560};
  screen.scale_factor = 1.5;
  screen.primary = true;
  w.desk.monitors.set({screen});
  press();
  release(os::TrayIconArea{1800, 1045, 16, 16, os::Units::Logical});
  ASSERT_TRUE(wait_shown());
  const auto anchor = popup_stored_anchor();
  ASSERT_TRUE(anchor);
  EXPECT_EQ(anchor->icon, (TrayIconRect{2700, 1568, 24, 24}));
  EXPECT_EQ(state().press_state, kPressNone);
}

TEST_F(TrayClicks, AnIconAreaWithoutSizeIsNoIcon) {
  press();
  release(os::TrayIconArea{1800, 1045, 0, 16, os::Units::Physical});
  ASSERT_TRUE(wait_shown());
  ASSERT_TRUE(popup_stored_anchor());
  EXPECT_FALSE(popup_stored_anchor()->icon);
}

TEST_F(TrayClicks, ClickingTheIconOfAnOpenPopupThatLosesTheFocusLeavesItClosed) {
  open_popup();
  w.t.sys.advance(2s);
  press();
  EXPECT_EQ(state().press_state, kPressClose);
  // The click takes the focus away first: the pop-up hides itself.
  hide_popup_window(w.app(), true);
  const std::size_t before = w.desk.windows.calls_for("popup").size();
  release();
  expect_no_more_popup_calls(before);
  EXPECT_FALSE(state().popup_open);

  // A click more than 500 ms after that close opens it again.
  w.t.sys.advance(501ms);
  press();
  EXPECT_EQ(state().press_state, kPressOpen);
  release();
  EXPECT_TRUE(wait_shown(2));
}

TEST_F(TrayClicks, ClickingTheIconOfAnOpenPopupThatKeepsTheFocusClosesIt) {
  open_popup();
  press();
  release();
  EXPECT_TRUE(wait_hidden());
  EXPECT_FALSE(state().popup_open);
  EXPECT_FALSE(state().hidden_at) << "an explicit close is no focus loss";
}

TEST_F(TrayClicks, PressDecisions) {
  struct Case {
    const char* what;
    bool popup_open;
    std::optional<std::chrono::milliseconds> hidden_ago;  // negative: in the future
    uint8_t expected;
  };
  const Case cases[] = {
      {"open: close", true, std::nullopt, kPressClose},
      {"open even just after a focus loss: close", true, 10ms, kPressClose},
      {"hidden by focus loss 300 ms ago: ignore", false, 300ms, kPressIgnore},
      {"hidden 500 ms ago: still ignore", false, 500ms, kPressIgnore},
      {"hidden 600 ms ago: open", false, 600ms, kPressOpen},
      {"never hidden: open", false, std::nullopt, kPressOpen},
      {"a hide time later than now counts as long ago: open", false, -50ms, kPressOpen},
  };
  for (const Case& c : cases) {
    tray_click_state().with([&](TrayClickState& s) {
      s = TrayClickState{};
      s.popup_open = c.popup_open;
      if (c.hidden_ago) s.hidden_at = w.t.sys.now() - *c.hidden_ago;
    });
    press();
    EXPECT_EQ(state().press_state, c.expected) << c.what;
  }
  tray_click_state().set(TrayClickState{});
}

TEST_F(TrayClicks, AReleaseAfterAnIgnoredPressDoesNothing) {
  tray_click_state().with([&](TrayClickState& s) { s.hidden_at = w.t.sys.now(); });
  w.t.sys.advance(300ms);
  press();
  w.t.sys.advance(400ms);  // even when the release comes later than 500 ms
  release();
  expect_no_more_popup_calls(0);
  EXPECT_EQ(state().press_state, kPressNone);
}

TEST_F(TrayClicks, AnOpenDecisionIsDroppedWhenThePopupOpenedMeanwhile) {
  press();
  EXPECT_EQ(state().press_state, kPressOpen);
  tray_click_state().with([](TrayClickState& s) { s.popup_open = true; });
  release();
  expect_no_more_popup_calls(0);
}

TEST_F(TrayClicks, AReleaseWithoutAPressDecidesFromTheOpenFlag) {
  release();
  ASSERT_TRUE(wait_shown());
  release();
  EXPECT_TRUE(wait_hidden());
}

TEST_F(TrayClicks, OtherButtonsAndEventsAreIgnored) {
  const os::TrayEvent others[] = {
      {os::TrayEventKind::Click, os::MouseButton::Right, os::ButtonState::Down, std::nullopt},
      {os::TrayEventKind::Click, os::MouseButton::Right, os::ButtonState::Up, std::nullopt},
      {os::TrayEventKind::Click, os::MouseButton::Middle, os::ButtonState::Up, std::nullopt},
      {os::TrayEventKind::DoubleClick, os::MouseButton::Left, os::ButtonState::Down, std::nullopt},
      {os::TrayEventKind::Move, os::MouseButton::Left, os::ButtonState::Up, std::nullopt},
      {os::TrayEventKind::Enter, os::MouseButton::Left, os::ButtonState::Up, std::nullopt},
      {os::TrayEventKind::Leave, os::MouseButton::Left, os::ButtonState::Up, std::nullopt},
  };
  for (const os::TrayEvent& e : others) on_tray_icon_click(w.app(), e);
  EXPECT_EQ(state().press_state, kPressNone);
  EXPECT_TRUE(w.desk.windows.calls().empty());
}

// ---- the menu ----

class TrayMenuEvents : public ::testing::Test {
 protected:
  TrayMenuEvents() {
    w.desk.windows.add_window("main", false);
    w.settings([](Settings& s) { s.onboarded = true; });
  }

  void choose(std::string_view id) { on_tray_menu_event(w.app(), id); }
  Settings settings() { return w.ctx().settings.copy(); }
  std::vector<ToastData>& notices() { return w.t.notices; }
  std::string saved_file() {
    std::ifstream in(w.ctx().settings_path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  TrayWorld w;
};

TEST_F(TrayMenuEvents, ToggleSwitchesConversion) {
  choose("toggle");
  EXPECT_FALSE(settings().enabled);
  ASSERT_EQ(notices().size(), 1u);
  EXPECT_EQ(notices()[0].title, "Harvel o\u2018chirildi");
}

TEST_F(TrayMenuEvents, CheckerFlipsSavesAndTells) {
  choose("checker");
  EXPECT_TRUE(settings().checker);
  EXPECT_NE(saved_file().find("\"checker\": true"), std::string::npos);
  choose("checker");
  EXPECT_FALSE(settings().checker);
  EXPECT_NE(saved_file().find("\"checker\": false"), std::string::npos);
  ASSERT_EQ(notices().size(), 2u);
  EXPECT_EQ(notices()[0], (ToastData{"Realtime tekshiruvchi yoqildi",
                                     "Eski yozuvdagi (sh, ch, o\u2018, g\u2018) so\u2018z tagiga chiziq chiziladi. "
                                     "Ba\u2019zi dasturlarda ishlamaydi. Matn saqlanmaydi.",
                                     ToastKind::Info}));
  EXPECT_EQ(notices()[1],
            (ToastData{"Realtime tekshiruvchi o\u2018chirildi", "Endi so\u2018zlar tekshirilmaydi.", ToastKind::Off}));
}

TEST_F(TrayMenuEvents, ModeItems) {
  choose("mode:fast");
  EXPECT_EQ(settings().mode, kModeFast);
  ASSERT_EQ(notices().size(), 1u);
  EXPECT_EQ(notices()[0].title, "Fast rejimi yoqildi");
  for (const char* id : {"mode:", "mode:Fast", "mode:off", "mode:fast "}) {
    choose(id);
    EXPECT_EQ(settings().mode, kModeFast) << id;
  }
  EXPECT_EQ(notices().size(), 1u) << "texts that are no mode key are ignored without a notice";
}

TEST_F(TrayMenuEvents, RulesForTheProgramInFront) {
  struct Case {
    const char* id;
    std::vector<AppRule> before;
    std::vector<AppRule> after;
    std::optional<ToastData> notice;
  };
  const Case cases[] = {
      {"app:fast", {}, {{"Notepad", "notepad.exe", kModeFast}},
       ToastData{"Notepad: Fast", "Bu dastur uchun alohida rejim yoqildi.", ToastKind::Info}},
      {"app:zero", {{"Bloknot", "notepad.exe", kModeFast}}, {{"Bloknot", "notepad.exe", kModeZero}},
       ToastData{"Bloknot: Zero-learning", "Bu dastur uchun alohida rejim yoqildi.", ToastKind::Info}},
      {"app:off", {}, {{"Notepad", "notepad.exe", kModeOff}},
       ToastData{"Notepad: o\u2018chiq", "Bu dasturda Harvel ishlamaydi.", ToastKind::Off}},
      {"app:default", {{"Bloknot", "notepad.exe", kModeOff}, {"Code", "code.exe", kModeFast}},
       {{"Code", "code.exe", kModeFast}},
       ToastData{"Notepad: umumiy rejim", "Bu dastur uchun alohida qoida olib tashlandi.", ToastKind::Info}},
      {"app:bogus", {{"Bloknot", "notepad.exe", kModeOff}}, {{"Bloknot", "notepad.exe", kModeOff}}, std::nullopt},
      {"app:", {}, {}, std::nullopt},
      {"app:Fast", {}, {}, std::nullopt},
  };
  for (const Case& c : cases) {
    TrayWorld world;
    world.foreground("notepad.exe");
    world.settings([&](Settings& s) { s.apps = c.before; });
    on_tray_menu_event(world.app(), c.id);
    EXPECT_EQ(world.ctx().settings.copy().apps, c.after) << c.id;
    if (c.notice) {
      ASSERT_EQ(world.t.notices.size(), 1u) << c.id;
      EXPECT_EQ(world.t.notices[0], *c.notice) << c.id;
    } else {
      EXPECT_TRUE(world.t.notices.empty()) << c.id;
    }
  }
}

TEST_F(TrayMenuEvents, ARuleWithoutAProgramInFrontDoesNothing) {
  choose("app:fast");
  EXPECT_TRUE(settings().apps.empty());
  EXPECT_TRUE(notices().empty());
}

TEST_F(TrayMenuEvents, GoOpensTheMainWindowAtTheRoute) {
  choose("go:/settings");
  const std::vector<WindowCall> main = w.desk.windows.calls_for("main");
  ASSERT_EQ(main.size(), 4u);
  EXPECT_EQ(main[1].op, "show");
  EXPECT_EQ(main[3], (WindowCall{"emit", "main", "navigate", "\"/settings\""}));
}

TEST_F(TrayMenuEvents, QuitEndsTheLoop) {
  choose("quit");
  EXPECT_TRUE(w.ctx().quitting);
  EXPECT_EQ(w.desk.loop.exits(), std::vector<int>{0});
}

TEST_F(TrayMenuEvents, TheIconMadeAtSetUpCarriesBothHandlers) {
  ASSERT_EQ(create_tray_icon(w.app()), std::nullopt);
  EXPECT_FALSE(w.tray.choose("main", "head")) << "the title cannot be chosen";
  ASSERT_TRUE(w.tray.choose("main", "go:/lab"));
  EXPECT_EQ(w.desk.windows.calls_for("main").back(), (WindowCall{"emit", "main", "navigate", "\"/lab\""}));
  w.tray.click("main");
  EXPECT_TRUE(w.desk.windows.wait_for([](const std::vector<WindowCall>& calls) {
    for (const WindowCall& c : calls) {
      if (c.label == "popup" && c.event == "popup-shown") return true;
    }
    return false;
  }));
}

TEST_F(TrayMenuEvents, OtherIdsDoNothing) {
  const Settings before = settings();
  for (const char* id : {"head", "noapp", "", "toggle ", "Toggle", "go", "upd", "quit:now"}) choose(id);
  EXPECT_EQ(settings(), before);
  EXPECT_TRUE(notices().empty());
  EXPECT_TRUE(w.desk.windows.calls().empty());
  EXPECT_TRUE(w.desk.loop.exits().empty());
  EXPECT_FALSE(w.ctx().quitting);
}

}  // namespace
}  // namespace harvel
