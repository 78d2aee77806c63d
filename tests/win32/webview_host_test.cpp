// harvel.exe end to end with a WebView2 runtime: the fake runtime of
// tests/win32/fake_webview2, registered in the prefix the way the Evergreen
// runtime registers itself (per user), plays the pages. One program runs for
// the whole suite, started hidden by an onboarded user; the tests go in
// order and the last one quits it from the tray menu.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/win32_tray.h"
#include "support/test_app.h"
#include "win32/desktop.h"
#include "win32/program_pages.h"

#include <shellapi.h>

namespace harvel {
namespace {

using namespace win32test;
using Json = nlohmann::json;
namespace fs = std::filesystem;

// ---- The program's windows ---------------------------------------------------------------

SIZE client_size(HWND w) {
  RECT r{};
  GetClientRect(w, &r);
  return {r.right, r.bottom};
}

// ---- The suite --------------------------------------------------------------------------------

class WebViewHost : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = new testing::TempDir;
    log = dir->path() / "webview2.log";
    registration = new RuntimeRegistration;
    settings = new SettingsFile(R"({"onboarded": true})");
    ScopedEnv to(L"HARVEL_FAKE_WEBVIEW2_LOG", log.wstring());
    program = new Child(windows_path(HARVEL_EXE), {L"--hidden"});
    program_pages = new ProgramPages(log, program->pid());
  }
  static void TearDownTestSuite() {
    delete program_pages;
    delete program;  // waits for it (bounded), then ends it
    delete settings;
    delete registration;
    delete dir;
  }

  void SetUp() override {
    ASSERT_TRUE(registration->ok());
    ASSERT_TRUE(program->started());
  }

  static DWORD pid() { return program->pid(); }
  static const ProgramPages& pages() { return *program_pages; }

  static inline testing::TempDir* dir = nullptr;
  static inline fs::path log;
  static inline RuntimeRegistration* registration = nullptr;
  static inline SettingsFile* settings = nullptr;
  static inline Child* program = nullptr;
  static inline ProgramPages* program_pages = nullptr;
};

bool is_script_fetch(const Json& r) {
  const std::string uri = r.value("uri", "");
  return r["e"] == "resource" && uri.starts_with("https://harvel.localhost/assets/") && uri.ends_with(".js");
}

TEST_F(WebViewHost, TheMainWindowLoadsTheAppOriginWithTheBridgeFirst) {
  ASSERT_TRUE(pages().wait_record([](const Json& r) { return r["window"] == "main" && is_script_fetch(r); }))
      << "the main window's page never loaded its script";
  HWND main = pages().window("main");
  ASSERT_NE(main, nullptr);
  EXPECT_FALSE(IsWindowVisible(main)) << "started hidden by an onboarded user";
  const SIZE size = client_size(main);
  EXPECT_EQ(size.cx, 960);
  EXPECT_EQ(size.cy, 680);
  const LONG style = GetWindowLongW(main, GWL_STYLE);
  EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_MAXIMIZEBOX), WS_POPUP | WS_THICKFRAME | WS_MAXIMIZEBOX)
      << "frameless, resizable";
  EXPECT_EQ(GetWindowLongW(main, GWL_EXSTYLE) & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE), 0);

  const std::vector<Json> all = pages().records();
  std::vector<Json> mine;
  for (const Json& r : all) {
    if (r.value("window", "") == "main") mine.push_back(r);
  }
  auto index_of = [&](const std::function<bool(const Json&)>& match) {
    for (std::size_t i = 0; i < mine.size(); ++i) {
      if (match(mine[i])) return static_cast<int>(i);
    }
    return -1;
  };
  const int bridge = index_of([](const Json& r) {
    return r["e"] == "script" && r["index"] == 1 &&
           r["text"].get<std::string>().find("__HARVEL_IPC__") != std::string::npos &&
           r["text"].get<std::string>().find(R"(("main", "webview2"))") != std::string::npos;
  });
  const int navigate = index_of([](const Json& r) {
    return r["e"] == "navigate" && r["by"] == "host" && r["uri"] == "https://harvel.localhost/index.html" &&
           r["cancelled"] == false;
  });
  const int document = index_of([](const Json& r) { return r["e"] == "document" && r["scripts"] == 1; });
  const int module = index_of(is_script_fetch);
  ASSERT_GE(bridge, 0) << "no bridge script";
  ASSERT_GE(navigate, 0) << "no navigation to the app origin";
  ASSERT_GE(document, 0);
  ASSERT_GE(module, 0) << "the page's own script was not fetched";
  EXPECT_LT(bridge, navigate);
  EXPECT_LT(document, module) << "the bridge runs before the page's own script";
  EXPECT_EQ(mine[module]["status"], 200);
  EXPECT_NE(mine[module]["headers"].get<std::string>().find("Content-Type: text/javascript\r\n"), std::string::npos);
  EXPECT_GT(mine[module]["length"].get<int>(), 1000);
  const int page =
      index_of([](const Json& r) { return r["e"] == "resource" && r["uri"] == "https://harvel.localhost/index.html"; });
  ASSERT_GE(page, 0);
  const std::string headers = mine[page]["headers"];
  EXPECT_NE(headers.find("Content-Type: text/html\r\n"), std::string::npos);
  EXPECT_NE(headers.find("Content-Security-Policy: default-src 'self';"), std::string::npos);
  // Settings of the view.
  for (const auto& [name, value] :
       {std::pair{"IsWebMessageEnabled", true}, {"AreHostObjectsAllowed", false}, {"AreDevToolsEnabled", false}}) {
    EXPECT_GE(index_of([&](const Json& r) { return r["e"] == "setting" && r["name"] == name && r["value"] == value; }),
              0)
        << name;
  }
}

