// Windows by label, in place of the WebView2 windows on Windows: each a
// GtkWindow holding one WebKitWebView with its own WebKitUserContentManager
// (so every bridge call is known to come from its window). All views share
// one web context and, through related-view, one web process.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/downloads.h"
#include "app/navigation.h"
#include "app/web_bridge.h"
#include "app/window_styles.h"
#include "platform/linux/linux_host.h"

namespace harvel::linux_host {

struct HostWindow {
  LinuxWebWindows* owner = nullptr;
  std::string label;
  os::WindowSpec spec;
  GtkWindow* window = nullptr;
  WebKitWebView* view = nullptr;
  WebKitUserContentManager* content = nullptr;
  bool traced_paint = false;
  int reloads = 0;  // after web-process crashes
  // The last pointer press on the page, for start_dragging.
  bool pressed = false;
  guint button = 0;
  gint root_x = 0;
  gint root_y = 0;
  guint32 press_time = 0;
};

namespace {

std::string page_url(const std::string& url) {
  if (url.find("://") != std::string::npos) return url;
  std::string_view rest = url;
  while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  return "harvel://localhost/" + std::string(rest);
}

// ---- Bridge replies ---------------------------------------------------------

// One pending call of a page. The reply may come from any thread; it is
// sent on the loop thread. A call dropped without an answer is failed.
struct ReplyState {
  LinuxEventLoop* loop;
  WebKitScriptMessageReply* reply;
  JSCContext* context;
  std::atomic<bool> answered{false};

  ReplyState(LinuxEventLoop* l, WebKitScriptMessageReply* r, JSCContext* c)
      : loop(l), reply(webkit_script_message_reply_ref(r)), context(JSC_CONTEXT(g_object_ref(c))) {}

