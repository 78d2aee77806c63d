// Text encodings at the program's boundaries: UTF-8 inside, UTF-16 where the
// system speaks it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace harvel::text {

// Strict UTF-8 check (no overlongs, no surrogates, nothing above U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

// Decodes valid UTF-8; none for invalid input.
std::optional<std::u32string> decode_utf8(std::string_view bytes);
// Decodes UTF-8, replacing every invalid sequence by U+FFFD.
std::u32string decode_utf8_lossy(std::string_view bytes);

std::string encode_utf8(std::u32string_view s);
std::string encode_utf8(char32_t c);

// UTF-16 decoding with replacement of unpaired surrogates by U+FFFD.
std::u32string decode_utf16_lossy(std::u16string_view s);
std::string utf16_to_utf8_lossy(std::u16string_view s);

std::u16string encode_utf16(std::u32string_view s);
std::u16string utf8_to_utf16(std::string_view utf8);  // invalid bytes become U+FFFD

// ASCII-only case mapping; other bytes are left unchanged.
std::string ascii_lower(std::string_view s);

// Full Unicode lower / upper case of UTF-8 text (invalid bytes become U+FFFD).
std::string utf8_lower(std::string_view s);
std::string utf8_upper(std::string_view s);

}  // namespace harvel::text
