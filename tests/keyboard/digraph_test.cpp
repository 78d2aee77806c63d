#include "keyboard/digraph.h"

#include <gtest/gtest.h>

#include "core/text.h"

namespace harvel {
namespace {

struct Step {
  std::size_t index;  // position of the character that got the answer
  EngineEdit edit;
};

struct FeedCase {
  std::string name;
  std::u32string input;
  std::vector<Step> answers;  // every answer, in order
  std::u32string screen;      // the text after applying them as the keyboard procedure does
};

void PrintTo(const FeedCase& c, std::ostream* os) { *os << c.name; }

// Feeds the characters one by one, applying each answer to a screen the way
// the keyboard procedure does (erase, type, then the character itself when
// asked to, else the character goes through).
struct FeedRun {
  std::vector<Step> answers;
  std::u32string screen;
};

FeedRun feed_all(DigraphEngine& engine, std::u32string_view input) {
  FeedRun run;
  for (std::size_t i = 0; i < input.size(); ++i) {
    const auto edit = engine_feed_char(engine, input[i]);
    EXPECT_EQ(engine.chars.size(), engine.keystrokes.size()) << "after character " << i;
    if (!edit) {
      run.screen.push_back(input[i]);
      continue;
    }
    run.screen.resize(run.screen.size() - std::min<std::size_t>(edit->backspaces, run.screen.size()));
    run.screen += edit->text;
    if (edit->append_typed) run.screen.push_back(input[i]);
    run.answers.push_back({i, *edit});
  }
  return run;
}

class EngineFeed : public ::testing::TestWithParam<FeedCase> {};

TEST_P(EngineFeed, AnswersAndScreen) {
  const FeedCase& c = GetParam();
  DigraphEngine engine;
  const FeedRun run = feed_all(engine, c.input);
  ASSERT_EQ(run.answers.size(), c.answers.size());
  for (std::size_t i = 0; i < c.answers.size(); ++i) {
    EXPECT_EQ(run.answers[i].index, c.answers[i].index) << "answer " << i;
    EXPECT_EQ(text::encode_utf8(run.answers[i].edit.text), text::encode_utf8(c.answers[i].edit.text));
    EXPECT_EQ(run.answers[i].edit.backspaces, c.answers[i].edit.backspaces) << "answer " << i;
    EXPECT_EQ(run.answers[i].edit.append_typed, c.answers[i].edit.append_typed) << "answer " << i;
  }
  EXPECT_EQ(text::encode_utf8(run.screen), text::encode_utf8(c.screen));
}

EngineEdit letter(char32_t c) { return EngineEdit{std::u32string(1, c), 1, false}; }
EngineEdit restore(std::u32string typed, uint64_t n) { return EngineEdit{std::move(typed), n, true}; }

std::vector<FeedCase> feed_cases() {
  return {
        FeedCase{"sh_then_o", U"sho", {{1, letter(U'ş')}}, U"şo"},
        FeedCase{"case_follows_first_letter", U"Ch cH SH sH",
                 {{1, letter(U'Ç')}, {4, letter(U'ç')}, {7, letter(U'Ş')}, {10, letter(U'ş')}},
                 U"Ç ç Ş ş"},
        FeedCase{"all_six_apostrophes", U"o' o\u2018 o\u2019 g\u02BB g` G\u00B4",
                 {{1, letter(U'ö')}, {4, letter(U'ö')}, {7, letter(U'ö')}, {10, letter(U'ğ')},
                  {13, letter(U'ğ')}, {16, letter(U'Ğ')}},
                 U"ö ö ö ğ ğ Ğ"},
        FeedCase{"quotation_mark_is_no_apostrophe", U"o\"", {}, U"o\""},
        FeedCase{"apostrophe_only_after_o_and_g", U"s' c'", {}, U"s' c'"},
        FeedCase{"new_letter_starts_no_pair", U"\u015Fh \u00C7h", {}, U"\u015Fh \u00C7h"},
        FeedCase{"fish_restored", U"fish ", {{3, letter(U'ş')}, {4, restore(U"fish", 3)}}, U"fish "},
        FeedCase{"English_keeps_capital", U"English.",
                 {{6, letter(U'ş')}, {7, restore(U"English", 6)}}, U"English."},
        FeedCase{"upper_case_exception", U"SHOP ", {{1, letter(U'Ş')}, {4, restore(U"SHOP", 3)}}, U"SHOP "},
        FeedCase{"exception_ignores_apostrophes", U"sh\u2019e ",
                 {{1, letter(U'ş')}, {4, restore(U"sh\u2019e", 3)}}, U"sh\u2019e "},
        // KELVIN SIGN lower-cases to k, so the word is "check".
        FeedCase{"exception_in_unicode_lower_case", U"chec\u212A ",
                 {{1, letter(U'ç')}, {5, restore(U"chec\u212A", 4)}}, U"chec\u212A "},
        FeedCase{"line_feed_ends_word", U"chat\n", {{1, letter(U'ç')}, {4, restore(U"chat", 3)}}, U"chat\n"},
        FeedCase{"not_in_list_keeps_new_letters", U"shoe shahar ", {{1, letter(U'ş')}, {6, letter(U'ş')}},
                 U"şoe şahar "},
        FeedCase{"apostrophe_word_not_in_list", U"o\u2018clock ", {{1, letter(U'ö')}}, U"öclock "},
        FeedCase{"no_pair_no_answer", U"hello world ", {}, U"hello world "},
        FeedCase{"digit_ends_word", U"sh1h", {{1, letter(U'ş')}}, U"ş1h"},
        FeedCase{"cyrillic_forms_no_pair", U"\u0441\u0445 \u0441h", {}, U"\u0441\u0445 \u0441h"},
        FeedCase{"exception_word_without_pair", U"fis ", {}, U"fis "}};
}

INSTANTIATE_TEST_SUITE_P(Digraphs, EngineFeed, ::testing::ValuesIn(feed_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(Engine, WordCharacters) {
  const std::pair<char32_t, bool> cases[] = {
      {U'a', true},      {U'Z', true},      {U'0', false},     {U' ', false},      {U'\n', false},
      {U'_', false},     {U'-', false},     {U'"', false},     {U'\'', true},      {U'`', true},
      {U'\u00B4', true}, {U'\u02BB', true}, {U'\u2018', true}, {U'\u2019', true},  {U'\u00A9', false},
      {U'\u00AA', true}, {U'\u015F', true}, {U'\u0434', true}, {U'\u00D7', false}, {U'\u2014', false},
  };
  for (const auto& [c, expected] : cases) EXPECT_EQ(is_word_char(c), expected) << std::hex << uint32_t(c);
}

TEST(Engine, EnglishExceptions) {
  const std::pair<std::u32string_view, bool> cases[] = {
      {U"fish", true},          {U"FISH", true},           {U"Fi'sh", true},   {U"f\u00B4ish", true},
      {U"architecture", true},  {U"architectures", false}, {U"fishes", false}, {U"", false},
      {U"gnash", true},         {U"ghost", true},          {U"\u015Fe", false}, {U"sh", false},
  };
  for (const auto& [word, expected] : cases) {
    EXPECT_EQ(is_english_exception(word), expected) << text::encode_utf8(word);
  }
}

// The word is kept up to 256 characters; the 257th starts a new word, so a
// pair across that point is not converted, and one after it is.
TEST(Engine, WordLimit) {
  struct LimitCase {
    std::size_t letters_before;  // 'a's before "sh"
    bool converts;
  };
  for (const LimitCase c : {LimitCase{254, true}, LimitCase{255, false}, LimitCase{256, true}}) {
    DigraphEngine engine;
    for (std::size_t i = 0; i < c.letters_before; ++i) ASSERT_FALSE(engine_feed_char(engine, U'a'));
    EXPECT_FALSE(engine_feed_char(engine, U's'));
    EXPECT_EQ(engine_feed_char(engine, U'h').has_value(), c.converts) << c.letters_before;
  }

  DigraphEngine engine;
  for (int i = 0; i < 300; ++i) ASSERT_FALSE(engine_feed_char(engine, U'a'));
  EXPECT_EQ(engine.chars.size(), 300u - 256u);
  EXPECT_EQ(engine.keystrokes.size(), engine.chars.size());
}

TEST(Engine, ResetAndPop) {
  DigraphEngine engine;
  feed_all(engine, U"fash");
  ASSERT_EQ(engine.chars, U"fa\u015F");
  engine_pop(engine);
  EXPECT_EQ(engine.chars, U"fa");
  ASSERT_EQ(engine.keystrokes.size(), 2u);
  EXPECT_EQ(engine.keystrokes[1], U"a");
  // After popping the pair, a new h pairs with nothing.
  feed_all(engine, U"h");
  EXPECT_EQ(engine.chars, U"fah");
  engine_reset(engine);
  EXPECT_TRUE(engine.chars.empty());
  EXPECT_TRUE(engine.keystrokes.empty());
  engine_pop(engine);  // nothing to remove
  EXPECT_TRUE(engine.chars.empty());
  // A reset forgets the converted pair: its word end restores nothing.
  feed_all(engine, U"fis");
  engine_reset(engine);
  feed_all(engine, U"h");
  EXPECT_FALSE(engine_feed_char(engine, U' '));
}

}  // namespace
}  // namespace harvel
