// The realtime checker's overlay thread: receives each suggestion from the
// hook thread, shows its notice and, for a fixable one, underlines the word
// in the other program and offers the fix beside it; then watches the
// overlay and takes it away as soon as it no longer fits.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "checker/checker_channel.h"
#include "checker/word_tracker.h"
#include "platform/os.h"

namespace harvel {

class App;

// The overlay currently shown (at most one, kept by the overlay thread).
struct OverlayState {
  Suggestion suggestion;
  os::Instant shown_at{};
  os::Instant confirmed_at{};
  os::Box rect;  // the word, physical screen pixels
  os::WindowHandle foreground = 0;
  uint32_t key_seq = 0;
  uint32_t dpi = 96;
  bool from_caret = false;
  bool expanded = false;
};

struct OverlayStatus {
  std::chrono::nanoseconds elapsed{};
  os::WindowHandle foreground_then = 0;
  os::WindowHandle foreground_now = 0;
  uint32_t key_seq_then = 0;
  uint32_t key_seq_now = 0;
  bool checker_on = false;
  bool clicked_outside = false;
};

inline constexpr std::chrono::milliseconds kOverlayWaitShown{40};
inline constexpr std::chrono::milliseconds kOverlayWaitIdle{250};
inline constexpr std::chrono::milliseconds kOverlayMeasureDelay{70};
inline constexpr std::chrono::milliseconds kOverlayRecheck{300};
inline constexpr int64_t kOverlayLifeSeconds = 20;  // kept while fewer whole seconds have passed
inline constexpr int32_t kOverlayTolerance = 3;
inline constexpr uint32_t kDpiFallback = 96;

using NoticeCallback = std::function<void(const Suggestion&)>;

// The calling thread's overlay slot (empty when nothing is shown).
std::optional<OverlayState>& overlay_state();
// Empties the slot and hides both windows.
void hide_checker_overlay();
OverlayStatus overlay_status(const OverlayState& state, bool clicked_outside);
bool rects_nearly_equal(const os::Box& a, const os::Box& b);
Suggestion clone_suggestion(const Suggestion& s);

// Measures the overlay's word again with the method that found it first;
// none when it is lost.
std::optional<os::Box> remeasure_overlay_word(const OverlayState& state);

// Registers the windows for the calling thread; false: notices only.
bool start_checker_overlay_windows();
// One message off the channel: the notice, then the overlay for a fixable
// suggestion.
void checker_overlay_message(CheckerMessage message, const NoticeCallback& notice);
// The watch step of a wait that timed out while an overlay is shown.
void checker_overlay_watch_step();

// The thread body; returns when the channel is disconnected.
void run_checker_overlay_thread(CheckerReceiver receiver, NoticeCallback notice);

// Starts the checker's channel and overlay thread the first time the checker
// is switched on; later calls drop the new channel and do nothing else.
void start_checker_overlay_once(App& app);

}  // namespace harvel
