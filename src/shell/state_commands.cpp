#include "shell/state_commands.h"

#include <algorithm>
#include <array>
#include <string>

#include "app/accelerator.h"
#include "core/app.h"
#include "core/display_text.h"
#include "core/notice.h"
#include "core/services.h"
#include "core/settings.h"
#include "core/state.h"
#include "keyboard/hook_flags.h"
#include "keyboard/key_tables.h"
#include "online/remote_disable.h"
#include "online/url_rules.h"
#include "platform/os.h"
#include "shell/app_info.h"
#include "shell/app_lists.h"

namespace harvel {

namespace {

constexpr std::string_view kMainWindow = "main";

std::string concat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view p : parts) out.append(p);
  return out;
}

// The patch's "fastKeys": an object with the string slots "sh", "ch", "o",
// "g" (other keys ignored), or an array of exactly four strings in that
// order. A repeated key reaches here as a discarded value and is refused.
std::optional<FastKeys> read_fast_keys_candidate(const Json& v) {
  std::array<const Json*, 4> slots{};
  if (v.is_array()) {
    if (v.size() != slots.size()) return std::nullopt;
    for (std::size_t i = 0; i < slots.size(); ++i) slots[i] = &v[i];
  } else if (v.is_object()) {
    static constexpr std::array<std::string_view, 4> kSlotKeys{"sh", "ch", "o", "g"};
    for (const auto& [key, value] : v.get_ref<const Json::object_t&>()) {
      for (std::size_t i = 0; i < kSlotKeys.size(); ++i) {
        if (key == kSlotKeys[i]) slots[i] = &value;
      }
    }
  } else {
    return std::nullopt;
  }
  for (const Json* slot : slots) {
    if (!slot || !slot->is_string()) return std::nullopt;
  }
  const auto str = [&](std::size_t i) { return slots[i]->get<std::string>(); };
  return FastKeys{str(0), str(1), str(2), str(3)};
}

const Json* patch_value(const Json& patch, std::string_view key) {
  const auto it = patch.find(key);
  return it == patch.end() ? nullptr : &*it;
}

}  // namespace

std::string_view mode_notice_body(Mode mode) {
  switch (mode) {
    case kModeEnglish: return "Oddiy klaviatura.";
    case kModeFast: return "W \u2192 \u015F, C \u2192 \u00E7, [ \u2192 \u00F6, ] \u2192 \u011F. Right Alt asl belgini qaytaradi.";
    case kModeHybrid: return "Right Alt + S / C / O / G \u2014 yangi harflar.";
    case kModeZero: return "sh, ch, o\u2018, g\u2018 \u2014 so\u2018z tugagach yangi harfga aylanadi.";
    default: return "";
  }
}

void set_global_mode(App& app, Mode mode) {
  app.ctx().settings.with([mode](Settings& s) {
    s.mode = mode;
    if (mode != kModeEnglish) s.enabled = true;
  });
  save_settings(app);
  post_notice(app, concat({mode_name(mode), " rejimi yoqildi"}), std::string(mode_notice_body(mode)), ToastKind::Info);
}

void toggle_enabled(App& app) {
  Ctx& ctx = app.ctx();
  if (hook_flags().remote_disabled.load(std::memory_order_relaxed)) {
    const std::string message =
        ctx.remote_disable_message.copy().value_or(std::string(default_remote_disable_text()));
    post_notice(app, build_remote_disable_notice(message));
    return;
  }
  struct Change {
    bool was;
    Mode mode;
    std::string shortcut;
  };
  const Change c = ctx.settings.with([](Settings& s) {
    const bool was = s.enabled;
    s.enabled = !was;
    if (!was && s.mode == kModeEnglish) s.mode = kModeHybrid;
    return Change{was, s.mode, hotkey_display_label(s.hotkey)};
  });
  save_settings(app);
  if (c.was) {
    post_notice(app, "Harvel o\u2018chirildi", concat({"Klaviatura oddiy holatda. Qayta yoqish: ", c.shortcut, "."}),
                ToastKind::Off);
  } else {
    post_notice(app, "Harvel yoqildi", concat({mode_name(c.mode), " rejimi. O\u2018chirish: ", c.shortcut, "."}),
                ToastKind::Info);
  }
}

