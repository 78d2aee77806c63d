#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <thread>

#include "app/setup.h"
#include "core/state.h"
#include "keyboard/layout_watcher.h"
#include "shell/command_fixture.h"
#include "shell/popup.h"
#include "shell/tray_events.h"

namespace harvel {
namespace {

using namespace std::chrono_literals;
using fake::WindowCall;

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

os::MonitorInfo monitor(os::Rect rect, os::Rect work, double scale, bool primary) {
  os::MonitorInfo m;
  m.rect = rect;
  m.work_area = work;
  m.scale_factor = scale;
  m.primary = primary;
  return m;
}

// A 1920 × 1080 primary monitor with the task bar at the bottom (40 px).
const os::MonitorInfo kScreen = monitor({0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 1.0, true);
const TrayIconRect kIcon{1800, 1045, 24, 24};

class Popup : public testing::CommandFixture {
 protected:
  Popup() {
    reset_popup_geometry();
    tray_click_state().set(TrayClickState{});
    popup_shown() = 0;
    desk.monitors.set({kScreen});
  }
  ~Popup() override {
    reset_popup_geometry();
    tray_click_state().set(TrayClickState{});
    popup_shown() = 0;
  }

  std::vector<WindowCall> popup_calls() { return desk.windows.calls_for("popup"); }

  bool wait_hides(int n) {
    return desk.windows.wait_for([n](const std::vector<WindowCall>& calls) {
      int hides = 0;
      for (const WindowCall& c : calls) hides += c.label == "popup" && c.op == "hide" ? 1 : 0;
      return hides >= n;
    });
  }

  std::string snapshot_json() {
    return serialize_snapshot(build_state_snapshot(t.app)).dump(-1, ' ', false, Json::error_handler_t::replace);
  }
};

// ---- placement ----

TEST(PopupPlacement, Table) {
  struct Case {
    const char* what;
    PopupAnchor anchor;
    double height;
    PopupRect expected;
  };
  const Case cases[] = {
      {"task bar at the bottom: the centred x is clamped",
       {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 1.0, TrayIconRect{1800, 1045, 24, 24}}, 300, {1552, 732, 360, 300}},
      {"task bar on the right",
       {{0, 0, 1920, 1080}, {0, 0, 1880, 1080}, 1.0, TrayIconRect{1890, 500, 24, 24}}, 300, {1512, 362, 360, 300}},
      {"task bar at the top",
       {{0, 0, 1920, 1080}, {0, 40, 1920, 1040}, 1.0, TrayIconRect{1700, 8, 24, 24}}, 300, {1532, 48, 360, 300}},
      {"task bar on the left",
       {{0, 0, 1920, 1080}, {48, 0, 1872, 1080}, 1.0, TrayIconRect{12, 600, 24, 24}}, 300, {56, 462, 360, 300}},
      {"icon near the left end of a bottom task bar",
       {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 1.0, TrayIconRect{10, 1045, 24, 24}}, 300, {8, 732, 360, 300}},
      {"scale 1.5: 540 × 450 with a 12 px margin",
       {{0, 0, 2880, 1620}, {0, 0, 2880, 1560}, 1.5, TrayIconRect{2700, 1570, 36, 36}}, 300, {2328, 1098, 540, 450}},
      {"scale 1.25 rounds half away from zero (377.5 -> 378)",
       {{0, 0, 2400, 1350}, {0, 0, 2400, 1300}, 1.25, TrayIconRect{1000, 1310, 30, 30}}, 302, {790, 912, 450, 378}},
      {"bottom and right tie: bottom wins",
       {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 1.0, TrayIconRect{1408, 528, 24, 24}}, 300, {1240, 732, 360, 300}},
      {"right and top tie: right wins",
       {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 1.0, TrayIconRect{1708, 188, 24, 24}}, 300, {1552, 50, 360, 300}},
      {"odd icon size: halves truncate",
       {{0, 0, 1920, 1080}, {0, 0, 1880, 1080}, 1.0, TrayIconRect{1890, 500, 25, 25}}, 301, {1512, 362, 360, 301}},
      {"work area too small: pinned at the top-left margin",
       {{0, 0, 300, 200}, {0, 0, 300, 200}, 1.0, TrayIconRect{280, 190, 20, 20}}, 300, {8, 8, 360, 300}},
      {"second monitor to the right, task bar at its bottom",
       {{1920, 0, 2560, 1440}, {1920, 0, 2560, 1400}, 1.0, TrayIconRect{4400, 1410, 24, 24}}, 200,
       {4112, 1192, 360, 200}},
      {"monitor left of the primary (negative coordinates)",
       {{-1920, 0, 1920, 1080}, {-1920, 0, 1920, 1040}, 1.0, TrayIconRect{-200, 1045, 24, 24}}, 300,
       {-368, 732, 360, 300}},
      {"no icon: bottom right of the monitor",
       {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 1.0, std::nullopt}, 300, {1544, 716, 360, 300}},
      {"no icon, scale 1.5",
       {{0, 0, 2880, 1620}, {0, 0, 2880, 1560}, 1.5, std::nullopt}, 300, {2316, 1074, 540, 450}},
      {"no icon, monitor at negative x, no clamping",
       {{-1920, 0, 1920, 1080}, {-1920, 0, 1920, 1080}, 1.0, std::nullopt}, 640, {-376, 376, 360, 640}},
      {"no icon, a height that is not a number gives 0",
       {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 1.0, std::nullopt}, std::nan(""), {1544, 0, 360, 0}},
      {"no icon, huge scale saturates",
       {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 1e10, std::nullopt}, 300, {kMin, kMin, kMax, kMax}},
  };
  for (const Case& c : cases) EXPECT_EQ(place_popup(c.anchor, c.height), c.expected) << c.what;
}

TEST_F(Popup, AnchorIsTheIconsMonitorElseThePrimary) {
  const os::MonitorInfo right = monitor({1920, 0, 2560, 1440}, {1920, 0, 2560, 1400}, 1.5, false);
  desk.monitors.set({kScreen, right});
  const TrayIconRect on_right{4400, 1410, 24, 24};
  EXPECT_EQ(popup_anchor(on_right), (PopupAnchor{right.rect, right.work_area, 1.5, on_right}));
  EXPECT_EQ(popup_anchor(kIcon), (PopupAnchor{kScreen.rect, kScreen.work_area, 1.0, kIcon}));
  // The centre decides: an icon whose centre is past every monitor.
  const TrayIconRect outside{5000, 100, 24, 24};
  EXPECT_EQ(popup_anchor(outside), (PopupAnchor{kScreen.rect, kScreen.work_area, 1.0, outside}));
  EXPECT_EQ(popup_anchor(std::nullopt), (PopupAnchor{kScreen.rect, kScreen.work_area, 1.0, std::nullopt}));
  desk.monitors.set({monitor({0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 1.0, false)});
  EXPECT_EQ(popup_anchor(std::nullopt), std::nullopt);  // no primary
  desk.monitors.set({});
  EXPECT_EQ(popup_anchor(kIcon), std::nullopt);
}

// ---- show and hide ----

TEST_F(Popup, FirstShowCreatesPlacesShowsFocusesAndTellsThePage) {
  tray_click_state().set(TrayClickState{false, std::nullopt, t.sys.now(), kPressNone});
  show_popup_window(t.app, kIcon);

  const std::string snapshot = snapshot_json();
  EXPECT_EQ(popup_calls(), (std::vector<WindowCall>{{"create", "popup", "", ""},
                                                    {"size", "popup", "", "360 300 physical"},
                                                    {"position", "popup", "", "1552 732 physical"},
                                                    {"show", "popup", "", ""},
                                                    {"focus", "popup", "", ""},
                                                    {"emit", "popup", "state-changed", snapshot},
                                                    {"emit", "popup", "popup-shown", ""}}));
  const auto w = desk.windows.window("popup");
  ASSERT_TRUE(w.has_value());
  const os::WindowSpec& s = w->spec;
  EXPECT_EQ(s.url, "index.html");
  EXPECT_TRUE(s.frameless);
  EXPECT_TRUE(s.transparent);
  EXPECT_FALSE(s.resizable);
  EXPECT_FALSE(s.minimizable);
  EXPECT_FALSE(s.maximizable);
  EXPECT_FALSE(s.focus);
  EXPECT_FALSE(s.visible) << "created hidden, shown once placed";
  EXPECT_EQ(s.start_script,
            "if (!location.hash.startsWith('#/tray')) location.hash = '#/tray';"
            "window.addEventListener('keydown', function (e) {if (e.key === 'Escape') { "
            "window.__HARVEL_IPC__.invoke('popup_close'); }});");
  EXPECT_TRUE(w->visible);
  EXPECT_TRUE(w->focused);

  const TrayClickState c = tray_click_state().copy();
  EXPECT_TRUE(c.popup_open);
  EXPECT_EQ(c.shown_at, t.sys.now());
  EXPECT_FALSE(c.hidden_at.has_value());
  EXPECT_EQ(popup_shown(), 1);
  EXPECT_EQ(popup_stored_anchor(), (PopupAnchor{kScreen.rect, kScreen.work_area, 1.0, kIcon}));
}

TEST_F(Popup, LaterShowsReuseTheWindowAtTheStoredHeight) {
  show_popup_window(t.app, kIcon);
  hide_popup_window(t.app, false);
  fit_popup(t.app, 420);
  desk.windows.clear_calls();
  // No icon this time (the Linux tray cannot tell): bottom right of the primary.
  show_popup_window(t.app, std::nullopt);
  const std::vector<WindowCall> calls = popup_calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], (WindowCall{"size", "popup", "", "360 420 physical"}));
  EXPECT_EQ(calls[1], (WindowCall{"position", "popup", "", "1544 596 physical"}));
  EXPECT_EQ(calls[2], (WindowCall{"show", "popup", "", ""}));
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const WindowCall& c) { return c.op == "create"; }), 0);
}

