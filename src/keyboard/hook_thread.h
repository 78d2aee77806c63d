// The keyboard hook's own thread, the starter that applies the settings to
// the keyboard engine, and the supervisor that keeps the hook alive.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "core/ctx.h"
#include "core/notice.h"
#include "platform/os.h"

namespace harvel {

class App;

inline constexpr std::string_view kHookRefused = "Windows klaviatura ulanishiga ruxsat bermadi.";
inline constexpr std::string_view kHookNotStarted = "Klaviatura oqimi ishga tushmadi.";
inline constexpr std::string_view kHookDiedOnce = "Klaviatura oqimi kutilmaganda to\u2018xtadi.";
inline constexpr std::string_view kHookDiedAgain = "Klaviatura oqimi qayta-qayta to\u2018xtadi.";
inline constexpr std::string_view kHookNotResumed = "Klaviatura qayta ulanmadi.";

// What a new hook thread reports to its starter: its thread id, or why the
// hook could not be installed.
using HookStartReport = std::variant<uint32_t, std::string>;

// Publishes the settings to the keyboard engine and starts or stops the hook
// thread so that it runs exactly when it has work.
void start_keyboard_hook_thread(App& app);

// The hook thread's body. `report` is called once, before the message loop.
void run_keyboard_hook_thread(const std::function<void(HookStartReport)>& report,
                              const std::shared_ptr<std::atomic<bool>>& running);

// Ends a hook thread: a quit message, then at most 2 s of waiting; a thread
// that does not end is left running detached.
void stop_hook_thread(HookThread record);

// Stops and forgets the hook thread and stores `text` as the hook error.
void record_hook_failure(App& app, std::string_view text);

ToastData hook_stopped_notice(bool gave_up);

// One supervisor; `tick` is one pass after the 5 s sleep.
class HookSupervisor {
 public:
  explicit HookSupervisor(App& app);
  void tick();

 private:
  App& app_;
  os::Instant last_tick_;
  bool restarted_ = false;
  os::Instant last_restart_;
  std::optional<uint8_t> prev_status_;
  bool prev_gave_up_ = false;
};

// The supervisor thread's body; never returns.
[[noreturn]] void run_hook_supervisor(App& app);

}  // namespace harvel
