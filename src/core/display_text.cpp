#include "core/display_text.h"

namespace harvel {

std::string_view mode_name(Mode mode) {
  switch (mode) {
    case kModeEnglish: return "English";
    case kModeFast: return "Fast";
    case kModeHybrid: return "Hybrid";
    case kModeZero: return "Zero-learning";
    default: return "English";  // callers pass 0 to 3 only
  }
}

std::string_view mode_label(Mode rule) { return rule == kModeOff ? "O\u2018chiq" : mode_name(rule); }

std::string hotkey_display_label(std::string_view accelerator) {
  constexpr std::string_view kFrom = "Control";
  std::string out;
  out.reserve(accelerator.size());
  for (std::size_t i = 0; i < accelerator.size();) {
    if (accelerator.substr(i, kFrom.size()) == kFrom) {
      out.append("Ctrl");
      i += kFrom.size();
    } else {
      out.push_back(accelerator[i++]);
    }
  }
  return out;
}

}  // namespace harvel
