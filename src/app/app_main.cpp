#include "app/app_main.h"

#include <cstdio>
#include <cstdlib>

#include "app/setup.h"
#include "core/app.h"
#include "shell/commands.h"
#include "shell/state_commands.h"

namespace harvel {

namespace {

// The one window declared at build time; the pop-up and toast windows are
// created when they are first needed.
os::WindowSpec main_window_spec() {
  os::WindowSpec spec;
  spec.label = "main";
  spec.url = "index.html";
  spec.title = std::string(kProductName);
  spec.width = 960;
  spec.height = 680;
  spec.min_width = 820;
  spec.min_height = 560;
  spec.frameless = true;
  spec.center = true;
  spec.visible = false;  // set-up shows it unless started hidden after onboarding
  return spec;
}

[[noreturn]] void fail_to_start(const char* prefix, const std::string& error) {
  std::fprintf(stderr, "%s%s\n", prefix, error.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace

int run_app(App& app, const std::vector<std::string>& args) {
  os::Platform& p = os::platform();
  const bool hidden = hidden_flag(args);

  if (!p.single_instance->acquire(kAppIdentifier, args,
                                  [&app](std::vector<std::string> a, std::string cwd) {
                                    on_second_instance(app, a, cwd);
                                  })) {
    return 0;  // the running copy has been told and shows its window
  }
  p.global_shortcut->set_press_handler([&app](const os::Hotkey&) { toggle_enabled(app); });
  p.windows->set_event_handler([&app](std::string_view label, os::WindowEvent& e) { on_window_event(app, label, e); });
  p.windows->set_command_handler(make_command_handler(app));

  if (!p.windows->create(main_window_spec())) fail_to_start("Harvel ishga tushmadi: ", "the main window could not be created");

  p.event_loop->post([&app, hidden] {
    if (auto error = setup_app(app, hidden)) fail_to_start("Failed to setup app: ", *error);
  });
  return p.app_loop->run([&app] { on_app_exit(app); });
}

}  // namespace harvel
