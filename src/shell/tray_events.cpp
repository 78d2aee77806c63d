#include "shell/tray_events.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <system_error>
#include <thread>
#include <utility>

#include "core/app.h"
#include "core/display_text.h"
#include "core/mode.h"
#include "core/notice.h"
#include "core/settings.h"
#include "online/updater.h"
#include "shell/app_info.h"
#include "shell/popup.h"
#include "shell/state_commands.h"

namespace harvel {

namespace {

using namespace std::chrono_literals;

// A press this soon after the pop-up hid by losing the focus belongs to the
// click that hid it.
constexpr auto kReopenGuard = 500ms;

bool hidden_just_now(const TrayClickState& s, os::Instant now) {
  if (!s.hidden_at || now < *s.hidden_at) return false;  // a later hidden_at counts as long ago
  return now - *s.hidden_at <= kReopenGuard;
}

int32_t to_physical(double v, double scale) {
  const double r = std::round(v * scale);
  if (std::isnan(r)) return 0;
  if (r <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  if (r >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(r);
}

// The icon's rectangle in physical pixels, when the event tells one with a
// size.
std::optional<TrayIconRect> click_icon_rect(const os::TrayEvent& event) {
  if (!event.area) return std::nullopt;
  const os::TrayIconArea& a = *event.area;
  double scale = 1.0;
  if (a.units == os::Units::Logical) {
    if (os::Monitors* monitors = os::platform().monitors) {
      if (auto primary = monitors->primary_monitor()) scale = primary->scale_factor;
    }
  }
  TrayIconRect r{to_physical(a.x, scale), to_physical(a.y, scale), to_physical(a.width, scale),
                 to_physical(a.height, scale)};
  if (r.width == 0 || r.height == 0) return std::nullopt;
  return r;
}

os::Instant now() { return os::platform().clock->now(); }

void toggle_checker(App& app) {
  const bool on = app.ctx().settings.with([](Settings& s) {
    s.checker = !s.checker;
    return s.checker;
  });
  save_settings(app);
  if (on) {
    post_notice(app, "Realtime tekshiruvchi yoqildi",
                "Eski yozuvdagi (sh, ch, o\u2018, g\u2018) so\u2018z tagiga chiziq chiziladi. Ba\u2019zi dasturlarda "
                "ishlamaydi. Matn saqlanmaydi.",
                ToastKind::Info);
  } else {
    post_notice(app, "Realtime tekshiruvchi o\u2018chirildi", "Endi so\u2018zlar tekshirilmaydi.", ToastKind::Off);
  }
}

void set_rule_from_menu(App& app, std::string_view rest) {
  const Mode rule = rest == "default" ? kModeNoRule : app_rule_from_text(rest);
  if (rest != "default" && rule == kModeNoRule) return;  // no rule text
  const std::string exe = app.ctx().foreground_exe.copy();
  if (exe.empty()) return;
  set_app_mode_rule(app, exe, std::nullopt, rule);

  const Settings s = app.ctx().settings.copy();
  std::string name = exe_display_name(exe);
  for (const AppRule& r : s.apps) {
    if (r.exe == exe) {
      name = r.name;
      break;
    }
  }
  std::string title = std::move(name);
  if (rule == kModeOff) {
    title.append(": o\u2018chiq");
    post_notice(app, std::move(title), "Bu dasturda Harvel ishlamaydi.", ToastKind::Off);
  } else if (rule == kModeNoRule) {
    title.append(": umumiy rejim");
    post_notice(app, std::move(title), "Bu dastur uchun alohida qoida olib tashlandi.", ToastKind::Info);
  } else {
    title.append(": ").append(mode_label(rule));
    post_notice(app, std::move(title), "Bu dastur uchun alohida rejim yoqildi.", ToastKind::Info);
  }
}

}  // namespace

Locked<TrayClickState>& tray_click_state() {
  static Locked<TrayClickState> state;
  return state;
}

void on_tray_icon_click(App& app, const os::TrayEvent& event) {
  if (event.kind != os::TrayEventKind::Click || event.button != os::MouseButton::Left) return;

  if (event.state == os::ButtonState::Down) {
    tray_click_state().with([](TrayClickState& s) {
      const os::Instant t = now();
      s.press_state = s.popup_open ? kPressClose : hidden_just_now(s, t) ? kPressIgnore : kPressOpen;
    });
    return;
  }

  const std::optional<TrayIconRect> icon = click_icon_rect(event);
  if (!app.ctx().settings.with([](const Settings& s) { return s.onboarded; })) {
    // The pop-up waits until the welcome flow is done.
    show_main_window(app, std::nullopt);
    return;
  }
  struct Decision {
    uint8_t action;
    bool popup_open;
  };
  const Decision d = tray_click_state().with([](TrayClickState& s) {
    const os::Instant t = now();
    uint8_t action = std::exchange(s.press_state, kPressNone);
    if (action == kPressNone) action = s.popup_open ? kPressClose : kPressOpen;
    if (action == kPressOpen && (s.popup_open || hidden_just_now(s, t))) action = kPressIgnore;
    return Decision{action, s.popup_open};
  });
  if (d.action == kPressClose) {
    if (d.popup_open) close_popup(app);
  } else if (d.action == kPressOpen) {
    spawn_show_popup(app, icon);
  }
}

void on_tray_menu_event(App& app, std::string_view id) {
  auto rest_after = [id](std::string_view prefix) -> std::optional<std::string_view> {
    if (!id.starts_with(prefix)) return std::nullopt;
    return id.substr(prefix.size());
  };
  if (id == "toggle") {
    toggle_enabled(app);
  } else if (id == "checker") {
    toggle_checker(app);
  } else if (auto mode = rest_after("mode:")) {
    const Mode m = mode_from_name(*mode);
    if (m != kModeOff) set_global_mode(app, m);
  } else if (auto rule = rest_after("app:")) {
    set_rule_from_menu(app, *rule);
  } else if (auto route = rest_after("go:")) {
    show_main_window(app, std::string(*route));
  } else if (id == "upd:install") {
    try {
      std::thread([&app] { (void)install_downloaded_update(app); }).detach();
    } catch (const std::system_error&) {
      // No thread, no install; the item stays in the menu for another try.
    }
  } else if (id == "quit") {
    request_quit(app);
  }
}

}  // namespace harvel
