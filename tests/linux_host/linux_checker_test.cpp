// The checker's Linux facilities without a program to check: the range
// arithmetic, the DPI resource, and what they answer with no display or no
// accessibility bus (this suite runs without one).
#include <gtest/gtest.h>

#include "host_fixture.h"
#include "platform/linux/linux_checker.h"
#include "platform/linux/linux_host.h"

namespace harvel::linux_host {
namespace {

TEST(LinuxCheckerRange, EndpointsMoveWithinTheTextAndReportTheirMove) {
  struct Case {
    int32_t start, end, length;
    bool move_start;
    int32_t count;
    int32_t moved, start_after, end_after;
  };
  const Case cases[] = {
      // A word and its terminator before the caret at 7 of 7.
      {7, 7, 7, true, -7, -7, 0, 7},
      {0, 7, 7, false, -1, -1, 0, 6},
      // Cut short at the start and at the end of the text.
      {5, 5, 9, true, -7, -5, 0, 5},
      {5, 5, 9, false, 10, 4, 5, 9},
      // Start moved past End drags End along, and End before Start drags Start.
      {2, 4, 9, true, 5, 5, 7, 7},
      {2, 4, 9, false, -3, -3, 1, 1},
  };
  for (const Case& c : cases) {
    int32_t start = c.start;
    int32_t end = c.end;
    EXPECT_EQ(move_range_endpoint(start, end, c.length, c.move_start, c.count), c.moved)
        << c.start << ".." << c.end << " by " << c.count;
    EXPECT_EQ(start, c.start_after) << c.start << ".." << c.end << " by " << c.count;
    EXPECT_EQ(end, c.end_after) << c.start << ".." << c.end << " by " << c.count;
  }
}

TEST(LinuxCheckerRange, OneLineGivesTheRangeTwoLinesGiveTwoRectanglesNoSizeNone) {
  const os::Box s{10, 20, 18, 37};
  const os::Box r_same_line{50, 21, 58, 37};
  const os::Box next_line{10, 40, 18, 57};
  EXPECT_EQ(range_rectangles(s, r_same_line, {10, 20, 58, 37}), (std::vector<double>{10, 20, 48, 17}));
  EXPECT_EQ(range_rectangles(s, next_line, {10, 20, 18, 57}), (std::vector<double>{10, 20, 8, 17, 10, 40, 8, 17}));
  EXPECT_TRUE(range_rectangles(s, r_same_line, {10, 20, 10, 37}).empty());
  EXPECT_TRUE(range_rectangles({0, 0, 0, 0}, r_same_line, {10, 20, 58, 37}).empty());
}

TEST(LinuxCheckerRange, AProgramsWindowScaleIsItsWindowsWidthOverItsAccessiblesWidth) {
  struct Case {
    uint32_t physical;
    int32_t logical;
    int32_t scale;
  };
  const Case cases[] = {
      {400, 400, 1}, {800, 400, 2}, {1212, 400, 3},  // a frame a few pixels wider
      {410, 400, 1}, {300, 400, 1},                  // never below 1
      {400, 0, 1},   {400, -5, 1},  {100000, 1, 8},  // no width, and at most 8
  };
  for (const Case& c : cases) {
    EXPECT_EQ(coordinate_scale(c.physical, c.logical), c.scale) << c.physical << " over " << c.logical;
  }
}

TEST(LinuxCheckerMonitors, TheWordsMonitorIsTheOneWithMostOfItOrTheClosest) {
  // Two side by side, a third below the first.
  const std::vector<os::MonitorInfo> monitors = {
      {{0, 0, 1920, 1080}, {}, 1, true},
      {{1920, 0, 1280, 1024}, {}, 1, false},
      {{0, 1080, 1920, 1080}, {}, 1, false},
  };
  struct Case {
    os::Box word;
    std::optional<std::size_t> monitor;
  };
  const Case cases[] = {
      {{100, 100, 160, 120}, 0},
      {{1900, 500, 1960, 520}, 1},   // more of it on the second
      {{1890, 500, 1940, 520}, 0},   // more of it on the first
      {{3300, 200, 3360, 220}, 1},   // right of everything
      {{100, 2300, 160, 2320}, 2},   // below everything
      {{-80, 1070, -20, 1090}, 0},   // as near to the first as to the third: the first listed
  };
  for (const Case& c : cases) {
    EXPECT_EQ(nearest_monitor(monitors, c.word), c.monitor) << c.word.left << "," << c.word.top;
  }
  EXPECT_EQ(nearest_monitor({}, {0, 0, 10, 10}), std::nullopt);
}

TEST(LinuxCheckerDpi, XftDpiIsReadFromTheResources) {
  struct Case {
    const char* resources;
    std::optional<uint32_t> dpi;
  };
  const Case cases[] = {
      {"Xft.antialias:\t1\nXft.dpi:\t144\n", 144},
      {"Xft.dpi:\t96.4", 96},
      {"Xft.dpi:\t120.6\n", 121},
      {"Xft.dpi:\tlarge\n", std::nullopt},
      {"Xft.dpi:\t0\n", std::nullopt},
      {"Xft.hinting:\t1\n", std::nullopt},
      {"", std::nullopt},
      {nullptr, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(xft_dpi(c.resources), c.dpi) << (c.resources ? c.resources : "null");
}

TEST(LinuxCheckerNoDisplay, TheOverlayReportsNoWindowsAndEveryCallIsHarmless) {
  testing::ScopedEnv display("DISPLAY", std::nullopt);
  LinuxOverlayWindows w;
  w.prepare_thread();
  EXPECT_FALSE(w.create_windows(nullptr));
  w.hide_windows();
  w.pump_messages();
  w.show_underline({0, 0}, 2, 1, std::vector<uint32_t>{0xFF000000u, 0});
  w.show_popup({0, 0, 22, 22, os::PopupPlacement::Shape::Ellipse, 0});
  EXPECT_FALSE(w.left_button_down());
  EXPECT_EQ(w.popup_rect(), std::nullopt);
  EXPECT_EQ(w.monitor_dpi({}), std::nullopt);
  EXPECT_EQ(w.work_area({}), std::nullopt);
}

TEST(LinuxCheckerNoBus, TheFocusedTextIsUnavailable) {
  testing::start_host_once();
  LinuxUiAutomation* uia = dynamic_cast<LinuxUiAutomation*>(os::checker_platform().uia);
  ASSERT_NE(uia, nullptr) << "the host installs its automation";
  EXPECT_EQ(uia->focused_text().kind, os::UiaFocus::Kind::Unavailable);
  EXPECT_NE(dynamic_cast<LinuxOverlayWindows*>(os::checker_platform().overlay), nullptr);
}

TEST(LinuxCheckerOverlay, OnTheDisplayTheWindowsAreCreatedAndTheWorkAreaIsTheScreen) {
  LinuxOverlayWindows w;
  ASSERT_TRUE(w.create_windows(nullptr));
  EXPECT_EQ(w.work_area({}), (os::Box{0, 0, 1280, 1024}));  // with_xvfb.sh's screen, no window manager
  EXPECT_EQ(w.monitor_dpi({}), 96u);
  w.hide_windows();
}

}  // namespace
}  // namespace harvel::linux_host
