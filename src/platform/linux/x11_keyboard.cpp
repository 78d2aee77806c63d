// The hook thread's side of the X11 keyboard layer that needs no server:
// the event the procedure is told of, and the batches it types.
#include "platform/linux/x11_keyboard.h"

#include <gdk/gdk.h>

#include "keyboard/keyboard_proc.h"
#include "platform/linux/keys/key_positions.h"
#include "platform/linux/linux_host.h"

namespace harvel::linux_host {

namespace {

constexpr uint32_t kVkPacket = 0xE7;  // the virtual key of typed characters

constexpr uint32_t kXkReturn = 0xFF0D;
constexpr uint32_t kXkTab = 0xFF09;
constexpr uint32_t kXkBackSpace = 0xFF08;

TypeItem char_item(char32_t c, bool press) {
  TypeItem item;
  item.keysym = keysym_for_char(c);
  item.flags = press ? TypeItem::kPress : 0;
  const gunichar lower = g_unichar_tolower(c);
  if (lower != g_unichar_toupper(c)) {
    item.flags |= TypeItem::kCased;
    if (lower == c) item.flags |= TypeItem::kLower;
  }
  return item;
}

}  // namespace

os::KeyEvent make_key_event(unsigned keycode, bool press, uint32_t vk, uint32_t time, bool alt_held, bool ctrl_held,
                            bool own) {
  const KeyPosition pos = key_position(keycode);
  const bool system_key = alt_held && !ctrl_held;
  os::KeyEvent e;
  e.code = 0;
  e.message = press ? (system_key ? os::WM_SYSKEYDOWN : os::WM_KEYDOWN) : (system_key ? os::WM_SYSKEYUP : os::WM_KEYUP);
  e.vk_code = own && vk == 0 ? kVkPacket : vk;
  e.scan_code = pos.scan;
  e.flags = (pos.extended ? LLKHF_EXTENDED : 0) | (alt_held ? LLKHF_ALTDOWN : 0) | (press ? 0 : LLKHF_UP) |
            (own ? os::LLKHF_INJECTED : 0);
  e.time = time;
  e.extra_info = own ? kInjectedMarker : 0;
  return e;
}

uint32_t keysym_for_char(char32_t c) {
  if (c == U'\n' || c == U'\r') return kXkReturn;
  if (c == U'\t') return kXkTab;
  if (c == U'\b') return kXkBackSpace;
  if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return 0;
  // The classic keysym where there is one (older programs know only
  // those), else the Unicode keysym.
  return gdk_unicode_to_keyval(static_cast<guint32>(c));
}

std::vector<TypeItem> type_items(std::span<const os::KeyInput> batch) {
  std::vector<TypeItem> out;
  char16_t high = 0;
  char32_t pair = 0;  // the character of a surrogate pair, from its low half
  for (const os::KeyInput& in : batch) {
    const bool press = (in.flags & os::KEYEVENTF_KEYUP) == 0;
    if ((in.flags & os::KEYEVENTF_UNICODE) == 0) {
      const auto sym = static_cast<uint32_t>(keysym_for_vk(in.vk));
      if (sym != 0) out.push_back({sym, static_cast<uint8_t>(TypeItem::kKey | (press ? TypeItem::kPress : 0))});
      continue;
    }
    const char16_t unit = in.scan;
    char32_t c = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      // The pair is typed as one key, with its low half.
      if (press) high = unit;
      continue;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
      if (press) {
        if (high == 0) continue;
        pair = 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (unit - 0xDC00);
        high = 0;
      }
      if (pair == 0) continue;
      c = pair;
      if (!press) pair = 0;
    }
    const TypeItem item = char_item(c, press);
    if (item.keysym != 0) out.push_back(item);
  }
  return out;
}

std::vector<uint32_t> kept_keysyms() {
  std::vector<uint32_t> out;
  for (char32_t c : U"şçöğŞÇÖĞ") {
    if (c != 0) out.push_back(keysym_for_char(c));
  }
  return out;
}

}  // namespace harvel::linux_host