bool apply_settings_patch(App& app, const Json& patch) {
  if (!patch.is_object()) return true;
  struct Result {
    bool taken = true;
    std::optional<bool> startup;
  };
  const Result result = app.ctx().settings.with([&patch](Settings& live) {
    Settings s = live;
    std::optional<bool> startup;
    if (const Json* v = patch_value(patch, "startup"); v && v->is_boolean()) {
      s.startup = v->get<bool>();
      startup = s.startup;
    }
    if (const Json* v = patch_value(patch, "theme"); v && v->is_string()) {
      const auto& theme = v->get_ref<const std::string&>();
      if (theme == "system" || theme == "light" || theme == "dark") s.theme = theme;
    }
    if (const Json* v = patch_value(patch, "offers"); v && v->is_boolean()) s.offers = v->get<bool>();
    if (const Json* v = patch_value(patch, "checker"); v && v->is_boolean()) s.checker = v->get<bool>();
    if (const Json* v = patch_value(patch, "checkerToast"); v && v->is_boolean()) s.checker_toast = v->get<bool>();

    std::optional<uint32_t> hybrid;
    if (const Json* v = patch_value(patch, "hybridKey"); v && v->is_string()) {
      hybrid = find_hybrid_key(v->get_ref<const std::string&>());
    }
    std::optional<FastKeys> fast;
    if (const Json* v = patch_value(patch, "fastKeys")) fast = read_fast_keys_candidate(*v);

    // The hybrid key may not be one of the four fast keys: when the result
    // would make them share a physical key, neither change is taken.
    const uint32_t effective_hybrid = hybrid.value_or(hybrid_key_index(s.hybrid_key));
    const auto effective_fast = resolve_fast_keys(fast ? *fast : s.fast_keys);
    if (!(effective_fast && hybrid_key_conflicts_fast_key(effective_hybrid, *effective_fast))) {
      if (hybrid) s.hybrid_key = std::string(HYBRID_KEYS[*hybrid].name);
      if (fast) s.fast_keys = std::move(*fast);
    }
    if (!settings_file_fits(s)) return Result{false, std::nullopt};
    live = std::move(s);
    return Result{true, startup};
  });
  if (!result.taken) {
    emit_state_changed(app);
    return false;
  }
  if (result.startup) set_autostart(*result.startup);
  save_settings(app);
  return true;
}

Outcome set_hotkey(App& app, std::string_view accelerator) {
  Ctx& ctx = app.ctx();
  const std::optional<os::Hotkey> wanted = parse_accelerator(accelerator);
  // A text the file could not hold (the parser takes repeated modifiers) is
  // no shortcut either.
  const bool fits = ctx.settings.with([&](const Settings& s) {
    Settings next = s;
    next.hotkey = std::string(accelerator);
    return settings_file_fits(next);
  });
  if (!wanted || accelerator.find('+') == std::string_view::npos || !fits) {
    emit_state_changed(app);
    return Outcome::refused("invalid");
  }
  const std::string stored = ctx.settings.with([](const Settings& s) { return s.hotkey; });
  const std::optional<os::Hotkey> stored_key = parse_accelerator(stored);
  os::GlobalShortcut* shortcuts = os::platform().global_shortcut;

  if (accelerator == stored && shortcuts && shortcuts->is_registered(*wanted)) {
    save_settings(app);
    return Outcome::success();
  }
  if (shortcuts && stored_key) shortcuts->unregister_hotkey(*stored_key);
  if (shortcuts && shortcuts->register_hotkey(*wanted)) {
    ctx.settings.with([&](Settings& s) { s.hotkey = std::string(accelerator); });
    ctx.hotkey_ok = true;
    save_settings(app);
    return Outcome::success();
  }
  bool restored = false;
  if (shortcuts && stored_key) {
    shortcuts->register_hotkey(*stored_key);
    restored = shortcuts->is_registered(*stored_key);
  }
  ctx.hotkey_ok = restored;
  emit_state_changed(app);
  return Outcome::refused("busy");
}