TEST_F(WebViewHost, AMissingFileIsNotFound) {
  ASSERT_TRUE(pages().page("main", {{"do", "request"}, {"uri", "https://harvel.localhost/assets/nope.js"}}));
  const auto r = pages().wait_record(
      [](const Json& r) { return r["e"] == "resource" && r["uri"] == "https://harvel.localhost/assets/nope.js"; });
  ASSERT_TRUE(r);
  EXPECT_EQ((*r)["status"], 404);
  EXPECT_EQ((*r)["reason"], "Not Found");
  EXPECT_NE((*r)["headers"].get<std::string>().find("Content-Type: text/plain\r\n"), std::string::npos);
}

TEST_F(WebViewHost, StateGetAnswersTheWholeSnapshot) {
  ASSERT_TRUE(pages().call("main", "t:1", "state_get", Json::object()));
  const auto a = pages().answer("main", "t:1");
  ASSERT_TRUE(a) << "no answer";
  ASSERT_EQ((*a)["ok"], true);
  const Json snapshot = Json::parse((*a)["value"].get<std::string>());
  for (const char* key : {"settings", "hook", "hookError", "hotkeyOk", "killSwitch", "update", "currentApp", "ads",
                          "layout", "version", "platform"}) {
    EXPECT_TRUE(snapshot.contains(key)) << key;
  }
  EXPECT_EQ(snapshot["version"], "0.1.7");
  EXPECT_EQ(snapshot["platform"], "win32");
  EXPECT_EQ(snapshot["settings"]["onboarded"], true);
  EXPECT_EQ(snapshot["hook"], "on") << snapshot["hookError"];

  // Calls that are not commands fail, once each.
  ASSERT_TRUE(pages().call("main", "t:2", "no_such_command", Json::object()));
  const auto unknown = pages().answer("main", "t:2");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(*unknown, Json::parse(R"({"id":"t:2","ok":false,"error":"command no_such_command not found"})"));
  ASSERT_TRUE(pages().page("main", {{"do", "message"}, {"json", R"({"id":"t:3"})"}}));
  const auto malformed = pages().answer("main", "t:3");
  ASSERT_TRUE(malformed);
  EXPECT_EQ((*malformed)["error"], "malformed command call");
  ASSERT_TRUE(pages().call("main", "t:4", "window_is_maximized", Json::object()));
  const auto maximized = pages().answer("main", "t:4");
  ASSERT_TRUE(maximized);
  EXPECT_EQ((*maximized)["value"], "false");
}

TEST_F(WebViewHost, TypingIsConvertedWhileTheWindowsExist) {
  TextWindow box;
  ASSERT_TRUE(box.ready());
  type_keys("'sh' +RMENU S -RMENU 'ahar'");
  EXPECT_EQ(box.settled_text(L"sh\u015fahar"), L"sh\u015fahar");
}

