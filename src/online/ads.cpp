#include "online/ads.h"

#include "core/file_io.h"
#include "core/json_strict.h"
#include "core/text.h"

namespace harvel {

std::optional<AdCard> ads_cache_card_for_placement(const std::optional<Cache>& cache, bool offers, int64_t now_ms,
                                                   std::string_view placement) {
  if (!cache || cache->hidden || !offers) return std::nullopt;
  const int64_t age = now_ms - static_cast<int64_t>(cache->fetched_at);
  if (age < 0 || age > kAdsCacheMaxAgeMs) return std::nullopt;
  // Reading the cards out of the verified payload comes with the
  // advertisement feed; until then no placement has a card.
  (void)placement;
  return std::nullopt;
}

AdsInfo build_ads_info(const std::optional<Cache>& cache, bool offers, int64_t now_ms) {
  AdsInfo info;
  info.campaign = ads_cache_card_for_placement(cache, offers, now_ms, "desktop.about");
  info.top = ads_cache_card_for_placement(cache, offers, now_ms, "desktop.top");
  info.home = ads_cache_card_for_placement(cache, offers, now_ms, "desktop.home-footer");
  info.side = ads_cache_card_for_placement(cache, offers, now_ms, "desktop.side");
  return info;
}

}  // namespace harvel

namespace harvel {

std::filesystem::path ads_cache_file_path(const std::filesystem::path& settings_path) {
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

namespace harvel {

void run_ads_poll_thread(App& app) {
  // Fetching the signed advertisement document comes with the advertisement
  // feed; until then the cache read at start is all there is.
  (void)app;
}

}  // namespace harvel
