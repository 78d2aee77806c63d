// The navigation rule of the web windows: only the application's own pages.
#pragma once

#include <string_view>

namespace harvel {

// The hosts' origins (harvel://localhost on Linux, https://harvel.localhost
// on Windows): true for the scheme "harvel", and for "http" or "https" with
// the host exactly "harvel.localhost" (port and path are not looked at);
// false for everything else, an address without a host included.
bool is_app_navigation_url(std::string_view url);

}  // namespace harvel
