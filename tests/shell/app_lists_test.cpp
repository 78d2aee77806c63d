// The application lists on the fake system: which windows and folder items
// become entries, their order and names, the PE header check, environment
// expansion and the file dialog's answer.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/blocking_pool.h"
#include "core/text.h"
#include "platform/fake/fake_apps.h"
#include "shell/app_info.h"
#include "shell/app_lists.h"
#include "shell/command_fixture.h"
#include "support/test_app.h"

namespace harvel {
namespace {

using fake::FakeApps;
using namespace std::chrono_literals;

class AppListsTest : public ::testing::Test {
 protected:
  AppListsTest() {
    os::Platform p = os::platform();
    p.apps = &apps;
    os::install_platform(p);
    // Names and icons are cached per path for the whole process: every test
    // uses paths of its own.
    static std::atomic<int> counter{0};
    dir = "C:\\T" + std::to_string(counter++) + "\\";
  }

  // A running program: a visible, titled window of a new process.
  void run(const std::string& path, os::TopLevelWindow w = {.visible = true, .title_length = 5}) {
    const uint32_t pid = next_pid++;
    t.sys.process_paths[pid] = text::utf8_to_utf16(path);
    w.window = pid * 16;
    w.pid = pid;
    apps.windows.push_back(w);
  }

  void add_item(std::u16string name, std::u16string target) {
    apps.folder_items.push_back({std::move(name), std::move(target)});
  }

  static std::vector<std::string> exes(const std::vector<AppInfo>& list) {
    std::vector<std::string> out;
    for (const AppInfo& a : list) out.push_back(a.exe);
    return out;
  }