  ~ReplyState() {
    auto release = [reply = reply, context = context, answered = answered.load()] {
      if (!answered) webkit_script_message_reply_return_error_message(reply, "the command was not answered");
      webkit_script_message_reply_unref(reply);
      g_object_unref(context);
    };
    if (loop->on_loop_thread()) {
      release();
    } else {
      loop->post(release);
    }
  }
};

void send_reply(ReplyState& s, const os::CommandResult& result) {
  if (!result.ok) {
    webkit_script_message_reply_return_error_message(s.reply, result.text.c_str());
    return;
  }
  // The answer crosses to the web process as its JSON text and is parsed
  // there: a JSC object built here would lose the order of its keys.
  const std::string& json = result.text.empty() ? std::string("null") : result.text;
  JSCValue* value = jsc_value_new_string(s.context, json.c_str());
  webkit_script_message_reply_return_value(s.reply, value);
  g_object_unref(value);
}

os::CommandReply make_reply(LinuxEventLoop& loop, WebKitScriptMessageReply* reply, JSCContext* context) {
  auto state = std::make_shared<ReplyState>(&loop, reply, context);
  return [state](os::CommandResult result) {
    if (state->answered.exchange(true)) return;  // answered once only
    if (state->loop->on_loop_thread()) {
      send_reply(*state, result);
    } else {
      state->loop->post([state, result = std::move(result)] { send_reply(*state, result); });
    }
  };
}

// The whole UTF-8 text, NULs included (jsc_value_to_string stops at the first).
std::optional<std::string> string_property(JSCValue* object, const char* name) {
  JSCValue* v = jsc_value_object_get_property(object, name);
  std::optional<std::string> out;
  if (v != nullptr && jsc_value_is_string(v)) {
    if (GBytes* bytes = jsc_value_to_string_as_bytes(v)) {
      gsize size = 0;
      const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
      out = std::string(data != nullptr ? data : "", size);
      g_bytes_unref(bytes);
    }
  }
  if (v != nullptr) g_object_unref(v);
  return out;
}

// ---- Signal handlers ----------------------------------------------------------

gboolean on_message(WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* reply, gpointer data) {
  auto* w = static_cast<HostWindow*>(data);
  std::optional<std::string> cmd;
  std::optional<std::string> args;
  if (jsc_value_is_object(value)) {
    cmd = string_property(value, "cmd");
    args = string_property(value, "args");
  }
  if (!cmd || !is_bridge_command_name(*cmd)) {
    webkit_script_message_reply_return_error_message(reply, "malformed command call");
    return TRUE;
  }
  w->owner->handle_message(w, std::move(*cmd), args.value_or("{}"),
                           make_reply(w->owner->loop(), reply, jsc_value_get_context(value)));
  return TRUE;
}

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer data) {
  auto* w = static_cast<HostWindow*>(data);
  w->owner->handle_close_request(w);
  return TRUE;  // the handler above destroys the window when the close goes ahead
}

void on_destroy(GtkWidget*, gpointer data) {
  auto* w = static_cast<HostWindow*>(data);
  w->owner->handle_destroyed(w);
}

gboolean on_focus_in(GtkWidget*, GdkEvent*, gpointer data) {
  auto* w = static_cast<HostWindow*>(data);
  w->owner->handle_focus(w, true);
  return FALSE;
}

gboolean on_focus_out(GtkWidget*, GdkEvent*, gpointer data) {
  auto* w = static_cast<HostWindow*>(data);
  w->owner->handle_focus(w, false);
  return FALSE;
}

gboolean on_button_press(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* w = static_cast<HostWindow*>(data);
  w->pressed = true;
  w->button = event->button;
  w->root_x = static_cast<gint>(event->x_root);
  w->root_y = static_cast<gint>(event->y_root);
  w->press_time = event->time;
  return FALSE;
}

gboolean on_button_release(GtkWidget*, GdkEventButton*, gpointer data) {
  static_cast<HostWindow*>(data)->pressed = false;
  return FALSE;
}

gboolean on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                          gpointer data) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
    // A blob of the page's own (a converted document) is always saved, never
    // shown in place of the application.
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    const char* uri = webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response));
    if (uri != nullptr && is_app_download_url(uri) &&
        webkit_response_policy_decision_is_main_frame_main_resource(response)) {
      webkit_policy_decision_download(decision);
      return TRUE;
    }
    return FALSE;
  }
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
      type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    return FALSE;
  }
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  // Pages never open windows of their own; a link elsewhere goes nowhere. A
  // link to the page's own blob goes ahead: it ends as a download (above,
  // and handle_downloads).
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION || uri == nullptr ||
      !(is_app_navigation_url(uri) || is_app_download_url(uri))) {
    trace("navigation refused " + static_cast<HostWindow*>(data)->label + " " + (uri ? uri : ""));
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  return FALSE;
}

void on_painted(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<std::string> label(static_cast<std::string*>(data));
  GError* error = nullptr;
  JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error);
  if (value != nullptr) g_object_unref(value);
  if (error != nullptr) {
    g_error_free(error);
    return;
  }
  char line[160];
  std::snprintf(line, sizeof line, "first-paint %s ms=%.1f unix_ns=%lld", label->c_str(), host_clock_ms(),
                static_cast<long long>(g_get_real_time()) * 1000);
  trace(line);
}

void on_load_changed(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
  auto* w = static_cast<HostWindow*>(data);
  if (event != WEBKIT_LOAD_FINISHED || !host_options().trace) return;
  char line[160];
  std::snprintf(line, sizeof line, "load-finished %s ms=%.1f", w->label.c_str(), host_clock_ms());
  trace(line);
  if (w->traced_paint) return;
  w->traced_paint = true;
  // Two animation frames after the load: the page has been laid out and
  // drawn at least once.
  static constexpr char kTwoFrames[] =
      "await new Promise(function (r) { requestAnimationFrame(function () { requestAnimationFrame(r); }); });"
      "return true;";
  webkit_web_view_call_async_javascript_function(view, kTwoFrames, -1, nullptr, nullptr, nullptr, nullptr,
                                                 on_painted, new std::string(w->label));
}

