// The Linux host's shell services and desktop entries: the autostart file
// and its quoting, detached processes, background priority, desktop-entry
// parsing, the XDG folder order and the programs entries start.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "core/services.h"
#include "host_fixture.h"
#include "platform/linux/linux_host.h"
#include "platform/linux/linux_system.h"

namespace harvel::linux_host {
namespace {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    char name[] = "/tmp/harvel-linux-XXXXXX";
    path_ = mkdtemp(name);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

using testing::ScopedEnv;

std::string read_text(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_text(const fs::path& p, std::string_view text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

void make_program(const fs::path& p) {
  write_text(p, "#!/bin/sh\nexit 0\n");
  fs::permissions(p, fs::perms::owner_all);
}

// ---- autostart -------------------------------------------------------------------

TEST(LinuxAutostart, FileFollowsXdgConfigHome) {
  TempFolder home;
  {
    ScopedEnv config("XDG_CONFIG_HOME", (home.path() / "cfg").string());
    EXPECT_EQ(autostart_file_path(), home.path() / "cfg" / "autostart" / "harvel.desktop");
  }
  ScopedEnv h("HOME", home.path().string());
  for (const char* value : {"", "relative/cfg"}) {  // not usable: ~/.config
    ScopedEnv config("XDG_CONFIG_HOME", std::string(value));
    EXPECT_EQ(autostart_file_path(), home.path() / ".config" / "autostart" / "harvel.desktop") << value;
  }
}

TEST(LinuxAutostart, ExecQuotesThePathAndReadsBackWhole) {
  const std::vector<std::string> paths = {
      "/opt/Harvel/harvel",
      "/home/u/My Apps/harvel",
      "/tmp/q\"uote/back\\slash/$HOME/`cmd`/100%/harvel",
      "/tmp/tab\there/new\nline/harvel",
      "/tmp/ş ç ö ğ/harvel",
  };
  for (const std::string& path : paths) {
    const std::string text = autostart_file_text(autostart_command_text(path));
    const std::optional<DesktopEntry> entry = parse_desktop_entry(text, "C");
    ASSERT_TRUE(entry.has_value()) << text;
    EXPECT_EQ(entry->type, "Application");
    EXPECT_EQ(entry->name, "Harvel");
    EXPECT_EQ(split_desktop_exec(entry->exec), (std::vector<std::string>{path, "--hidden"})) << text;
    EXPECT_TRUE(entry->exec.ends_with("\" --hidden")) << entry->exec;
    EXPECT_EQ(entry->try_exec, path) << text;
    EXPECT_EQ(entry->icon, "harvel");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8) << "one line per key: " << text;
  }
  EXPECT_EQ(autostart_file_text("\"/opt/My Apps/harvel\" --hidden"),
            "[Desktop Entry]\nType=Application\nName=Harvel\nExec=\"/opt/My Apps/harvel\" --hidden\n"
            "TryExec=/opt/My Apps/harvel\nIcon=harvel\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
  EXPECT_EQ(desktop_exec_quoted("a\"b`c$d\\e%f"), "\"a\\\"b\\`c\\$d\\\\e%%f\"");
  EXPECT_EQ(desktop_string_escaped("a\\b\nc\td\re"), "a\\\\b\\nc\\td\\re");
}

TEST(LinuxAutostart, WriteAndRemoveThroughTheShell) {
  TempFolder home;
  ScopedEnv config("XDG_CONFIG_HOME", home.path().string());
  LinuxShell shell;
  const fs::path file = home.path() / "autostart" / "harvel.desktop";
  EXPECT_FALSE(shell.autostart_entry_is("\"/opt/Harvel App/harvel\" --hidden"));
  shell.write_autostart_entry("\"/opt/Harvel App/harvel\" --hidden");
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(read_text(file), autostart_file_text("\"/opt/Harvel App/harvel\" --hidden"));
  EXPECT_FALSE(fs::exists(file.string() + ".tmp"));
  EXPECT_TRUE(shell.autostart_entry_is("\"/opt/Harvel App/harvel\" --hidden"));
  shell.write_autostart_entry("\"/opt/Other/harvel\" --hidden");  // replaced whole
  EXPECT_EQ(read_text(file), autostart_file_text("\"/opt/Other/harvel\" --hidden"));
  EXPECT_FALSE(shell.autostart_entry_is("\"/opt/Harvel App/harvel\" --hidden"));
  shell.remove_autostart_entry();
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(shell.autostart_entry_is("\"/opt/Other/harvel\" --hidden"));
  shell.remove_autostart_entry();  // already gone: fine
  EXPECT_FALSE(fs::exists(file));
}

TEST(LinuxAutostart, SetAutostartNamesThisProgram) {
  TempFolder home;
  ScopedEnv config("XDG_CONFIG_HOME", home.path().string());
  LinuxShell shell;
  const os::Platform saved = os::platform();
  os::Platform p = saved;
  p.shell = &shell;
  os::install_platform(p);
  set_autostart(true);
  const std::optional<DesktopEntry> entry =
      parse_desktop_entry(read_text(home.path() / "autostart" / "harvel.desktop"), "C");
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(split_desktop_exec(entry->exec),
            (std::vector<std::string>{fs::read_symlink("/proc/self/exe").string(), "--hidden"}));
  set_autostart(false);
  set_autostart(false);
  EXPECT_FALSE(fs::exists(home.path() / "autostart" / "harvel.desktop"));
  os::install_platform(saved);
}

TEST(LinuxFolders, PrivateFoldersAreThisUsersAlone) {
  TempFolder dir;
  LinuxFolders folders;
  const auto mode = [](const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
  };
  const fs::path made = dir.path() / "made";
  EXPECT_TRUE(folders.claim_private_folder(made.string()));
  EXPECT_EQ(mode(made), 0700u);
  EXPECT_TRUE(folders.claim_private_folder(made.string())) << "ours, a second time";

  const fs::path readable = dir.path() / "readable";
  fs::create_directory(readable);
  ::chmod(readable.c_str(), 0755);
  EXPECT_TRUE(folders.claim_private_folder(readable.string()));
  EXPECT_EQ(mode(readable), 0700u) << "closed to reading";

  const fs::path open = dir.path() / "open";
  fs::create_directory(open);
  ::chmod(open.c_str(), 01777);
  EXPECT_FALSE(folders.claim_private_folder(open.string())) << "others may write in it";
  fs::create_symlink(made, dir.path() / "link");
  EXPECT_FALSE(folders.claim_private_folder((dir.path() / "link").string()));
  write_text(dir.path() / "file", "x");
  EXPECT_FALSE(folders.claim_private_folder((dir.path() / "file").string()));
  if (::geteuid() == 0) {
    const fs::path theirs = dir.path() / "theirs";
    fs::create_directory(theirs);
    ::chmod(theirs.c_str(), 0700);
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(folders.claim_private_folder(theirs.string())) << "another user's";
  }

  const auto fresh = folders.make_private_folder(dir.path().string(), "Harvel-");
  ASSERT_TRUE(fresh);
  EXPECT_EQ(fs::path(*fresh).parent_path(), dir.path());
  EXPECT_EQ(fs::path(*fresh).filename().string().rfind("Harvel-", 0), 0u);
  EXPECT_EQ(mode(*fresh), 0700u);
  EXPECT_NE(folders.make_private_folder(dir.path().string(), "Harvel-"), fresh);
  EXPECT_FALSE(folders.make_private_folder((dir.path() / "missing").string(), "Harvel-"));
}

TEST(LinuxFiles, NewFilesRenamesAndSecondNames) {
  TempFolder dir;
  LinuxFiles files;
  const fs::path target = dir.path() / "settings.json";
  const fs::path temp = dir.path() / "settings.json.tmp";
  write_text(target, "an older and longer text");
  ASSERT_TRUE(files.create_flushed(temp, "new"));
  EXPECT_FALSE(files.create_flushed(temp, "newer")) << "a file already there is never opened";
  EXPECT_EQ(read_text(temp), "new");
  EXPECT_EQ(fs::status(temp).permissions() & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
  ASSERT_TRUE(files.rename_flushed(temp, target));
  EXPECT_EQ(read_text(target), "new");
  EXPECT_FALSE(fs::exists(temp));
  EXPECT_FALSE(files.rename_flushed(temp, target)) << "nothing to rename";

  ASSERT_TRUE(files.link_flushed(target, dir.path() / "settings.json.bad"));
  EXPECT_EQ(read_text(dir.path() / "settings.json.bad"), "new");
  EXPECT_FALSE(files.link_flushed(target, dir.path() / "settings.json.bad")) << "never over a file";

  EXPECT_FALSE(files.create_flushed(dir.path() / "missing" / "a.json", "x"));
  fs::create_directory(dir.path() / "folder");
  EXPECT_FALSE(files.create_flushed(dir.path() / "folder", "x"));
}

// A link planted where a temporary file goes (by whoever could write the
// folder) is never written through: not by the file write, not by a save.
TEST(LinuxFiles, PlantedLinksAreNotFollowed) {
  TempFolder dir;
  const fs::path victim = dir.path() / "victim";
  write_text(victim, "not to be overwritten");
  LinuxFiles files;
  fs::create_symlink(victim, dir.path() / "planted");
  fs::create_symlink(dir.path() / "nowhere", dir.path() / "dangling");
  EXPECT_FALSE(files.create_flushed(dir.path() / "planted", "x"));
  EXPECT_FALSE(files.create_flushed(dir.path() / "dangling", "x"));
  EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));

  const os::Platform saved = os::platform();
  os::Platform p = saved;
  p.files = &files;
  os::install_platform(p);
  const fs::path settings = dir.path() / "data" / "settings.json";
  fs::create_directories(settings.parent_path());
  fs::create_symlink(victim, dir.path() / "data" / "settings.json.tmp");
  fs::create_symlink(victim, dir.path() / "data" / "settings.json.bad");
  write_text(settings, "{");
  EXPECT_TRUE(write_settings_file(settings, "{}", /*keep_old=*/true));
  os::install_platform(saved);
  EXPECT_EQ(read_text(victim), "not to be overwritten");
  EXPECT_EQ(read_text(settings), "{}");
  EXPECT_EQ(read_text(dir.path() / "data" / "settings.json.bad"), "{");
  EXPECT_FALSE(fs::exists(dir.path() / "data" / "settings.json.tmp"));
}

TEST(LinuxShellServices, ExecutablePathOfAReplacedProgram) {
  TempFolder dir;
  const std::string program = (dir.path() / "harvel").string();
  const std::string marked = program + " (deleted)";
  EXPECT_EQ(live_executable_path(marked), program) << "removed while it ran";
  std::ofstream(program).put('x');
  EXPECT_EQ(live_executable_path(marked), program) << "upgraded while it ran";
  EXPECT_EQ(live_executable_path(program), program);
  std::ofstream(marked).put('x');  // a program whose name really ends so
  EXPECT_EQ(live_executable_path(marked), marked);
}

TEST(LinuxShellServices, ExecutablePathAndBrowser) {
  LinuxShell shell;
  EXPECT_EQ(shell.executable_path(), fs::read_symlink("/proc/self/exe").string());
  EXPECT_EQ(shell.browser_command("https://harvel.uz/a b"), (os::CommandLine{"xdg-open", {"https://harvel.uz/a b"}}));
}

// ---- detached processes -----------------------------------------------------------

// Waits for the file a child makes (with something in it, unless `empty`
// will do), for as long as a cold start on a loaded machine may take.
bool wait_for_file(const fs::path& p, bool empty = false) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code ec;
    if (fs::exists(p, ec) && (empty || fs::file_size(p, ec) > 0)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// The state letter of /proc/PID/stat ('Z' for a zombie); 0 when it is gone.
char process_state(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return 0;
  const std::size_t paren = line.rfind(')');
  return paren == std::string::npos || paren + 2 >= line.size() ? 0 : line[paren + 2];
}

TEST(LinuxShellServices, DetachedProcessInItsOwnSessionLeavesNoZombie) {
  TempFolder dir;
  const std::string out = (dir.path() / "child").string();
  // A descriptor this process did not mark close-on-exec: the child must
  // not get it.
  const int leaked = open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 3);
  // Reports its arguments, its pid and session, and the descriptors a
  // program it starts sees; the last file appears once all are written.
  const std::string script =
      "out=\"$1\"; shift; for a in \"$@\"; do echo \"[$a]\"; done > \"$out.args\"; "
      "echo \"$$ $(cut -d' ' -f6 /proc/$$/stat)\" > \"$out.ids\"; ls /proc/self/fd > \"$out.fds\"; "
      "mv \"$out.args\" \"$out.done\"";
  LinuxShell shell;
  shell.spawn_detached_process({"sh", {"-c", script, "sh", out, "two words", "", "ş \"q\" $HOME"}});
  close(leaked);
  ASSERT_TRUE(wait_for_file(out + ".done"));
  EXPECT_EQ(read_text(out + ".done"), "[two words]\n[]\n[ş \"q\" $HOME]\n");
  std::istringstream ids(read_text(out + ".ids"));
  pid_t pid = 0;
  pid_t session = 0;
  ids >> pid >> session;
  EXPECT_GT(pid, 0);
  EXPECT_EQ(session, pid) << "a session of its own";
  std::istringstream fds(read_text(out + ".fds"));
  for (int fd; fds >> fd;) EXPECT_LE(fd, 3) << "only the standard handles (and ls's own directory)";
  // Once the child has ended it is reaped, not left as a zombie.
  bool reaped = false;
  for (int i = 0; i < 300 && !reaped; ++i) {
    reaped = process_state(pid) == 0;
    if (!reaped) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(reaped) << "state " << process_state(pid);
}

// What starts is the file that was held and read, whatever its name points
// to by then.
TEST(LinuxShellServices, AHeldProgramIsStartedAsItWasRead) {
  TempFolder dir;
  const fs::path program = dir.path() / "Harvel-Setup-0.2.0.exe";
  fs::copy_file("/usr/bin/touch", program);
  LinuxShell shell;
  std::unique_ptr<os::HeldProgram> held = shell.hold_program(program.string());
  ASSERT_TRUE(held);
  std::vector<uint8_t> head(4);
  ASSERT_EQ(held->read(head), std::optional<std::size_t>(4));
  EXPECT_EQ(head, (std::vector<uint8_t>{0x7f, 'E', 'L', 'F'}));
  // Another program under the same name, after the check.
  fs::copy_file("/usr/bin/true", dir.path() / "swapped");
  fs::rename(dir.path() / "swapped", program);
  const fs::path marker = dir.path() / "touched";
  shell.spawn_held_program(std::move(held), {marker.string()});
  EXPECT_TRUE(wait_for_file(marker, /*empty=*/true)) << "the program under the new name ran, not the held one";
  EXPECT_FALSE(shell.hold_program((dir.path() / "missing").string()));
  fs::create_symlink(program, dir.path() / "link");
  EXPECT_FALSE(shell.hold_program((dir.path() / "link").string())) << "a link in its place";
}

TEST(LinuxShellServices, MissingProgramIsSilent) {
  LinuxShell shell;
  shell.spawn_detached_process({"/nonexistent/harvel-nothing", {"x"}});
  shell.spawn_detached_process({"harvel-no-such-program-on-path", {}});
}

TEST(LinuxShellServices, BackgroundPriorityIsThePerThreadNiceValue) {
  LinuxShell shell;
  const int before = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
  int inside = 0;
  std::thread worker([&] {
    shell.enter_background_priority();
    inside = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
  });
  worker.join();
  EXPECT_EQ(inside, 19);
  EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))), before) << "other threads unchanged";
}

