// Windows, web views and the command bridge of the Linux host, with real
// pages: every window loads the embedded index.html and a start script plays
// the page's side.
#include "host_fixture.h"
#include "page_script.h"
// Before the X11 headers, whose macros (None) clash with their names.
#include "core/app.h"
#include "core/settings.h"
#include "core/state.h"
#include "shell/popup.h"
#include "shell/toast.h"

#include <X11/Xlib.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <nlohmann/json.hpp>
#include <thread>

namespace harvel::linux_host {
namespace {

using nlohmann::json;
using testing::pump_for;
using testing::pump_until;

GtkWindow* toplevel(std::string_view label) {
  GList* all = gtk_window_list_toplevels();
  GtkWindow* found = nullptr;
  for (GList* l = all; l != nullptr; l = l->next) {
    const char* role = gtk_window_get_role(GTK_WINDOW(l->data));
    if (role != nullptr && label == role) found = GTK_WINDOW(l->data);
  }
  g_list_free(all);
  return found;
}

class WebWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::start_host_once();
    windows_ = os::platform().windows;
    windows_->set_command_handler([this](std::string_view label, std::string_view command, std::string_view args,
                                         os::CommandReply reply) { return handle(label, command, args, reply); });
    windows_->set_event_handler([this](std::string_view label, os::WindowEvent& event) {
      events_.push_back({std::string(label), event.kind});
      if (event.kind == os::WindowEventKind::CloseRequested) event.prevent_close = keep_open_;
    });
  }

  void TearDown() override {
    for (const char* label : {"t1", "t2", "t3", "popup", "toast"}) windows_->destroy(label);
    windows_->set_command_handler({});
    windows_->set_event_handler({});
  }

  bool handle(std::string_view label, std::string_view command, std::string_view args, os::CommandReply reply) {
    if (command == "echo") {
      reply(os::CommandResult::value(std::string(args)));
    } else if (command == "later") {
      // Answered from another thread, after the call has returned.
      std::thread([reply] {
        g_usleep(20 * 1000);
        reply(os::CommandResult::value("42"));
      }).detach();
    } else if (command == "fail") {
      reply(os::CommandResult::error("it failed"));
    } else if (command == "bad_json") {
      reply(os::CommandResult::value("{not json"));
    } else if (command == "drop") {
      // Never answered: the page must not wait forever.
    } else if (command == "twice") {
      reply(os::CommandResult::value("1"));
      reply(os::CommandResult::value("2"));
    } else if (command == "state_get" && !state_json_.empty()) {
      reply(os::CommandResult::value(state_json_));
    } else if (command == "report") {
      std::lock_guard lock(mutex_);
      reports_.push_back({std::string(label), json::parse(args)});
      reply(os::CommandResult::value("null"));
    } else {
      return false;
    }
    return true;
  }

  // The reports of one window, once there are `n`.
  std::vector<json> wait_reports(const std::string& label, std::size_t n, double seconds = testing::kEventSeconds) {
    std::vector<json> out;
    pump_until(
        [&] {
          std::lock_guard lock(mutex_);
          out.clear();
          for (const auto& [l, r] : reports_) {
            if (l == label) out.push_back(r);
          }
          return out.size() >= n;
        },
        seconds);
    return out;
  }

  os::WindowSpec spec(const std::string& label, const std::string& script) {
    os::WindowSpec s;
    s.label = label;
    s.title = "Harvel " + label;
    s.width = 400;
    s.height = 300;
    s.start_script = script;
    return s;
  }

  os::WebWindows* windows_ = nullptr;
  std::mutex mutex_;
  std::vector<std::pair<std::string, json>> reports_;
  std::vector<std::pair<std::string, os::WindowEventKind>> events_;
  bool keep_open_ = false;
  // The answer to "state_get", when a test gives one.
  std::string state_json_;
};

