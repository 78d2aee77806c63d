// Draws the two 32 x 32 tray artworks into icons/:
//   tray-base.png  a filled blue rounded square with a white "ş"
//   tray-off.png   the same square as a 3-pixel grey outline, empty inside
// Shapes are sampled 16 x 16 times per pixel for smooth edges. Run by hand
// when the artwork changes; the PNG files are part of the sources and the
// build embeds them.
//   g++ -std=c++20 -O2 -I/usr/include/stb tools/draw_tray_icons.cpp -o /tmp/draw_tray_icons
//   /tmp/draw_tray_icons icons [preview-folder]
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

constexpr int kSize = 32;
constexpr int kSamples = 16;

struct P {
  double x, y;
};

struct Rgb {
  double r, g, b;
};

constexpr Rgb kBlue{0x1E, 0x6B, 0xE6};
constexpr Rgb kGrey{0x7C, 0x8A, 0xA0};
constexpr Rgb kWhite{0xFF, 0xFF, 0xFF};

// Signed distance to the rounded square from 1 to 31 (one pixel margin) with
// corner radius 7: negative inside.
double square_distance(P p) {
  constexpr double kCentre = 16.0, kHalf = 15.0, kRadius = 7.0;
  const double qx = std::abs(p.x - kCentre) - (kHalf - kRadius);
  const double qy = std::abs(p.y - kCentre) - (kHalf - kRadius);
  const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
  return outside + std::min(std::max(qx, qy), 0.0) - kRadius;
}

// A Catmull-Rom curve through the points, as a fine polyline.
std::vector<P> smooth_path(const std::vector<P>& pts) {
  std::vector<P> out;
  for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
    const P p0 = pts[i == 0 ? 0 : i - 1], p1 = pts[i], p2 = pts[i + 1];
    const P p3 = pts[std::min(i + 2, pts.size() - 1)];
    for (int s = 0; s < 40; ++s) {
      const double t = s / 40.0, t2 = t * t, t3 = t2 * t;
      auto f = [&](double a, double b, double c, double d) {
        return 0.5 * (2 * b + (-a + c) * t + (2 * a - 5 * b + 4 * c - d) * t2 + (-a + 3 * b - 3 * c + d) * t3);
      };
      out.push_back({f(p0.x, p1.x, p2.x, p3.x), f(p0.y, p1.y, p2.y, p3.y)});
    }
  }
  out.push_back(pts.back());
  return out;
}

double path_distance(const std::vector<P>& path, P p) {
  double best = 1e9;
  for (std::size_t i = 0; i + 1 < path.size(); ++i) {
    const P a = path[i], b = path[i + 1];
    const double vx = b.x - a.x, vy = b.y - a.y;
    const double len2 = vx * vx + vy * vy;
    const double t = len2 > 0 ? std::clamp(((p.x - a.x) * vx + (p.y - a.y) * vy) / len2, 0.0, 1.0) : 0.0;
    best = std::min(best, std::hypot(p.x - (a.x + t * vx), p.y - (a.y + t * vy)));
  }
  return best;
}

// The spine of the "s" and of its cedilla.
const std::vector<P>& s_spine() {
  static const std::vector<P> path = smooth_path({{20.9, 9.5},
                                                  {18.8, 7.7},
                                                  {15.6, 7.4},
                                                  {12.3, 8.6},
                                                  {11.7, 11.1},
                                                  {14.2, 12.9},
                                                  {17.9, 14.1},
                                                  {20.6, 16.2},
                                                  {20.0, 19.0},
                                                  {16.6, 20.5},
                                                  {13.2, 20.2},
                                                  {10.9, 18.5}});
  return path;
}

const std::vector<P>& cedilla_spine() {
  static const std::vector<P> path = smooth_path({{16.2, 21.0}, {16.6, 22.9}, {18.4, 23.9}, {17.9, 25.7}, {14.9, 25.9}});
  return path;
}

bool in_letter(P p) {
  return path_distance(s_spine(), p) <= 1.55 || path_distance(cedilla_spine(), p) <= 1.05;
}

uint8_t to_byte(double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))); }

// Fraction of the pixel's samples for which `inside` holds.
template <typename F>
double coverage(int i, int j, F inside) {
  int hits = 0;
  for (int sy = 0; sy < kSamples; ++sy) {
    for (int sx = 0; sx < kSamples; ++sx) {
      if (inside(P{i + (sx + 0.5) / kSamples, j + (sy + 0.5) / kSamples})) ++hits;
    }
  }
  return static_cast<double>(hits) / (kSamples * kSamples);
}

std::vector<uint8_t> draw_base() {
  std::vector<uint8_t> px(kSize * kSize * 4);
  for (int j = 0; j < kSize; ++j) {
    for (int i = 0; i < kSize; ++i) {
      const double square = coverage(i, j, [](P p) { return square_distance(p) <= 0; });
      // The letter lies well inside the square: its coverage mixes white
      // into the opaque blue.
      const double letter = coverage(i, j, [](P p) { return square_distance(p) <= 0 && in_letter(p); });
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
      const double ring = coverage(i, j, [](P p) {
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
