// The advertisement cache and the card view the snapshot carries.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "core/records.h"
#include "online/crypto.h"

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

// The cache record as compact JSON, keys in the record's order.
std::string ads_cache_json(const Cache& cache);
// Writes the cache through a flushed ".json.tmp" file renamed over the target,
// creating the folder first; every error is ignored.
void write_ads_cache_file(const std::filesystem::path& path, const Cache& cache);

// The placement ids, in the order the payload is read.
inline constexpr std::array<std::string_view, 10> kAdPlacements = {
    "web.download", "web.guide", "desktop.about", "desktop.home-footer", "web.alphabet",
    "web.home",     "web.top",   "desktop.top",   "web.side",            "desktop.side"};

struct AdsPayload {
  bool ads_enabled = false;
  std::array<std::optional<AdCard>, kAdPlacements.size()> cards;  // by kAdPlacements index
  const std::optional<AdCard>& card(std::string_view placement) const;
};

// Validates a payload at `now_ms`; none when it is not an object whose
// "schema" is the number 1.
std::optional<AdsPayload> parse_ads_payload(const nlohmann::ordered_json& payload, int64_t now_ms);

// A JSON string trimmed of the online white-space set, non-empty, free of
// control and line-separator characters and at most `limit` characters.
std::optional<std::string> trim_and_limit_text(const nlohmann::ordered_json* value, std::size_t limit);
// "/ads/" + a name of at most 80 bytes ([A-Za-z0-9][A-Za-z0-9._-]*) ending in one of `extensions`.
bool validate_ads_asset_path(std::string_view text, std::span<const std::string_view> extensions);

inline constexpr int64_t kAdsMaxValidityMs = 2'678'400'000;
inline constexpr int64_t kAdsRetryMs = 1'800'000;
inline constexpr int64_t kAdsDayMs = 86'400'000;

// The body a fetched advertisement document yields: its payload text when
// the document is well-formed, in its window at `now_ms` and signed by
// `key`; "{}" otherwise.
std::string verified_ads_body(std::string_view document, int64_t now_ms, const std::optional<PublicKey>& key);

class App;
// One fetch of the signed document: updates the cache (and its file) and
// broadcasts when the cards change. Returns the delay before the next fetch.
int64_t ads_fetch_once(App& app, const std::optional<PublicKey>& key);
// The poll's schedule and the view it last showed.
struct AdsPollState {
  int64_t due = 0;
  AdsInfo shown;
};
// The state at start: the current view, the first fetch 30 s away.
AdsPollState ads_poll_start(App& app);
// One 10-second tick: fetches when due and offers are on, and broadcasts
// when the view has changed (a campaign's window opening or closing, the
// cache ageing out).
void ads_poll_tick(App& app, AdsPollState& state, const std::optional<PublicKey>& key);
// The advertisement poll's thread body.
void run_ads_poll_thread(App& app);

}  // namespace harvel
