// The foreground keyboard layout: whether it types the letters fast and
// hybrid mode need, and the mode that applies to a program.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/locked.h"
#include "core/mode.h"
#include "core/records.h"
#include "platform/os.h"

namespace harvel {

struct Settings;
class App;

// The layout's display name and the reason text of the last measurement;
// empty before the first one.
Locked<std::string>& layout_name();
Locked<std::string>& layout_reason();

// 1 while the tray pop-up is shown (set by the pop-up): the watcher does not
// measure then, as the pop-up has the focus.
std::atomic<uint8_t>& popup_shown();

// The snapshot's "layout": the last measurement, or a compatible US layout
// before the first one.
LayoutInfo current_layout_info();

// Off when conversion is switched off or remotely disabled; else the first
// rule of `exe` (off for a rule "off"), else the general mode.
Mode mode_for_app(const Settings& s, std::string_view exe);

// The table name of a layout's language; else the system's name when it is
// not blank; else "0x" and the LANGID in four upper-case hex digits.
std::string layout_display_name(uint16_t langid, const std::optional<std::string>& system_name);

// The probe letters W C S O G that a layout does not type, in that order.
std::vector<char> missing_probe_letters(os::LayoutHandle layout);

// Accepts a layout once it has been seen on two polls in a row, measures it
// once, and publishes the result.
class LayoutWatcher {
 public:
  explicit LayoutWatcher(App& app) : app_(app) {}
  // One poll (after the 100 ms sleep).
  void poll();

 private:
  void accept(os::LayoutHandle hkl);

  App& app_;
  std::optional<os::LayoutHandle> current_;
  os::LayoutHandle candidate_ = 0;
  bool pending_ = false;
  std::map<os::LayoutHandle, std::vector<char>> cache_;
};

// The watcher thread's body; never returns.
[[noreturn]] void run_layout_watcher(App& app);

}  // namespace harvel
