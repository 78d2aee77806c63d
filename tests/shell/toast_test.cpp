#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "shell/command_fixture.h"
#include "shell/toast.h"

namespace harvel {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

os::MonitorInfo monitor(os::Rect rect, double scale, bool primary) {
  os::MonitorInfo m;
  m.rect = rect;
  m.work_area = rect;
  m.scale_factor = scale;
  m.primary = primary;
  return m;
}

class Toasts : public testing::CommandFixture {
 protected:
  Toasts() { desk.monitors.set({monitor({0, 0, 1920, 1080}, 1.0, true)}); }
  ~Toasts() override {
    finish_toast_threads();
    set_toast_times(ToastTimes{});
  }

  // Waits for the n-th call `op` on the toast window and returns when the
  // wait ended.
  Clock::time_point wait_op(std::string_view op, int n, std::chrono::milliseconds timeout = 6s) {
    EXPECT_TRUE(desk.windows.wait_for(
        [&](const std::vector<fake::WindowCall>& calls) {
          int seen = 0;
          for (const fake::WindowCall& c : calls) seen += c.label == "toast" && c.op == op ? 1 : 0;
          return seen >= n;
        },
        timeout))
        << op << " #" << n;
    return Clock::now();
  }

  std::vector<std::string> toast_ops() {
    std::vector<std::string> ops;
    for (const fake::WindowCall& c : desk.windows.calls_for("toast")) ops.push_back(c.op);
    return ops;
  }

  std::string script_of_current_toast() {
    const auto w = desk.windows.window("toast");
    return w ? w->spec.start_script : std::string();
  }
};

// ---- placement ----

TEST(ToastPlacement, BottomRightPosition) {
  struct Case {
    os::Rect rect;
    double scale;
    double box_width;
    double box_height;
    LogicalPoint expected;
  };
  const Case cases[] = {
      {{0, 0, 1920, 1080}, 1.0, 400, 96, {1504, 920}},
      {{0, 0, 1920, 1080}, 1.5, 400, 96, {864, 560}},
      {{0, 0, 2560, 1440}, 1.25, 400, 96, {1632, 992}},
      {{1920, 0, 2560, 1440}, 1.0, 400, 96, {4064, 1280}},
      {{-1280, -200, 1280, 1024}, 1.0, 400, 96, {-416, 664}},
      {{0, 0, 1920, 1080}, 1.0, 360, 300, {1544, 716}},  // the tray pop-up's box
      {{0, 0, 1366, 768}, 1.5, 400, 96, {1366 / 1.5 - 400.0 - 16.0, 352}},  // no rounding
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bottom_right_position(c.rect, c.scale, c.box_width, c.box_height), c.expected)
        << c.rect.x << "," << c.rect.y << " " << c.rect.width << "x" << c.rect.height << " @" << c.scale;
  }
}

TEST_F(Toasts, PlacedOnThePrimaryMonitorElseAt100) {
  EXPECT_EQ(toast_position(), (LogicalPoint{1504, 920}));
  desk.monitors.set({monitor({0, 0, 1920, 1080}, 1.0, false), monitor({1920, 0, 1920, 1080}, 1.5, true)});
  EXPECT_EQ(toast_position(), (LogicalPoint{3840 / 1.5 - 416, 560}));
  desk.monitors.set({monitor({0, 0, 1920, 1080}, 1.0, false)});
  EXPECT_EQ(toast_position(), (LogicalPoint{100, 100}));
  desk.monitors.set({});
  EXPECT_EQ(toast_position(), (LogicalPoint{100, 100}));
}

// ---- the notice record and the start script ----

TEST(ToastData, KindsAndJson) {
  const char* names[] = {"info", "off", "warn", "ok", "error"};
  for (uint8_t k = 0; k < 5; ++k) EXPECT_STREQ(toast_kind_name(static_cast<ToastKind>(k)), names[k]);
  EXPECT_STREQ(toast_kind_name(static_cast<ToastKind>(7)), "info");
  EXPECT_STREQ(toast_kind_name(static_cast<ToastKind>(255)), "info");

  const ToastData d = toast_data_new("Sarlavha", "Matn", 2);
  EXPECT_EQ(d, (ToastData{"Sarlavha", "Matn", ToastKind::Warn}));
  EXPECT_EQ(toast_json(d), R"({"title":"Sarlavha","body":"Matn","kind":"warn"})");
  EXPECT_EQ(toast_json(toast_data_new("a", "b", 7)), R"({"title":"a","body":"b","kind":"info"})");
  EXPECT_EQ(toast_json(toast_data_new("o\u2018zbek", "", 3)), "{\"title\":\"o\u2018zbek\",\"body\":\"\",\"kind\":\"ok\"}");
  // Text that is not UTF-8 cannot be serialised: the view gets its defaults.
  EXPECT_EQ(toast_json(toast_data_new("bad \xC3", "b", 0)), "{}");
}

