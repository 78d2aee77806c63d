// What the tray's click handling remembers about the pop-up.
#pragma once

#include <optional>

#include "core/locked.h"
#include "platform/os.h"

namespace harvel {

struct TrayClickState {
  bool popup_open = false;
  std::optional<os::Instant> shown_at;  // when the pop-up was last shown
};

// The one process-wide click state, behind its own lock.
Locked<TrayClickState>& tray_click_state();

}  // namespace harvel