TEST_F(Popup, WithoutAMonitorItShowsWhereItWas) {
  desk.monitors.set({});
  show_popup_window(t.app, kIcon);
  std::vector<std::string> ops;
  for (const WindowCall& c : popup_calls()) ops.push_back(c.op);
  EXPECT_EQ(ops, (std::vector<std::string>{"create", "show", "focus", "emit", "emit"}));
  EXPECT_EQ(popup_stored_anchor(), std::nullopt);
  EXPECT_TRUE(tray_click_state().copy().popup_open);
}

TEST_F(Popup, AFailedCreationShowsNothingAndKeepsTheClickState) {
  desk.windows.fail_create("popup");
  const os::Instant hidden = t.sys.now();
  tray_click_state().set(TrayClickState{false, std::nullopt, hidden, kPressNone});
  show_popup_window(t.app, kIcon);
  EXPECT_EQ(popup_calls(), (std::vector<WindowCall>{{"create", "popup", "", ""}}));
  const TrayClickState c = tray_click_state().copy();
  EXPECT_FALSE(c.popup_open);
  EXPECT_FALSE(c.shown_at.has_value());
  EXPECT_EQ(c.hidden_at, hidden);
  EXPECT_EQ(popup_shown(), 0);
}

TEST_F(Popup, HideRecordsFocusLossOnly) {
  show_popup_window(t.app, kIcon);
  t.sys.advance(300ms);
  hide_popup_window(t.app, true);
  TrayClickState c = tray_click_state().copy();
  EXPECT_FALSE(c.popup_open);
  EXPECT_EQ(c.hidden_at, t.sys.now());
  EXPECT_EQ(popup_shown(), 0);
  EXPECT_FALSE(desk.windows.window("popup")->visible);
  EXPECT_TRUE(desk.windows.window("popup").has_value()) << "hidden, never destroyed";

  show_popup_window(t.app, kIcon);
  EXPECT_FALSE(tray_click_state().copy().hidden_at.has_value()) << "a show clears it";
  hide_popup_window(t.app, false);
  c = tray_click_state().copy();
  EXPECT_FALSE(c.popup_open);
  EXPECT_FALSE(c.hidden_at.has_value());
}