TEST_F(WebWindowsTest, BridgeCallsAreAnsweredOnce) {
  ASSERT_TRUE(windows_->create(spec("t1", R"js(
    (async () => {
      const ipc = window.__HARVEL_IPC__;
      const settle = (p) => p.then((v) => ({ ok: v }), (e) => ({ err: e }));
      const r = { label: ipc.label };
      r.echo = await settle(ipc.invoke('echo', { a: [1, 'ş'], b: null }));
      r.no_args = await settle(ipc.invoke('echo'));
      r.later = await settle(ipc.invoke('later'));
      r.fail = await settle(ipc.invoke('fail'));
      r.bad_json = await settle(ipc.invoke('bad_json'));
      r.drop = await settle(ipc.invoke('drop'));
      r.twice = await settle(ipc.invoke('twice'));
      r.unknown = await settle(ipc.invoke('state_get '));
      r.nul = await settle(ipc.invoke('echo\u0000x'));
      r.maximized = await settle(ipc.invoke('window_is_maximized'));
      ipc.invoke('report', r);
    })();
  )js")));
  const auto reports = wait_reports("t1", 1);
  ASSERT_EQ(reports.size(), 1u);
  const json& r = reports[0];
  const std::pair<const char*, json> expected[] = {
      {"label", "t1"},
      {"echo", {{"ok", {{"a", {1, "ş"}}, {"b", nullptr}}}}},
      {"no_args", {{"ok", json::object()}}},
      {"later", {{"ok", 42}}},
      {"fail", {{"err", "it failed"}}},
      {"bad_json", {{"err", "the command's answer is not JSON"}}},
      {"drop", {{"err", "the command was not answered"}}},
      {"twice", {{"ok", 1}}},
      {"unknown", {{"err", "command state_get  not found"}}},
      {"nul", {{"err", "malformed command call"}}},
      {"maximized", {{"ok", false}}},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(r.value(key, json()), value) << key;
}

TEST_F(WebWindowsTest, EventsReachTheListenersOfOneWindowOrAll) {
  const char* script = R"js(
    (() => {
      const ipc = window.__HARVEL_IPC__;
      ipc.listen('ping', (p) => ipc.invoke('report', { ping: p }));
      const stop = ipc.listen('ping', (p) => ipc.invoke('report', { stopped: p }));
      stop();
      ipc.listen('all', (p) => ipc.invoke('report', { all: p }));
      ipc.invoke('report', { ready: true });
    })();
  )js";
  ASSERT_TRUE(windows_->create(spec("t1", script)));
  ASSERT_TRUE(windows_->create(spec("t2", script)));
  ASSERT_EQ(wait_reports("t1", 1).size(), 1u);
  ASSERT_EQ(wait_reports("t2", 1).size(), 1u);

  const std::string tricky = R"({"s":"quote \" backslash \\ line\n sep \u2028 </script>","n":1.5})";
  windows_->emit_to("t1", "ping", tricky);
  windows_->emit_to("t1", "ping", "");
  windows_->emit_to("no-such-window", "ping", "1");
  os::platform().web_views->emit_all("all", "[1,2]");
  const auto t1 = wait_reports("t1", 4);
  const auto t2 = wait_reports("t2", 2);
  ASSERT_EQ(t1.size(), 4u);
  EXPECT_EQ(t1[1], json({{"ping", json::parse(tricky)}}));
  EXPECT_EQ(t1[2], json({{"ping", nullptr}}));
  EXPECT_EQ(t1[3], json({{"all", {1, 2}}}));
  ASSERT_EQ(t2.size(), 2u);
  EXPECT_EQ(t2[1], json({{"all", {1, 2}}}));
  pump_for(0.2);
  EXPECT_EQ(wait_reports("t1", 5, 0).size(), 4u);  // nothing from the removed listener
}

TEST_F(WebWindowsTest, PagesStayOnTheApplicationsOrigin) {
  ASSERT_TRUE(windows_->create(spec("t1", R"js(
    (() => {
      const ipc = window.__HARVEL_IPC__;
      if (!ipc) return;
      if (sessionStorage.getItem('tried')) {
        ipc.invoke('report', { reloaded: location.href });
        return;
      }
      sessionStorage.setItem('tried', '1');
      const opened = window.open('harvel://localhost/index.html');
      location.href = 'https://example.com/';
      setTimeout(() => ipc.invoke('report', { href: location.href, opened: opened !== null }), 300);
    })();
  )js")));
  const auto reports = wait_reports("t1", 1);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].value("href", "").rfind("harvel://localhost/index.html", 0), 0u) << reports[0];
  EXPECT_EQ(reports[0].value("opened", true), false);
  EXPECT_EQ(toplevel("t1") != nullptr, true);
}