gboolean on_web_process_terminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer data) {
  auto* w = static_cast<HostWindow*>(data);
  trace("web process ended " + w->label);
  // A crashed page comes back instead of leaving an empty window, a few
  // times at most.
  if (reason != WEBKIT_WEB_PROCESS_TERMINATED_BY_API && w->reloads < 3) {
    ++w->reloads;
    webkit_web_view_reload(view);
  }
  return FALSE;
}

void on_evaluated(GObject* source, GAsyncResult* result, gpointer) {
  GError* error = nullptr;
  JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
  if (value != nullptr) g_object_unref(value);
  if (error != nullptr) g_error_free(error);
}

double to_logical(HostWindow* w, double v, os::Units units) {
  if (units == os::Units::Logical) return v;
  const int scale = gtk_widget_get_scale_factor(GTK_WIDGET(w->window));
  return v / (scale > 0 ? scale : 1);
}

int pixels(double v) { return static_cast<int>(std::lround(std::isfinite(v) ? v : 0.0)); }

// A fixed-size window is held at its size by geometry hints (minimum =
// maximum, as GTK's own non-resizable mode would set them) while GTK treats
// it as resizable: in that mode GTK sizes the window to the web view's
// natural height, which is the page's content height and never drops below
// the viewport the page had, so the window could grow but never shrink.
void fix_size(HostWindow* w, int width, int height) {
  GdkGeometry hints{};
  hints.min_width = hints.max_width = width;
  hints.min_height = hints.max_height = height;
  gtk_window_set_geometry_hints(w->window, nullptr, &hints,
                                static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE));
}

void apply_size(HostWindow* w, double width, double height) {
  const int cw = std::max(1, pixels(width));
  const int ch = std::max(1, pixels(height));
  if (!w->spec.resizable) fix_size(w, cw, ch);
  gtk_window_resize(w->window, cw, ch);
}

void apply_window_functions(GtkWidget* widget, gpointer data) {
  auto* w = static_cast<HostWindow*>(data);
  GdkWindow* gdk = gtk_widget_get_window(widget);
  if (gdk == nullptr) return;
  int functions = GDK_FUNC_MOVE | GDK_FUNC_CLOSE;
  if (w->spec.resizable) functions |= GDK_FUNC_RESIZE;
  if (can_minimize(w->spec)) functions |= GDK_FUNC_MINIMIZE;
  if (can_maximize(w->spec)) functions |= GDK_FUNC_MAXIMIZE;
  gdk_window_set_functions(gdk, static_cast<GdkWMFunction>(functions));
}

}  // namespace

// ---- LinuxWebWindows ----------------------------------------------------------

LinuxWebWindows::LinuxWebWindows(LinuxEventLoop& loop, const HostOptions& options)
    : loop_(loop), options_(options) {
  const std::string data_dir =
      std::string(g_get_user_data_dir()) + "/uz.harvel.desktop/webview";
  const std::string cache_dir = std::string(g_get_user_cache_dir()) + "/uz.harvel.desktop/webview";
  WebKitWebsiteDataManager* data = webkit_website_data_manager_new(
      "base-data-directory", data_dir.c_str(), "base-cache-directory", cache_dir.c_str(), nullptr);
  // The web process measures its memory (a read of /proc/self/smaps, some
  // milliseconds) every 30 s by default: 5 minutes is enough for pages this
  // small, and keeps the program quiet in the tray.
  WebKitMemoryPressureSettings* memory = webkit_memory_pressure_settings_new();
  webkit_memory_pressure_settings_set_poll_interval(memory, 300);
  context_ = WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", data,
                                             "memory-pressure-settings", memory, nullptr));
  webkit_memory_pressure_settings_free(memory);
  g_object_unref(data);
  register_asset_scheme(context_);
  handle_downloads(context_);
  if (options_.automation) webkit_web_context_set_automation_allowed(context_, TRUE);

  settings_ = webkit_settings_new();
  webkit_settings_set_hardware_acceleration_policy(settings_, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  webkit_settings_set_javascript_can_open_windows_automatically(settings_, FALSE);
  if (options_.trace) webkit_settings_set_enable_write_console_messages_to_stdout(settings_, TRUE);
}