  testing::TestApp t;
  FakeApps apps;
  std::string dir;
  uint32_t next_pid = 10;
};

// ---- PE header check ---------------------------------------------------------

std::vector<uint8_t> head_with(uint32_t e_lfanew, uint16_t subsystem, std::size_t size = kPeHeadBytes) {
  std::vector<uint8_t> head(size, 0);
  head[0] = 'M';
  head[1] = 'Z';
  for (int i = 0; i < 4; ++i) head[60 + i] = static_cast<uint8_t>(e_lfanew >> (8 * i));
  if (uint64_t{e_lfanew} + 94 <= size) {
    head[e_lfanew] = 'P';
    head[e_lfanew + 1] = 'E';
    head[e_lfanew + 92] = static_cast<uint8_t>(subsystem);
    head[e_lfanew + 93] = static_cast<uint8_t>(subsystem >> 8);
  }
  return head;
}

TEST(PeHeader, HeadersAndHostileInputs) {
  struct Case {
    const char* what;
    std::vector<uint8_t> head;
    std::size_t read;
    bool gui;
  };
  std::vector<uint8_t> no_mz = head_with(0x80, 2);
  no_mz[1] = 'X';
  std::vector<uint8_t> bad_signature = head_with(0x80, 2);
  bad_signature[0x83] = 1;
  std::vector<uint8_t> garbage(kPeHeadBytes);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 131 + 7);
  garbage[0] = 'M';
  garbage[1] = 'Z';
  const std::vector<Case> cases = {
      {"GUI program", head_with(0x80, 2), kPeHeadBytes, true},
      {"console program", head_with(0x80, 3), kPeHeadBytes, false},
      {"native driver", head_with(0x80, 1), kPeHeadBytes, false},
      {"subsystem high byte set", head_with(0x80, 0x0102), kPeHeadBytes, false},
      {"header ends exactly at the bytes read", head_with(0x100, 2), 0x100 + 94, true},
      {"one byte short of the subsystem", head_with(0x100, 2), 0x100 + 93, false},
      {"63 bytes read", head_with(0x10, 2), 63, false},
      {"no MZ", no_mz, kPeHeadBytes, false},
      {"PE signature not followed by two zeros", bad_signature, kPeHeadBytes, false},
      {"offset past the buffer", head_with(5000, 2), kPeHeadBytes, false},
      {"offset that wraps around in 32 bits", head_with(0xFFFFFFF0u, 2), kPeHeadBytes, false},
      {"largest offset", head_with(0xFFFFFFFFu, 2), kPeHeadBytes, false},
      {"random bytes after MZ", garbage, kPeHeadBytes, false},
      {"claims more bytes than the buffer holds", head_with(0x80, 2), 100000, true},
      {"header beyond a short buffer", head_with(0x80, 2, 200), 100000, false},
      {"nothing read", std::vector<uint8_t>(kPeHeadBytes, 0), 0, false},
  };
  for (const Case& c : cases) EXPECT_EQ(is_gui_pe_image(c.head, c.read), c.gui) << c.what;
}

TEST_F(AppListsTest, UserGuiExeLeavesOutWindowsConsoleAndUnreadableFiles) {
  apps.files["C:\\Apps\\gui.exe"] = FakeApps::pe_image(2);
  apps.files["C:\\Apps\\console.exe"] = FakeApps::pe_image(3);
  std::vector<uint8_t> cut = FakeApps::pe_image(2);
  cut.resize(0x80 + 93);  // ends inside the optional header's Subsystem
  apps.files["C:\\Apps\\short.exe"] = cut;
  apps.files["C:\\WINDOWS\\System32\\mspaint.exe"] = FakeApps::pe_image(2);
  apps.files["C:\\Windowsy\\app.exe"] = FakeApps::pe_image(2);
  struct Case {
    const char* path;
    bool gui;
  };
  const Case cases[] = {
      {"C:\\Apps\\gui.exe", true},
      {"c:\\apps\\GUI.exe", false},  // the fake's files are matched exactly: not found
      {"C:\\Apps\\console.exe", false},
      {"C:\\Apps\\short.exe", false},
      {"C:\\Apps\\missing.exe", false},
      {"C:\\WINDOWS\\System32\\mspaint.exe", false},
      {"C:\\Windowsy\\app.exe", true},  // only the folder itself counts
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(is_user_gui_exe(c.path), c.gui) << c.path;

  // Without a usable %SystemRoot% the folder test is skipped.
  apps.environment.erase("SystemRoot");
  EXPECT_TRUE(is_user_gui_exe("C:\\WINDOWS\\System32\\mspaint.exe"));
  apps.environment["SystemRoot"] = "";
  EXPECT_TRUE(is_user_gui_exe("C:\\WINDOWS\\System32\\mspaint.exe"));
}

// ---- environment expansion and UTF-16 ------------------------------------------

TEST_F(AppListsTest, ExpandEnvVars) {
  apps.environment["ProgramFiles"] = "C:\\Program Files";
  apps.environment["Long"] = std::string(1000, 'x');
  const std::string fits(1023 - 1000, 'y');  // 1023 units and the 0: exactly the buffer
  EXPECT_EQ(expand_env_vars("%ProgramFiles%\\App\\app.exe"), "C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(expand_env_vars("%Unset%\\app.exe"), "%Unset%\\app.exe");
  EXPECT_EQ(expand_env_vars("%Long%" + fits), std::string(1000, 'x') + fits);
  EXPECT_EQ(expand_env_vars("%Long%" + fits + "z"), "%Long%" + fits + "z");  // does not fit: unchanged
  apps.expansion_fails = true;
  EXPECT_EQ(expand_env_vars("%ProgramFiles%\\a.exe"), "%ProgramFiles%\\a.exe");
  EXPECT_EQ(expand_env_vars("C:\\plain\\a.exe"), "C:\\plain\\a.exe");  // no '%': never asked
}

TEST(ToWideNul, UnitsWithTerminatingZero) {
  EXPECT_EQ(to_wide_nul(""), std::u16string(1, u'\0'));
  EXPECT_EQ(to_wide_nul("C:\\ş.exe"), std::u16string(u"C:\\\u015F.exe\0", 9));
  EXPECT_EQ(to_wide_nul("\xF0\x9F\x98\x80"), std::u16string(u"\xD83D\xDE00\0", 3));
  EXPECT_EQ(to_wide_nul("a\xFF"), std::u16string(u"a\uFFFD\0", 3));
}

TEST(NameOrder, IgnoresCase) {
  EXPECT_TRUE(name_less_ignoring_case("alpha", "Beta"));
  EXPECT_FALSE(name_less_ignoring_case("Beta", "alpha"));
  EXPECT_FALSE(name_less_ignoring_case("ÖLÇÜ", "ölçü"));
  EXPECT_EQ(compare_names_ignoring_case("ÖLÇÜ", "ölçü"), std::strong_ordering::equal);
  EXPECT_EQ(compare_names_ignoring_case("Zebra", "apple"), std::strong_ordering::greater);
  // Byte order of the lower-case forms: "ö" (C3 B6) sorts after "z".
  EXPECT_EQ(compare_names_ignoring_case("Öz", "zz"), std::strong_ordering::greater);
}

// ---- running programs ----------------------------------------------------------

TEST_F(AppListsTest, RunningListFiltersDeduplicatesAndSorts) {
  run(dir + "Zed\\ZED.EXE");
  run(dir + "hidden.exe", {.visible = false, .title_length = 5});
  run(dir + "untitled.exe", {.visible = true, .title_length = 0});
  run(dir + "tool.exe", {.visible = true, .title_length = 5, .ex_style = 0x80 | 0x8});
  run(dir + "Notepad\\notepad.exe");
  run(dir + "Other\\NOTEPAD.exe");  // the same exe again: the first in Z order wins
  run(dir + "searchhost.exe");
  run(dir + "harvel.exe");
  run(dir + "ölçü.exe");
  run(dir + "calc.exe");
  run(dir + "Folder\\");  // no file name
  apps.windows.push_back({.window = 1, .visible = true, .title_length = 3, .pid = 999});  // unreadable process
  apps.windows.push_back({.window = 2, .visible = true, .title_length = 3, .pid = 0});
  apps.windows.push_back({.window = 3, .visible = true, .title_length = 3, .ex_style = 0x40000, .pid = next_pid});
  t.sys.process_paths[next_pid] = text::utf8_to_utf16(dir + "appwindow.exe");  // WS_EX_APPWINDOW is fine

  std::vector<RunningEntry> entries;
  for (const os::TopLevelWindow& w : apps.windows) enum_windows_collect_apps(w, entries);
  ASSERT_EQ(entries.size(), 7u);
  EXPECT_EQ(entries[1], (RunningEntry{"notepad.exe", dir + "Notepad\\notepad.exe"}));

  const std::vector<AppInfo> list = list_running_apps_blocking(t.ctx().settings.copy());
  EXPECT_EQ(exes(list),
            (std::vector<std::string>{"appwindow.exe", "calc.exe", "notepad.exe", "zed.exe", "ölçü.exe"}));
}

TEST_F(AppListsTest, RunningNamesComeFromRuleThenVersionThenFileName) {
  run(dir + "zed.exe");
  run(dir + "calc.exe");
  run(dir + "plain.exe");
  for (const char* exe : {"zed.exe", "calc.exe"}) {
    apps.version_infos[dir + exe].strings[u"\\StringFileInfo\\040904b0\\FileDescription"] = u"Kalkulyator";
  }
  apps.icons[dir + "calc.exe"] = {1, 1, {1, 2, 3, 255}};
  Settings s = default_settings();
  s.apps = {{"Zed muharriri", "zed.exe", kModeOff}, {"Boshqa", "other.exe", kModeFast}};
  t.set_settings(s);

  const std::vector<AppInfo> list = list_running_apps_blocking(t.ctx().settings.copy());
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].exe, "calc.exe");
  EXPECT_EQ(list[0].name, "Kalkulyator");
  EXPECT_EQ(list[0].mode, std::nullopt);
  ASSERT_TRUE(list[0].icon.has_value());
  EXPECT_TRUE(list[0].icon->starts_with("data:image/png;base64,"));
  EXPECT_EQ(list[1].name, "Plain");
  EXPECT_FALSE(list[1].icon.has_value());
  EXPECT_EQ(list[2].name, "Zed muharriri");
  EXPECT_EQ(list[2].mode, "off");
}

// ---- installed programs --------------------------------------------------------

TEST_F(AppListsTest, InstalledEntriesFromFolderItems) {
  apps.environment["ProgramFiles"] = "C:\\Program Files";
  struct Case {
    const char* what;
    os::ShellAppItem item;
    std::optional<InstalledEntry> entry;
  };
  const std::vector<Case> cases = {
      {"quoted target with spaces around",
       {u"  Mening App \t", u"  \"%ProgramFiles%\\App\\App.EXE\"  "},
       InstalledEntry{"app.exe", "Mening App", "C:\\Program Files\\App\\App.EXE"}},
      {"forward slashes", {u"Tool", u"C:/Tools/tool.exe"}, InstalledEntry{"tool.exe", "Tool", "C:/Tools/tool.exe"}},
      {"bare file name", {u"Bare", u"bare.exe"}, InstalledEntry{"bare.exe", "Bare", "bare.exe"}},
      {"not an exe", {u"Script", u"C:\\Tools\\run.bat"}, std::nullopt},
      {"exe in the middle", {u"Doc", u"C:\\Tools\\a.exe.txt"}, std::nullopt},
      {"empty display name", {u"   ", u"C:\\Tools\\x.exe"}, std::nullopt},
      {"display name unreadable", {std::nullopt, u"C:\\Tools\\x.exe"}, std::nullopt},
      {"display name not valid UTF-16", {std::u16string(u"Bad\xD800"), u"C:\\Tools\\x.exe"}, std::nullopt},
      {"target not valid UTF-16", {u"Bad", std::u16string(u"C:\\\xDC00.exe")}, std::nullopt},
      {"no target", {u"Settings", std::nullopt}, std::nullopt},
      {"only quotes", {u"Quotes", u"\"\""}, std::nullopt},
      {"an app id, not a path", {u"Store app", u"Microsoft.WindowsCalculator_8wekyb3d8bbwe!App"}, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(installed_entry_from_item(c.item), c.entry) << c.what;
}

TEST_F(AppListsTest, InstalledListKeepsUserGuiProgramsOnceSortedByName) {
  apps.environment["ProgramFiles"] = "C:\\Program Files";
  const std::string pf = "C:\\Program Files\\";
  for (const char* exe : {"zulu.exe", "alpha.exe", "bravo.exe", "unins000.exe", "uninstall.exe", "setup.exe",
                          "installer.exe", "updater.exe", "crashpad_handler.exe", "harvel.exe", "iexplore.exe",
                          "rule.exe", "named.exe", "Bravo.exe"}) {
    apps.add_gui_exe(pf + exe);
  }
  apps.files[pf + "console.exe"] = FakeApps::pe_image(3);
  apps.files["C:\\Windows\\notepad.exe"] = FakeApps::pe_image(2);
  apps.version_infos[pf + "named.exe"].strings[u"\\StringFileInfo\\040904b0\\ProductName"] = u"Yangi nom";
  apps.icons[pf + "alpha.exe"] = {1, 1, {0, 0, 0, 0}};

  add_item(u"zulu", u"%ProgramFiles%\\zulu.exe");
  add_item(u"Bravo birinchi", u"%ProgramFiles%\\bravo.exe");
  add_item(u"Alpha", u"%ProgramFiles%\\alpha.exe");
  add_item(u"Bravo ikkinchi", u"%ProgramFiles%\\Bravo.exe");  // the same exe: the first one stays
  add_item(u"Apple", u"%ProgramFiles%\\named.exe");           // shown by its version name, sorted as "Apple"
  for (const char* exe : {"unins000.exe", "uninstall.exe", "setup.exe", "installer.exe", "updater.exe",
                          "crashpad_handler.exe", "harvel.exe", "iexplore.exe", "console.exe", "missing.exe"}) {
    add_item(u"Rejected", text::utf8_to_utf16("%ProgramFiles%\\" + std::string(exe)));
  }
  add_item(u"Bloknot", u"%SystemRoot%\\notepad.exe");
  add_item(u"Qoida", u"%ProgramFiles%\\rule.exe");
  Settings s = default_settings();
  s.apps = {{"Qoidali dastur", "rule.exe", kModeZero}};
  t.set_settings(s);

  const std::vector<AppInfo> list = list_installed_apps_blocking(t.ctx().settings.copy());
  ASSERT_EQ(exes(list), (std::vector<std::string>{"alpha.exe", "named.exe", "bravo.exe", "rule.exe", "zulu.exe"}));
  EXPECT_EQ(list[0].name, "Alpha");
  EXPECT_TRUE(list[0].icon.has_value());
  EXPECT_EQ(list[1].name, "Yangi nom");
  EXPECT_EQ(list[2].name, "Bravo birinchi");
  EXPECT_EQ(list[3].name, "Qoidali dastur");
  EXPECT_EQ(list[3].mode, "zero");
  EXPECT_EQ(list[4].name, "zulu");
  EXPECT_EQ(list[4].mode, std::nullopt);
  // The folder, the version resources and the icons are all read inside the
  // one apartment of the call, which has ended.
  EXPECT_GT(apps.icon_reads(), 0);
  EXPECT_EQ(apps.reads_outside_apartment(), 0);
  EXPECT_EQ(apps.open_apartments(), 0);
}

TEST_F(AppListsTest, InstalledListOfNonPeSystemSkipsTheExeChecks) {
  apps.pe_files = false;
  add_item(u"Matn muharriri", u"/usr/bin/gedit");
  add_item(u"Setup", u"/usr/bin/setup-tool");
  const std::vector<AppInfo> list = list_installed_apps_blocking(t.ctx().settings.copy());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].exe, "gedit");
  EXPECT_EQ(list[0].name, "Matn muharriri");
  EXPECT_EQ(apps.file_reads(), 0);
}

// ---- the file dialog -------------------------------------------------------------

TEST_F(AppListsTest, PickedFile) {
  struct Case {
    std::optional<std::u16string> answer;
    std::optional<std::string> exe;
    std::string name;
  };
  const std::vector<Case> cases = {
      {std::nullopt, std::nullopt, ""},
      {u"C:\\Tools\\MyApp.EXE", "myapp.exe", "Myapp"},
      {std::u16string(u"C:\\Tools\\a.exe\0junk", 19), "a.exe", "A"},
      {u"C:\\Tools\\", std::nullopt, ""},
      {u"C:\\Tools\\\u015Eirin.exe", "\xC5\x9F" "irin.exe", "\xC5\x9E" "irin"},
  };
  for (const Case& c : cases) {
    apps.dialog_answer = c.answer;
    const std::optional<AppInfo> picked = pick_exe_file_blocking();
    ASSERT_EQ(picked.has_value(), c.exe.has_value());
    if (!picked) continue;
    EXPECT_EQ(picked->exe, *c.exe);
    EXPECT_EQ(picked->name, c.name);
    EXPECT_EQ(picked->mode, std::nullopt);
    EXPECT_EQ(picked->icon, std::nullopt);
  }
  EXPECT_EQ(apps.last_dialog_filter(), "Dastur (*.exe)|*.exe");
}

// ---- through the dispatcher --------------------------------------------------------

class AppCommandsTest : public testing::CommandFixture {
 protected:
  AppCommandsTest() {
    os::Platform p = os::platform();
    p.apps = &apps;
    os::install_platform(p);
  }
  FakeApps apps;
};

TEST_F(AppCommandsTest, ListsAnswerAppInfoJson) {
  t.sys.process_paths[7] = u"C:\\Cmd\\Viewer.exe";
  apps.windows.push_back({.window = 70, .visible = true, .title_length = 4, .pid = 7});
  apps.icons["C:\\Cmd\\Viewer.exe"] = {1, 1, {0, 0, 0, 0}};
  const Json running = ok("apps_running");
  ASSERT_EQ(running.size(), 1u);
  EXPECT_EQ(running[0]["exe"], "viewer.exe");
  EXPECT_EQ(running[0]["name"], "Viewer");
  EXPECT_TRUE(running[0]["mode"].is_null());
  EXPECT_TRUE(running[0]["icon"].get<std::string>().starts_with("data:image/png;base64,iVBORw0KGgo"));

  apps.dialog_answer = u"D:\\O\\Kod.EXE";
  EXPECT_EQ(ok("apps_pick_file").dump(), R"({"exe":"kod.exe","name":"Kod","mode":null})");
  apps.dialog_answer.reset();
  EXPECT_TRUE(ok("apps_pick_file").is_null());
  EXPECT_EQ(ok("apps_installed"), Json::array());
}

TEST_F(AppCommandsTest, ListsUseTheRulesOfTheMomentTheyWereAskedFor) {
  t.sys.process_paths[7] = u"C:\\Cmd\\Viewer.exe";
  apps.windows.push_back({.window = 70, .visible = true, .title_length = 4, .pid = 7});
  apps.add_gui_exe("C:\\Cmd\\Viewer.exe");
  apps.folder_items.push_back({u"Viewer", u"C:\\Cmd\\Viewer.exe"});

  // Every worker of the pool (it has four) is held, so the lists wait in its
  // queue while a rule is added. The gate is shared with the workers, which
  // may still be leaving it after the test has its answers (or gave up), and
  // it is opened whichever way the test ends.
  struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    int held = 0;
    bool release = false;
    void open() {
      {
        std::lock_guard lock(mutex);
        release = true;
      }
      changed.notify_all();
    }
  };
  const auto gate = std::make_shared<Gate>();
  struct Opener {
    std::shared_ptr<Gate> gate;
    ~Opener() { gate->open(); }
  } opener{gate};
  for (int i = 0; i < 4; ++i) {
    blocking_pool().submit([gate] {
      std::unique_lock lock(gate->mutex);
      ++gate->held;
      gate->changed.notify_all();
      gate->changed.wait(lock, [&] { return gate->release; });
    });
  }
  {
    std::unique_lock lock(gate->mutex);
    ASSERT_TRUE(gate->changed.wait_for(lock, 5s, [&] { return gate->held == 4; }));
  }
  std::vector<std::shared_ptr<std::promise<os::CommandResult>>> answers;
  for (const char* name : {"apps_running", "apps_installed"}) {
    auto answer = std::make_shared<std::promise<os::CommandResult>>();
    answers.push_back(answer);
    ASSERT_TRUE(invoke_handler(t.app, "main", name, "{}", [answer](os::CommandResult r) { answer->set_value(r); }));
  }
  edit_settings([](Settings& s) { s.apps = {{"Yangi nom", "viewer.exe", kModeFast}}; });
  gate->open();
  for (auto& answer : answers) {
    auto future = answer->get_future();
    ASSERT_EQ(future.wait_for(60s), std::future_status::ready);
    const Json list = Json::parse(future.get().text);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["name"], "Viewer");
    EXPECT_TRUE(list[0]["mode"].is_null());
  }
}

}  // namespace
}  // namespace harvel