TEST(ToastData, StartScriptKeepsHostileTextAsData) {
  const std::string title = "He said \"hi\"\n</script><script>alert(1)</script>\\ \u2028\u2029 ';location='x";
  const ToastData d = toast_data_new(title, "line 1\r\nline 2\t\x01", 4);
  const std::string json = toast_json(d);
  const std::string script = toast_start_script(json);

  const std::string head = "window.__toast = ";
  const std::string tail = "; if (!location.hash.startsWith('#/toast')) location.hash = '#/toast';";
  ASSERT_TRUE(script.starts_with(head)) << script;
  ASSERT_TRUE(script.ends_with(tail)) << script;
  EXPECT_EQ(script.substr(head.size(), script.size() - head.size() - tail.size()), json);

  // One line, one string literal per text, nothing that ends a script element.
  EXPECT_EQ(json.find('\n'), std::string::npos);
  EXPECT_EQ(json.find('\r'), std::string::npos);
  EXPECT_EQ(json.find('<'), std::string::npos);
  EXPECT_EQ(json.find("\u2028"), std::string::npos);
  EXPECT_EQ(json.find("\u2029"), std::string::npos);
  EXPECT_NE(json.find(R"(He said \"hi\"\n\u003c/script>)"), std::string::npos) << json;

  // The page gets exactly the notice back.
  const Json parsed = Json::parse(json);
  EXPECT_EQ(parsed.dump(), R"({"title":)" + Json(title).dump() + R"(,"body":)" +
                               Json(std::string("line 1\r\nline 2\t\x01")).dump() + R"(,"kind":"error"})");
  EXPECT_EQ(parsed["title"], title);

  EXPECT_EQ(toast_start_script("{}"),
            "window.__toast = {}; if (!location.hash.startsWith('#/toast')) location.hash = '#/toast';");
}

// ---- the window ----

TEST_F(Toasts, ShowsTheWindowAtTheBottomRight) {
  post_notice(t.app, "Fast rejimi yoqildi", "Matn", ToastKind::Info);
  // The notice handler sees it at once; the window comes on its own thread.
  EXPECT_EQ(t.notices, (std::vector<ToastData>{{"Fast rejimi yoqildi", "Matn", ToastKind::Info}}));
  wait_op("create", 1);
  const auto w = desk.windows.window("toast");
  ASSERT_TRUE(w.has_value());
  const os::WindowSpec& s = w->spec;
  EXPECT_EQ(s.label, "toast");
  EXPECT_EQ(s.url, "index.html");
  EXPECT_EQ(s.width, 400);
  EXPECT_EQ(s.height, 96);
  EXPECT_EQ(s.x, 1504.0);
  EXPECT_EQ(s.y, 920.0);
  EXPECT_TRUE(s.visible);
  EXPECT_TRUE(s.frameless);
  EXPECT_TRUE(s.transparent);
  EXPECT_FALSE(s.resizable);
  EXPECT_FALSE(s.focus);
  EXPECT_EQ(s.start_script,
            toast_start_script(R"({"title":"Fast rejimi yoqildi","body":"Matn","kind":"info"})"));
  EXPECT_TRUE(w->visible);
  EXPECT_FALSE(w->focused);
}

TEST_F(Toasts, ScaledMonitorAndNoMonitor) {
  desk.monitors.set({monitor({0, 0, 1920, 1080}, 1.5, true)});
  post_notice(t.app, toast_data_new("a", "b", 0));
  wait_op("create", 1);
  EXPECT_EQ(desk.windows.window("toast")->spec.x, 864.0);
  EXPECT_EQ(desk.windows.window("toast")->spec.y, 560.0);

  desk.monitors.set({});
  post_notice(t.app, toast_data_new("c", "d", 1));
  wait_op("create", 2);
  EXPECT_EQ(desk.windows.window("toast")->spec.x, 100.0);
  EXPECT_EQ(desk.windows.window("toast")->spec.y, 100.0);
}

