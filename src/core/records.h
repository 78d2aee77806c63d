// The status records that the state snapshot carries, with their JSON forms.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace harvel {

using Json = nlohmann::ordered_json;

struct KillInfo {
  bool active = false;
  std::optional<std::string> message;  // present while active (possibly empty)
};

enum class UpdatePhase : uint8_t { Idle, Checking, Available, Downloading, Ready, Error };
enum class UpdateError : uint8_t { Network, Integrity, None };

struct UpdateInfo {
  UpdatePhase phase = UpdatePhase::Idle;
  std::optional<std::string> latest;
  std::optional<double> size_mb;
  uint32_t pct = 0;
  uint64_t checked_at = 0;
  bool outdated = false;
  bool portable = false;
  std::optional<std::string> portable_url;
  bool sig_configured = false;
  UpdateError error = UpdateError::None;
};

struct AppInfo {
  std::string exe;  // lower case
  std::string name;
  std::optional<std::string> mode;  // rule text, none without a rule
  std::optional<std::string> icon;  // PNG data URL
};

struct AdCard {
  std::string id;
  std::string title;
  std::string text;
  std::string url;
  std::string label = "Reklama";
  std::optional<std::string> theme;
  std::optional<std::string> image;
  std::optional<std::string> video;
};

struct AdsInfo {
  std::string slot = "desktop.about";
  std::optional<AdCard> campaign;  // "desktop.about"
  std::optional<AdCard> top;       // "desktop.top"
  std::optional<AdCard> home;      // "desktop.home-footer"
  std::optional<AdCard> side;      // "desktop.side"
};

struct LayoutInfo {
  bool compatible = true;
  std::string name;
  std::optional<std::string> reason;  // none when compatible
};

Json to_json(const KillInfo& v);
Json to_json(const UpdateInfo& v);
Json to_json(const AppInfo& v);
Json to_json(const AdCard& v);
Json to_json(const AdsInfo& v);
Json to_json(const LayoutInfo& v);

const char* update_phase_name(UpdatePhase phase);

}  // namespace harvel
