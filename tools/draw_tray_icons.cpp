// Draws the two 32 x 32 tray artworks into icons/:
//   tray-base.png  a filled blue rounded square with a white "ş"
//   tray-off.png   the same square as a 3-pixel grey outline, empty inside
// Shapes are sampled 16 x 16 times per pixel for smooth edges. Run by hand
// when the artwork changes; the PNG files are part of the sources and the
// build embeds them.
//   g++ -std=c++20 -O2 -isystem /usr/include/stb tools/draw_tray_icons.cpp -o /tmp/draw_tray_icons
//   /tmp/draw_tray_icons icons [preview-folder]
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "icon_drawing.h"

namespace {

using namespace icon_drawing;

constexpr int kSize = 32;
constexpr int kSamples = 16;

constexpr Rgb kBlue{0x1E, 0x6B, 0xE6};
constexpr Rgb kGrey{0x7C, 0x8A, 0xA0};
constexpr Rgb kWhite{0xFF, 0xFF, 0xFF};

// Signed distance to the rounded square from 1 to 31 (one pixel margin) with
// corner radius 7: negative inside.
double square_distance(P p) { return rounded_rect_distance(p, {16.0, 16.0}, 15.0, 15.0, 7.0); }

bool in_letter(P p) { return letter_distance(p) <= 0; }

std::vector<uint8_t> draw_base() {
  std::vector<uint8_t> px(kSize * kSize * 4);
  for (int j = 0; j < kSize; ++j) {
    for (int i = 0; i < kSize; ++i) {
      const double square = coverage(i, j, kSamples, [](P p) { return square_distance(p) <= 0; });
      // The letter lies well inside the square: its coverage mixes white
      // into the opaque blue.
      const double letter = coverage(i, j, kSamples, [](P p) { return square_distance(p) <= 0 && in_letter(p); });
      const double w = square > 0 ? letter / square : 0;
      uint8_t* out = &px[(j * kSize + i) * 4];
      out[0] = to_byte(kBlue.r + (kWhite.r - kBlue.r) * w);
      out[1] = to_byte(kBlue.g + (kWhite.g - kBlue.g) * w);
      out[2] = to_byte(kBlue.b + (kWhite.b - kBlue.b) * w);
      out[3] = to_byte(255 * square);
      if (out[3] == 0) out[0] = out[1] = out[2] = 0;
    }
  }
  return px;
}

std::vector<uint8_t> draw_off() {
  std::vector<uint8_t> px(kSize * kSize * 4);
  for (int j = 0; j < kSize; ++j) {
    for (int i = 0; i < kSize; ++i) {
      const double ring = coverage(i, j, kSamples, [](P p) {
        const double d = square_distance(p);
        return d <= 0 && d > -3.0;
      });
      uint8_t* out = &px[(j * kSize + i) * 4];
      const uint8_t a = to_byte(255 * ring);
      out[0] = a ? to_byte(kGrey.r) : 0;
      out[1] = a ? to_byte(kGrey.g) : 0;
      out[2] = a ? to_byte(kGrey.b) : 0;
      out[3] = a;
    }
  }
  return px;
}

// A large copy over a checkerboard, for looking at the artwork.
void write_preview(const std::string& path, const std::vector<uint8_t>& px, int scale) {
  const int n = kSize * scale;
  std::vector<uint8_t> big(n * n * 3);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      const uint8_t* s = &px[((y / scale) * kSize + x / scale) * 4];
      const double bg = ((x / 8 + y / 8) % 2) ? 200 : 240;
      const double a = s[3] / 255.0;
      for (int c = 0; c < 3; ++c) big[(y * n + x) * 3 + c] = to_byte(s[c] * a + bg * (1 - a));
    }
  }
  stbi_write_png(path.c_str(), n, n, 3, big.data(), n * 3);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s ICON-FOLDER [PREVIEW-FOLDER]\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const std::vector<uint8_t> base = draw_base();
  const std::vector<uint8_t> off = draw_off();
  stbi_write_png_compression_level = 9;
  if (!stbi_write_png((dir + "/tray-base.png").c_str(), kSize, kSize, 4, base.data(), kSize * 4) ||
      !stbi_write_png((dir + "/tray-off.png").c_str(), kSize, kSize, 4, off.data(), kSize * 4)) {
    std::fprintf(stderr, "cannot write the icons into %s\n", dir.c_str());
    return 1;
  }
  if (argc > 2) {
    const std::string preview = argv[2];
    write_preview(preview + "/tray-base-x16.png", base, 16);
    write_preview(preview + "/tray-off-x16.png", off, 16);
  }
  return 0;
}