LinuxWebWindows::~LinuxWebWindows() {
  while (!windows_.empty()) gtk_widget_destroy(GTK_WIDGET(windows_.begin()->second->window));
  g_object_unref(settings_);
  g_object_unref(context_);
}

WebKitWebContext* LinuxWebWindows::context() { return context_; }

HostWindow* LinuxWebWindows::find(std::string_view label) {
  const auto it = windows_.find(label);
  return it == windows_.end() ? nullptr : it->second.get();
}

WebKitWebView* LinuxWebWindows::web_view(std::string_view label) {
  HostWindow* w = find(label);
  return w == nullptr ? nullptr : w->view;
}

bool LinuxWebWindows::create(const os::WindowSpec& spec) {
  return loop_.call([&] {
    if (spec.label.empty() || find(spec.label) != nullptr) return false;
    auto owned = std::make_unique<HostWindow>();
    HostWindow* w = owned.get();
    w->owner = this;
    w->label = spec.label;
    w->spec = spec;

    w->content = webkit_user_content_manager_new();
    webkit_user_content_manager_register_script_message_handler_with_reply(w->content, "harvel", nullptr);
    g_signal_connect(w->content, "script-message-with-reply-received::harvel", G_CALLBACK(on_message), w);
    const std::string bridge = bridge_script(spec.label, BridgeTransport::WebKit);
    for (const std::string* source : {&bridge, &spec.start_script}) {
      if (source->empty()) continue;
      WebKitUserScript* script =
          webkit_user_script_new(source->c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                 WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
      webkit_user_content_manager_add_script(w->content, script);
      webkit_user_script_unref(script);
    }

    // Share the web process of an existing view when there is one.
    WebKitWebView* related = windows_.empty() ? nullptr : windows_.begin()->second->view;
    GObject* view_object =
        related != nullptr
            ? static_cast<GObject*>(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related,
                                                 "user-content-manager", w->content, "settings", settings_,
                                                 "is-controlled-by-automation", options_.automation, nullptr))
            : static_cast<GObject*>(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_,
                                                 "user-content-manager", w->content, "settings", settings_,
                                                 "is-controlled-by-automation", options_.automation, nullptr));
    w->view = WEBKIT_WEB_VIEW(view_object);
    if (spec.transparent) {
      const GdkRGBA clear{0, 0, 0, 0};
      webkit_web_view_set_background_color(w->view, &clear);
    }
    g_signal_connect(w->view, "decide-policy", G_CALLBACK(on_decide_policy), w);
    g_signal_connect(w->view, "load-changed", G_CALLBACK(on_load_changed), w);
    g_signal_connect(w->view, "web-process-terminated", G_CALLBACK(on_web_process_terminated), w);
    g_signal_connect(w->view, "button-press-event", G_CALLBACK(on_button_press), w);
    g_signal_connect(w->view, "button-release-event", G_CALLBACK(on_button_release), w);

    w->window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    GtkWidget* win = GTK_WIDGET(w->window);
    gtk_window_set_title(w->window, spec.title.c_str());
    gtk_window_set_role(w->window, spec.label.c_str());
    gtk_window_set_decorated(w->window, !spec.frameless);
    gtk_window_set_keep_above(w->window, spec.always_on_top);
    gtk_window_set_skip_taskbar_hint(w->window, spec.skip_taskbar);
    gtk_window_set_skip_pager_hint(w->window, spec.skip_taskbar);
    gtk_window_set_focus_on_map(w->window, spec.focus);
    // Fixed-size windows too (fix_size keeps them at their size).
    gtk_window_set_resizable(w->window, TRUE);
    if (spec.transparent) {
      if (GdkVisual* visual = gdk_screen_get_rgba_visual(gtk_widget_get_screen(win))) {
        gtk_widget_set_visual(win, visual);
      }
      gtk_widget_set_app_paintable(win, TRUE);
    }
    const int width = std::max(1, pixels(spec.width));
    const int height = std::max(1, pixels(spec.height));
    gtk_window_set_default_size(w->window, width, height);
    if (!spec.resizable) {
      fix_size(w, width, height);
    } else if (spec.min_width || spec.min_height) {
      GdkGeometry hints{};
      hints.min_width = pixels(spec.min_width.value_or(1));
      hints.min_height = pixels(spec.min_height.value_or(1));
      gtk_window_set_geometry_hints(w->window, nullptr, &hints, GDK_HINT_MIN_SIZE);
    }
    if (spec.x && spec.y) {
      gtk_window_move(w->window, pixels(*spec.x), pixels(*spec.y));
    } else if (spec.center) {
      gtk_window_set_position(w->window, GTK_WIN_POS_CENTER);
    }
    gtk_container_add(GTK_CONTAINER(win), GTK_WIDGET(w->view));
    gtk_widget_show(GTK_WIDGET(w->view));

    g_signal_connect(win, "realize", G_CALLBACK(apply_window_functions), w);
    g_signal_connect(win, "delete-event", G_CALLBACK(on_delete), w);
    g_signal_connect(win, "destroy", G_CALLBACK(on_destroy), w);
    g_signal_connect(win, "focus-in-event", G_CALLBACK(on_focus_in), w);
    g_signal_connect(win, "focus-out-event", G_CALLBACK(on_focus_out), w);

    windows_.emplace(spec.label, std::move(owned));
    webkit_web_view_load_uri(w->view, page_url(spec.url).c_str());
    if (spec.visible) gtk_widget_show(win);
    return true;
  });
}

