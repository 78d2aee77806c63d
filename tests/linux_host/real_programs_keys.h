// The keyboard side of the tests against real programs: the keys that type
// a text on a US keyboard (and at their places in the Russian layout), the
// test's own X connection (XTest, the window manager's windows, layouts)
// and a typist's timeline of key events.
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/text.h"
#include "host_fixture.h"
#include "typing_fixture.h"

// Xlib's macros (None, Bool) clash with names of the program.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace harvel::linux_host::real_programs {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testing::pump_for;
using testing::pump_until;
using text::decode_utf8_lossy;
using text::encode_utf8;

// Conversion on, unless HARVEL_TYPING_HOOK=off (the harness's own check).
inline const bool g_hook = [] {
  const char* v = std::getenv("HARVEL_TYPING_HOOK");
  return v == nullptr || std::string(v) != "off";
}();

// How long a program may take to start (a browser on a cold, loaded
// machine), and how long a text may stay unchanged before it is taken as
// final when it is not the one expected.
constexpr double kStartSeconds = 90;
constexpr double kQuietSeconds = 4;
constexpr double kStep = 0.015;  // a typist's 15 ms a key

// Keycodes (evdev code + 8).
constexpr unsigned kEscape = 9;
constexpr unsigned kBackSpace = 22;
constexpr unsigned kReturn = 36;
constexpr unsigned kCtrlL = 37;
constexpr unsigned kShiftL = 50;
constexpr unsigned kSpace = 65;
constexpr unsigned kAltR = 108;

inline std::string quoted(const std::string& s) { return nlohmann::json(s).dump(); }

// A key of the keyboard and the modifiers held for it.
struct Stroke {
  unsigned keycode = 0;
  bool shift = false;
  bool hybrid = false;     // with the hybrid key (Right Alt) held
  bool any_shift = false;  // the space: Shift may stay held over it
};

// The key that types `c` on a US keyboard, or at its place in the Russian
// layout; '\n' is Enter, '\b' Backspace.
inline std::optional<Stroke> stroke_of(char32_t c) {
  struct Row {
    std::u32string_view plain;
    std::u32string_view shifted;
    unsigned first;
  };
  static constexpr Row kRows[] = {
      {U"1234567890-=", U"!@#$%^&*()_+", 10}, {U"qwertyuiop[]", U"QWERTYUIOP{}", 24},
      {U"asdfghjkl;'", U"ASDFGHJKL:\"", 38},  {U"zxcvbnm,./", U"ZXCVBNM<>?", 52},
      {U"йцукенгшщзхъ", U"ЙЦУКЕНГШЩЗХЪ", 24}, {U"фывапролджэ", U"ФЫВАПРОЛДЖЭ", 38},
      {U"ячсмитьбю", U"ЯЧСМИТЬБЮ", 52},
  };
  if (c == U' ') return Stroke{kSpace, false, false, true};
  if (c == U'\n') return Stroke{kReturn};
  if (c == U'\b') return Stroke{kBackSpace};
  for (const Row& r : kRows) {
    if (const auto i = r.plain.find(c); i != std::u32string_view::npos) return Stroke{unsigned(r.first + i)};
    if (const auto i = r.shifted.find(c); i != std::u32string_view::npos) return Stroke{unsigned(r.first + i), true};
  }
  return std::nullopt;
}

// The keys of `typed`: its characters, '~' holding the hybrid key for the
// next one. With the hook off the hybrid key is left out.
inline std::vector<Stroke> strokes_of(std::string_view typed) {
  std::vector<Stroke> out;
  bool hybrid = false;
  for (const char32_t c : decode_utf8_lossy(typed)) {
    if (c == U'~') {
      hybrid = g_hook;
      continue;
    }
    std::optional<Stroke> s = stroke_of(c);
    if (!s) {
      ADD_FAILURE() << "no key types " << encode_utf8(c);
      continue;
    }
    s->hybrid = hybrid;
    hybrid = false;
    out.push_back(*s);
  }
  return out;
}

// What the keys of `typed` give with no hook: the characters, Backspace
// taking the last one.
inline std::string plain_text(std::string_view typed) {
  std::u32string out;
  for (const char32_t c : decode_utf8_lossy(typed)) {
    if (c == U'~') continue;
    if (c == U'\b') {
      if (!out.empty()) out.pop_back();
    } else {
      out += c;
    }
  }
  return encode_utf8(out);
}

