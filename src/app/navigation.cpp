#include "app/navigation.h"

#include "core/text.h"

namespace harvel {

std::optional<std::string_view> app_origin_of(std::string_view url, std::string_view* rest) {
  static constexpr std::string_view kOrigins[] = {"harvel://localhost", "https://harvel.localhost"};
  for (const std::string_view origin : kOrigins) {
    if (url.size() < origin.size() || text::ascii_lower(url.substr(0, origin.size())) != origin) continue;
    const std::string_view after = url.substr(origin.size());
    // The authority must end here: not "harvel.localhost:8443",
    // "harvel.localhost.evil.com" or "harvel.localhost@evil.com".
    if (!after.empty() && std::string_view("/?#\\").find(after.front()) == std::string_view::npos) continue;
    if (rest) *rest = after;
    return origin;
  }
  return std::nullopt;
}

bool is_app_navigation_url(std::string_view url) { return app_origin_of(url).has_value(); }

}  // namespace harvel