// A server on loopback, as any local program may run: it answers every
// request with a page and counts them.
class LoopbackPageServer {
 public:
  LoopbackPageServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd_, 8) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      throw std::runtime_error("no loopback server");
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] {
      for (;;) {
        const int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0) return;
        ++requests_;
        char buf[4096];
        (void)!::read(c, buf, sizeof buf);
        const std::string page = "<html><body>a local page</body></html>";
        const std::string answer = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                   std::to_string(page.size()) + "\r\n\r\n" + page;
        (void)!::write(c, answer.data(), answer.size());
        ::close(c);
      }
    });
  }
  ~LoopbackPageServer() {
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    thread_.join();
  }
  int port() const { return port_; }
  int requests() const { return requests_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::atomic<int> requests_{0};
  std::thread thread_;
};

// The application's host name on another port is loopback, where any local
// server answers: no page goes there, so none gets the bridge.
TEST_F(WebWindowsTest, TheApplicationsHostOnAnotherPortIsNoOrigin) {
  LoopbackPageServer server;
  const std::string port = std::to_string(server.port());
  ASSERT_TRUE(windows_->create(spec("t1", R"js(
    (() => {
      const ipc = window.__HARVEL_IPC__;
      if (!ipc) return;
      if (location.protocol !== 'harvel:') {
        ipc.invoke('report', { stranger: location.href });
        return;
      }
      location.href = 'http://harvel.localhost:)js" + port + R"js(/';
      setTimeout(() => location.href = 'https://harvel.localhost:)js" + port + R"js(/', 100);
      setTimeout(() => ipc.invoke('report', { href: location.href }), 400);
    })();
  )js")));
  const auto reports = wait_reports("t1", 1);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].value("href", "").rfind("harvel://localhost/", 0), 0u) << reports[0];
  EXPECT_EQ(server.requests(), 0);
}

TEST_F(WebWindowsTest, CloseRequestsAskTheProgram) {
  ASSERT_TRUE(windows_->create(spec("t1", "")));
  keep_open_ = true;
  windows_->close("t1");
  EXPECT_TRUE(windows_->exists("t1"));
  keep_open_ = false;
  windows_->close("t1");
  EXPECT_FALSE(windows_->exists("t1"));
  const std::vector<std::pair<std::string, os::WindowEventKind>> expected = {
      {"t1", os::WindowEventKind::CloseRequested},
      {"t1", os::WindowEventKind::CloseRequested},
      {"t1", os::WindowEventKind::Destroyed},
  };
  std::vector<std::pair<std::string, os::WindowEventKind>> closing;
  for (const auto& e : events_) {
    if (e.second != os::WindowEventKind::Focused && e.second != os::WindowEventKind::Unfocused) closing.push_back(e);
  }
  EXPECT_EQ(closing, expected);

  // The page's own close button goes the same way.
  ASSERT_TRUE(windows_->create(spec("t2", "window.__HARVEL_IPC__.invoke('window_close');")));
  EXPECT_TRUE(pump_until([&] { return !windows_->exists("t2"); }));
  EXPECT_FALSE(windows_->create(spec("", "")));
}

