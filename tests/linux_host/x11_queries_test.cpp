// The host's X11 queries against real windows on the private display: the
// active window and its program, the window list, the keyboard layout and
// its probe letters, icons from desktop entries and the file chooser. The
// display has no window manager, so the tests write the root window's
// _NET_ACTIVE_WINDOW and client list themselves, as a manager would.
#include <fcntl.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/app.h"
#include "core/text.h"
#include "host_fixture.h"
#include "keyboard/foreground.h"
#include "keyboard/layout_watcher.h"
#include "platform/linux/linux_system.h"
#include "shell/app_info.h"
#include "shell/app_lists.h"

// Xlib's macros (None, Success, ...) clash with names of the program.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace harvel::linux_host {
namespace {

namespace fs = std::filesystem;

// One x11_probe_window process and its window.
class Probe {
 public:
  explicit Probe(std::vector<std::string> args) {
    args.insert(args.begin(), HARVEL_X11_PROBE);
    const testing::PipedChild child = testing::spawn_piped(std::move(args));
    pid_ = child.pid;
    stdin_ = child.in;
    std::string line;
    char c = 0;
    while (read(child.out, &c, 1) == 1 && c != '\n') line.push_back(c);
    if (child.out >= 0) close(child.out);
    window_ = static_cast<uint32_t>(std::strtoul(line.c_str(), nullptr, 10));
  }
  ~Probe() {
    if (stdin_ >= 0) close(stdin_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  uint32_t window() const { return window_; }
  uint32_t pid() const { return static_cast<uint32_t>(pid_); }

 private:
  pid_t pid_ = 0;
  int stdin_ = -1;
  uint32_t window_ = 0;
};

// The test's own connection, standing in for the window manager.
class Manager {
 public:
  Manager() : d_(XOpenDisplay(nullptr)) {}
  ~Manager() {
    for (const std::string& name : written_) XDeleteProperty(d_, root(), atom(name));
    XCloseDisplay(d_);
  }
  Display* display() { return d_; }
  Window root() { return DefaultRootWindow(d_); }
  Atom atom(const std::string& name) { return XInternAtom(d_, name.c_str(), False); }
  void set_windows(const std::string& name, const std::vector<uint32_t>& windows) {
    std::vector<long> values(windows.begin(), windows.end());
    XChangeProperty(d_, root(), atom(name), XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
    XSync(d_, False);
    written_.push_back(name);
  }
  void remove(const std::string& name) {
    XDeleteProperty(d_, root(), atom(name));
    XSync(d_, False);
  }

 private:
  Display* d_;
  std::vector<std::string> written_;
};

std::u16string probe_path() { return text::utf8_to_utf16(fs::canonical(HARVEL_X11_PROBE).string()); }

TEST(LinuxForeground, ActiveWindowItsProgramAndClass) {
  testing::start_host_once();
  Probe probe({"Sinov oynasi", "harvel-probe", "HarvelProbe"});
  ASSERT_NE(probe.window(), 0u);
  Manager wm;
  wm.set_windows("_NET_ACTIVE_WINDOW", {probe.window()});

  os::Foreground& fg = *os::platform().foreground;
  ASSERT_EQ(fg.foreground_window(), probe.window());
  uint32_t pid = 0;
  const uint32_t thread = fg.window_thread_process_id(probe.window(), pid);
  EXPECT_EQ(pid, probe.pid());
  EXPECT_EQ(thread, probe.window());
  EXPECT_EQ(fg.process_image_path(pid), probe_path());
  EXPECT_EQ(fg.class_name(probe.window(), 64), u"HarvelProbe");
  EXPECT_EQ(fg.class_name(probe.window(), 6), u"Harve") << "cut as GetClassNameW cuts";
  const auto info = fg.gui_thread_info(thread);
  ASSERT_TRUE(info.has_value());
  // The focused control is the window's, named apart from the window; a
  // program without accessibility support has no password field.
  EXPECT_NE(info->focus, probe.window());
  uint32_t focus_pid = 0;
  EXPECT_EQ(fg.window_thread_process_id(info->focus, focus_pid), probe.window());
  EXPECT_EQ(focus_pid, probe.pid());
  EXPECT_EQ(fg.window_style(info->focus), 0);
  EXPECT_EQ(fg.class_name(info->focus, 64), u"");
  EXPECT_EQ(fg.process_elevated(pid), false);
  EXPECT_EQ(fg.process_elevated(0x3FFFFFF0), std::nullopt) << "no such process";

  // The portable queries on top.
  const ForegroundApp app = foreground_app();
  EXPECT_EQ(app.exe, "x11_probe_window");
  EXPECT_EQ(app.thread, probe.window());
  EXPECT_FALSE(is_foreground_process_elevated());
  EXPECT_FALSE(foreground_is_shell_window());

  // The manager says no window is active.
  wm.set_windows("_NET_ACTIVE_WINDOW", {0});
  EXPECT_EQ(foreground_app(), ForegroundApp{});
  EXPECT_TRUE(is_foreground_process_elevated()) << "nothing to ask: treated as elevated";
}

TEST(LinuxForeground, WithoutAWindowManagerTheFocusedTopLevelWindow) {
  testing::start_host_once();
  Manager wm;
  wm.remove("_NET_ACTIVE_WINDOW");
  Probe probe({"Fokus", "focus-probe", "FocusProbe"});  // takes the input focus itself
  ASSERT_NE(probe.window(), 0u);
  EXPECT_EQ(os::platform().foreground->foreground_window(), probe.window());
  uint32_t pid = 1;
  EXPECT_EQ(os::platform().foreground->window_thread_process_id(0x3FFFFFF0, pid), 0u) << "a window that does not exist";
  EXPECT_EQ(pid, 0u);
}

TEST(LinuxForeground, AWindowThatNamesNoProcessHasItsClientsProcess) {
  testing::start_host_once();
  // As Tk's windows: no _NET_WM_PID. The server knows its local client.
  Manager wm;
  const Window w = XCreateSimpleWindow(wm.display(), wm.root(), 0, 0, 10, 10, 0, 0, 0);
  XSync(wm.display(), False);
  uint32_t pid = 0;
  EXPECT_EQ(os::platform().foreground->window_thread_process_id(w, pid), w);
  EXPECT_EQ(pid, static_cast<uint32_t>(getpid()));
  XDestroyWindow(wm.display(), w);
  XSync(wm.display(), False);
}

TEST(LinuxForeground, ClassNamesAreLatin1) {
  testing::start_host_once();
  Manager wm;
  const Window w = XCreateSimpleWindow(wm.display(), wm.root(), 0, 0, 10, 10, 0, 0, 0);
  static const char kClass[] = "caf\xE9\0Caf\xE9 \xC7" "ay\0";  // "café", "Café Çay" in Latin-1
  XChangeProperty(wm.display(), w, XA_WM_CLASS, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(kClass), static_cast<int>(sizeof kClass - 1));
  XSync(wm.display(), False);
  os::Foreground& fg = *os::platform().foreground;
  EXPECT_EQ(fg.class_name(w, 64), u"Caf\u00E9 \u00C7ay");
  EXPECT_EQ(fg.class_name(w, 5), u"Caf\u00E9");
  XDestroyWindow(wm.display(), w);
  XSync(wm.display(), False);
}

TEST(LinuxApps, WindowListFromTheManagersStacking) {
  testing::start_host_once();
  Probe normal({"Oddiy", "a", "A", "normal"});
  Probe utility({"Asbob", "b", "B", "utility"});
  Probe no_taskbar({"Panelsiz", "c", "C", "skip-taskbar"});
  Manager wm;
  // A window of this very process: the host's own windows are not listed.
  const Window own = XCreateSimpleWindow(wm.display(), wm.root(), 0, 0, 10, 10, 0, 0, 0);
  const long own_pid = getpid();
  XChangeProperty(wm.display(), own, wm.atom("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&own_pid), 1);
  wm.set_windows("_NET_CLIENT_LIST_STACKING",
                 {static_cast<uint32_t>(own), normal.window(), utility.window(), no_taskbar.window()});

  LinuxApps& apps = *static_cast<LinuxApps*>(os::platform().apps);
  const std::vector<os::TopLevelWindow> windows = apps.top_level_windows();
  ASSERT_EQ(windows.size(), 3u);
  EXPECT_EQ(windows[0].window, no_taskbar.window()) << "topmost first";
  EXPECT_EQ(windows[0].ex_style, os::WS_EX_TOOLWINDOW);
  EXPECT_EQ(windows[1].window, utility.window());
  EXPECT_EQ(windows[1].ex_style, os::WS_EX_TOOLWINDOW);
  EXPECT_EQ(windows[2].window, normal.window());
  EXPECT_EQ(windows[2].ex_style, 0);
  EXPECT_TRUE(windows[2].visible);
  EXPECT_EQ(windows[2].title_length, 5);
  EXPECT_EQ(windows[2].pid, normal.pid());

  // The portable list on top: one entry for the probe program, from its
  // normal window, with the theme's program icon.
  const std::vector<AppInfo> list = list_running_apps_blocking(default_settings());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].exe, "x11_probe_window");
  EXPECT_EQ(list[0].name, "X11_probe_window");
  ASSERT_TRUE(list[0].icon.has_value()) << "the theme's application-x-executable";
  EXPECT_TRUE(list[0].icon->starts_with("data:image/png;base64,"));

  // Without the manager's lists: the root's mapped children.
  wm.remove("_NET_CLIENT_LIST_STACKING");
  bool found = false;
  for (const os::TopLevelWindow& w : apps.top_level_windows()) {
    EXPECT_NE(w.window, own) << "own window";
    if (w.window != normal.window()) continue;
    found = true;
    EXPECT_TRUE(w.visible);
    EXPECT_EQ(w.ex_style, 0);
  }
  EXPECT_TRUE(found);
  XDestroyWindow(wm.display(), own);
}

// ---- keyboard layout ------------------------------------------------------------------

void lock_group(Display* d, unsigned group) {
  XkbLockGroup(d, XkbUseCoreKbd, group);
  XSync(d, False);
}

class XkbLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::start_host_once();
    saved_ = os::platform();
    os::Platform p = saved_;
    p.keyboard = &keyboard;
    os::install_platform(p);
  }
  void TearDown() override {
    ASSERT_EQ(std::system("setxkbmap -layout us"), 0);
    lock_group(wm.display(), 0);
    os::install_platform(saved_);
  }
  static std::string missing(os::LayoutHandle h) {
    const std::vector<char> letters = missing_probe_letters(h);
    return std::string(letters.begin(), letters.end());
  }
  LinuxKeyboardInput keyboard;
  os::Platform saved_;
  Manager wm;
};

TEST_F(XkbLayoutTest, GroupsAreLayoutsWithLangidsAndProbeLetters) {
  ASSERT_EQ(std::system("setxkbmap -layout us,ru"), 0);
  lock_group(wm.display(), 0);
  const os::LayoutHandle us = keyboard.keyboard_layout(0);
  EXPECT_EQ(us, 0x10409u);
  EXPECT_EQ(keyboard.keyboard_layout(1234), us) << "one layout for every thread";
  EXPECT_EQ(missing(us), "");
  EXPECT_EQ(keyboard.map_virtual_key('W', os::MAPVK_VK_TO_VSC, us), 0x11u);

  lock_group(wm.display(), 1);
  const os::LayoutHandle ru = keyboard.keyboard_layout(0);
  EXPECT_EQ(ru, 0x20419u);
  EXPECT_EQ(missing(ru), "WCSOG");
  EXPECT_EQ(layout_display_name(ru & 0xFFFF, std::nullopt), "Rus");

  std::array<uint8_t, 256> state{};
  std::array<char16_t, 8> out{};
  const uint32_t scan = keyboard.map_virtual_key('W', os::MAPVK_VK_TO_VSC, ru);
  EXPECT_EQ(scan, 0x11u) << "a letter the layout lacks: its US key";
  ASSERT_EQ(keyboard.to_unicode('W', scan, state, out, 4, ru), 1);
  EXPECT_EQ(out[0], u'ц');
  state[0x10] = 0x80;
  ASSERT_EQ(keyboard.to_unicode('W', scan, state, out, 4, ru), 1);
  EXPECT_EQ(out[0], u'Ц');
  // The other group still answers for itself while this one is active.
  state = {};
  ASSERT_EQ(keyboard.to_unicode('W', keyboard.map_virtual_key('W', 0, us), state, out, 4, us), 1);
  EXPECT_EQ(out[0], u'w');
  state[0x14] = 1;  // Caps Lock
  ASSERT_EQ(keyboard.to_unicode('W', 0, state, out, 4, us), 1);
  EXPECT_EQ(out[0], u'W');
}

TEST_F(XkbLayoutTest, VirtualKeysFollowTheLettersOfTheLayout) {
  // Left locked on the second group of a keymap that had two.
  ASSERT_EQ(std::system("setxkbmap -layout us,ru"), 0);
  lock_group(wm.display(), 1);
  ASSERT_EQ(std::system("setxkbmap -layout fr"), 0);  // AZERTY: A and Q, Z and W swapped
  const os::LayoutHandle fr = keyboard.keyboard_layout(0);
  EXPECT_EQ(fr & 0xFFFF, 0x040Cu);
  EXPECT_EQ(missing(fr), "");
  EXPECT_EQ(keyboard.map_virtual_key('W', 0, fr), 0x2Cu) << "the key that types w";

  ASSERT_EQ(std::system("setxkbmap -layout uz -variant latin"), 0);
  const os::LayoutHandle uz = keyboard.keyboard_layout(0);
  EXPECT_EQ(uz & 0xFFFF, 0x0443u);
  EXPECT_EQ(layout_display_name(uz & 0xFFFF, std::nullopt), "O‘zbek (lotin)");
  ASSERT_EQ(std::system("setxkbmap -layout uz"), 0);
  EXPECT_EQ(keyboard.keyboard_layout(0) & 0xFFFF, 0x0843u);
}

TEST_F(XkbLayoutTest, TheLayoutWatcherFollowsTheActiveWindowsGroup) {
  ASSERT_EQ(std::system("setxkbmap -layout us,ru"), 0);
  lock_group(wm.display(), 0);
  Probe probe({"Matn", "text", "Text"});
  wm.set_windows("_NET_ACTIVE_WINDOW", {probe.window()});
  Settings settings = default_settings();
  settings.mode = kModeEnglish;  // no notices: this test has no toast window
  App app;
  app.manage(std::make_unique<Ctx>(fs::temp_directory_path() / ("harvel-layout-" + std::to_string(getpid()) + ".json"),
                                   settings));
  LayoutWatcher watcher(app);
  watcher.poll();
  EXPECT_EQ(current_layout_info().name, "English (US)");
  EXPECT_TRUE(current_layout_info().compatible);
  lock_group(wm.display(), 1);
  watcher.poll();
  EXPECT_TRUE(current_layout_info().compatible) << "seen once: not accepted yet";
  watcher.poll();
  const LayoutInfo ru = current_layout_info();
  EXPECT_FALSE(ru.compatible);
  EXPECT_EQ(ru.name, "Rus");
  EXPECT_EQ(ru.reason, "bu tartibda W C S O G harflari yo‘q");
  lock_group(wm.display(), 0);
  watcher.poll();
  watcher.poll();
  EXPECT_TRUE(current_layout_info().compatible);
}

// ---- icons and the file chooser -----------------------------------------------------------

using testing::ScopedEnv;

TEST(LinuxApps, InstalledProgramsAndTheirIconsFromDesktopEntries) {
  testing::start_host_once();
  char name[] = "/tmp/harvel-icons-XXXXXX";
  const fs::path root = mkdtemp(name);
  const fs::path program = root / "bin" / "rangli";
  fs::create_directories(program.parent_path());
  std::ofstream(program) << "#!/bin/sh\n";
  fs::permissions(program, fs::perms::owner_all);
  // A 4x4 icon of one colour with some transparency.
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 4, 4);
  gdk_pixbuf_fill(pixbuf, 0x20408080);
  ASSERT_TRUE(gdk_pixbuf_save(pixbuf, (root / "rangli.png").c_str(), "png", nullptr, nullptr));
  g_object_unref(pixbuf);
  fs::create_directories(root / "data" / "applications");
  std::ofstream(root / "data" / "applications" / "rangli.desktop")
      << "[Desktop Entry]\nType=Application\nName=Rangli dastur\nExec=" << program.string()
      << " %F\nIcon=" << (root / "rangli.png").string() << "\n";
  ScopedEnv data_home("XDG_DATA_HOME", (root / "data").string());
  ScopedEnv data_dirs("XDG_DATA_DIRS", (root / "none").string());

