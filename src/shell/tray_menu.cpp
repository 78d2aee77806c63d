#include "shell/tray_menu.h"

#include <array>
#include <utility>

#include "core/app.h"
#include "core/display_text.h"
#include "core/state.h"
#include "keyboard/hook_flags.h"
#include "keyboard/layout_watcher.h"
#include "shell/app_info.h"

namespace harvel {

namespace {

constexpr std::string_view kDot = " \u00b7 ";

bool remote_disabled() { return hook_flags().remote_disabled.load(std::memory_order_relaxed) != 0; }

const AppRule* find_rule(const Settings& s, std::string_view exe) {
  if (exe.empty()) return nullptr;
  for (const AppRule& rule : s.apps) {
    if (rule.exe == exe) return &rule;
  }
  return nullptr;
}

struct MenuMode {
  std::string_view key;
  std::string_view text;
  Mode mode;
};

constexpr std::array<MenuMode, 4> kMenuModes{{
    {"english", "English", kModeEnglish},
    {"fast", "Fast", kModeFast},
    {"hybrid", "Hybrid  (tavsiya)", kModeHybrid},
    {"zero", "Zero-learning", kModeZero},
}};

constexpr std::array<MenuMode, 6> kRuleItems{{
    {"default", "Umumiy rejim", kModeNoRule},
    {"english", "English", kModeEnglish},
    {"fast", "Fast", kModeFast},
    {"hybrid", "Hybrid", kModeHybrid},
    {"zero", "Zero-learning", kModeZero},
    {"off", "O\u2018chiq", kModeOff},
}};

std::string prefixed(std::string_view prefix, std::string_view rest) {
  std::string out(prefix);
  out.append(rest);
  return out;
}

os::TrayMenuItem separator() { return os::TrayMenuItem{os::TrayMenuItemKind::Separator, {}, {}, true, false, {}}; }

}  // namespace

Locked<std::optional<TrayLook>>& last_tray_look() {
  static Locked<std::optional<TrayLook>> look;
  return look;
}

std::string append_update_ready_note(std::string tooltip, const std::optional<std::string>& version) {
  if (version) {
    tooltip.append(kDot).append("yangilanish ").append(*version).append(" tayyor");
  }
  return tooltip;
}

std::optional<std::string> ready_update_version(App& app) {
  return app.ctx().update.with([](const UpdateRecord& r) -> std::optional<std::string> {
    if (r.phase != UpdatePhase::Ready) return std::nullopt;
    return r.latest;
  });
}

TrayLook compute_tray_look(App& app) {
  Ctx& ctx = app.ctx();
  const Settings s = ctx.settings.copy();
  const std::string exe = ctx.foreground_exe.copy();
  const std::optional<std::string> ready = ready_update_version(app);
  const bool remote = remote_disabled();
  const HookStatus hook = hook_status(app);
  const AppRule* rule = find_rule(s, exe);
  const bool hook_failed = hook == HookStatus::Error && !remote;

  TrayLook look;
  std::string& tip = look.tooltip;
  if (hook_failed) {
    tip = "Harvel \u00b7 klaviatura kuzatuvi to\u2018xtadi, tiklanmoqda";
  } else if (remote) {
    tip = "Harvel \u00b7 vaqtincha o\u2018chirilgan";
  } else if (s.enabled) {
    tip = "Harvel";
    tip.append(kDot).append(mode_name(s.mode)).append(kDot).append(hotkey_display_label(s.hotkey));
    tip.append(" bilan o\u2018chirish");
  } else {
    tip = "Harvel \u00b7 O\u2018chiq";
    tip.append(kDot).append(hotkey_display_label(s.hotkey)).append(" bilan yoqish");
  }
  if (!hook_failed && !remote && rule && s.enabled) {
    tip.append(kDot).append(rule->name).append(" uchun qoida: ").append(mode_label(rule->mode));
  }
  tip = append_update_ready_note(std::move(tip), ready);
  if (!hook_failed) {
    const Mode m = mode_for_app(s, exe);
    if (m == kModeFast || m == kModeHybrid) {
      const LayoutInfo layout = current_layout_info();
      if (!layout.compatible && layout.reason) {
        tip.append(kDot).append("Tartib: ").append(layout.name).append(kDot).append(mode_name(m));
        tip.append(" pauzada: ").append(*layout.reason);
      }
    }
  }

  look.rule_dot = !remote && s.enabled && rule != nullptr;
  look.update_dot = ready.has_value();
  if (hook_failed) {
    look.base_look = kBaseLookWarning;
  } else {
    const bool converts = rule ? (rule->mode >= kModeFast && rule->mode <= kModeZero) : s.mode != kModeEnglish;
    look.base_look = s.enabled && !remote && converts ? kBaseLookActive : kBaseLookOff;
  }
  return look;
}

os::TrayMenuItem menu_item_with_id(std::string id, std::string text, bool enabled) {
  return os::TrayMenuItem{os::TrayMenuItemKind::Plain, std::move(id), std::move(text), enabled, false, {}};
}

os::TrayMenuItem check_menu_item_with_id(std::string id, std::string text, bool checked) {
  return os::TrayMenuItem{os::TrayMenuItemKind::Check, std::move(id), std::move(text), true, checked, {}};
}

os::TrayMenu build_tray_menu(App& app) {
  Ctx& ctx = app.ctx();
  const Settings s = ctx.settings.copy();
  const std::string exe = ctx.foreground_exe.copy();
  const bool remote = remote_disabled();
  const std::optional<std::string> ready = ready_update_version(app);

  os::TrayMenu menu;
  menu.push_back(menu_item_with_id("head", "Harvel", false));
  if (ready) menu.push_back(menu_item_with_id("upd:install", "Yangilash tayyor \u2014 o\u2018rnatish", true));
  os::TrayMenuItem toggle = check_menu_item_with_id("toggle", "Yoqilgan", s.enabled && !remote);
  toggle.enabled = !remote;
  menu.push_back(std::move(toggle));
  menu.push_back(separator());
  for (const MenuMode& m : kMenuModes) {
    menu.push_back(check_menu_item_with_id(prefixed("mode:", m.key), std::string(m.text), s.mode == m.mode));
  }
  if (exe.empty()) {
    menu.push_back(menu_item_with_id("noapp", "Shu dastur uchun rejim", false));
  } else {
    const AppRule* rule = find_rule(s, exe);
    const Mode current = rule ? rule->mode : kModeNoRule;
    os::TrayMenuItem sub{os::TrayMenuItemKind::Submenu, {}, prefixed("Shu dastur uchun rejim: ", exe_display_name(exe)),
                         true, false, {}};
    for (const MenuMode& item : kRuleItems) {
      sub.items.push_back(
          check_menu_item_with_id(prefixed("app:", item.key), std::string(item.text), current == item.mode));
    }
    menu.push_back(std::move(sub));
  }
  menu.push_back(separator());
  menu.push_back(check_menu_item_with_id("checker", "Realtime tekshiruvchi", s.checker));
  menu.push_back(separator());
  menu.push_back(menu_item_with_id("go:/lab", "Mashq (Typing Lab)", true));
  menu.push_back(menu_item_with_id("go:/settings", "Sozlamalar", true));
  menu.push_back(separator());
  menu.push_back(menu_item_with_id("quit", "Chiqish", true));
  return menu;
}

std::string tray_menu_signature(const Settings& s, std::string_view exe, bool remote,
                                const std::optional<std::string>& ready_version) {
  auto flag = [](bool b) { return b ? "true" : "false"; };
  std::string sig = flag(s.enabled);
  sig.append("|").append(s.mode <= kModeZero ? mode_to_name(s.mode) : std::string_view("english"));
  sig.append("|").append(exe).append("|");
  for (std::size_t i = 0; i < s.apps.size(); ++i) {
    if (i > 0) sig.push_back(',');
    sig.append(s.apps[i].exe).append("=").append(app_rule_text(s.apps[i].mode));
  }
  sig.append("|").append(flag(remote));
  sig.append("|").append(ready_version.value_or(""));
  sig.append("|").append(flag(s.checker));
  return sig;
}

void set_tray_menu(App& app) {
  if (os::EventLoop* loop = os::platform().event_loop) {
    try {
      loop->post([&app] { refresh_tray(app); });
    } catch (...) {
      // A refresh that cannot be posted is dropped; the next broadcast posts another.
    }
  }
}

void refresh_tray(App& app) {
  os::Tray* tray = os::platform().tray;
  if (!tray || !tray->exists(kTrayId)) return;

  std::optional<TrayLook> previous;
  for (int pass = 0; pass < 3; ++pass) {
    TrayLook look = compute_tray_look(app);
    if (previous && *previous == look) break;
    const bool unchanged = last_tray_look().with([&](std::optional<TrayLook>& last) {
      if (pass == 0 && last && *last == look) return true;
      last = look;
      return false;
    });
    if (unchanged) break;
    TrayImageResult image = build_tray_icon_image(look);
    if (auto* built = std::get_if<os::TrayImage>(&image)) tray->set_image(kTrayId, *built);
    tray->set_tooltip(kTrayId, look.tooltip);
    previous = std::move(look);
  }

  Ctx& ctx = app.ctx();
  const Settings s = ctx.settings.copy();
  const std::optional<std::string> ready = ready_update_version(app);
  const bool remote = remote_disabled();
  const std::string exe = ctx.foreground_exe.copy();
  std::string signature = tray_menu_signature(s, exe, remote, ready);
  const bool same = ctx.tray_signature.with([&](std::string& stored) {
    if (stored == signature) return true;
    stored = std::move(signature);
    return false;
  });
  if (same) return;
  tray->set_menu(kTrayId, build_tray_menu(app));
}

}  // namespace harvel
