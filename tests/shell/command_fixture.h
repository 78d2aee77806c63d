// An application on the fake system and the fake desktop, driven through the
// command dispatcher the way the pages drive it.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "app/accelerator.h"
#include "core/records.h"
#include "platform/fake/fake_desktop.h"
#include "shell/commands.h"
#include "support/test_app.h"

namespace harvel::testing {

struct CallAnswer {
  bool handled = false;
  bool answered = false;
  os::CommandResult result;
};

class CommandFixture : public ::testing::Test {
 protected:
  explicit CommandFixture(Settings settings = default_settings()) : t(std::move(settings)) {
    os::Platform p = t.sys.platform();
    p.hook = &t.hook;
    desk.add_to(p);
    os::install_platform(p);
  }

  // Calls a command and waits (for the pool commands) for its one answer.
  CallAnswer call(std::string_view name, std::string_view args = "{}") {
    auto promise = std::make_shared<std::promise<os::CommandResult>>();
    auto replies = std::make_shared<std::atomic<int>>(0);
    CallAnswer a;
    a.handled = invoke_handler(t.app, "main", name, args, [promise, replies](os::CommandResult r) {
      if (replies->fetch_add(1) == 0) promise->set_value(std::move(r));
    });
    if (!a.handled) {
      EXPECT_EQ(replies->load(), 0) << name << ": a call that is not handled is never answered";
      return a;
    }
    auto future = promise->get_future();
    if (future.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
      ADD_FAILURE() << name << ": no answer";
      return a;
    }
    a.answered = true;
    a.result = future.get();
    EXPECT_EQ(replies->load(), 1) << name << ": answered more than once";
    return a;
  }

  // The JSON answer of a call that must succeed.
  Json ok(std::string_view name, std::string_view args = "{}") {
    const CallAnswer a = call(name, args);
    EXPECT_TRUE(a.handled && a.answered && a.result.ok) << name << " " << args << ": " << a.result.text;
    if (!a.result.ok) return nullptr;
    return Json::parse(a.result.text);
  }

  // The error text of a call that must fail.
  std::string error(std::string_view name, std::string_view args) {
    const CallAnswer a = call(name, args);
    EXPECT_TRUE(a.handled && a.answered && !a.result.ok) << name << " " << args << ": " << a.result.text;
    return a.result.text;
  }

  Settings settings() { return t.ctx().settings.copy(); }
  void edit_settings(const std::function<void(Settings&)>& f) { t.ctx().settings.with(f); }

  bool saved() { return std::filesystem::exists(t.ctx().settings_path); }
  // The settings as written to "settings.json".
  Json saved_json() {
    std::ifstream in(t.ctx().settings_path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return Json::parse(text.str());
  }
  std::string saved_text() {
    std::ifstream in(t.ctx().settings_path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  int broadcasts() {
    int n = 0;
    for (const auto& [event, payload] : t.sys.emitted()) n += event == "state-changed" ? 1 : 0;
    return n;
  }
  // The settings carried by the last "state-changed".
  Json last_broadcast_settings() {
    Json last;
    for (const auto& [event, payload] : t.sys.emitted()) {
      if (event == "state-changed") last = Json::parse(payload)["settings"];
    }
    return last;
  }

  static os::Hotkey key(std::string_view accelerator) { return parse_accelerator(accelerator).value(); }

  // Declared first so that it outlives the application's platform.
  fake::FakeDesktop desk;
  TestApp t;
};

}  // namespace harvel::testing