// The test's own X connection: the keys it types (XTest), the windows of
// the window manager's list with their titles, the active window.
class Screen {
 public:
  Screen() {
    dpy_ = XOpenDisplay(nullptr);
    if (dpy_ == nullptr) return;
    root_ = DefaultRootWindow(dpy_);
    clients_atom_ = XInternAtom(dpy_, "_NET_CLIENT_LIST", False);
    active_atom_ = XInternAtom(dpy_, "_NET_ACTIVE_WINDOW", False);
    name_atom_ = XInternAtom(dpy_, "_NET_WM_NAME", False);
    utf8_atom_ = XInternAtom(dpy_, "UTF8_STRING", False);
    XSelectInput(dpy_, root_, PropertyChangeMask);
    watch_clients();
  }
  ~Screen() {
    if (dpy_ != nullptr) XCloseDisplay(dpy_);
  }
  Display* display() const { return dpy_; }

  void key(unsigned keycode, bool down) {
    XTestFakeKeyEvent(dpy_, keycode, down ? True : False, CurrentTime);
    XFlush(dpy_);
  }
  void click(int x, int y) {
    XTestFakeMotionEvent(dpy_, DefaultScreen(dpy_), x, y, CurrentTime);
    XTestFakeButtonEvent(dpy_, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy_, 1, False, CurrentTime);
    XFlush(dpy_);
  }

  // Handles the events that arrived: a changed title marks its window.
  void poll() {
    while (XPending(dpy_) > 0) {
      XEvent e;
      XNextEvent(dpy_, &e);
      if (e.type != PropertyNotify) continue;
      if (e.xproperty.window == root_ && e.xproperty.atom == clients_atom_) {
        watch_clients();
      } else if (e.xproperty.atom == name_atom_) {
        changed_titles_.insert(e.xproperty.window);
        ++changes_;
      }
    }
  }
  // Whether the window's title changed since the last call.
  bool take_title_change(Window w) { return changed_titles_.erase(w) > 0; }
  // Counts the changes of the window list and of every title.
  uint64_t changes() const { return changes_; }

  std::vector<Window> clients() { return window_list(root_, clients_atom_); }
  Window active() {
    const std::vector<Window> w = window_list(root_, active_atom_);
    return w.empty() ? 0 : w[0];
  }
  std::string title(Window w) { return property(w, name_atom_, utf8_atom_, 8); }
  // The window manager's client window holding `w` (itself or an ancestor).
  Window client_of(Window w) {
    const std::vector<Window> list = clients();
    while (w != 0 && w != root_) {
      if (std::find(list.begin(), list.end(), w) != list.end()) return w;
      Window root = 0;
      Window parent = 0;
      Window* children = nullptr;
      unsigned n = 0;
      if (!XQueryTree(dpy_, w, &root, &parent, &children, &n)) return 0;
      if (children != nullptr) XFree(children);
      w = parent;
    }
    return 0;
  }
  // Asks the window manager to activate the window, as a task bar does.
  void activate(Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = active_atom_;
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;  // from a pager: no focus-stealing rules
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(dpy_);
  }
  // The window's place and size on the screen.
  std::optional<std::array<int, 4>> geometry(Window w) {
    XWindowAttributes a{};
    int x = 0;
    int y = 0;
    Window child = 0;
    if (!XGetWindowAttributes(dpy_, w, &a) || !XTranslateCoordinates(dpy_, w, root_, 0, 0, &x, &y, &child)) {
      return std::nullopt;
    }
    return std::array<int, 4>{x, y, a.width, a.height};
  }
  // Sets the keyboard layouts and locks the group (0 the first).
  bool layouts(const std::string& list, unsigned group) {
    if (testing::run({"setxkbmap", "-layout", list}) != 0) return false;
    XkbLockGroup(dpy_, XkbUseCoreKbd, group);
    XkbStateRec state{};
    return XkbGetState(dpy_, XkbUseCoreKbd, &state) == Success && state.locked_group == group;
  }

