#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "core/state.h"
#include "keyboard/hook_flags.h"
#include "keyboard/hook_thread.h"
#include "support/test_app.h"

namespace harvel {
namespace {

using namespace std::chrono_literals;
using testing::TestApp;

std::optional<uint32_t> hook_thread_id(Ctx& ctx) {
  return ctx.hook_thread.with([](const std::optional<HookThread>& r) -> std::optional<uint32_t> {
    if (!r) return std::nullopt;
    return r->thread_id;
  });
}

// Ends the hook thread's loop from outside and waits until it is dead.
void kill_hook_thread(TestApp& t) {
  const auto id = hook_thread_id(t.ctx());
  ASSERT_TRUE(id);
  t.hook.kill(*id);
  for (int i = 0; i < 200; ++i) {
    const bool dead = t.ctx().hook_thread.with([](const std::optional<HookThread>& r) { return !r->running->load(); });
    if (dead) return;
    std::this_thread::sleep_for(5ms);
  }
  FAIL() << "the hook thread did not end";
}

std::vector<std::string> notice_bodies(const TestApp& t) {
  std::vector<std::string> out;
  for (const ToastData& n : t.notices) out.push_back(n.title + " / " + n.body);
  return out;
}

TEST(HookStarter, StartsPublishesAndStops) {
  Settings s = default_settings();
  s.mode = kModeZero;
  s.hybrid_key = "f24";
  s.fast_keys = {"KeyQ", "KeyX", "Backslash", "Quote"};
  s.apps = {{"Word", "winword.exe", kModeOff}};
  TestApp t(s);
  t.ctx().hook_error.set(std::string("old"));

  start_keyboard_hook_thread(t.app);
  EXPECT_EQ(hook_status(t.app), HookStatus::On);
  EXPECT_EQ(t.ctx().hook_error.copy(), std::nullopt);
  EXPECT_EQ(t.hook.live_threads().size(), 1u);
  HookFlags& f = hook_flags();
  EXPECT_EQ(f.mode, kModeZero);
  EXPECT_EQ(f.active, 1);
  EXPECT_EQ(f.hybrid_index, 21u);
  EXPECT_EQ(f.fast_indices[0], 4u);
  EXPECT_EQ(f.fast_indices[3], 9u);
  ASSERT_EQ(f.app_rules.rules.size(), 1u);
  EXPECT_EQ(f.app_rules.rules[0].exe, "winword.exe");

  // A second start with the hook running changes only the flags.
  s.mode = kModeFast;
  t.set_settings(s);
  const auto id = hook_thread_id(t.ctx());
  start_keyboard_hook_thread(t.app);
  EXPECT_EQ(hook_thread_id(t.ctx()), id);
  EXPECT_EQ(f.mode, kModeFast);

  // Nothing to do: the thread is told to quit and ends; no error is left.
  s.mode = kModeEnglish;
  s.apps.clear();
  t.set_settings(s);
  start_keyboard_hook_thread(t.app);
  EXPECT_EQ(hook_status(t.app), HookStatus::Off);
  EXPECT_TRUE(t.hook.live_threads().empty());
  EXPECT_EQ(t.hook.uninstalls(), 1);
  EXPECT_EQ(t.ctx().hook_error.copy(), std::nullopt);
}

TEST(HookStarter, RefusedHookIsRecorded) {
  TestApp t;
  t.hook.set_refuse(true);
  start_keyboard_hook_thread(t.app);
  EXPECT_EQ(hook_status(t.app), HookStatus::Error);
  EXPECT_EQ(t.ctx().hook_error.copy(), std::string(kHookRefused));
  EXPECT_FALSE(hook_thread_id(t.ctx()));
}

// A hook whose calls fail with an exception, before or after its report.
class ThrowingHook final : public os::KeyboardHook {
 public:
  explicit ThrowingHook(bool in_loop) : in_loop_(in_loop) {}
  std::optional<uintptr_t> install() override {
    if (!in_loop_) throw std::runtime_error("install failed");
    return 1;
  }
  void uninstall(uintptr_t) override {}
  uint32_t current_thread_id() override { return 77; }
  void run_message_loop() override { throw std::runtime_error("loop failed"); }
  void post_quit(uint32_t) override {}

