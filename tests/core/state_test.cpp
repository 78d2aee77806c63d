#include <gtest/gtest.h>

#include "core/state.h"
#include "keyboard/hook_flags.h"
#include "online/ads.h"
#include "shell/app_info.h"
#include "support/test_app.h"

namespace harvel {
namespace {

using testing::TestApp;

// Puts a hook-thread record in the state without a thread behind it.
void fake_running_hook(Ctx& ctx, bool running) {
  ctx.hook_thread.set(HookThread{std::thread{}, std::make_shared<std::atomic<bool>>(running), 7});
}

TEST(Snapshot, DefaultStateSerialisesCompletely) {
  TestApp t;
  const std::string json = serialize_snapshot(build_state_snapshot(t.app)).dump();
  EXPECT_EQ(json,
            R"({"settings":{"mode":"hybrid","enabled":true,"hotkey":"Control+Shift+U","startup":false,)"
            R"("theme":"system","offers":true,"hybridKey":"ralt","fastKeys":{"sh":"KeyW","ch":"KeyC",)"
            R"("o":"BracketLeft","g":"BracketRight"},"onboarded":false,"checker":false,"checkerToast":false,)"
            R"("apps":[],"siteUrl":"https://harvel.uz"},"hook":"error","hookError":null,"hotkeyOk":false,)"
            R"("killSwitch":{"active":false,"message":null},"update":{"phase":"idle","latest":null,)"
            R"("sizeMb":null,"pct":0,"checkedAt":0,"outdated":false,"portable":true,"portableUrl":null,)"
            R"("sigConfigured":true,"error":null},"currentApp":null,"ads":{"slot":"desktop.about",)"
            R"("campaign":null,"top":null,"home":null,"side":null},"layout":{"compatible":true,)"
            R"j("name":"English (US)","reason":null},"version":"0.1.7","platform":"win32"})j");
}

struct HookCase {
  const char* name;
  bool enabled;
  Mode mode;
  bool checker;
  std::vector<Mode> rule_modes;
  bool remote_disabled;
  std::optional<bool> hook_running;  // none: no record
  const char* expected;
};

TEST(Snapshot, HookStatus) {
  const HookCase cases[] = {
      {"off when switched off", false, kModeHybrid, false, {}, false, std::nullopt, "off"},
      {"off when stopped even if the thread record says dead", false, kModeHybrid, false, {}, false, false, "off"},
      {"english with idle rules", true, kModeEnglish, false, {kModeEnglish, kModeOff}, false, std::nullopt, "off"},
      {"english but a converting rule", true, kModeEnglish, false, {kModeOff, kModeZero}, false, std::nullopt, "error"},
      {"english but the checker", true, kModeEnglish, true, {}, false, std::nullopt, "error"},
      {"hybrid without a hook", true, kModeHybrid, false, {}, false, std::nullopt, "error"},
      {"hybrid with a dead hook", true, kModeHybrid, false, {}, false, false, "error"},
      {"hybrid with a running hook", true, kModeHybrid, false, {}, false, true, "on"},
      {"remotely disabled", true, kModeHybrid, false, {}, true, std::nullopt, "off"},
  };
  for (const HookCase& c : cases) {
    SCOPED_TRACE(c.name);
    Settings s = default_settings();
    s.enabled = c.enabled;
    s.mode = c.mode;
    s.checker = c.checker;
    for (Mode m : c.rule_modes) s.apps.push_back({"X", "x.exe", m});
    TestApp t(s);
    hook_flags().remote_disabled = c.remote_disabled;
    if (c.hook_running) fake_running_hook(t.ctx(), *c.hook_running);
    EXPECT_STREQ(hook_status_name(hook_status(t.app)), c.expected);
    EXPECT_EQ(serialize_snapshot(build_state_snapshot(t.app))["hook"], c.expected);
    if (c.hook_running) t.ctx().hook_thread.set(std::nullopt);
  }
}

TEST(Snapshot, KillSwitchAndHookError) {
  TestApp t;
  t.ctx().remote_disable_message.set(std::string());
  t.ctx().hook_error.set(std::string("Windows klaviatura ulanishiga ruxsat bermadi."));
  const Json j = serialize_snapshot(build_state_snapshot(t.app));
  EXPECT_EQ(j["killSwitch"].dump(), R"({"active":true,"message":""})");
  EXPECT_EQ(j["hookError"], "Windows klaviatura ulanishiga ruxsat bermadi.");

  t.ctx().remote_disable_message.set(std::string("Vaqtincha to\u2018xtatildi"));
  EXPECT_EQ(serialize_snapshot(build_state_snapshot(t.app))["killSwitch"]["message"], "Vaqtincha to\u2018xtatildi");
}

TEST(Snapshot, CurrentAppUsesTheRuleOrTheExeName) {
  Settings s = default_settings();
  s.apps = {{"Microsoft Word", "winword.exe", kModeOff}};
  TestApp t(s);

  t.ctx().foreground_exe.set("winword.exe");
  EXPECT_EQ(serialize_snapshot(build_state_snapshot(t.app))["currentApp"].dump(),
            R"({"exe":"winword.exe","name":"Microsoft Word","mode":"off"})");

  t.ctx().foreground_exe.set("notepad.exe");
  EXPECT_EQ(serialize_snapshot(build_state_snapshot(t.app))["currentApp"].dump(),
            R"({"exe":"notepad.exe","name":"Notepad","mode":null})");
}

TEST(Snapshot, BroadcastReachesEveryViewAndSchedulesTheTray) {
  TestApp t;
  emit_state_changed(t.app);
  const auto events = t.sys.emitted();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].first, "state-changed");
  EXPECT_EQ(events[0].second, serialize_snapshot(build_state_snapshot(t.app)).dump());
  EXPECT_EQ(t.sys.run_posted(), 1);  // the tray refresh
}

