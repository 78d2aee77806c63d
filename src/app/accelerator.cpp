#include "app/accelerator.h"

#include <cstdint>
#include <span>
#include <string>

#include "core/text.h"

namespace harvel {

namespace {

struct Name {
  std::string_view name;  // lower case
  uint32_t value;
};

constexpr Name kModifiers[] = {
    {"shift", os::MOD_SHIFT},      {"control", os::MOD_CONTROL},
    {"ctrl", os::MOD_CONTROL},     {"alt", os::MOD_ALT},
    {"option", os::MOD_ALT},       {"super", os::MOD_WIN},
    {"meta", os::MOD_WIN},         {"cmd", os::MOD_WIN},
    {"command", os::MOD_WIN},      {"cmdorctrl", os::MOD_CONTROL},
    {"cmdorcontrol", os::MOD_CONTROL}, {"commandorctrl", os::MOD_CONTROL},
    {"commandorcontrol", os::MOD_CONTROL},
};

// Named keys other than the letter, digit, function-key and numpad-digit
// families, which key_code() builds.
constexpr Name kKeys[] = {
    {"backquote", 0xC0},     {"`", 0xC0},
    {"backslash", 0xDC},     {"\\", 0xDC},
    {"bracketleft", 0xDB},   {"[", 0xDB},
    {"bracketright", 0xDD},  {"]", 0xDD},
    {"comma", 0xBC},         {",", 0xBC},
    {"equal", 0xBB},         {"=", 0xBB},
    {"plus", 0xBB},
    {"minus", 0xBD},         {"-", 0xBD},
    {"period", 0xBE},        {".", 0xBE},
    {"quote", 0xDE},         {"'", 0xDE},
    {"semicolon", 0xBA},     {";", 0xBA},
    {"slash", 0xBF},         {"/", 0xBF},
    {"backspace", 0x08},     {"tab", 0x09},
    {"enter", 0x0D},         {"return", 0x0D},
    {"escape", 0x1B},        {"esc", 0x1B},
    {"space", 0x20},
    {"pageup", 0x21},        {"pagedown", 0x22},
    {"end", 0x23},           {"home", 0x24},
    {"arrowleft", 0x25},     {"left", 0x25},
    {"arrowup", 0x26},       {"up", 0x26},
    {"arrowright", 0x27},    {"right", 0x27},
    {"arrowdown", 0x28},     {"down", 0x28},
    {"printscreen", 0x2C},   {"insert", 0x2D},
    {"delete", 0x2E},        {"del", 0x2E},
    {"pause", 0x13},         {"capslock", 0x14},
    {"numlock", 0x90},       {"scrolllock", 0x91},
    {"contextmenu", 0x5D},
    {"numpadmultiply", 0x6A}, {"nummultiply", 0x6A},
    {"numpadadd", 0x6B},      {"numadd", 0x6B},
    {"numpadsubtract", 0x6D}, {"numsubtract", 0x6D},
    {"numpaddecimal", 0x6E},  {"numdecimal", 0x6E},
    {"numpaddivide", 0x6F},   {"numdivide", 0x6F},
    {"audiovolumemute", 0xAD}, {"volumemute", 0xAD},
    {"audiovolumedown", 0xAE}, {"volumedown", 0xAE},
    {"audiovolumeup", 0xAF},   {"volumeup", 0xAF},
    {"mediatracknext", 0xB0},  {"mediatrackprevious", 0xB1},
    {"mediastop", 0xB2},       {"mediaplaypause", 0xB3},
};

std::optional<uint32_t> lookup(std::span<const Name> names, std::string_view lower) {
  for (const Name& n : names) {
    if (n.name == lower) return n.value;
  }
  return std::nullopt;
}

using text::ascii_lower;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A run of 1 or 2 decimal digits without a leading zero, within [lo, hi].
std::optional<uint32_t> small_number(std::string_view s, uint32_t lo, uint32_t hi) {
  if (s.empty() || s.size() > 2 || !is_digit(s[0]) || (s.size() == 2 && (s[0] == '0' || !is_digit(s[1])))) {
    return std::nullopt;
  }
  uint32_t n = 0;
  for (char c : s) n = n * 10 + static_cast<uint32_t>(c - '0');
  if (n < lo || n > hi) return std::nullopt;
  return n;
}

std::optional<uint32_t> key_code(std::string_view k) {
  if (k.size() == 1 && k[0] >= 'a' && k[0] <= 'z') return 0x41 + static_cast<uint32_t>(k[0] - 'a');
  if (k.size() == 1 && is_digit(k[0])) return 0x30 + static_cast<uint32_t>(k[0] - '0');
  if (k.size() == 4 && k.starts_with("key") && k[3] >= 'a' && k[3] <= 'z') {
    return 0x41 + static_cast<uint32_t>(k[3] - 'a');
  }
  if (k.size() == 6 && k.starts_with("digit") && is_digit(k[5])) return 0x30 + static_cast<uint32_t>(k[5] - '0');
  if (k.size() == 7 && k.starts_with("numpad") && is_digit(k[6])) return 0x60 + static_cast<uint32_t>(k[6] - '0');
  if (k.size() == 4 && k.starts_with("num") && is_digit(k[3])) return 0x60 + static_cast<uint32_t>(k[3] - '0');
  if (k.size() >= 2 && k[0] == 'f') {
    if (auto n = small_number(k.substr(1), 1, 24)) return 0x70 + (*n - 1);
  }
  return lookup(kKeys, k);
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<os::Hotkey> parse_accelerator(std::string_view text) {
  os::Hotkey hotkey;
  for (;;) {
    const std::size_t plus = text.find('+');
    const std::string token = ascii_lower(trim(text.substr(0, plus)));
    if (token.empty()) return std::nullopt;
    if (plus == std::string_view::npos) {
      const auto vk = key_code(token);
      if (!vk) return std::nullopt;
      hotkey.vk = *vk;
      return hotkey;
    }
    const auto modifier = lookup(kModifiers, token);
    if (!modifier) return std::nullopt;  // a key before the last place, or an unknown name
    hotkey.modifiers |= *modifier;
    text.remove_prefix(plus + 1);
  }
}

}  // namespace harvel
