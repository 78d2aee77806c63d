// The Windows application shell on the real system: the event loop of the
// message-only window, the single instance across processes, a restart, a
// close request, the global shortcut and the message box.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/win32_app.h"
#include "platform/win32/win32_dialogs.h"
#include "support/test_app.h"
#include "win32/desktop.h"

#include <knownfolders.h>
#include <shlobj.h>

namespace harvel {
namespace {

using namespace win32test;
using win32::Win32Application;

// Ends a loop that has not ended by itself within `timeout` with code 99.
class LoopGuard {
 public:
  LoopGuard(Win32Application& app, std::chrono::milliseconds timeout)
      : thread_([this, &app, timeout] {
          std::unique_lock lock(mutex_);
          if (!cv_.wait_for(lock, timeout, [this] { return done_; })) app.exit(99);
        }) {}
  ~LoopGuard() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

std::filesystem::path local_app_data() {
  PWSTR path = nullptr;
  std::filesystem::path result;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path))) result = path;
  CoTaskMemFree(path);
  return result;
}

std::string unique_identifier(std::string_view what) {
  return "uz.harvel.desktop.test-" + std::string(what) + "-" + std::to_string(GetCurrentProcessId());
}

TEST(Win32EventLoop, TasksRunOnTheLoopThreadInOrderThenExit) {
  Win32Application app;
  ASSERT_TRUE(app.valid());
  const DWORD loop_thread = GetCurrentThreadId();
  std::vector<std::vector<int>> seen(3);
  bool all_on_loop_thread = true;
  std::vector<std::thread> posters;
  for (int t = 0; t < 3; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        app.post([&, t, i] {
          all_on_loop_thread = all_on_loop_thread && GetCurrentThreadId() == loop_thread;
          seen[t].push_back(i);
          if (seen[0].size() + seen[1].size() + seen[2].size() == 600) app.exit(7);
        });
      }
    });
  }
  bool exit_ran_on_loop_thread = false;
  int code = 0;
  {
    LoopGuard guard(app, kEventWait);
    code = app.run([&] { exit_ran_on_loop_thread = GetCurrentThreadId() == loop_thread; });
  }
  for (auto& p : posters) p.join();
  EXPECT_EQ(code, 7);
  EXPECT_TRUE(all_on_loop_thread);
  EXPECT_TRUE(exit_ran_on_loop_thread);
  for (const auto& s : seen) {
    ASSERT_EQ(s.size(), 200u);
    EXPECT_TRUE(std::is_sorted(s.begin(), s.end()));
  }
}

TEST(Win32EventLoop, RunOnAnotherThreadIsRefused) {
  Win32Application app;
  int code = 0;
  std::thread([&] { code = app.run({}); }).join();
  EXPECT_EQ(code, 1);
}

