// The X11 keyboard hook on the private display: why it cannot be installed,
// and that it ends promptly when asked.
#include <chrono>
#include <cstdlib>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "host_fixture.h"
#include "platform/linux/linux_host.h"

// Xlib's macros (None, Bool) clash with names of the program.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace harvel::linux_host {
namespace {

using testing::ScopedEnv;

std::string reason_of_failed_install() {
  LinuxKeyboardHook hook;
  if (const auto handle = hook.install()) {
    hook.uninstall(*handle);
    return "installed";
  }
  return hook.failure_reason().value_or("no reason");
}

TEST(X11KeyboardHook, SaysWhyItCannotBeInstalled) {
  {
    ScopedEnv session("XDG_SESSION_TYPE", "wayland");
    EXPECT_NE(reason_of_failed_install().find("Wayland"), std::string::npos);
  }
  {
    ScopedEnv display("DISPLAY", ":4242");
    EXPECT_NE(reason_of_failed_install().find("X11 displeyiga"), std::string::npos);
  }
  {
    // Another program takes every plain S before a grab of ours could.
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const KeyCode s = XKeysymToKeycode(other, XK_s);
    XGrabKey(other, s, 0, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync);
    XSync(other, False);
    const std::string reason = reason_of_failed_install();
    EXPECT_NE(reason.find("boshqa dastur"), std::string::npos) << reason;
    XCloseDisplay(other);
  }
  EXPECT_EQ(reason_of_failed_install(), "installed");
}

TEST(X11KeyboardHook, EndsItsLoopPromptlyWhenAskedToQuit) {
  LinuxKeyboardHook hook;
  std::promise<uint32_t> started;
  std::thread thread([&] {
    const auto handle = hook.install();
    started.set_value(handle ? hook.current_thread_id() : 0);
    if (!handle) return;
    hook.run_message_loop();
    hook.uninstall(*handle);
  });
  const uint32_t id = started.get_future().get();
  ASSERT_NE(id, 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto asked = std::chrono::steady_clock::now();
  hook.post_quit(id);
  thread.join();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(500));
}

}  // namespace
}  // namespace harvel::linux_host
