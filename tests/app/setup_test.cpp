#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "app/setup.h"
#include "app/setup_fixture.h"
#include "core/file_io.h"
#include "core/notice.h"
#include "core/state.h"
#include "online/ads.h"
#include "online/update_record.h"
#include "online/updater.h"
#include "shell/tray_events.h"
#include "support/test_app.h"

namespace harvel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::TestApp;

using testing::read_bytes;
using testing::SetupWorld;
using testing::write_bytes;

TEST(SetupApp, ReadsTheDataFolderAndStartsTheThreadsInOrder) {
  SetupWorld s;
  const std::string settings = R"({"mode":"zero","onboarded":true})";
  write_bytes(s.settings_file(), settings);
  write_bytes(s.data() / "ads-cache.json", R"({"fetchedAt":5,"body":"{}","hidden":true})");
  write_bytes(s.data() / "pending-update.txt", "0.1.7\n");
  s.setup(/*hidden=*/true);

  EXPECT_EQ(s.w.ctx().settings_path, s.settings_file());
  EXPECT_EQ(s.w.ctx().settings.copy().mode, kModeZero);
  const auto ads = s.w.ctx().ads.copy();
  ASSERT_TRUE(ads);
  EXPECT_EQ(ads->fetched_at, 5u);
  EXPECT_FALSE(fs::exists(s.data() / "pending-update.txt"));
  EXPECT_EQ(s.threads, (std::vector<std::string>{"hook supervisor", "remote disable", "update check", "update result",
                                                 "advertisements", "layout watcher", "foreground watcher"}));
  EXPECT_FALSE(s.w.desk.windows.window("main").value_or(fake::FakeWebWindow{}).visible);
  EXPECT_EQ(read_bytes(s.settings_file()), settings) << "never written at start";
  EXPECT_TRUE(s.files().ops().empty());
}

TEST(SetupApp, TheThreadsAreNamedForTheSystemsTools) {
  SetupWorld s;
  std::promise<std::thread::id> ran;
  start_detached_thread("layout watcher", [&ran] { ran.set_value(std::this_thread::get_id()); });
  auto done = ran.get_future();
  ASSERT_EQ(done.wait_for(60s), std::future_status::ready);
  EXPECT_NE(done.get(), std::this_thread::get_id());
  EXPECT_EQ(s.w.desk.shell.thread_names(), std::vector<std::string>{"layout watcher"});
}

// A notice posted outside the shell reaches the toast window, and a state
// broadcast the tray, through what set-up installs (the fixture's own
// installation is taken away first).
TEST(SetupApp, ConnectsNoticesAndStateChangesToTheShell) {
  SetupWorld s;
  s.w.app().set_notice_sink({});
  s.w.app().set_state_changed_sink({});
  s.setup();
  s.w.t.sys.run_posted();
  emit_state_changed(s.w.app());
  EXPECT_EQ(s.w.t.sys.run_posted(), 1) << "the tray refresh";
  post_notice(s.w.app(), "a", "b", ToastKind::Info);
  EXPECT_TRUE(s.w.desk.windows.wait_for([](const std::vector<fake::WindowCall>& calls) {
    for (const fake::WindowCall& c : calls) {
      if (c.label == "toast" && c.op == "create") return true;
    }
    return false;
  }));
}

TEST(SetupApp, WithoutRoamingFolderTheDataLivesInTheTemporaryOne) {
  SetupWorld s;
  s.folders.roaming.reset();
  s.setup();
  EXPECT_EQ(s.w.ctx().settings_path, s.w.t.dir.path() / "temp" / "Harvel" / "settings.json");
}

// "Harvel" in a shared temporary folder may be another user's, with their
// settings and cards in it: then a fresh folder of this user's is used.
TEST(SetupApp, ATemporaryDataFolderOfAnotherUserIsNotUsed) {
  SetupWorld s;
  s.folders.roaming.reset();
  const fs::path theirs = s.w.t.dir.path() / "temp" / "Harvel";
  write_bytes(theirs / "settings.json", R"({"mode":"zero","apps":[{"name":"X","exe":"x.exe","mode":"off"}]})");
  write_bytes(theirs / "ads-cache.json", R"({"fetchedAt":5,"body":"{}","hidden":false})");
  s.folders.foreign.insert(path_to_utf8(theirs));
  s.setup();
  EXPECT_EQ(s.w.ctx().settings_path, s.w.t.dir.path() / "temp" / "Harvel-1" / "settings.json");
  EXPECT_EQ(s.w.ctx().settings.copy().mode, kModeHybrid);
  EXPECT_FALSE(s.w.ctx().ads.copy());
  s.change();
  EXPECT_TRUE(fs::exists(s.w.t.dir.path() / "temp" / "Harvel-1" / "settings.json"));
  EXPECT_EQ(read_bytes(theirs / "settings.json"), R"({"mode":"zero","apps":[{"name":"X","exe":"x.exe","mode":"off"}]})");
}

