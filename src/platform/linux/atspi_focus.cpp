#include "platform/linux/atspi_focus.h"

#include <atspi/atspi.h>
#include <gio/gio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include "platform/linux/linux_host.h"
#include "platform/linux/linux_system.h"

namespace harvel::linux_host {

namespace {

// A hung program must not hold the event loop for long.
constexpr int kCallTimeoutMs = 500;
constexpr std::size_t kMaxProcesses = 64;
// Asking whether an object still has the focus, and waiting for a focus
// change on its way, must leave the keyboard's answer in time.
constexpr int kStillFocusedTimeoutMs = 100;
constexpr auto kFocusChangeWait = std::chrono::milliseconds(150);
// A program may report the focus a click gave a new field only after the
// first keys typed into it: a key this soon after a click waits for the
// report that long at most.
constexpr auto kClickRecent = std::chrono::milliseconds(500);

// A process's focused object: what it is, and where to ask it again.
struct Focused {
  AccessibleFocus focus;
  std::string bus_name;
  std::string path;
  uint64_t seen = 0;    // the move count when it was reported
  uint64_t serial = 0;  // which report it was
  std::chrono::steady_clock::time_point when;
};

struct State {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<uint32_t, Focused> by_pid;
  uint64_t reports = 0;  // focus reports recorded
  uint64_t moves = 0;    // accessible_focus_may_move calls
  uint64_t checked = 0;  // the move count the focused objects were last checked at
  std::optional<std::chrono::steady_clock::time_point> click;  // the last pointer click
  std::string bus_address;                                     // of the accessibility bus, once reached
  // Loop thread only: the object that holds the focus, for matching the
  // event that takes it away again.
  AtspiAccessible* focused = nullptr;
  // Loop thread only: focus events are followed (the bus was reached).
  bool listening = false;
};

State& state() {
  static State* s = new State;  // used by threads that outlive exit handlers
  return *s;
}

AccessibleFocus describe(AtspiAccessible* object) {
  AccessibleFocus f;
  const AtspiRole role = atspi_accessible_get_role(object, nullptr);
  f.password = role == ATSPI_ROLE_PASSWORD_TEXT;
  f.editable = f.password || role == ATSPI_ROLE_ENTRY || role == ATSPI_ROLE_TEXT || role == ATSPI_ROLE_TERMINAL ||
               role == ATSPI_ROLE_SPIN_BUTTON || role == ATSPI_ROLE_EDITBAR;
  return f;
}

void record(uint32_t pid, AtspiAccessible* object) {
  State& s = state();
  Focused f;
  f.focus = describe(object);
  const auto* o = ATSPI_OBJECT(object);
  if (o->app != nullptr && o->app->bus_name != nullptr && o->path != nullptr) {
    f.bus_name = o->app->bus_name;
    f.path = o->path;
  }
  {
    std::lock_guard lock(s.mutex);
    f.seen = s.moves;
    f.serial = ++s.reports;
    f.when = std::chrono::steady_clock::now();
    if (s.by_pid.size() >= kMaxProcesses && s.by_pid.find(pid) == s.by_pid.end()) s.by_pid.clear();
    s.by_pid[pid] = std::move(f);
  }
  s.changed.notify_all();
}

void take_focus(AtspiAccessible* object) {
  State& s = state();
  if (s.focused != nullptr) g_object_unref(s.focused);
  s.focused = object != nullptr ? static_cast<AtspiAccessible*>(g_object_ref(object)) : nullptr;
}

void on_focus_event(const AtspiEvent* event) {
  AtspiAccessible* source = event->source;
  if (source != nullptr) {
    const guint pid = atspi_accessible_get_process_id(source, nullptr);
    if (host_options().trace) {
      trace("accessibility: focus " + std::to_string(event->detail1) + " pid " + std::to_string(pid) + " role " +
            std::to_string(atspi_accessible_get_role(source, nullptr)));
    }
    // Only gains count: a program whose window loses the focus (to another
    // program, or for the moment another client grabs the keyboard) keeps
    // its focused object for when it is active again.
    if (event->detail1 != 0) {
      take_focus(source);
      if (pid != 0) record(pid, source);
    }
  }
  g_boxed_free(ATSPI_TYPE_EVENT, const_cast<AtspiEvent*>(event));
}

bool has(AtspiAccessible* object, AtspiStateType s) {
  AtspiStateSet* set = atspi_accessible_get_state_set(object);
  const bool yes = set != nullptr && atspi_state_set_contains(set, s);
  if (set != nullptr) g_object_unref(set);
  return yes;
}

// The focused object of the application's windows (the active window's
// first), with a reference; null when none.
AtspiAccessible* find_focused(AtspiAccessible* app) {
  AtspiAccessible* found_object = nullptr;
  const gint windows = atspi_accessible_get_child_count(app, nullptr);
  for (int pass = 0; pass < 2 && found_object == nullptr; ++pass) {
    for (gint w = 0; w < windows && found_object == nullptr; ++w) {
      AtspiAccessible* window = atspi_accessible_get_child_at_index(app, w, nullptr);
      if (window == nullptr) continue;
      // First the active window, then any other.
      if (has(window, ATSPI_STATE_ACTIVE) == (pass == 0)) {
        if (AtspiCollection* collection = atspi_accessible_get_collection_iface(window)) {
          GArray* wanted = g_array_new(FALSE, FALSE, sizeof(AtspiStateType));
          const AtspiStateType focused = ATSPI_STATE_FOCUSED;
          g_array_append_val(wanted, focused);
          AtspiStateSet* states = atspi_state_set_new(wanted);
          AtspiMatchRule* rule =
              atspi_match_rule_new(states, ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, nullptr,
                                   ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, FALSE);
          GArray* found =
              atspi_collection_get_matches(collection, rule, ATSPI_Collection_SORT_ORDER_CANONICAL, 1, TRUE, nullptr);
          if (found != nullptr) {
            for (guint i = 0; i < found->len; ++i) {
              AtspiAccessible* object = g_array_index(found, AtspiAccessible*, i);
              if (found_object == nullptr) {
                found_object = object;
              } else {
                g_object_unref(object);
              }
            }
            g_array_free(found, TRUE);
          }
          g_object_unref(rule);
          g_object_unref(states);
          g_array_free(wanted, TRUE);
          g_object_unref(collection);
        }
      }
      g_object_unref(window);
    }
  }
  return found_object;
}

// The focused object of the active window, for a field that had the focus
// before we listened.
void read_current_focus() {
  AtspiAccessible* desktop = atspi_get_desktop(0);
  if (desktop == nullptr) return;
  const gint apps = atspi_accessible_get_child_count(desktop, nullptr);
  for (gint a = 0; a < apps; ++a) {
    AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, a, nullptr);
    if (app == nullptr) continue;
    const gint windows = atspi_accessible_get_child_count(app, nullptr);
    bool active = false;
    for (gint w = 0; w < windows && !active; ++w) {
      AtspiAccessible* window = atspi_accessible_get_child_at_index(app, w, nullptr);
      if (window == nullptr) continue;
      active = has(window, ATSPI_STATE_ACTIVE);
      g_object_unref(window);
    }
    if (active) {
      if (AtspiAccessible* object = find_focused(app)) {
        take_focus(object);
        if (const guint pid = atspi_accessible_get_process_id(object, nullptr)) record(pid, object);
        g_object_unref(object);
      }
    }
    g_object_unref(app);
  }
  g_object_unref(desktop);
}

// An accessibility bus is announced on the root window or reached through
// the session bus; without either, libatspi would try to start one.
bool accessibility_bus_reachable() {
  const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (session != nullptr && *session != '\0') return true;
  const auto p = x11::property(x11::root_window(), x11::atom("AT_SPI_BUS"));
  return p && p->type != 0 && !p->bytes.empty();
}

// The accessibility bus's address, as libatspi finds it: announced on the
// root window, else asked of the session bus.
std::string bus_address() {
  if (const auto p = x11::property(x11::root_window(), x11::atom("AT_SPI_BUS")); p && p->type != 0) {
    return std::string(p->bytes.begin(), p->bytes.end());
  }
  GDBusConnection* session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (session == nullptr) return {};
  std::string out;
  if (GVariant* r = g_dbus_connection_call_sync(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                                                nullptr, G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs,
                                                nullptr, nullptr)) {
    const gchar* a = nullptr;
    g_variant_get(r, "(&s)", &a);
    if (a != nullptr) out = a;
    g_variant_unref(r);
  }
  g_object_unref(session);
  return out;
}

void start_listening() {
  if (!accessibility_bus_reachable()) {
    trace("accessibility: no bus; password fields are not recognised");
    return;
  }
  if (atspi_init() > 1) {
    trace("accessibility: the bus cannot be reached; password fields are not recognised");
    return;
  }
  atspi_set_timeout(kCallTimeoutMs, kCallTimeoutMs * 4);
  GError* error = nullptr;
  if (!atspi_event_listener_register_no_data(on_focus_event, nullptr, "object:state-changed:focused", &error)) {
    trace(std::string("accessibility: no focus events: ") + (error != nullptr ? error->message : "?"));
    if (error != nullptr) g_error_free(error);
    return;
  }
  state().listening = true;
  const std::string address = bus_address();
  {
    std::lock_guard lock(state().mutex);
    state().bus_address = address;
  }
  read_current_focus();
  trace("accessibility: following the focus");
}

}  // namespace

