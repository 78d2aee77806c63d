// The advertisement cache and the card view the snapshot carries.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/records.h"

namespace harvel {

// The cache record (also the file "ads-cache.json"): fetch time, the
// verified payload text, and whether the cards are hidden.
struct Cache {
  uint64_t fetched_at = 0;
  std::string body;
  bool hidden = false;
};

inline constexpr int64_t kAdsCacheMaxAgeMs = 86'400'000;

// The card of one placement at `now_ms`; none without a usable cache.
std::optional<AdCard> ads_cache_card_for_placement(const std::optional<Cache>& cache, bool offers, int64_t now_ms,
                                                   std::string_view placement);

// The four desktop cards; all null without a cache or with offers off.
AdsInfo build_ads_info(const std::optional<Cache>& cache, bool offers, int64_t now_ms);

}  // namespace harvel

namespace harvel {

inline constexpr std::size_t kAdsCacheReadLimit = 512 * 1024;

// "ads-cache.json" beside the settings file.
std::filesystem::path ads_cache_file_path(const std::filesystem::path& settings_path);
// The cache record from its file text: the three keys required, others skipped.
std::optional<Cache> parse_ads_cache(std::string_view text);
// Reads at most the first 512 KiB of the file; none when missing or invalid.
std::optional<Cache> load_ads_cache(const std::filesystem::path& path);

class App;
// The advertisement poll's thread body.
void run_ads_poll_thread(App& app);

}  // namespace harvel
