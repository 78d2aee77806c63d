// The foreground and layout queries on the real system under Wine: the test's
// own window in front, its process and class, and the US layout measured by
// the layout watcher. (Wine has only the US layout; the other layouts and
// their notices are covered on the fake system.)
#include <gtest/gtest.h>

#include <memory>

#include "core/app.h"
#include "core/ctx.h"
#include "core/settings.h"
#include "keyboard/foreground.h"
#include "keyboard/hook_flags.h"
#include "keyboard/keyboard_proc.h"
#include "keyboard/layout_watcher.h"
#include "platform/win32/win32_platform.h"
#include "shell/sinks.h"
#include "support/test_app.h"
#include "win32/desktop.h"

namespace harvel {
namespace {

using namespace win32test;

class Win32ForegroundTest : public ::testing::Test {
 protected:
  Win32ForegroundTest() {
    reset_hook_flags();
    win32::install_win32_platform();
  }
  ~Win32ForegroundTest() override {
    os::install_platform(os::Platform{});
    reset_hook_flags();
  }
};

TEST_F(Win32ForegroundTest, OwnWindowInFront) {
  TextWindow window;
  ASSERT_TRUE(window.ready());
  const ForegroundApp fg = foreground_app();
  EXPECT_EQ(fg.exe, "win32_tests.exe");
  EXPECT_EQ(fg.thread, GetCurrentThreadId());
  EXPECT_FALSE(foreground_is_shell_window());
  const auto path = process_image_path(GetCurrentProcessId());
  ASSERT_TRUE(path);
  EXPECT_TRUE(path->ends_with("win32_tests.exe")) << *path;
  EXPECT_FALSE(process_image_path(0xFFFFFFF0u));  // no such process
}

TEST_F(Win32ForegroundTest, PasswordBoxIsRecognised) {
  {
    TextWindow plain;
    ASSERT_TRUE(plain.ready());
    EXPECT_FALSE(focused_control_is_password());
  }
  TextWindow password(ES_PASSWORD);
  ASSERT_TRUE(password.ready());
  EXPECT_TRUE(focused_control_is_password());
}

TEST_F(Win32ForegroundTest, LayoutWatcherMeasuresTheUsLayout) {
  TextWindow window;
  ASSERT_TRUE(window.ready());
  EXPECT_TRUE(missing_probe_letters(os::platform().keyboard->keyboard_layout(GetCurrentThreadId())).empty());

  layout_name().set("");
  App app;
  app.manage(std::make_unique<Ctx>(std::filesystem::temp_directory_path() / "harvel-fg" / "settings.json",
                                   default_settings()));
  app.set_notice_handler([](const ToastData&) {});
  install_shell_sinks(app);
  LayoutWatcher watcher(app);
  watcher.poll();
  const LayoutInfo info = current_layout_info();
  EXPECT_TRUE(info.compatible);
  EXPECT_EQ(info.name, "English (US)");
  EXPECT_EQ(hook_flags().layout_compatible, 1);
  layout_name().set("");
}

}  // namespace
}  // namespace harvel
