#include "core/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unordered_set>

namespace harvel::text {
namespace {

using namespace std::string_literals;

std::string hex_bytes(std::string_view s) {
  std::string out;
  char buf[8];
  for (unsigned char b : s) {
    std::snprintf(buf, sizeof buf, "%s%02X", out.empty() ? "" : " ", b);
    out += buf;
  }
  return out;
}

std::string hex(std::u32string_view s) {
  std::string out;
  char buf[16];
  for (char32_t c : s) {
    std::snprintf(buf, sizeof buf, "%sU+%04X", out.empty() ? "" : " ", static_cast<unsigned>(c));
    out += buf;
  }
  return out;
}

std::string hex(std::u16string_view s) {
  std::string out;
  char buf[16];
  for (char16_t c : s) {
    std::snprintf(buf, sizeof buf, "%s%04X", out.empty() ? "" : " ", static_cast<unsigned>(c));
    out += buf;
  }
  return out;
}

struct ValidCase {
  std::string bytes;
  std::u32string decoded;
};

TEST(Utf8, ValidSequencesDecodeAndEncodeBack) {
  const ValidCase cases[] = {
      {"", U""},
      {"a"s, U"a"},
      {"a\0b"s, U"a\0b"s},
      {"\x7F", U"\u007F"},
      {"\xC2\x80", U"\u0080"},
      {"\xC5\x9F", U"ş"},
      {"\xDF\xBF", U"\u07FF"},
      {"\xE0\xA0\x80", U"\u0800"},
      {"\xE2\x82\xAC", U"€"},
      {"\xED\x9F\xBF", U"\uD7FF"},    // last before the surrogates
      {"\xEE\x80\x80", U"\uE000"},    // first after them
      {"\xEF\xBF\xBF", U"\uFFFF"},
      {"\xF0\x90\x80\x80", U"\U00010000"},
      {"\xF0\x9F\x98\x80", U"😀"},
      {"\xF4\x8F\xBF\xBF", U"\U0010FFFF"},
      {"I\xC4\xB1k \xC5\x9E\xC3\xBC\xC3\xA7 \xD1\x88", U"Iık Şüç ш"},
  };
  for (const ValidCase& t : cases) {
    SCOPED_TRACE(hex_bytes(t.bytes));
    EXPECT_TRUE(is_valid_utf8(t.bytes));
    const auto decoded = decode_utf8(t.bytes);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(hex(*decoded), hex(t.decoded));
    EXPECT_EQ(hex(decode_utf8_lossy(t.bytes)), hex(t.decoded));
    EXPECT_EQ(hex_bytes(encode_utf8(t.decoded)), hex_bytes(t.bytes));
  }
}

struct InvalidCase {
  std::string bytes;
  std::u32string lossy;  // each maximal invalid subpart becomes one U+FFFD
};

TEST(Utf8, InvalidSequencesAreRejectedAndReplaced) {
  const InvalidCase cases[] = {
      {"\x80", U"\uFFFD"},                                   // lone continuation
      {"\xBF\x80", U"\uFFFD\uFFFD"},
      {"\xC0\x80", U"\uFFFD\uFFFD"},                         // overlong NUL
      {"\xC1\xBF", U"\uFFFD\uFFFD"},                         // overlong U+007F
      {"\xE0\x80\x80", U"\uFFFD\uFFFD\uFFFD"},               // overlong 3-byte
      {"\xE0\x9F\xBF", U"\uFFFD\uFFFD\uFFFD"},
      {"\xF0\x80\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},     // overlong 4-byte
      {"\xF0\x8F\xBF\xBF", U"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},               // surrogate U+D800
      {"\xED\xBF\xBF", U"\uFFFD\uFFFD\uFFFD"},               // surrogate U+DFFF
      {"\xED\xA0\xBD\xED\xB8\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},  // CESU-8 pair
      {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},     // U+110000
      {"\xF5\x80\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\xF8\x88\x80\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\xFE\xFF", U"\uFFFD\uFFFD"},
      {"\xC2", U"\uFFFD"},                                   // truncated at the end
      {"\xE2\x82", U"\uFFFD"},
      {"\xF0\x9F\x98", U"\uFFFD"},
      {"\xE2\x82" "a", U"\uFFFDa"},                          // truncated by an ASCII byte
      {"\xC2\xC2\x80", U"\uFFFD\u0080"},                     // truncated by a new lead byte
      {"\xF0\x9F\xE2\x82\xAC", U"\uFFFD€"},
      {"a\xF0\x9F\x98\x80\xF0\x9F", U"a😀\uFFFD"},
      // The example of the Unicode standard's "U+FFFD substitution of maximal subparts".
      {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
       U"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
  };
  for (const InvalidCase& t : cases) {
    SCOPED_TRACE(hex_bytes(t.bytes));
    EXPECT_FALSE(is_valid_utf8(t.bytes));
    EXPECT_FALSE(decode_utf8(t.bytes).has_value());
    EXPECT_EQ(hex(decode_utf8_lossy(t.bytes)), hex(t.lossy));
    EXPECT_EQ(hex(utf8_to_utf16(t.bytes)), hex(encode_utf16(t.lossy)));
  }
}

// Every scalar value survives encoding and decoding, and the encoder uses the
// shortest form (length by range).
TEST(Utf8, EveryScalarValueRoundTrips) {
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::string bytes = encode_utf8(c);
    const std::size_t length = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    ASSERT_EQ(bytes.size(), length) << std::hex << static_cast<unsigned>(c);
    const auto decoded = decode_utf8(bytes);
    ASSERT_TRUE(decoded.has_value() && decoded->size() == 1 && (*decoded)[0] == c)
        << std::hex << static_cast<unsigned>(c);
    ASSERT_EQ(decode_utf16_lossy(encode_utf16(std::u32string(1, c))), std::u32string(1, c))
        << std::hex << static_cast<unsigned>(c);
  }
}

// Exhaustively over all sequences of up to three bytes: valid exactly when the
// sequence is the encoding of some scalar value.
TEST(Utf8, ValidityOfAllShortSequences) {
  std::unordered_set<std::string> encodings;
  for (char32_t c = 0; c < 0x10000; ++c) {
    if (c < 0xD800 || c > 0xDFFF) encodings.insert(encode_utf8(c));
  }
  std::string s;
  for (unsigned a = 0; a < 256; ++a) {
    s.assign(1, static_cast<char>(a));
    ASSERT_EQ(is_valid_utf8(s), encodings.count(s) == 1) << hex_bytes(s);
    for (unsigned b = 0; b < 256; ++b) {
      s.assign({static_cast<char>(a), static_cast<char>(b)});
      const bool pair_valid = encodings.count(s) == 1 ||
                              (a < 0x80 && b < 0x80);  // two ASCII characters
      ASSERT_EQ(is_valid_utf8(s), pair_valid) << hex_bytes(s);
      if (a < 0xE0 || a > 0xEF) continue;  // other 3-byte strings split into shorter cases
      for (unsigned c = 0; c < 256; ++c) {
        s.assign({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)});
        ASSERT_EQ(is_valid_utf8(s), encodings.count(s) == 1) << hex_bytes(s);
      }
    }
  }
}

TEST(Utf8, EncodingReplacesNonScalarValues) {
  EXPECT_EQ(hex_bytes(encode_utf8(char32_t{0xD800})), "EF BF BD");
  EXPECT_EQ(hex_bytes(encode_utf8(char32_t{0xDFFF})), "EF BF BD");
  EXPECT_EQ(hex_bytes(encode_utf8(char32_t{0x110000})), "EF BF BD");
  EXPECT_EQ(hex_bytes(encode_utf8(U"a\xD800"
                                  U"b")),
            "61 EF BF BD 62");
  EXPECT_EQ(hex(encode_utf16(U"a\xDC00\x110000")), "0061 FFFD FFFD");
}

struct Utf16Case {
  std::u16string units;
  std::u32string decoded;
};

TEST(Utf16, DecodingReplacesUnpairedSurrogates) {
  const Utf16Case cases[] = {
      {u"", U""},
      {u"A€", U"A€"},
      {u"\uFFFF", U"\uFFFF"},
      {u"\xD83D\xDE00", U"😀"},
      {u"\xD800\xDC00", U"\U00010000"},
      {u"\xDBFF\xDFFF", U"\U0010FFFF"},
      {u"\xD800" u"A", U"\uFFFDA"},                  // high surrogate, then no low one
      {u"A\xD83D", U"A\uFFFD"},                      // high surrogate at the end
      {u"\xDC00" u"A", U"\uFFFDA"},                  // lone low surrogate
      {u"\xDE00\xD83D", U"\uFFFD\uFFFD"},            // pair in the wrong order
      {u"\xD83D\xD83D\xDE00", U"\uFFFD😀"},          // second high one pairs
      {u"\xD83D\xDE00\xDE00", U"😀\uFFFD"},
  };
  for (const Utf16Case& t : cases) {
    SCOPED_TRACE(hex(t.units));
    EXPECT_EQ(hex(decode_utf16_lossy(t.units)), hex(t.decoded));
    EXPECT_EQ(hex_bytes(utf16_to_utf8_lossy(t.units)), hex_bytes(encode_utf8(t.decoded)));
  }
}

TEST(Utf16, Encoding) {
  EXPECT_EQ(hex(encode_utf16(U"A\uFFFF")), "0041 FFFF");
  EXPECT_EQ(hex(encode_utf16(U"\U00010000\U0001F600\U0010FFFF")), "D800 DC00 D83D DE00 DBFF DFFF");
  EXPECT_EQ(hex(utf8_to_utf16("\xC5\x9F\xF0\x9F\x98\x80")), "015F D83D DE00");
  EXPECT_EQ(hex(utf8_to_utf16("a\xFF" "b")), "0061 FFFD 0062");
}

TEST(TextCase, AsciiLowerLeavesOtherBytesAlone) {
  EXPECT_EQ(ascii_lower("HeLLo, World 09@[`{"), "hello, world 09@[`{");
  // Ş, İ and À stay as they are; their bytes include no ASCII letters.
  EXPECT_EQ(ascii_lower("\xC5\x9E\xC4\xB0\xC3\x80Z"), "\xC5\x9E\xC4\xB0\xC3\x80z");
  EXPECT_EQ(ascii_lower("A\xFF" "B"), "a\xFF" "b");
}

TEST(TextCase, Utf8LowerAndUpper) {
  struct Case {
    std::string in, lower, upper;
  };
  const Case cases[] = {
      {"", "", ""},
      {"Straße", "straße", "STRASSE"},
      {"İSTANBUL", "i\xCC\x87stanbul", "İSTANBUL"},
      {"ışık", "ışık", "IŞIK"},
      {"ŞÇÖĞÜ", "şçöğü", "ŞÇÖĞÜ"},
      {"ΟΔΟΣ ΟΔΟΣ", "οδος οδος", "ΟΔΟΣ ΟΔΟΣ"},
      {"Шрифт", "шрифт", "ШРИФТ"},
      {"a\xFF" "b", "a\xEF\xBF\xBD" "b", "A\xEF\xBF\xBD" "B"},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(hex_bytes(t.in));
    EXPECT_EQ(hex_bytes(utf8_lower(t.in)), hex_bytes(t.lower));
    EXPECT_EQ(hex_bytes(utf8_upper(t.in)), hex_bytes(t.upper));
  }
}

}  // namespace
}  // namespace harvel::text
