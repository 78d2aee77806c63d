// Draws the program icon, the mark the onboarding and the about tab show: a
// green rounded tile standing on its darker shadow, a white "ş" in it and a
// lime dot at its top right.
//   draw_app_icon ICON-FOLDER            icons/32x32.png, 128x128.png, icon.ico
//   draw_app_icon --check ICON-FOLDER    exits 1 when those files differ from
//                                        what this tool draws now
//   draw_app_icon --hicolor FOLDER       FOLDER/NxN/apps/harvel.png, the sizes
//                                        of a desktop icon theme
// The files of ICON-FOLDER are part of the sources (run by hand when the
// artwork changes: build/linux/tools/draw_app_icon icons); the build draws
// the theme sizes itself, and a test checks that icons/ is current.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "icon_drawing.h"

namespace {

using namespace icon_drawing;
using Bytes = std::vector<uint8_t>;

constexpr Rgb kTile{0x02, 0x7E, 0x6F};
constexpr Rgb kShadow{0x05, 0x52, 0x47};
constexpr Rgb kLime{0xD5, 0xFF, 0x00};
constexpr Rgb kWhite{0xFF, 0xFF, 0xFF};

// The icon file holds the sizes Windows asks for at 100 to 200 % scale; the
// two largest as PNG, the rest as bitmaps.
constexpr int kIcoSizes[] = {16, 20, 24, 32, 40, 48, 64, 128, 256};
constexpr int kIcoPngFrom = 128;
constexpr int kHicolorSizes[] = {16, 24, 32, 48, 64, 128, 256};

// Straight-alpha "over" of a colour with coverage a onto a pixel.
void blend(double* px, Rgb c, double a) {
  if (a <= 0) return;
  const double da = px[3];
  const double out = a + da * (1 - a);
  const double rgb[3] = {c.r, c.g, c.b};
  for (int k = 0; k < 3; ++k) px[k] = (rgb[k] * a + px[k] * da * (1 - a)) / out;
  px[3] = out;
}

// Coverage of a shape from its signed distance in pixels at the pixel centre.
double cover(double distance) { return std::clamp(0.5 - distance, 0.0, 1.0); }

// The web mark's tile is 56 units square with a 4-unit shadow below it; the
// whole 56 x 60 figure is fitted into the image with a margin of 1/32.
Bytes draw_icon(int n) {
  const double margin = n / 32.0;
  const double u = (n - 2 * margin) / 60.0;
  const P tile_origin{(n - 56 * u) / 2, margin};
  const double half = 28 * u;
  const P tile_centre{tile_origin.x + half, tile_origin.y + half};
  const P shadow_centre{tile_centre.x, tile_centre.y + 4 * u};
  const double radius = 16 * u;
  const P dot{tile_origin.x + 44 * u, tile_origin.y + 12 * u};
  const double dot_radius = 4 * u;
  // The letter of the tray artwork (square 1 to 31), 0.92 of its size and a
  // little bolder, its middle (15.9, 16.6) at the middle of the tile.
  const double letter_scale = 0.92 * 56 * u / 30;
  const double letter_bold = 0.25;
  const P letter_middle{15.9, 16.6};

  Bytes out(static_cast<std::size_t>(n) * n * 4);
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      const P p{i + 0.5, j + 0.5};
      double px[4] = {0, 0, 0, 0};
      blend(px, kShadow, cover(rounded_rect_distance(p, shadow_centre, half, half, radius)));
      const double tile = cover(rounded_rect_distance(p, tile_centre, half, half, radius));
      blend(px, kTile, tile);
      const P q{letter_middle.x + (p.x - tile_centre.x) / letter_scale,
                letter_middle.y + (p.y - tile_centre.y) / letter_scale};
      blend(px, kWhite, std::min(tile, cover((letter_distance(q) - letter_bold) * letter_scale)));
      blend(px, kLime, std::min(tile, cover(std::hypot(p.x - dot.x, p.y - dot.y) - dot_radius)));
      uint8_t* o = &out[(static_cast<std::size_t>(j) * n + i) * 4];
      o[3] = to_byte(px[3] * 255);
      for (int k = 0; k < 3; ++k) o[k] = o[3] ? to_byte(px[k]) : 0;
    }
  }
  return out;
}