TEST_F(WebWindowsTest, SizesPositionsAndVisibility) {
  os::WindowSpec fixed = spec("t1", "");
  fixed.width = 360;
  fixed.height = 300;
  fixed.x = 40;
  fixed.y = 30;
  fixed.resizable = false;
  fixed.frameless = true;
  fixed.transparent = true;
  fixed.skip_taskbar = true;
  fixed.always_on_top = true;
  fixed.focus = false;
  ASSERT_TRUE(windows_->create(fixed));
  GtkWindow* w = toplevel("t1");
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(gtk_window_get_decorated(w));
  EXPECT_TRUE(gtk_window_get_skip_taskbar_hint(w));
  EXPECT_EQ(std::string(gtk_window_get_title(w)), "Harvel t1");
  auto size_is = [w](int width, int height) {
    int cw = 0;
    int ch = 0;
    gtk_window_get_size(w, &cw, &ch);
    return cw == width && ch == height;
  };
  auto position_is = [w](int x, int y) {
    int cx = 0;
    int cy = 0;
    gtk_window_get_position(w, &cx, &cy);
    return cx == x && cy == y;
  };
  EXPECT_TRUE(pump_until([&] { return size_is(360, 300) && position_is(40, 30); }));
  EXPECT_TRUE(windows_->is_visible("t1"));

  windows_->set_size("t1", 400, 96, os::Units::Physical);
  windows_->set_position("t1", 864, 560, os::Units::Logical);
  EXPECT_TRUE(pump_until([&] { return size_is(400, 96) && position_is(864, 560); }));

  windows_->hide("t1");
  EXPECT_FALSE(windows_->is_visible("t1"));
  windows_->show("t1");
  EXPECT_TRUE(windows_->is_visible("t1"));

  // A resizable window keeps its minimum size.
  os::WindowSpec main = spec("t2", "");
  main.width = 960;
  main.height = 680;
  main.min_width = 820;
  main.min_height = 560;
  main.visible = false;
  ASSERT_TRUE(windows_->create(main));
  EXPECT_FALSE(windows_->is_visible("t2"));
  windows_->show("t2");
  GtkWindow* m = toplevel("t2");
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(pump_until([&] {
    int cw = 0;
    int ch = 0;
    gtk_window_get_size(m, &cw, &ch);
    return cw == 960 && ch == 680;
  }));
  windows_->set_size("t2", 100, 100, os::Units::Logical);
  pump_for(0.2);
  int cw = 0;
  int ch = 0;
  gtk_window_get_size(m, &cw, &ch);
  EXPECT_GE(cw, 820);
  EXPECT_GE(ch, 560);
}

// The height the page in a web view sees, after two animation frames; -1
// when the script fails.
int page_height(WebKitWebView* view) {
  int height = -1;
  testing::run_page_script(
      view, "return await new Promise(r => requestAnimationFrame(() => requestAnimationFrame(() => r(innerHeight))));",
      [&](JSCValue* v) {
        if (v != nullptr && jsc_value_is_number(v)) height = jsc_value_to_int32(v);
      });
  return height;
}

// The real pop-up window follows every reported height, down as well as up,
// also after its page has been laid out at the largest height (the page's
// content is then as tall as that).
TEST_F(WebWindowsTest, ThePopupFollowsItsReportedHeightBothWays) {
  App app;
  app.manage(std::make_unique<Ctx>("/nonexistent/settings.json", default_settings()));
  reset_popup_geometry();
  show_popup_window(app, std::nullopt);  // no icon: the bottom right of the screen
  GtkWindow* w = toplevel("popup");
  ASSERT_NE(w, nullptr);
  WebKitWebView* view = static_cast<LinuxWebWindows*>(windows_)->web_view("popup");
  auto height_is = [&](int h) {
    int cw = 0;
    int ch = 0;
    gtk_window_get_size(w, &cw, &ch);
    GdkWindow* gdk = gtk_widget_get_window(GTK_WIDGET(w));
    return cw == 360 && ch == h && gdk != nullptr && gdk_window_get_height(gdk) == h;
  };
  EXPECT_TRUE(pump_until([&] { return height_is(300); }));

  const std::pair<double, int> steps[] = {{1000, 640}, {50, 120}, {250, 250}, {640, 640}, {120, 120}};
  for (const auto& [reported, expected] : steps) {
    fit_popup(app, reported);
    EXPECT_TRUE(pump_until([&] { return height_is(expected); })) << "popup_fit " << reported;
    EXPECT_TRUE(pump_until([&] { return page_height(view) == expected; })) << "popup_fit " << reported;
    // Time for the web view to learn the page's new content size.
    if (expected == 640) pump_for(1.0);
    int x = 0;
    int y = 0;
    gtk_window_get_position(w, &x, &y);
    EXPECT_EQ(x, 1280 - 360 - 16) << "popup_fit " << reported;
    EXPECT_EQ(y, 1024 - expected - 64) << "popup_fit " << reported;
  }
  hide_popup_window(app, false);  // the pop-up's process-wide flags as they were
  reset_popup_geometry();
}

