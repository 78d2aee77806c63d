#include "shell/commands.h"

#include <algorithm>
#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "app/blocking_pool.h"
#include "core/app.h"
#include "core/json_strict.h"
#include "core/mode.h"
#include "core/state.h"
#include "core/text.h"
#include "keyboard/hook_thread.h"
#include "online/updater.h"
#include "shell/app_info.h"
#include "shell/app_lists.h"
#include "shell/popup.h"
#include "shell/state_commands.h"
#include "shell/toast.h"

namespace harvel {

Json to_json(const Outcome& outcome) {
  Json j = Json::object();
  j["ok"] = outcome.ok;
  if (outcome.reason) j["reason"] = *outcome.reason;
  return j;
}

namespace {

// A missing or wrongly typed argument: the call fails and its body never runs.
class ArgumentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A change refused because the settings file would pass what a start reads:
// the call fails with this reason.
class SettingsTooLarge : public std::runtime_error {
 public:
  SettingsTooLarge() : std::runtime_error("the settings would not fit in settings.json (1 MiB at most)") {}
};

std::string_view json_type_text(const Json& v) {
  if (v.is_discarded()) return "an object with a repeated key";
  switch (v.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::boolean: return "boolean";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float: return "number";
    case Json::value_t::string: return "string";
    case Json::value_t::array: return "array";
    case Json::value_t::object: return "object";
    default: return "value";
  }
}

bool json_blank(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The argument object of one call, read by exact key.
class Args {
 public:
  Args(std::string_view command, std::string_view text) : command_(command) {
    if (json_blank(text)) {
      root_ = Json::object();  // a call without arguments
      return;
    }
    // A repeated key is marked, not fatal, so that it costs only the value
    // it is in (a repeated key of the argument object itself still fails).
    std::string error;
    root_ = parse_json_strict(text, {.max_depth = 128, .duplicates = DuplicateKeys::MarkObject}, &error);
    if (!root_) {
      problem_ = "the arguments are not JSON (";
      problem_.append(error).append(")");
    } else if (!root_->is_object()) {
      problem_ = "the arguments are ";
      problem_.append(json_type_text(*root_)).append(", expected an object");
      root_.reset();
    }
  }

  std::string string(std::string_view key) const { return required(key, "a string", &Json::is_string).get<std::string>(); }
  bool boolean(std::string_view key) const { return required(key, "a boolean", &Json::is_boolean).get<bool>(); }
  // Any JSON number; integers become 64-bit floats.
  double number(std::string_view key) const { return required(key, "a number", &Json::is_number).get<double>(); }
  const Json& object(std::string_view key) const { return required(key, "an object", &Json::is_object); }

  // Absent and null both read as none.
  std::optional<std::string> optional_string(std::string_view key) const {
    const Json* v = find(key);
    if (!v || v->is_null()) return std::nullopt;
    if (!v->is_string()) fail(key, wrong_type(*v, "a string"));
    return v->get<std::string>();
  }

 private:
  const Json* find(std::string_view key) const {
    if (!root_) fail(key, problem_);
    const auto it = root_->find(key);
    return it == root_->end() ? nullptr : &*it;
  }

  const Json& required(std::string_view key, std::string_view expected, bool (Json::*is_type)() const noexcept) const {
    const Json* v = find(key);
    if (!v) {
      std::string why = "missing required key `";
      why.append(key).append("`");
      fail(key, why);
    }
    if (!((*v).*is_type)()) fail(key, wrong_type(*v, expected));
    return *v;
  }

  static std::string wrong_type(const Json& v, std::string_view expected) {
    std::string why = "invalid type: ";
    why.append(json_type_text(v)).append(", expected ").append(expected);
    return why;
  }

  [[noreturn]] void fail(std::string_view key, std::string_view why) const {
    std::string message = "invalid args `";
    message.append(key).append("` for command `").append(command_).append("`: ").append(why);
    throw ArgumentError(message);
  }

  std::string_view command_;
  std::optional<Json> root_;
  std::string problem_;
};

std::string answer_text(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

Json app_list(const std::vector<AppInfo>& apps) {
  Json list = Json::array();
  for (const AppInfo& info : apps) list.push_back(serialize_app_info(info));
  return list;
}

Outcome install_outcome(int result) {
  switch (result) {
    case kInstallStarted: return Outcome::success();
    case kInstallIntegrity: return Outcome::refused("integrity");
    default: return Outcome::refused("none");
  }
}

void spawn_hide_toast(App& app) {
  try {
    std::thread([&app] { hide_toast_window(app); }).detach();
  } catch (const std::system_error&) {
    // No thread: the toast still goes away when it expires.
  }
}

// Event-loop commands answer what `now` returns; pool commands read their
// arguments with `later` on the calling thread and get back the slow work.
using NowBody = Json (*)(App&, const Args&);
using LaterBody = std::function<Json()> (*)(App&, const Args&);

struct Command {
  std::string_view name;
  NowBody now = nullptr;
  LaterBody later = nullptr;
};

Command loop(std::string_view name, NowBody body) { return {name, body, nullptr}; }
Command pool(std::string_view name, LaterBody body) { return {name, nullptr, body}; }

// In the order of comparison.
const std::array<Command, 26>& command_table() {
  static const std::array<Command, 26> table{{
      loop("state_get", [](App& app, const Args&) -> Json { return serialize_snapshot(build_state_snapshot(app)); }),
      loop("mode_set",
           [](App& app, const Args& a) -> Json {
             const Mode mode = mode_from_name(a.string("mode"));
             if (mode != kModeOff) set_global_mode(app, mode);
             return nullptr;
           }),
      loop("enabled_set",
           [](App& app, const Args& a) -> Json {
             const bool on = a.boolean("on");
             const bool enabled = app.ctx().settings.with([](const Settings& s) { return s.enabled; });
             if (on != enabled) toggle_enabled(app);
             return nullptr;
           }),
      loop("settings_patch",
           [](App& app, const Args& a) -> Json {
             if (!apply_settings_patch(app, a.object("patch"))) throw SettingsTooLarge();
             return nullptr;
           }),
      loop("hotkey_set",
           [](App& app, const Args& a) -> Json { return to_json(set_hotkey(app, a.string("accelerator"))); }),
      loop("settings_reset",
           [](App& app, const Args&) -> Json {
             reset_settings(app);
             return nullptr;
           }),
      pool("apps_running",
           [](App& app, const Args&) -> std::function<Json()> {
             return [settings = app.ctx().settings.copy()] { return app_list(list_running_apps_blocking(settings)); };
           }),
      loop("apps_set",
           [](App& app, const Args& a) -> Json {
             const std::string exe = a.string("exe");
             const std::optional<std::string> name = a.optional_string("name");
             const std::optional<std::string> mode = a.optional_string("mode");
             if (!set_app_mode_rule(app, text::utf8_lower(exe), name, mode ? app_rule_from_text(*mode) : kModeNoRule)) {
               throw SettingsTooLarge();
             }
             return nullptr;
           }),
      pool("apps_pick_file",
           [](App&, const Args&) -> std::function<Json()> {
             return []() -> Json {
               const std::optional<AppInfo> picked = pick_exe_file_blocking();
               return picked ? serialize_app_info(*picked) : Json(nullptr);
             };
           }),
      loop("onboarding_done",
           [](App& app, const Args&) -> Json {
             finish_onboarding(app);
             return nullptr;
           }),
      loop("hook_retry",
           [](App& app, const Args&) -> Json {
             start_keyboard_hook_thread(app);
             emit_state_changed(app);
             return nullptr;
           }),
      pool("apps_installed",
           [](App& app, const Args&) -> std::function<Json()> {
             return [settings = app.ctx().settings.copy()] {
               return app_list(list_installed_apps_blocking(settings));
             };
           }),
      loop("debug_mode", [](App&, const Args&) -> Json { return false; }),
      loop("debug_log",
           [](App&, const Args& a) -> Json {
             (void)a.string("line");
             return nullptr;
           }),
      loop("update_check",
           [](App& app, const Args&) -> Json {
             spawn_update_check_once(app);
             return nullptr;
           }),
      loop("update_cancel",
           [](App& app, const Args&) -> Json {
             cancel_download(app);
             return nullptr;
           }),
      loop("update_download",
           [](App& app, const Args&) -> Json {
             clear_cancelled_version(app);
             spawn_update_check_once(app);
             return nullptr;
           }),
      pool("update_install",
           [](App& app, const Args&) -> std::function<Json()> {
             return [&app] { return to_json(install_outcome(install_downloaded_update(app))); };
           }),
      loop("popup_close",
           [](App& app, const Args&) -> Json {
             close_popup(app);
             return nullptr;
           }),
      loop("popup_fit",
           [](App& app, const Args& a) -> Json {
             fit_popup(app, a.number("height"));
             return nullptr;
           }),
      loop("toast_close",
           [](App& app, const Args&) -> Json {
             spawn_hide_toast(app);
             return nullptr;
           }),
      loop("main_show",
           [](App& app, const Args& a) -> Json {
             const std::optional<std::string> route = a.optional_string("route");
             close_popup(app);
             show_main_window(app, route);
             return nullptr;
           }),
      loop("open_external",
           [](App& app, const Args& a) -> Json {
             open_external(app, a.string("url"));
             return nullptr;
           }),
      loop("hide_window",
           [](App& app, const Args&) -> Json {
             hide_main_window(app);
             return nullptr;
           }),
      loop("app_quit",
           [](App& app, const Args&) -> Json {
             request_quit(app);
             return nullptr;
           }),
      // Normally the process is gone before this answer arrives.
      loop("app_relaunch",
           [](App& app, const Args&) -> Json {
             relaunch(app);
             return nullptr;
           }),
  }};
  return table;
}

std::string exception_text(std::string_view command) {
  std::string text = "command `";
  text.append(command).append("` ended abnormally");
  return text;
}

void run_later(std::function<Json()> work, std::string command, os::CommandReply reply) {
  auto task = [work = std::move(work), command, reply]() {
    try {
      const Json value = work();
      reply(os::CommandResult::value(answer_text(value)));
    } catch (const std::exception& e) {
      reply(os::CommandResult::error(e.what()));
    } catch (...) {
      reply(os::CommandResult::error(exception_text(command)));
    }
  };
  try {
    blocking_pool().submit(std::move(task));
  } catch (const std::exception& e) {
    reply(os::CommandResult::error(e.what()));
  }
}

}  // namespace

bool invoke_handler(App& app, std::string_view /*label*/, std::string_view command, std::string_view args_json,
                    os::CommandReply reply) {
  const Command* found = nullptr;
  for (const Command& c : command_table()) {
    if (c.name == command) {
      found = &c;
      break;
    }
  }
  if (!found) return false;
  if (!reply) reply = [](os::CommandResult) {};

  const Args args(found->name, args_json);
  if (found->later) {
    std::function<Json()> work;
    try {
      work = found->later(app, args);
    } catch (const std::exception& e) {
      reply(os::CommandResult::error(e.what()));
      return true;
    }
    run_later(std::move(work), std::string(found->name), std::move(reply));
    return true;
  }

  std::optional<os::CommandResult> result;
  try {
    result = os::CommandResult::value(answer_text(found->now(app, args)));
  } catch (const std::exception& e) {
    result = os::CommandResult::error(e.what());
  } catch (...) {
    result = os::CommandResult::error(exception_text(found->name));
  }
  reply(std::move(*result));
  return true;
}

os::CommandHandler make_command_handler(App& app) {
  return [&app](std::string_view label, std::string_view command, std::string_view args_json,
                os::CommandReply reply) {
    if (app.try_ctx() != nullptr) return invoke_handler(app, label, command, args_json, std::move(reply));
    // The main window's page may call before set-up has built the state:
    // set-up is the first task on the event loop, so the call waits its turn
    // behind it. A call that still finds no state is refused, never run.
    const bool known = std::ranges::any_of(command_table(), [&](const Command& c) { return c.name == command; });
    if (!known) return false;
    os::platform().event_loop->post([&app, label = std::string(label), command = std::string(command),
                                     args = std::string(args_json), reply = std::move(reply)]() mutable {
      if (app.try_ctx() == nullptr) {
        if (reply) reply(os::CommandResult::error(command + ": the program is still starting"));
        return;
      }
      invoke_handler(app, label, command, args, std::move(reply));
    });
    return true;
  };
}

}  // namespace harvel
