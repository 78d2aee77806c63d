#include "platform/linux/atspi_focus.h"

#include <atspi/atspi.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/linux/linux_host.h"
#include "platform/linux/linux_system.h"

namespace harvel::linux_host {

namespace {

// A hung program must not hold the event loop for long.
constexpr int kCallTimeoutMs = 500;
constexpr std::size_t kMaxProcesses = 64;

struct State {
  std::mutex mutex;
  std::map<uint32_t, AccessibleFocus> by_pid;
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

void record(uint32_t pid, std::optional<AccessibleFocus> focus) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (!focus) {
    s.by_pid.erase(pid);
    return;
  }
  if (s.by_pid.size() >= kMaxProcesses && s.by_pid.find(pid) == s.by_pid.end()) s.by_pid.clear();
  s.by_pid[pid] = *focus;
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
      if (pid != 0) record(pid, describe(source));
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
        if (const guint pid = atspi_accessible_get_process_id(object, nullptr)) record(pid, describe(object));
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
  read_current_focus();
  trace("accessibility: following the focus");
}

}  // namespace

void start_accessible_focus(os::EventLoop& loop) {
  static std::atomic<bool> started{false};
  if (started.exchange(true)) return;
  loop.post(start_listening);
}

std::optional<AccessibleFocus> accessible_focus_of(uint32_t pid) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  const auto it = s.by_pid.find(pid);
  if (it == s.by_pid.end()) return std::nullopt;
  return it->second;
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
        record(pid, describe(out));
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
