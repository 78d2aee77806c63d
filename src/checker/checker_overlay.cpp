#include "checker/checker_overlay.h"

#include <cstdlib>
#include <system_error>
#include <thread>

#include "checker/checker_drawing.h"
#include "checker/word_rect.h"
#include "core/app.h"
#include "keyboard/hook_flags.h"

namespace harvel {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr uint32_t kMinWordWidth = 4;
constexpr uint32_t kMaxWordWidth = 1500;
constexpr uint32_t kMinWordHeight = 6;
constexpr uint32_t kMaxWordHeight = 200;

// Kept through a plain pointer: thread-local objects with destructors are
// run by the thread-exit cleanup of MinGW's thread library, which can stall
// under Wine. The overlay thread lives until the process ends.
thread_local std::optional<OverlayState>* t_overlay = nullptr;
thread_local bool t_windows = false;

uint32_t key_seq_now() { return hook_flags().key_seq.load(kRelaxed); }

os::WindowHandle foreground_now() {
  os::Foreground* fg = os::platform().foreground;
  return fg ? fg->foreground_window() : 0;
}

// The window procedures' portable halves.
class PopupEvents final : public os::OverlayEvents {
 public:
  std::vector<os::PaintOp> popup_paint(os::Box client) override { return checker_popup_paint(client); }
  void popup_click(os::Point p) override { checker_popup_click(p); }
};

PopupEvents g_popup_events;

}  // namespace

std::optional<OverlayState>& overlay_state() {
  if (!t_overlay) t_overlay = new std::optional<OverlayState>();
  return *t_overlay;
}

void hide_checker_overlay() {
  overlay_state().reset();
  if (!t_windows) return;
  if (os::OverlayWindows* w = os::checker_platform().overlay) w->hide_windows();
}

OverlayStatus overlay_status(const OverlayState& state, bool clicked_outside) {
  OverlayStatus s;
  s.elapsed = os::platform().clock->now() - state.shown_at;
  s.foreground_then = state.foreground;
  s.foreground_now = foreground_now();
  s.key_seq_then = state.key_seq;
  s.key_seq_now = key_seq_now();
  s.checker_on = hook_flags().checker_on_overlay.load(kRelaxed) != 0;
  s.clicked_outside = clicked_outside;
  return s;
}

bool rects_nearly_equal(const os::Box& a, const os::Box& b) {
  auto near = [](int32_t x, int32_t y) { return std::llabs(static_cast<long long>(x) - y) <= kOverlayTolerance; };
  return near(a.left, b.left) && near(a.top, b.top) && near(a.right, b.right) && near(a.bottom, b.bottom);
}

Suggestion clone_suggestion(const Suggestion& s) { return s; }

std::optional<os::Box> remeasure_overlay_word(const OverlayState& state) {
  if (state.from_caret) return caret_word_rect(state.suggestion);
  const UiaWordRect r = uia_word_rect(state.suggestion.erase);
  if (r.kind != UiaWordRect::Kind::Found) return std::nullopt;
  return r.rect;
}

bool start_checker_overlay_windows() {
  os::OverlayWindows* w = os::checker_platform().overlay;
  if (!w) return false;
  w->prepare_thread();
  t_windows = w->create_windows(&g_popup_events);
  return t_windows;
}

