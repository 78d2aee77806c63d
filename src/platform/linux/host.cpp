// Start-up of the Linux desktop host: GTK, the host's parts, the platform
// table, and the WebDriver hook used by the end-to-end tests.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/linux/http.h"
#include "platform/linux/linux_checker.h"
#include "platform/linux/linux_host.h"
#include "platform/linux/linux_system.h"
#include "platform/linux/tray.h"
#include "platform/linux/window_icon.h"

namespace harvel::linux_host {

namespace {

HostOptions g_options;
const auto g_started = std::chrono::steady_clock::now();

struct Host {
  std::unique_ptr<LinuxEventLoop> loop;
  std::unique_ptr<LinuxWebWindows> windows;
  std::unique_ptr<LinuxMonitors> monitors;
  std::unique_ptr<LinuxSingleInstance> single_instance;
  std::unique_ptr<LinuxGlobalShortcut> shortcut;
  std::unique_ptr<LinuxDialogs> dialogs;
  std::unique_ptr<LinuxTray> tray;
};

Host* g_host = nullptr;

// WebDriver asks for a browsing context: it gets the main window's view
// (created as controlled by automation, like every view of such a run), shown
// or hidden as the program left it.
WebKitWebView* on_create_web_view(WebKitAutomationSession*, gpointer) {
  return g_host->windows->web_view("main");
}

void on_automation_started(WebKitWebContext*, WebKitAutomationSession* session, gpointer) {
  WebKitApplicationInfo* info = webkit_application_info_new();
  webkit_application_info_set_name(info, "Harvel");
  webkit_application_info_set_version(info, HARVEL_VERSION_MAJOR, HARVEL_VERSION_MINOR, HARVEL_VERSION_PATCH);
  webkit_automation_session_set_application_info(session, info);
  webkit_application_info_unref(info);
  g_signal_connect(session, "create-web-view", G_CALLBACK(on_create_web_view), nullptr);
  trace("automation session started");
}

}  // namespace

const HostOptions& host_options() { return g_options; }

double host_clock_ms() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - g_started).count();
}

void trace(const std::string& line) {
  if (!g_options.trace) return;
  std::fprintf(stderr, "harvel-host: %s\n", line.c_str());
  std::fflush(stderr);
}

bool start_linux_host(int argc, char** argv) {
  if (g_host != nullptr) return true;
  std::vector<std::string> args(argv, argv + argc);
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--automation") == 0) g_options.automation = true;
  }
  const char* trace_env = std::getenv("HARVEL_HOST_TRACE");
  g_options.trace = trace_env != nullptr && std::strcmp(trace_env, "1") == 0;

  g_set_prgname("harvel");
  g_set_application_name("Harvel");
  // GTK only reads its own options; the program's flags stay for it.
  int gtk_argc = 1;
  char** gtk_argv = argv;
  if (!gtk_init_check(&gtk_argc, &gtk_argv)) return false;
  install_window_icon();

  g_host = new Host;
  g_host->loop = std::make_unique<LinuxEventLoop>(std::move(args));
  g_host->windows = std::make_unique<LinuxWebWindows>(*g_host->loop, g_options);
  g_host->monitors = std::make_unique<LinuxMonitors>(*g_host->loop);
  g_host->single_instance = std::make_unique<LinuxSingleInstance>(*g_host->loop);
  g_host->shortcut = std::make_unique<LinuxGlobalShortcut>(*g_host->loop);
  g_host->dialogs = std::make_unique<LinuxDialogs>(*g_host->loop);
  g_host->tray = std::make_unique<LinuxTray>(*g_host->loop);
  if (g_options.automation) {
    g_signal_connect(g_host->windows->context(), "automation-started", G_CALLBACK(on_automation_started),
                     nullptr);
  }

  os::Platform p = os::platform();
  p.web_views = g_host->windows.get();
  p.event_loop = g_host->loop.get();
  p.windows = g_host->windows.get();
  p.monitors = g_host->monitors.get();
  p.app_loop = g_host->loop.get();
  p.single_instance = g_host->single_instance.get();
  p.global_shortcut = g_host->shortcut.get();
  p.dialogs = g_host->dialogs.get();
  p.tray = g_host->tray.get();
  static LinuxFolders folders;
  static LinuxFiles files;
  static LinuxKeyboardHook hook;
  static LinuxForeground foreground;
  static LinuxShell shell;
  static LinuxKeyboardInput keyboard;
  static LinuxApps apps(g_host->loop.get());
  p.folders = &folders;
  p.files = &files;
  p.hook = &hook;
  p.foreground = &foreground;
  p.shell = &shell;
  p.keyboard = &keyboard;
  p.apps = &apps;
  p.clock = &os::system_clock();
  p.http = &linux_http();
  os::install_platform(p);
  // The checker's word rectangles and overlay windows (no caret facility:
  // X11 has no system caret).
  static LinuxUiAutomation uia(*g_host->loop);
  static LinuxOverlayWindows overlay;
  os::CheckerPlatform checker = os::checker_platform();
  if (checker.uia == nullptr) checker.uia = &uia;
  if (checker.overlay == nullptr) checker.overlay = &overlay;
  os::install_checker_platform(checker);
  trace("host started");
  return true;
}

}  // namespace harvel::linux_host
