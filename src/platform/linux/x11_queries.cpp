// Window and property queries on an XCB connection of the host's own, shared
// by the foreground queries and the running-programs list.
#include <xcb/res.h>
#include <xcb/xcb.h>
// The XKB protocol header names a field "explicit".
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "core/text.h"
#include "platform/linux/linux_system.h"

namespace harvel::linux_host::x11 {

namespace {

struct Connection {
  xcb_connection_t* conn = nullptr;
  xcb_window_t root = 0;
};

// Opened once, on first use, and kept for the life of the process. XCB
// connections are thread-safe; the atom table has its own lock.
Connection& connection() {
  static Connection c = [] {
    Connection out;
    int screen_number = 0;
    xcb_connection_t* conn = xcb_connect(nullptr, &screen_number);
    if (conn == nullptr || xcb_connection_has_error(conn) != 0) {
      if (conn) xcb_disconnect(conn);
      return out;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn));
    for (int i = 0; i < screen_number && it.rem > 0; ++i) xcb_screen_next(&it);
    if (it.rem == 0) {
      xcb_disconnect(conn);
      return out;
    }
    out.conn = conn;
    out.root = it.data->root;
    return out;
  }();
  return c;
}

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> reply(T* r) {
  return Reply<T>(r, &std::free);
}

}  // namespace

std::vector<uint32_t> Property::cards() const {
  std::vector<uint32_t> out;
  if (format != 32) return out;
  out.resize(bytes.size() / 4);
  std::memcpy(out.data(), bytes.data(), out.size() * 4);
  return out;
}

bool available() { return connection().conn != nullptr; }

uint32_t root_window() { return connection().root; }

uint32_t atom(std::string_view name) {
  xcb_connection_t* conn = connection().conn;
  if (conn == nullptr) return 0;
  static std::mutex mutex;
  static std::map<std::string, uint32_t, std::less<>> atoms;
  {
    std::lock_guard lock(mutex);
    if (auto it = atoms.find(name); it != atoms.end()) return it->second;
  }
  auto r = reply(xcb_intern_atom_reply(
      conn, xcb_intern_atom(conn, 0, static_cast<uint16_t>(name.size()), name.data()), nullptr));
  if (!r) return 0;
  std::lock_guard lock(mutex);
  atoms.emplace(std::string(name), r->atom);
  return r->atom;
}

std::optional<Property> property(uint32_t window, uint32_t prop, uint32_t type) {
  xcb_connection_t* conn = connection().conn;
  if (conn == nullptr || window == 0 || prop == 0) return std::nullopt;
  // Up to 1 MiB of values: far more than any title, class or client list.
  constexpr uint32_t kLongs = 1 << 18;
  xcb_generic_error_t* error = nullptr;
  auto r = reply(xcb_get_property_reply(
      conn, xcb_get_property(conn, 0, window, prop, type == 0 ? uint32_t{XCB_GET_PROPERTY_TYPE_ANY} : type, 0, kLongs),
      &error));
  if (error != nullptr) {
    std::free(error);
    return std::nullopt;
  }
  if (!r) return std::nullopt;
  Property p;
  p.type = r->type;
  p.format = r->format;
  if (r->type != XCB_ATOM_NONE && (type == 0 || r->type == type)) {
    const auto* data = static_cast<const uint8_t*>(xcb_get_property_value(r.get()));
    const int length = xcb_get_property_value_length(r.get());
    if (length > 0) p.bytes.assign(data, data + length);
  } else if (r->type != XCB_ATOM_NONE) {
    p.type = 0;  // present, but of another type: treated as absent
  }
  return p;
}

std::string window_title(uint32_t window) {
  if (auto p = property(window, atom("_NET_WM_NAME"), atom("UTF8_STRING")); p && p->type != 0 && !p->bytes.empty()) {
    return std::string(p->bytes.begin(), p->bytes.end());
  }
  if (auto p = property(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING); p && p->type != 0) {
    // STRING is Latin-1.
    std::u32string chars(p->bytes.begin(), p->bytes.end());
    return text::encode_utf8(chars);
  }
  return {};
}

uint32_t window_pid(uint32_t window) {
  const auto p = property(window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
  if (!p) return 0;
  const std::vector<uint32_t> values = p->cards();
  return values.empty() ? client_pid(window) : values[0];
}

uint32_t client_pid(uint32_t window) {
  xcb_connection_t* conn = connection().conn;
  if (conn == nullptr || window == 0) return 0;
  const xcb_query_extension_reply_t* ext = xcb_get_extension_data(conn, &xcb_res_id);
  if (ext == nullptr || !ext->present) return 0;
  const xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
  auto r = reply(xcb_res_query_client_ids_reply(conn, xcb_res_query_client_ids(conn, 1, &spec), nullptr));
  if (!r) return 0;
  for (auto it = xcb_res_query_client_ids_ids_iterator(r.get()); it.rem > 0; xcb_res_client_id_value_next(&it)) {
    if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) == 0) continue;
    if (xcb_res_client_id_value_value_length(it.data) < 1) continue;
    return *xcb_res_client_id_value_value(it.data);
  }
  return 0;
}

uint32_t top_level_of(uint32_t window) {
  xcb_connection_t* conn = connection().conn;
  const uint32_t root = root_window();
  if (conn == nullptr || window == 0 || window == root) return 0;
  for (int depth = 0; depth < 64; ++depth) {
    auto tree = reply(xcb_query_tree_reply(conn, xcb_query_tree(conn, window), nullptr));
    if (!tree) return 0;
    if (tree->parent == root) return window;
    if (tree->parent == XCB_WINDOW_NONE) return 0;
    window = tree->parent;
  }
  return 0;
}

