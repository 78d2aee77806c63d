// The persisted settings record, its defaults, and the file "settings.json".
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/mode.h"

namespace harvel {

class App;

struct FastKeys {
  std::string sh = "KeyW";
  std::string ch = "KeyC";
  std::string o = "BracketLeft";
  std::string g = "BracketRight";
  bool operator==(const FastKeys&) const = default;
};

struct AppRule {
  std::string name;  // display name of the application
  std::string exe;   // executable file name, matched exactly
  Mode mode = kModeOff;  // 0 to 3, or 255 for off
  bool operator==(const AppRule&) const = default;
};

struct Settings {
  Mode mode = kModeHybrid;
  bool enabled = true;
  std::string hotkey = "Control+Shift+U";
  bool startup = false;
  std::string theme = "system";
  bool offers = true;
  std::string hybrid_key = "ralt";
  FastKeys fast_keys;
  bool onboarded = false;
  bool checker = false;
  bool checker_toast = false;
  std::vector<AppRule> apps;
  std::string site_url;
  bool operator==(const Settings&) const = default;
};

inline constexpr std::size_t kSettingsReadLimit = 1024 * 1024;
inline constexpr std::string_view kSettingsFileName = "settings.json";

std::string_view default_site_url();
FastKeys default_fast_keys();
Settings default_settings();
Settings clone_settings(const Settings& s);
FastKeys clone_fast_keys(const FastKeys& k);

// True when the hybrid row's key code equals the code of one of the four fast
// rows (indices above 9 are skipped).
bool hybrid_key_conflicts_fast_key(uint32_t hybrid_index, const std::array<uint32_t, 4>& fast_indices);
// True when the rule's exe is not byte-for-byte equal to `exe`.
bool app_rule_exe_differs(const AppRule& rule, std::string_view exe);

// Reads the settings by the loading rules; cannot fail (errors give defaults).
Settings load_settings(const std::filesystem::path& path);
// The same, telling whether a file was there that did not load (it could not
// be read, was not UTF-8 or broke a rule), so its defaults replaced it.
struct LoadedSettings {
  Settings settings;
  bool file_rejected = false;
};
LoadedSettings load_settings_file(const std::filesystem::path& path);
// Parses file text by the same rules (load_settings without the file).
Settings parse_settings_text(std::string_view text);
// None when the text breaks a rule.
std::optional<Settings> try_parse_settings_text(std::string_view text);
// The start-up corrections, in place.
void normalize_settings(Settings& s);

// The record's JSON form (the file's keys and values, also carried by the
// snapshot): as compact text written directly, and as a JSON object.
std::string settings_json_text(const Settings& s);
nlohmann::ordered_json settings_to_json(const Settings& s);

// The file form of the record: pretty JSON, 2-space indent, table key order,
// UTF-8 unescaped, no final line end.
std::string serialize_settings(const Settings& s);

// True when the record's file (serialize_settings) stays within
// kSettingsReadLimit: a start reads no more, so a longer file would load as
// the defaults. A change that makes it longer is refused.
bool settings_file_fits(const Settings& s);

// Where a settings file that did not load is kept: "settings.json.bad".
std::filesystem::path rejected_settings_path(const std::filesystem::path& path);

// Writes the text beside the file, flushed, and renames it over the file, so
// a failed or interrupted write leaves the old file whole. Creates missing
// folders. With `keep_old`, the file there is first renamed to
// rejected_settings_path (replacing an older copy), and nothing is written
// when that fails.
bool write_settings_file(const std::filesystem::path& path, std::string_view text, bool keep_old = false);

// Copies "siteUrl" under the settings lock.
std::string current_site_url(App& app);
// Writes the current settings, then republishes them to the keyboard engine
// and broadcasts the new state.
void save_settings(App& app);

}  // namespace harvel
