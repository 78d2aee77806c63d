#include "keyboard/key_tables.h"

#include "core/settings.h"

namespace harvel {

const std::array<HybridKeyDef, kHybridKeyCount> HYBRID_KEYS{{
    {std::nullopt, 0, "ralt", "AltRight", 0xA5},
    {std::nullopt, 0, "rctrl", "ControlRight", 0xA3},
    {std::nullopt, 0, "caps", "CapsLock", 0x14},
    {std::nullopt, 0, "apps", "ContextMenu", 0x5D},
    {std::nullopt, 0, "insert", "Insert", 0x2D},
    {std::nullopt, 0, "scroll", "ScrollLock", 0x91},
    {std::nullopt, 0, "pause", "Pause", 0x13},
    {std::nullopt, 0, "rwin", "MetaRight", 0x5C},
    {std::nullopt, 0, "rshift", "ShiftRight", 0xA1},
    {U'\u0060', U'\u007E', "backquote", "Backquote", 0xC0},
    {std::nullopt, 0, "f13", "F13", 0x7C},
    {std::nullopt, 0, "f14", "F14", 0x7D},
    {std::nullopt, 0, "f15", "F15", 0x7E},
    {std::nullopt, 0, "f16", "F16", 0x7F},
    {std::nullopt, 0, "f17", "F17", 0x80},
    {std::nullopt, 0, "f18", "F18", 0x81},
    {std::nullopt, 0, "f19", "F19", 0x82},
    {std::nullopt, 0, "f20", "F20", 0x83},
    {std::nullopt, 0, "f21", "F21", 0x84},
    {std::nullopt, 0, "f22", "F22", 0x85},
    {std::nullopt, 0, "f23", "F23", 0x86},
    {std::nullopt, 0, "f24", "F24", 0x87},
}};

const std::array<FastKeyDef, kFastKeyCount> FAST_KEYS{{
    {"KeyW", 0x57, U'w', U'W', true},
    {"KeyC", 0x43, U'c', U'C', true},
    {"BracketLeft", 0xDB, U'[', U'{', false},
    {"BracketRight", 0xDD, U']', U'}', false},
    {"KeyQ", 0x51, U'q', U'Q', true},
    {"KeyX", 0x58, U'x', U'X', true},
    {"Backslash", 0xDC, U'\\', U'|', false},
    {"Backquote", 0xC0, U'`', U'~', false},
    {"Semicolon", 0xBA, U';', U':', false},
    {"Quote", 0xDE, U'\'', U'"', false},
}};

const std::array<NewLetter, 4> FAST_SLOT_LETTERS{{
    {U'\u015F', U'\u015E'},  // ş Ş
    {U'\u00E7', U'\u00C7'},  // ç Ç
    {U'\u00F6', U'\u00D6'},  // ö Ö
    {U'\u011F', U'\u011E'},  // ğ Ğ
}};

const std::array<HybridLetter, 4> HYBRID_LETTERS{{
    {0x43, {U'\u00E7', U'\u00C7'}},  // C: ç Ç
    {0x53, {U'\u015F', U'\u015E'}},  // S: ş Ş
    {0x4F, {U'\u00F6', U'\u00D6'}},  // O: ö Ö
    {0x47, {U'\u011F', U'\u011E'}},  // G: ğ Ğ
}};

namespace {

std::optional<uint32_t> find_fast_key(std::string_view code) {
  for (uint32_t i = 0; i < FAST_KEYS.size(); ++i) {
    if (FAST_KEYS[i].code == code) return i;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::array<uint32_t, 4>> resolve_fast_keys(const FastKeys& keys) {
  const std::array<const std::string*, 4> names{&keys.sh, &keys.ch, &keys.o, &keys.g};
  std::array<uint32_t, 4> out{};
  for (std::size_t slot = 0; slot < 4; ++slot) {
    auto index = find_fast_key(*names[slot]);
    if (!index) return std::nullopt;
    for (std::size_t earlier = 0; earlier < slot; ++earlier) {
      if (out[earlier] == *index) return std::nullopt;
    }
    out[slot] = *index;
  }
  return out;
}

std::optional<uint32_t> find_hybrid_key(std::string_view name) {
  for (uint32_t i = 0; i < HYBRID_KEYS.size(); ++i) {
    if (HYBRID_KEYS[i].name == name) return i;
  }
  return std::nullopt;
}

uint32_t hybrid_key_index(std::string_view name) { return find_hybrid_key(name).value_or(0); }

const HybridKeyDef& hybrid_key_row(uint32_t index) {
  return HYBRID_KEYS[index < kHybridKeyCount ? index : 0];
}

uint32_t fast_slot_row(uint32_t slot, uint32_t index) {
  return index < kFastKeyCount ? index : kDefaultFastIndices[slot & 3];
}

}  // namespace harvel
