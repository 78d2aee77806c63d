#include "app/setup.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "app/accelerator.h"
#include "core/app.h"
#include "core/file_io.h"
#include "core/services.h"
#include "core/settings.h"
#include "core/state.h"
#include "core/text.h"
#include "core/unicode.h"
#include "keyboard/foreground_watcher.h"
#include "keyboard/hook_thread.h"
#include "keyboard/layout_watcher.h"
#include "online/ads.h"
#include "online/remote_disable.h"
#include "online/update_record.h"
#include "online/updater.h"
#include "shell/popup.h"
#include "shell/sinks.h"
#include "shell/state_commands.h"
#include "shell/tray_events.h"
#include "shell/tray_icon.h"
#include "shell/tray_menu.h"

namespace harvel {

using namespace std::chrono_literals;

bool hidden_flag(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--hidden") return true;
  }
  return false;
}

std::filesystem::path data_folder() {
  os::Folders* folders = os::platform().folders;
  if (!folders) return {};
  if (auto roaming = folders->roaming_app_data()) return path_from_utf8(*roaming) / kAppIdentifier;
  // The temporary folder is shared on many systems: "Harvel" there is used
  // only when it is this user's alone, else a fresh folder of our own is.
  const std::optional<std::string> temp = folders->temp_dir();
  if (!temp) return {};
  const std::filesystem::path fixed = path_from_utf8(*temp) / "Harvel";
  if (folders->claim_private_folder(path_to_utf8(fixed))) return fixed;
  if (auto fresh = folders->make_private_folder(*temp, "Harvel-")) return path_from_utf8(*fresh);
  return {};
}

void start_detached_thread(std::string_view name, std::function<void()> body) {
  try {
    // Named, so the threads of a process list or debugger say what they are.
    std::thread([name = std::string(name), body = std::move(body)] {
      if (os::Shell* shell = os::platform().shell) shell->name_current_thread(name);
      body();
    }).detach();
  } catch (const std::system_error&) {
    // Without a thread that service does not run; the program still starts.
  }
}

std::optional<std::string> take_pending_update(const std::filesystem::path& path) {
  const auto text = read_file_prefix(path, 1024 * 1024);
  if (!text || !text::is_valid_utf8(*text)) return std::nullopt;
  std::error_code ec;
  std::filesystem::remove(path, ec);
  // White space is trimmed by its Unicode definition.
  std::u32string chars = *text::decode_utf8(*text);
  while (!chars.empty() && unicode::is_white_space(chars.back())) chars.pop_back();
  std::size_t first = 0;
  while (first < chars.size() && unicode::is_white_space(chars[first])) ++first;
  std::string version = text::encode_utf8(std::u32string_view(chars).substr(first));
  if (!is_valid_version(version)) return std::nullopt;
  return version;
}

std::optional<std::string> setup_app(App& app, bool hidden, const ThreadStarter& start_thread) {
  const std::filesystem::path folder = data_folder();
  // Without a data folder nothing is read or written (the empty path names
  // no file).
  const std::filesystem::path settings_path = folder.empty() ? folder : folder / kSettingsFileName;
  LoadedSettings loaded = load_settings_file(settings_path);
  normalize_settings(loaded.settings);
  install_shell_sinks(app);
  app.manage(std::make_unique<Ctx>(settings_path, std::move(loaded.settings)));
  Ctx& ctx = app.ctx();
  ctx.settings_file_rejected = loaded.file_rejected;

  // Installed or portable, once per process, before any snapshot reports it.
  os::Shell* shell = os::platform().shell;
  const std::optional<std::string> executable = shell ? shell->executable_path() : std::nullopt;
  init_portable_flag(executable ? std::optional(path_from_utf8(*executable)) : std::nullopt);
  restore_autostart(ctx.settings.with([](const Settings& s) { return s.startup; }));

  const std::string hotkey = ctx.settings.with([](const Settings& s) { return s.hotkey; });
  bool hotkey_ok = false;
  if (os::GlobalShortcut* shortcut = os::platform().global_shortcut) {
    if (const auto parsed = parse_accelerator(hotkey)) hotkey_ok = shortcut->register_hotkey(*parsed);
  }
  ctx.hotkey_ok = hotkey_ok;

  if (auto error = create_tray_icon(app)) return error;

  start_keyboard_hook_thread(app);
  set_tray_menu(app);
  const bool onboarded = ctx.settings.with([](const Settings& s) { return s.onboarded; });
  if (!(hidden && onboarded)) show_main_window(app, std::nullopt);

  ctx.ads.set(load_ads_cache(ads_cache_file_path(settings_path)));

  start_thread("hook supervisor", [&app] { run_hook_supervisor(app); });
  start_thread("remote disable", [&app] { run_kill_switch_poll(app); });
  start_thread("update check", [&app] { run_update_check_loop(app); });

  if (const auto version = take_pending_update(pending_update_file_path(app))) {
    const bool newer = is_newer_than_current_version(*version);
    start_thread("update result", [&app, newer] { show_update_result_notice(app, newer); });
  }

  start_thread("advertisements", [&app] { run_ads_poll_thread(app); });
  start_thread("layout watcher", [&app] { run_layout_watcher(app); });
  start_thread("foreground watcher", [&app] { run_foreground_app_watcher(app); });
  return std::nullopt;
}

void on_second_instance(App& app, const std::vector<std::string>&, const std::string&) {
  show_main_window(app, std::string("/"));
}

void on_window_event(App& app, std::string_view label, os::WindowEvent& event) {
  if (label == "popup") {
    if (event.kind == os::WindowEventKind::CloseRequested) {
      event.prevent_close = true;
      close_popup(app);
    } else if (event.kind == os::WindowEventKind::Unfocused) {
      // A pop-up shown less than 200 ms ago keeps the focus it is losing to
      // the tray click that opened it.
      const bool hide = tray_click_state().with([](const TrayClickState& s) {
        if (!s.popup_open) return false;
        return !(s.shown_at && os::platform().clock->now() - *s.shown_at < 200ms);
      });
      if (hide) spawn_hide_popup(app, true);
    }
    return;
  }
  if (label == "main" && event.kind == os::WindowEventKind::CloseRequested) {
    Ctx* ctx = app.try_ctx();
    if (!ctx || ctx->quitting) return;
    if (ctx->settings.with([](const Settings& s) { return s.onboarded; })) {
      event.prevent_close = true;
      hide_main_window(app);
    }
  }
}

void on_app_exit(App& app) {
  Ctx* ctx = app.try_ctx();
  if (!ctx) return;
  if (auto record = ctx->hook_thread.take()) stop_hook_thread(std::move(*record));
}

}  // namespace harvel