void start_accessible_focus(os::EventLoop& loop) {
  static std::atomic<bool> started{false};
  if (started.exchange(true)) return;
  loop.post(start_listening);
}

namespace {

// Whether the object still has the focus; none when it cannot be asked.
std::optional<bool> still_focused(const std::string& address, const Focused& f) {
  // A connection of its own: libatspi's is the event loop's alone.
  static std::mutex mutex;
  static GDBusConnection* bus = nullptr;
  static std::string bus_for;
  GDBusConnection* conn = nullptr;
  {
    std::lock_guard lock(mutex);
    if (bus == nullptr || bus_for != address) {
      if (bus != nullptr) g_object_unref(bus);
      bus_for = address;
      bus = g_dbus_connection_new_for_address_sync(
          address.c_str(),
          static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                            G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
          nullptr, nullptr, nullptr);
    }
    if (bus != nullptr) conn = static_cast<GDBusConnection*>(g_object_ref(bus));
  }
  if (conn == nullptr) return std::nullopt;
  std::optional<bool> out;
  if (GVariant* r = g_dbus_connection_call_sync(
          conn, f.bus_name.c_str(), f.path.c_str(), "org.a11y.atspi.Accessible", "GetState", nullptr,
          G_VARIANT_TYPE("(au)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, kStillFocusedTimeoutMs, nullptr, nullptr)) {
    GVariant* bits = g_variant_get_child_value(r, 0);
    gsize n = 0;
    const auto* words = static_cast<const guint32*>(g_variant_get_fixed_array(bits, &n, sizeof(guint32)));
    constexpr unsigned kFocused = ATSPI_STATE_FOCUSED;
    out = n > kFocused / 32 && ((words[kFocused / 32] >> (kFocused % 32)) & 1) != 0;
    g_variant_unref(bits);
    g_variant_unref(r);
  }
  g_object_unref(conn);
  return out;
}

}  // namespace

std::optional<AccessibleFocus> accessible_focus_of(uint32_t pid) {
  State& s = state();
  std::unique_lock lock(s.mutex);
  auto it = s.by_pid.find(pid);
  if (it == s.by_pid.end()) return std::nullopt;
  const auto now = std::chrono::steady_clock::now();
  if (s.click && now - *s.click < kClickRecent && it->second.when < *s.click) {
    // A click just before: its program's report may be on its way.
    const uint64_t serial = it->second.serial;
    const auto until = std::min(*s.click + kFocusChangeWait, now + kFocusChangeWait);
    s.changed.wait_until(lock, until, [&] {
      const auto f = s.by_pid.find(pid);
      return f == s.by_pid.end() || f->second.serial != serial;
    });
    s.click.reset();
    it = s.by_pid.find(pid);
    if (it == s.by_pid.end()) return std::nullopt;
  }
  if (it->second.seen >= s.moves || s.checked >= s.moves || it->second.path.empty() || s.bus_address.empty()) {
    return it->second.focus;
  }
  // The focus may have moved since the program last told: ask the object.
  const uint64_t moves = s.moves;
  const Focused last = it->second;
  const std::string address = s.bus_address;
  lock.unlock();
  const std::optional<bool> still = still_focused(address, last);
  if (host_options().trace) {
    trace("accessibility: pid " + std::to_string(pid) +
          (still ? (*still ? " still focused" : " focus moved") : " not asked"));
  }
  lock.lock();
  s.checked = std::max(s.checked, moves);
  if (still.value_or(true)) {
    it = s.by_pid.find(pid);
    return it != s.by_pid.end() ? std::optional(it->second.focus) : std::nullopt;
  }
  // It has lost the focus: the program's report of the move is on its way.
  s.changed.wait_for(lock, kFocusChangeWait, [&] {
    const auto now = s.by_pid.find(pid);
    return now == s.by_pid.end() || now->second.serial != last.serial;
  });
  it = s.by_pid.find(pid);
  // No report came: where the focus went is not known.
  if (it == s.by_pid.end() || it->second.serial == last.serial) return std::nullopt;
  return it->second.focus;
}

void accessible_focus_may_move(bool click) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  ++s.moves;
  if (click) s.click = std::chrono::steady_clock::now();
}

AtspiAccessible* focused_accessible_of(uint32_t pid) {
  if (pid == 0 || !state().listening) return nullptr;
  AtspiAccessible* desktop = atspi_get_desktop(0);
  if (desktop == nullptr) return nullptr;
  AtspiAccessible* out = nullptr;
  const gint apps = atspi_accessible_get_child_count(desktop, nullptr);
  for (gint a = 0; a < apps && out == nullptr; ++a) {
    AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, a, nullptr);
    if (app == nullptr) continue;
    if (atspi_accessible_get_process_id(app, nullptr) == pid) {
      out = find_focused(app);
      if (out != nullptr) {
        take_focus(out);
        record(pid, out);
      }
    }
    g_object_unref(app);
  }
  g_object_unref(desktop);
  return out;
}

AtspiAccessible* focused_accessible() {
  AtspiAccessible* f = state().focused;
  return f != nullptr ? static_cast<AtspiAccessible*>(g_object_ref(f)) : nullptr;
}

}  // namespace harvel::linux_host