 private:
  void watch_clients() {
    for (const Window w : clients()) XSelectInput(dpy_, w, PropertyChangeMask);
    ++changes_;
  }
  std::vector<Window> window_list(Window w, Atom name) {
    const std::string bytes = property(w, name, XA_WINDOW, 32);
    std::vector<Window> out(bytes.size() / sizeof(long));
    for (std::size_t i = 0; i < out.size(); ++i) {
      long id = 0;
      std::memcpy(&id, bytes.data() + i * sizeof(long), sizeof(long));
      out[i] = static_cast<Window>(id);
    }
    return out;
  }
  // A property of the window with items of `format` bits, as Xlib gives
  // them (32-bit items in longs); empty when it has none of that type.
  std::string property(Window w, Atom name, Atom type, int format) {
    Atom actual = 0;
    int actual_format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::string out;
    if (XGetWindowProperty(dpy_, w, name, 0, 65536, False, type, &actual, &actual_format, &count, &after, &data) !=
        Success) {
      return out;
    }
    if (data != nullptr && actual_format == format) {
      out.assign(reinterpret_cast<const char*>(data), count * (format == 32 ? sizeof(long) : 1));
    }
    if (data != nullptr) XFree(data);
    return out;
  }

  Display* dpy_ = nullptr;
  Window root_ = 0;
  Atom clients_atom_ = 0;
  Atom active_atom_ = 0;
  Atom name_atom_ = 0;
  Atom utf8_atom_ = 0;
  std::set<Window> changed_titles_;
  uint64_t changes_ = 1;
};

inline Screen& screen() {
  static Screen* s = new Screen;
  return *s;
}

// Key events on a clock: each key goes down one step after the previous
// one and is let go half a step after the next one went down; a modifier
// goes down before its first key and up after its last.
class Typing {
 public:
  struct Event {
    double at = 0;
    unsigned keycode = 0;
    bool down = false;
    int character = -1;  // the index of the character this press types
  };

  Typing& type(std::string_view typed) {
    for (const Stroke& s : strokes_of(typed)) {
      std::set<unsigned> want;
      if (s.shift || (s.any_shift && held_.contains(kShiftL))) want.insert(kShiftL);
      if (s.hybrid) want.insert(kAltR);
      if (want != held_) {
        let_go();
        for (const unsigned m : held_) {
          if (!want.contains(m)) add(m, false);
        }
        for (const unsigned m : want) {
          if (!held_.contains(m)) add(m, true);
        }
        held_ = want;
      }
      if (last_ == s.keycode) let_go();  // the same key again: up first
      events_.push_back({t_, s.keycode, true, characters_++});
      if (last_) events_.push_back({t_ + kStep / 2, *last_, false});
      last_ = s.keycode;
      t_ += kStep;
    }
    let_go();
    for (const unsigned m : held_) add(m, false);
    held_.clear();
    return *this;
  }
  // One key event, a step after the last one.
  Typing& key(unsigned keycode, bool down) {
    add(keycode, down);
    return *this;
  }
  // Something to do at this point of the typing.
  Typing& then(std::function<void()> action) {
    actions_.emplace_back(t_, std::move(action));
    return *this;
  }

  // Types it, reading the programs meanwhile; the time each character's
  // key went down.
  template <typename Target>
  std::vector<Clock::time_point> play(Target& target) {
    std::stable_sort(events_.begin(), events_.end(), [](const Event& a, const Event& b) { return a.at < b.at; });
    std::vector<Clock::time_point> pressed(characters_);
    std::set<unsigned> down;
    const Clock::time_point start = Clock::now();
    auto wait_until = [&](double at) {
      const auto when = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(at));
      pump_until(
          [&] {
            target.poll();
            return Clock::now() >= when;
          },
          at + 60);
    };
    std::size_t next_action = 0;
    for (const Event& e : events_) {
      for (; next_action < actions_.size() && actions_[next_action].first <= e.at; ++next_action) {
        wait_until(actions_[next_action].first);
        actions_[next_action].second();
      }
      wait_until(e.at);
      screen().key(e.keycode, e.down);
      if (e.down)
        down.insert(e.keycode);
      else
        down.erase(e.keycode);
      if (e.character >= 0) pressed[e.character] = Clock::now();
    }
    for (; next_action < actions_.size(); ++next_action) actions_[next_action].second();
    for (const unsigned k : down) screen().key(k, false);
    return pressed;
  }

 private:
  void add(unsigned keycode, bool down) {
    let_go();
    events_.push_back({t_, keycode, down});
    t_ += kStep;
  }
  void let_go() {
    if (!last_) return;
    events_.push_back({t_, *last_, false});
    last_.reset();
    t_ += kStep;
  }

  std::vector<Event> events_;
  std::vector<std::pair<double, std::function<void()>>> actions_;
  std::set<unsigned> held_;
  std::optional<unsigned> last_;
  double t_ = 0;
  int characters_ = 0;
};

}  // namespace harvel::linux_host::real_programs
