// Process-wide flags that the keyboard hook reads instead of the shared
// state, so it never waits for a lock. The starter publishes them after every
// settings change; each flag has one writer.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "checker/checker_channel.h"
#include "core/mode.h"

namespace harvel {

struct Settings;

struct AppRuleEntry {
  std::string exe;  // as stored in the settings (lower case)
  Mode mode;        // 0 to 3, or 255 off
};

// The rule table is the only flag behind a lock: the starter builds the new
// list first and swaps it in whole (a no-throw step) under a blocking lock;
// the hook only ever try-locks it.
struct AppRuleTable {
  std::mutex mutex;
  std::vector<AppRuleEntry> rules;
};

struct HookFlags {
  // Relaxed atomics: the hook needs each value, not an order between them.
  std::atomic<Mode> mode{0};
  std::atomic<uint8_t> active{0};
  std::atomic<uint8_t> checker_on{0};
  std::atomic<uint8_t> checker_on_overlay{0};
  std::atomic<uint8_t> checker_toast{0};
  std::atomic<uint32_t> hybrid_index{0};
  std::array<std::atomic<uint32_t>, 4> fast_indices{0, 1, 2, 3};
  AppRuleTable app_rules;
  std::atomic<uint8_t> remote_disabled{0};
  std::atomic<uint8_t> fix_applied{0};
  std::atomic<uint32_t> key_seq{0};
  std::atomic<uint8_t> layout_compatible{1};
  // CHECKER_TX: the sending end of the checker channel, set once.
  CheckerTxSlot checker_tx;
};

HookFlags& hook_flags();

// Publication of the settings, in the fixed order: mode, on, checker,
// checker notice, rules, hybrid key, fast keys. (Creating the checker channel
// between the checker flags and the rules is the starter's own step.)
void publish_mode_flags(const Settings& s);   // MODE, ACTIVE, CHECKER_ON(+_OVERLAY), CHECKER_TOAST
void publish_key_flags(const Settings& s);    // APP_RULES, HYBRID_INDEX, FAST_INDICES

// Restores every flag to its start value (tests).
void reset_hook_flags();

}  // namespace harvel
