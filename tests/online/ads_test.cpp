#include <gtest/gtest.h>

#include <cstdint>

#include "online/ads.h"
#include "online/http_client.h"
#include "online/signing.h"
#include "online_fixture.h"

namespace harvel {
namespace {

using nlohmann::ordered_json;

constexpr const char* kNow = "2026-03-01T12:00:00Z";
constexpr const char* kAdsUrl = "https://harvel.uz/api/ads-signed";
int64_t at(const char* text) { return parse_rfc3339_millis(text).value(); }

ordered_json campaign() {
  return {{"id", "c1"}, {"title", "Kitoblar"}, {"text", "Yangi kitoblar"}, {"label", "Reklama"},
          {"url", "https://shop.example.uz/books?ref=harvel"}};
}

ordered_json payload_with(const ordered_json& c, const char* placement = "desktop.about") {
  return {{"schema", 1}, {"adsEnabled", true}, {"slots", {{placement, {{"enabled", true}, {"campaign", c}}}}}};
}

std::optional<AdCard> card_of(const ordered_json& c, int64_t now = at(kNow)) {
  const auto p = parse_ads_payload(payload_with(c), now);
  if (!p) return std::nullopt;
  return p->card("desktop.about");
}

TEST(AdsPayload, SchemaAndEnabled) {
  EXPECT_TRUE(parse_ads_payload(ordered_json::parse(R"({"schema":1})"), 0));
  EXPECT_TRUE(parse_ads_payload(ordered_json::parse(R"({"schema":1.0})"), 0));
  for (const char* bad : {R"({})", R"({"schema":"1"})", R"({"schema":2})", R"([1])", R"("x")"}) {
    EXPECT_FALSE(parse_ads_payload(ordered_json::parse(bad), 0)) << bad;
  }
  ordered_json p = payload_with(campaign());
  p["adsEnabled"] = "yes";
  const auto off = parse_ads_payload(p, at(kNow));
  ASSERT_TRUE(off);
  EXPECT_FALSE(off->ads_enabled);
  EXPECT_FALSE(off->card("desktop.about"));

  ordered_json slot_off = payload_with(campaign());
  slot_off["slots"]["desktop.about"]["enabled"] = 1;
  EXPECT_FALSE(parse_ads_payload(slot_off, at(kNow))->card("desktop.about"));
}

TEST(AdsPayload, RequiredFieldsDropOnlyTheirCard) {
  struct Case {
    const char* what;
    const char* key;
    ordered_json value;
    bool kept;
  };
  const std::string bom_title = "\xEF\xBB\xBF  Kitoblar\u00A0 ";
  const Case cases[] = {
      {"title of 40", "title", std::string(40, 't'), true},
      {"title of 41", "title", std::string(41, 't'), false},
      {"title of 40 Cyrillic letters", "title", [] { std::string s; for (int i = 0; i < 40; ++i) s += "\u0436"; return s; }(), true},
      {"line feed inside", "title", "Kitob\nlar", false},
      {"U+2028 inside", "text", "a\u2028b", false},
      {"only blanks", "title", " \t ", false},
      {"not a string", "title", 5, false},
      {"id of 81", "id", std::string(81, 'i'), false},
      {"text of 120", "text", std::string(120, 'x'), true},
      {"text of 121", "text", std::string(121, 'x'), false},
      {"lower-case label", "label", "reklama", false},
      {"single-label host", "url", "https://localhost/x", false},
      {"http url", "url", "http://shop.example.uz/", false},
      {"one-letter last label", "url", "https://shop.example.u/", false},
      {"digit in last label", "url", "https://shop.example.u2/", false},
      {"six-digit port", "url", "https://shop.example.uz:123456/", false},
      {"five-digit port", "url", "https://shop.example.uz:65535/x", true},
      {"bad from", "from", "yesterday", false},
      {"numeric to", "to", 5, false},
      {"null from", "from", nullptr, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ordered_json camp = campaign();
    camp[c.key] = c.value;
    EXPECT_EQ(card_of(camp).has_value(), c.kept);
  }
  ordered_json camp = campaign();
  camp["title"] = bom_title;
  ASSERT_TRUE(card_of(camp));
  EXPECT_EQ(card_of(camp)->title, "Kitoblar");

  // Another placement's broken campaign leaves this one alone.
  ordered_json p = payload_with(campaign());
  ordered_json broken = campaign();
  broken.erase("url");
  p["slots"]["desktop.top"] = {{"enabled", true}, {"campaign", broken}};
  const auto both = parse_ads_payload(p, at(kNow));
  EXPECT_TRUE(both->card("desktop.about"));
  EXPECT_FALSE(both->card("desktop.top"));
}

TEST(AdsPayload, OptionalFieldsAreDroppedAlone) {
  struct Case {
    const char* key;
    ordered_json value;
    std::optional<std::string> kept;
  };
  const Case cases[] = {
      {"theme", "violet", "violet"},
      {"theme", "Violet", std::nullopt},
      {"image", "/ads/banner.png", "/ads/banner.png"},
      {"image", "/ads/banner.PNG", std::nullopt},
      {"image", "/ads/.png", std::nullopt},
      {"image", "/ads/-banner.png", std::nullopt},
      {"image", "/ads/my banner.png", std::nullopt},
      {"image", "/ads/banner.mp4", std::nullopt},
      {"image", "/ads/sub/banner.png", std::nullopt},
      {"image", "https://cdn.other.uz/b.png", "https://cdn.other.uz/b.png"},
      {"image", "http://cdn.other.uz/b.png", std::nullopt},
      {"video", "/ads/clip.webm", "/ads/clip.webm"},
      {"video", "/ads/clip.gif", std::nullopt},
      {"video", 3, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " " + c.value.dump());
    ordered_json camp = campaign();
    camp[c.key] = c.value;
    const auto card = card_of(camp);
    ASSERT_TRUE(card);
    const std::optional<std::string>& got =
        std::string(c.key) == "theme" ? card->theme : std::string(c.key) == "image" ? card->image : card->video;
    EXPECT_EQ(got, c.kept);
  }
  EXPECT_TRUE(validate_ads_asset_path("/ads/" + std::string(76, 'a') + ".png", std::array<std::string_view, 1>{"png"}));
  EXPECT_FALSE(validate_ads_asset_path("/ads/" + std::string(77, 'a') + ".png", std::array<std::string_view, 1>{"png"}));
}

TEST(AdsPayload, TimeWindow) {
  ordered_json camp = campaign();
  camp["from"] = "2026-03-01T12:00:00Z";
  camp["to"] = "2026-03-02T00:00:00Z";
  EXPECT_FALSE(card_of(camp, at(kNow) - 1));
  EXPECT_TRUE(card_of(camp, at(kNow)));
  EXPECT_TRUE(card_of(camp, at("2026-03-01T23:59:59.999Z")));
  EXPECT_FALSE(card_of(camp, at("2026-03-02T00:00:00Z")));
}

struct AdsFeed : ::testing::Test {
  testing::OnlineFixture f;
  void SetUp() override { f.t.sys.set_unix_ms(at(kNow)); }
  std::string document(const ordered_json& payload, const std::string& expires = "2026-03-02T00:00:00Z") {
    const std::string text = payload.dump();
    return ordered_json{{"payload", text}, {"expiresAt", expires}, {"signature", f.signer.sign(ads_signed_line(expires, text))}}
        .dump();
  }
  AdsInfo info() {
    return f.t.ctx().ads.with([&](const std::optional<Cache>& c) { return build_ads_info(c, true, at(kNow)); });
  }
};

TEST_F(AdsFeed, VerifiedBodyRules) {
  const ordered_json p = payload_with(campaign());
  const int64_t now = at(kNow);
  EXPECT_EQ(verified_ads_body(document(p), now, f.key()), p.dump());
  EXPECT_EQ(verified_ads_body(document(p, "2026-04-01T12:00:00Z"), now, f.key()), p.dump());  // exactly 31 days
  EXPECT_EQ(verified_ads_body(document(p, "2026-04-01T12:00:00.001Z"), now, f.key()), "{}");
  EXPECT_EQ(verified_ads_body(document(p, kNow), now, f.key()), "{}");  // expired
  EXPECT_EQ(verified_ads_body(document(p), now, std::nullopt), "{}");
  ordered_json forged = ordered_json::parse(document(p));
  forged["payload"] = payload_with(campaign(), "desktop.top").dump();
  EXPECT_EQ(verified_ads_body(forged.dump(), now, f.key()), "{}");
  ordered_json not_string = ordered_json::parse(document(p));
  not_string["payload"] = p;
  EXPECT_EQ(verified_ads_body(not_string.dump(), now, f.key()), "{}");
  EXPECT_EQ(verified_ads_body("not json", now, f.key()), "{}");
}

// A valid payload padded so that its signed line, or else the whole
// document, has exactly `bytes` bytes.
ordered_json padded_payload(std::size_t bytes, bool whole_document) {
  ordered_json p = payload_with(campaign());
  p["pad"] = "";
  const auto size = [&] {
    const std::string text = p.dump();
    if (!whole_document) return ads_signed_line("2026-03-02T00:00:00Z", text).size();
    return ordered_json{{"payload", text}, {"expiresAt", "2026-03-02T00:00:00Z"}, {"signature", std::string(88, 's')}}
        .dump()
        .size();
  };
  p["pad"] = std::string(bytes - size(), 'x');
  return p;
}

// Lines past 64 KiB, up to the largest body a fetch takes, verify like any
// other (libgcrypt's S-expressions aborted the program from 65,533 bytes).
TEST_F(AdsFeed, LongSignedDocumentsThroughTheFetch) {
  struct Case {
    std::size_t bytes;
    bool whole_document;
  };
  for (const Case c : {Case{65535, false}, Case{65536 + 100, false}, Case{kMaxTextBody, true}}) {
    SCOPED_TRACE(c.bytes);
    const ordered_json p = padded_payload(c.bytes, c.whole_document);
    const std::string good = document(p);
    if (c.whole_document) {
      ASSERT_EQ(good.size(), c.bytes);
    } else {
      ASSERT_EQ(ads_signed_line("2026-03-02T00:00:00Z", p.dump()).size(), c.bytes);
    }
    f.http.answer(kAdsUrl, 200, good);
    EXPECT_EQ(ads_fetch_once(f.t.app, f.key()), kAdsDayMs);
    ASSERT_TRUE(info().campaign);
    EXPECT_EQ(load_ads_cache(ads_cache_file_path(f.t.ctx().settings_path))->body, p.dump());

    // The same document with one byte of the payload changed is refused.
    ordered_json forged = ordered_json::parse(good);
    std::string text = forged["payload"];
    text[text.size() - 3] = 'y';
    forged["payload"] = text;
    f.http.answer(kAdsUrl, 200, forged.dump());
    EXPECT_EQ(ads_fetch_once(f.t.app, f.key()), kAdsRetryMs);
    EXPECT_FALSE(info().campaign);
  }
}

TEST_F(AdsFeed, FetchReplacesHidesAndKeepsTheCache) {
  f.http.answer(kAdsUrl, 200, document(payload_with(campaign())));
  EXPECT_EQ(ads_fetch_once(f.t.app, f.key()), kAdsDayMs);
  ASSERT_TRUE(info().campaign);
  EXPECT_EQ(info().campaign->title, "Kitoblar");
  EXPECT_EQ(f.broadcasts(), 1);
  const auto file = ads_cache_file_path(f.t.ctx().settings_path);
  const std::string saved = testing::read_text(file);
  EXPECT_TRUE(saved.starts_with("{\"fetchedAt\":" + std::to_string(at(kNow)) + ",\"body\":\"")) << saved;
  EXPECT_TRUE(saved.ends_with(",\"hidden\":false}"));
  EXPECT_EQ(load_ads_cache(file)->body, payload_with(campaign()).dump());
  // Flushed before it replaces the old file, and the rename flushed too.
  EXPECT_EQ(f.t.sys.files.ops(), (std::vector<std::string>{"create ads-cache.json.tmp",
                                                            "rename ads-cache.json.tmp > ads-cache.json"}));

  // A network failure changes nothing.
  f.http.answer(kAdsUrl, 500, "");
  EXPECT_EQ(ads_fetch_once(f.t.app, f.key()), kAdsRetryMs);
  EXPECT_TRUE(info().campaign);

  // Disabled: hidden, body and time kept.
  ordered_json off = payload_with(campaign());
  off["adsEnabled"] = false;
  f.http.answer(kAdsUrl, 200, document(off));
  EXPECT_EQ(ads_fetch_once(f.t.app, f.key()), kAdsDayMs);
  EXPECT_FALSE(info().campaign);
  EXPECT_TRUE(load_ads_cache(file)->hidden);
  EXPECT_EQ(load_ads_cache(file)->body, payload_with(campaign()).dump());
  EXPECT_EQ(f.broadcasts(), 2);

  // Valid again, then a badly signed document hides it and retries sooner.
  f.http.answer(kAdsUrl, 200, document(payload_with(campaign())));
  ads_fetch_once(f.t.app, f.key());
  EXPECT_TRUE(info().campaign);
  f.http.answer(kAdsUrl, 200, document(payload_with(campaign()), kNow));
  EXPECT_EQ(ads_fetch_once(f.t.app, f.key()), kAdsRetryMs);
  EXPECT_FALSE(info().campaign);
}

TEST_F(AdsFeed, CacheAgeAndOffers) {
  const Cache cache{static_cast<uint64_t>(at(kNow)), payload_with(campaign()).dump(), false};
  const int64_t day = kAdsDayMs;
  EXPECT_TRUE(build_ads_info(cache, true, at(kNow) + day).campaign);
  EXPECT_FALSE(build_ads_info(cache, true, at(kNow) + day + 1).campaign);
  EXPECT_FALSE(build_ads_info(cache, true, at(kNow) - 1).campaign);
  EXPECT_FALSE(build_ads_info(cache, false, at(kNow)).campaign);
  Cache hidden = cache;
  hidden.hidden = true;
  EXPECT_FALSE(build_ads_info(hidden, true, at(kNow)).campaign);
  // A fetchedAt beyond the signed range (a damaged cache file) is in the
  // future, never a valid age.
  for (const uint64_t far : {uint64_t{1} << 63, (uint64_t{1} << 63) + static_cast<uint64_t>(at(kNow)), UINT64_MAX}) {
    Cache future = cache;
    future.fetched_at = far;
    EXPECT_FALSE(build_ads_info(future, true, at(kNow)).campaign) << far;
  }
  const AdsInfo info = build_ads_info(cache, true, at(kNow));
  EXPECT_EQ(info.slot, "desktop.about");
  EXPECT_FALSE(info.top || info.home || info.side);
}

TEST_F(AdsFeed, PollFetchesOnlyWithOffersAndShowsCampaignsAsTheyOpen) {
  ordered_json camp = campaign();
  camp["from"] = "2026-03-01T12:00:30Z";
  f.http.answer(kAdsUrl, 200, document(payload_with(camp, "desktop.home-footer")));
  Settings s = f.t.ctx().settings.copy();
  s.offers = false;
  f.t.set_settings(s);

  AdsPollState state = ads_poll_start(f.t.app);
  f.t.sys.advance(std::chrono::seconds(40));
  ads_poll_tick(f.t.app, state, f.key());
  EXPECT_TRUE(f.http.requests().empty());

  s.offers = true;
  f.t.set_settings(s);
  f.t.sys.advance(std::chrono::seconds(10));
  ads_poll_tick(f.t.app, state, f.key());
  EXPECT_EQ(f.http.requests().size(), 1u);
  EXPECT_TRUE(state.shown.home);  // the window opened at 12:00:30

  // The cache goes stale after a day without a fetch.
  f.http.answer(kAdsUrl, 503, "");
  f.t.sys.advance(std::chrono::hours(25));
  ads_poll_tick(f.t.app, state, f.key());
  EXPECT_FALSE(state.shown.home);
}

TEST_F(AdsFeed, FromInTheFutureAppearsWithoutFetch) {
  ordered_json camp = campaign();
  camp["from"] = "2026-03-01T13:00:00Z";
  f.http.answer(kAdsUrl, 200, document(payload_with(camp)));
  ads_fetch_once(f.t.app, f.key());
  AdsPollState state = ads_poll_start(f.t.app);
  state.due = at(kNow) + kAdsDayMs;
  EXPECT_FALSE(state.shown.campaign);
  f.http.clear_requests();
  f.t.sys.set_unix_ms(at("2026-03-01T13:00:05Z"));
  const int before = f.broadcasts();
  ads_poll_tick(f.t.app, state, f.key());
  EXPECT_TRUE(state.shown.campaign);
  EXPECT_EQ(f.broadcasts(), before + 1);
  EXPECT_TRUE(f.http.requests().empty());
}

}  // namespace
}  // namespace harvel
