#include "keyboard/hook_flags.h"

#include "core/settings.h"
#include "keyboard/key_tables.h"

namespace harvel {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

HookFlags& hook_flags() {
  static HookFlags flags;
  return flags;
}

void publish_mode_flags(const Settings& s) {
  HookFlags& f = hook_flags();
  f.mode.store(s.mode, kRelaxed);
  f.active.store(s.enabled && !f.remote_disabled.load(kRelaxed) ? 1 : 0, kRelaxed);
  f.checker_on.store(s.checker ? 1 : 0, kRelaxed);
  f.checker_on_overlay.store(s.checker ? 1 : 0, kRelaxed);
  f.checker_toast.store(s.checker_toast ? 1 : 0, kRelaxed);
}

void publish_key_flags(const Settings& s) {
  HookFlags& f = hook_flags();
  std::vector<AppRuleEntry> rules;
  rules.reserve(s.apps.size());
  for (const AppRule& r : s.apps) rules.push_back({r.exe, r.mode});
  {
    std::lock_guard lock(f.app_rules.mutex);
    f.app_rules.rules.swap(rules);
  }
  f.hybrid_index.store(hybrid_key_index(s.hybrid_key), kRelaxed);
  const auto indices = resolve_fast_keys(s.fast_keys).value_or(kDefaultFastIndices);
  for (std::size_t slot = 0; slot < 4; ++slot) f.fast_indices[slot].store(indices[slot], kRelaxed);
}

void reset_hook_flags() {
  HookFlags& f = hook_flags();
  f.mode = 0;
  f.active = 0;
  f.checker_on = 0;
  f.checker_on_overlay = 0;
  f.checker_toast = 0;
  f.hybrid_index = 0;
  for (std::size_t slot = 0; slot < 4; ++slot) f.fast_indices[slot] = kDefaultFastIndices[slot];
  {
    std::lock_guard lock(f.app_rules.mutex);
    f.app_rules.rules.clear();
  }
  f.remote_disabled = 0;
  f.fix_applied = 0;
  f.key_seq = 0;
  f.layout_compatible = 1;
  f.checker_tx.reset();
}

}  // namespace harvel