bool LinuxWebWindows::exists(std::string_view label) {
  return loop_.call([&] { return find(label) != nullptr; });
}

void LinuxWebWindows::destroy(std::string_view label) {
  loop_.call([&] {
    if (HostWindow* w = find(label)) gtk_widget_destroy(GTK_WIDGET(w->window));
  });
}

void LinuxWebWindows::show(std::string_view label) {
  loop_.call([&] {
    if (HostWindow* w = find(label)) gtk_widget_show(GTK_WIDGET(w->window));
  });
}

void LinuxWebWindows::hide(std::string_view label) {
  loop_.call([&] {
    if (HostWindow* w = find(label)) gtk_widget_hide(GTK_WIDGET(w->window));
  });
}

bool LinuxWebWindows::is_visible(std::string_view label) {
  return loop_.call([&] {
    HostWindow* w = find(label);
    return w != nullptr && gtk_widget_get_visible(GTK_WIDGET(w->window));
  });
}

void LinuxWebWindows::set_focus(std::string_view label) {
  loop_.call([&] {
    if (HostWindow* w = find(label)) gtk_window_present(w->window);
  });
}

void LinuxWebWindows::unminimize(std::string_view label) {
  loop_.call([&] {
    if (HostWindow* w = find(label)) gtk_window_deiconify(w->window);
  });
}

void LinuxWebWindows::set_size(std::string_view label, double width, double height, os::Units units) {
  loop_.call([&] {
    if (HostWindow* w = find(label)) apply_size(w, to_logical(w, width, units), to_logical(w, height, units));
  });
}

void LinuxWebWindows::set_position(std::string_view label, double x, double y, os::Units units) {
  loop_.call([&] {
    if (HostWindow* w = find(label)) {
      gtk_window_move(w->window, pixels(to_logical(w, x, units)), pixels(to_logical(w, y, units)));
    }
  });
}

void LinuxWebWindows::deliver(HostWindow* w, std::string_view event, std::string_view payload_json) {
  const std::string script = event_dispatch_script(event, payload_json);
  webkit_web_view_evaluate_javascript(w->view, script.c_str(), static_cast<gssize>(script.size()), nullptr,
                                      nullptr, nullptr, on_evaluated, nullptr);
}

