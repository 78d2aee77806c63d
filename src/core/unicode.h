// Unicode character properties and case mappings.
//
// The tables behind these functions are generated at build time from the
// Unicode Character Database (tools/gen_unicode.cpp), so that the native and
// the Windows builds share one source of truth.
#pragma once

#include <string>
#include <string_view>

namespace harvel::unicode {

// Binary properties.
bool is_alphabetic(char32_t c);   // Alphabetic (DerivedCoreProperties)
bool is_uppercase(char32_t c);    // Uppercase (DerivedCoreProperties)
bool is_lowercase(char32_t c);    // Lowercase (DerivedCoreProperties)
bool is_white_space(char32_t c);  // White_Space (PropList)
bool is_numeric(char32_t c);      // general category N (Nd, Nl, No)

enum class Script : unsigned char { Other, Latin, Cyrillic };
Script script(char32_t c);        // Script property, Latin and Cyrillic only

// Simple (one-to-one) case mappings; a character without one maps to itself.
char32_t simple_lower(char32_t c);
char32_t simple_upper(char32_t c);

// Full case mappings: the unconditional mappings of SpecialCasing.txt where
// they exist, else the simple mapping (for example U+0130 lowers to "i̇",
// U+00DF uppers to "SS").
std::u32string full_lower(char32_t c);
std::u32string full_upper(char32_t c);

// Whole-text full case mapping (context-free, plus the final-sigma rule for
// lower case).
std::u32string to_lower(std::u32string_view s);
std::u32string to_upper(std::u32string_view s);

}  // namespace harvel::unicode
