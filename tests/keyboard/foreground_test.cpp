#include "keyboard/foreground.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_system.h"

namespace harvel {
namespace {

class ForegroundTest : public ::testing::Test {
 protected:
  void SetUp() override { os::install_platform(sys.platform()); }
  void TearDown() override { os::install_platform(os::Platform{}); }
  fake::FakeSystem sys;
};

TEST_F(ForegroundTest, AppIsLowerCaseFileNameAndThread) {
  struct PathCase {
    std::u16string path;
    std::string exe;
  };
  for (const PathCase& c : {PathCase{u"C:\\Windows\\System32\\NOTEPAD.EXE", "notepad.exe"},
                            PathCase{u"C:\\Dasturlar\\\u00C7IZMA.Exe", "\u00E7izma.exe"},
                            PathCase{u"C:\\Program Files\\\u0421\u041B\u041E\u0412\u041E.EXE",
                                     "\u0441\u043B\u043E\u0432\u043E.exe"},
                            PathCase{u"D:/tools/Bash.exe", "bash.exe"},
                            PathCase{u"C:\\x\\a\xD800.exe", "a\uFFFD.exe"},  // an unpaired surrogate
                            PathCase{u"plain.exe", "plain.exe"}}) {
    sys.open_app(c.path);
    EXPECT_EQ(foreground_app(), (ForegroundApp{c.exe, sys.foreground_thread()}));
  }
}

TEST_F(ForegroundTest, AppUnknown) {
  sys.open_app(u"C:\\a.exe");
  const uint32_t thread = sys.foreground_thread();
  sys.process_paths.clear();  // the path cannot be read
  EXPECT_EQ(foreground_app(), (ForegroundApp{"", thread}));
  sys.foreground = 0;
  EXPECT_EQ(foreground_app(), (ForegroundApp{"", 0}));
}

TEST_F(ForegroundTest, ImagePathIsDecodedWithReplacement) {
  sys.process_paths[7] = u"C:\\\u015Fahar\\x\xDC00.exe";
  EXPECT_EQ(process_image_path(7), "C:\\\u015Fahar\\x\uFFFD.exe");
  EXPECT_EQ(process_image_path(8), std::nullopt);
}

TEST_F(ForegroundTest, ShellWindows) {
  const os::WindowHandle top = sys.open_app(u"C:\\Windows\\explorer.exe");
  for (std::string_view name : kShellWindowClasses) {
    sys.windows[top].class_name = std::u16string(name.begin(), name.end());
    EXPECT_TRUE(foreground_is_shell_window()) << name;
  }
  for (std::u16string name : {u"Notepad", u"shell_traywnd", u"Shell_TrayWnd ", u""}) {
    sys.windows[top].class_name = name;
    EXPECT_FALSE(foreground_is_shell_window());
  }
  sys.foreground = 0;
  EXPECT_FALSE(foreground_is_shell_window());
}

TEST_F(ForegroundTest, ElevationOfTheFocusedWindowsProcess) {
  const os::WindowHandle top = sys.open_app(u"C:\\a.exe");
  uint32_t pid = 0;
  sys.window_thread_process_id(top, pid);
  // A focused control owned by another process (as with embedded windows).
  const os::WindowHandle child = 0x999;
  sys.windows[child] = fake::FakeWindow{sys.foreground_thread(), 4242, u"Edit", 0};
  sys.gui_threads[sys.foreground_thread()].focus = child;

  struct ElevationCase {
    std::optional<bool> focus_process;
    std::optional<bool> top_process;
    bool expected;
  };
  for (const ElevationCase& c : {ElevationCase{false, true, false}, ElevationCase{true, false, true},
                                 ElevationCase{std::nullopt, false, true}}) {
    sys.elevation[4242] = c.focus_process;
    sys.elevation[pid] = c.top_process;
    EXPECT_EQ(is_foreground_process_elevated(), c.expected);
  }
  sys.elevation[4242] = true;
  sys.elevation[pid] = false;
  sys.gui_threads.clear();  // GetGUIThreadInfo fails: the foreground window's process
  EXPECT_FALSE(is_foreground_process_elevated());
  sys.elevation.erase(pid);  // its token cannot be read
  EXPECT_TRUE(is_foreground_process_elevated());
  sys.foreground = 0;  // no process at all
  EXPECT_TRUE(is_foreground_process_elevated());
}

TEST_F(ForegroundTest, MoreElevatedThanThisCopy) {
  const os::WindowHandle top = sys.open_app(u"C:\a.exe");
  uint32_t pid = 0;
  sys.window_thread_process_id(top, pid);
  struct Case {
    std::optional<bool> program;
    std::optional<bool> own;
    bool expected;
  };
  for (const Case& c : {Case{false, false, false}, Case{true, false, true},
                        // UAC off: every process elevated, this copy too.
                        Case{true, true, false}, Case{false, true, false},
                        // This copy's token unreadable: taken as not elevated.
                        Case{true, std::nullopt, true}, Case{false, std::nullopt, false},
                        // The program's unreadable: skipped whatever this copy is.
                        Case{std::nullopt, true, true}, Case{std::nullopt, false, true}}) {
    sys.elevation[pid] = c.program;
    sys.own_elevation = c.own;
    EXPECT_EQ(is_foreground_process_more_elevated(), c.expected)
        << "program " << (c.program ? *c.program ? "elevated" : "not elevated" : "unknown") << ", this copy "
        << (c.own ? *c.own ? "elevated" : "not elevated" : "unknown");
  }
}

}  // namespace
}  // namespace harvel