void reset_settings(App& app) {
  Ctx& ctx = app.ctx();
  os::GlobalShortcut* shortcuts = os::platform().global_shortcut;
  if (shortcuts) shortcuts->unregister_all();
  const std::string hotkey = ctx.settings.with([](Settings& s) {
    const bool onboarded = s.onboarded;
    s = default_settings();
    s.onboarded = onboarded;
    return s.hotkey;
  });
  const std::optional<os::Hotkey> key = parse_accelerator(hotkey);
  ctx.hotkey_ok = shortcuts && key && shortcuts->register_hotkey(*key);
  set_autostart(false);
  save_settings(app);
  post_notice(app, "Sozlamalar tiklandi", "Rejim, tez tugma va istisnolar boshlang\u2018ich holatga qaytdi.",
              ToastKind::Info);
}

bool set_app_mode_rule(App& app, const std::string& exe, const std::optional<std::string>& name, Mode rule) {
  // An empty exe names no program; as a rule it would match every window
  // whose program is unknown.
  if (exe.empty()) return true;
  const bool taken = app.ctx().settings.with([&](Settings& live) {
    Settings s = live;
    std::optional<std::string> old_name;
    for (const AppRule& r : s.apps) {
      if (r.exe == exe) {
        old_name = r.name;
        break;
      }
    }
    std::erase_if(s.apps, [&](const AppRule& r) { return r.exe == exe; });
    if (rule != kModeNoRule) {
      s.apps.push_back(AppRule{name ? *name : old_name ? *old_name : exe_display_name(exe), exe, rule});
      std::stable_sort(s.apps.begin(), s.apps.end(),
                       [](const AppRule& a, const AppRule& b) { return name_less_ignoring_case(a.name, b.name); });
    }
    if (!settings_file_fits(s)) return false;
    live = std::move(s);
    return true;
  });
  if (!taken) {
    emit_state_changed(app);
    return false;
  }
  save_settings(app);
  return true;
}

void finish_onboarding(App& app) {
  const std::string shortcut = app.ctx().settings.with([](Settings& s) {
    s.onboarded = true;
    return hotkey_display_label(s.hotkey);
  });
  save_settings(app);
  hide_main_window(app);
  post_notice(app, "Harvel ishlayapti",
              concat({"Tray\u2019dagi ikonka orqali boshqaring. ", shortcut, " \u2014 yoqish/o\u2018chirish."}),
              ToastKind::Info);
}

void show_main_window(App&, const std::optional<std::string>& route) {
  os::WebWindows* windows = os::platform().windows;
  if (!windows || !windows->exists(kMainWindow)) return;
  windows->unminimize(kMainWindow);
  windows->show(kMainWindow);
  windows->set_focus(kMainWindow);
  if (route) {
    windows->emit_to(kMainWindow, "navigate", Json(*route).dump(-1, ' ', false, Json::error_handler_t::replace));
  }
}

void hide_main_window(App&) {
  os::WebWindows* windows = os::platform().windows;
  if (windows && windows->exists(kMainWindow)) windows->hide(kMainWindow);
}

void open_external(App& app, std::string_view url) {
  if (is_allowed_external_link(url, current_site_url(app))) open_url_in_browser(url);
}

void request_quit(App& app) {
  app.ctx().quitting = true;
  if (os::AppLoop* loop = os::platform().app_loop) loop->exit(0);
}

void relaunch(App& app) {
  app.ctx().quitting = true;
  if (os::AppLoop* loop = os::platform().app_loop) loop->restart();
}

}  // namespace harvel
