// The tray icon's image: the two artworks, the warning tint and mark, the
// status dots and the straight-alpha blend, pixel by pixel. The expected
// values are worked out by hand from the drawing rules.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "shell/tray_icon.h"

namespace harvel {
namespace {

using Px = std::array<uint8_t, 4>;

os::TrayImage image_of(const TrayImageResult& r) {
  if (const auto* error = std::get_if<std::string>(&r)) {
    ADD_FAILURE() << *error;
    return {};
  }
  return std::get<os::TrayImage>(r);
}

os::TrayImage build(uint8_t base_look, bool update_dot = false, bool rule_dot = false) {
  TrayLook look;
  look.base_look = base_look;
  look.update_dot = update_dot;
  look.rule_dot = rule_dot;
  return image_of(build_tray_icon_image(look));
}

Px at(const os::TrayImage& img, uint32_t i, uint32_t j) {
  const std::size_t k = (static_cast<std::size_t>(j) * img.width + i) * 4;
  return {img.rgba[k], img.rgba[k + 1], img.rgba[k + 2], img.rgba[k + 3]};
}

const os::TrayImage& base_pixels() {
  static const os::TrayImage img = image_of(decode_png_rgba(tray_icon_base_png()));
  return img;
}

const os::TrayImage& off_pixels() {
  static const os::TrayImage img = image_of(decode_png_rgba(tray_icon_off_png()));
  return img;
}

TEST(TrayIconArtwork, TwoSquareImagesOfTheSameSizeWithTheirColours) {
  const os::TrayImage& base = base_pixels();
  const os::TrayImage& off = off_pixels();
  ASSERT_EQ(base.width, 32u);
  ASSERT_EQ(base.height, 32u);
  ASSERT_EQ(base.rgba.size(), 32u * 32u * 4u);
  EXPECT_EQ(off.width, base.width);
  EXPECT_EQ(off.height, base.height);
  // One transparent pixel of margin; the filled square is blue, the letter white.
  for (uint32_t k = 0; k < 32; ++k) {
    EXPECT_EQ(at(base, k, 0)[3], 0);
    EXPECT_EQ(at(base, 0, k)[3], 0);
  }
  EXPECT_EQ(at(base, 3, 16), (Px{0x1E, 0x6B, 0xE6, 255}));
  int white = 0;
  for (uint32_t j = 0; j < 32; ++j) {
    for (uint32_t i = 0; i < 32; ++i) white += at(base, i, j) == Px{255, 255, 255, 255} ? 1 : 0;
  }
  EXPECT_GT(white, 30) << "the letter";
  // The outline: grey ring, empty inside.
  EXPECT_EQ(at(off, 2, 16), (Px{0x7C, 0x8A, 0xA0, 255}));
  for (uint32_t j = 6; j < 26; ++j) {
    for (uint32_t i = 6; i < 26; ++i) EXPECT_EQ(at(off, i, j)[3], 0) << i << "," << j;
  }
}

TEST(TrayIconImage, ActiveAndOffWithoutDotsAreTheArtworkItself) {
  EXPECT_EQ(build(kBaseLookActive).rgba, base_pixels().rgba);
  const os::TrayImage off = build(kBaseLookOff);
  EXPECT_EQ(off.rgba, off_pixels().rgba);
  EXPECT_EQ(off.width, base_pixels().width);
}

TEST(TrayIconImage, WarningTintsEveryColouredPixelAndDrawsTheMark) {
  const os::TrayImage warn = build(kBaseLookWarning);
  const os::TrayImage& base = base_pixels();
  // Mark: stroke half-thickness 2.08 centred on x 16 from y 9.76 to 16.48,
  // dot at (16, 23.36) with radius 2.4.
  auto in_mark = [](uint32_t i, uint32_t j) {
    const float px = static_cast<float>(i) + 0.5f;
    const float py = static_cast<float>(j) + 0.5f;
    const float yc = std::fmin(std::fmax(py, 9.76f), 16.48f);
    return std::hypot(px - 16.0f, py - yc) < 2.58f || std::hypot(px - 16.0f, py - 23.36f) < 2.9f;
  };
  for (uint32_t j = 0; j < 32; ++j) {
    for (uint32_t i = 0; i < 32; ++i) {
      const Px b = at(base, i, j);
      const Px w = at(warn, i, j);
      if (b[3] == 0) {
        EXPECT_EQ(w[3], 0) << i << "," << j << ": transparent stays transparent";
      } else if (!in_mark(i, j)) {
        EXPECT_EQ(w, (Px{0xDC, 0x26, 0x26, b[3]})) << i << "," << j;
      }
    }
  }
  EXPECT_EQ(at(warn, 15, 12), (Px{255, 255, 255, 255}));  // inside the stroke
  EXPECT_EQ(at(warn, 13, 12), (Px{223, 55, 55, 255}));    // its edge: coverage 0.08
  EXPECT_EQ(at(warn, 12, 12), (Px{0xDC, 0x26, 0x26, 255}));
  EXPECT_EQ(at(warn, 15, 23), (Px{255, 255, 255, 255}));  // the dot
  EXPECT_EQ(build(3).rgba, warn.rgba) << "looks above 2 are drawn as 2";
}

TEST(TrayIconImage, StatusDotsAtTheRightCorners) {
  // r = 5.12, centres (24.88, 7.12) and (24.88, 24.88).
  const Px green{0x16, 0xA3, 0x4A, 255};
  const os::TrayImage update = build(kBaseLookActive, true, false);
  EXPECT_EQ(at(update, 24, 7), green);
  EXPECT_EQ(at(update, 24, 24), at(base_pixels(), 24, 24)) << "no rule dot";
  // At distance 5.39 from the centre: the fill's edge (coverage 0.2266) over the white ring.
  EXPECT_EQ(at(update, 24, 12), (Px{202, 234, 214, 255}));

  const os::TrayImage both = build(kBaseLookActive, true, true);
  EXPECT_EQ(at(both, 24, 7), green);
  EXPECT_EQ(at(both, 24, 24), green);
  EXPECT_EQ(at(both, 24, 16), at(base_pixels(), 24, 16)) << "the dots do not meet";

  // Over the outline image's transparent inside the ring becomes as opaque
  // as its coverage (0.7287 at distance 6.39); on the outline it is white.
  const os::TrayImage off = build(kBaseLookOff, true, false);
  EXPECT_EQ(at(off, 24, 13), (Px{255, 255, 255, 186}));
  EXPECT_EQ(at(off, 30, 7), (Px{255, 255, 255, 255}));
  EXPECT_EQ(at(off, 24, 14), (Px{0, 0, 0, 0})) << "beyond the ring nothing is touched";
}

TEST(TrayIconImage, UnreadableArtworkIsAnError) {
  const std::vector<uint8_t> junk = {1, 2, 3, 4, 5};
  TrayLook look;
  const auto bad_base = build_tray_icon_image_from(look, junk, tray_icon_off_png());
  ASSERT_TRUE(std::holds_alternative<std::string>(bad_base));
  EXPECT_NE(std::get<std::string>(bad_base).find("PNG"), std::string::npos);
  // The outline is only read for the off look.
  EXPECT_TRUE(std::holds_alternative<os::TrayImage>(build_tray_icon_image_from(look, tray_icon_base_png(), junk)));
  look.base_look = kBaseLookOff;
  EXPECT_TRUE(std::holds_alternative<std::string>(build_tray_icon_image_from(look, tray_icon_base_png(), junk)));
}

TEST(TrayIconImage, AnOutlineOfAnotherSizeIsRefused) {
  // A 1 x 1 PNG: the buffer would not match the base's size.
  const std::vector<uint8_t> one_pixel = {
      0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,
      0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4,
      0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0,
      0x1F, 0x00, 0x05, 0x00, 0x01, 0xFF, 0x89, 0x99, 0x3D, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45,
      0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
  const os::TrayImage decoded = image_of(decode_png_rgba(one_pixel));
  ASSERT_EQ(decoded.width, 1u);
  TrayLook look;
  look.base_look = kBaseLookOff;
  look.rule_dot = true;
  EXPECT_TRUE(std::holds_alternative<std::string>(build_tray_icon_image_from(look, tray_icon_base_png(), one_pixel)));
}

TEST(BlendPixelOver, Table) {
  struct Case {
    const char* what;
    Px pixel;
    Rgb colour;
    float coverage;
    Px expected;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {"over transparent: the colour at the coverage's opacity", {0, 0, 0, 0}, kWhite, 0.5f, {255, 255, 255, 128}},
      {"coverage 0 over transparent leaves the pixel", {10, 20, 30, 0}, kWhite, 0.0f, {10, 20, 30, 0}},
      {"coverage 0 over opaque leaves the pixel", {10, 20, 30, 255}, kDotFill, 0.0f, {10, 20, 30, 255}},
      {"half over black: halves round away from zero", {0, 0, 0, 255}, kWhite, 0.5f, {128, 128, 128, 255}},
      {"coverage above 1 counts as 1", {9, 9, 9, 40}, kDotFill, 2.0f, {0x16, 0xA3, 0x4A, 255}},
      {"negative coverage counts as 0", {9, 9, 9, 40}, kDotFill, -1.0f, {9, 9, 9, 40}},
      {"no coverage at all (NaN) leaves the pixel", {9, 9, 9, 40}, kDotFill, nan, {9, 9, 9, 40}},
      {"over half-transparent grey", {100, 100, 100, 128}, kDotFill, 0.25f, {69, 125, 90, 160}},
  };
  for (const Case& c : cases) {
    Px px = c.pixel;
    blend_pixel_over(px, c.colour, c.coverage);
    EXPECT_EQ(px, c.expected) << c.what;
  }
}

TEST(DrawStatusDot, ABufferShorterThanItsSizeIsLeftAlone) {
  std::vector<uint8_t> small(4 * 4 * 4, 7);
  draw_status_dot(small, 8, 8, 4.0f, 4.0f, 3.0f);
  EXPECT_EQ(small, std::vector<uint8_t>(4 * 4 * 4, 7));
}

}  // namespace
}  // namespace harvel
