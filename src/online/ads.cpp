#include "online/ads.h"

#include <chrono>
#include <thread>

#include "core/app.h"
#include "core/file_io.h"
#include "core/json_strict.h"
#include "core/services.h"
#include "core/state.h"
#include "core/text.h"
#include "online/http_client.h"
#include "online/signing.h"
#include "online/url_rules.h"

namespace harvel {

namespace {

using JsonValue = nlohmann::ordered_json;

const JsonValue* member(const JsonValue& obj, std::string_view key) {
  if (!obj.is_object()) return nullptr;
  const auto it = obj.find(key);
  return it == obj.end() ? nullptr : &*it;
}

bool is_control_or_separator(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

constexpr std::array<std::string_view, 6> kThemes = {"green", "blue", "dark", "amber", "violet", "rose"};
constexpr std::array<std::string_view, 7> kImageExtensions = {"webp", "png", "jpg", "jpeg", "avif", "gif", "svg"};
constexpr std::array<std::string_view, 2> kVideoExtensions = {"mp4", "webm"};

std::optional<std::string> media(const JsonValue* v, std::span<const std::string_view> extensions) {
  if (!v || !v->is_string()) return std::nullopt;
  const std::string& s = v->get_ref<const std::string&>();
  if (validate_ads_asset_path(s, extensions) || https_url_host(s)) return s;
  return std::nullopt;
}

std::optional<AdCard> parse_campaign(const JsonValue& slot, int64_t now_ms) {
  if (!slot.is_object()) return std::nullopt;
  const JsonValue* enabled = member(slot, "enabled");
  if (!enabled || !enabled->is_boolean() || !enabled->get<bool>()) return std::nullopt;
  const JsonValue* campaign = member(slot, "campaign");
  if (!campaign || !campaign->is_object()) return std::nullopt;
  const JsonValue& c = *campaign;

  AdCard card;
  auto id = trim_and_limit_text(member(c, "id"), 80);
  auto title = trim_and_limit_text(member(c, "title"), 40);
  auto body = trim_and_limit_text(member(c, "text"), 120);
  if (!id || !title || !body) return std::nullopt;
  const JsonValue* label = member(c, "label");
  if (!label || !label->is_string() || label->get_ref<const std::string&>() != "Reklama") return std::nullopt;
  const JsonValue* url = member(c, "url");
  if (!url || !url->is_string() || !https_url_host(url->get_ref<const std::string&>())) return std::nullopt;
  const OptionalTimestamp from = parse_optional_timestamp(member(c, "from"));
  const OptionalTimestamp to = parse_optional_timestamp(member(c, "to"));
  if (from.kind == TimestampKind::Invalid || to.kind == TimestampKind::Invalid) return std::nullopt;

  card.id = std::move(*id);
  card.title = std::move(*title);
  card.text = std::move(*body);
  card.url = url->get<std::string>();
  card.label = "Reklama";
  if (const JsonValue* theme = member(c, "theme"); theme && theme->is_string()) {
    const std::string& t = theme->get_ref<const std::string&>();
    if (std::find(kThemes.begin(), kThemes.end(), t) != kThemes.end()) card.theme = t;
  }
  card.image = media(member(c, "image"), kImageExtensions);
  card.video = media(member(c, "video"), kVideoExtensions);

  if (from.kind == TimestampKind::Bound && !(from.bound.millis <= now_ms)) return std::nullopt;
  if (to.kind == TimestampKind::Bound && !(now_ms < to.bound.millis)) return std::nullopt;
  return card;
}

bool same_view(const AdsInfo& a, const AdsInfo& b) { return to_json(a) == to_json(b); }

bool same_cache(const std::optional<Cache>& a, const std::optional<Cache>& b) {
  if (a.has_value() != b.has_value()) return false;
  if (!a) return true;
  return a->fetched_at == b->fetched_at && a->body == b->body && a->hidden == b->hidden;
}

}  // namespace

std::optional<std::string> trim_and_limit_text(const nlohmann::ordered_json* value, std::size_t limit) {
  if (!value || !value->is_string()) return std::nullopt;
  const auto chars = text::decode_utf8(value->get_ref<const std::string&>());
  if (!chars) return std::nullopt;
  std::size_t b = 0, e = chars->size();
  while (b < e && is_space_or_bom((*chars)[b])) ++b;
  while (e > b && is_space_or_bom((*chars)[e - 1])) --e;
  if (b == e || e - b > limit) return std::nullopt;
  const std::u32string_view kept(chars->data() + b, e - b);
  for (char32_t c : kept) {
    if (is_control_or_separator(c)) return std::nullopt;
  }
  return text::encode_utf8(kept);
}

bool validate_ads_asset_path(std::string_view text, std::span<const std::string_view> extensions) {
  constexpr std::string_view kPrefix = "/ads/";
  if (!text.starts_with(kPrefix)) return false;
  const std::string_view name = text.substr(kPrefix.size());
  if (name.empty() || name.size() > 80) return false;
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  const auto alnum = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  };
  if (!alnum(name.front())) return false;
  for (char c : name) {
    if (!alnum(c) && c != '-' && c != '.' && c != '_') return false;
  }
  const std::string_view ext = name.substr(dot + 1);
  return std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
}

const std::optional<AdCard>& AdsPayload::card(std::string_view placement) const {
  static const std::optional<AdCard> kNone;
  for (std::size_t i = 0; i < kAdPlacements.size(); ++i) {
    if (kAdPlacements[i] == placement) return cards[i];
  }
  return kNone;
}

std::optional<AdsPayload> parse_ads_payload(const nlohmann::ordered_json& payload, int64_t now_ms) {
  const JsonValue* schema = member(payload, "schema");
  if (!schema || !schema->is_number() || schema->get<double>() != 1.0) return std::nullopt;
  AdsPayload out;
  const JsonValue* enabled = member(payload, "adsEnabled");
  out.ads_enabled = enabled && enabled->is_boolean() && enabled->get<bool>();
  const JsonValue* slots = member(payload, "slots");
  if (!out.ads_enabled || !slots || !slots->is_object()) return out;
  for (std::size_t i = 0; i < kAdPlacements.size(); ++i) {
    if (const JsonValue* slot = member(*slots, kAdPlacements[i])) out.cards[i] = parse_campaign(*slot, now_ms);
  }
  return out;
}

std::optional<AdCard> ads_cache_card_for_placement(const std::optional<Cache>& cache, bool offers, int64_t now_ms,
                                                   std::string_view placement) {
  if (!cache || cache->hidden || !offers) return std::nullopt;
  // fetchedAt comes from a file and may exceed the signed range; compare
  // unsigned so that no subtraction can overflow.
  if (now_ms < 0 || cache->fetched_at > static_cast<uint64_t>(now_ms)) return std::nullopt;
  if (static_cast<uint64_t>(now_ms) - cache->fetched_at > static_cast<uint64_t>(kAdsCacheMaxAgeMs)) {
    return std::nullopt;
  }
  const auto body = parse_json_strict(cache->body);
  if (!body) return std::nullopt;
  const auto payload = parse_ads_payload(*body, now_ms);
  if (!payload) return std::nullopt;
  return payload->card(placement);
}

AdsInfo build_ads_info(const std::optional<Cache>& cache, bool offers, int64_t now_ms) {
  AdsInfo info;
  info.campaign = ads_cache_card_for_placement(cache, offers, now_ms, "desktop.about");
  info.top = ads_cache_card_for_placement(cache, offers, now_ms, "desktop.top");
  info.home = ads_cache_card_for_placement(cache, offers, now_ms, "desktop.home-footer");
  info.side = ads_cache_card_for_placement(cache, offers, now_ms, "desktop.side");
  return info;
}

std::string verified_ads_body(std::string_view document, int64_t now_ms, const std::optional<PublicKey>& key) {
  const auto root = parse_json_strict(document);
  if (!root || !root->is_object()) return "{}";
  const JsonValue* payload = member(*root, "payload");
  const JsonValue* expires = member(*root, "expiresAt");
  const JsonValue* signature = member(*root, "signature");
  if (!payload || !payload->is_string() || !expires || !expires->is_string() || !signature ||
      !signature->is_string()) {
    return "{}";
  }
  const std::string& expires_text = expires->get_ref<const std::string&>();
  const auto expires_ms = parse_rfc3339_millis(expires_text);
  if (!expires_ms || !(now_ms < *expires_ms) || *expires_ms > now_ms + kAdsMaxValidityMs) return "{}";
  const std::string& payload_text = payload->get_ref<const std::string&>();
  if (!verify_signed_message_with_key(key, ads_signed_line(expires_text, payload_text),
                                      signature->get_ref<const std::string&>())) {
    return "{}";
  }
  return payload_text;
}

int64_t ads_fetch_once(App& app, const std::optional<PublicKey>& key) {
  Ctx& ctx = app.ctx();
  const std::string site = ctx.settings.with([](const Settings& s) { return s.site_url; });
  std::string url = site;
  url.append("/api/ads-signed");
  const auto document = fetch_small_document(url);
  if (!document) return kAdsRetryMs;

  const int64_t now = static_cast<int64_t>(now_unix_millis());
  const std::string body = verified_ads_body(*document, now, key);
  std::optional<AdsPayload> payload;
  if (const auto parsed = parse_json_strict(body)) payload = parse_ads_payload(*parsed, now);

  int64_t delay = kAdsDayMs;
  std::optional<Cache> before, after;
  ctx.ads.with([&](std::optional<Cache>& cache) {
    before = cache;
    if (!payload) {
      if (cache) cache->hidden = true;
      delay = kAdsRetryMs;
    } else if (payload->ads_enabled) {
      cache = Cache{static_cast<uint64_t>(now), body, false};
    } else if (cache) {
      cache->hidden = true;
    }
    after = cache;
  });

  if (!same_cache(before, after) && after) write_ads_cache_file(ads_cache_file_path(ctx.settings_path), *after);

  const bool offers = ctx.settings.with([](const Settings& s) { return s.offers; });
  if (!same_view(build_ads_info(before, offers, now), build_ads_info(after, offers, now))) emit_state_changed(app);
  return delay;
}

AdsPollState ads_poll_start(App& app) {
  Ctx& ctx = app.ctx();
  const auto now = static_cast<int64_t>(now_unix_millis());
  const bool offers = ctx.settings.with([](const Settings& s) { return s.offers; });
  AdsPollState state;
  state.shown = ctx.ads.with([&](const std::optional<Cache>& cache) { return build_ads_info(cache, offers, now); });
  state.due = now + 30000;
  return state;
}

void ads_poll_tick(App& app, AdsPollState& state, const std::optional<PublicKey>& key) {
  Ctx& ctx = app.ctx();
  const auto now = static_cast<int64_t>(now_unix_millis());
  const bool offers = ctx.settings.with([](const Settings& s) { return s.offers; });
  // The clock went back: never wait more than a day.
  if (state.due > now + kAdsDayMs) state.due = now + kAdsDayMs;
  if (now >= state.due && offers) state.due = now + ads_fetch_once(app, key);
  const AdsInfo view =
      ctx.ads.with([&](const std::optional<Cache>& cache) { return build_ads_info(cache, offers, now); });
  if (!same_view(view, state.shown)) {
    state.shown = view;
    emit_state_changed(app);
  }
}

void run_ads_poll_thread(App& app) {
  enter_background_priority();
  AdsPollState state = ads_poll_start(app);
  const std::optional<PublicKey> key = load_trusted_public_key();
  for (;;) {
    std::this_thread::sleep_for(std::chrono::seconds(10));
    ads_poll_tick(app, state, key);
  }
}

std::string ads_cache_json(const Cache& cache) {
  nlohmann::ordered_json j;
  j["fetchedAt"] = cache.fetched_at;
  j["body"] = cache.body;
  j["hidden"] = cache.hidden;
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void write_ads_cache_file(const std::filesystem::path& path, const Cache& cache) {
  std::filesystem::path tmp = path;
  tmp.replace_extension(".json.tmp");
  (void)replace_file(path, tmp, ads_cache_json(cache));
}

}  // namespace harvel

namespace harvel {

std::filesystem::path ads_cache_file_path(const std::filesystem::path& settings_path) {
  if (settings_path.empty()) return {};  // no data folder
  return settings_path.parent_path() / "ads-cache.json";
}

std::optional<Cache> parse_ads_cache(std::string_view text) {
  const auto root = parse_json_strict(text);
  if (!root || !root->is_object()) return std::nullopt;
  const auto fetched = root->find("fetchedAt");
  const auto body = root->find("body");
  const auto hidden = root->find("hidden");
  if (fetched == root->end() || !fetched->is_number_unsigned()) return std::nullopt;
  if (body == root->end() || !body->is_string()) return std::nullopt;
  if (hidden == root->end() || !hidden->is_boolean()) return std::nullopt;
  return Cache{fetched->get<uint64_t>(), body->get<std::string>(), hidden->get<bool>()};
}

std::optional<Cache> load_ads_cache(const std::filesystem::path& path) {
  const auto text = read_file_prefix(path, kAdsCacheReadLimit);
  if (!text || !text::is_valid_utf8(*text)) return std::nullopt;
  return parse_ads_cache(*text);
}

}  // namespace harvel