void checker_overlay_message(CheckerMessage message, const NoticeCallback& notice) {
  if (notice) notice(message.suggestion);
  hide_checker_overlay();
  Suggestion& s = message.suggestion;
  if (!s.fixable || hook_flags().checker_on_overlay.load(kRelaxed) == 0) return;
  os::OverlayWindows* w = os::checker_platform().overlay;
  if (!w || !t_windows) return;

  w->sleep(kOverlayMeasureDelay);
  if (key_seq_now() != message.key_seq) return;  // typed on
  const os::WindowHandle foreground = foreground_now();

  os::Box rect;
  bool from_caret = false;
  const UiaWordRect uia = uia_word_rect(s.erase);
  if (uia.kind == UiaWordRect::Kind::Found) {
    rect = uia.rect;
  } else if (uia.kind == UiaWordRect::Kind::Password) {
    return;
  } else if (const auto caret = caret_word_rect(s)) {
    rect = *caret;
    from_caret = true;
  } else {
    return;
  }

  // Unsigned, so that a negative size fails too.
  const uint32_t width = static_cast<uint32_t>(rect.right) - static_cast<uint32_t>(rect.left);
  const uint32_t height = static_cast<uint32_t>(rect.bottom) - static_cast<uint32_t>(rect.top);
  if (width < kMinWordWidth || width > kMaxWordWidth || height < kMinWordHeight || height > kMaxWordHeight) return;
  if (key_seq_now() != message.key_seq || foreground_now() != foreground) return;

  uint32_t dpi = w->monitor_dpi(rect).value_or(kDpiFallback);
  if (dpi < 48) dpi = kDpiFallback;

  const os::Instant now = os::platform().clock->now();
  overlay_state() = OverlayState{std::move(s), now, now, rect, foreground, message.key_seq, dpi, from_caret, false};
  draw_checker_underline(rect, dpi);
  position_checker_popup(false);
}

void checker_overlay_watch_step() {
  if (!overlay_state()) return;
  os::OverlayWindows* w = os::checker_platform().overlay;
  bool clicked_outside = false;
  if (w && w->left_button_down()) {
    const os::Point p = w->cursor_position();
    const os::Box r = w->popup_rect().value_or(os::Box{});
    clicked_outside = !(r.left <= p.x && p.x < r.right && r.top <= p.y && p.y < r.bottom);
  }
  const OverlayStatus st = overlay_status(*overlay_state(), clicked_outside);
  const bool keep = st.checker_on && st.key_seq_now == st.key_seq_then && st.foreground_now == st.foreground_then &&
                    std::chrono::duration_cast<std::chrono::seconds>(st.elapsed).count() < kOverlayLifeSeconds &&
                    !st.clicked_outside;
  if (!keep) {
    hide_checker_overlay();
    return;
  }
  const os::Instant now = os::platform().clock->now();
  if (now - overlay_state()->confirmed_at < kOverlayRecheck) return;
  const auto again = remeasure_overlay_word(*overlay_state());
  if (!again || !rects_nearly_equal(*again, overlay_state()->rect)) {
    hide_checker_overlay();
    return;
  }
  overlay_state()->confirmed_at = now;
}

void run_checker_overlay_thread(CheckerReceiver receiver, NoticeCallback notice) {
  if (!start_checker_overlay_windows()) {
    // Notices only.
    while (auto m = receiver.recv()) {
      if (notice) notice(m->suggestion);
    }
    return;
  }
  os::OverlayWindows& w = *os::checker_platform().overlay;
  for (;;) {
    w.pump_messages();
    const auto wait = overlay_state() ? kOverlayWaitShown : kOverlayWaitIdle;
    CheckerMessage message;
    switch (receiver.recv_until(std::chrono::steady_clock::now() + wait, message)) {
      case RecvStatus::Disconnected:
        hide_checker_overlay();
        return;
      case RecvStatus::Timeout:
        checker_overlay_watch_step();
        break;
      case RecvStatus::Message:
        checker_overlay_message(std::move(message), notice);
        break;
    }
  }
}

void start_checker_overlay_once(App& app) {
  HookFlags& flags = hook_flags();
  if (flags.checker_tx.get() != nullptr) return;
  auto [tx, rx] = make_checker_channel();
  if (!flags.checker_tx.try_set(std::move(tx))) return;  // another starter was first
  try {
    std::thread([rx = std::move(rx), &app]() mutable {
      try {
        run_checker_overlay_thread(std::move(rx),
                                   [&app](const Suggestion& s) { show_checker_suggestion_toast(app, s); });
      } catch (...) {
        // Nothing may escape the thread: it ends, its receiver goes with it,
        // and later sends fail quietly.
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread: the receiver went with the lambda, so every send fails quietly.
  }
}

}  // namespace harvel
