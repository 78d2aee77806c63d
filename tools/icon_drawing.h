// Drawing helpers shared by the icon tools: points, distances to rounded
// rectangles and smooth paths, the spine of the letter "ş", and sampled
// coverage of a pixel.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace icon_drawing {

struct P {
  double x, y;
};

struct Rgb {
  double r, g, b;
};

inline uint8_t to_byte(double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))); }

// Signed distance to an axis-aligned rounded rectangle given by its centre,
// half sizes and corner radius: negative inside.
inline double rounded_rect_distance(P p, P centre, double half_w, double half_h, double radius) {
  const double qx = std::abs(p.x - centre.x) - (half_w - radius);
  const double qy = std::abs(p.y - centre.y) - (half_h - radius);
  const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
  return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

// A Catmull-Rom curve through the points, as a fine polyline.
inline std::vector<P> smooth_path(const std::vector<P>& pts) {
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

inline double path_distance(const std::vector<P>& path, P p) {
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

// The letter "ş" as two strokes, in the coordinates of a 32-pixel tray icon
// whose square spans 1 to 31: the spine of the "s" with its half width, and
// the spine of its cedilla with its half width.
inline const std::vector<P>& s_spine() {
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

inline const std::vector<P>& cedilla_spine() {
  static const std::vector<P> path = smooth_path({{16.2, 21.0}, {16.6, 22.9}, {18.4, 23.9}, {17.9, 25.7}, {14.9, 25.9}});
  return path;
}

inline constexpr double kSHalfWidth = 1.55;
inline constexpr double kCedillaHalfWidth = 1.05;

// Signed distance to the letter in those coordinates: negative inside.
inline double letter_distance(P p) {
  return std::min(path_distance(s_spine(), p) - kSHalfWidth, path_distance(cedilla_spine(), p) - kCedillaHalfWidth);
}

// Fraction of the pixel's samples x samples points for which `inside` holds.
template <typename F>
double coverage(int i, int j, int samples, F inside) {
  int hits = 0;
  for (int sy = 0; sy < samples; ++sy) {
    for (int sx = 0; sx < samples; ++sx) {
      if (inside(P{i + (sx + 0.5) / samples, j + (sy + 0.5) / samples})) ++hits;
    }
  }
  return static_cast<double>(hits) / (samples * samples);
}

}  // namespace icon_drawing