// ---- desktop entries ----------------------------------------------------------------

TEST(DesktopEntryParse, KeysOfTheEntryGroup) {
  const std::string text =
      "# comment\n"
      "[Desktop Entry]\r\n"
      "Type = Application\n"
      "Name=Text Editor\n"
      "Name[uz]=Matn muharriri\n"
      "Name[uz_UZ@latin]=Matn tahrirlovchi\n"
      "Name[ru]=Редактор\n"
      "Exec=gedit %U\n"
      "Icon=org.gnome.gedit\n"
      "Terminal=false\n"
      "NoDisplay=true\n"
      "Name=Second Name Ignored\n"
      "\n"
      "[Desktop Action new-window]\n"
      "Name=New Window\n"
      "Exec=gedit --new-window\n"
      "Hidden=true\n";
  const std::optional<DesktopEntry> e = parse_desktop_entry(text, "C");
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->type, "Application");
  EXPECT_EQ(e->name, "Text Editor");
  EXPECT_EQ(e->exec, "gedit %U");
  EXPECT_EQ(e->icon, "org.gnome.gedit");
  EXPECT_FALSE(e->terminal);
  EXPECT_TRUE(e->no_display);
  EXPECT_FALSE(e->hidden) << "keys of other groups do not count";

  const std::pair<const char*, const char*> locales[] = {
      {"uz_UZ.UTF-8@latin", "Matn tahrirlovchi"}, {"uz_UZ.UTF-8", "Matn muharriri"}, {"uz", "Matn muharriri"},
      {"ru_RU.UTF-8", "Редактор"},                {"de_DE.UTF-8", "Text Editor"},     {"POSIX", "Text Editor"},
  };
  for (const auto& [locale, name] : locales) EXPECT_EQ(parse_desktop_entry(text, locale)->name, name) << locale;

  EXPECT_EQ(parse_desktop_entry("[Other Group]\nName=X\n", "C"), std::nullopt);
  EXPECT_EQ(parse_desktop_entry("", "C"), std::nullopt);
  EXPECT_EQ(parse_desktop_entry("[Desktop Entry]\nName=A\\sB\\\\C\\;D\n", "C")->name, "A B\\C\\;D");
}

