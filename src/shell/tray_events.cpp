#include "shell/tray_events.h"

namespace harvel {

Locked<TrayClickState>& tray_click_state() {
  static Locked<TrayClickState> state;
  return state;
}

}  // namespace harvel