TEST(Win32SingleInstance, SecondStartIsRefusedAndToldToTheFirst) {
  const std::string id = unique_identifier("second");
  Win32Application app;
  ASSERT_TRUE(app.valid());
  std::optional<std::vector<std::string>> args;
  std::string cwd;
  bool on_loop_thread = false;
  const DWORD loop_thread = GetCurrentThreadId();
  ASSERT_TRUE(app.acquire(id, {"first"}, [&](std::vector<std::string> a, std::string c) {
    args = std::move(a);
    cwd = std::move(c);
    on_loop_thread = GetCurrentThreadId() == loop_thread;
    app.exit(0);
  }));

  // The claim is the user's own file, held for every later claim, in this
  // process too.
  const std::filesystem::path lock = local_app_data() / win32::widen(id) / L"instance.lock";
  HANDLE again = CreateFileW(lock.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(again, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (again != INVALID_HANDLE_VALUE) CloseHandle(again);

  ScopedEnv mode(L"HARVEL_TEST_HELPER", L"second");
  ScopedEnv name(L"HARVEL_TEST_ID", win32::widen(id));
  Child child(helper_exe(), {L"--hidden", L"two words", L"\u015f"});
  ASSERT_TRUE(child.started());
  int code = 0;
  {
    LoopGuard guard(app, kEventWait);
    code = app.run({});
  }
  EXPECT_EQ(code, 0) << "no second start arrived";
  EXPECT_EQ(child.wait(), 0u) << "the second copy was not refused";
  EXPECT_EQ(args, (std::vector<std::string>{"--hidden", "two words", "\u015f"}));
  EXPECT_EQ(std::filesystem::path(win32::widen(cwd)), std::filesystem::current_path());
  EXPECT_TRUE(on_loop_thread);
}

TEST(Win32AppLoop, RestartStartsANewCopyThatGetsTheInstance) {
  testing::TempDir dir;
  const std::filesystem::path file = dir.path() / "starts.txt";
  ScopedEnv mode(L"HARVEL_TEST_HELPER", L"restart");
  ScopedEnv target(L"HARVEL_TEST_FILE", file.wstring());
  ScopedEnv name(L"HARVEL_TEST_ID", win32::widen(unique_identifier("restart")));
  Child first(helper_exe(), {L"--hidden", L"a b"});
  ASSERT_TRUE(first.started());
  EXPECT_EQ(first.wait(), 0u);
  std::vector<std::string> lines;
  wait_until(
      [&] {
        lines.clear();
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines.size() >= 2;
      },
      kEventWait);
  EXPECT_EQ(lines, (std::vector<std::string>{"1 claimed --hidden|a b", "2 claimed --hidden|a b"}));
}

// WM_CLOSE from outside (the installer sends it from its own process): the
// handler runs on the loop thread, and without one the loop ends. The window
// stays either way.
TEST(Win32AppLoop, ACloseRequestRunsTheHandlerAndKeepsTheWindow) {
  for (const bool with_handler : {true, false}) {
    SCOPED_TRACE(with_handler ? "with a handler" : "without a handler");
    Win32Application app;
    ASSERT_TRUE(app.valid());
    const DWORD loop_thread = GetCurrentThreadId();
    bool on_loop_thread = false;
    if (with_handler) {
      app.set_close_request_handler([&] {
        on_loop_thread = GetCurrentThreadId() == loop_thread;
        app.exit(5);
      });
    }
    HWND window = reinterpret_cast<HWND>(app.window());
    std::thread sender([window] {
      DWORD_PTR result = 0;
      SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    });
    int code = -1;
    {
      LoopGuard guard(app, kEventWait);
      code = app.run({});
    }
    sender.join();
    EXPECT_EQ(code, with_handler ? 5 : 0);
    EXPECT_EQ(on_loop_thread, with_handler);
    EXPECT_TRUE(IsWindow(window));
  }
}

TEST(Win32GlobalShortcut, RegistrationIsExclusive) {
  const os::Hotkey hotkey{MOD_CONTROL | MOD_SHIFT, 'U'};
  Win32Application first;
  Win32Application second;
  ASSERT_TRUE(first.valid() && second.valid());

  EXPECT_TRUE(first.register_hotkey(hotkey));
  EXPECT_TRUE(first.register_hotkey(hotkey));  // already ours
  EXPECT_TRUE(first.is_registered(hotkey));
  EXPECT_FALSE(second.register_hotkey(hotkey)) << "another window holds it";
  EXPECT_FALSE(second.is_registered(hotkey));

  EXPECT_TRUE(first.unregister_hotkey(hotkey));
  EXPECT_FALSE(first.is_registered(hotkey));
  EXPECT_FALSE(first.unregister_hotkey(hotkey));
  EXPECT_TRUE(second.register_hotkey(hotkey));
  second.unregister_all();
  EXPECT_FALSE(second.is_registered(hotkey));
}

TEST(Win32GlobalShortcut, RegisteredFromAnotherThreadAndPressed) {
  const os::Hotkey hotkey{MOD_CONTROL | MOD_ALT, VK_F9};
  Win32Application app;
  ASSERT_TRUE(app.valid());
  std::vector<os::Hotkey> presses;
  app.set_press_handler([&](const os::Hotkey& h) {
    presses.push_back(h);
    app.exit(0);
  });
  std::atomic<bool> registered{false};
  std::thread worker([&] {
    registered = app.register_hotkey(hotkey);
    if (!registered) return;
    // Pressed and released as a user would; the release reports nothing.
    for (auto [vk, up] : {std::pair{VK_LCONTROL, false}, {VK_LMENU, false}, {VK_F9, false}, {VK_F9, true},
                          {VK_LMENU, true}, {VK_LCONTROL, true}}) {
      send_key(static_cast<WORD>(vk), up);
    }
  });
  int code = 0;
  {
    LoopGuard guard(app, kEventWait);
    code = app.run({});
  }
  worker.join();
  ASSERT_TRUE(registered);
  EXPECT_EQ(code, 0) << "no press arrived";
  EXPECT_EQ(presses, std::vector<os::Hotkey>{hotkey});
  app.unregister_all();
}

TEST(Win32Dialogs, MessageBoxReturnsTheButtonPressed) {
  win32::Win32Dialogs dialogs;
  for (const int button : {IDYES, IDNO}) {
    BoxAnswerer answerer(button);
    const int answer = dialogs.message_box("Harvel", "Savol: o\u2018rnatilsinmi?", MB_YESNO | MB_ICONWARNING);
    answerer.join();
    ASSERT_TRUE(answerer.found);
    EXPECT_EQ(answer, button);
    EXPECT_EQ(answerer.caption, L"Harvel");
    EXPECT_EQ(answerer.text, L"Savol: o\u2018rnatilsinmi?");
  }
}

}  // namespace
}  // namespace harvel
