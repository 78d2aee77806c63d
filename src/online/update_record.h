// The updater's record in the shared state and its snapshot form.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "core/identity.h"
#include "core/records.h"

namespace harvel {

inline constexpr std::string_view kRunningVersion = kProductVersion;

struct InstallerFile {
  std::filesystem::path path;
  std::string sha256;  // lower case
};

struct UpdateRecord {
  std::optional<double> size_mb;
  std::optional<std::string> latest;
  std::optional<std::string> portable_url;  // kept only when it starts with "https://"
  std::optional<InstallerFile> installer;
  std::optional<std::string> cancelled_version;
  std::optional<std::string> notice_key;
  uint64_t checked_at = 0;
  uint32_t pct = 0;
  bool outdated = false;
  UpdateError error = UpdateError::None;
  UpdatePhase phase = UpdatePhase::Idle;
};

// Computes the portable flag once: false when "uninstall.exe" stands beside
// the running executable, true otherwise (and when its folder is unknown).
void init_portable_flag(const std::optional<std::filesystem::path>& executable);
// The flag; true until init_portable_flag has run.
bool portable_flag();

// The record's fields for the snapshot; "portable" and "sigConfigured" are
// filled in by the caller, outside the record's lock.
UpdateInfo update_info_fields(const UpdateRecord& r);

}  // namespace harvel
