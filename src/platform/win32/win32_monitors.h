// Monitors with their work areas and scale factors (per-monitor DPI).
#pragma once

#include "platform/os.h"

namespace harvel::win32 {

// Makes the process aware of each monitor's DPI: per-monitor v2 where the
// system has it, else per-monitor, else system-wide (an awareness the
// manifest already set stays).
void enable_per_monitor_dpi();

// The effective DPI of a window (96 when the system cannot tell).
unsigned window_dpi(void* hwnd);

class Win32Monitors final : public os::Monitors {
 public:
  std::vector<os::MonitorInfo> monitors() override;
  std::optional<os::MonitorInfo> primary_monitor() override;
};

}  // namespace harvel::win32
