// The realtime checker's word tracker: rebuilds the word being typed from the
// keys the keyboard procedure lets through, decides when a word is finished,
// and applies the suggestion rule (a word still written with sh, ch, o‘ or g‘
// yields the same word in ş, ç, ö, ğ). A suggestion is posted to the overlay
// thread; a fixable one also leaves a one-shot fix offer for Ctrl+Shift+Space.
//
// Everything here except the notice runs on the hook thread inside the
// keyboard callback: no lock of the shared state, no waiting.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os.h"

namespace harvel {

class App;
struct HookState;

// The longest word the tracker keeps; a longer token is never examined.
inline constexpr std::size_t kTrackerMaxWord = 48;

struct Suggestion {
  std::u32string word;        // the finished word exactly as typed
  std::u32string suggestion;  // the word in the new letters
  std::string letters;        // the new letters used, lower case, first use first, ", " between (UTF-8)
  uint64_t erase = 0;         // characters a fix erases: the word plus its terminator; 0 without one
  std::optional<char32_t> terminator;
  bool fixable = false;
  bool operator==(const Suggestion&) const = default;
};

// The channel item from the hook thread to the overlay thread.
struct CheckerMessage {
  Suggestion suggestion;
  uint32_t key_seq = 0;  // KEY_SEQ when the message was posted
};

struct WordTracker {
  WordTracker() { chars.reserve(kTrackerMaxWord); }
  std::u32string chars;               // the current word, at most 48 characters
  std::optional<Suggestion> pending;  // of a word ended by ".", waiting for the next character
  bool skip = false;                  // the current token is not examined
  bool after_dot = false;             // the last character was a "." that ended a word
};

// A fix the shortcut Ctrl+Shift+Space may type: erase `backspaces`
// characters, then type `text`.
struct FixOffer {
  std::u32string text;  // the suggestion, followed by the word's terminator when it has one
  os::Instant created{};
  uint64_t backspaces = 0;
  uint32_t generation = 0;  // the foreground generation when the word started
  bool operator==(const FixOffer&) const = default;
};

// The English words, name prefixes and letter groups that the rule leaves alone.
inline constexpr std::u32string_view kCheckerEnglishWords[] = {
    U"shopping", U"checking", U"chocolate", U"champion", U"champions", U"chicken", U"church",
    U"chess",    U"chip",     U"machines",  U"schools",  U"sheep",     U"shirt",
};
inline constexpr std::u32string_view kCheckerNamePrefixes[] = {
    U"michael",    U"richard",  U"charles",     U"charlotte", U"rachel",    U"shanghai",  U"manchester",
    U"marshall",   U"shakespeare", U"sheffield", U"churchill", U"mitchell", U"ashley",    U"chevrolet",
};
inline constexpr std::u32string_view kCheckerEnglishGroups[] = {U"ph", U"th", U"ck", U"sch", U"wh", U"w"};
// Characters that mark a token as code, a path or an address.
inline constexpr std::u32string_view kCheckerSkipSymbols = U"/\\@_:#=&%~<>$|^*+[]{}()";
inline constexpr std::u32string_view kNewLetters = U"şŞçÇöÖğĞ";

// One key-down the keyboard procedure let through unconverted (while the
// checker is on): tracks the word and posts a finished word's suggestion.
void checker_track_key(HookState& state, uint32_t vk, bool shift);
// One tracker step; a finished word's suggestion, or none.
std::optional<Suggestion> checker_feed_char(WordTracker& tracker, char32_t ch);
// Forgets the current word; the fix offer is kept.
void checker_reset_word(WordTracker& tracker);

// The rule for one finished word: none, or a suggestion without terminator
// (erase 0, not fixable) that the caller completes.
std::optional<Suggestion> suggest_new_script_word(std::u32string_view word);

// The first character of the Unicode lower-case mapping.
char32_t lowercase_char(char32_t ch);

// Walks a text and yields its ASCII letters only.
struct AsciiLetterCursor {
  std::u32string_view text;
  std::size_t pos = 0;
};
std::optional<char32_t> next_ascii_letter(AsciiLetterCursor& cursor);

// The notice text for a suggestion (without checking CHECKER_TOAST).
std::string checker_suggestion_body(const Suggestion& s);
// Shows the notice for one suggestion unless CHECKER_TOAST is off. Overlay thread.
void show_checker_suggestion_toast(App& app, const Suggestion& s);

}  // namespace harvel
