// The physical keys of a PC keyboard on X11: an X keycode is the Linux evdev
// code + 8, and each position has the Windows set-1 scan code (with the
// extended-key flag of the keys that send an E0 prefix) and the virtual-key
// code that a US layout gives it. One table for the keyboard hook's events
// and the layout queries.
#pragma once

#include <cstdint>

namespace harvel::linux_host {

struct KeyPosition {
  uint16_t scan = 0;      // set-1 scan code without the E0 prefix; 0: no such key
  bool extended = false;  // sent with an E0 prefix (LLKHF_EXTENDED)
  uint8_t vk = 0;         // virtual-key code of the position on a US layout
};

// The position of an X keycode; scan 0 for keycodes that are no PC key.
KeyPosition key_position(unsigned keycode);

// The keycode of the position whose US virtual key is `vk`; 0 when none.
unsigned keycode_for_position_vk(uint32_t vk);

// The virtual key of a keycode whose level-1 keysym in the active group is
// `keysym`: a Latin letter gives its own letter (as a Windows layout names
// its letter keys), everything else the key's US position.
uint32_t virtual_key_for(unsigned keycode, unsigned long keysym);

}  // namespace harvel::linux_host