TEST(DesktopEntryParse, ExecArguments) {
  struct Case {
    const char* exec;
    std::optional<std::vector<std::string>> args;
  };
  const Case cases[] = {
      {"gedit %U", std::vector<std::string>{"gedit"}},
      {"firefox-esr %u --new", std::vector<std::string>{"firefox-esr", "--new"}},
      {"\"/opt/My App/app\" --flag", std::vector<std::string>{"/opt/My App/app", "--flag"}},
      {"app \"\" end", std::vector<std::string>{"app", "", "end"}},
      {"\"/a/\\\"q\\\"/\\$x/\\`y\\`/b\\\\c\"", std::vector<std::string>{"/a/\"q\"/$x/`y`/b\\c"}},
      {"app 100%% \"50%%\"", std::vector<std::string>{"app", "100%", "50%"}},
      {"app   --a\t--b", std::vector<std::string>{"app", "--a", "--b"}},
      {"app --x=%f", std::vector<std::string>{"app", "--x="}},
      {"%F", std::vector<std::string>{}},
      {"\"unclosed", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(split_desktop_exec(c.exec), c.args) << c.exec;
}

TEST(DesktopEntries, FolderOrderFileIdsAndPrograms) {
  TempFolder root;
  const fs::path home = root.path() / "home" / "applications";
  const fs::path sys = root.path() / "sys" / "applications";
  const fs::path bin = root.path() / "bin";
  make_program(bin / "editor-real");
  fs::create_symlink(bin / "editor-real", bin / "editor");
  make_program(bin / "viewer");
  make_program(root.path() / "opt" / "Big App" / "bigapp");
  write_text(bin / "not-executable", "x");

  write_text(home / "editor.desktop", "[Desktop Entry]\nType=Application\nName=Mening muharririm\nExec=editor %F\n");
  write_text(sys / "editor.desktop", "[Desktop Entry]\nType=Application\nName=System Editor\nExec=editor\n");
  write_text(home / "removed.desktop", "[Desktop Entry]\nType=Application\nName=Removed\nExec=viewer\nHidden=true\n");
  write_text(sys / "removed.desktop", "[Desktop Entry]\nType=Application\nName=Shown?\nExec=viewer\n");
  write_text(sys / "kde" / "viewer.desktop",
             "[Desktop Entry]\nType=Application\nName=Viewer\nExec=env GDK_BACKEND=x11 FOO=1 viewer %u\n");
  write_text(sys / "big.desktop",
             "[Desktop Entry]\nType=Application\nName=Big\nExec=\"" +
                 (root.path() / "opt" / "Big App" / "bigapp").string() + "\"\n");
  write_text(sys / "term.desktop", "[Desktop Entry]\nType=Application\nName=Term\nExec=viewer\nTerminal=true\n");
  write_text(sys / "link.desktop", "[Desktop Entry]\nType=Link\nName=Site\nURL=https://harvel.uz\n");
  write_text(sys / "broken.desktop", "[Desktop Entry]\nType=Application\nName=Broken\nExec=not-executable\n");
  write_text(sys / "missing.desktop", "[Desktop Entry]\nType=Application\nName=Missing\nExec=harvel-nowhere\n");
  write_text(sys / "tryexec.desktop",
             "[Desktop Entry]\nType=Application\nName=Try\nExec=viewer\nTryExec=harvel-nowhere\n");
  write_text(sys / "readme.txt", "[Desktop Entry]\nType=Application\nName=Not an entry\nExec=viewer\n");

  ScopedEnv path("PATH", bin.string());
  const std::vector<DesktopEntry> entries = read_desktop_entries({home, sys}, "C");
  std::vector<std::string> ids;
  for (const DesktopEntry& e : entries) ids.push_back(e.id);
  EXPECT_EQ(ids, (std::vector<std::string>{"editor.desktop", "removed.desktop", "big.desktop", "broken.desktop",
                                           "kde-viewer.desktop", "link.desktop", "missing.desktop", "term.desktop",
                                           "tryexec.desktop"}));
  std::vector<std::pair<std::string, std::string>> listed;  // name, program
  for (const DesktopEntry& e : entries) {
    if (!is_listed_application(e)) continue;
    const auto program = desktop_entry_program(e);
    if (program) listed.emplace_back(e.name, program->string());
  }
  EXPECT_EQ(listed, (std::vector<std::pair<std::string, std::string>>{
                        {"Mening muharririm", fs::canonical(bin / "editor-real").string()},
                        {"Big", fs::canonical(root.path() / "opt" / "Big App" / "bigapp").string()},
                        {"Viewer", fs::canonical(bin / "viewer").string()},
                    }));
}

TEST(DesktopEntries, DataFolders) {
  {
    ScopedEnv data("XDG_DATA_HOME", std::string("/d/home"));
    ScopedEnv dirs("XDG_DATA_DIRS", std::string("/d/one:relative:/d/two/"));
    EXPECT_EQ(application_dirs(), (std::vector<fs::path>{"/d/home/applications", "/d/one/applications",
                                                         "/d/two/applications"}));
  }
  ScopedEnv home("HOME", std::string("/home/u"));
  ScopedEnv data("XDG_DATA_HOME", std::nullopt);
  ScopedEnv dirs("XDG_DATA_DIRS", std::nullopt);
  EXPECT_EQ(application_dirs(), (std::vector<fs::path>{"/home/u/.local/share/applications",
                                                       "/usr/local/share/applications", "/usr/share/applications"}));
}

TEST(XkbLayouts, Langids) {
  const struct {
    const char* layout;
    const char* variant;
    uint16_t langid;
  } cases[] = {
      {"us", "", 0x0409}, {"us", "dvorak", 0x0409}, {"gb", "", 0x0809},    {"ru", "", 0x0419},
      {"uz", "", 0x0843}, {"uz", "latin", 0x0443},  {"ch", "fr", 0x100C},  {"ch", "de", 0x0807},
      {"tr", "f", 0x041F}, {"zz", "", 0x0409},      {"", "", 0x0409},
  };
  for (const auto& c : cases) EXPECT_EQ(langid_for_xkb_layout(c.layout, c.variant), c.langid) << c.layout;
}

}  // namespace
}  // namespace harvel::linux_host
