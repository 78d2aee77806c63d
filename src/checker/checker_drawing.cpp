#include "checker/checker_drawing.h"

#include <algorithm>
#include <cmath>

#include "checker/checker_overlay.h"
#include "checker/word_rect.h"
#include "core/text.h"
#include "keyboard/foreground.h"
#include "keyboard/hook_flags.h"
#include "keyboard/keyboard_proc.h"

namespace harvel {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr uint32_t kCircle = 22;
constexpr uint32_t kGap = 6;
constexpr uint32_t kCorner = 12;
constexpr uint32_t kMargin = 12;
constexpr os::Box kFallbackWorkArea{0, 0, 1920, 1080};

}  // namespace

int32_t overlay_scale(uint32_t px, uint32_t dpi) {
  return static_cast<int32_t>((px * std::max<uint32_t>(dpi, 48) + 48) / 96);
}

CardLayout checker_card_layout(uint32_t dpi) {
  auto s = [dpi](uint32_t x) { return overlay_scale(x, dpi); };
  CardLayout c;
  c.width = s(250);
  c.height = s(84);
  c.button_left = c.width - s(96) - s(12);
  c.button_top = c.height - s(12) - s(28);
  c.button_right = c.width - s(12);
  c.button_bottom = c.height - s(12);
  return c;
}

os::OverlayFont overlay_font(uint32_t dpi, uint32_t size, bool bold) {
  return os::OverlayFont{-overlay_scale(size, dpi), bold ? 700 : 400};
}

UnderlineBitmap checker_underline_bitmap(int32_t width, uint32_t dpi) {
  UnderlineBitmap b;
  b.width = std::max(width, 0);
  b.height = std::max<int32_t>(static_cast<int32_t>((5 * dpi + 48) / 96), 4);
  const float wave = static_cast<float>(std::max<uint32_t>((6 * dpi + 48) / 96, 1));
  const float stroke = std::max(static_cast<float>((2 * dpi + 48) / 96) * 0.8f, 1.4f);
  const float h = static_cast<float>(b.height);
  const float amplitude = std::max(h * 0.5f - stroke * 0.5f - 0.25f, 0.0f);
  b.pixels.resize(static_cast<std::size_t>(b.width) * static_cast<std::size_t>(b.height));
  for (int32_t r = 0; r < b.height; ++r) {
    for (int32_t x = 0; x < b.width; ++x) {
      const float centre = std::sin(static_cast<float>(x) * 6.2831855f / wave) * amplitude + h * 0.5f;
      const float cover =
          std::clamp(stroke * 0.5f + 0.5f - std::fabs(static_cast<float>(r) + 0.5f - centre), 0.0f, 1.0f);
      const uint32_t a = static_cast<uint32_t>(std::clamp(cover * 255.0f, 0.0f, 255.0f));
      b.pixels[static_cast<std::size_t>(r) * static_cast<std::size_t>(b.width) + static_cast<std::size_t>(x)] =
          (a << 24) | ((a * kAccentRed.r / 255) << 16) | ((a * kAccentRed.g / 255) << 8) | (a * kAccentRed.b / 255);
    }
  }
  return b;
}

void draw_checker_underline(const os::Box& rect, uint32_t dpi) {
  os::OverlayWindows* w = os::checker_platform().overlay;
  if (!w) return;
  const UnderlineBitmap b = checker_underline_bitmap(rect.right - rect.left, dpi);
  if (b.width <= 0) return;
  w->show_underline({rect.left, rect.bottom - b.height}, b.width, b.height, b.pixels);
}

os::PopupPlacement checker_popup_placement(const os::Box& word, uint32_t dpi, bool expanded, const os::Box& work) {
  auto s = [dpi](uint32_t x) { return overlay_scale(x, dpi); };
  os::PopupPlacement p;
  if (!expanded) {
    const int32_t d = s(kCircle);
    p.width = p.height = d;
    p.x = word.right + s(kGap);
    p.y = word.top + ((word.bottom - word.top) - d) / 2;
    p.shape = os::PopupPlacement::Shape::Ellipse;
  } else {
    const CardLayout card = checker_card_layout(dpi);
    p.width = card.width;
    p.height = card.height;
    p.x = word.left;
    p.y = word.bottom + s(kGap);
    if (p.y + p.height > work.bottom) p.y = word.top - (s(kGap) + p.height);
    p.shape = os::PopupPlacement::Shape::RoundRect;
    p.corner = s(kCorner);
  }
  // The left and top edges win when the window does not fit.
  p.x = std::max(std::min(p.x, work.right - p.width), work.left);
  p.y = std::max(std::min(p.y, work.bottom - p.height), work.top);
  return p;
}

