// The word tracker and the suggestion rule: the rule as a table of words, the
// tracker as a table of typed texts, and the key entry driven through the
// real keyboard procedure with key-event scripts.

#include <gtest/gtest.h>

#include "checker/checker_channel.h"
#include "checker/word_tracker.h"
#include "core/text.h"
#include "keyboard/hook_flags.h"
#include "support/alloc_counter.h"
#include "support/key_script.h"
#include "support/test_app.h"

namespace harvel {
namespace {

std::string u8(std::u32string_view s) { return text::encode_utf8(s); }
std::u32string u32(std::string_view s) { return text::decode_utf8_lossy(s); }

// ---- the rule ----

struct RuleCase {
  std::string word;
  std::optional<std::string> suggestion;
  std::string letters;
};

TEST(SuggestionRule, Words) {
  const std::string long48 = "sh" + std::string(46, 'a');
  const std::string long49 = "sh" + std::string(47, 'a');
  const std::nullopt_t none = std::nullopt;
  const RuleCase cases[] = {
      {"shahar", "şahar", "ş"},
      {"choy", "çoy", "ç"},
      {"o‘qish", "öqiş", "ö, ş"},
      {"oʻqish", "öqiş", "ö, ş"},
      {"o'g'il", "öğil", "ö, ğ"},
      {"to‘g‘ri", "töğri", "ö, ğ"},
      {"bog‘", "boğ", "ğ"},
      {"sho", "şo", "ş"},
      {"chashma", "çaşma", "ç, ş"},
      {"Shahar", "Şahar", "ş"},
      {"SHAXS", "ŞAXS", "ş"},
      {"O‘ZBEK", "ÖZBEK", "ö"},
      {"shelter", "şelter", "ş"},
      {long48, "ş" + std::string(46, 'a'), "ş"},
      {long49, none, ""},
      {"sHo", none, ""},
      {"sHahar", none, ""},
      {"SHahar", none, ""},
      {"SHO", none, ""},
      {"SHO‘", none, ""},
      {"‘shahar", none, ""},
      {"shaha‘", none, ""},
      {"sh", none, ""},
      {"kitob", none, ""},
      {"şahar", none, ""},
      {"sha-har", none, ""},
      // English words, names and letter groups.
      {"check", none, ""},
      {"which", none, ""},
      {"school", none, ""},
      {"Shopping", none, ""},
      {"chicken", none, ""},
      {"phone", none, ""},
      {"showing", none, ""},
      {"Michaelson", none, ""},
      {"shakespearean", none, ""},
      {"chic", none, ""},
      {"shoc", none, ""},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.word);
    const auto s = suggest_new_script_word(u32(c.word));
    if (!c.suggestion) {
      EXPECT_FALSE(s) << u8(s->suggestion);
      continue;
    }
    ASSERT_TRUE(s);
    EXPECT_EQ(u8(s->word), c.word);
    EXPECT_EQ(u8(s->suggestion), *c.suggestion);
    EXPECT_EQ(s->letters, c.letters);
    EXPECT_EQ(s->erase, 0u);
    EXPECT_FALSE(s->terminator);
    EXPECT_FALSE(s->fixable);
  }
}

TEST(SuggestionRule, NamePrefixesAreLowerCaseNamesThatTheRuleWouldFlag) {
  for (std::u32string_view p : kCheckerNamePrefixes) {
    SCOPED_TRACE(u8(p));
    EXPECT_GE(p.size(), 6u);
    EXPECT_LE(p.size(), 11u);
    EXPECT_TRUE(p.find(U"sh") != p.npos || p.find(U"ch") != p.npos);
    EXPECT_FALSE(suggest_new_script_word(p));
  }
}

TEST(SuggestionRule, Helpers) {
  EXPECT_EQ(lowercase_char(U'S'), U's');
  EXPECT_EQ(lowercase_char(U'\u0130'), U'i');  // İ lowers to i + combining dot
  EXPECT_EQ(lowercase_char(U'7'), U'7');
  AsciiLetterCursor cursor{U"o‘ZÖ1b"};
  std::u32string letters;
  while (auto c = next_ascii_letter(cursor)) letters.push_back(*c);
  EXPECT_EQ(letters, U"oZb");
  EXPECT_FALSE(next_ascii_letter(cursor));
}

// ---- the tracker ----

struct Posted {
  std::string word;
  std::string suggestion;
  uint64_t erase;
  std::optional<char32_t> terminator;
  bool fixable;
  bool operator==(const Posted&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Posted& p) {
  return os << p.word << "→" << p.suggestion << " erase=" << p.erase << " term="
            << (p.terminator ? static_cast<uint32_t>(*p.terminator) : 0u) << " fix=" << p.fixable;
}

std::vector<Posted> feed(std::string_view typed) {
  WordTracker t;
  std::vector<Posted> out;
  for (char32_t c : u32(typed)) {
    if (auto s = checker_feed_char(t, c)) {
      out.push_back({u8(s->word), u8(s->suggestion), s->erase, s->terminator, s->fixable});
    }
  }
  return out;
}

TEST(WordTracker, FinishedWords) {
  const std::string run49(49, 'a');
  const std::string sh48 = "sh" + std::string(46, 'a');
  const Posted shahar_space{"shahar", "şahar", 7, U' ', true};
  struct Case {
    std::string typed;
    std::vector<Posted> expected;
  };
  const Case cases[] = {
      {"shahar ", {shahar_space}},
      {"shahar,", {{"shahar", "şahar", 7, U',', true}}},
      {"shahar!", {{"shahar", "şahar", 7, U'!', true}}},
      {"shahar\n", {{"shahar", "şahar", 7, U'\n', false}}},
      {"shahar\t", {{"shahar", "şahar", 7, U'\t', false}}},
      {"shahar\r", {{"shahar", "şahar", 7, U'\r', false}}},
      // A control character that is no white space types nothing: no terminator, no fix.
      {"shahar\x1B", {{"shahar", "şahar", 0, std::nullopt, false}}},
      {"shahar.\x1B ", {}},
      {"shahar\u00A0", {{"shahar", "şahar", 7, U'\u00A0', true}}},
      {"choy o‘qish ", {{"choy", "çoy", 5, U' ', true}, {"o‘qish", "öqiş", 7, U' ', true}}},
      // A word that ends a sentence is reported at the white space, without a fix.
      {"shahar. ", {{"shahar", "şahar", 0, std::nullopt, false}}},
      {"shahar.. ", {}},
      {"shahar.x ", {}},
      {"word.shahar ", {}},
      {"file.sh ", {}},
      // Digits and code symbols: nothing until the next white space.
      {"x:shahar ", {}},
      {"x/shahar ", {}},
      {"a1shahar ", {}},
      {"shahar2 ", {}},
      {"x:y shahar ", {shahar_space}},
      {"user@shahar ", {}},
      // Token length.
      {run49 + " shahar ", {shahar_space}},
      {"sh" + run49 + " ", {}},
      {sh48 + " ", {{sh48, "ş" + std::string(46, 'a'), 49, U' ', true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(feed(c.typed), c.expected);
  }
}

// The tracker runs inside the keyboard callback: a finished word that yields
// no suggestion (no digraph, an English word or name, a code token) must not
// allocate, whatever its length.
TEST(WordTracker, WordsWithoutSuggestionDoNotAllocate) {
  const std::u32string words[] = {U"hello", U"shopping", U"michaelson", U"check", U"o\u2018clock",
                                  U"sHahar", U"chic", std::u32string(48, U'a')};
  for (const std::u32string& w : words) {
    WordTracker t;
    for (char32_t c : w) checker_feed_char(t, c);
    long allocations = 0;
    std::optional<Suggestion> s;
    {
      testing::AllocationCounter counter;
      s = checker_feed_char(t, U' ');
      allocations = counter.count();
    }
    EXPECT_FALSE(s) << text::encode_utf8(w);
    EXPECT_EQ(allocations, 0) << text::encode_utf8(w);
  }
}

TEST(WordTracker, ResetForgetsTheWordAndThePendingSuggestion) {
  WordTracker t;
  for (char32_t c : std::u32string_view(U"shahar.")) checker_feed_char(t, c);
  ASSERT_TRUE(t.pending);
  checker_reset_word(t);
  EXPECT_FALSE(t.pending);
  EXPECT_FALSE(t.after_dot);
  for (char32_t c : std::u32string_view(U"x:")) checker_feed_char(t, c);
  EXPECT_TRUE(t.skip);
  checker_reset_word(t);
  EXPECT_FALSE(t.skip);
  EXPECT_TRUE(t.chars.empty());
}

// ---- key entry through the keyboard procedure ----

class TrackKeys : public ::testing::Test {
 protected:
  TrackKeys() {
    HookFlags& f = hook_flags();
    f.mode = kModeEnglish;
    f.checker_on = 1;
    auto [tx, rx] = make_checker_channel();
    f.checker_tx.try_set(std::move(tx));
    rx_.emplace(std::move(rx));
  }

  std::vector<CheckerMessage> messages() {
    std::vector<CheckerMessage> out;
    CheckerMessage m;
    while (rx_->recv_until(std::chrono::steady_clock::now(), m) == RecvStatus::Message) out.push_back(m);
    return out;
  }
  std::vector<std::string> words() {
    std::vector<std::string> out;
    for (const CheckerMessage& m : messages()) out.push_back(u8(m.suggestion.word));
    return out;
  }
  void elevate_all() {
    for (auto& [pid, e] : r.system().elevation) e = true;
  }

  testing::KeyScriptRunner r;
  std::optional<CheckerReceiver> rx_;
};

TEST_F(TrackKeys, PostsAFinishedWordWithTheKeyCountAndMakesTheFixOffer) {
  hook_flags().fix_applied = 1;
  r.run_lines("type \"shahar \"");
  const auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(u8(m[0].suggestion.suggestion), "şahar");
  EXPECT_EQ(m[0].suggestion.letters, "ş");
  EXPECT_EQ(m[0].suggestion.erase, 7u);
  EXPECT_EQ(m[0].suggestion.terminator, U' ');
  EXPECT_TRUE(m[0].suggestion.fixable);
  EXPECT_EQ(m[0].key_seq, 7u);  // six letters and the space
  EXPECT_EQ(hook_flags().fix_applied.load(), 0);
  ASSERT_TRUE(r.state().fix_offer);
  EXPECT_EQ(r.state().fix_offer->text, U"şahar ");
  EXPECT_EQ(r.state().fix_offer->backspaces, 7u);
  EXPECT_EQ(r.state().fix_offer->created, r.system().now());
  EXPECT_EQ(r.state().fix_offer->generation, r.state().fg_generation);
}

TEST_F(TrackKeys, EnterEndsAWordWithoutAFixOffer) {
  r.run_lines("type \"shahar\\n\"");
  const auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].suggestion.terminator, U'\n');
  EXPECT_FALSE(m[0].suggestion.fixable);
  EXPECT_FALSE(r.state().fix_offer);
}

TEST_F(TrackKeys, OnePostPerTwoWholeSeconds) {
  r.run_lines("type \"choy o'qish \"");
  EXPECT_EQ(words(), (std::vector<std::string>{"choy"}));
  r.run_lines("wait 1999\ntype \"shahar \"");
  EXPECT_TRUE(words().empty());
  r.run_lines("wait 1\ntype \"o'qish \"");
  EXPECT_EQ(words(), (std::vector<std::string>{"o'qish"}));
}

TEST_F(TrackKeys, BackspaceShortensTheWordOrSkipsTheNextToken) {
  r.run_lines("type \"shaharz\b \"");
  EXPECT_EQ(words(), (std::vector<std::string>{"shahar"}));
  r.run_lines("wait 2000\ntype \" \bshahar \"");
  EXPECT_TRUE(words().empty());
  r.run_lines("wait 2000\ntype \"shahar \"");
  EXPECT_EQ(words(), (std::vector<std::string>{"shahar"}));
}

TEST_F(TrackKeys, ChordsForgetTheWord) {
  struct Case {
    const char* mode;
    const char* chord;
    bool forgotten;
  };
  const Case cases[] = {
      {"english", "down LCONTROL\ntap H\nup LCONTROL", true},
      {"english", "down RCONTROL\ntap H\nup RCONTROL", true},
      {"english", "sysdown LMENU\nsysdown H\nsysup H\nsysup LMENU", true},
      {"english", "down LWIN\ntap H\nup LWIN", true},
      // The neutral codes of other programs' input count as well.
      {"english", "inject down CONTROL\ntap H\ninject up CONTROL", true},
      {"english", "inject down MENU\ntap H\ninject up MENU", true},
      // In English mode the hybrid key (Right Alt) reaches the program as Alt.
      {"english", "down RMENU\ntap H\nup RMENU", true},
      {"english", "down RMENU\ndown LCONTROL\ntap H\nup LCONTROL\nup RMENU", true},
      // Held as the hybrid modifier, Ctrl with it is not a shortcut: the H counts.
      {"hybrid", "down RMENU\ndown LCONTROL\ntap H\nup LCONTROL\nup RMENU", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chord);
    r.run_lines(std::string("set mode ") + c.mode + "\nwait 2000\ntype \"sha\"");
    r.run_lines(c.chord);
    r.run_lines("type \"ar \"");
    EXPECT_EQ(words().size(), c.forgotten ? 0u : 1u);
  }
}

TEST_F(TrackKeys, NothingIsPostedFromPasswordBoxesOrElevatedPrograms) {
  r.run_lines("set password on\ntype \"shahar \"\nset password off");
  EXPECT_TRUE(words().empty());
  EXPECT_FALSE(r.state().fix_offer);
  // A password box only at the end of the word.
  r.run_lines("type \"shaha\"\nset password on\ntype \"r \"\nset password off");
  EXPECT_TRUE(words().empty());
  elevate_all();
  r.run_lines("type \"shahar \"");
  EXPECT_TRUE(words().empty());
  EXPECT_FALSE(r.state().fix_offer);
  r.system().elevation.clear();  // cannot tell: treated as elevated
  r.run_lines("type \"shahar \"");
  EXPECT_TRUE(words().empty());
}

TEST_F(TrackKeys, WithUacOffEveryProgramIsAsElevatedAsThisCopy) {
  elevate_all();
  r.system().own_elevation = true;
  r.run_lines("type \"shahar \"");
  EXPECT_EQ(words(), (std::vector<std::string>{"shahar"}));
  EXPECT_TRUE(r.state().fix_offer);
}

TEST_F(TrackKeys, SwitchingProgramsDuringAWordDropsIt) {
  r.run_lines("type \"sha\"\nset app other.exe\nwait 300\ntype \"har \"");
  EXPECT_TRUE(words().empty());
  // Another window of the same program does not.
  r.run_lines("wait 2000\ntype \"sha\"\nset app other.exe\nwait 300\ntype \"har \"");
  EXPECT_EQ(words().size(), 1u);
}

TEST_F(TrackKeys, WithoutTheChannelTheFixOfferStillStands) {
  hook_flags().checker_tx.reset();
  r.run_lines("type \"shahar \"");
  ASSERT_TRUE(r.state().fix_offer);
  EXPECT_EQ(r.state().fix_offer->text, U"şahar ");
}

TEST_F(TrackKeys, LettersTypedInFastModeLengthenTheWord) {
  // W types ş itself; the word then holds a new letter and never passes the rule.
  r.run_lines("set mode fast\ntype \"wahar \"");
  EXPECT_TRUE(words().empty());
  r.run_lines("type \"shahar \"");
  EXPECT_EQ(words(), (std::vector<std::string>{"shahar"}));
}

TEST_F(TrackKeys, TheShortcutTypesTheFixOnce) {
  const char* kShortcut = "down LCONTROL\ndown LSHIFT\ndown SPACE\nup SPACE\nup LSHIFT\nup LCONTROL";
  r.run_lines("type \"shahar \"");
  r.clear_log();
  r.run_lines(kShortcut);
  EXPECT_EQ(r.log(), (std::vector<std::string>{"swallow down SPACE", "swallow up SPACE", "swallow up LCONTROL",
                                               "send up=LCONTROL bs=7 \"şahar \""}));
  EXPECT_EQ(r.text(), "şahar ");
  // After the pop-up applied the fix the shortcut's Space goes through.
  r.run_lines("wait 2000\ntype \"choy \"\nset fix-applied 1");
  r.clear_log();
  r.run_lines(kShortcut);
  EXPECT_TRUE(r.log().empty());
}

// ---- the notice ----

TEST(CheckerNotice, BodyAndToastSwitch) {
  Suggestion s{U"shahar", U"şahar", "ş", 7, U' ', true};
  EXPECT_EQ(checker_suggestion_body(s), "ş bilan yozilishi kerak: shahar → şahar. Tuzatish: Ctrl+Shift+Space");
  s.fixable = false;
  EXPECT_EQ(checker_suggestion_body(s), "ş bilan yozilishi kerak: shahar → şahar");

  testing::TestApp t;
  show_checker_suggestion_toast(t.app, s);
  EXPECT_TRUE(t.notices.empty());
  hook_flags().checker_toast = 1;
  show_checker_suggestion_toast(t.app, s);
  ASSERT_EQ(t.notices.size(), 1u);
  EXPECT_EQ(t.notices[0], (ToastData{"Yangi alifbo", "ş bilan yozilishi kerak: shahar → şahar", ToastKind::Info}));
}

}  // namespace
}  // namespace harvel
