// The application on the fake system and desktop with a fake tray, and the
// process-wide state the tray reads put back to its start values around it.
// One world per test, or one per row of a table.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "core/state.h"
#include "keyboard/hook_flags.h"
#include "keyboard/hook_thread.h"
#include "keyboard/layout_watcher.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_tray.h"
#include "shell/popup.h"
#include "shell/toast.h"
#include "shell/tray_events.h"
#include "shell/tray_menu.h"
#include "support/test_app.h"

namespace harvel::testing {

struct TrayWorld {
  explicit TrayWorld(Settings settings = default_settings()) : t(std::move(settings)) {
    os::Platform p = t.sys.platform();
    p.hook = &t.hook;
    desk.add_to(p);
    p.tray = &tray;
    os::install_platform(p);
    reset_shared();
  }
  ~TrayWorld() {
    finish_toast_threads();  // a notice's window thread must not outlive the fakes
    drop_hook_thread();
    reset_shared();
  }
  TrayWorld(const TrayWorld&) = delete;
  TrayWorld& operator=(const TrayWorld&) = delete;

  static void reset_shared() {
    last_tray_look().set(std::nullopt);
    tray_click_state().set(TrayClickState{});
    reset_popup_geometry();
    popup_shown() = 0;
    layout_name().set("");
    layout_reason().set("");
  }

  App& app() { return t.app; }
  Ctx& ctx() { return t.ctx(); }

  // The keyboard hook reported as running, or not (status "error" or "off").
  void hook_running(bool running) {
    drop_hook_thread();
    if (running) ctx().hook_thread.set(HookThread{std::thread{}, std::make_shared<std::atomic<bool>>(true), 7});
  }
  // A real hook thread (started by a save) is stopped; a stand-in is dropped.
  void drop_hook_thread() {
    if (auto record = ctx().hook_thread.take(); record && record->join.joinable()) {
      stop_hook_thread(std::move(*record));
    }
  }
  void remote_disabled(bool on) { hook_flags().remote_disabled = on ? 1 : 0; }
  void foreground(std::string exe) { ctx().foreground_exe.set(std::move(exe)); }
  void update_ready(const std::string& version) {
    ctx().update.with([&](UpdateRecord& r) {
      r.phase = UpdatePhase::Ready;
      r.latest = version;
    });
  }
  void settings(const std::function<void(Settings&)>& f) { ctx().settings.with(f); }
  // The layout in front types neither W nor C.
  static void incompatible_layout() {
    layout_name().set("Russian");
    layout_reason().set("W, C harflari yo\u2018q");
    hook_flags().layout_compatible = 0;
  }

  TestApp t;
  fake::FakeDesktop desk;
  fake::FakeTray tray;
};

}  // namespace harvel::testing
