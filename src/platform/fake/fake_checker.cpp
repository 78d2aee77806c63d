#include "platform/fake/fake_checker.h"

#include <algorithm>
#include <memory>

namespace harvel::fake {

uintptr_t FakeCaret::window_font(os::WindowHandle window, uint32_t timeout_ms) {
  font_queries.push_back(window);
  last_timeout_ms = timeout_ms;
  return font;
}

std::optional<std::vector<int32_t>> FakeCaret::text_widths(os::WindowHandle, uintptr_t,
                                                           std::span<const std::u16string> texts) {
  if (!has_dc) return std::nullopt;
  std::vector<int32_t> widths;
  for (const std::u16string& t : texts) widths.push_back(static_cast<int32_t>(t.size()) * char_width);
  return widths;
}

namespace {

class FakeRange final : public os::UiaTextRange {
 public:
  explicit FakeRange(FakeUia& owner) : owner_(owner), before_(owner.chars_before_caret) {}
  std::optional<int32_t> move_start(int32_t count) override {
    owner_.moves.emplace_back('S', count);
    // Moving back stops at the start of the text.
    const int32_t moved = count < 0 ? -std::min(-count, before_) : count;
    before_ += moved;
    return moved;
  }
  std::optional<int32_t> move_end(int32_t count) override {
    owner_.moves.emplace_back('E', count);
    return count;
  }
  std::optional<std::vector<double>> bounding_rectangles() override { return owner_.rectangles; }

 private:
  FakeUia& owner_;
  int32_t before_;
};

}  // namespace

os::UiaFocus FakeUia::focused_text() {
  ++queries;
  if (on_query) on_query();
  os::UiaFocus f;
  f.kind = kind;
  if (kind == os::UiaFocus::Kind::Text) f.range = std::make_unique<FakeRange>(*this);
  return f;
}

std::optional<os::Box> FakeOverlayWindows::popup_rect() {
  if (!popup) return std::nullopt;
  return os::Box{popup->x, popup->y, popup->x + popup->width, popup->y + popup->height};
}

void FakeOverlayWindows::show_underline(os::Point at, int32_t width, int32_t height,
                                        std::span<const uint32_t> pixels) {
  underline_visible = true;
  underline_at = at;
  underline_width = width;
  underline_height = height;
  underline_pixels.assign(pixels.begin(), pixels.end());
}

void FakeOverlayWindows::show_popup(const os::PopupPlacement& placement) {
  popup = placement;
  popup_visible = true;
  ++popups_shown;
}

void FakeOverlayWindows::sleep(std::chrono::milliseconds duration) {
  sleeps.push_back(duration);
  if (on_sleep) on_sleep(duration);
}

}  // namespace harvel::fake