std::optional<uint32_t> window_width(uint32_t window) {
  xcb_connection_t* conn = connection().conn;
  if (conn == nullptr || window == 0) return std::nullopt;
  auto r = reply(xcb_get_geometry_reply(conn, xcb_get_geometry(conn, window), nullptr));
  if (!r) return std::nullopt;
  return r->width;
}

uint32_t input_focus() {
  xcb_connection_t* conn = connection().conn;
  if (conn == nullptr) return 0;
  auto r = reply(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));
  if (!r) return 0;
  const uint32_t focus = r->focus;
  if (focus == XCB_NONE || focus == XCB_INPUT_FOCUS_POINTER_ROOT || focus == root_window()) return 0;
  return focus;
}

namespace {

// The change counts of the events this connection reads: the root's
// _NET_ACTIVE_WINDOW, and the keyboard's group and keymap (XKB's notices,
// the core keymap notice, the root's _XKB_RULES_NAMES). Asked for at the
// first read.
struct Changes {
  std::mutex mutex;
  bool asked = false;
  bool xkb = false;        // XKB's notices reach this connection
  uint8_t xkb_event = 0;   // XKB's event code
  uint32_t active_atom = 0;
  uint32_t rules_atom = 0;
  uint64_t active = 0;
  KeyboardChanges keyboard;
};

Changes& changes() {
  static Changes* c = new Changes;  // used by threads that outlive exit handlers
  return *c;
}

void ask_for_events(xcb_connection_t* conn, Changes& c) {
  c.asked = true;
  c.active_atom = atom("_NET_ACTIVE_WINDOW");
  c.rules_atom = atom("_XKB_RULES_NAMES");
  const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(conn, root_window(), XCB_CW_EVENT_MASK, &mask);
  if (const xcb_query_extension_reply_t* ext = xcb_get_extension_data(conn, &xcb_xkb_id);
      ext != nullptr && ext->present) {
    auto r = reply(xcb_xkb_use_extension_reply(conn, xcb_xkb_use_extension(conn, 1, 0), nullptr));
    if (r && r->supported) {
      // Any new keymap; of the state, the group alone (not every modifier
      // press).
      xcb_xkb_select_events_details_t details{};
      details.affectState = XCB_XKB_STATE_PART_GROUP_STATE;
      details.stateDetails = XCB_XKB_STATE_PART_GROUP_STATE;
      const uint16_t all = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
      xcb_generic_error_t* e = xcb_request_check(
          conn, xcb_xkb_select_events_aux_checked(conn, XCB_XKB_ID_USE_CORE_KBD,
                                                  all | XCB_XKB_EVENT_TYPE_STATE_NOTIFY, 0, all, 0xFF, 0xFF,
                                                  &details));
      c.xkb = e == nullptr;
      std::free(e);
      c.xkb_event = ext->first_event;
    }
  }
  xcb_flush(conn);
}

// Reads the events that came, without waiting; under c.mutex.
void read_changes(xcb_connection_t* conn, Changes& c) {
  if (!c.asked) ask_for_events(conn, c);
  // Errors of unchecked requests come here too and are dropped.
  while (xcb_generic_event_t* e = xcb_poll_for_event(conn)) {
    const uint8_t type = e->response_type & 0x7F;
    if (type == XCB_PROPERTY_NOTIFY) {
      const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
      if (p->window == root_window() && p->atom == c.active_atom) ++c.active;
      if (p->window == root_window() && p->atom == c.rules_atom) ++c.keyboard.keymap;
    } else if (type == XCB_MAPPING_NOTIFY) {
      ++c.keyboard.keymap;
    } else if (c.xkb && type == c.xkb_event) {
      // XKB's events name their kind in the second byte.
      if (e->pad0 == XCB_XKB_STATE_NOTIFY) {
        ++c.keyboard.group;
      } else if (e->pad0 == XCB_XKB_NEW_KEYBOARD_NOTIFY || e->pad0 == XCB_XKB_MAP_NOTIFY) {
        ++c.keyboard.keymap;
      }
    }
    std::free(e);
  }
}

}  // namespace

uint64_t active_window_changes() {
  xcb_connection_t* conn = connection().conn;
  if (conn == nullptr) return 0;
  Changes& c = changes();
  std::lock_guard lock(c.mutex);
  read_changes(conn, c);
  // Counted from 1, so 0 stays "no display".
  return c.active + 1;
}

std::optional<KeyboardChanges> keyboard_changes() {
  xcb_connection_t* conn = connection().conn;
  if (conn == nullptr) return std::nullopt;
  Changes& c = changes();
  std::lock_guard lock(c.mutex);
  read_changes(conn, c);
  if (!c.xkb) return std::nullopt;
  return c.keyboard;
}

std::vector<RootChild> root_children() {
  std::vector<RootChild> out;
  xcb_connection_t* conn = connection().conn;
  if (conn == nullptr) return out;
  auto tree = reply(xcb_query_tree_reply(conn, xcb_query_tree(conn, root_window()), nullptr));
  if (!tree) return out;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  const int count = xcb_query_tree_children_length(tree.get());
  std::vector<xcb_get_window_attributes_cookie_t> cookies;
  cookies.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) cookies.push_back(xcb_get_window_attributes(conn, children[i]));
  for (int i = 0; i < count; ++i) {
    auto attrs = reply(xcb_get_window_attributes_reply(conn, cookies[static_cast<std::size_t>(i)], nullptr));
    if (!attrs) continue;  // gone meanwhile
    out.push_back({children[i], attrs->map_state == XCB_MAP_STATE_VIEWABLE, attrs->override_redirect != 0});
  }
  return out;
}

}  // namespace harvel::linux_host::x11
