#include "keyboard/foreground_watcher.h"

#include <chrono>
#include <thread>

#include "core/app.h"
#include "core/notice.h"
#include "core/state.h"
#include "core/text.h"
#include "keyboard/foreground.h"

namespace harvel {

using namespace std::chrono_literals;

ForegroundWatcher::ForegroundWatcher(App& app) : app_(app), own_exe_(kOwnExeName) {
  // The Linux host's binary is not named harvel.exe: its own windows are
  // recognised by the file name it runs from.
  if (os::Shell* shell = os::platform().shell) {
    if (const auto path = shell->executable_path()) {
      const std::string lower = text::utf8_lower(*path);
      own_exe_ = lower.substr(lower.find_last_of("/\\") + 1);
    }
  }
}

void ForegroundWatcher::poll() {
  const os::WindowHandle window = os::platform().foreground->foreground_window();
  if (is_shell_window(window)) return;
  const ForegroundApp fg = app_of_window(window);
  // The program's own windows and the taskbar leave the current app as it was.
  if (fg.exe.empty() || fg.exe == last_exe_ || fg.exe == kOwnExeName || fg.exe == own_exe_) return;
  last_exe_ = fg.exe;

  Ctx& ctx = app_.ctx();
  const bool changed = ctx.foreground_exe.with([&](std::string& exe) {
    const bool differs = exe != fg.exe;
    exe = fg.exe;
    return differs;
  });
  if (changed) emit_state_changed(app_);

  const std::optional<std::string> off_rule_name = ctx.settings.with([&](const Settings& s) -> std::optional<std::string> {
    for (const AppRule& rule : s.apps) {
      if (rule.exe == fg.exe) {
        if (rule.mode == kModeOff && s.enabled) return rule.name;
        return std::nullopt;
      }
    }
    return std::nullopt;
  });
  if (!off_rule_name) return;

  const os::Instant now = os::platform().clock->now();
  const bool show = ctx.last_app_off_notice.with([&](std::optional<os::Instant>& last) {
    if (last && now - *last <= 30s) return false;
    last = now;
    return true;
  });
  if (show) {
    std::string title = *off_rule_name;
    title += ": vaqtincha o\u2018chiq";
    post_notice(app_, std::move(title), "Bu dasturda Harvel ishlamaydi. Boshqa dasturda yana ishlaydi.",
                ToastKind::Off);
  }
}

void run_foreground_app_watcher(App& app) {
  ForegroundWatcher watcher(app);
  for (;;) {
    std::this_thread::sleep_for(700ms);
    watcher.poll();
  }
}

}  // namespace harvel