TEST_F(WebViewHost, ModeSetRewritesTheSettingsAndTellsThePagesWithoutTakingTheFocus) {
  TextWindow box;
  ASSERT_TRUE(box.ready());
  ASSERT_TRUE(pages().call("main", "t:5", "mode_set", {{"mode", "fast"}}));
  const auto a = pages().answer("main", "t:5");
  ASSERT_TRUE(a);
  EXPECT_EQ(*a, Json::parse(R"({"id":"t:5","ok":true,"value":"null"})"));
  const Json saved = Json::parse(read_text(settings->path()), nullptr, false);
  ASSERT_TRUE(saved.is_object());
  EXPECT_EQ(saved["mode"], "fast");
  const auto changed = pages().wait_record([](const Json& r) {
    if (r["e"] != "post" || r["window"] != "main") return false;
    const Json m = Json::parse(r["json"].get<std::string>());
    return m.value("event", "") == "state-changed" &&
           Json::parse(m["payload"].get<std::string>())["settings"]["mode"] == "fast";
  });
  EXPECT_TRUE(changed) << "no state-changed event with the new mode";

  // The toast names the mode, at the bottom right of the primary monitor,
  // above everything and never taking the focus.
  HWND toast = nullptr;
  ASSERT_TRUE(pump_until([&] { return (toast = pages().window("toast")) != nullptr && IsWindowVisible(toast); }, kEventWait));
  const SIZE size = client_size(toast);
  EXPECT_EQ(size.cx, 400);
  EXPECT_EQ(size.cy, 96);
  RECT r{};
  GetWindowRect(toast, &r);
  EXPECT_EQ(r.left, GetSystemMetrics(SM_CXSCREEN) - 400 - 16);
  EXPECT_EQ(r.top, GetSystemMetrics(SM_CYSCREEN) - 96 - 64);
  EXPECT_EQ(GetWindowLongW(toast, GWL_STYLE) & (WS_POPUP | WS_CAPTION | WS_THICKFRAME), WS_POPUP);
  const LONG ex = GetWindowLongW(toast, GWL_EXSTYLE);
  EXPECT_EQ(ex & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE),
            WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE);
  pump_for(200ms);
  EXPECT_NE(GetForegroundWindow(), toast);
  EXPECT_TRUE(box.ready()) << "the box kept the focus";
  const auto script = pages().wait_record([](const Json& r) {
    return r["e"] == "script" && r["window"] == "toast" && r["index"] == 2 &&
           r["text"].get<std::string>().find("window.__toast = ") == 0;
  });
  EXPECT_TRUE(script) << "the toast's start script follows the bridge";
  EXPECT_TRUE(pages().wait_record([](const Json& r) {
    return r["e"] == "background" && r["window"] == "toast" && r["argb"] == Json::array({0, 0, 0, 0});
  })) << "a clear background";
}

TEST_F(WebViewHost, NavigationStaysOnTheOriginAndNoWindowOpens) {
  ASSERT_TRUE(pages().page("main", {{"do", "navigate"}, {"uri", "https://example.com/"}}));
  ASSERT_TRUE(pages().page("main", {{"do", "navigate"}, {"uri", "https://harvel.localhost/index.html#/settings"}}));
  ASSERT_TRUE(pages().page("main", {{"do", "newwindow"}, {"uri", "https://harvel.localhost/index.html"}}));
  const auto away =
      pages().wait_record([](const Json& r) { return r["e"] == "navigate" && r["uri"] == "https://example.com/"; });
  ASSERT_TRUE(away);
  EXPECT_EQ((*away)["cancelled"], true);
  const auto inside = pages().wait_record([](const Json& r) {
    return r["e"] == "navigate" && r["uri"] == "https://harvel.localhost/index.html#/settings";
  });
  ASSERT_TRUE(inside);
  EXPECT_EQ((*inside)["cancelled"], false);
  const auto opened = pages().wait_record([](const Json& r) { return r["e"] == "newwindow"; });
  ASSERT_TRUE(opened);
  EXPECT_EQ((*opened)["handled"], true);
  EXPECT_EQ((*opened)["new_window"], false);
}

TEST_F(WebViewHost, ConvertedDocumentsKeepTheirNameAndReplaceNothing) {
  const fs::path existing = dir->path() / "maqola.uz.docx";
  write_text(existing, "older");
  ASSERT_TRUE(pages().page("main", {{"do", "download"},
                            {"uri", "blob:https://harvel.localhost/6c1e"},
                            {"path", win32::narrow(existing.wstring())}}));
  ASSERT_TRUE(pages().page("main", {{"do", "download"},
                            {"uri", "blob:https://example.com/6c1e"},
                            {"path", win32::narrow((dir->path() / "x.exe").wstring())}}));
  const auto ours = pages().wait_record(
      [](const Json& r) { return r["e"] == "download" && r["uri"] == "blob:https://harvel.localhost/6c1e"; });
  ASSERT_TRUE(ours);
  EXPECT_EQ((*ours)["cancel"], false);
  EXPECT_EQ((*ours)["path"], win32::narrow((dir->path() / "maqola.uz (1).docx").wstring()));
  const auto foreign =
      pages().wait_record([](const Json& r) { return r["e"] == "download" && r["uri"] == "blob:https://example.com/6c1e"; });
  ASSERT_TRUE(foreign);
  EXPECT_EQ((*foreign)["cancel"], true);
}