TEST(Records, OptionalKeysAreLeftOut) {
  AdCard card{"c1", "Kurs", "Yangi kurs", "https://harvel.uz/k", "Reklama", std::nullopt, std::nullopt, std::nullopt};
  EXPECT_EQ(to_json(card).dump(), R"({"id":"c1","title":"Kurs","text":"Yangi kurs","url":"https://harvel.uz/k","label":"Reklama"})");
  card.theme = "green";
  card.video = "/v.mp4";
  EXPECT_EQ(to_json(card).dump(),
            R"({"id":"c1","title":"Kurs","text":"Yangi kurs","url":"https://harvel.uz/k","label":"Reklama",)"
            R"("theme":"green","video":"/v.mp4"})");

  AppInfo app{"a.exe", "A", std::nullopt, "data:image/png;base64,AA=="};
  EXPECT_EQ(to_json(app).dump(), R"({"exe":"a.exe","name":"A","mode":null,"icon":"data:image/png;base64,AA=="})");

  UpdateInfo u;
  u.error = UpdateError::Integrity;
  u.phase = UpdatePhase::Error;
  EXPECT_EQ(to_json(u)["error"], "integrity");
  EXPECT_EQ(to_json(u)["phase"], "error");
}

TEST(Records, AdsWithoutAUsableCacheAreAllNull) {
  const std::string all_null = R"({"slot":"desktop.about","campaign":null,"top":null,"home":null,"side":null})";
  const int64_t now = 1'700'000'000'000;
  const Cache fresh{static_cast<uint64_t>(now - 1000), "{}", false};
  EXPECT_EQ(to_json(build_ads_info(std::nullopt, true, now)).dump(), all_null);
  EXPECT_EQ(to_json(build_ads_info(fresh, false, now)).dump(), all_null);
  Cache hidden = fresh;
  hidden.hidden = true;
  EXPECT_FALSE(ads_cache_card_for_placement(hidden, true, now, "desktop.top"));
  Cache stale = fresh;
  stale.fetched_at = static_cast<uint64_t>(now - kAdsCacheMaxAgeMs - 1);
  EXPECT_FALSE(ads_cache_card_for_placement(stale, true, now, "desktop.top"));
}

TEST(AppNames, ExeDisplayName) {
  const std::pair<const char*, const char*> cases[] = {
      {"notepad.exe", "Notepad"},
      {"a.exe.exe", "A"},
      {"App.EXE", "App.EXE"},          // the suffix is case-sensitive
      {"\u00DFtool.exe", "SStool"},    // full upper-case mapping of the first character
      {"\u015Fahar.exe", "\u015Eahar"},
      {".exe", ""},
      {"", ""},
  };
  for (const auto& [exe, name] : cases) EXPECT_EQ(exe_display_name(exe), name) << exe;
}

}  // namespace
}  // namespace harvel
