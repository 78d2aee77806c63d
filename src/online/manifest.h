// The update manifest on the maker's site: its typed record and its fetch.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace harvel {

struct KillSwitch {
  bool enabled = false;
  std::optional<std::string> message;
};

struct KillSigned {
  bool enabled = false;
  std::optional<std::string> message;
  std::optional<std::string> issued_at;
  std::optional<std::string> expires_at;
  std::optional<std::string> signature;
};

struct Manifest {
  bool available = false;
  std::optional<std::string> version;
  std::optional<double> size_mb;
  std::optional<std::string> sha256;
  std::optional<std::string> signature;
  std::optional<std::string> url;
  std::optional<std::string> mirror_url;
  std::optional<std::string> portable_url;  // kept only when it starts with "https://"
  std::optional<std::string> min_version;
  std::optional<KillSwitch> kill_switch;
  std::optional<KillSigned> kill_signed;
};

// The manifest from its text; none on malformed JSON, a known key of the
// wrong type or given twice, or nesting 128 levels deep. Unknown keys are
// skipped, even when repeated.
std::optional<Manifest> parse_manifest(std::string_view text);

// GET site base URL + "/api/manifest" (10 s, at most 262144 bytes), parsed.
std::optional<Manifest> fetch_manifest(std::string_view site_url);

}  // namespace harvel