TEST_F(WebWindowsTest, TheTitleBarDragsTheWindow) {
  os::WindowSpec s = spec("t1", R"js(
    (() => {
      const ipc = window.__HARVEL_IPC__;
      document.addEventListener('mousedown', () =>
        ipc.invoke('window_start_dragging').then(() => ipc.invoke('report', { dragging: true })));
      window.addEventListener('load', () => ipc.invoke('report', { loaded: true }));
    })();
  )js");
  s.x = 100;
  s.y = 100;
  s.frameless = true;
  ASSERT_TRUE(windows_->create(s));
  ASSERT_EQ(wait_reports("t1", 1).size(), 1u);
  GtkWindow* w = toplevel("t1");
  ASSERT_NE(w, nullptr);

  // A user's mouse, through a second X client.
  Display* mouse = XOpenDisplay(nullptr);
  ASSERT_NE(mouse, nullptr);
  auto move = [&](int x, int y) {
    XTestFakeMotionEvent(mouse, -1, x, y, CurrentTime);
    XSync(mouse, False);
    pump_for(0.03);
  };
  move(150, 120);
  XTestFakeButtonEvent(mouse, 1, True, CurrentTime);
  XSync(mouse, False);
  EXPECT_EQ(wait_reports("t1", 2).size(), 2u);
  for (int step = 1; step <= 10; ++step) move(150 + 20 * step, 120 + 10 * step);
  XTestFakeButtonEvent(mouse, 1, False, CurrentTime);
  XSync(mouse, False);
  XCloseDisplay(mouse);
  EXPECT_TRUE(pump_until([&] {
    int x = 0;
    int y = 0;
    gtk_window_get_position(w, &x, &y);
    return x == 300 && y == 200;
  }, 3));
}

TEST_F(WebWindowsTest, CallsFromOtherThreadsRunOnTheLoop) {
  bool created = false;
  bool exists = false;
  bool visible = true;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    os::WindowSpec s = spec("t3", "");
    s.visible = false;
    created = windows_->create(s);
    exists = windows_->exists("t3");
    visible = windows_->is_visible("t3");
    windows_->destroy("t3");
    finished = true;
  });
  EXPECT_TRUE(pump_until([&] { return finished.load(); }));
  worker.join();
  EXPECT_TRUE(created);
  EXPECT_TRUE(exists);
  EXPECT_FALSE(visible);
  EXPECT_FALSE(windows_->exists("t3"));
}

// A window's own pixels as 0xAARRGGBB, premultiplied (a window of a 32-bit
// visual keeps its alpha: the X server redirects it, with a compositor or without).
std::vector<uint32_t> window_pixels(GtkWindow* w, int& width, int& height) {
  std::vector<uint32_t> out;
  GdkWindow* gdk = gtk_widget_get_window(GTK_WIDGET(w));
  if (gdk == nullptr) return out;
  width = gdk_window_get_width(gdk);
  height = gdk_window_get_height(gdk);
  XImage* image = XGetImage(GDK_WINDOW_XDISPLAY(gdk), GDK_WINDOW_XID(gdk), 0, 0, width, height, AllPlanes, ZPixmap);
  if (image == nullptr) return out;
  out.resize(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) out[static_cast<std::size_t>(y) * width + x] = XGetPixel(image, x, y);
  }
  XDestroyImage(image);
  return out;
}

