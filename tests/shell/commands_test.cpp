#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include <gtest/gtest.h>

#include "core/state.h"
#include "keyboard/hook_flags.h"
#include "online/updater.h"
#include "shell/commands.h"
#include "shell/command_fixture.h"
#include "shell/popup.h"

namespace harvel {
namespace {

using testing::CommandFixture;

class Dispatcher : public CommandFixture {};

TEST(OutcomeJson, LeavesOutReasonOnSuccess) {
  EXPECT_EQ(to_json(Outcome::success()).dump(), R"({"ok":true})");
  EXPECT_EQ(to_json(Outcome::refused("busy")).dump(), R"({"ok":false,"reason":"busy"})");
}

TEST_F(Dispatcher, NamesMatchExactly) {
  for (const char* name : {"state_get ", " state_get", "State_get", "STATE_GET", "stateGet", "", "state", "debug",
                           "popup_close\n", "app_quit2"}) {
    EXPECT_FALSE(call(name).handled) << '"' << name << '"';
  }
}

// Every command, called as the pages call it, with its answer.
TEST_F(Dispatcher, AnswersEveryCommand) {
  desk.windows.add_window("main");
  desk.windows.add_window("popup");
  desk.windows.add_window("toast");
  struct Case {
    const char* name;
    const char* args;
    const char* answer;
  };
  const Case cases[] = {
      {"mode_set", R"({"mode":"fast"})", "null"},
      {"enabled_set", R"({"on":true})", "null"},
      {"settings_patch", R"({"patch":{}})", "null"},
      {"hotkey_set", R"({"accelerator":"Control+Alt+K"})", R"({"ok":true})"},
      {"settings_reset", "{}", "null"},
      {"apps_running", "{}", "[]"},
      {"apps_set", R"({"exe":"code.exe","mode":"zero"})", "null"},
      {"apps_pick_file", "{}", "null"},
      {"onboarding_done", "{}", "null"},
      {"hook_retry", "{}", "null"},
      {"apps_installed", "{}", "[]"},
      {"debug_mode", "{}", "false"},
      {"debug_log", R"({"line":"any text"})", "null"},
      {"update_check", "{}", "null"},
      {"update_cancel", "{}", "null"},
      {"update_download", "{}", "null"},
      {"update_install", "{}", R"({"ok":false,"reason":"none"})"},
      {"popup_close", "{}", "null"},
      {"popup_fit", R"({"height":300})", "null"},
      {"toast_close", "{}", "null"},
      {"main_show", R"({"route":"/lab"})", "null"},
      {"open_external", R"({"url":"https://harvel.uz/guide"})", "null"},
      {"hide_window", "{}", "null"},
      {"app_quit", "{}", "null"},
      {"app_relaunch", "{}", "null"},
  };
  for (const Case& c : cases) {
    const testing::CallAnswer a = call(c.name, c.args);
    EXPECT_TRUE(a.handled) << c.name;
    EXPECT_TRUE(a.result.ok) << c.name << ": " << a.result.text;
    EXPECT_EQ(a.result.text, c.answer) << c.name;
  }
  const Json state = ok("state_get");
  EXPECT_EQ(state["version"], "0.1.7");
  EXPECT_EQ(state["settings"]["mode"], "hybrid");  // after the reset

  // The pop-up and toast windows are closed on threads of their own.
  EXPECT_TRUE(desk.windows.wait_for([](const auto& calls) {
    bool popup = false, toast = false;
    for (const fake::WindowCall& c : calls) {
      popup = popup || (c.op == "hide" && c.label == "popup");
      toast = toast || (c.op == "destroy" && c.label == "toast");
    }
    return popup && toast;
  }));
}

TEST_F(Dispatcher, StateGetAnswersTheSnapshot) {
  edit_settings([](Settings& s) { s.apps.push_back({"Word", "winword.exe", kModeOff}); });
  t.ctx().hotkey_ok = true;
  const Json state = ok("state_get");
  EXPECT_EQ(state, serialize_snapshot(build_state_snapshot(t.app)));
  EXPECT_EQ(state["settings"]["apps"][0]["mode"], "off");
  EXPECT_EQ(state["hotkeyOk"], true);
  EXPECT_EQ(state["platform"], "win32");
}

TEST_F(Dispatcher, BadArgumentsFailBeforeTheBodyRuns) {
  edit_settings([](Settings& s) { s.enabled = false; });
  const Settings before = settings();
  struct Case {
    const char* name;
    const char* args;
    const char* key;
  };
  const Case cases[] = {
      {"mode_set", "{}", "mode"},
      {"mode_set", R"({"mode":1})", "mode"},
      {"mode_set", R"({"mode":null})", "mode"},
      {"mode_set", R"({"Mode":"fast"})", "mode"},
      {"mode_set", R"({"mode":"fast","mode":"zero"})", "mode"},
      {"mode_set", R"(["fast"])", "mode"},
      {"mode_set", R"({"mode":"fast")", "mode"},
      {"mode_set", "null", "mode"},
      {"enabled_set", R"({"on":"true"})", "on"},
      {"enabled_set", R"({"on":1})", "on"},
      {"settings_patch", "{}", "patch"},
      {"settings_patch", R"({"patch":null})", "patch"},
      {"settings_patch", R"({"patch":[{"theme":"dark"}]})", "patch"},
      {"settings_patch", R"({"patch":"{\"theme\":\"dark\"}"})", "patch"},
      {"settings_patch", R"({"patch":{"theme":"dark","theme":"light"}})", "patch"},
      {"hotkey_set", R"({"accelerator":42})", "accelerator"},
      {"hotkey_set", "{}", "accelerator"},
      {"apps_set", R"({"mode":"fast"})", "exe"},
      {"apps_set", R"({"exe":null,"mode":"fast"})", "exe"},
      {"apps_set", R"({"exe":"a.exe","name":7,"mode":"fast"})", "name"},
      {"apps_set", R"({"exe":"a.exe","mode":true})", "mode"},
      {"debug_log", "{}", "line"},
      {"debug_log", R"({"line":null})", "line"},
      {"popup_fit", R"({"height":"300"})", "height"},
      {"popup_fit", R"({"height":null})", "height"},
      {"popup_fit", R"({"height":1e400})", "height"},
      {"main_show", R"({"route":5})", "route"},
      {"open_external", R"({"url":["https://harvel.uz"]})", "url"},
  };
  for (const Case& c : cases) {
    const std::string text = error(c.name, c.args);
    EXPECT_NE(text.find(std::string("`") + c.key + "`"), std::string::npos) << c.name << " " << c.args << ": " << text;
    EXPECT_NE(text.find(std::string("`") + c.name + "`"), std::string::npos) << text;
  }
  EXPECT_EQ(settings(), before);
  EXPECT_FALSE(saved());
  EXPECT_EQ(broadcasts(), 0);
  EXPECT_TRUE(t.notices.empty());
  EXPECT_TRUE(desk.windows.calls().empty());
  EXPECT_EQ(popup_height(), kPopupDefaultHeight);
}

TEST_F(Dispatcher, ArgumentErrorNamesTheProblem) {
  EXPECT_EQ(error("popup_fit", R"({"height":"300"})"),
            "invalid args `height` for command `popup_fit`: invalid type: string, expected a number");
  EXPECT_EQ(error("mode_set", "{}"), "invalid args `mode` for command `mode_set`: missing required key `mode`");
}

TEST_F(Dispatcher, CommandsWithoutArgumentsIgnoreTheArgumentText) {
  for (const char* args : {"", "{\"x\":1}", "not json"}) EXPECT_EQ(ok("debug_mode", args), false) << args;
}

TEST_F(Dispatcher, ModeSetTakesOnlyExactModeNames) {
  for (const char* name : {"Hybrid", "FAST", "off", "", " zero", "1"}) {
    EXPECT_EQ(ok("mode_set", Json{{"mode", name}}.dump()), nullptr);
  }
  EXPECT_EQ(settings(), default_settings());
  EXPECT_FALSE(saved());
  EXPECT_TRUE(t.notices.empty());

  ok("mode_set", R"({"mode":"zero"})");
  EXPECT_EQ(settings().mode, kModeZero);
  EXPECT_EQ(saved_json()["mode"], "zero");
}

TEST_F(Dispatcher, EnabledSetWithTheCurrentValueDoesNothing) {
  EXPECT_EQ(ok("enabled_set", R"({"on":true})"), nullptr);
  EXPECT_TRUE(t.notices.empty());
  EXPECT_FALSE(saved());
  EXPECT_EQ(broadcasts(), 0);

  ok("enabled_set", R"({"on":false})");
  EXPECT_FALSE(settings().enabled);
  EXPECT_EQ(saved_json()["enabled"], false);
  ASSERT_EQ(t.notices.size(), 1u);
  EXPECT_EQ(t.notices[0].kind, ToastKind::Off);
}

TEST_F(Dispatcher, AppsSetConvertsItsArguments) {
  edit_settings([](Settings& s) {
    s.apps = {{"Notepad", "notepad.exe", kModeFast}, {"Word", "winword.exe", kModeZero}};
  });
  // An upper-case exe is lowered; no mode removes the rule.
  ok("apps_set", R"({"exe":"Notepad.EXE"})");
  EXPECT_EQ(settings().apps, (std::vector<AppRule>{{"Word", "winword.exe", kModeZero}}));
  EXPECT_EQ(saved_json()["apps"].size(), 1u);

  // A mode text that is not a mode name removes too, and so does null.
  ok("apps_set", R"({"exe":"winword.exe","mode":"Fast"})");
  EXPECT_TRUE(settings().apps.empty());
  ok("apps_set", R"({"exe":"a.exe","mode":"fast"})");
  ok("apps_set", R"({"exe":"a.exe","name":null,"mode":null})");
  EXPECT_TRUE(settings().apps.empty());

  // "off" is a rule of its own; the name is taken as given.
  ok("apps_set", R"({"exe":"ÇALC.EXE","name":"  my calc ","mode":"off"})");
  EXPECT_EQ(settings().apps, (std::vector<AppRule>{{"  my calc ", "çalc.exe", kModeOff}}));
  EXPECT_EQ(saved_json()["apps"][0], (Json{{"name", "  my calc "}, {"exe", "çalc.exe"}, {"mode", "off"}}));
}

TEST_F(Dispatcher, PopupFitTakesAnyNumber) {
  struct Case {
    const char* args;
    double height;
  };
  const Case cases[] = {
      {R"({"height":1e308})", 640.0}, {R"({"height":250})", 250.0},   {R"({"height":250.5})", 250.5},
      {R"({"height":50})", 120.0},    {R"({"height":-3})", 120.0},    {R"({"height":1000})", 640.0},
      {R"({"height":18446744073709551615})", 640.0},
  };
  for (const Case& c : cases) {
    ok("popup_fit", c.args);
    EXPECT_EQ(popup_height(), c.height) << c.args;
  }
  for (double h : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::quiet_NaN()}) {
    fit_popup(t.app, 500.0);
    fit_popup(t.app, h);
    EXPECT_EQ(popup_height(), 300.0) << h;
  }
  fit_popup(t.app, kPopupDefaultHeight);
  // Nothing is shown yet, so nothing is moved.
  EXPECT_TRUE(desk.windows.calls().empty());
}

TEST_F(Dispatcher, PoolCommandsAnswerFromAnotherThread) {
  for (const char* name : {"apps_running", "apps_installed", "apps_pick_file", "update_install"}) {
    auto answered_on = std::make_shared<std::promise<std::thread::id>>();
    ASSERT_TRUE(invoke_handler(t.app, "main", name, "{}",
                               [answered_on](os::CommandResult) { answered_on->set_value(std::this_thread::get_id()); }));
    auto future = answered_on->get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(60)), std::future_status::ready) << name;
    EXPECT_NE(future.get(), std::this_thread::get_id()) << name;
  }
}

TEST_F(Dispatcher, UpdateCommandsTouchTheirFlags) {
  t.ctx().update.with([](UpdateRecord& r) { r.cancelled_version = "1.2.0"; });
  ok("update_cancel");
  EXPECT_TRUE(t.ctx().cancel_download.load());
  ok("update_check");
  EXPECT_EQ(t.ctx().update.copy().cancelled_version, "1.2.0");
  ok("update_download");
  EXPECT_FALSE(t.ctx().update.copy().cancelled_version.has_value());
}

TEST_F(Dispatcher, HookRetryStartsTheHookAndBroadcasts) {
  t.hook.set_refuse(true);
  ok("mode_set", R"({"mode":"fast"})");
  ASSERT_TRUE(t.ctx().hook_error.copy().has_value());
  const int before = broadcasts();

  t.hook.set_refuse(false);
  ok("hook_retry");
  EXPECT_TRUE(t.ctx().hook_thread.with([](const std::optional<HookThread>& h) { return h.has_value(); }));
  EXPECT_FALSE(t.ctx().hook_error.copy().has_value());
  EXPECT_EQ(broadcasts(), before + 1);
  EXPECT_EQ(hook_status(t.app), HookStatus::On);
}

TEST_F(Dispatcher, PlugsIntoTheWebViewHost) {
  desk.windows.set_command_handler(make_command_handler(t.app));
  std::optional<os::CommandResult> got;
  EXPECT_TRUE(desk.windows.command_handler()("popup", "debug_mode", "{}", [&](os::CommandResult r) { got = r; }));
  ASSERT_TRUE(got);
  EXPECT_EQ(got->text, "false");
  EXPECT_FALSE(desk.windows.command_handler()("popup", "nope", "{}", [](os::CommandResult) {}));
}

// The main window's page can call before set-up has built the state: the
// call waits behind set-up on the event loop instead of ending the program.
TEST_F(Dispatcher, ACallBeforeSetUpWaitsItsTurn) {
  App starting;
  const os::CommandHandler handler = make_command_handler(starting);
  std::vector<os::CommandResult> answers;
  EXPECT_FALSE(handler("main", "nope", "{}", [](os::CommandResult) {}));
  EXPECT_TRUE(handler("main", "debug_mode", "{}", [&](os::CommandResult r) { answers.push_back(r); }));
  EXPECT_TRUE(answers.empty());
  starting.manage(std::make_unique<Ctx>(t.dir.path() / "settings.json", default_settings()));
  t.sys.run_posted();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_TRUE(answers[0].ok);
  EXPECT_EQ(answers[0].text, "false");

  App never;  // set-up did not come first: refused, not run
  EXPECT_TRUE(make_command_handler(never)("main", "state_get", "{}", [&](os::CommandResult r) { answers.push_back(r); }));
  t.sys.run_posted();
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_FALSE(answers[1].ok);
}

}  // namespace
}  // namespace harvel
