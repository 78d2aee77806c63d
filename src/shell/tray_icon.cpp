#include "shell/tray_icon.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/app.h"
#include "shell/tray_events.h"
#include "shell/tray_menu.h"

// PNG decoding, private to this file.
#include "core/stb_png_private.h"

namespace harvel {

namespace {

float clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }  // NaN gives 0

uint8_t to_byte(float v) {
  const float r = std::round(v);
  return static_cast<uint8_t>(r > 0.0f ? (r < 255.0f ? r : 255.0f) : 0.0f);
}

float distance(float x0, float y0, float x1, float y1) {
  const float dx = x0 - x1;
  const float dy = y0 - y1;
  return std::sqrt(dx * dx + dy * dy);
}

std::span<uint8_t, 4> pixel_at(std::span<uint8_t> pixels, uint32_t width, uint32_t i, uint32_t j) {
  return pixels.subspan((static_cast<std::size_t>(j) * width + i) * 4).first<4>();
}

// Blends `colour` over every pixel with the coverage `cover(px, py)` of the
// pixel's centre, where that coverage is above 0.
template <typename Cover>
void paint(std::span<uint8_t> pixels, uint32_t width, uint32_t height, Rgb colour, Cover cover) {
  if (pixels.size() / 4 / std::max<uint32_t>(width, 1) < height) return;
  for (uint32_t j = 0; j < height; ++j) {
    for (uint32_t i = 0; i < width; ++i) {
      const float c = cover(static_cast<float>(i) + 0.5f, static_cast<float>(j) + 0.5f);
      if (c > 0.0f) blend_pixel_over(pixel_at(pixels, width, i, j), colour, c);
    }
  }
}

void draw_warning(std::span<uint8_t> pixels, uint32_t width, uint32_t height) {
  for (std::size_t k = 0; k + 3 < pixels.size(); k += 4) {
    if (pixels[k + 3] != 0) {
      pixels[k] = kWarningTint.r;
      pixels[k + 1] = kWarningTint.g;
      pixels[k + 2] = kWarningTint.b;
    }
  }
  const float w = static_cast<float>(width);
  const float h = static_cast<float>(height);
  // The stroke: a vertical capsule.
  const float t = 0.065f * w;
  const float cx = 0.5f * w;
  const float y0 = 0.24f * h + t;
  const float y1 = 0.58f * h - t;
  paint(pixels, width, height, kWhite, [&](float px, float py) {
    const float yc = std::clamp(py, y0, y1);
    return clamp01(t - distance(px, py, cx, yc) + 0.5f);
  });
  // The dot below it.
  const float dx = 0.5f * w;
  const float dy = 0.73f * h;
  const float dr = 0.075f * w;
  paint(pixels, width, height, kWhite,
        [&](float px, float py) { return clamp01(dr - distance(px, py, dx, dy) + 0.5f); });
}

}  // namespace

void blend_pixel_over(std::span<uint8_t, 4> pixel, Rgb colour, float coverage) {
  const float a = clamp01(coverage);
  const float da = static_cast<float>(pixel[3]) / 255.0f;
  const float out_alpha = (1.0f - a) * da + a;
  if (out_alpha <= 0.0f) return;
  const float src[3] = {static_cast<float>(colour.r), static_cast<float>(colour.g), static_cast<float>(colour.b)};
  for (int c = 0; c < 3; ++c) {
    const float old = static_cast<float>(pixel[c]);
    pixel[c] = to_byte((old * da * (1.0f - a) + src[c] * a) / out_alpha);
  }
  pixel[3] = to_byte(out_alpha * 255.0f);
}

void draw_status_dot(std::span<uint8_t> pixels, uint32_t width, uint32_t height, float cx, float cy, float r) {
  paint(pixels, width, height, kWhite,
        [&](float px, float py) { return clamp01((r + 1.5f) - distance(px, py, cx, cy) + 0.5f); });
  paint(pixels, width, height, kDotFill,
        [&](float px, float py) { return clamp01(r - distance(px, py, cx, cy) + 0.5f); });
}

TrayImageResult decode_png_rgba(std::span<const uint8_t> png) {
  int w = 0;
  int h = 0;
  int channels = 0;
  if (png.size() > static_cast<std::size_t>(INT32_MAX)) return std::string("PNG too large");
  stbi_uc* data = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &w, &h, &channels, 4);
  if (!data) {
    const char* reason = stbi_failure_reason();
    std::string error = "PNG reading error: ";
    error.append(reason ? reason : "unknown");
    return error;
  }
  os::TrayImage image;
  image.width = static_cast<uint32_t>(w);
  image.height = static_cast<uint32_t>(h);
  image.rgba.assign(data, data + static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
  stbi_image_free(data);
  return image;
}

TrayImageResult build_tray_icon_image_from(const TrayLook& look, std::span<const uint8_t> base_png,
                                           std::span<const uint8_t> off_png) {
  TrayImageResult base = decode_png_rgba(base_png);
  if (std::holds_alternative<std::string>(base)) return base;
  os::TrayImage image = std::get<os::TrayImage>(std::move(base));

  if (look.base_look == kBaseLookOff) {
    TrayImageResult off = decode_png_rgba(off_png);
    if (std::holds_alternative<std::string>(off)) return off;
    os::TrayImage& outline = std::get<os::TrayImage>(off);
    if (outline.width != image.width || outline.height != image.height) {
      return std::string("PNG reading error: the outline image is not the size of the base image");
    }
    image.rgba = std::move(outline.rgba);
  } else if (look.base_look >= kBaseLookWarning) {
    draw_warning(image.rgba, image.width, image.height);
  }

  const float w = static_cast<float>(image.width);
  const float h = static_cast<float>(image.height);
  const float r = 0.16f * w;
  if (look.update_dot) draw_status_dot(image.rgba, image.width, image.height, w - (r + 2.0f), r + 2.0f, r);
  if (look.rule_dot) draw_status_dot(image.rgba, image.width, image.height, w - (r + 2.0f), h - (r + 2.0f), r);
  return image;
}

TrayImageResult build_tray_icon_image(const TrayLook& look) {
  return build_tray_icon_image_from(look, tray_icon_base_png(), tray_icon_off_png());
}

std::optional<std::string> create_tray_icon(App& app) {
  // A system without a notification area (a test platform) runs without one.
  os::Tray* tray = os::platform().tray;
  if (!tray) return std::nullopt;
  const TrayLook look = compute_tray_look(app);
  TrayImageResult image = build_tray_icon_image(look);
  if (auto* error = std::get_if<std::string>(&image)) return *error;
  last_tray_look().set(look);

  os::TraySpec spec;
  spec.id = std::string(kTrayId);
  spec.image = std::get<os::TrayImage>(std::move(image));
  spec.tooltip = look.tooltip;
  spec.menu = build_tray_menu(app);
  spec.on_menu = [&app](std::string_view id) { on_tray_menu_event(app, id); };
  spec.on_event = [&app](const os::TrayEvent& event) { on_tray_icon_click(app, event); };
  if (!tray->create(spec)) return std::string("the tray icon could not be created");
  return std::nullopt;
}

}  // namespace harvel
