// The keyboard layout queries on the Linux host, from XKB: the layout
// handle is the active group with the LANGID of its layout, and ToUnicodeEx
// and MapVirtualKeyExW answer from the server's keymap. SendInput types
// through the keyboard hook's X11 layer.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <gdk/gdk.h>

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "platform/linux/keys/key_positions.h"
#include "platform/linux/linux_host.h"
#include "platform/linux/linux_system.h"
#include "platform/linux/x11_keyboard.h"

namespace harvel::linux_host {

namespace {

Display* as_display(void* p) { return static_cast<Display*>(p); }

struct LayoutLangid {
  std::string_view layout;
  std::string_view variant;  // empty: any variant
  uint16_t langid;
};

// XKB layout names (and the variants that change the language) to Windows
// LANGIDs.
constexpr LayoutLangid kLangids[] = {
    {"uz", "latin", 0x0443}, {"uz", "", 0x0843},   {"us", "", 0x0409},  {"gb", "", 0x0809},  {"de", "", 0x0407},
    {"at", "", 0x0C07},      {"ch", "fr", 0x100C}, {"ch", "", 0x0807},  {"fr", "", 0x040C},  {"be", "", 0x0813},
    {"ca", "", 0x0C0C},      {"es", "", 0x0C0A},   {"latam", "", 0x080A}, {"it", "", 0x0410}, {"pt", "", 0x0816},
    {"br", "", 0x0416},      {"nl", "", 0x0413},   {"se", "", 0x041D},  {"no", "", 0x0414},  {"dk", "", 0x0406},
    {"fi", "", 0x040B},      {"pl", "", 0x0415},   {"cz", "", 0x0405},  {"sk", "", 0x041B},  {"hu", "", 0x040E},
    {"ro", "", 0x0418},      {"hr", "", 0x041A},   {"bg", "", 0x0402},  {"gr", "", 0x0408},  {"tr", "", 0x041F},
    {"ru", "", 0x0419},      {"ua", "", 0x0422},   {"by", "", 0x0423},  {"kz", "", 0x043F},  {"kg", "", 0x0440},
    {"tj", "", 0x0428},      {"tm", "", 0x0442},   {"az", "", 0x042C},  {"ge", "", 0x0437},  {"am", "", 0x042B},
    {"lt", "", 0x0427},      {"lv", "", 0x0426},   {"ee", "", 0x0425},  {"ir", "", 0x0429},  {"ara", "", 0x0401},
    {"il", "", 0x040D},      {"in", "", 0x0439},   {"th", "", 0x041E},  {"vn", "", 0x042A},  {"cn", "", 0x0804},
    {"jp", "", 0x0411},      {"kr", "", 0x0412},   {"mn", "", 0x0450},
};

std::vector<std::string> split(std::string_view s, char sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = s.find(sep, start);
    out.emplace_back(s.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return out;
    start = end + 1;
  }
}

}  // namespace

// Held by the keymap cache (outside the unnamed namespace).
namespace xkb_map {

// The layouts and variants of the groups, from the root window's
// _XKB_RULES_NAMES ("rules\0model\0layouts\0variants\0options").
struct GroupNames {
  std::vector<std::string> layouts;
  std::vector<std::string> variants;
};

GroupNames group_names(Display* d) {
  GroupNames names;
  const Atom prop = XInternAtom(d, "_XKB_RULES_NAMES", True);
  if (prop == None) return names;
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, DefaultRootWindow(d), prop, 0, 1024, False, XA_STRING, &type, &format, &count, &after,
                         &data) != Success) {
    return names;
  }
  if (data != nullptr && type == XA_STRING && format == 8) {
    const std::vector<std::string> fields = split(std::string_view(reinterpret_cast<char*>(data), count), '\0');
    if (fields.size() > 2) names.layouts = split(fields[2], ',');
    if (fields.size() > 3) names.variants = split(fields[3], ',');
  }
  if (data != nullptr) XFree(data);
  return names;
}

