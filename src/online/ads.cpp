#include "online/ads.h"

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