TEST_F(Popup, SpawnedShowRunsOnItsOwnThread) {
  spawn_show_popup(t.app, kIcon);
  EXPECT_TRUE(desk.windows.wait_for([](const std::vector<WindowCall>& calls) {
    return !calls.empty() && calls.back() == WindowCall{"emit", "popup", "popup-shown", ""};
  }));
  EXPECT_EQ(popup_shown(), 1);
}

// ---- fit ----

TEST_F(Popup, FitBeforeAnyShowStoresTheHeightAndMovesNothing) {
  desk.windows.add_window("popup", false);
  fit_popup(t.app, 500);
  EXPECT_EQ(popup_height(), 500);
  EXPECT_TRUE(popup_calls().empty());
}

TEST_F(Popup, FitLimitsTheHeightAndPlacesTheShownPopupAgain) {
  show_popup_window(t.app, kIcon);
  struct Case {
    double reported;
    double height;
    const char* size;
    const char* position;
  };
  const Case cases[] = {
      {500, 500, "360 500 physical", "1552 532 physical"},
      {50, 120, "360 120 physical", "1552 912 physical"},
      {1000, 640, "360 640 physical", "1552 392 physical"},
      {std::numeric_limits<double>::infinity(), 300, "360 300 physical", "1552 732 physical"},
      {-std::numeric_limits<double>::infinity(), 300, "360 300 physical", "1552 732 physical"},
      {std::nan(""), 300, "360 300 physical", "1552 732 physical"},
      {120.4, 120.4, "360 120 physical", "1552 912 physical"},
  };
  for (const Case& c : cases) {
    desk.windows.clear_calls();
    fit_popup(t.app, c.reported);
    EXPECT_EQ(popup_height(), c.height) << c.reported;
    EXPECT_EQ(popup_calls(), (std::vector<WindowCall>{{"size", "popup", "", c.size},
                                                      {"position", "popup", "", c.position}}))
        << c.reported;
  }
  // Hidden, the pop-up is still resized, never shown.
  hide_popup_window(t.app, false);
  desk.windows.clear_calls();
  fit_popup(t.app, 200);
  EXPECT_EQ(popup_calls(), (std::vector<WindowCall>{{"size", "popup", "", "360 200 physical"},
                                                    {"position", "popup", "", "1552 832 physical"}}));
  EXPECT_FALSE(desk.windows.window("popup")->visible);
}