// The server's keymap, freed with the object.
class Keymap {
 public:
  explicit Keymap(Display* d) : xkb_(XkbGetMap(d, XkbAllClientInfoMask, XkbUseCoreKbd)) {}
  ~Keymap() {
    if (xkb_ != nullptr) XkbFreeKeyboard(xkb_, 0, True);
  }
  Keymap(const Keymap&) = delete;
  Keymap& operator=(const Keymap&) = delete;
  XkbDescPtr get() const { return xkb_; }
  bool has(unsigned keycode) const {
    return xkb_ != nullptr && keycode >= xkb_->min_key_code && keycode <= xkb_->max_key_code;
  }
  // The keysym a key types with core modifiers `mods` in `group`, and the
  // modifiers that were used up choosing it.
  KeySym keysym(unsigned keycode, unsigned mods, unsigned group, unsigned* consumed = nullptr) const {
    if (!has(keycode)) return NoSymbol;
    unsigned used = 0;
    KeySym sym = NoSymbol;
    if (!XkbTranslateKeyCode(xkb_, static_cast<KeyCode>(keycode), XkbBuildCoreState(mods, group), &used, &sym)) {
      return NoSymbol;
    }
    if (consumed) *consumed = used;
    return sym;
  }

 private:
  XkbDescPtr xkb_;
};

}  // namespace xkb_map

namespace {

using xkb_map::GroupNames;
using xkb_map::Keymap;
using xkb_map::group_names;


// The key a virtual key stands for in `group`: the key that types its
// symbol there (plain or shifted), else the key at its US position. The
// keys the typing layer borrows for characters are no keyboard keys.
unsigned keycode_for_vk(const Keymap& map, uint32_t vk, unsigned group) {
  const KeySym target = keysym_for_vk(vk);
  if (target == 0 || map.get() == nullptr) return 0;
  XkbDescPtr xkb = map.get();
  for (unsigned kc = xkb->min_key_code; kc <= xkb->max_key_code; ++kc) {
    if (is_typing_keycode(kc)) continue;
    // A key with fewer groups would answer for another group: only keys
    // that have this one count.
    if (group >= XkbKeyNumGroups(xkb, kc)) continue;
    for (unsigned mods : {0u, static_cast<unsigned>(ShiftMask)}) {
      KeySym lower = NoSymbol;
      KeySym upper = NoSymbol;
      XConvertCase(map.keysym(kc, mods, group), &lower, &upper);
      if (lower == target) return kc;
    }
  }
  const unsigned positional = keycode_for_position_vk(vk);
  return map.has(positional) ? positional : 0;
}

bool is_dead_key(KeySym sym) { return sym >= 0xFE50 && sym <= 0xFE93; }

// The keys a modifier's virtual key stands for; empty for other keys.
std::vector<KeySym> keysyms_of_modifier(uint32_t vk) {
  switch (vk) {
    case 0x10: return {XK_Shift_L, XK_Shift_R};
    case 0x11: return {XK_Control_L, XK_Control_R};
    case 0x12: return {XK_Alt_L, XK_Alt_R, XK_ISO_Level3_Shift};
    case 0xA0: return {XK_Shift_L};
    case 0xA1: return {XK_Shift_R};
    case 0xA2: return {XK_Control_L};
    case 0xA3: return {XK_Control_R};
    case 0xA4: return {XK_Alt_L};
    case 0xA5: return {XK_Alt_R, XK_ISO_Level3_Shift};
    case 0x5B: return {XK_Super_L};
    case 0x5C: return {XK_Super_R};
    default: return {};
  }
}

}  // namespace

// The server's keyboard group, keymap and layout names, asked once and then
// kept while no change is reported, read without waiting at each query. The
// reports come from the foreground queries' connection, which reads its
// events at every query anyway (XKB's notices there, the core keymap notice,
// the root's _XKB_RULES_NAMES), so a query reads no second connection; a
// server whose XKB does not report there reports to this display instead.
// The layout watcher asks ten times a second; a round trip to the server
// each time would wake the thread and the server for nothing.
struct KeymapCache {
  int xkb_event = -1;  // the XKB event code; -1: the display reports no changes
  bool watching = false;
  bool told = false;  // the foreground queries' connection reports the changes
  x11::KeyboardChanges seen;
  Atom rules_names = 0;
  bool stale = true;
  std::optional<unsigned> group;
  std::unique_ptr<xkb_map::Keymap> keymap;
  std::optional<xkb_map::GroupNames> names;

  bool reports_changes() const { return told || xkb_event >= 0; }

