// The application's origin as every web-view host serves it: the embedded
// files by path, with their MIME types and the content security policy, and
// a 404 for a path that is not in the table. The Linux host's origin is
// harvel://localhost, the Windows host's https://harvel.localhost (the two
// that app_origin_of admits).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace harvel {

// The MIME type served for a path, by its extension (case-insensitive);
// "application/octet-stream" for anything else.
std::string_view mime_type_for_path(std::string_view path);

// The Content-Security-Policy header of every served file; `origin` is the
// serving origin ("harvel://localhost"), allowed for connections.
std::string content_security_policy(std::string_view site_url, std::string_view origin);

// The embedded file a request address names: its decoded path ("/" and an
// empty path name "/index.html"), when the address is on one of the
// application's origins (app_origin_of); none otherwise.
std::optional<std::string> app_asset_path(std::string_view url);

struct AssetResponse {
  int status = 200;
  std::string reason;  // "OK", "Not Found"
  std::string body;
  // Content-Type first, then Content-Security-Policy.
  std::vector<std::pair<std::string, std::string>> headers;
};

// The answer to one request on the application's origin: the file with its
// type, or 404 with a short text body.
AssetResponse serve_app_asset(std::string_view url);

}  // namespace harvel
