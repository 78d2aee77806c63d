#include "core/unicode.h"

#include <cstddef>
#include <cstdint>
#include <span>

// Tables defined in the generated unicode_tables.cpp; tools/gen_unicode.cpp
// describes their layout.
namespace harvel::unicode::detail {

extern const char32_t alphabetic[][2];
extern const std::size_t alphabetic_size;
extern const char32_t uppercase[][2];
extern const std::size_t uppercase_size;
extern const char32_t lowercase[][2];
extern const std::size_t lowercase_size;
extern const char32_t cased[][2];
extern const std::size_t cased_size;
extern const char32_t case_ignorable[][2];
extern const std::size_t case_ignorable_size;
extern const char32_t white_space[][2];
extern const std::size_t white_space_size;
extern const char32_t numeric[][2];
extern const std::size_t numeric_size;
extern const char32_t latin[][2];
extern const std::size_t latin_size;
extern const char32_t cyrillic[][2];
extern const std::size_t cyrillic_size;

extern const std::int32_t lower_runs[][4];
extern const std::size_t lower_runs_size;
extern const std::int32_t upper_runs[][4];
extern const std::size_t upper_runs_size;

extern const char32_t special_lower[][4];
extern const std::size_t special_lower_size;
extern const char32_t special_upper[][4];
extern const std::size_t special_upper_size;

}  // namespace harvel::unicode::detail

namespace harvel::unicode {
namespace {

using RangeTable = std::span<const char32_t[2]>;
using RunTable = std::span<const std::int32_t[4]>;
using SpecialTable = std::span<const char32_t[4]>;

// Index of the last entry whose first column is <= key, or size() when none.
template <typename Row, typename Key>
std::size_t last_at_or_below(std::span<const Row> table, Key key) {
  std::size_t lo = 0;
  std::size_t hi = table.size();
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (static_cast<Key>(table[mid][0]) <= key) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo == 0 ? table.size() : lo - 1;
}

bool in_table(RangeTable table, char32_t c) {
  const std::size_t i = last_at_or_below(table, c);
  return i != table.size() && c <= table[i][1];
}

char32_t map_runs(RunTable runs, char32_t c) {
  if (c > 0x10FFFF) return c;
  const auto key = static_cast<std::int32_t>(c);
  const std::size_t i = last_at_or_below(runs, key);
  if (i == runs.size()) return c;
  const auto& run = runs[i];
  if (key > run[1] || (key - run[0]) % run[2] != 0) return c;
  return static_cast<char32_t>(key + run[3]);
}

// The full mapping of c, or null when the simple mapping applies.
const char32_t* find_special(SpecialTable table, char32_t c) {
  const std::size_t i = last_at_or_below(table, c);
  if (i == table.size() || table[i][0] != c) return nullptr;
  return &table[i][1];
}

RangeTable alphabetic_table() { return {detail::alphabetic, detail::alphabetic_size}; }
RangeTable uppercase_table() { return {detail::uppercase, detail::uppercase_size}; }
RangeTable lowercase_table() { return {detail::lowercase, detail::lowercase_size}; }
RangeTable cased_table() { return {detail::cased, detail::cased_size}; }
RangeTable case_ignorable_table() { return {detail::case_ignorable, detail::case_ignorable_size}; }
RangeTable white_space_table() { return {detail::white_space, detail::white_space_size}; }
RangeTable numeric_table() { return {detail::numeric, detail::numeric_size}; }
RangeTable latin_table() { return {detail::latin, detail::latin_size}; }
RangeTable cyrillic_table() { return {detail::cyrillic, detail::cyrillic_size}; }
RunTable lower_runs() { return {detail::lower_runs, detail::lower_runs_size}; }
RunTable upper_runs() { return {detail::upper_runs, detail::upper_runs_size}; }
SpecialTable special_lower() { return {detail::special_lower, detail::special_lower_size}; }
SpecialTable special_upper() { return {detail::special_upper, detail::special_upper_size}; }

void append_full(std::u32string& out, char32_t c, SpecialTable special, RunTable runs) {
  if (const char32_t* mapped = find_special(special, c)) {
    for (int i = 0; i < 3 && mapped[i] != 0; ++i) out.push_back(mapped[i]);
  } else {
    out.push_back(map_runs(runs, c));
  }
}

bool is_cased(char32_t c) { return in_table(cased_table(), c); }
bool is_case_ignorable(char32_t c) { return in_table(case_ignorable_table(), c); }

// Final_Sigma: a cased letter, then any case-ignorable characters, before
// position i; and no case-ignorable characters followed by a cased letter
// after it.
bool is_final_sigma(std::u32string_view s, std::size_t i) {
  bool after_cased = false;
  for (std::size_t k = i; k-- > 0;) {
    if (is_cased(s[k])) {
      after_cased = true;
      break;
    }
    if (!is_case_ignorable(s[k])) break;
  }
  if (!after_cased) return false;
  for (std::size_t k = i + 1; k < s.size(); ++k) {
    if (is_cased(s[k])) return false;
    if (!is_case_ignorable(s[k])) break;
  }
  return true;
}

}  // namespace

bool is_alphabetic(char32_t c) { return in_table(alphabetic_table(), c); }
bool is_uppercase(char32_t c) { return in_table(uppercase_table(), c); }
bool is_lowercase(char32_t c) { return in_table(lowercase_table(), c); }
bool is_white_space(char32_t c) { return in_table(white_space_table(), c); }
bool is_numeric(char32_t c) { return in_table(numeric_table(), c); }

Script script(char32_t c) {
  if (in_table(latin_table(), c)) return Script::Latin;
  if (in_table(cyrillic_table(), c)) return Script::Cyrillic;
  return Script::Other;
}

char32_t simple_lower(char32_t c) { return map_runs(lower_runs(), c); }
char32_t simple_upper(char32_t c) { return map_runs(upper_runs(), c); }

std::u32string full_lower(char32_t c) {
  std::u32string out;
  append_full(out, c, special_lower(), lower_runs());
  return out;
}

std::u32string full_upper(char32_t c) {
  std::u32string out;
  append_full(out, c, special_upper(), upper_runs());
  return out;
}

std::u32string to_lower(std::u32string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == U'\u03A3' && is_final_sigma(s, i)) {
      out.push_back(U'\u03C2');
    } else {
      append_full(out, s[i], special_lower(), lower_runs());
    }
  }
  return out;
}

std::u32string to_upper(std::u32string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (char32_t c : s) append_full(out, c, special_upper(), upper_runs());
  return out;
}

}  // namespace harvel::unicode