// The real toast window, in both themes, once its bar has run out: the window
// is see-through around the card (its 4 px margin and the corners outside the
// rounded card hold no more than the card's shadow), and the card is opaque in
// its theme's colour. WebKitGTK's web view paints over what it painted before:
// a white first paint stayed as the frame, and the bar, repainted over the
// card's rounded bottom-left corner at every step, darkened it to a stub.
TEST_F(WebWindowsTest, TheToastIsSeeThroughAroundItsCard) {
  constexpr int kInset = 4;    // the card's margin
  constexpr int kRadius = 20;  // the card's corner radius (--radius-card)
  constexpr uint32_t kShadowColour = 0x10;  // the most a (premultiplied) channel of the dark shadow has
  constexpr uint32_t kAsymmetry = 0x10;     // the most alpha a pixel and its mirror image differ by
  set_toast_times({std::chrono::milliseconds(20000), std::chrono::milliseconds(5)});
  for (const char* theme : {"light", "dark"}) {
    SCOPED_TRACE(theme);
    App app;
    Settings settings = default_settings();
    settings.theme = theme;
    app.manage(std::make_unique<Ctx>("/nonexistent/settings.json", settings));
    state_json_ = snapshot_json_text(build_state_snapshot(app));
    const std::string script =
        toast_start_script(toast_json(toast_data_new("Zero-learning rejimi yoqildi", "sh, ch, o‘, g‘", 0)));
    std::thread shower([&] { show_toast_window(app, script); });
    GtkWindow* w = nullptr;
    EXPECT_TRUE(pump_until([&] { return (w = toplevel("toast")) != nullptr; }));
    WebKitWebView* view = static_cast<LinuxWebWindows*>(windows_)->web_view("toast");
    // The card is up and its bar has run out (3.2 s), then two frames are drawn.
    bool done = false;
    EXPECT_TRUE(pump_until(
        [&] {
          testing::run_page_script(view, R"js(
            const bar = document.querySelector('[data-testid="toast-bar"]');
            if (!bar || getComputedStyle(bar).width !== '0px') return false;
            await new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)));
            return true;)js",
                                   [&](JSCValue* v) { done = v != nullptr && jsc_value_to_boolean(v); });
          return done;
        },
        15));
    pump_for(0.3);
    int width = 0;
    int height = 0;
    const std::vector<uint32_t> px = window_pixels(w, width, height);
    ASSERT_EQ(width, 400);
    ASSERT_EQ(height, 96);
    // Outside the card, 1 px clear of its edge: the margin, and the corners beyond the radius.
    auto outside = [&](int x, int y) {
      const double cx = x + 0.5;
      const double cy = y + 0.5;
      const double left = kInset;
      const double right = width - kInset;
      const double top = kInset;
      const double bottom = height - kInset;
      if (cx < left - 1 || cx > right + 1 || cy < top - 1 || cy > bottom + 1) return true;
      const double dx = cx < left + kRadius ? left + kRadius - cx : cx > right - kRadius ? cx - (right - kRadius) : 0;
      const double dy = cy < top + kRadius ? top + kRadius - cy : cy > bottom - kRadius ? cy - (bottom - kRadius) : 0;
      return dx > 0 && dy > 0 && dx * dx + dy * dy > (kRadius + 1.0) * (kRadius + 1.0);
    };
    // What lies there is the card's shadow alone: dark, and the same on the left as on the
    // right (its offsets are vertical).
    int wrong = 0;
    std::string first;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        if (!outside(x, y)) continue;
        const uint32_t p = px[static_cast<std::size_t>(y) * width + x];
        const uint32_t mirror = px[static_cast<std::size_t>(y) * width + (width - 1 - x)];
        const uint32_t alpha = p >> 24;
        const uint32_t brightest = std::max({(p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff});
        const uint32_t other = mirror >> 24;
        if (brightest <= kShadowColour && (alpha > other ? alpha - other : other - alpha) <= kAsymmetry) continue;
        if (wrong++ == 0) {
          char text[96];
          std::snprintf(text, sizeof text, "(%d, %d) %08x, mirrored %08x", x, y, p, mirror);
          first = text;
        }
      }
    }
    EXPECT_EQ(wrong, 0) << "pixels outside the card that are no shadow; the first at " << first;
    // The card's middle: opaque, light or dark.
    const uint32_t middle = px[static_cast<std::size_t>(height / 2) * width + width - 60];
    EXPECT_EQ(middle >> 24, 0xffu);
    const uint32_t green = (middle >> 8) & 0xff;
    if (std::string_view(theme) == "light") {
      EXPECT_GT(green, 0xe0u) << std::hex << middle;
    } else {
      EXPECT_LT(green, 0x40u) << std::hex << middle;
    }
    hide_toast_window(app);
    finish_toast_threads();
    shower.join();
  }
  state_json_.clear();
  set_toast_times({});
}