  void read_events(Display* d) {
    if (!watching) {
      watching = true;
      if (const auto now = x11::keyboard_changes()) {
        told = true;
        seen = *now;
        return;
      }
      if (xkb_event < 0) return;
      const unsigned long maps = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
      XkbSelectEvents(d, XkbUseCoreKbd, maps, maps);
      XkbSelectEventDetails(d, XkbUseCoreKbd, XkbStateNotify, XkbGroupStateMask, XkbGroupStateMask);
      rules_names = XInternAtom(d, "_XKB_RULES_NAMES", False);
      XSelectInput(d, DefaultRootWindow(d), PropertyChangeMask);
    }
    if (told) {
      const x11::KeyboardChanges now = x11::keyboard_changes().value_or(x11::KeyboardChanges{});
      if (now.keymap != seen.keymap) {
        stale = true;
        group.reset();  // a new keymap may wrap the group: asked again
        // The display selects no events; the core keymap notices reach
        // every client and are dropped here.
        while (XPending(d) > 0) {
          XEvent e;
          XNextEvent(d, &e);
        }
      }
      if (now.group != seen.group) group.reset();
      seen = now;
      return;
    }
    while (XPending(d) > 0) {
      XEvent e;
      XNextEvent(d, &e);
      if (e.type == xkb_event) {
        const auto* x = reinterpret_cast<const XkbEvent*>(&e);
        if (x->any.xkb_type == XkbStateNotify) {
          group = static_cast<unsigned>(x->state.group) & 3;
        } else {
          stale = true;
          group.reset();  // a new keymap may wrap the group: asked again
        }
      } else if (e.type == MappingNotify || (e.type == PropertyNotify && e.xproperty.atom == rules_names)) {
        stale = true;
      }
    }
  }
  // The keymap again after a change; the events were just read.
  void renew(Display* d) {
    // Without change events every query asks the server.
    if (!stale && reports_changes()) return;
    stale = false;
    keymap = std::make_unique<xkb_map::Keymap>(d);
    names.reset();
  }
  const xkb_map::Keymap& map(Display* d) {
    read_events(d);
    renew(d);
    return *keymap;
  }
  // The group and layout names as of the last read_events.
  const xkb_map::GroupNames& read_group_names(Display* d) {
    renew(d);
    if (!names) names = xkb_map::group_names(d);
    return *names;
  }
  unsigned read_server_group(Display* d) {
    if (group && reports_changes()) return *group;
    XkbStateRec state{};
    if (XkbGetState(d, XkbUseCoreKbd, &state) != Success) return 0;
    group = state.group & 3;
    return *group;
  }
  unsigned server_group(Display* d) {
    read_events(d);
    return read_server_group(d);
  }
};

namespace {

// The active group: the one of the event the hook is deciding, else the
// server's.
unsigned current_group(Display* d, KeymapCache& cache) {
  if (const auto g = hook_thread_group()) return *g;
  return cache.server_group(d);
}

unsigned group_of(os::LayoutHandle layout, Display* d, KeymapCache& cache) {
  const uintptr_t high = (layout >> 16) & 0xFFFF;
  if (high >= 1 && high <= 4) return static_cast<unsigned>(high - 1);
  return current_group(d, cache);
}

}  // namespace

uint16_t langid_for_xkb_layout(std::string_view layout, std::string_view variant) {
  for (const LayoutLangid& l : kLangids) {
    if (l.layout == layout && (l.variant.empty() || l.variant == variant)) return l.langid;
  }
  return 0x0409;
}

LinuxKeyboardInput::LinuxKeyboardInput() : cache_(std::make_unique<KeymapCache>()) {}

LinuxKeyboardInput::~LinuxKeyboardInput() {
  cache_.reset();
  if (display_ != nullptr) XCloseDisplay(as_display(display_));
}

void* LinuxKeyboardInput::display() {
  if (!display_tried_) {
    display_tried_ = true;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    int reason = 0;
    int event = 0;
    display_ = XkbOpenDisplay(nullptr, &event, nullptr, &major, &minor, &reason);
    if (display_ != nullptr) cache_->xkb_event = event;
  }
  return display_;
}

os::HookResult LinuxKeyboardInput::call_next_hook(const os::KeyEvent&) { return 0; }

void LinuxKeyboardInput::send_input(std::span<const os::KeyInput> batch) { x11_send_input(batch); }

