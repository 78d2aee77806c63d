#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "keyboard/hook_flags.h"
#include "keyboard/layout_watcher.h"
#include "shell/command_fixture.h"
#include "shell/popup.h"
#include "shell/state_commands.h"

namespace harvel {
namespace {

using testing::CommandFixture;

class StateCommands : public CommandFixture {};

ToastData notice(std::string title, std::string body, ToastKind kind) { return {std::move(title), std::move(body), kind}; }

TEST_F(StateCommands, ModeSetSwitchesOnAndNamesTheMode) {
  struct Case {
    const char* name;
    Mode mode;
    bool enabled_after;  // from off
    const char* title;
    const char* body;
  };
  const Case cases[] = {
      {"english", kModeEnglish, false, "English rejimi yoqildi", "Oddiy klaviatura."},
      {"fast", kModeFast, true, "Fast rejimi yoqildi", "W → ş, C → ç, [ → ö, ] → ğ. Right Alt asl belgini qaytaradi."},
      {"hybrid", kModeHybrid, true, "Hybrid rejimi yoqildi", "Right Alt + S / C / O / G — yangi harflar."},
      {"zero", kModeZero, true, "Zero-learning rejimi yoqildi", "sh, ch, o‘, g‘ — so‘z tugagach yangi harfga aylanadi."},
  };
  for (const Case& c : cases) {
    edit_settings([](Settings& s) {
      s.enabled = false;
      s.fast_keys = {"KeyQ", "KeyX", "Semicolon", "Quote"};  // the notice keeps its fixed keys
    });
    t.notices.clear();
    const int before = broadcasts();
    ok("mode_set", Json{{"mode", c.name}}.dump());
    EXPECT_EQ(settings().mode, c.mode);
    EXPECT_EQ(settings().enabled, c.enabled_after) << c.name;
    EXPECT_EQ(saved_json()["mode"], c.name);
    EXPECT_EQ(saved_json()["enabled"], c.enabled_after);
    EXPECT_EQ(broadcasts(), before + 1);
    EXPECT_EQ(t.notices, (std::vector<ToastData>{notice(c.title, c.body, ToastKind::Info)}));
  }
}

TEST_F(StateCommands, ToggleOffAndOnAgain) {
  edit_settings([](Settings& s) { s.mode = kModeFast; });
  ok("enabled_set", R"({"on":false})");
  EXPECT_FALSE(settings().enabled);
  EXPECT_EQ(settings().mode, kModeFast);
  EXPECT_EQ(saved_json()["enabled"], false);

  ok("enabled_set", R"({"on":true})");
  EXPECT_TRUE(settings().enabled);
  EXPECT_EQ(settings().mode, kModeFast);
  EXPECT_EQ(t.notices,
            (std::vector<ToastData>{
                notice("Harvel o‘chirildi", "Klaviatura oddiy holatda. Qayta yoqish: Ctrl+Shift+U.", ToastKind::Off),
                notice("Harvel yoqildi", "Fast rejimi. O‘chirish: Ctrl+Shift+U.", ToastKind::Info)}));
  EXPECT_EQ(broadcasts(), 2);
}

TEST_F(StateCommands, TurningOnFromEnglishChoosesHybrid) {
  edit_settings([](Settings& s) {
    s.enabled = false;
    s.mode = kModeEnglish;
  });
  toggle_enabled(t.app);
  EXPECT_TRUE(settings().enabled);
  EXPECT_EQ(settings().mode, kModeHybrid);
  EXPECT_EQ(saved_json()["mode"], "hybrid");
  EXPECT_EQ(t.notices, (std::vector<ToastData>{notice("Harvel yoqildi", "Hybrid rejimi. O‘chirish: Ctrl+Shift+U.",
                                                      ToastKind::Info)}));
}

TEST_F(StateCommands, NoticesShowTheShortcutWithCtrl) {
  edit_settings([](Settings& s) { s.hotkey = "Control+Alt+Control+K"; });
  toggle_enabled(t.app);
  ASSERT_EQ(t.notices.size(), 1u);
  EXPECT_EQ(t.notices[0].body, "Klaviatura oddiy holatda. Qayta yoqish: Ctrl+Alt+Ctrl+K.");
}

TEST_F(StateCommands, ToggleWhileRemotelyDisabledOnlyTellsWhy) {
  struct Case {
    std::optional<std::string> message;
    const char* body;
  };
  const Case cases[] = {
      {std::nullopt, "Administrator tomonidan o‘chirilgan. Yozganingiz o‘zgarmaydi"},
      {std::string(" \t"), "Administrator tomonidan o‘chirilgan. Yozganingiz o‘zgarmaydi"},
      {std::string("Harvel vaqtincha o‘chirilgan."), "Administrator tomonidan o‘chirilgan. Yozganingiz o‘zgarmaydi"},
      {std::string("Texnik ishlar ketmoqda"), "Texnik ishlar ketmoqda"},
  };
  for (const bool enabled : {false, true}) {
    for (const Case& c : cases) {
      edit_settings([enabled](Settings& s) { s.enabled = enabled; });
      t.ctx().remote_disable_message.set(c.message);
      hook_flags().remote_disabled = 1;
      t.notices.clear();
      toggle_enabled(t.app);
      EXPECT_EQ(settings().enabled, enabled);
      EXPECT_EQ(t.notices,
                (std::vector<ToastData>{notice("Harvel vaqtincha to‘xtatildi", c.body, ToastKind::Error)}));
    }
  }
  // Through the command as well: the page asks to turn on.
  edit_settings([](Settings& s) { s.enabled = false; });
  ok("enabled_set", R"({"on":true})");
  EXPECT_FALSE(settings().enabled);
  EXPECT_FALSE(saved());
  EXPECT_EQ(broadcasts(), 0);
}

// ---- settings_patch ----

struct PatchCase {
  const char* what;
  std::function<void(Settings&)> before;
  const char* patch;
  std::function<void(Settings&)> expect;  // the change from `before`
};

void nothing(Settings&) {}

TEST_F(StateCommands, SettingsPatchStoresOnlyKnownWellTypedKeys) {
  const FastKeys kBackquoteSh{"Backquote", "KeyC", "BracketLeft", "BracketRight"};
  const FastKeys kQSh{"KeyQ", "KeyC", "BracketLeft", "BracketRight"};
  const PatchCase cases[] = {
      {"hybrid key and fast keys sharing Backquote", nothing,
       R"({"hybridKey":"backquote","fastKeys":{"sh":"Backquote","ch":"KeyC","o":"BracketLeft","g":"BracketRight"}})",
       nothing},
      {"hybrid key and fast keys apart", nothing,
       R"({"hybridKey":"backquote","fastKeys":{"sh":"KeyQ","ch":"KeyC","o":"BracketLeft","g":"BracketRight"}})",
       [&](Settings& s) {
         s.hybrid_key = "backquote";
         s.fast_keys = kQSh;
       }},
      {"hybrid key against stored fast keys", [&](Settings& s) { s.fast_keys = kBackquoteSh; },
       R"({"hybridKey":"backquote"})", nothing},
      {"fast keys against stored hybrid key", [](Settings& s) { s.hybrid_key = "backquote"; },
       R"({"fastKeys":{"sh":"Backquote","ch":"KeyC","o":"BracketLeft","g":"BracketRight"}})", nothing},
      {"a new hybrid key frees the fast keys", [](Settings& s) { s.hybrid_key = "backquote"; },
       R"({"hybridKey":"caps","fastKeys":["Backquote","KeyC","BracketLeft","BracketRight"]})",
       [&](Settings& s) {
         s.hybrid_key = "caps";
         s.fast_keys = kBackquoteSh;
       }},
      {"unknown stored hybrid key counts as ralt", [](Settings& s) { s.hybrid_key = "nonsense"; },
       R"({"fastKeys":["Backquote","KeyC","BracketLeft","BracketRight"]})",
       [&](Settings& s) { s.fast_keys = kBackquoteSh; }},
      {"unresolvable fast keys are stored as sent", nothing,
       R"({"hybridKey":"backquote","fastKeys":{"sh":"Backquote","ch":"Backquote","o":"Nope","g":"KeyC","x":1}})",
       [](Settings& s) {
         s.hybrid_key = "backquote";
         s.fast_keys = {"Backquote", "Backquote", "Nope", "KeyC"};
       }},
      {"fast keys missing slots", nothing, R"({"fastKeys":{"sh":"KeyW"}})", nothing},
      {"fast keys with a repeated slot", nothing,
       R"({"fastKeys":{"sh":"KeyQ","sh":"KeyX","ch":"KeyC","o":"BracketLeft","g":"BracketRight"}})", nothing},
      {"fast keys with a number", nothing, R"({"fastKeys":{"sh":1,"ch":"KeyC","o":"BracketLeft","g":"BracketRight"}})",
       nothing},
      {"fast keys array of three", nothing, R"({"fastKeys":["KeyQ","KeyC","BracketLeft"]})", nothing},
      {"fast keys array of five", nothing, R"({"fastKeys":["KeyQ","KeyC","BracketLeft","BracketRight","KeyX"]})",
       nothing},
      {"fast keys as text", nothing, R"({"fastKeys":"KeyQ,KeyC,BracketLeft,BracketRight"})", nothing},
      {"hybrid key not in the table", nothing, R"({"hybridKey":"Backquote"})", nothing},
      {"hybrid key of another type", nothing, R"({"hybridKey":9})", nothing},
      {"theme names are exact", nothing, R"({"theme":"Dark"})", nothing},
      {"theme dark", nothing, R"({"theme":"dark"})", [](Settings& s) { s.theme = "dark"; }},
      {"theme light", [](Settings& s) { s.theme = "dark"; }, R"({"theme":"light"})",
       [](Settings& s) { s.theme = "light"; }},
      {"theme null", nothing, R"({"theme":null})", nothing},
      {"startup as text", nothing, R"({"startup":"yes"})", nothing},
      {"booleans", nothing, R"({"offers":false,"checker":true,"checkerToast":true})",
       [](Settings& s) {
         s.offers = false;
         s.checker = true;
         s.checker_toast = true;
       }},
      {"booleans of other types", nothing, R"({"offers":0,"checker":"true","checkerToast":null})", nothing},
      {"keys the patch does not own", nothing,
       R"({"mode":"zero","enabled":false,"hotkey":"Alt+K","onboarded":true,"apps":[],"siteUrl":"https://x.example","Theme":"dark"})",
       nothing},
  };
  for (const PatchCase& c : cases) {
    Settings start = default_settings();
    c.before(start);
    t.set_settings(start);
    Settings expected = start;
    c.expect(expected);
    const int before = broadcasts();
    t.notices.clear();
    EXPECT_EQ(ok("settings_patch", std::string(R"({"patch":)") + c.patch + "}"), nullptr) << c.what;
    EXPECT_EQ(settings(), expected) << c.what;
    EXPECT_EQ(saved_text(), serialize_settings(expected)) << c.what;
    EXPECT_EQ(broadcasts(), before + 1) << c.what;
    EXPECT_TRUE(t.notices.empty()) << c.what;
  }
  EXPECT_TRUE(desk.shell.autostart_calls().empty());
}

TEST_F(StateCommands, SettingsPatchStartupSetsTheAutostartEntry) {
  ok("settings_patch", R"({"patch":{"startup":true}})");
  EXPECT_TRUE(settings().startup);
  EXPECT_EQ(saved_json()["startup"], true);
  EXPECT_EQ(desk.shell.autostart_entry(), R"("C:\Program Files\Harvel\harvel.exe" --hidden)");

  ok("settings_patch", R"({"patch":{"startup":false,"theme":"light"}})");
  EXPECT_FALSE(settings().startup);
  EXPECT_EQ(desk.shell.autostart_calls().back(), "remove");
  EXPECT_EQ(saved_json()["theme"], "light");
}

// ---- hotkey_set ----

class HotkeySet : public StateCommands {
 protected:
  void SetUp() override {
    desk.shortcuts.preregister(key("Control+Shift+U"));
    t.ctx().hotkey_ok = true;
  }
};

TEST_F(HotkeySet, RefusesTextsThatAreNotShortcuts) {
  for (const char* text : {"U", "", "Control", "Control+", "Control+Shift+Nope", "Shift+U+K", "F5"}) {
    const int before = broadcasts();
    EXPECT_EQ(ok("hotkey_set", Json{{"accelerator", text}}.dump()), (Json{{"ok", false}, {"reason", "invalid"}}))
        << text;
    EXPECT_EQ(broadcasts(), before + 1) << text;
  }
  EXPECT_EQ(settings().hotkey, "Control+Shift+U");
  EXPECT_FALSE(saved());
  EXPECT_TRUE(desk.shortcuts.calls().empty());
  EXPECT_TRUE(t.ctx().hotkey_ok.load());
}

TEST_F(HotkeySet, TheRegisteredShortcutAgainOnlySaves) {
  EXPECT_EQ(ok("hotkey_set", R"({"accelerator":"Control+Shift+U"})"), (Json{{"ok", true}}));
  EXPECT_TRUE(desk.shortcuts.calls().empty());
  EXPECT_EQ(saved_json()["hotkey"], "Control+Shift+U");
  EXPECT_EQ(broadcasts(), 1);
}

TEST_F(HotkeySet, TheStoredShortcutIsRegisteredAgainWhenItWasNot) {
  desk.shortcuts.unregister_all();
  desk.shortcuts.clear_calls();
  t.ctx().hotkey_ok = false;
  EXPECT_EQ(ok("hotkey_set", R"({"accelerator":"Control+Shift+U"})"), (Json{{"ok", true}}));
  EXPECT_EQ(desk.shortcuts.registered(), (std::vector<os::Hotkey>{key("Control+Shift+U")}));
  EXPECT_TRUE(t.ctx().hotkey_ok.load());
}

TEST_F(HotkeySet, AFreeShortcutReplacesTheOldOne) {
  t.ctx().hotkey_ok = false;
  EXPECT_EQ(ok("hotkey_set", R"({"accelerator":"Control+Alt+K"})"), (Json{{"ok", true}}));
  EXPECT_EQ(desk.shortcuts.calls(), (std::vector<fake::ShortcutCall>{{"unregister", key("Control+Shift+U"), true},
                                                                     {"register", key("Control+Alt+K"), true}}));
  EXPECT_EQ(desk.shortcuts.registered(), (std::vector<os::Hotkey>{key("Control+Alt+K")}));
  EXPECT_EQ(settings().hotkey, "Control+Alt+K");
  EXPECT_TRUE(t.ctx().hotkey_ok.load());
  EXPECT_EQ(saved_json()["hotkey"], "Control+Alt+K");
  EXPECT_EQ(last_broadcast_settings()["hotkey"], "Control+Alt+K");
  EXPECT_TRUE(t.notices.empty());
}

TEST_F(HotkeySet, ATakenShortcutIsBusyAndTheOldOneComesBack) {
  desk.shortcuts.take(key("Control+Alt+K"));
  EXPECT_EQ(ok("hotkey_set", R"({"accelerator":"Control+Alt+K"})"), (Json{{"ok", false}, {"reason", "busy"}}));
  EXPECT_EQ(desk.shortcuts.calls(), (std::vector<fake::ShortcutCall>{{"unregister", key("Control+Shift+U"), true},
                                                                     {"register", key("Control+Alt+K"), false},
                                                                     {"register", key("Control+Shift+U"), true}}));
  EXPECT_EQ(settings().hotkey, "Control+Shift+U");
  EXPECT_TRUE(t.ctx().hotkey_ok.load());
  EXPECT_FALSE(saved());
  EXPECT_EQ(broadcasts(), 1);
  EXPECT_EQ(Json::parse(t.sys.emitted().back().second)["hotkeyOk"], true);
}

TEST_F(HotkeySet, BusyWithTheOldShortcutLostClearsHotkeyOk) {
  desk.shortcuts.unregister_all();
  desk.shortcuts.take(key("Control+Shift+U"));
  desk.shortcuts.take(key("Control+Alt+K"));
  EXPECT_EQ(ok("hotkey_set", R"({"accelerator":"Control+Alt+K"})"), (Json{{"ok", false}, {"reason", "busy"}}));
  EXPECT_FALSE(t.ctx().hotkey_ok.load());
  EXPECT_EQ(Json::parse(t.sys.emitted().back().second)["hotkeyOk"], false);
}

// ---- settings_reset ----

Settings customised() {
  Settings s = default_settings();
  s.mode = kModeZero;
  s.enabled = false;
  s.hotkey = "Control+Alt+K";
  s.startup = true;
  s.theme = "dark";
  s.offers = false;
  s.hybrid_key = "caps";
  s.fast_keys = {"KeyQ", "KeyX", "Semicolon", "Quote"};
  s.checker_toast = true;
  s.apps = {{"Word", "winword.exe", kModeOff}};
  return s;
}

TEST_F(StateCommands, ResetKeepsOnlyOnboarded) {
  for (const bool onboarded : {true, false}) {
    Settings s = customised();
    s.onboarded = onboarded;
    t.set_settings(s);
    desk.shortcuts.preregister(key("Control+Alt+K"));
    desk.shortcuts.clear_calls();
    t.notices.clear();

    ok("settings_reset");
    Settings expected = default_settings();
    expected.onboarded = onboarded;
    EXPECT_EQ(settings(), expected);
    EXPECT_EQ(saved_text(), serialize_settings(expected));
    EXPECT_EQ(desk.shortcuts.calls(), (std::vector<fake::ShortcutCall>{{"unregister_all", {}, true},
                                                                       {"register", key("Control+Shift+U"), true}}));
    EXPECT_TRUE(t.ctx().hotkey_ok.load());
    EXPECT_EQ(desk.shell.autostart_calls().back(), "remove");
    EXPECT_EQ(t.notices, (std::vector<ToastData>{notice(
                             "Sozlamalar tiklandi", "Rejim, tez tugma va istisnolar boshlang‘ich holatga qaytdi.",
                             ToastKind::Info)}));
    desk.shortcuts.unregister_all();
  }
}

TEST_F(StateCommands, ResetWithTheDefaultShortcutTakenClearsHotkeyOk) {
  t.ctx().hotkey_ok = true;
  desk.shortcuts.take(key("Control+Shift+U"));
  ok("settings_reset");
  EXPECT_FALSE(t.ctx().hotkey_ok.load());
  EXPECT_EQ(last_broadcast_settings()["hotkey"], "Control+Shift+U");
}

// ---- per-program rules ----

TEST_F(StateCommands, RulesAreNamedAndSorted) {
  ok("apps_set", R"({"exe":"code.exe","mode":"fast"})");
  EXPECT_EQ(settings().apps, (std::vector<AppRule>{{"Code", "code.exe", kModeFast}}));

  ok("apps_set", R"({"exe":"b.exe","name":"beta","mode":"zero"})");
  ok("apps_set", R"({"exe":"a.exe","name":"Alpha","mode":"off"})");
  ok("apps_set", R"({"exe":"z.exe","name":"Ära","mode":"hybrid"})");
  const std::vector<AppRule> sorted{{"Alpha", "a.exe", kModeOff},
                                    {"beta", "b.exe", kModeZero},
                                    {"Code", "code.exe", kModeFast},
                                    {"Ära", "z.exe", kModeHybrid}};
  EXPECT_EQ(settings().apps, sorted);
  const Json apps = saved_json()["apps"];
  ASSERT_EQ(apps.size(), 4u);
  EXPECT_EQ(apps[0], (Json{{"name", "Alpha"}, {"exe", "a.exe"}, {"mode", "off"}}));
  EXPECT_EQ(apps[1]["name"], "beta");

  // A new mode without a name keeps the rule's name; a new name renames it.
  ok("apps_set", R"({"exe":"b.exe","mode":"english"})");
  EXPECT_EQ(settings().apps[1], (AppRule{"beta", "b.exe", kModeEnglish}));
  ok("apps_set", R"({"exe":"b.exe","name":"Able","mode":"english"})");
  EXPECT_EQ(settings().apps[0], (AppRule{"Able", "b.exe", kModeEnglish}));
  EXPECT_EQ(settings().apps.size(), 4u);
  EXPECT_TRUE(t.notices.empty());
}

TEST_F(StateCommands, EqualNamesKeepTheirOrder) {
  edit_settings([](Settings& s) { s.apps = {{"Editor", "one.exe", kModeFast}, {"editor", "two.exe", kModeZero}}; });
  ok("apps_set", R"({"exe":"three.exe","name":"EDITOR","mode":"off"})");
  const std::vector<std::string> order{settings().apps[0].exe, settings().apps[1].exe, settings().apps[2].exe};
  EXPECT_EQ(order, (std::vector<std::string>{"one.exe", "two.exe", "three.exe"}));
}

TEST_F(StateCommands, RepeatedRulesForOneProgramCollapse) {
  edit_settings([](Settings& s) {
    s.apps = {{"First", "x.exe", kModeFast}, {"Other", "y.exe", kModeFast}, {"Second", "x.exe", kModeZero}};
  });
  ok("apps_set", R"({"exe":"x.exe","mode":"off"})");
  EXPECT_EQ(settings().apps,
            (std::vector<AppRule>{{"First", "x.exe", kModeOff}, {"Other", "y.exe", kModeFast}}));
}

TEST_F(StateCommands, AnEmptyExeNamesNoProgram) {
  ok("apps_set", R"({"exe":"","mode":"off"})");
  EXPECT_TRUE(settings().apps.empty());
  EXPECT_FALSE(saved());
}

// A change whose file a start would cut at 1 MiB (and so load as all
// defaults) is refused with a reason; memory and file stay as they were.
TEST_F(StateCommands, AChangeTheFileCouldNotHoldIsRefused) {
  ok("apps_set", R"({"exe":"notepad.exe","name":"Notepad","mode":"fast"})");
  const Settings before = settings();
  const std::string file_before = saved_text();
  const std::string huge(1'100'000, 'n');
  std::string shortcut;
  for (int i = 0; i < 200'000; ++i) shortcut += "Shift+";
  shortcut += "U";
  const std::pair<const char*, std::string> changes[] = {
      {"apps_set", Json{{"exe", "big.exe"}, {"name", huge}, {"mode", "zero"}}.dump()},
      {"apps_set", Json{{"exe", huge + ".exe"}, {"mode", "off"}}.dump()},
      {"settings_patch", Json{{"patch", {{"theme", "dark"}, {"fastKeys", {huge, "KeyC", "KeyX", "KeyZ"}}}}}.dump()},
  };
  for (const auto& [command, args] : changes) {
    SCOPED_TRACE(command);
    EXPECT_EQ(error(command, args), "the settings would not fit in settings.json (1 MiB at most)");
    EXPECT_EQ(settings(), before);
    EXPECT_EQ(saved_text(), file_before);
  }
  EXPECT_EQ(ok("hotkey_set", Json{{"accelerator", shortcut}}.dump()), (Json{{"ok", false}, {"reason", "invalid"}}));
  EXPECT_EQ(settings(), before);
  EXPECT_EQ(saved_text(), file_before);

  // Up to the limit a change is kept, and the next start reads it back.
  const std::size_t room = kSettingsReadLimit - file_before.size() - 200;
  ok("apps_set", Json{{"exe", "big.exe"}, {"name", std::string(room, 'n')}, {"mode", "zero"}}.dump());
  EXPECT_LE(saved_text().size(), kSettingsReadLimit);
  const LoadedSettings next_start = load_settings_file(t.ctx().settings_path);
  EXPECT_FALSE(next_start.file_rejected);
  EXPECT_EQ(next_start.settings.apps.size(), 2u);
}

// ---- onboarding and windows ----

TEST_F(StateCommands, OnboardingDoneHidesTheMainWindow) {
  desk.windows.add_window("main");
  edit_settings([](Settings& s) { s.hotkey = "Control+Alt+U"; });
  ok("onboarding_done");
  EXPECT_TRUE(settings().onboarded);
  EXPECT_EQ(saved_json()["onboarded"], true);
  EXPECT_EQ(desk.windows.calls_for("main"), (std::vector<fake::WindowCall>{{"hide", "main", "", ""}}));
  EXPECT_EQ(t.notices, (std::vector<ToastData>{notice(
                           "Harvel ishlayapti", "Tray’dagi ikonka orqali boshqaring. Ctrl+Alt+U — yoqish/o‘chirish.",
                           ToastKind::Info)}));
}

TEST_F(StateCommands, MainShowBringsTheWindowUpThenNavigates) {
  desk.windows.add_window("main", false);
  desk.windows.add_window("popup");
  ok("main_show", R"({"route":"/settings"})");
  EXPECT_EQ(desk.windows.calls_for("main"), (std::vector<fake::WindowCall>{{"unminimize", "main", "", ""},
                                                                         {"show", "main", "", ""},
                                                                         {"focus", "main", "", ""},
                                                                         {"emit", "main", "navigate", "\"/settings\""}}));
  EXPECT_TRUE(desk.windows.window("main")->visible);
  // The pop-up is closed on its own thread.
  EXPECT_TRUE(desk.windows.wait_for([](const auto& calls) {
    return std::find(calls.begin(), calls.end(), fake::WindowCall{"hide", "popup", "", ""}) != calls.end();
  }));

  desk.windows.clear_calls();
  ok("main_show", R"({"route":null})");
  ok("main_show");
  const std::vector<fake::WindowCall> plain{{"unminimize", "main", "", ""}, {"show", "main", "", ""},
                                            {"focus", "main", "", ""}};
  std::vector<fake::WindowCall> twice = plain;
  twice.insert(twice.end(), plain.begin(), plain.end());
  EXPECT_EQ(desk.windows.calls_for("main"), twice);
  EXPECT_TRUE(desk.windows.wait_for([](const auto& calls) {
    return std::count(calls.begin(), calls.end(), fake::WindowCall{"hide", "popup", "", ""}) == 2;
  }));
}

TEST_F(StateCommands, WindowCommandsWithoutTheWindowDoNothing) {
  show_main_window(t.app, "/lab");
  hide_main_window(t.app);
  EXPECT_TRUE(desk.windows.calls_for("main").empty());

  desk.windows.add_window("main");
  ok("hide_window");
  EXPECT_EQ(desk.windows.calls_for("main"), (std::vector<fake::WindowCall>{{"hide", "main", "", ""}}));
  EXPECT_FALSE(desk.windows.window("main")->visible);
}

TEST_F(StateCommands, PopupCloseHidesThePopup) {
  desk.windows.add_window("popup");
  popup_shown() = 1;
  ok("popup_close");
  EXPECT_TRUE(desk.windows.wait_for([](const auto& calls) {
    return calls == std::vector<fake::WindowCall>{{"hide", "popup", "", ""}};
  }));
  // The flag is cleared under the same lock just after the hide.
  for (int i = 0; i < 500 && popup_shown() != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(popup_shown(), 0);
  EXPECT_TRUE(desk.windows.window("popup").has_value());
}

TEST_F(StateCommands, ToastCloseRemovesTheToast) {
  desk.windows.add_window("toast");
  ok("toast_close");
  EXPECT_TRUE(desk.windows.wait_for([](const auto& calls) {
    return calls == std::vector<fake::WindowCall>{{"destroy", "toast", "", ""}};
  }));
}

// ---- links ----

TEST_F(StateCommands, OpenExternalOpensOnlyAllowedLinks) {
  struct Case {
    const char* url;
    bool opened;
  };
  const Case cases[] = {
      {"https://harvel.uz/guide", true},
      {"https://harvel.uz", true},
      {"https://harvel.uz/", true},
      {"https://harvel.uzx", true},  // a valid link by itself
      {"https://harvel.uz1", false},
      {"https://harvel.uz/a b", false},
      {" https://harvel.uz", false},
      {"https://harvel.uz/\t", false},
      {"https://harvel.uz/\u00A0x", false},
      {"https://harvel.uz/\u3000x", false},
      {"https://harvel.uz/\"onload", false},
      {"https://harvel.uz/\u0085", false},
      {"https://harvel.uz/\u007F", false},
      {"https://example.com:8080/path?q=1#top", true},
      {"https://EXAMPLE.com", true},
      {"http://example.com", false},
      {"javascript:alert(1)", false},
      {"file:///C:/Windows/notepad.exe", false},
      {"C:\\Windows\\notepad.exe", false},
      {"", false},
  };
  for (const Case& c : cases) {
    const std::size_t before = desk.shell.spawned().size();
    EXPECT_EQ(ok("open_external", Json{{"url", c.url}}.dump()), nullptr);
    const auto spawned = desk.shell.spawned();
    ASSERT_EQ(spawned.size(), before + (c.opened ? 1 : 0)) << c.url;
    if (c.opened) {
      EXPECT_EQ(spawned.back(), (os::CommandLine{"open-url", {c.url}}));
    }
  }
  const std::string long_path = "https://harvel.uz/" + std::string(2048 - 18, 'a');
  ok("open_external", Json{{"url", long_path}}.dump());
  ok("open_external", Json{{"url", long_path + "a"}}.dump());
  ASSERT_EQ(desk.shell.spawned().back().args.at(0), long_path);
  EXPECT_EQ(desk.shell.spawned().size(), 7u);
}

// ---- quitting ----

TEST_F(StateCommands, QuitSetsQuittingBeforeTheLoopEnds) {
  std::optional<bool> quitting_at_exit;
  desk.loop.on_exit_request = [&](int) { quitting_at_exit = t.ctx().quitting.load(); };
  EXPECT_EQ(ok("app_quit"), nullptr);
  EXPECT_EQ(quitting_at_exit, true);
  EXPECT_EQ(desk.loop.exits(), std::vector<int>{0});
  EXPECT_EQ(desk.loop.restarts(), 0);
}

TEST_F(StateCommands, RelaunchSetsQuittingBeforeTheRestart) {
  std::optional<bool> quitting_at_restart;
  desk.loop.on_restart = [&] { quitting_at_restart = t.ctx().quitting.load(); };
  EXPECT_EQ(ok("app_relaunch"), nullptr);
  EXPECT_EQ(quitting_at_restart, true);
  EXPECT_EQ(desk.loop.restarts(), 1);
  EXPECT_TRUE(desk.loop.exits().empty());
}

}  // namespace
}  // namespace harvel
