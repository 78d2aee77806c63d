// The navigation rule of the web windows: only the application's own pages.
#pragma once

#include <optional>
#include <string_view>

namespace harvel {

// The application's own origin that `url` is on: "harvel://localhost" (the
// Linux host's) or "https://harvel.localhost" (the Windows host's), matched
// exactly: the scheme and host in any case, with no user and no port (on
// another port the name would reach whatever listens on loopback there).
// `rest` gets what follows the origin ("", or from its "/", "?" or "#").
// None for every other address.
std::optional<std::string_view> app_origin_of(std::string_view url, std::string_view* rest = nullptr);

// True when `url` is on the application's own origin (app_origin_of): the
// rule for where the web windows may navigate and whose messages the
// Windows host takes.
bool is_app_navigation_url(std::string_view url);

}  // namespace harvel
