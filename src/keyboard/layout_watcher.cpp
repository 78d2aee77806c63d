#include "keyboard/layout_watcher.h"

#include "core/settings.h"
#include "keyboard/hook_flags.h"

namespace harvel {

Locked<std::string>& layout_name() {
  static Locked<std::string> name;
  return name;
}

Locked<std::string>& layout_reason() {
  static Locked<std::string> reason;
  return reason;
}

LayoutInfo current_layout_info() {
  std::string name = layout_name().copy();
  if (name.empty()) return LayoutInfo{true, "English (US)", std::nullopt};
  LayoutInfo info;
  info.compatible = hook_flags().layout_compatible.load(std::memory_order_relaxed) != 0;
  info.name = std::move(name);
  if (!info.compatible) info.reason = layout_reason().copy();
  return info;
}

Mode mode_for_app(const Settings& s, std::string_view exe) {
  if (!s.enabled || hook_flags().remote_disabled.load(std::memory_order_relaxed)) return kModeOff;
  for (const AppRule& rule : s.apps) {
    if (rule.exe == exe) return rule.mode;
  }
  return s.mode;
}

}  // namespace harvel
