#include <gtest/gtest.h>

#include "core/json_text.h"
#include "core/settings.h"

namespace harvel {
namespace {

using Json = nlohmann::ordered_json;

// The direct writer must write what the JSON library writes, so the
// snapshot reads the same whichever way it was made.
TEST(JsonText, StringsAreEscapedAsTheJsonLibraryDoes) {
  const std::string cases[] = {
      "plain", "", "quote \" and back\\slash", "line\nfeed\ttab\rret\bbs\ffeed",
      std::string("nul\0byte", 8), "\x01\x1f\x7f", "O\u2018zbek \u015Fahar \U0001F600", "</script>",
  };
  for (const std::string& c : cases) {
    std::string out;
    append_json_string(out, c);
    EXPECT_EQ(out, Json(c).dump()) << c;
    EXPECT_EQ(Json::parse(out).get<std::string>(), c);
  }
  std::string bad;
  append_json_string(bad, "a\xff" "b");  // not UTF-8: replaced, still valid JSON
  EXPECT_EQ(Json::parse(bad).get<std::string>(), "a\uFFFD" "b");
}

TEST(JsonText, SettingsTextIsTheirJsonForm) {
  Settings s = default_settings();
  EXPECT_EQ(settings_json_text(s), settings_to_json(s).dump());
  s.mode = 200;  // not a mode: written as english, as in the file
  s.apps = {{"Ko\u2018rsat \"kich\"", "a\\b.exe", kModeOff}, {"B", "b.exe", kModeZero}};
  s.hotkey = "Control+Shift+\n";
  const Json j = Json::parse(settings_json_text(s));
  EXPECT_EQ(j["mode"], "english");
  EXPECT_EQ(j["apps"][0]["name"], "Ko\u2018rsat \"kich\"");
  EXPECT_EQ(j["apps"][0]["exe"], "a\\b.exe");
  EXPECT_EQ(j["apps"][0]["mode"], "off");
  EXPECT_EQ(j["apps"][1]["mode"], "zero");
  EXPECT_EQ(j["hotkey"], "Control+Shift+\n");
  EXPECT_EQ(parse_settings_text(serialize_settings(s)).apps, s.apps);
}

}  // namespace
}  // namespace harvel
