// The one-byte mode value shared by the settings, the rules and the keyboard
// engine.
#pragma once

#include <cstdint>
#include <string_view>

namespace harvel {

using Mode = uint8_t;

inline constexpr Mode kModeEnglish = 0;
inline constexpr Mode kModeFast = 1;
inline constexpr Mode kModeHybrid = 2;
inline constexpr Mode kModeZero = 3;
inline constexpr Mode kModeNoRule = 254;  // rule text that names no mode; never stored
inline constexpr Mode kModeOff = 255;     // a rule "off", or not a mode name

// The byte of "english", "fast", "hybrid" or "zero" (exact, case-sensitive), else 255.
Mode mode_from_name(std::string_view name);
// The name of a mode 0 to 3.
std::string_view mode_to_name(Mode mode);
// 255 for exactly "off", else the mode of the text, else 254.
Mode app_rule_from_text(std::string_view text);
// "off" for 255, else the mode's name.
std::string_view app_rule_text(Mode mode);

}  // namespace harvel