TEST(LinuxMonitors, TheXvfbScreen) {
  testing::start_host_once();
  const auto monitors = os::platform().monitors->monitors();
  ASSERT_EQ(monitors.size(), 1u);
  EXPECT_EQ(monitors[0].rect, (os::Rect{0, 0, 1280, 1024}));
  EXPECT_EQ(monitors[0].work_area, (os::Rect{0, 0, 1280, 1024}));
  EXPECT_EQ(monitors[0].scale_factor, 1.0);
  const auto primary = os::platform().monitors->primary_monitor();
  ASSERT_TRUE(primary.has_value());
  EXPECT_EQ(primary->rect, monitors[0].rect);
}

TEST(LinuxAppLoop, RunsUntilExitOrTheLastWindowCloses) {
  testing::start_host_once();
  os::Platform& p = os::platform();
  // exit from another thread, with a code.
  bool exited = false;
  p.event_loop->post([&] { std::thread([&] { p.app_loop->exit(3); }).detach(); });
  EXPECT_EQ(p.app_loop->run([&] { exited = true; }), 3);
  EXPECT_TRUE(exited);

  // The last window destroyed ends the loop with 0.
  p.event_loop->post([&] {
    os::WindowSpec s;
    s.label = "last";
    s.visible = false;
    ASSERT_TRUE(p.windows->create(s));
    p.windows->destroy("last");
  });
  EXPECT_EQ(p.app_loop->run({}), 0);
}

// Waits (without pumping) until `done` holds; false after `seconds`.
bool wait_until(const std::function<bool()>& done, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

TEST(LinuxEventLoopCalls, AreReleasedWhenTheLoopEndsAndTakenAgainWhenItRuns) {
  LinuxEventLoop loop({"loop_test"});
  struct State {
    std::atomic<int> answer{-1};
    std::atomic<bool> ran{false};
    std::atomic<bool> returned{false};
  };
  auto state = std::make_shared<State>();
  std::thread caller;
  // Another thread's call arrives while the loop is ending: it is not run and
  // its caller is not left waiting (on_exit may be joining that thread).
  loop.post([&] {
    caller = std::thread([&loop, state] {
      state->answer = loop.call([state] {
        state->ran = true;
        return 7;
      });
      state->returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the call is queued meanwhile
    loop.exit(0);
  });
  bool returned_in_on_exit = false;
  EXPECT_EQ(loop.run([&] { returned_in_on_exit = wait_until([&] { return state->returned.load(); }, testing::kEventSeconds); }), 0);
  if (!returned_in_on_exit) {
    caller.detach();
    FAIL() << "a call from another thread still waits for a loop that has ended";
  }
  caller.join();
  EXPECT_EQ(state->answer, 0);
  EXPECT_FALSE(state->ran);

  // After the end, a call answers at once without running.
  std::atomic<int> after{-1};
  std::thread late([&] { after = loop.call([] { return 9; }); });
  late.join();
  EXPECT_EQ(after, 0);

  // A loop that runs again takes calls again.
  std::thread again;
  loop.post([&] {
    again = std::thread([&loop, state] {
      state->answer = loop.call([] { return 11; });
      loop.exit(0);
    });
  });
  EXPECT_EQ(loop.run({}), 0);
  again.join();
  EXPECT_EQ(state->answer, 11);
}

}  // namespace
}  // namespace harvel::linux_host