TEST_F(Popup, FitAtScale15) {
  desk.monitors.set({monitor({0, 0, 2880, 1620}, {0, 0, 2880, 1560}, 1.5, true)});
  show_popup_window(t.app, TrayIconRect{2700, 1570, 36, 36});
  desk.windows.clear_calls();
  fit_popup(t.app, 200);
  EXPECT_EQ(popup_calls(), (std::vector<WindowCall>{{"size", "popup", "", "540 300 physical"},
                                                    {"position", "popup", "", "2328 1248 physical"}}));
}

// "popup_fit" runs on the event-loop thread while a show thread may be
// waiting for that loop: it takes only the geometry lock.
TEST_F(Popup, FitNeverWaitsForAShowInProgress) {
  std::promise<void> release;
  const std::shared_future<void> released = release.get_future().share();
  std::atomic<int> creations{0};
  desk.windows.on_create = [&](const os::WindowSpec&) {
    ++creations;
    released.wait_for(5s);
  };
  spawn_show_popup(t.app, kIcon);
  for (int i = 0; i < 2000 && creations == 0; ++i) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(creations, 1);
  const auto before = std::chrono::steady_clock::now();
  fit_popup(t.app, 200);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
  release.set_value();
  ASSERT_TRUE(desk.windows.wait_for([](const std::vector<WindowCall>& calls) {
    return !calls.empty() && calls.back() == WindowCall{"emit", "popup", "popup-shown", ""};
  }));
  desk.windows.on_create = nullptr;
  // Not placed yet when the height came: the show uses it.
  const std::vector<WindowCall> calls = popup_calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[1], (WindowCall{"size", "popup", "", "360 200 physical"}));
  EXPECT_EQ(calls[2], (WindowCall{"position", "popup", "", "1552 832 physical"}));
}

// ---- focus loss (the window-event rule of set-up) ----

TEST_F(Popup, FocusLoss150MsAfterTheShowKeepsIt250MsHidesIt) {
  show_popup_window(t.app, kIcon);
  desk.windows.clear_calls();
  os::WindowEvent blur{os::WindowEventKind::Unfocused};

  t.sys.advance(150ms);
  on_window_event(t.app, "popup", blur);
  std::this_thread::sleep_for(150ms);  // a hide would run on a thread of its own
  EXPECT_TRUE(popup_calls().empty());
  EXPECT_TRUE(tray_click_state().copy().popup_open);
  EXPECT_EQ(popup_shown(), 1);

  t.sys.advance(100ms);  // 250 ms after the show
  on_window_event(t.app, "popup", blur);
  ASSERT_TRUE(wait_hides(1));
  for (int i = 0; i < 500 && tray_click_state().copy().popup_open; ++i) std::this_thread::sleep_for(1ms);
  const TrayClickState c = tray_click_state().copy();
  EXPECT_FALSE(c.popup_open);
  EXPECT_EQ(c.hidden_at, t.sys.now()) << "the hide counts as focus loss";
  EXPECT_EQ(popup_shown(), 0);
}

TEST_F(Popup, FocusLossOfAHiddenPopupDoesNothing) {
  show_popup_window(t.app, kIcon);
  hide_popup_window(t.app, false);
  desk.windows.clear_calls();
  t.sys.advance(1s);
  os::WindowEvent blur{os::WindowEventKind::Unfocused};
  on_window_event(t.app, "popup", blur);
  std::this_thread::sleep_for(150ms);
  EXPECT_TRUE(popup_calls().empty());
  EXPECT_FALSE(tray_click_state().copy().hidden_at.has_value());
}

TEST_F(Popup, CloseRequestHidesInsteadOfClosing) {
  show_popup_window(t.app, kIcon);
  desk.windows.set_event_handler(
      [this](std::string_view label, os::WindowEvent& e) { on_window_event(t.app, label, e); });
  desk.windows.close("popup");
  ASSERT_TRUE(wait_hides(1));
  EXPECT_TRUE(desk.windows.window("popup").has_value());
  for (int i = 0; i < 500 && tray_click_state().copy().popup_open; ++i) std::this_thread::sleep_for(1ms);
  EXPECT_FALSE(tray_click_state().copy().hidden_at.has_value()) << "an explicit close";
}

}  // namespace
}  // namespace harvel