  LinuxApps& apps = *static_cast<LinuxApps*>(os::platform().apps);
  const std::vector<os::ShellAppItem> items = apps.applications_folder_items();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].display_name, u"Rangli dastur");
  EXPECT_EQ(items[0].target_path, text::utf8_to_utf16(fs::canonical(program).string()));

  const std::optional<os::IconBitmap> icon = apps.shell_icon(to_wide_nul(fs::canonical(program).string()));
  ASSERT_TRUE(icon.has_value());
  EXPECT_EQ(icon->width, 32u);
  EXPECT_EQ(icon->height, 32u);
  ASSERT_EQ(icon->bgra.size(), 32u * 32 * 4);
  EXPECT_EQ((std::vector<uint8_t>(icon->bgra.begin(), icon->bgra.begin() + 4)),
            (std::vector<uint8_t>{0x80, 0x40, 0x20, 0x80}));

  // The portable list: a Linux program needs no ".exe" and no PE header.
  const std::vector<AppInfo> list = list_installed_apps_blocking(default_settings());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].exe, "rangli");
  EXPECT_EQ(list[0].name, "Rangli dastur");
  EXPECT_TRUE(list[0].icon.has_value());
  fs::remove_all(root);
}

struct ChooserAnswer {
  std::string filter_name;
  std::string choose;  // empty: cancel
  bool answered = false;
};

