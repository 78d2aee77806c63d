#include <gtest/gtest.h>

#include "core/state.h"
#include "keyboard/foreground_watcher.h"
#include "keyboard/hook_flags.h"
#include "keyboard/layout_watcher.h"
#include "platform/fake/fake_desktop.h"
#include "support/test_app.h"

namespace harvel {
namespace {

using namespace std::chrono_literals;
using testing::TestApp;

struct WatcherTest : ::testing::Test {
  WatcherTest() {
    layout_name().set("");
    layout_reason().set("");
    t.sys.open_app(u"C:\\Windows\\notepad.exe");
  }
  ~WatcherTest() override {
    layout_name().set("");
    layout_reason().set("");
  }
  void use_layout(os::LayoutHandle hkl) { t.sys.default_layout = hkl; }
  TestApp t;
};

TEST_F(WatcherTest, LayoutSettlesOverTwoPollsAndAnnouncesPauseAndResume) {
  LayoutWatcher w(t.app);
  w.poll();  // the first layout is accepted at once
  EXPECT_EQ(to_json(current_layout_info()).dump(), R"j({"compatible":true,"name":"English (US)","reason":null})j");
  EXPECT_TRUE(t.notices.empty());

  use_layout(fake::kLayoutCyrillic);
  w.poll();
  EXPECT_EQ(hook_flags().layout_compatible, 1);  // seen once: not yet
  w.poll();
  EXPECT_EQ(hook_flags().layout_compatible, 0);
  const std::string reason = "bu tartibda W C S O G harflari yo\u2018q";
  EXPECT_EQ(to_json(current_layout_info()).dump(), R"({"compatible":false,"name":"Rus","reason":")" + reason + "\"}");
  ASSERT_EQ(t.notices.size(), 1u);
  EXPECT_EQ(t.notices[0], (ToastData{"Tartib: Rus", "Fast/Hybrid pauzada: " + reason, ToastKind::Warn}));

  use_layout(fake::kLayoutUs);
  w.poll();
  w.poll();
  ASSERT_EQ(t.notices.size(), 2u);
  EXPECT_EQ(t.notices[1], (ToastData{"Tartib: English (US)", "Harvel davom etmoqda: Hybrid", ToastKind::Info}));
  EXPECT_EQ(t.sys.emitted().size(), 3u);  // one broadcast per accepted layout
}

TEST_F(WatcherTest, LayoutFlickerIsIgnoredAndEnglishModeIsQuiet) {
  Settings s = default_settings();
  s.mode = kModeEnglish;
  t.set_settings(s);
  LayoutWatcher w(t.app);
  w.poll();
  use_layout(fake::kLayoutCyrillic);
  w.poll();
  use_layout(fake::kLayoutUs);
  w.poll();
  EXPECT_EQ(hook_flags().layout_compatible, 1);
  use_layout(fake::kLayoutCyrillic);
  w.poll();
  w.poll();
  EXPECT_EQ(hook_flags().layout_compatible, 0);  // the snapshot follows...
  EXPECT_TRUE(t.notices.empty());                // ...but english mode shows nothing
}

TEST(LayoutNames, TableSystemNameAndHexFallback) {
  EXPECT_EQ(layout_display_name(0x0409, std::nullopt), "English (US)");
  EXPECT_EQ(layout_display_name(0x0809, std::nullopt), "English (UK)");
  EXPECT_EQ(layout_display_name(0x0443, std::nullopt), "O\u2018zbek (lotin)");
  EXPECT_EQ(layout_display_name(0x0843, std::nullopt), "O\u2018zbek (kirill)");
  EXPECT_EQ(layout_display_name(0x0419, std::string("Russian")), "Rus");
  EXPECT_EQ(layout_display_name(0x0413, std::nullopt), "0x0413");
  EXPECT_EQ(layout_display_name(0x0413, std::string("  ")), "0x0413");
  EXPECT_EQ(layout_display_name(0x0413, std::string("Nederlands")), "Nederlands");
}

TEST_F(WatcherTest, ForegroundFollowsProgramsAndRateLimitsTheOffNotice) {
  Settings s = default_settings();
  s.apps = {{"Microsoft Word", "winword.exe", kModeOff}};
  t.set_settings(s);
  ForegroundWatcher w(t.app);
  w.poll();
  EXPECT_EQ(t.ctx().foreground_exe.copy(), "notepad.exe");
  EXPECT_EQ(t.sys.emitted().size(), 1u);

  t.sys.open_app(u"C:\\Program Files\\Office\\WINWORD.EXE");
  w.poll();
  EXPECT_EQ(t.ctx().foreground_exe.copy(), "winword.exe");
  const ToastData off{"Microsoft Word: vaqtincha o\u2018chiq",
                      "Bu dasturda Harvel ishlamaydi. Boshqa dasturda yana ishlaydi.", ToastKind::Off};
  EXPECT_EQ(t.notices, std::vector<ToastData>{off});

  t.sys.open_app(u"C:\\Program Files\\Harvel\\harvel.exe");  // our own window changes nothing
  w.poll();
  EXPECT_EQ(t.ctx().foreground_exe.copy(), "winword.exe");

  t.sys.open_app(u"C:\\Windows\\notepad.exe");
  w.poll();
  t.sys.advance(10s);
  t.sys.open_app(u"C:\\Program Files\\Office\\WINWORD.EXE");
  w.poll();
  EXPECT_EQ(t.notices.size(), 1u);  // within 30 s: no second notice

  t.sys.open_app(u"C:\\Windows\\notepad.exe");
  w.poll();
  t.sys.advance(31s);
  t.sys.open_app(u"C:\\Program Files\\Office\\WINWORD.EXE");
  w.poll();
  EXPECT_EQ(t.notices.size(), 2u);
}

TEST_F(WatcherTest, NoOffNoticeWhileSwitchedOff) {
  Settings s = default_settings();
  s.enabled = false;
  s.apps = {{"Word", "winword.exe", kModeOff}};
  t.set_settings(s);
  ForegroundWatcher w(t.app);
  t.sys.open_app(u"C:\\Office\\winword.exe");
  w.poll();
  EXPECT_EQ(t.ctx().foreground_exe.copy(), "winword.exe");
  EXPECT_TRUE(t.notices.empty());
}

}  // namespace
}  // namespace harvel

namespace harvel {
namespace {

TEST(ForegroundWatcherOwnName, TheRunningBinaryIsRecognisedByItsFileName) {
  testing::TestApp t;
  fake::FakeDesktop desktop;
  desktop.shell.exe_path = "/opt/harvel/Harvel";
  os::Platform p = os::platform();
  desktop.add_to(p);
  os::install_platform(p);
  ForegroundWatcher w(t.app);
  t.sys.open_app(u"/usr/bin/gedit");
  w.poll();
  t.sys.open_app(u"/opt/harvel/Harvel");
  w.poll();
  EXPECT_EQ(t.ctx().foreground_exe.copy(), "gedit");
}

}  // namespace
}  // namespace harvel
