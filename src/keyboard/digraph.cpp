#include "keyboard/digraph.h"

#include <algorithm>
#include <array>

#include "core/unicode.h"

namespace harvel {

namespace {

// Lower-case English words that keep their digraphs (all ASCII).
constexpr std::array<std::string_view, 74> kEnglishExceptions{
    "should",  "show",      "shows",      "shown",     "shop",         "shops",     "shot",
    "ship",    "shall",     "shell",      "she",       "sheet",        "shut",      "shy",
    "shift",   "share",     "sharp",      "check",     "checks",       "chat",      "chart",
    "change",  "changes",   "channel",    "charge",    "chance",       "chair",     "cheap",
    "cheese",  "chief",     "child",      "children",  "choose",       "chose",     "church",
    "chip",    "chips",     "chrome",     "much",      "such",         "each",      "which",
    "rich",    "teach",     "reach",      "research",  "search",       "touch",     "push",
    "wash",    "fish",      "dish",       "wish",      "english",      "finish",    "publish",
    "cash",    "crash",     "flash",      "fresh",     "brush",        "machine",   "technology",
    "school",  "echo",      "anchor",     "architecture", "chaos",     "character", "chemistry",
    "orchestra", "ghost",   "bash",       "gnash",
};

constexpr std::size_t longest_exception() {
  std::size_t n = 0;
  for (auto w : kEnglishExceptions) n = w.size() > n ? w.size() : n;
  return n;
}
constexpr std::size_t kLongestException = longest_exception();

}  // namespace

bool is_apostrophe(char32_t c) { return kApostrophes.find(c) != std::u32string_view::npos; }

namespace {

// The first character of the full lower-case mapping (ASCII without a lookup).
char32_t first_lower(char32_t c) {
  if (c < 0x80) return (c >= U'A' && c <= U'Z') ? c + 0x20 : c;
  const std::u32string lower = unicode::full_lower(c);  // at most 3 units: no allocation
  return lower.empty() ? c : lower[0];
}

bool is_upper_letter(char32_t c) {
  if (c < 0x80) return c >= U'A' && c <= U'Z';
  return unicode::is_uppercase(c);
}

struct PairRule {
  char32_t first;   // lower-case first character
  char32_t second;  // lower-case second character; 0 means any apostrophe
  char32_t lower;
  char32_t upper;
};

constexpr std::array<PairRule, 4> kPairRules{{
    {U'c', U'h', U'\u00E7', U'\u00C7'},  // ç Ç
    {U'g', 0, U'\u011F', U'\u011E'},     // ğ Ğ
    {U'o', 0, U'\u00F6', U'\u00D6'},     // ö Ö
    {U's', U'h', U'\u015F', U'\u015E'},  // ş Ş
}};

// Lower-cases and strips apostrophes from the characters that `produce` hands
// to its callback, into a small buffer (every list word is short ASCII, so a
// longer word is rejected early), then looks the result up. No allocation.
template <typename Producer>
bool exception_matches(Producer&& produce) {
  std::array<char32_t, kLongestException> buf{};
  std::size_t n = 0;
  bool too_long = false;
  auto push = [&](char32_t l) {
    if (n == buf.size()) {
      too_long = true;
      return false;
    }
    buf[n++] = l;
    return true;
  };
  produce([&](char32_t c) {
    if (c < 0x80) {
      if (c == U'\'' || c == U'`') return true;
      return push((c >= U'A' && c <= U'Z') ? c + 0x20 : c);
    }
    if (is_apostrophe(c)) return true;
    for (char32_t l : unicode::full_lower(c)) {
      if (!is_apostrophe(l) && !push(l)) return false;
    }
    return true;
  });
  if (too_long) return false;
  for (std::string_view w : kEnglishExceptions) {
    if (w.size() != n) continue;
    bool same = true;
    for (std::size_t i = 0; i < n && same; ++i) same = buf[i] == static_cast<unsigned char>(w[i]);
    if (same) return true;
  }
  return false;
}

}  // namespace

DigraphEngine::DigraphEngine() {
  // Room for the longest word, so feeding characters never allocates.
  chars.reserve(kEngineMaxWord + 1);
  keystrokes.reserve(kEngineMaxWord + 1);
}

bool is_word_char(char32_t c) {
  if ((c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z')) return true;
  if (is_apostrophe(c)) return true;
  return c > 0xA9 && unicode::is_alphabetic(c);
}

bool is_english_exception(std::u32string_view word) {
  return exception_matches([&](auto&& add) {
    for (char32_t c : word) {
      if (!add(c)) return;
    }
  });
}

void engine_reset(DigraphEngine& engine) {
  engine.chars.clear();
  engine.keystrokes.clear();  // keeps the capacity
}

void engine_pop(DigraphEngine& engine) {
  if (engine.chars.empty()) return;
  engine.chars.pop_back();
  engine.keystrokes.pop_back();
}

std::optional<EngineEdit> engine_feed_char(DigraphEngine& engine, char32_t c) {
  if (is_word_char(c)) {
    if (engine.chars.size() >= kEngineMaxWord) engine_reset(engine);
    if (!engine.chars.empty()) {
      const char32_t b = engine.chars.back();
      const char32_t lb = first_lower(b);
      const char32_t lc = first_lower(c);
      const bool apostrophe = is_apostrophe(c);
      for (const PairRule& rule : kPairRules) {
        if (lb != rule.first) continue;
        if (rule.second == 0 ? !apostrophe : lc != rule.second) continue;
        const char32_t letter = is_upper_letter(b) ? rule.upper : rule.lower;
        engine.chars.back() = letter;
        engine.keystrokes.back().push_back(c);
        return EngineEdit{std::u32string(1, letter), 1, false};
      }
    }
    engine.chars.push_back(c);
    engine.keystrokes.emplace_back(1, c);
    return std::nullopt;
  }

  // The word has ended. It differs from what was typed exactly when one of
  // its entries holds a converted pair.
  const auto& keys = engine.keystrokes;
  const bool converted =
      std::any_of(keys.begin(), keys.end(), [](const std::u32string& k) { return k.size() != 1; });
  std::optional<EngineEdit> edit;
  const auto typed = [&](auto&& add) {
    for (const std::u32string& k : keys) {
      for (char32_t c : k) {
        if (!add(c)) return;
      }
    }
  };
  if (converted && exception_matches(typed)) {
    EngineEdit e{{}, engine.chars.size(), true};
    e.text.reserve(engine.chars.size() * 2);
    for (const std::u32string& k : keys) e.text += k;
    edit = std::move(e);
  }
  engine_reset(engine);
  return edit;
}

}  // namespace harvel