gboolean answer_chooser(gpointer data) {
  auto* a = static_cast<ChooserAnswer*>(data);
  GList* all = gtk_window_list_toplevels();
  for (GList* l = all; l != nullptr; l = l->next) {
    if (!GTK_IS_FILE_CHOOSER_DIALOG(l->data) || !gtk_widget_get_visible(GTK_WIDGET(l->data))) continue;
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(l->data);
    if (GtkFileFilter* f = gtk_file_chooser_get_filter(chooser)) a->filter_name = gtk_file_filter_get_name(f);
    if (a->choose.empty()) {
      gtk_dialog_response(GTK_DIALOG(l->data), GTK_RESPONSE_CANCEL);
    } else {
      gtk_file_chooser_set_filename(chooser, a->choose.c_str());
      gchar* now = gtk_file_chooser_get_filename(chooser);
      const bool ready = now != nullptr && a->choose == now;
      g_free(now);
      if (!ready) break;  // the folder is still loading: next time
      gtk_dialog_response(GTK_DIALOG(l->data), GTK_RESPONSE_ACCEPT);
    }
    a->answered = true;
    g_list_free(all);
    return G_SOURCE_REMOVE;
  }
  g_list_free(all);
  return G_SOURCE_CONTINUE;
}

TEST(LinuxApps, FileChooserAnswersThePathOrNothing) {
  testing::start_host_once();
  os::Apps& apps = *os::platform().apps;
  ChooserAnswer cancel;
  g_timeout_add(20, answer_chooser, &cancel);
  EXPECT_EQ(apps.open_file_dialog(u"Dastur (*.exe)", u"*.exe"), std::nullopt);
  EXPECT_TRUE(cancel.answered);
  EXPECT_EQ(cancel.filter_name, "Dastur");

  ChooserAnswer pick;
  pick.choose = fs::canonical(HARVEL_X11_PROBE).string();
  g_timeout_add(20, answer_chooser, &pick);
  EXPECT_EQ(apps.open_file_dialog(u"Dastur (*.exe)", u"*.exe"), text::utf8_to_utf16(pick.choose));
  EXPECT_TRUE(pick.answered);
}

}  // namespace
}  // namespace harvel::linux_host
