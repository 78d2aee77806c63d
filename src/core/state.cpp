#include "core/state.h"

#include "core/app.h"
#include "core/app_info.h"
#include "keyboard/hook_flags.h"
#include "keyboard/layout_watcher.h"
#include "online/signing.h"
#include "platform/os.h"

namespace harvel {

bool hook_needed(const Settings& s) {
  if (hook_flags().remote_disabled.load(std::memory_order_relaxed) || !s.enabled) return false;
  if (s.mode != kModeEnglish || s.checker) return true;
  for (const AppRule& rule : s.apps) {
    if (rule.mode >= kModeFast && rule.mode <= kModeNoRule) return true;
  }
  return false;
}

namespace {

bool hook_running(Ctx& ctx) {
  return ctx.hook_thread.with([](const std::optional<HookThread>& t) { return t && t->running->load(); });
}

}  // namespace

HookStatus hook_status(App& app) {
  Ctx& ctx = app.ctx();
  const bool needed = ctx.settings.with([](const Settings& s) { return hook_needed(s); });
  if (hook_running(ctx)) return HookStatus::On;
  return needed ? HookStatus::Error : HookStatus::Off;
}

const char* hook_status_name(HookStatus status) {
  switch (status) {
    case HookStatus::On: return "on";
    case HookStatus::Error: return "error";
    case HookStatus::Off: return "off";
  }
  return "off";
}

Snapshot build_state_snapshot(App& app) {
  Ctx& ctx = app.ctx();
  Snapshot snap;
  snap.settings = ctx.settings.copy();
  const bool running = hook_running(ctx);
  std::optional<std::string> kill_message = ctx.remote_disable_message.copy();
  std::string exe = ctx.foreground_exe.copy();
  snap.hook_error = ctx.hook_error.copy();
  const int64_t now = os::platform().clock->unix_ms();
  snap.ads = ctx.ads.with([&](const std::optional<Cache>& cache) {
    return build_ads_info(cache, snap.settings.offers, now);
  });
  const bool needed = hook_needed(snap.settings);
  snap.hotkey_ok = ctx.hotkey_ok.load();
  snap.update = ctx.update.with([](const UpdateRecord& r) { return update_info_fields(r); });
  snap.update.portable = portable_flag();
  snap.update.sig_configured = has_trusted_public_key();
  if (!exe.empty()) snap.current_app = app_info_with_rule(snap.settings.apps, exe);
  snap.layout = current_layout_info();
  snap.hook = running ? HookStatus::On : needed ? HookStatus::Error : HookStatus::Off;
  snap.kill_switch.active = kill_message.has_value();
  snap.kill_switch.message = std::move(kill_message);
  return snap;
}

std::string snapshot_json_text(const Snapshot& snap) {
  // The settings are most of the text (a rule list can be long): they are
  // written directly; the small records after them go through a JSON tree.
  Json rest = Json::object();
  rest["hook"] = hook_status_name(snap.hook);
  rest["hookError"] = snap.hook_error ? Json(*snap.hook_error) : Json(nullptr);
  rest["hotkeyOk"] = snap.hotkey_ok;
  rest["killSwitch"] = to_json(snap.kill_switch);
  rest["update"] = to_json(snap.update);
  rest["currentApp"] = snap.current_app ? serialize_app_info(*snap.current_app) : Json(nullptr);
  rest["ads"] = to_json(snap.ads);
  rest["layout"] = to_json(snap.layout);
  rest["version"] = kRunningVersion;
  rest["platform"] = kPlatformName;
  // A broadcast never fails: text that is not UTF-8 is replaced, not thrown.
  const std::string tail = rest.dump(-1, ' ', false, Json::error_handler_t::replace);
  std::string out = "{\"settings\":";
  out += settings_json_text(snap.settings);
  out += ',';
  out.append(tail, 1);  // without its opening brace
  return out;
}

Json serialize_snapshot(const Snapshot& snap) { return Json::parse(snapshot_json_text(snap)); }

void emit_state_changed(App& app) {
  const Snapshot snap = build_state_snapshot(app);
  if (os::WebViews* views = os::platform().web_views) {
    views->emit_all("state-changed", snapshot_json_text(snap));
  }
  if (const auto& sink = app.state_changed_sink()) sink(app);
}

}  // namespace harvel
