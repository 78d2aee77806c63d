#include "app/web_assets.h"

#include <array>
#include <optional>

#include "app/embedded_files.h"
#include "app/navigation.h"
#include "core/settings.h"
#include "core/text.h"

namespace harvel {

namespace {

struct Mime {
  std::string_view extension;  // lower case, without the dot
  std::string_view type;
};

// Web engines run module scripts only when they come with a JavaScript type.
constexpr std::array kMimeTypes{
    Mime{"html", "text/html"},
    Mime{"htm", "text/html"},
    Mime{"js", "text/javascript"},
    Mime{"mjs", "text/javascript"},
    Mime{"cjs", "text/javascript"},
    Mime{"css", "text/css"},
    Mime{"json", "application/json"},
    Mime{"map", "application/json"},
    Mime{"webmanifest", "application/manifest+json"},
    Mime{"wasm", "application/wasm"},
    Mime{"svg", "image/svg+xml"},
    Mime{"png", "image/png"},
    Mime{"jpg", "image/jpeg"},
    Mime{"jpeg", "image/jpeg"},
    Mime{"gif", "image/gif"},
    Mime{"webp", "image/webp"},
    Mime{"avif", "image/avif"},
    Mime{"ico", "image/x-icon"},
    Mime{"bmp", "image/bmp"},
    Mime{"woff", "font/woff"},
    Mime{"woff2", "font/woff2"},
    Mime{"ttf", "font/ttf"},
    Mime{"otf", "font/otf"},
    Mime{"txt", "text/plain"},
    Mime{"xml", "application/xml"},
    Mime{"mp4", "video/mp4"},
    Mime{"webm", "video/webm"},
    Mime{"mp3", "audio/mpeg"},
    Mime{"wav", "audio/wav"},
    Mime{"ogg", "audio/ogg"},
};

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// %XX escapes decoded; none for a broken escape or an encoded NUL.
std::optional<std::string> percent_decode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return std::nullopt;
    const int hi = hex_value(s[i + 1]);
    const int lo = hex_value(s[i + 2]);
    if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

}  // namespace

std::string_view mime_type_for_path(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return "application/octet-stream";
  const std::string ext = text::ascii_lower(name.substr(dot + 1));
  for (const Mime& m : kMimeTypes) {
    if (m.extension == ext) return m.type;
  }
  return "application/octet-stream";
}

std::string content_security_policy(std::string_view site_url, std::string_view origin) {
  const std::string site(site_url);
  return "default-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data: " + site +
         "; media-src 'self' " + site + "; font-src 'self' data:; connect-src 'self' " + std::string(origin) +
         "; object-src 'none'; base-uri 'none'; form-action 'none'";
}

std::optional<std::string> app_asset_path(std::string_view url) {
  std::string_view rest;
  if (!app_origin_of(url, &rest)) return std::nullopt;
  const std::string_view raw = rest.substr(0, rest.find_first_of("?#"));
  std::optional<std::string> path = percent_decode(raw);
  if (!path) return std::nullopt;
  if (path->empty() || *path == "/") return std::string("/index.html");
  return path;
}

AssetResponse serve_app_asset(std::string_view url) {
  AssetResponse r;
  const std::string_view origin = app_origin_of(url).value_or("harvel://localhost");
  std::optional<std::string> body;
  if (const std::optional<std::string> path = app_asset_path(url)) {
    body = read_embedded_file(*path);
    if (body) {
      r.status = 200;
      r.reason = "OK";
      r.body = std::move(*body);
      r.headers.emplace_back("Content-Type", std::string(mime_type_for_path(*path)));
    }
  }
  if (!body) {
    r.status = 404;
    r.reason = "Not Found";
    r.body = "not found";
    r.headers.emplace_back("Content-Type", "text/plain");
  }
  r.headers.emplace_back("Content-Security-Policy", content_security_policy(default_site_url(), origin));
  return r;
}

}  // namespace harvel
