#include "core/records.h"

namespace harvel {

namespace {

template <typename T>
Json or_null(const std::optional<T>& v) {
  return v ? Json(*v) : Json(nullptr);
}

Json card_or_null(const std::optional<AdCard>& card) { return card ? to_json(*card) : Json(nullptr); }

}  // namespace

const char* update_phase_name(UpdatePhase phase) {
  switch (phase) {
    case UpdatePhase::Idle: return "idle";
    case UpdatePhase::Checking: return "checking";
    case UpdatePhase::Available: return "available";
    case UpdatePhase::Downloading: return "downloading";
    case UpdatePhase::Ready: return "ready";
    case UpdatePhase::Error: return "error";
  }
  return "idle";
}

Json to_json(const KillInfo& v) {
  Json j = Json::object();
  j["active"] = v.active;
  j["message"] = or_null(v.message);
  return j;
}

Json to_json(const UpdateInfo& v) {
  Json j = Json::object();
  j["phase"] = update_phase_name(v.phase);
  j["latest"] = or_null(v.latest);
  j["sizeMb"] = or_null(v.size_mb);
  j["pct"] = v.pct;
  j["checkedAt"] = v.checked_at;
  j["outdated"] = v.outdated;
  j["portable"] = v.portable;
  j["portableUrl"] = or_null(v.portable_url);
  j["sigConfigured"] = v.sig_configured;
  switch (v.error) {
    case UpdateError::Network: j["error"] = "network"; break;
    case UpdateError::Integrity: j["error"] = "integrity"; break;
    case UpdateError::None: j["error"] = nullptr; break;
  }
  return j;
}

Json to_json(const AppInfo& v) {
  Json j = Json::object();
  j["exe"] = v.exe;
  j["name"] = v.name;
  j["mode"] = or_null(v.mode);
  if (v.icon) j["icon"] = *v.icon;
  return j;
}

Json to_json(const AdCard& v) {
  Json j = Json::object();
  j["id"] = v.id;
  j["title"] = v.title;
  j["text"] = v.text;
  j["url"] = v.url;
  j["label"] = v.label;
  if (v.theme) j["theme"] = *v.theme;
  if (v.image) j["image"] = *v.image;
  if (v.video) j["video"] = *v.video;
  return j;
}

Json to_json(const AdsInfo& v) {
  Json j = Json::object();
  j["slot"] = v.slot;
  j["campaign"] = card_or_null(v.campaign);
  j["top"] = card_or_null(v.top);
  j["home"] = card_or_null(v.home);
  j["side"] = card_or_null(v.side);
  return j;
}

Json to_json(const LayoutInfo& v) {
  Json j = Json::object();
  j["compatible"] = v.compatible;
  j["name"] = v.name;
  j["reason"] = or_null(v.reason);
  return j;
}

}  // namespace harvel
