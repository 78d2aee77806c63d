#include "shell/tray_icon.h"

namespace harvel {

std::optional<std::string> create_tray_icon(App& app) {
  // The icon, its badge, tooltip and menu come with the desktop shell; until
  // then the program runs without one.
  (void)app;
  return std::nullopt;
}

}  // namespace harvel
