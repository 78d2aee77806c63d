#include "core/json_strict.h"

#include <gtest/gtest.h>

#include <string>

namespace harvel {
namespace {

using Json = nlohmann::ordered_json;

std::string nested_arrays(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(JsonStrict, AcceptsOneValueWithSurroundingWhiteSpace) {
  const struct {
    std::string text;
    Json expected;
  } cases[] = {
      {" \t\r\n{\"a\": [1, -2.5, {\"b\": null}]} \t\r\n", Json::parse(R"({"a":[1,-2.5,{"b":null}]})")},
      {"true", Json(true)},
      {"\"Ko\xE2\x80\x98rsatkich\"", Json("Ko\xE2\x80\x98rsatkich")},
      {"\"a\\u0000b\"", Json(std::string("a\0b", 3))},  // an escaped NUL is fine
      {"\"\\uD83D\\uDE00\"", Json("\xF0\x9F\x98\x80")},   // a surrogate pair
      {"[]", Json::array()},
      {"18446744073709551615", Json(18446744073709551615ULL)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto value = parse_json_strict(c.text);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, c.expected);
  }
}

TEST(JsonStrict, RejectsAnythingButExactlyOneValue) {
  using namespace std::string_literals;
  const std::string cases[] = {
      ""s,
      "  \n"s,
      "{} {}"s,
      "{}x"s,
      "{}\0junk"s,        // the lexer alone would stop at the NUL
      "\xEF\xBB\xBF{}"s,  // a byte order mark is not white space
      "{}\f"s,            // form feed is not JSON white space
      "// note\n{}"s,
      "{} /* note */"s,
      "[1,]"s,
      "{\"a\":1,}"s,
      "{'a':1}"s,
      "01"s,
      "NaN"s,
      "1e400"s,
      "\"tab\there\""s,
      "\"cut"s,
      "{\"a\":1"s,
  };
  for (const auto& text : cases) {
    SCOPED_TRACE(testing::PrintToString(text));
    std::string error;
    EXPECT_FALSE(parse_json_strict(text, {}, &error).has_value());
    EXPECT_FALSE(error.empty());
  }
}

TEST(JsonStrict, RejectsInvalidUtf8InStrings) {
  const std::string cases[] = {
      "\"\xC3\x28\"",          // bad continuation byte
      "\"\xC0\xAF\"",          // overlong encoding of '/'
      "\"\xED\xA0\x80\"",      // an encoded surrogate
      "\"\xF4\x90\x80\x80\"",  // above U+10FFFF
      "\"\xE2\x80\"",          // cut sequence
      "\"\\uD800\"",           // lone surrogate escape
      "\"\\uDC00\\uD800\"",    // pair in the wrong order
  };
  for (const auto& text : cases) {
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_FALSE(parse_json_strict(text).has_value());
  }
}

TEST(JsonStrict, KeepsKeyOrder) {
  const auto value = parse_json_strict(R"({"z":1,"a":{"y":2,"b":3},"m":4})");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->dump(), R"({"z":1,"a":{"y":2,"b":3},"m":4})");
}

TEST(JsonStrict, LimitsNestingDepth) {
  EXPECT_TRUE(parse_json_strict(nested_arrays(128)).has_value());
  EXPECT_FALSE(parse_json_strict(nested_arrays(129)).has_value());

  // Objects and arrays count alike; the limit is configurable.
  const std::string three = R"({"a":[{"b":1}]})";
  EXPECT_TRUE(parse_json_strict(three, {.max_depth = 3}).has_value());
  std::string error;
  EXPECT_FALSE(parse_json_strict(three, {.max_depth = 2}, &error).has_value());
  EXPECT_NE(error.find("deeper"), std::string::npos) << error;

  // Far too deep, and cut: an error, not a crash.
  EXPECT_FALSE(parse_json_strict(std::string(1'000'000, '[')).has_value());
  EXPECT_FALSE(parse_json_strict(nested_arrays(200'000)).has_value());
}

TEST(JsonStrict, RepeatedKeyIsAnErrorByDefault) {
  const std::string cases[] = {
      R"({"a":1,"a":1})",
      R"({"x":[{"k":1,"j":2,"k":3}]})",
      R"({"":1,"":2})",
  };
  for (const auto& text : cases) {
    SCOPED_TRACE(text);
    std::string error;
    EXPECT_FALSE(parse_json_strict(text, {}, &error).has_value());
    EXPECT_NE(error.find("repeated key"), std::string::npos) << error;
  }
  // Keys that only look alike are different keys.
  EXPECT_TRUE(parse_json_strict(R"({"a":1,"A":2,"a ":3,"\u0061b":4,"a\u0000":5})").has_value());
}

TEST(JsonStrict, RepeatedKeyFarApartInALargeObject) {
  std::string text = "{";
  for (int i = 0; i < 50'000; ++i) text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  const std::string unique = text + "\"last\":0}";
  const std::string repeated = text + "\"k7\":0}";

  const auto value = parse_json_strict(unique);
  ASSERT_TRUE(value.has_value());
  ASSERT_EQ(value->size(), 50'001u);
  EXPECT_EQ(value->begin().key(), "k0");
  EXPECT_EQ((*value)["k49999"], 49'999);
  EXPECT_FALSE(parse_json_strict(repeated).has_value());
}

TEST(JsonStrict, MarkObjectReplacesOnlyTheObjectWithTheRepeat) {
  const StrictJsonOptions mark{.duplicates = DuplicateKeys::MarkObject};
  const auto value = parse_json_strict(
      R"({"x":{"k":1,"k":2},"list":[{"a":1},{"a":1,"b":2,"a":3},{"outer":{"k":1,"k":1}}],"y":true})", mark);
  ASSERT_TRUE(value.has_value());
  ASSERT_TRUE(value->is_object());
  EXPECT_TRUE((*value)["x"].is_discarded());
  const Json& list = (*value)["list"];
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], Json::parse(R"({"a":1})"));
  EXPECT_TRUE(list[1].is_discarded());
  // Only the innermost object holding the repeat is marked.
  ASSERT_TRUE(list[2].is_object());
  EXPECT_TRUE(list[2]["outer"].is_discarded());
  EXPECT_EQ((*value)["y"], true);

  const auto top = parse_json_strict(R"({"a":1,"b":{},"a":2})", mark);
  ASSERT_TRUE(top.has_value());
  EXPECT_TRUE(top->is_discarded());

  // Every other error still fails the whole parse.
  EXPECT_FALSE(parse_json_strict(R"({"a":{"k":1,"k":2}} x)", mark).has_value());
}

TEST(JsonStrict, MarkValueDiscardsOnlyTheRepeatedKeysValue) {
  const StrictJsonOptions mark{.duplicates = DuplicateKeys::MarkValue};
  const auto value = parse_json_strict(R"({"a":1,"b":{"k":[],"k":{},"k":3},"a":2,"c":"x","a":[1]})", mark);
  ASSERT_TRUE(value.has_value());
  ASSERT_TRUE(value->is_object());
  // Each key once, at its first place.
  std::vector<std::string> keys;
  for (const auto& [k, v] : value->items()) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE((*value)["a"].is_discarded());
  ASSERT_EQ((*value)["b"].size(), 1u);
  EXPECT_TRUE((*value)["b"]["k"].is_discarded());
  EXPECT_EQ((*value)["c"], "x");
  EXPECT_FALSE(parse_json_strict(R"({"a":1,"a":2} x)", mark).has_value());
}

}  // namespace
}  // namespace harvel