// Two toasts 1 s apart with the real times: the first window goes when the
// second is created, and the second stays its full 3.2 s.
TEST_F(Toasts, ANewerToastReplacesTheOldAndKeepsItsWindow) {
  EXPECT_EQ(ToastTimes{}.life, 3200ms);
  EXPECT_EQ(ToastTimes{}.replace_pause, 60ms);
  post_notice(t.app, "first", "", ToastKind::Info);
  const auto first = wait_op("create", 1);
  std::this_thread::sleep_until(first + 1s);
  post_notice(t.app, "second", "", ToastKind::Ok);
  const auto second = wait_op("create", 2);
  EXPECT_EQ(toast_ops(), (std::vector<std::string>{"create", "destroy", "create"}));
  EXPECT_NE(script_of_current_toast().find("\"second\""), std::string::npos);

  const auto gone = wait_op("destroy", 2);
  EXPECT_GE(gone - second, 3200ms - 50ms) << "the first toast's expiry must not remove the second";
  EXPECT_LT(gone - second, 3200ms + 1500ms);
  EXPECT_EQ(toast_ops(), (std::vector<std::string>{"create", "destroy", "create", "destroy"}));
  EXPECT_FALSE(desk.windows.window("toast").has_value());
}

TEST_F(Toasts, ACloseRemovesTheToastAndTheNextOneLivesItsFullTime) {
  set_toast_times({1000ms, 60ms});
  post_notice(t.app, "first", "", ToastKind::Info);
  const auto first = wait_op("create", 1);
  std::this_thread::sleep_until(first + 200ms);
  hide_toast_window(t.app);  // the body of "toast_close"
  EXPECT_EQ(toast_ops(), (std::vector<std::string>{"create", "destroy"}));
  EXPECT_FALSE(desk.windows.window("toast").has_value());

  std::this_thread::sleep_until(first + 400ms);
  post_notice(t.app, "next", "", ToastKind::Info);
  const auto next = wait_op("create", 2);
  // No window to replace: no destroy before the creation.
  EXPECT_EQ(toast_ops(), (std::vector<std::string>{"create", "destroy", "create"}));
  const auto gone = wait_op("destroy", 2, 4s);
  EXPECT_GE(gone - next, 1000ms - 50ms) << "the closed toast's expiry must not remove the next one";
  EXPECT_EQ(toast_ops(), (std::vector<std::string>{"create", "destroy", "create", "destroy"}));
}

// The event-loop thread asks for toasts too, while a toast thread may be
// holding the toast lock and waiting for that loop to create its window:
// asking must never wait for the lock.
TEST_F(Toasts, AskingNeverWaitsForAWindowBeingCreated) {
  std::promise<void> release;
  const std::shared_future<void> released = release.get_future().share();
  std::atomic<int> creations{0};
  desk.windows.on_create = [&](const os::WindowSpec&) {
    if (creations++ == 0) released.wait_for(5s);
  };
  post_notice(t.app, "first", "", ToastKind::Info);
  for (int i = 0; i < 2000 && creations == 0; ++i) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(creations, 1);
  const auto before = Clock::now();
  post_notice(t.app, "second", "", ToastKind::Info);
  EXPECT_LT(Clock::now() - before, 1s);
  release.set_value();
  wait_op("create", 2);
  EXPECT_EQ(toast_ops(), (std::vector<std::string>{"create", "destroy", "create"}));
  EXPECT_NE(script_of_current_toast().find("\"second\""), std::string::npos);
  finish_toast_threads();
  desk.windows.on_create = nullptr;
}

TEST_F(Toasts, ACloseWithoutAToastDoesNothingElse) {
  hide_toast_window(t.app);
  EXPECT_TRUE(desk.windows.calls_for("toast").empty());
}

TEST_F(Toasts, AFailedCreationShowsAndReportsNothing) {
  set_toast_times({200ms, 60ms});
  desk.windows.fail_create("toast");
  post_notice(t.app, "a", "b", ToastKind::Info);
  wait_op("create", 1);
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(toast_ops(), (std::vector<std::string>{"create"}));
}

TEST_F(Toasts, ManyToastsAtOnceLeaveOneWindow) {
  set_toast_times({1000ms, 5ms});
  for (int i = 0; i < 8; ++i) post_notice(t.app, std::to_string(i), "", ToastKind::Info);
  wait_op("create", 8);
  const auto ops = toast_ops();
  // Each creation but the first followed the removal of the one before.
  EXPECT_EQ(ops.size(), 15u);
  for (std::size_t i = 0; i < ops.size(); ++i) EXPECT_EQ(ops[i], i % 2 == 0 ? "create" : "destroy") << i;
  wait_op("destroy", 8, 3s);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(toast_ops().size(), 16u);
  EXPECT_FALSE(desk.windows.window("toast").has_value());
}

TEST(ToastWithoutWindows, OnlyTheNoticeHandlerSeesIt) {
  testing::TestApp t;  // the fake system has no windows
  post_notice(t.app, "a", "b", ToastKind::Warn);
  finish_toast_threads();
  EXPECT_EQ(t.notices, (std::vector<ToastData>{{"a", "b", ToastKind::Warn}}));
}

}  // namespace
}  // namespace harvel
