#include "checker/word_tracker.h"

#include <array>
#include <chrono>

#include "core/notice.h"
#include "core/text.h"
#include "core/unicode.h"
#include "keyboard/digraph.h"
#include "keyboard/foreground.h"
#include "keyboard/hook_flags.h"
#include "keyboard/keyboard_proc.h"

namespace harvel {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr uint32_t VK_BACK = 0x08;
constexpr uint32_t VK_TAB = 0x09;
constexpr uint32_t VK_RETURN = 0x0D;
constexpr int64_t kPostIntervalSeconds = 2;
constexpr std::size_t kMinRuleWord = 3;

bool is_ascii_letter(char32_t c) { return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z'); }
bool is_ascii_upper(char32_t c) { return c >= U'A' && c <= U'Z'; }

bool is_skip_char(char32_t c) {
  return (c >= U'0' && c <= U'9') || unicode::is_numeric(c) ||
         kCheckerSkipSymbols.find(c) != std::u32string_view::npos;
}

// Completes a rule answer with the word's terminator.
std::optional<Suggestion> complete(std::optional<Suggestion> s, std::size_t word_length, char32_t terminator,
                                   bool fixable) {
  if (!s) return s;
  s->erase = static_cast<uint64_t>(word_length) + 1;
  s->terminator = terminator;
  s->fixable = fixable;
  return s;
}

bool starts_with(std::u32string_view s, std::u32string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

}  // namespace

char32_t lowercase_char(char32_t ch) {
  const std::u32string lower = unicode::full_lower(ch);
  return lower.empty() ? ch : lower[0];
}

std::optional<char32_t> next_ascii_letter(AsciiLetterCursor& cursor) {
  while (cursor.pos < cursor.text.size()) {
    const char32_t c = cursor.text[cursor.pos++];
    if (is_ascii_letter(c)) return c;
  }
  return std::nullopt;
}

std::optional<Suggestion> suggest_new_script_word(std::u32string_view word) {
  // Shape: 3 to 48 ASCII letters and apostrophes, starting with a letter; a
  // final apostrophe only after o or g.
  if (word.size() < kMinRuleWord || word.size() > kTrackerMaxWord) return std::nullopt;
  for (char32_t c : word) {
    if (!is_ascii_letter(c) && !is_apostrophe(c)) return std::nullopt;
  }
  if (is_apostrophe(word.front())) return std::nullopt;
  if (is_apostrophe(word.back())) {
    const char32_t before = word[word.size() - 2];
    if (before != U'o' && before != U'O' && before != U'g' && before != U'G') return std::nullopt;
  }

  // Case: all capitals (at least four letters), or no capital after the first letter.
  {
    AsciiLetterCursor cursor{word};
    std::size_t letters = 0;
    bool all_upper = true;
    bool upper_after_first = false;
    while (auto c = next_ascii_letter(cursor)) {
      if (!is_ascii_upper(*c)) all_upper = false;
      if (letters > 0 && is_ascii_upper(*c)) upper_after_first = true;
      ++letters;
    }
    if (all_upper) {
      if (letters < 4) return std::nullopt;
    } else if (upper_after_first) {
      return std::nullopt;
    }
  }

  // English words and names. The word now holds ASCII letters and
  // apostrophes only, so its lower-case form is ASCII lowering; both forms
  // fit fixed buffers, and a word without a suggestion allocates nothing.
  std::array<char32_t, kTrackerMaxWord> lower_buf{};
  std::array<char32_t, kTrackerMaxWord> stripped_buf{};
  std::size_t stripped_size = 0;
  for (std::size_t i = 0; i < word.size(); ++i) {
    const char32_t l = is_ascii_upper(word[i]) ? word[i] + 0x20 : word[i];
    lower_buf[i] = l;
    if (!is_apostrophe(l)) stripped_buf[stripped_size++] = l;
  }
  const std::u32string_view lower(lower_buf.data(), word.size());
  const std::u32string_view stripped(stripped_buf.data(), stripped_size);
  if (is_english_exception(lower)) return std::nullopt;
  for (std::u32string_view w : kCheckerEnglishWords) {
    if (stripped == w) return std::nullopt;
  }
  for (std::u32string_view p : kCheckerNamePrefixes) {
    if (starts_with(stripped, p)) return std::nullopt;
  }
  for (std::u32string_view g : kCheckerEnglishGroups) {
    if (stripped.find(g) != std::u32string_view::npos) return std::nullopt;
  }
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (word[i] != U'c' && word[i] != U'C') continue;
    if (i + 1 >= word.size() || (word[i + 1] != U'h' && word[i + 1] != U'H')) return std::nullopt;
  }

  // Convert from left to right; the first character of a pair gives the case.
  std::array<char32_t, kTrackerMaxWord> converted_buf{};
  std::size_t converted_size = 0;
  auto emit = [&](char32_t c) { converted_buf[converted_size++] = c; };
  for (std::size_t i = 0; i < word.size();) {
    const char32_t v = word[i];
    if (i + 1 < word.size()) {
      const char32_t n = word[i + 1];
      const char32_t lv = lowercase_char(v);
      const bool upper = unicode::is_uppercase(v);
      char32_t out = 0;
      if (lv == U'c' && lowercase_char(n) == U'h') out = upper ? U'Ç' : U'ç';
      else if (lv == U's' && lowercase_char(n) == U'h') out = upper ? U'Ş' : U'ş';
      else if (lv == U'o' && is_apostrophe(n)) out = upper ? U'Ö' : U'ö';
      else if (lv == U'g' && is_apostrophe(n)) out = upper ? U'Ğ' : U'ğ';
      if (out != 0) {
        emit(out);
        i += 2;
        continue;
      }
    }
    emit(v);
    ++i;
  }
  const std::u32string_view converted(converted_buf.data(), converted_size);
  if (converted == word) return std::nullopt;

  std::u32string retained;
  for (char32_t c : converted) {
    if (kNewLetters.find(c) == std::u32string_view::npos) continue;
    const char32_t l = lowercase_char(c);
    if (retained.find(l) == std::u32string::npos) retained.push_back(l);
  }
  std::string letters;
  for (std::size_t i = 0; i < retained.size(); ++i) {
    if (i != 0) letters.append(", ");
    letters.append(text::encode_utf8(retained[i]));
  }

  Suggestion s;
  s.word = std::u32string(word);
  s.suggestion = std::u32string(converted);
  s.letters = std::move(letters);
  return s;
}

std::optional<Suggestion> checker_feed_char(WordTracker& t, char32_t ch) {
  if (is_word_char(ch)) {
    t.pending.reset();
    if (t.chars.empty() && t.after_dot) {
      // A token glued to a dot (a file name, an address) is not examined.
      t.skip = true;
      t.after_dot = false;
      return std::nullopt;
    }
    t.after_dot = false;
    if (t.chars.size() >= kTrackerMaxWord) {
      t.chars.clear();
      t.skip = true;
    } else if (!t.skip) {
      t.chars.push_back(ch);
    }
    return std::nullopt;
  }

  // The word is read in place and then cleared, so the buffer keeps its
  // capacity: a key that ends a word allocates only for a suggestion.
  struct ClearOnExit {
    std::u32string& chars;
    ~ClearOnExit() { chars.clear(); }
  } clear_word{t.chars};
  const std::u32string_view w = t.chars;
  std::optional<Suggestion> p = std::move(t.pending);
  t.pending.reset();

  if (unicode::is_white_space(ch)) {
    const bool skipped = t.skip;
    t.skip = false;
    t.after_dot = false;
    if (p) {
      p->fixable = false;
      return p;
    }
    if (skipped) return std::nullopt;
    // A fix is never offered after Tab, a line feed or any other control
    // character: it would have to type one as text.
    return complete(suggest_new_script_word(w), w.size(), ch, !is_control_char(ch));
  }
  if (ch == U'.') {
    t.after_dot = !w.empty();
    if (!w.empty() && !t.skip) t.pending = suggest_new_script_word(w);
    return std::nullopt;
  }
  if (is_skip_char(ch)) {
    t.after_dot = false;
    t.skip = true;
    return std::nullopt;
  }
  t.after_dot = false;
  if (t.skip) return std::nullopt;
  // A control character (Escape) ends the word but puts nothing on screen:
  // the suggestion has no terminator, nothing for a fix to erase past the
  // word, and no fix.
  if (is_control_char(ch)) return suggest_new_script_word(w);
  return complete(suggest_new_script_word(w), w.size(), ch, true);
}

void checker_reset_word(WordTracker& t) {
  t.chars.clear();
  t.skip = false;
  t.after_dot = false;
  t.pending.reset();
}

void checker_track_key(HookState& state, uint32_t vk, bool shift) {
  WordTracker& t = state.tracker;
  // A chord with Ctrl (unless the hybrid key is held as the hybrid modifier),
  // Alt or a Windows key is a shortcut, not typing; the modifiers count
  // whichever code holds them, and a hybrid key that reaches the program
  // counts as the modifier it is.
  const bool alt = alt_held(state);
  if (ctrl_held(state)) {
    if (!(state.hybrid_held && !alt)) {
      checker_reset_word(t);
      return;
    }
  } else if (alt) {
    checker_reset_word(t);
    return;
  }
  if (win_held(state)) {
    checker_reset_word(t);
    return;
  }

  char32_t ch = 0;
  if (vk == VK_BACK) {
    if (t.chars.empty()) {
      t.skip = true;
    } else {
      t.chars.pop_back();
    }
    return;
  }
  if (vk == VK_TAB || vk == VK_RETURN) {
    ch = U'\n';
  } else {
    const auto c = key_to_char(state, vk, shift);
    if (!c) {
      checker_reset_word(t);
      return;
    }
    ch = *c;
  }

  if (t.chars.empty() && is_word_char(ch)) {
    if (focused_control_is_password()) {
      t.skip = true;
      t.pending.reset();
      return;
    }
    state.word_start_gen = state.fg_generation;
  }

  std::optional<Suggestion> s = checker_feed_char(t, ch);
  if (!s) return;

  // Posting conditions.
  if (state.word_start_gen != state.fg_generation) return;
  const os::Instant now = os::platform().clock->now();
  if (state.last_post &&
      std::chrono::duration_cast<std::chrono::seconds>(now - *state.last_post).count() < kPostIntervalSeconds) {
    return;
  }
  if (focused_control_is_password()) return;
  if (is_foreground_process_more_elevated()) return;

  HookFlags& flags = hook_flags();
  state.last_post = now;
  state.fix_offer.reset();
  flags.fix_applied.store(0, kRelaxed);
  if (s->fixable) {
    FixOffer offer;
    offer.text = s->suggestion;
    if (s->terminator) offer.text.push_back(*s->terminator);
    offer.created = now;
    offer.backspaces = s->erase;
    offer.generation = state.word_start_gen;
    state.fix_offer = std::move(offer);
  }
  if (const CheckerSender* tx = flags.checker_tx.get()) {
    (void)tx->send(CheckerMessage{std::move(*s), flags.key_seq.load(kRelaxed)});
  }
}

std::string checker_suggestion_body(const Suggestion& s) {
  std::string body = s.letters;
  body.append(" bilan yozilishi kerak: ");
  body.append(text::encode_utf8(s.word));
  body.append(" \u2192 ");
  body.append(text::encode_utf8(s.suggestion));
  if (s.fixable) body.append(". Tuzatish: Ctrl+Shift+Space");
  return body;
}

void show_checker_suggestion_toast(App& app, const Suggestion& s) {
  if (hook_flags().checker_toast.load(kRelaxed) == 0) return;
  post_notice(app, "Yangi alifbo", checker_suggestion_body(s), ToastKind::Info);
}

}  // namespace harvel
