#include "core/unicode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace harvel::unicode {
namespace {

std::string hex(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

std::string hex(std::u32string_view s) {
  std::string out;
  for (char32_t c : s) {
    if (!out.empty()) out += ' ';
    out += hex(c);
  }
  return out;
}

struct PropertyCase {
  char32_t c;
  bool alphabetic, uppercase, lowercase, white_space, numeric;
  Script script;
};

TEST(UnicodeProperties, Table) {
  constexpr auto L = Script::Latin;
  constexpr auto C = Script::Cyrillic;
  constexpr auto O = Script::Other;
  const PropertyCase cases[] = {
      //        alpha  upper  lower  space  num    script
      {U'a',    true,  false, true,  false, false, L},
      {U'Z',    true,  true,  false, false, false, L},
      {U'5',    false, false, false, false, true,  O},
      {U' ',    false, false, false, true,  false, O},
      {U'\t',   false, false, false, true,  false, O},
      {U'_',    false, false, false, false, false, O},
      {U'\'',   false, false, false, false, false, O},
      {0x00E7,  true,  false, true,  false, false, L},  // ç
      {0x00F6,  true,  false, true,  false, false, L},  // ö
      {0x011F,  true,  false, true,  false, false, L},  // ğ
      {0x015F,  true,  false, true,  false, false, L},  // ş
      {0x015E,  true,  true,  false, false, false, L},  // Ş
      {0x0130,  true,  true,  false, false, false, L},  // İ
      {0x0131,  true,  false, true,  false, false, L},  // ı
      {0x00AA,  true,  false, true,  false, false, L},  // ª: Lo, but Lowercase
      {0x01C5,  true,  false, false, false, false, L},  // ǅ: titlecase, neither
      {0x02BB,  true,  false, false, false, false, O},  // modifier letter turned comma
      {0x2019,  false, false, false, false, false, O},  // right single quotation mark
      {0x0448,  true,  false, true,  false, false, C},  // ш
      {0x0428,  true,  true,  false, false, false, C},  // Ш
      {0x04D9,  true,  false, true,  false, false, C},  // ә
      {0x03C3,  true,  false, true,  false, false, O},  // σ
      {0x0660,  false, false, false, false, true,  O},  // Arabic-Indic zero (Nd)
      {0x00BD,  false, false, false, false, true,  O},  // ½ (No)
      {0x2167,  true,  true,  false, false, true,  L},  // Roman numeral eight (Nl)
      {0x1D7CE, false, false, false, false, true,  O},  // mathematical bold zero
      {0x00A0,  false, false, false, true,  false, O},  // no-break space
      {0x0085,  false, false, false, true,  false, O},  // next line
      {0x3000,  false, false, false, true,  false, O},  // ideographic space
      {0x200B,  false, false, false, false, false, O},  // zero width space
      {0x6C34,  true,  false, false, false, false, O},  // inside a First/Last range row
      {0xAC01,  true,  false, false, false, false, O},  // Hangul syllable range row
      {0x2A6DF, true,  false, false, false, false, O},  // last of a plane-2 range row
      {0x2A6E0, false, false, false, false, false, O},  // just past it
      {0xD800,  false, false, false, false, false, O},
      {0x10FFFF, false, false, false, false, false, O},
      {0x110000, false, false, false, false, false, O},
      {0xFFFFFFFF, false, false, false, false, false, O},
  };
  for (const PropertyCase& t : cases) {
    SCOPED_TRACE(hex(t.c));
    EXPECT_EQ(is_alphabetic(t.c), t.alphabetic);
    EXPECT_EQ(is_uppercase(t.c), t.uppercase);
    EXPECT_EQ(is_lowercase(t.c), t.lowercase);
    EXPECT_EQ(is_white_space(t.c), t.white_space);
    EXPECT_EQ(is_numeric(t.c), t.numeric);
    EXPECT_EQ(script(t.c), t.script);
  }
}

TEST(UnicodeProperties, AsciiLettersAndDigits) {
  for (char32_t c = 0; c < 0x80; ++c) {
    SCOPED_TRACE(hex(c));
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    EXPECT_EQ(is_alphabetic(c), upper || lower);
    EXPECT_EQ(is_uppercase(c), upper);
    EXPECT_EQ(is_lowercase(c), lower);
    EXPECT_EQ(is_numeric(c), c >= '0' && c <= '9');
    EXPECT_EQ(script(c), upper || lower ? Script::Latin : Script::Other);
  }
}

struct SimpleCase {
  char32_t c, lower, upper;
};

TEST(UnicodeCase, SimpleMappings) {
  const SimpleCase cases[] = {
      {U'A', U'a', U'A'},
      {U'z', U'z', U'Z'},
      {U'5', U'5', U'5'},
      {0x015E, 0x015F, 0x015E},   // Ş ş
      {0x015F, 0x015F, 0x015E},
      {0x0130, 0x0069, 0x0130},   // İ lowers to plain i in the simple mapping
      {0x0131, 0x0131, 0x0049},   // ı uppers to I
      {0x00DF, 0x00DF, 0x00DF},   // ß has no single-character upper case
      {0x1E9E, 0x00DF, 0x1E9E},   // ẞ
      {0x00FF, 0x00FF, 0x0178},   // ÿ Ÿ: far apart
      {0x0178, 0x00FF, 0x0178},
      {0x0100, 0x0101, 0x0100},   // alternating pairs
      {0x0101, 0x0101, 0x0100},
      {0x012E, 0x012F, 0x012E},
      {0x01C4, 0x01C6, 0x01C4},   // Ǆ ǅ ǆ
      {0x01C5, 0x01C6, 0x01C4},
      {0x01C6, 0x01C6, 0x01C4},
      {0x0428, 0x0448, 0x0428},   // Ш ш
      {0x0401, 0x0451, 0x0401},   // Ё ё
      {0x03A3, 0x03C3, 0x03A3},   // Σ σ
      {0x03C2, 0x03C2, 0x03A3},   // ς
      {0x212A, U'k', 0x212A},     // Kelvin sign
      {0x10400, 0x10428, 0x10400},  // Deseret, outside the BMP
      {0x10428, 0x10428, 0x10400},
      {0x1E921, 0x1E943, 0x1E921},  // Adlam
      {0xD800, 0xD800, 0xD800},
      {0x110000, 0x110000, 0x110000},
      {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
  };
  for (const SimpleCase& t : cases) {
    SCOPED_TRACE(hex(t.c));
    EXPECT_EQ(simple_lower(t.c), t.lower);
    EXPECT_EQ(simple_upper(t.c), t.upper);
  }
}

struct FullCase {
  char32_t c;
  std::u32string lower, upper;
};

TEST(UnicodeCase, FullMappings) {
  const FullCase cases[] = {
      {U'A', U"a", U"A"},
      {0x0130, U"\u0069\u0307", U"\u0130"},         // İ
      {0x00DF, U"\u00DF", U"SS"},                   // ß
      {0x0149, U"\u0149", U"\u02BC\u004E"},         // ŉ
      {0xFB03, U"\uFB03", U"FFI"},                  // ﬃ
      {0x0390, U"\u0390", U"\u0399\u0308\u0301"},  // three characters
      {0x1F80, U"\u1F80", U"\u1F08\u0399"},
      {0x1F88, U"\u1F80", U"\u1F08\u0399"},
      {0x015F, U"\u015F", U"\u015E"},               // no special entry: simple mapping
      // Language- and context-dependent rows are not applied.
      {U'I', U"i", U"I"},
      {U'i', U"i", U"I"},
      {0x03A3, U"\u03C3", U"\u03A3"},
  };
  for (const FullCase& t : cases) {
    SCOPED_TRACE(hex(t.c));
    EXPECT_EQ(hex(full_lower(t.c)), hex(t.lower));
    EXPECT_EQ(hex(full_upper(t.c)), hex(t.upper));
  }
}

struct StringCase {
  std::u32string in, out;
};

TEST(UnicodeCase, ToUpper) {
  const StringCase cases[] = {
      {U"", U""},
      {U"abc xyz 123", U"ABC XYZ 123"},
      {U"straße", U"STRASSE"},
      {U"şçöğüı", U"ŞÇÖĞÜI"},
      {U"\u0149a", U"\u02BC\u004EA"},
      {U"ﬃx", U"FFIX"},
      {U"шрифт", U"ШРИФТ"},
  };
  for (const StringCase& t : cases) {
    SCOPED_TRACE(hex(t.in));
    EXPECT_EQ(hex(to_upper(t.in)), hex(t.out));
  }
}

TEST(UnicodeCase, ToLower) {
  const StringCase cases[] = {
      {U"", U""},
      {U"ABC xyz 123", U"abc xyz 123"},
      {U"İSTANBUL", U"i\u0307stanbul"},
      {U"ŞİŞLİ", U"şi\u0307şli\u0307"},
      {U"ШРИФТ", U"шрифт"},
      {U"ẞ", U"ß"},
  };
  for (const StringCase& t : cases) {
    SCOPED_TRACE(hex(t.in));
    EXPECT_EQ(hex(to_lower(t.in)), hex(t.out));
  }
}

TEST(UnicodeCase, FinalSigma) {
  const StringCase cases[] = {
      {U"ΟΔΟΣ", U"οδος"},
      {U"ΣΑΣ", U"σας"},           // only the last one ends a word
      {U"Σ", U"σ"},               // nothing cased before it
      {U"1Σ", U"1σ"},             // a digit is not cased
      {U"ΑΣ Β", U"ας β"},         // a space ends the word
      {U"ΑΣ.", U"ας."},
      {U"ΑΣΑ", U"ασα"},
      {U"ΑΣ'Β", U"ασ'β"},         // an apostrophe is case-ignorable: the word goes on
      {U"ΑΣ\u2019Β", U"ασ\u2019β"},
      {U"Α'Σ", U"α'ς"},           // ignorable characters before it are skipped
      {U"Α'Σ'", U"α'ς'"},
      {U"ΑΣ\u0301", U"ας\u0301"},  // a trailing combining mark does not continue the word
      {U"ΑΣ\u0301Β", U"ασ\u0301β"},
      {U"aΣ", U"aς"},             // any cased letter counts, not only Greek
      {U"'Σ", U"'σ"},
  };
  for (const StringCase& t : cases) {
    SCOPED_TRACE(hex(t.in));
    EXPECT_EQ(hex(to_lower(t.in)), hex(t.out));
  }
}

}  // namespace
}  // namespace harvel::unicode
