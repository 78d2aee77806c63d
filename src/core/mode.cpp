#include "core/mode.h"

#include <array>

namespace harvel {

namespace {

// Indexed by the mode byte.
constexpr std::array<std::string_view, 4> kModeNames{"english", "fast", "hybrid", "zero"};

}  // namespace

Mode mode_from_name(std::string_view name) {
  for (std::size_t i = 0; i < kModeNames.size(); ++i) {
    if (kModeNames[i] == name) return static_cast<Mode>(i);
  }
  return kModeOff;
}

std::string_view mode_to_name(Mode mode) {
  // Callers pass 0 to 3 only; anything else reads as "english", like the file writer.
  return mode < kModeNames.size() ? kModeNames[mode] : kModeNames[kModeEnglish];
}

Mode app_rule_from_text(std::string_view text) {
  if (text == "off") return kModeOff;
  const Mode mode = mode_from_name(text);
  return mode < kModeNoRule ? mode : kModeNoRule;
}

std::string_view app_rule_text(Mode mode) { return mode == kModeOff ? "off" : mode_to_name(mode); }

}  // namespace harvel
