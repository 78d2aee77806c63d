// What the checker draws inside another program: the red wavy underline
// below the word and the fix pop-up beside it (a red circle with the first
// new letter, which a click expands into a card with the fix button).
// Sizes are given at 96 DPI and scaled for the overlay's DPI.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/os.h"

namespace harvel {

// s(x) = (x × max(dpi, 48) + 48) / 96, in unsigned arithmetic.
int32_t overlay_scale(uint32_t px, uint32_t dpi);

struct CardLayout {
  int32_t width = 0;
  int32_t height = 0;
  int32_t button_left = 0;
  int32_t button_top = 0;
  int32_t button_right = 0;
  int32_t button_bottom = 0;
  bool operator==(const CardLayout&) const = default;
};
CardLayout checker_card_layout(uint32_t dpi);

inline constexpr os::Rgb kAccentRed{229, 72, 77};
inline constexpr os::Rgb kCardBackground{255, 255, 255};
inline constexpr os::Rgb kCardFrame{219, 224, 229};
inline constexpr os::Rgb kTitleText{37, 42, 51};
inline constexpr os::Rgb kSubtitleText{107, 114, 128};
inline constexpr os::Rgb kButtonColour{37, 99, 235};
inline constexpr os::Rgb kWhite{255, 255, 255};

// The parameters create_overlay_font gives the system for a size in points
// at 96 DPI.
os::OverlayFont overlay_font(uint32_t dpi, uint32_t size, bool bold);

// The underline band for a word `width` pixels wide: its height and its
// premultiplied pixels (0xAARRGGBB, rows top-down).
struct UnderlineBitmap {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
};
UnderlineBitmap checker_underline_bitmap(int32_t width, uint32_t dpi);

// Draws the underline for the word rectangle and shows its window.
void draw_checker_underline(const os::Box& rect, uint32_t dpi);

// Where the pop-up goes for a word rectangle and a work area.
os::PopupPlacement checker_popup_placement(const os::Box& word, uint32_t dpi, bool expanded, const os::Box& work);

// Stores `expanded` in the current overlay, then shapes, places and shows
// the pop-up; nothing without an overlay.
void position_checker_popup(bool expanded);

// The pop-up's painting for the current overlay; empty without one.
std::vector<os::PaintOp> checker_popup_paint(const os::Box& client);

// A left-button release on the pop-up: expands the circle, or applies the fix
// when the card's button was hit and the word is still where it was.
void checker_popup_click(os::Point p);

}  // namespace harvel
