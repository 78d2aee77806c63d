// The tray icon "main": its image, drawn in memory from two embedded
// artworks and the current look, and its creation at set-up.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "platform/os.h"

namespace harvel {

class App;

inline constexpr uint8_t kBaseLookActive = 0;   // the normal image
inline constexpr uint8_t kBaseLookOff = 1;      // the outline image
inline constexpr uint8_t kBaseLookWarning = 2;  // the normal image in red with "!"; above 2 drawn the same

// What the icon shows: its image flags and its tooltip.
struct TrayLook {
  bool rule_dot = false;    // bottom-right: a rule applies to the program in front
  bool update_dot = false;  // top-right: an update is ready
  uint8_t base_look = kBaseLookActive;
  std::string tooltip;
  bool operator==(const TrayLook&) const = default;
};

struct Rgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
};

inline constexpr Rgb kDotFill{0x16, 0xA3, 0x4A};
inline constexpr Rgb kWhite{0xFF, 0xFF, 0xFF};
inline constexpr Rgb kWarningTint{0xDC, 0x26, 0x26};

// The embedded 32 x 32 PNG artworks: a filled blue rounded square with a
// white "ş", and the same square as a grey outline.
std::span<const uint8_t> tray_icon_base_png();
std::span<const uint8_t> tray_icon_off_png();

// An image, or the PNG reading error of an embedded image.
using TrayImageResult = std::variant<os::TrayImage, std::string>;

// Decodes a PNG into 8-bit RGBA.
TrayImageResult decode_png_rgba(std::span<const uint8_t> png);

// The icon's image for a look.
TrayImageResult build_tray_icon_image(const TrayLook& look);
// The same from given artworks (the outline must have the base's size).
TrayImageResult build_tray_icon_image_from(const TrayLook& look, std::span<const uint8_t> base_png,
                                           std::span<const uint8_t> off_png);

// Draws one status dot centred at (cx, cy) with radius r (pixels, origin at
// the top-left corner of the top-left pixel): a white ring 1.5 px wide, then
// the green disc. `pixels` holds width * height RGBA pixels.
void draw_status_dot(std::span<uint8_t> pixels, uint32_t width, uint32_t height, float cx, float cy, float r);

// Composites the solid colour with the given coverage over one straight-alpha
// RGBA pixel, in place.
void blend_pixel_over(std::span<uint8_t, 4> pixel, Rgb colour, float coverage);

// Creates the tray icon "main" with its first look, menu and handlers; the
// error text when the image or the icon cannot be made.
std::optional<std::string> create_tray_icon(App& app);

}  // namespace harvel
