#include "checker/word_rect.h"

#include <cmath>
#include <limits>

#include "core/text.h"

namespace harvel {

namespace {

// The estimate without a font: 52 % of the caret height per character.
constexpr int64_t kEstimatePercent = 52;

}  // namespace

int32_t round_to_i32(double v) {
  if (std::isnan(v)) return 0;
  const double r = std::round(v);  // halves away from zero
  if (r >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  if (r <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(r);
}

std::optional<os::Box> box_from_bounding_rectangles(std::span<const double> v) {
  // One line only: a word broken over two lines, or an invisible range, fails.
  if (v.size() != 4) return std::nullopt;
  return os::Box{round_to_i32(v[0]), round_to_i32(v[1]), round_to_i32(v[0] + v[2]), round_to_i32(v[1] + v[3])};
}

UiaWordRect uia_word_rect(uint64_t n) {
  const UiaWordRect unavailable{};
  os::UiAutomation* uia = os::checker_platform().uia;
  if (!uia) return unavailable;
  if (n > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return unavailable;
  os::UiaFocus focus = uia->focused_text();
  if (focus.kind == os::UiaFocus::Kind::Password) return {UiaWordRect::Kind::Password, {}};
  if (focus.kind != os::UiaFocus::Kind::Text || !focus.range) return unavailable;
  const int32_t count = static_cast<int32_t>(n);
  // Start back over the word and its terminator; a move cut short at the
  // start of the text fails. Then End back over the terminator.
  const auto start = focus.range->move_start(-count);
  if (!start || *start != -count) return unavailable;
  const auto end = focus.range->move_end(-1);
  if (!end || *end != -1) return unavailable;
  const auto values = focus.range->bounding_rectangles();
  if (!values) return unavailable;
  const auto box = box_from_bounding_rectangles(*values);
  if (!box) return unavailable;
  return {UiaWordRect::Kind::Found, *box};
}

std::optional<os::Box> caret_word_rect(const Suggestion& s) {
  os::CaretQueries* caret = os::checker_platform().caret;
  if (!caret) return std::nullopt;
  const auto info = caret->foreground_caret();
  if (!info || info->caret == 0 || !(info->rect.top < info->rect.bottom)) return std::nullopt;

  auto first = caret->client_to_screen(info->caret, {info->rect.left, info->rect.top});
  auto second = caret->client_to_screen(info->caret, {info->rect.left, info->rect.bottom});
  if (!first || !second) return std::nullopt;
  if (caret->window_dpi_unaware(info->caret)) {
    first = caret->logical_to_physical(info->caret, *first);
    second = caret->logical_to_physical(info->caret, *second);
  }
  const int64_t x = first->x;
  const int64_t top = first->y;
  const int64_t bottom = second->y;

  const os::WindowHandle font_window = info->focus != 0 ? info->focus : info->caret;
  int64_t word_width = 0;
  int64_t term_width = 0;
  bool measured = false;
  if (const uintptr_t font = caret->window_font(font_window, kFontQueryTimeoutMs); font != 0) {
    std::u16string terminator;
    if (s.terminator) terminator = text::encode_utf16(std::u32string_view(&*s.terminator, 1));
    const std::u16string texts[] = {text::encode_utf16(s.word), terminator};
    if (const auto widths = caret->text_widths(font_window, font, texts); widths && widths->size() == 2) {
      if ((*widths)[0] > 0) {
        word_width = (*widths)[0];
        term_width = (*widths)[1];
        measured = true;
      }
    }
  }
  if (!measured) {
    const int64_t h = bottom - top;
    word_width = (static_cast<int64_t>(s.word.size()) * h * kEstimatePercent) / 100;
    term_width = ((h * kEstimatePercent) / 100) / 2;
  }
  auto clamp32 = [](int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
  };
  return os::Box{clamp32(x - term_width - word_width), clamp32(top), clamp32(x - term_width), clamp32(bottom)};
}

}  // namespace harvel