int16_t LinuxKeyboardInput::key_state(uint32_t vk) {
  if (const auto state = hook_thread_key_state(vk)) return *state;
  std::lock_guard lock(mutex_);
  Display* d = as_display(display());
  if (d == nullptr) return 0;
  uint16_t state = 0;
  if (vk == 0x14 || vk == 0x90) {
    XkbStateRec s{};
    const unsigned mask = vk == 0x14 ? LockMask : XkbKeysymToModifiers(d, XK_Num_Lock);
    if (XkbGetState(d, XkbUseCoreKbd, &s) == Success && (s.locked_mods & mask) != 0) state |= 1;
  }
  std::vector<KeySym> syms = keysyms_of_modifier(vk);
  if (syms.empty()) {
    if (const KeySym sym = keysym_for_vk(vk)) syms.push_back(sym);
  }
  char keys[32] = {};
  XQueryKeymap(d, keys);
  for (KeySym sym : syms) {
    const KeyCode kc = XKeysymToKeycode(d, sym);
    if (kc != 0 && (keys[kc / 8] & (1 << (kc % 8))) != 0) state |= 0x8000;
  }
  return static_cast<int16_t>(state);
}

os::LayoutHandle LinuxKeyboardInput::keyboard_layout(uint32_t) {
  std::lock_guard lock(mutex_);
  Display* d = as_display(display());
  if (d == nullptr) return 0;
  // One read of the change events for both answers: the layout watcher asks
  // this ten times a second.
  cache_->read_events(d);
  const std::optional<unsigned> hook_group = hook_thread_group();
  unsigned group = hook_group ? *hook_group : cache_->read_server_group(d);
  const GroupNames& names = cache_->read_group_names(d);
  // A group locked under a keymap with more groups stays set after the
  // keymap shrinks; the keyboard then types the group it wraps to.
  if (!names.layouts.empty() && group >= names.layouts.size()) group %= names.layouts.size();
  const std::string_view layout = group < names.layouts.size() ? std::string_view(names.layouts[group]) : "";
  const std::string_view variant = group < names.variants.size() ? std::string_view(names.variants[group]) : "";
  return (static_cast<os::LayoutHandle>(group + 1) << 16) | langid_for_xkb_layout(layout, variant);
}

int LinuxKeyboardInput::to_unicode(uint32_t vk, uint32_t scan, const std::array<uint8_t, 256>& key_state,
                                   std::span<char16_t> out, uint32_t, os::LayoutHandle layout) {
  std::lock_guard lock(mutex_);
  Display* d = as_display(display());
  if (d == nullptr || out.empty()) return 0;
  const unsigned group = group_of(layout, d, *cache_);
  const Keymap& map = cache_->map(d);
  const unsigned keycode = scan != 0 ? scan + 8 : keycode_for_vk(map, vk, group);
  if (!map.has(keycode)) return 0;
  auto down = [&](uint32_t k) { return (key_state[k] & 0x80) != 0; };
  const bool shift = down(0x10) || down(0xA0) || down(0xA1);
  const bool caps = (key_state[0x14] & 1) != 0;
  const bool alt_gr = down(0xA5) || ((down(0x11) || down(0xA2) || down(0xA3)) && (down(0x12) || down(0xA4)));
  unsigned mods = shift ? ShiftMask : 0;
  if (caps) mods |= LockMask;
  if (alt_gr) mods |= XkbKeysymToModifiers(d, XK_ISO_Level3_Shift);
  unsigned consumed = 0;
  KeySym sym = map.keysym(keycode, mods, group, &consumed);
  if (caps && (consumed & LockMask) == 0) {
    // Caps Lock not handled by the key's type: it changes the case.
    KeySym lower = NoSymbol;
    KeySym upper = NoSymbol;
    XConvertCase(sym, &lower, &upper);
    sym = sym == lower ? upper : lower;
  }
  if (sym == NoSymbol) return 0;
  if (is_dead_key(sym)) return -1;
  const char32_t c = gdk_keyval_to_unicode(static_cast<guint>(sym));
  if (c == 0) return 0;
  if (c < 0x10000) {
    out[0] = static_cast<char16_t>(c);
    return 1;
  }
  if (out.size() < 2) return 0;
  out[0] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
  out[1] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  return 2;
}

uint32_t LinuxKeyboardInput::map_virtual_key(uint32_t code, uint32_t map_type, os::LayoutHandle layout) {
  if (map_type != os::MAPVK_VK_TO_VSC) return 0;
  std::lock_guard lock(mutex_);
  Display* d = as_display(display());
  if (d == nullptr) return 0;
  const Keymap& map = cache_->map(d);
  const unsigned keycode = keycode_for_vk(map, code, group_of(layout, d, *cache_));
  return keycode >= 8 ? keycode - 8 : 0;
}

}  // namespace harvel::linux_host
