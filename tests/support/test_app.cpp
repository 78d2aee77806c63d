#include "support/test_app.h"

#include <atomic>
#include <string>

#include "keyboard/hook_flags.h"
#include "keyboard/hook_thread.h"
#include "online/updater.h"
#include "shell/sinks.h"
#include "shell/toast.h"

namespace harvel::testing {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("harvel-test-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
           std::to_string(counter++));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

TestApp::TestApp(Settings settings) {
  reset_hook_flags();
  os::Platform p = sys.platform();
  p.hook = &hook;
  os::install_platform(p);
  app.manage(std::make_unique<Ctx>(dir.path() / "settings.json", std::move(settings)));
  app.set_notice_handler([this](const ToastData& t) { notices.push_back(t); });
  install_shell_sinks(app);
}

TestApp::~TestApp() {
  // Toast threads use the platform: let them end while it is still there.
  // Manual update checks use the application too (and may show notices).
  finish_update_threads();
  finish_toast_threads();
  // Leave no hook thread behind for the next test.
  if (auto record = ctx().hook_thread.take()) stop_hook_thread(std::move(*record));
  os::install_platform(os::Platform{});
  reset_hook_flags();
}

}  // namespace harvel::testing