// With no folder at all nothing is read or written, not even beside the
// working folder.
TEST(SetupApp, WithoutAnyFolderNothingIsReadOrWritten) {
  SetupWorld s;
  s.folders.roaming.reset();
  s.folders.temp.reset();
  s.setup();
  EXPECT_TRUE(s.w.ctx().settings_path.empty());
  s.change();
  EXPECT_TRUE(s.files().ops().empty());
  EXPECT_TRUE(pending_update_file_path(s.w.app()).empty());
  EXPECT_TRUE(ads_cache_file_path(s.w.ctx().settings_path).empty());
}

TEST(SetupApp, PortableFlagFromTheProgramsFolder) {
  struct Case {
    const char* what;
    bool uninstaller;
    bool exe_known;
    bool portable;
  };
  for (const Case c : {Case{"installed", true, true, false}, Case{"portable", false, true, true},
                       Case{"program path unknown", true, false, true}}) {
    SCOPED_TRACE(c.what);
    SetupWorld s;
    if (c.uninstaller) write_bytes(s.program_folder() / "uninstall.exe", "");
    if (!c.exe_known) s.w.desk.shell.exe_path.reset();
    s.setup();
    EXPECT_EQ(portable_flag(), c.portable);
    EXPECT_EQ(build_state_snapshot(s.w.app()).update.portable, c.portable);
  }
}

// Start with the system as the settings say, for this copy: an uninstaller
// removed the entry, or another copy wrote it. Nothing when they say off.
TEST(SetupApp, StartWithTheSystemIsRestoredForThisCopy) {
  enum class Entry { Missing, AnotherProgram, ThisCopy };
  struct Case {
    const char* what;
    bool startup;
    Entry entry;
    bool written;
  };
  const Case cases[] = {
      {"on, missing", true, Entry::Missing, true},
      {"on, another program", true, Entry::AnotherProgram, true},
      {"on, this copy", true, Entry::ThisCopy, false},
      {"off, missing", false, Entry::Missing, false},
      {"off, another program", false, Entry::AnotherProgram, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetupWorld s;
    const std::string ours = "\"" + path_to_utf8(s.program_folder() / "harvel.exe") + "\" --hidden";
    const std::string other = "\"C:\\Old\\harvel.exe\" --hidden";
    write_bytes(s.settings_file(), c.startup ? R"({"startup":true})" : R"({"startup":false})");
    if (c.entry != Entry::Missing) s.w.desk.shell.write_autostart_entry(c.entry == Entry::ThisCopy ? ours : other);
    const std::size_t before = s.w.desk.shell.autostart_calls().size();
    s.setup();
    const std::vector<std::string> all = s.w.desk.shell.autostart_calls();
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()),
              c.written ? std::vector<std::string>{"write:" + ours} : std::vector<std::string>{});
    EXPECT_TRUE(s.files().ops().empty()) << "the settings file is not written";
  }
}

TEST(SetupApp, SettingsFileThatDidNotLoadIsKeptAsideAtTheFirstSave) {
  SetupWorld s;
  const std::string broken = R"({"mode":"zero","enabled":1,"apps":[{"name":"Kod","exe":"code.exe","mode":"off"}]})";
  write_bytes(s.settings_file(), broken);
  write_bytes(s.data() / "settings.json.bad", "an older broken file");
  s.setup();
  EXPECT_EQ(s.w.ctx().settings.copy().mode, kModeHybrid);  // the loading rules hold: all defaults
  EXPECT_EQ(read_bytes(s.settings_file()), broken);

  s.change();
  EXPECT_EQ(read_bytes(s.data() / "settings.json.bad"), broken);
  EXPECT_EQ(load_settings(s.settings_file()), s.w.ctx().settings.copy());
  EXPECT_EQ(s.files().ops(),
            (std::vector<std::string>{"create settings.json.tmp", "link settings.json > settings.json.bad",
                                      "rename settings.json.tmp > settings.json"}));

  // Later saves replace the good file only.
  s.files().clear_ops();
  s.change();
  EXPECT_EQ(read_bytes(s.data() / "settings.json.bad"), broken);
  EXPECT_EQ(s.files().ops(),
            (std::vector<std::string>{"create settings.json.tmp", "rename settings.json.tmp > settings.json"}));
}

