#include "platform/linux/keys/key_positions.h"

#include <array>

namespace harvel::linux_host {

namespace {

struct Row {
  uint8_t evdev;
  uint16_t scan;
  bool extended;
  uint8_t vk;
};

// Evdev code, scan code, E0 prefix, US virtual key.
constexpr Row kRows[] = {
    {1, 0x01, false, 0x1B},  // Escape
    {2, 0x02, false, '1'},    {3, 0x03, false, '2'},    {4, 0x04, false, '3'},    {5, 0x05, false, '4'},
    {6, 0x06, false, '5'},    {7, 0x07, false, '6'},    {8, 0x08, false, '7'},    {9, 0x09, false, '8'},
    {10, 0x0A, false, '9'},   {11, 0x0B, false, '0'},   {12, 0x0C, false, 0xBD},  // minus
    {13, 0x0D, false, 0xBB},                                                      // equal
    {14, 0x0E, false, 0x08},                                                      // Backspace
    {15, 0x0F, false, 0x09},                                                      // Tab
    {16, 0x10, false, 'Q'},   {17, 0x11, false, 'W'},   {18, 0x12, false, 'E'},   {19, 0x13, false, 'R'},
    {20, 0x14, false, 'T'},   {21, 0x15, false, 'Y'},   {22, 0x16, false, 'U'},   {23, 0x17, false, 'I'},
    {24, 0x18, false, 'O'},   {25, 0x19, false, 'P'},   {26, 0x1A, false, 0xDB},  // [
    {27, 0x1B, false, 0xDD},                                                      // ]
    {28, 0x1C, false, 0x0D},                                                      // Enter
    {29, 0x1D, false, 0xA2},                                                      // left Ctrl
    {30, 0x1E, false, 'A'},   {31, 0x1F, false, 'S'},   {32, 0x20, false, 'D'},   {33, 0x21, false, 'F'},
    {34, 0x22, false, 'G'},   {35, 0x23, false, 'H'},   {36, 0x24, false, 'J'},   {37, 0x25, false, 'K'},
    {38, 0x26, false, 'L'},   {39, 0x27, false, 0xBA},  // ;
    {40, 0x28, false, 0xDE},                            // '
    {41, 0x29, false, 0xC0},                            // `
    {42, 0x2A, false, 0xA0},                            // left Shift
    {43, 0x2B, false, 0xDC},                            // backslash
    {44, 0x2C, false, 'Z'},   {45, 0x2D, false, 'X'},   {46, 0x2E, false, 'C'},   {47, 0x2F, false, 'V'},
    {48, 0x30, false, 'B'},   {49, 0x31, false, 'N'},   {50, 0x32, false, 'M'},   {51, 0x33, false, 0xBC},  // ,
    {52, 0x34, false, 0xBE},                                                                                // .
    {53, 0x35, false, 0xBF},                                                                                // /
    {54, 0x36, false, 0xA1},  // right Shift
    {55, 0x37, false, 0x6A},  // keypad *
    {56, 0x38, false, 0xA4},  // left Alt
    {57, 0x39, false, 0x20},  // Space
    {58, 0x3A, false, 0x14},  // Caps Lock
    {59, 0x3B, false, 0x70},  {60, 0x3C, false, 0x71},  {61, 0x3D, false, 0x72},  {62, 0x3E, false, 0x73},
    {63, 0x3F, false, 0x74},  {64, 0x40, false, 0x75},  {65, 0x41, false, 0x76},  {66, 0x42, false, 0x77},
    {67, 0x43, false, 0x78},  {68, 0x44, false, 0x79},                            // F1..F10
    {69, 0x45, true, 0x90},                                                       // Num Lock
    {70, 0x46, false, 0x91},                                                      // Scroll Lock
    {71, 0x47, false, 0x67},  {72, 0x48, false, 0x68},  {73, 0x49, false, 0x69},  // keypad 7 8 9
    {74, 0x4A, false, 0x6D},                                                      // keypad -
    {75, 0x4B, false, 0x64},  {76, 0x4C, false, 0x65},  {77, 0x4D, false, 0x66},  // keypad 4 5 6
    {78, 0x4E, false, 0x6B},                                                      // keypad +
    {79, 0x4F, false, 0x61},  {80, 0x50, false, 0x62},  {81, 0x51, false, 0x63},  // keypad 1 2 3
    {82, 0x52, false, 0x60},                                                      // keypad 0
    {83, 0x53, false, 0x6E},                                                      // keypad .
    {86, 0x56, false, 0xE2},                                                      // the key between left Shift and Z
    {87, 0x57, false, 0x7A},  {88, 0x58, false, 0x7B},                            // F11, F12
    {89, 0x73, false, 0xC1},                                                      // Brazilian /
    {96, 0x1C, true, 0x0D},                                                       // keypad Enter
    {97, 0x1D, true, 0xA3},                                                       // right Ctrl
    {98, 0x35, true, 0x6F},                                                       // keypad /
    {99, 0x37, true, 0x2C},                                                       // Print Screen
    {100, 0x38, true, 0xA5},                                                      // right Alt
    {102, 0x47, true, 0x24},                                                      // Home
    {103, 0x48, true, 0x26},                                                      // Up
    {104, 0x49, true, 0x21},                                                      // Page Up
    {105, 0x4B, true, 0x25},                                                      // Left
    {106, 0x4D, true, 0x27},                                                      // Right
    {107, 0x4F, true, 0x23},                                                      // End
    {108, 0x50, true, 0x28},                                                      // Down
    {109, 0x51, true, 0x22},                                                      // Page Down
    {110, 0x52, true, 0x2D},                                                      // Insert
    {111, 0x53, true, 0x2E},                                                      // Delete
    {113, 0x20, true, 0xAD},                                                      // Mute
    {114, 0x2E, true, 0xAE},                                                      // Volume down
    {115, 0x30, true, 0xAF},                                                      // Volume up
    {119, 0x45, false, 0x13},                                                     // Pause
    {125, 0x5B, true, 0x5B},                                                      // left Windows
    {126, 0x5C, true, 0x5C},                                                      // right Windows
    {127, 0x5D, true, 0x5D},                                                      // Menu
    {163, 0x19, true, 0xB0},                                                      // next track
    {164, 0x22, true, 0xB3},                                                      // play/pause
    {165, 0x10, true, 0xB1},                                                      // previous track
    {166, 0x24, true, 0xB2},                                                      // stop
    {183, 0x64, false, 0x7C}, {184, 0x65, false, 0x7D}, {185, 0x66, false, 0x7E}, {186, 0x67, false, 0x7F},
    {187, 0x68, false, 0x80}, {188, 0x69, false, 0x81}, {189, 0x6A, false, 0x82}, {190, 0x6B, false, 0x83},
    {191, 0x6C, false, 0x84}, {192, 0x6D, false, 0x85}, {193, 0x6E, false, 0x86}, {194, 0x76, false, 0x87},
};

constexpr std::array<KeyPosition, 256> build_by_keycode() {
  std::array<KeyPosition, 256> out{};
  for (const Row& r : kRows) out[r.evdev + 8u] = KeyPosition{r.scan, r.extended, r.vk};
  return out;
}

constexpr std::array<KeyPosition, 256> kByKeycode = build_by_keycode();

}  // namespace

KeyPosition key_position(unsigned keycode) { return keycode < kByKeycode.size() ? kByKeycode[keycode] : KeyPosition{}; }

unsigned keycode_for_position_vk(uint32_t vk) {
  if (vk == 0) return 0;
  for (const Row& r : kRows) {
    if (r.vk == vk) return r.evdev + 8u;
  }
  return 0;
}

uint32_t virtual_key_for(unsigned keycode, unsigned long keysym) {
  if (keysym >= 'a' && keysym <= 'z') return static_cast<uint32_t>(keysym - 'a' + 'A');
  if (keysym >= 'A' && keysym <= 'Z') return static_cast<uint32_t>(keysym);
  return key_position(keycode).vk;
}

}  // namespace harvel::linux_host
