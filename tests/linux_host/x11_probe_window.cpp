// A program with one X11 window for the host's window queries: title,
// WM_CLASS, _NET_WM_PID and optionally a window type, mapped and given the
// input focus. It prints the window id once the window is mapped and runs
// until its standard input closes. With "active" it also names itself in the
// root's _NET_ACTIVE_WINDOW, as a window manager would.
//
//   x11_probe_window TITLE INSTANCE CLASS [utility|normal] [skip-taskbar] [active]
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) return 3;
  const Window root = DefaultRootWindow(d);
  const Window w = XCreateSimpleWindow(d, root, 10, 10, 200, 100, 0, 0, 0xFFFFFF);
  XStoreName(d, w, argv[1]);
  const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(argv[1]), static_cast<int>(std::strlen(argv[1])));
  XClassHint hint{argv[2], argv[3]};
  XSetClassHint(d, w, &hint);
  const long pid = static_cast<long>(getpid());
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
  for (int i = 4; i < argc; ++i) {
    const std::string opt = argv[i];
    if (opt == "utility" || opt == "normal") {
      const std::string name = opt == "utility" ? "_NET_WM_WINDOW_TYPE_UTILITY" : "_NET_WM_WINDOW_TYPE_NORMAL";
      const long type = static_cast<long>(XInternAtom(d, name.c_str(), False));
      XChangeProperty(d, w, XInternAtom(d, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&type), 1);
    } else if (opt == "skip-taskbar") {
      const long state = static_cast<long>(XInternAtom(d, "_NET_WM_STATE_SKIP_TASKBAR", False));
      XChangeProperty(d, w, XInternAtom(d, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&state), 1);
    }
  }
  XSelectInput(d, w, StructureNotifyMask);
  XMapWindow(d, w);
  for (;;) {
    XEvent e;
    XNextEvent(d, &e);
    if (e.type == MapNotify) break;
  }
  XSetInputFocus(d, w, RevertToParent, CurrentTime);
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "active") != 0) continue;
    const long active = static_cast<long>(w);
    XChangeProperty(d, root, XInternAtom(d, "_NET_ACTIVE_WINDOW", False), XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&active), 1);
  }
  XSync(d, False);
  std::printf("%lu\n", static_cast<unsigned long>(w));
  std::fflush(stdout);
  // Until the test closes our input.
  char buf[64];
  while (read(STDIN_FILENO, buf, sizeof(buf)) > 0) {
  }
  XCloseDisplay(d);
  return 0;
}