TEST(SetupApp, NoCopyOfASettingsFileThatLoadedOrWasMissing) {
  for (const bool present : {true, false}) {
    SCOPED_TRACE(present ? "loaded" : "missing");
    SetupWorld s;
    if (present) write_bytes(s.settings_file(), R"({"mode":"fast"})");
    s.setup();
    s.change();
    EXPECT_FALSE(fs::exists(s.data() / "settings.json.bad"));
    EXPECT_EQ(load_settings(s.settings_file()).theme, "dark");
  }
}

TEST(SetupApp, BrokenSettingsFileIsNotReplacedWhenItCannotBeKept) {
  SetupWorld s;
  write_bytes(s.settings_file(), "{");
  s.setup();
  s.files().fail_from(s.settings_file());
  s.change();
  EXPECT_EQ(read_bytes(s.settings_file()), "{");
  EXPECT_FALSE(fs::exists(s.data() / "settings.json.bad"));
  EXPECT_FALSE(fs::exists(s.data() / "settings.json.tmp"));
  EXPECT_EQ(s.w.ctx().settings.copy().theme, "dark") << "memory still takes the change";
}

// The first save after a file that did not load, killed after any of its
// steps: there is always a settings.json, the old or the new, and once the
// new one is there the old one is kept aside.
TEST(SetupApp, TheFirstSaveAfterARejectedFileMayBeKilledAtAnyStep) {
  const std::string broken = R"({"mode":"zero","enabled":1})";
  for (std::size_t steps = 0; steps <= 3; ++steps) {
    SCOPED_TRACE(steps);
    SetupWorld s;
    write_bytes(s.settings_file(), broken);
    s.setup();
    s.files().crash_after(steps);
    s.change();
    ASSERT_TRUE(fs::exists(s.settings_file()));
    const std::string text = read_bytes(s.settings_file());
    if (text == broken) {
      EXPECT_LT(steps, 3u) << "the whole save ran";
      continue;
    }
    EXPECT_EQ(load_settings(s.settings_file()).theme, "dark");
    EXPECT_EQ(read_bytes(s.data() / "settings.json.bad"), broken);
  }
}

TEST(Setup, HiddenFlag) {
  EXPECT_TRUE(hidden_flag({"harvel.exe", "--hidden"}));
  EXPECT_TRUE(hidden_flag({"--hidden"}));  // the program path counts too
  EXPECT_FALSE(hidden_flag({"harvel.exe", "--Hidden", "-hidden", "--hidden=1"}));
}

TEST(Setup, MainWindowClosesOnlyBeforeOnboardingOrWhenQuitting) {
  struct Case {
    bool onboarded;
    bool quitting;
    bool prevented;
  };
  for (const Case c : {Case{false, false, false}, Case{true, false, true}, Case{true, true, false}}) {
    Settings s = default_settings();
    s.onboarded = c.onboarded;
    TestApp t(s);
    t.ctx().quitting = c.quitting;
    os::WindowEvent close{os::WindowEventKind::CloseRequested};
    on_window_event(t.app, "main", close);
    EXPECT_EQ(close.prevent_close, c.prevented) << c.onboarded << c.quitting;
  }
  App no_state;  // before set-up the window just closes
  os::WindowEvent close{os::WindowEventKind::CloseRequested};
  on_window_event(no_state, "main", close);
  EXPECT_FALSE(close.prevent_close);
}

TEST(Setup, PopupIsNeverClosedAndKeepsTheFocusForItsFirst200Ms) {
  TestApp t;
  os::WindowEvent close{os::WindowEventKind::CloseRequested};
  on_window_event(t.app, "popup", close);
  EXPECT_TRUE(close.prevent_close);

  tray_click_state().with([&](TrayClickState& s) {
    s.popup_open = true;
    s.shown_at = t.sys.now();
  });
  t.sys.advance(150ms);
  os::WindowEvent blur{os::WindowEventKind::Unfocused};
  on_window_event(t.app, "popup", blur);
  EXPECT_TRUE(tray_click_state().copy().popup_open);  // too soon: it stays
  tray_click_state().set(TrayClickState{});
}

TEST(Setup, ExitStopsTheHookThread) {
  TestApp t;
  t.ctx().hook_thread.set(HookThread{std::thread{}, std::make_shared<std::atomic<bool>>(false), 42});
  on_app_exit(t.app);
  EXPECT_FALSE(t.ctx().hook_thread.with([](const std::optional<HookThread>& r) { return r.has_value(); }));
  EXPECT_EQ(t.hook.quits_posted(), 1);
  App no_state;
  on_app_exit(no_state);  // tolerated before set-up
}

}  // namespace
}  // namespace harvel