void position_checker_popup(bool expanded) {
  std::optional<OverlayState>& state = overlay_state();
  if (!state) return;
  state->expanded = expanded;
  os::OverlayWindows* w = os::checker_platform().overlay;
  if (!w) return;
  const os::Box work = w->work_area(state->rect).value_or(kFallbackWorkArea);
  w->show_popup(checker_popup_placement(state->rect, state->dpi, expanded, work));
}

std::vector<os::PaintOp> checker_popup_paint(const os::Box& client) {
  std::vector<os::PaintOp> ops;
  const std::optional<OverlayState>& state = overlay_state();
  if (!state) return ops;
  const uint32_t dpi = state->dpi;
  auto s = [dpi](uint32_t x) { return overlay_scale(x, dpi); };
  using Kind = os::PaintOp::Kind;
  constexpr uint32_t kCentred = os::DT_CENTER | os::DT_VCENTER | os::DT_SINGLELINE;
  constexpr uint32_t kCut = os::DT_SINGLELINE | os::DT_END_ELLIPSIS;
  const Suggestion& sg = state->suggestion;

  if (!state->expanded) {
    ops.push_back({Kind::Fill, client, kAccentRed, 0, {}, {}, 0});
    // The first new letter (the first character of `letters`), or "!".
    std::string letter = "!";
    const std::u32string letters = text::decode_utf8_lossy(sg.letters);
    if (!letters.empty()) letter = text::encode_utf8(letters[0]);
    ops.push_back({Kind::Text, client, kWhite, 0, overlay_font(dpi, 13, true), letter, kCentred});
    return ops;
  }

  ops.push_back({Kind::Fill, client, kCardBackground, 0, {}, {}, 0});
  ops.push_back({Kind::FrameRoundRect, {0, 0, client.right + 1, client.bottom + 1}, kCardFrame, s(kCorner), {}, {}, 0});
  std::string title = text::encode_utf8(sg.word);
  title.append(" \u2192 ");
  title.append(text::encode_utf8(sg.suggestion));
  ops.push_back({Kind::Text,
                 {s(kMargin), s(kMargin) - 2, client.right - s(kMargin), s(20) + s(kMargin)},
                 kTitleText, 0, overlay_font(dpi, 13, true), title, kCut});
  std::string subtitle = sg.letters;
  subtitle.append(" bilan yozilishi kerak");
  ops.push_back({Kind::Text,
                 {s(kMargin), s(20) + s(kMargin), client.right - s(kMargin), s(36) + s(kMargin)},
                 kSubtitleText, 0, overlay_font(dpi, 11, false), subtitle, kCut});
  const CardLayout card = checker_card_layout(dpi);
  const os::Box button{card.button_left, card.button_top, card.button_right, card.button_bottom};
  ops.push_back({Kind::Fill, button, kButtonColour, 0, {}, {}, 0});
  ops.push_back({Kind::Text, button, kWhite, 0, overlay_font(dpi, 12, true), "Tuzatish", kCentred});
  return ops;
}

void checker_popup_click(os::Point p) {
  std::optional<OverlayState>& state = overlay_state();
  if (!state) return;
  if (!state->expanded) {
    position_checker_popup(true);
    return;
  }
  const CardLayout card = checker_card_layout(state->dpi);
  if (!(card.button_left <= p.x && p.x < card.button_right && card.button_top <= p.y && p.y < card.button_bottom)) {
    return;
  }
  const OverlayStatus st = overlay_status(*state, false);
  const auto again = remeasure_overlay_word(*state);
  const bool go = st.key_seq_now == st.key_seq_then && st.checker_on &&
                  std::chrono::duration_cast<std::chrono::seconds>(st.elapsed).count() < kOverlayLifeSeconds &&
                  st.foreground_now == st.foreground_then && again && rects_nearly_equal(*again, state->rect);
  if (!go) {
    hide_checker_overlay();
    return;
  }
  Replacement fix{state->suggestion.suggestion, state->suggestion.erase, std::nullopt};
  if (state->suggestion.terminator) fix.text.push_back(*state->suggestion.terminator);
  const bool elevated = is_foreground_process_more_elevated();
  hide_checker_overlay();
  if (elevated) return;
  // Set first: the shortcut must not type the same fix again.
  hook_flags().fix_applied.store(1, kRelaxed);
  send_replacement(fix);
}

}  // namespace harvel
