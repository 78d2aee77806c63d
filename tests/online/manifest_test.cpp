#include <gtest/gtest.h>

#include "online/http_client.h"
#include "online/manifest.h"
#include "online_fixture.h"

namespace harvel {
namespace {

TEST(ManifestParse, AcceptedShapes) {
  const auto empty = parse_manifest("{}");
  ASSERT_TRUE(empty);
  EXPECT_FALSE(empty->available);
  EXPECT_FALSE(empty->version || empty->size_mb || empty->kill_switch || empty->kill_signed);

  const auto full = parse_manifest(R"({"available":true,"version":"0.2.0","sizeMb":12.5,"sha256":"AB",
      "signature":"c2ln","url":"https://a.uz/i.exe","mirrorUrl":"https://b.uz/i.exe",
      "portableUrl":"https://harvel.uz/p","minVersion":"0.1.0","notes":["ignored",{"a":1,"a":2}],
      "killSwitch":{"enabled":true,"message":"m","extra":null},
      "killSigned":{"enabled":false,"message":"s","issuedAt":"i","expiresAt":"e","signature":"g"}})");
  ASSERT_TRUE(full);
  EXPECT_TRUE(full->available);
  EXPECT_EQ(full->version, "0.2.0");
  EXPECT_EQ(full->size_mb, 12.5);
  EXPECT_EQ(full->mirror_url, "https://b.uz/i.exe");
  EXPECT_EQ(full->portable_url, "https://harvel.uz/p");
  ASSERT_TRUE(full->kill_switch);
  EXPECT_TRUE(full->kill_switch->enabled);
  EXPECT_EQ(full->kill_switch->message, "m");
  ASSERT_TRUE(full->kill_signed);
  EXPECT_EQ(full->kill_signed->expires_at, "e");

  EXPECT_EQ(parse_manifest(R"({"sizeMb":12})")->size_mb, 12.0);
  EXPECT_FALSE(parse_manifest(R"({"version":null})")->version);
  EXPECT_FALSE(parse_manifest(R"({"killSwitch":null})")->kill_switch);
  EXPECT_FALSE(parse_manifest(R"({"portableUrl":"http://harvel.uz/p"})")->portable_url);
  EXPECT_FALSE(parse_manifest(R"({"killSwitch":{}})")->kill_switch->enabled);
  // The array form: fields in the record's order.
  const auto array = parse_manifest(R"([true,"0.3.0"])");
  ASSERT_TRUE(array);
  EXPECT_TRUE(array->available);
  EXPECT_EQ(array->version, "0.3.0");
}

TEST(ManifestParse, RepeatedUnknownKeysAreSkippedAtEveryLevel) {
  const auto top = parse_manifest(R"({"notes":1,"available":true,"notes":2,"version":"0.2.0","notes":{}})");
  ASSERT_TRUE(top);
  EXPECT_TRUE(top->available);
  EXPECT_EQ(top->version, "0.2.0");

  const auto nested = parse_manifest(R"({"killSwitch":{"notes":1,"enabled":true,"notes":2,"message":"m"},
      "killSigned":{"x":[],"enabled":true,"x":{"y":1,"y":2},"message":"s"}})");
  ASSERT_TRUE(nested);
  ASSERT_TRUE(nested->kill_switch);
  EXPECT_TRUE(nested->kill_switch->enabled);
  EXPECT_EQ(nested->kill_switch->message, "m");
  ASSERT_TRUE(nested->kill_signed);
  EXPECT_TRUE(nested->kill_signed->enabled);
  EXPECT_EQ(nested->kill_signed->message, "s");
}

TEST(ManifestParse, RejectedDocuments) {
  const char* rejected[] = {
      R"({"available":null})",
      R"({"available":"true"})",
      R"({"version":3})",
      R"({"sizeMb":"12"})",
      R"({"killSwitch":{"enabled":null}})",
      R"({"killSwitch":"on"})",
      R"({"killSigned":{"message":5}})",
      R"({"version":"1","version":"2"})",
      R"({"killSwitch":{"enabled":true,"enabled":false}})",
      R"({"killSigned":{"message":"a","message":"a"}})",
      R"({"notes":1,"notes":2,"sizeMb":1,"sizeMb":1,"sizeMb":1})",
      R"({"available":true} x)",
      R"({"available":true,})",
      R"("manifest")",
      R"(42)",
      R"(null)",
      "",
      R"([true,"1","2","3","4","5","6","7","8","9","10","11"])",
  };
  for (const char* text : rejected) EXPECT_FALSE(parse_manifest(text)) << text;
}

TEST(ManifestParse, NestingLimitIs127Levels) {
  const auto nested = [](int levels) {
    // The top-level object is the first level.
    std::string s = "{\"notes\":";
    for (int i = 1; i < levels; ++i) s += "[";
    for (int i = 1; i < levels; ++i) s += "]";
    return s + "}";
  };
  EXPECT_TRUE(parse_manifest(nested(127)));
  EXPECT_FALSE(parse_manifest(nested(128)));
}

TEST(FetchManifest, AddressAndFailures) {
  testing::OnlineFixture f;
  f.http.answer("https://harvel.uz/api/manifest", 200, R"({"available":false,"notes":"x"})");
  ASSERT_TRUE(fetch_manifest("https://harvel.uz"));
  EXPECT_EQ(f.http.urls().back(), "https://harvel.uz/api/manifest");

  // {"notes":"xxx...x"} of exactly the limit, then one byte more.
  const auto document = [](std::size_t size) {
    std::string text;
    text.append("{\"notes\":\"");
    text.append(size - 12, 'x');
    text.append("\"}");
    return text;
  };
  ASSERT_EQ(document(kMaxTextBody).size(), kMaxTextBody);
  f.http.answer("https://harvel.uz/api/manifest", 200, document(kMaxTextBody));
  EXPECT_TRUE(fetch_manifest("https://harvel.uz"));
  f.http.answer("https://harvel.uz/api/manifest", 200, document(kMaxTextBody + 1));
  EXPECT_FALSE(fetch_manifest("https://harvel.uz"));
  f.http.answer("https://harvel.uz/api/manifest", 503, "{}");
  EXPECT_FALSE(fetch_manifest("https://harvel.uz"));
}

}  // namespace
}  // namespace harvel
