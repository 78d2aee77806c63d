// The global shortcut on X11, standing in for RegisterHotKey: a passive
// XGrabKey on the root window for the key with the shortcut's modifiers,
// repeated for every combination of the lock modifiers (Caps Lock, Num Lock,
// Scroll Lock when mapped). Another client's grab of the same key makes the
// grab fail with BadAccess, which is how a taken shortcut shows. The
// keyboard hook grabs every key on the root window too: it is told to leave
// the shortcut's combinations to this grab.
#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include "platform/linux/linux_host.h"
#include "platform/linux/x11_keyboard.h"

namespace harvel::linux_host {

namespace {

struct VkKeysym {
  uint32_t vk;
  unsigned long keysym;
};

constexpr VkKeysym kKeysyms[] = {
    {0x08, XK_BackSpace},  {0x09, XK_Tab},          {0x0D, XK_Return},
    {0x13, XK_Pause},      {0x14, XK_Caps_Lock},    {0x1B, XK_Escape},
    {0x20, XK_space},      {0x21, XK_Prior},        {0x22, XK_Next},
    {0x23, XK_End},        {0x24, XK_Home},         {0x25, XK_Left},
    {0x26, XK_Up},         {0x27, XK_Right},        {0x28, XK_Down},
    {0x2C, XK_Print},      {0x2D, XK_Insert},       {0x2E, XK_Delete},
    {0x5D, XK_Menu},       {0x6A, XK_KP_Multiply},  {0x6B, XK_KP_Add},
    {0x6D, XK_KP_Subtract}, {0x6E, XK_KP_Decimal},  {0x6F, XK_KP_Divide},
    {0x90, XK_Num_Lock},   {0x91, XK_Scroll_Lock},
    {0xAD, XF86XK_AudioMute}, {0xAE, XF86XK_AudioLowerVolume}, {0xAF, XF86XK_AudioRaiseVolume},
    {0xB0, XF86XK_AudioNext}, {0xB1, XF86XK_AudioPrev}, {0xB2, XF86XK_AudioStop},
    {0xB3, XF86XK_AudioPlay},
    {0xBA, XK_semicolon},  {0xBB, XK_equal},        {0xBC, XK_comma},
    {0xBD, XK_minus},      {0xBE, XK_period},       {0xBF, XK_slash},
    {0xC0, XK_grave},      {0xDB, XK_bracketleft},  {0xDC, XK_backslash},
    {0xDD, XK_bracketright}, {0xDE, XK_apostrophe},
};

Display* x_display() {
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return nullptr;
  return GDK_DISPLAY_XDISPLAY(display);
}

// The modifier mask (Mod1..Mod5) a keysym is mapped to; 0 when none.
unsigned modifier_mask_of(Display* dpy, KeySym keysym) {
  const KeyCode code = XKeysymToKeycode(dpy, keysym);
  if (code == 0) return 0;
  unsigned mask = 0;
  XModifierKeymap* map = XGetModifierMapping(dpy);
  for (int m = 0; m < 8 && map != nullptr; ++m) {
    for (int k = 0; k < map->max_keypermod; ++k) {
      if (map->modifiermap[m * map->max_keypermod + k] == code) mask |= 1u << m;
    }
  }
  if (map != nullptr) XFreeModifiermap(map);
  return mask;
}

unsigned x_modifiers(Display* dpy, uint32_t mods) {
  unsigned out = 0;
  if (mods & os::MOD_SHIFT) out |= ShiftMask;
  if (mods & os::MOD_CONTROL) out |= ControlMask;
  if (mods & os::MOD_ALT) {
    const unsigned alt = modifier_mask_of(dpy, XK_Alt_L);
    out |= alt != 0 ? alt : Mod1Mask;
  }
  if (mods & os::MOD_WIN) {
    const unsigned super = modifier_mask_of(dpy, XK_Super_L);
    out |= super != 0 ? super : Mod4Mask;
  }
  return out;
}

unsigned lock_mask(Display* dpy) {
  return LockMask | modifier_mask_of(dpy, XK_Num_Lock) | modifier_mask_of(dpy, XK_Scroll_Lock);
}

GdkFilterReturn filter_root_keys(GdkXEvent* native, GdkEvent*, gpointer self) {
  const XEvent* event = static_cast<const XEvent*>(native);
  if (event->type != KeyPress && event->type != KeyRelease) return GDK_FILTER_CONTINUE;
  if (event->xkey.window != event->xkey.root) return GDK_FILTER_CONTINUE;
  static_cast<LinuxGlobalShortcut*>(self)->handle_key(event->xkey.keycode, event->xkey.state,
                                                      event->type == KeyPress);
  return GDK_FILTER_CONTINUE;
}

}  // namespace

unsigned long keysym_for_vk(uint32_t vk) {
  if (vk >= 0x41 && vk <= 0x5A) return XK_a + (vk - 0x41);
  if (vk >= 0x30 && vk <= 0x39) return XK_0 + (vk - 0x30);
  if (vk >= 0x60 && vk <= 0x69) return XK_KP_0 + (vk - 0x60);
  if (vk >= 0x70 && vk <= 0x87) return XK_F1 + (vk - 0x70);
  for (const VkKeysym& k : kKeysyms) {
    if (k.vk == vk) return k.keysym;
  }
  return 0;
}

LinuxGlobalShortcut::LinuxGlobalShortcut(LinuxEventLoop& loop) : loop_(loop) {}

LinuxGlobalShortcut::~LinuxGlobalShortcut() {
  if (filter_installed_) gdk_window_remove_filter(nullptr, filter_root_keys, this);
}

std::vector<unsigned> LinuxGlobalShortcut::lock_combinations() {
  Display* dpy = x_display();
  const unsigned locks = dpy != nullptr ? lock_mask(dpy) : LockMask;
  // Every subset of the lock bits.
  std::vector<unsigned> out;
  unsigned subset = 0;
  do {
    out.push_back(subset);
    subset = (subset - locks) & locks;
  } while (subset != 0);
  return out;
}

bool LinuxGlobalShortcut::grab(Grab& g) {
  Display* dpy = x_display();
  if (dpy == nullptr) return false;
  const unsigned long keysym = keysym_for_vk(g.hotkey.vk);
  if (keysym == 0) return false;
  g.keycode = XKeysymToKeycode(dpy, keysym);
  if (g.keycode == 0) return false;
  g.x_modifiers = x_modifiers(dpy, g.hotkey.modifiers);
  GdkDisplay* display = gdk_display_get_default();
  const Window root = DefaultRootWindow(dpy);
  for (unsigned locks : lock_combinations()) reserve_root_key(g.keycode, g.x_modifiers | locks);
  gdk_x11_display_error_trap_push(display);
  for (unsigned locks : lock_combinations()) {
    XGrabKey(dpy, static_cast<int>(g.keycode), g.x_modifiers | locks, root, False, GrabModeAsync, GrabModeAsync);
  }
  if (gdk_x11_display_error_trap_pop(display) != 0) {  // BadAccess: another client holds the key
    ungrab(g);
    return false;
  }
  return true;
}

void LinuxGlobalShortcut::ungrab(const Grab& g) {
  Display* dpy = x_display();
  if (dpy == nullptr || g.keycode == 0) return;
  GdkDisplay* display = gdk_display_get_default();
  gdk_x11_display_error_trap_push(display);
  for (unsigned locks : lock_combinations()) {
    XUngrabKey(dpy, static_cast<int>(g.keycode), g.x_modifiers | locks, DefaultRootWindow(dpy));
  }
  // The server has let go before the hook takes the combinations back.
  XSync(dpy, False);
  gdk_x11_display_error_trap_pop_ignored(display);
  for (unsigned locks : lock_combinations()) unreserve_root_key(g.keycode, g.x_modifiers | locks);
}

bool LinuxGlobalShortcut::register_hotkey(const os::Hotkey& hotkey) {
  return loop_.call([&] {
    if (is_registered(hotkey)) return true;
    Grab g;
    g.hotkey = hotkey;
    if (!grab(g)) return false;
    if (!filter_installed_) {
      gdk_window_add_filter(nullptr, filter_root_keys, this);
      filter_installed_ = true;
    }
    grabs_.push_back(g);
    return true;
  });
}

bool LinuxGlobalShortcut::unregister_hotkey(const os::Hotkey& hotkey) {
  return loop_.call([&] {
    for (auto it = grabs_.begin(); it != grabs_.end(); ++it) {
      if (it->hotkey == hotkey) {
        ungrab(*it);
        grabs_.erase(it);
        return true;
      }
    }
    return false;
  });
}

void LinuxGlobalShortcut::unregister_all() {
  loop_.call([&] {
    for (const Grab& g : grabs_) ungrab(g);
    grabs_.clear();
  });
}

bool LinuxGlobalShortcut::is_registered(const os::Hotkey& hotkey) {
  return loop_.call([&] {
    for (const Grab& g : grabs_) {
      if (g.hotkey == hotkey) return true;
    }
    return false;
  });
}

void LinuxGlobalShortcut::set_press_handler(std::function<void(const os::Hotkey&)> handler) {
  loop_.call([&] { handler_ = std::move(handler); });
}

void LinuxGlobalShortcut::handle_key(unsigned keycode, unsigned state, bool press) {
  Display* dpy = x_display();
  if (dpy == nullptr) return;
  const unsigned relevant = (ShiftMask | ControlMask | Mod1Mask | Mod2Mask | Mod3Mask | Mod4Mask | Mod5Mask) &
                            ~lock_mask(dpy);
  for (Grab& g : grabs_) {
    if (g.keycode != keycode) continue;
    if (!press) {
      g.held = false;
      continue;
    }
    if ((state & relevant) != g.x_modifiers) continue;
    // Held keys repeat their presses; one press is one toggle.
    if (g.held) continue;
    g.held = true;
    const os::Hotkey hotkey = g.hotkey;
    loop_.post([this, hotkey] {
      if (handler_) handler_(hotkey);
    });
  }
}

}  // namespace harvel::linux_host