TEST_F(WebViewHost, TheTrayIconOpensThePopup) {
  HWND tray = find_window(pid(), L"HarvelTrayWindow");
  ASSERT_NE(tray, nullptr) << "no tray window";
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof(nid);
  nid.hWnd = tray;
  nid.uID = 1;
  nid.uFlags = NIF_TIP;
  wcscpy(nid.szTip, L"Harvel");
  EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &nid)) << "the shell does not know the icon";

  PostMessageW(tray, win32::Win32Tray::callback_message(), 1, WM_LBUTTONDOWN);
  PostMessageW(tray, win32::Win32Tray::callback_message(), 1, WM_LBUTTONUP);
  HWND popup = nullptr;
  ASSERT_TRUE(pump_until([&] { return (popup = pages().window("popup")) != nullptr && IsWindowVisible(popup); }, kEventWait));
  const SIZE size = client_size(popup);
  EXPECT_EQ(size.cx, 360);
  EXPECT_EQ(size.cy, 300);
  const LONG ex = GetWindowLongW(popup, GWL_EXSTYLE);
  EXPECT_EQ(ex & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW), WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
  EXPECT_EQ(GetWindowLongW(popup, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), 0);
  EXPECT_TRUE(pages().wait_record([](const Json& r) {
    return r["e"] == "script" && r["window"] == "popup" && r["index"] == 2 &&
           r["text"].get<std::string>().find("location.hash = '#/tray'") != std::string::npos;
  }));
  EXPECT_TRUE(pages().wait_record([](const Json& r) {
    return r["e"] == "post" && r["window"] == "popup" &&
           Json::parse(r["json"].get<std::string>()).value("event", "") == "popup-shown";
  }));
  EXPECT_TRUE(pump_until([&] { return GetForegroundWindow() == popup; }, kEventWait)) << "the show step focuses it";

  // Another window taking the focus hides it (once it has been shown for
  // more than 200 ms).
  pump_for(300ms);
  TextWindow other;
  EXPECT_TRUE(pump_until([&] { return !IsWindowVisible(popup); }, kEventWait)) << "still shown after losing the focus";
  EXPECT_TRUE(IsWindow(popup)) << "hidden, not destroyed";
}

TEST_F(WebViewHost, ASecondStartShowsTheMainWindowAtHome) {
  Child second(windows_path(HARVEL_EXE), {L"--hidden"});
  ASSERT_TRUE(second.started());
  EXPECT_EQ(second.wait(), 0u);
  EXPECT_TRUE(pages().wait_record([](const Json& r) {
    if (r["e"] != "post" || r["window"] != "main") return false;
    const Json m = Json::parse(r["json"].get<std::string>());
    return m.value("event", "") == "navigate" && m["payload"] == "\"/\"";
  })) << "no navigate \"/\"";
  EXPECT_TRUE(pump_until([] { return IsWindowVisible(pages().window("main")) != FALSE; }, kEventWait));
}

TEST_F(WebViewHost, ChiqishInTheTrayMenuEndsTheProgram) {
  HWND tray = find_window(pid(), L"HarvelTrayWindow");
  ASSERT_NE(tray, nullptr);
  bool opened = false;
  std::thread user([&] {
    HWND menu = nullptr;
    wait_until([&] { return (menu = find_window(pid(), L"#32768")) != nullptr && IsWindowVisible(menu); }, kEventWait);
    if (!menu) return;
    opened = true;
    // From no selection, Up goes to the last item, "Chiqish" (the menu's
    // items are the tray menu tests' concern).
    for (WPARAM key : {VK_UP, VK_RETURN}) {
      PostMessageW(menu, WM_KEYDOWN, key, 0);
      std::this_thread::sleep_for(50ms);
    }
  });
  PostMessageW(tray, win32::Win32Tray::callback_message(), 1, WM_RBUTTONUP);
  user.join();
  ASSERT_TRUE(opened) << "no menu";
  EXPECT_EQ(program->wait(10s), 0u);
}

// With WebView2Loader.dll beside the program, the loader alone answers the
// runtime question: one that knows of no runtime brings the box, although
// a runtime is registered.
TEST(WebView2LoaderBesideTheProgram, DecidesWhetherTheRuntimeIsThere) {
  testing::TempDir dir;
  RuntimeRegistration registration;
  ASSERT_TRUE(registration.ok());
  const fs::path program = dir.path() / "harvel.exe";
  fs::copy_file(fs::path(windows_path(HARVEL_EXE)), program);
  fs::copy_file(fs::path(windows_path(HARVEL_WEBVIEW2_STUB)), dir.path() / "WebView2Loader.dll");
  ScopedEnv no_version(L"HARVEL_STUB_WEBVIEW2_VERSION", std::nullopt);
  Child copy(program.wstring(), {});
  ASSERT_TRUE(copy.started());
  BoxAnswerer answerer(IDNO, copy.pid());
  answerer.join();
  EXPECT_TRUE(answerer.found) << "no message box";
  EXPECT_EQ(answerer.caption, L"Harvel");
  EXPECT_EQ(copy.wait(), 0u);
}

}  // namespace
}  // namespace harvel