 private:
  bool in_loop_;
};

TEST(HookStarter, HookThreadFailingBeforeItsReportIsNotStarted) {
  TestApp t;
  ThrowingHook hook(false);
  os::Platform p = os::platform();
  p.hook = &hook;
  os::install_platform(p);
  start_keyboard_hook_thread(t.app);  // returns: the wait ends with the thread
  EXPECT_EQ(t.ctx().hook_error.copy(), std::string(kHookNotStarted));
  EXPECT_FALSE(hook_thread_id(t.ctx()));
  EXPECT_EQ(hook_status(t.app), HookStatus::Error);
}

TEST(HookStarter, HookThreadFailingInItsLoopEndsAsDead) {
  TestApp t;
  ThrowingHook hook(true);
  os::Platform p = os::platform();
  p.hook = &hook;
  os::install_platform(p);
  start_keyboard_hook_thread(t.app);
  EXPECT_EQ(hook_thread_id(t.ctx()), 77u);
  EXPECT_EQ(t.ctx().hook_error.copy(), std::nullopt);
  bool dead = false;
  for (int i = 0; i < 200 && !dead; ++i) {
    dead = t.ctx().hook_thread.with([](const std::optional<HookThread>& r) { return !r->running->load(); });
    if (!dead) std::this_thread::sleep_for(5ms);
  }
  EXPECT_TRUE(dead);
  EXPECT_EQ(hook_status(t.app), HookStatus::Error);
}

TEST(HookStarter, RemoteDisableSwitchesTheHookOff) {
  TestApp t;
  hook_flags().remote_disabled = 1;
  start_keyboard_hook_thread(t.app);
  EXPECT_EQ(hook_flags().active, 0);
  EXPECT_EQ(hook_status(t.app), HookStatus::Off);
}

TEST(HookSupervisor, RestartsOnceThenGivesUp) {
  TestApp t;
  start_keyboard_hook_thread(t.app);
  HookSupervisor sup(t.app);
  t.sys.advance(5s);
  sup.tick();  // first tick, hook on: a broadcast, no notice
  EXPECT_TRUE(t.notices.empty());
  EXPECT_EQ(t.sys.emitted().size(), 1u);

  kill_hook_thread(t);
  t.sys.advance(5s);
  sup.tick();  // dead: restarted at once, and the restart works
  EXPECT_EQ(hook_status(t.app), HookStatus::On);
  EXPECT_EQ(t.ctx().hook_error.copy(), std::nullopt);
  EXPECT_TRUE(t.notices.empty());

  kill_hook_thread(t);
  t.sys.advance(5s);
  sup.tick();  // dead again within 60 s: give up
  EXPECT_EQ(hook_status(t.app), HookStatus::Error);
  EXPECT_EQ(t.ctx().hook_error.copy(), std::string(kHookDiedAgain));
  EXPECT_EQ(notice_bodies(t), (std::vector<std::string>{
                                  "Klaviatura kuzatuvi to\u2018xtadi / Yozganingiz o\u2018zgarmaydi. Qayta ishga "
                                  "tushirib ko\u2018ring."}));

  t.sys.advance(5s);
  sup.tick();  // still given up: no restart, no new notice
  EXPECT_EQ(hook_status(t.app), HookStatus::Error);
  EXPECT_EQ(t.notices.size(), 1u);

  // Something calls the starter again (the retry command): the hook is back.
  start_keyboard_hook_thread(t.app);
  t.sys.advance(5s);
  sup.tick();
  EXPECT_EQ(t.notices.back(), (ToastData{"Klaviatura kuzatuvi tiklandi", "Harvel yana ishlayapti", ToastKind::Ok}));
}

TEST(HookSupervisor, RestartsAgainAfterSixtyQuietSeconds) {
  TestApp t;
  start_keyboard_hook_thread(t.app);
  HookSupervisor sup(t.app);
  kill_hook_thread(t);
  t.sys.advance(5s);
  sup.tick();
  EXPECT_EQ(hook_status(t.app), HookStatus::On);
  for (int i = 0; i < 13; ++i) {  // 65 s of a healthy hook re-arms the one restart
    t.sys.advance(5s);
    sup.tick();
  }
  kill_hook_thread(t);
  t.sys.advance(5s);
  sup.tick();
  EXPECT_EQ(hook_status(t.app), HookStatus::On);
  EXPECT_TRUE(t.notices.empty());
}

TEST(HookSupervisor, FailedStartIsRetriedOnceWithNotices) {
  TestApp t;
  t.hook.set_refuse(true);
  start_keyboard_hook_thread(t.app);
  HookSupervisor sup(t.app);
  t.sys.advance(5s);
  sup.tick();  // retried once, still refused: the first tick shows the error
  EXPECT_EQ(notice_bodies(t), (std::vector<std::string>{"Klaviatura kuzatuvi to\u2018xtadi / Qayta ulanmoqda\u2026"}));

  t.hook.set_refuse(false);
  t.sys.advance(5s);
  sup.tick();  // the one retry is spent: nothing changes
  EXPECT_EQ(hook_status(t.app), HookStatus::Error);
  EXPECT_EQ(t.notices.size(), 1u);
}

TEST(HookSupervisor, ReinstallsAfterASleepGap) {
  TestApp t;
  start_keyboard_hook_thread(t.app);
  HookSupervisor sup(t.app);
  t.sys.advance(5s);
  sup.tick();
  const auto before = hook_thread_id(t.ctx());
  t.sys.advance(31s);
  sup.tick();
  EXPECT_EQ(hook_status(t.app), HookStatus::On);
  EXPECT_NE(hook_thread_id(t.ctx()), before);
  EXPECT_EQ(t.hook.installs(), 2);
  EXPECT_EQ(t.ctx().hook_error.copy(), std::nullopt);
  EXPECT_TRUE(t.notices.empty());
}

}  // namespace
}  // namespace harvel