void LinuxWebWindows::emit_to(std::string_view label, std::string_view event, std::string_view payload_json) {
  loop_.call([&] {
    if (HostWindow* w = find(label)) deliver(w, event, payload_json);
  });
}

void LinuxWebWindows::emit_all(std::string_view event, std::string_view payload_json) {
  loop_.call([&] {
    for (auto& [label, w] : windows_) deliver(w.get(), event, payload_json);
  });
}

void LinuxWebWindows::minimize(std::string_view label) {
  loop_.call([&] {
    HostWindow* w = find(label);
    if (w != nullptr && can_minimize(w->spec)) gtk_window_iconify(w->window);
  });
}

void LinuxWebWindows::toggle_maximize(std::string_view label) {
  loop_.call([&] {
    HostWindow* w = find(label);
    if (w == nullptr || !can_maximize(w->spec)) return;
    if (gtk_window_is_maximized(w->window)) {
      gtk_window_unmaximize(w->window);
    } else {
      gtk_window_maximize(w->window);
    }
  });
}

bool LinuxWebWindows::is_maximized(std::string_view label) {
  return loop_.call([&] {
    HostWindow* w = find(label);
    return w != nullptr && gtk_window_is_maximized(w->window);
  });
}

void LinuxWebWindows::close(std::string_view label) {
  loop_.call([&] {
    if (HostWindow* w = find(label)) handle_close_request(w);
  });
}

void LinuxWebWindows::start_dragging(std::string_view label) {
  loop_.call([&] {
    HostWindow* w = find(label);
    if (w == nullptr || !w->pressed) return;
    gtk_window_begin_move_drag(w->window, static_cast<gint>(w->button), w->root_x, w->root_y, w->press_time);
  });
}

void LinuxWebWindows::set_event_handler(os::WindowEventHandler handler) {
  loop_.call([&] { event_handler_ = std::move(handler); });
}

void LinuxWebWindows::set_command_handler(os::CommandHandler handler) {
  loop_.call([&] { command_handler_ = std::move(handler); });
}

// ---- Signal entry points (loop thread) ----------------------------------------

void LinuxWebWindows::handle_close_request(HostWindow* w) {
  const std::string label = w->label;
  os::WindowEvent event{os::WindowEventKind::CloseRequested};
  if (os::WindowEventHandler handler = event_handler_) handler(label, event);
  if (event.prevent_close) return;
  // The handler may have destroyed the window itself.
  if (HostWindow* still = find(label)) gtk_widget_destroy(GTK_WIDGET(still->window));
}

void LinuxWebWindows::handle_destroyed(HostWindow* w) {
  const std::string label = w->label;
  g_signal_handlers_disconnect_by_data(w->window, w);
  g_signal_handlers_disconnect_by_data(w->view, w);
  g_signal_handlers_disconnect_by_data(w->content, w);
  webkit_user_content_manager_unregister_script_message_handler(w->content, "harvel");
  loop_.post([content = w->content] { g_object_unref(content); });
  windows_.erase(label);
  os::WindowEvent event{os::WindowEventKind::Destroyed};
  if (os::WindowEventHandler handler = event_handler_) handler(label, event);
  // The last window closed ends the program (the program never refuses
  // that exit).
  if (windows_.empty() && loop_.running()) loop_.exit(0);
}

void LinuxWebWindows::handle_focus(HostWindow* w, bool focused) {
  const std::string label = w->label;
  os::WindowEvent event{focused ? os::WindowEventKind::Focused : os::WindowEventKind::Unfocused};
  if (os::WindowEventHandler handler = event_handler_) handler(label, event);
}

void LinuxWebWindows::handle_message(HostWindow* w, std::string command, std::string args_json,
                                     os::CommandReply reply) {
  trace("command " + w->label + " " + command);
  if (answer_window_call(*this, loop_, w->label, command, reply)) return;
  const std::string label = w->label;
  const os::CommandHandler handler = command_handler_;
  if (handler && handler(label, command, args_json, reply)) return;
  reply(os::CommandResult::error("command " + command + " not found"));
}

}  // namespace harvel::linux_host