Bytes png_bytes(const Bytes& rgba, int n) {
  Bytes png;
  stbi_write_png_compression_level = 9;
  stbi_write_png_to_func(
      [](void* context, void* data, int size) {
        auto* bytes = static_cast<Bytes*>(context);
        bytes->insert(bytes->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
      },
      &png, n, n, 4, rgba.data(), n * 4);
  return png;
}

void put16(Bytes& b, unsigned v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}

void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

// An icon image as a DIB: the header with the doubled height of colour and
// mask, BGRA rows bottom-up, then the 1-bit mask (set where transparent),
// each mask row padded to 32 bits.
Bytes dib_bytes(const Bytes& rgba, int n) {
  const int mask_row = ((n + 31) / 32) * 4;
  Bytes b;
  put32(b, 40);
  put32(b, n);
  put32(b, 2 * n);
  put16(b, 1);
  put16(b, 32);
  put32(b, 0);
  put32(b, n * n * 4 + mask_row * n);
  for (int k = 0; k < 4; ++k) put32(b, 0);
  for (int j = n - 1; j >= 0; --j) {
    for (int i = 0; i < n; ++i) {
      const uint8_t* s = &rgba[(static_cast<std::size_t>(j) * n + i) * 4];
      b.insert(b.end(), {s[2], s[1], s[0], s[3]});
    }
  }
  for (int j = n - 1; j >= 0; --j) {
    Bytes row(mask_row, 0);
    for (int i = 0; i < n; ++i) {
      if (rgba[(static_cast<std::size_t>(j) * n + i) * 4 + 3] == 0) row[i / 8] |= 0x80 >> (i % 8);
    }
    b.insert(b.end(), row.begin(), row.end());
  }
  return b;
}

Bytes ico_bytes() {
  std::vector<Bytes> images;
  for (int n : kIcoSizes) images.push_back(n >= kIcoPngFrom ? png_bytes(draw_icon(n), n) : dib_bytes(draw_icon(n), n));
  const std::size_t count = images.size();
  Bytes b;
  put16(b, 0);
  put16(b, 1);
  put16(b, static_cast<unsigned>(count));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * count);
  for (std::size_t k = 0; k < count; ++k) {
    const int n = kIcoSizes[k];
    b.push_back(n >= 256 ? 0 : static_cast<uint8_t>(n));
    b.push_back(n >= 256 ? 0 : static_cast<uint8_t>(n));
    b.push_back(0);
    b.push_back(0);
    put16(b, 1);
    put16(b, 32);
    put32(b, static_cast<uint32_t>(images[k].size()));
    put32(b, offset);
    offset += static_cast<uint32_t>(images[k].size());
  }
  for (const Bytes& image : images) b.insert(b.end(), image.begin(), image.end());
  return b;
}

struct IconFile {
  std::string name;
  Bytes bytes;
};

std::vector<IconFile> source_icons() {
  return {{"32x32.png", png_bytes(draw_icon(32), 32)},
          {"128x128.png", png_bytes(draw_icon(128), 128)},
          {"icon.ico", ico_bytes()}};
}

bool write_file(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (out) return true;
  std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
  return false;
}

Bytes read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (argc == 2 && argv[1][0] != '-') {
    for (const IconFile& f : source_icons()) {
      if (!write_file(fs::path(argv[1]) / f.name, f.bytes)) return 1;
    }
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--check") == 0) {
    int stale = 0;
    for (const IconFile& f : source_icons()) {
      if (read_file(fs::path(argv[2]) / f.name) != f.bytes) {
        std::fprintf(stderr, "%s/%s is not what tools/draw_app_icon.cpp draws: run it again\n", argv[2],
                     f.name.c_str());
        stale = 1;
      }
    }
    return stale;
  }
  if (argc == 3 && std::strcmp(argv[1], "--hicolor") == 0) {
    for (int n : kHicolorSizes) {
      const fs::path dir = fs::path(argv[2]) / (std::to_string(n) + "x" + std::to_string(n)) / "apps";
      std::error_code ec;
      fs::create_directories(dir, ec);
      if (!write_file(dir / "harvel.png", png_bytes(draw_icon(n), n))) return 1;
    }
    return 0;
  }
  std::fprintf(stderr, "usage: %s ICON-FOLDER | --check ICON-FOLDER | --hicolor FOLDER\n", argv[0]);
  return 2;
}
