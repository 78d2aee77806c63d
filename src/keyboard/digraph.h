// The zero-mode digraph engine: turns the old digraphs sh, ch, o‘ and g‘ into
// ş, ç, ö and ğ as their second character is typed, and restores a finished
// word exactly as typed when it is one of a fixed list of English words.
// A pure state machine over characters; it does no input or output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace harvel {

// The longest word the engine keeps; the next word character starts afresh.
inline constexpr std::size_t kEngineMaxWord = 256;

struct DigraphEngine {
  DigraphEngine();

  // The current word as it stands on screen (a converted pair is one entry).
  std::u32string chars;
  // What the user typed for each entry of `chars` (two characters for a
  // converted pair, one otherwise). Always as long as `chars`.
  std::vector<std::u32string> keystrokes;
};

// One step's answer: erase `backspaces` characters, then type `text`, then,
// when `append_typed` is set, the character just fed (its key is swallowed).
struct EngineEdit {
  std::u32string text;
  uint64_t backspaces = 0;
  bool append_typed = false;
  bool operator==(const EngineEdit&) const = default;
};

// The six apostrophe characters, and the same as one UTF-8 text.
inline constexpr std::u32string_view kApostrophes = U"\u0027\u2018\u2019\u02BB\u0060\u00B4";
inline constexpr std::string_view kApostrophesUtf8 = "\u0027\u2018\u2019\u02BB\u0060\u00B4";

bool is_apostrophe(char32_t c);

// An ASCII letter, an Alphabetic character above U+00A9, or an apostrophe.
bool is_word_char(char32_t c);

// A control character (general category Cc): what keys such as Escape give,
// which programs take as keys, never as text.
constexpr bool is_control_char(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// The word, lower-cased and without apostrophes, is one of the English words
// whose digraphs must stay as typed.
bool is_english_exception(std::u32string_view word);

// One step for the character `c`. An answer means: edit as it says and
// swallow the key; none means the key goes through unchanged.
std::optional<EngineEdit> engine_feed_char(DigraphEngine& engine, char32_t c);

void engine_reset(DigraphEngine& engine);

// Removes the last entry (Backspace in zero mode); nothing when empty.
void engine_pop(DigraphEngine& engine);

}  // namespace harvel
