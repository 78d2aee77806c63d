#include "core/text.h"

#include <cstddef>

#include "core/unicode.h"

namespace harvel::text {
namespace {

constexpr char32_t kReplacement = U'\uFFFD';

bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool is_scalar_value(char32_t c) { return c <= 0x10FFFF && !is_surrogate(c); }

struct Step {
  char32_t code_point;
  std::size_t length;  // bytes consumed; for an error, the maximal invalid subpart
  bool valid;
};

// Decodes the sequence starting at s[i] (i < s.size()). The second byte's
// range depends on the lead byte so that overlongs, surrogates and values
// above U+10FFFF fail at the earliest byte, as the well-formed byte sequence
// table of the Unicode standard prescribes. An error consumes the bytes that
// were a valid prefix, never the byte that broke it.
Step decode_step(std::string_view s, std::size_t i) {
  const auto lead = static_cast<unsigned char>(s[i]);
  if (lead < 0x80) return {lead, 1, true};
  std::size_t trail;
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
  char32_t c;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2;
    c = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;  // overlong
    if (lead == 0xED) hi = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3;
    c = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;  // overlong
    if (lead == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return {0, 1, false};  // continuation byte, C0/C1 overlong lead, or F5..FF
  }
  for (std::size_t k = 1; k <= trail; ++k) {
    if (i + k >= s.size()) return {0, k, false};
    const auto b = static_cast<unsigned char>(s[i + k]);
    if (b < lo || b > hi) return {0, k, false};
    c = (c << 6) | (b & 0x3F);
    lo = 0x80;
    hi = 0xBF;
  }
  return {c, trail + 1, true};
}

// Encoders write U+FFFD for values that are not Unicode scalar values
// (surrogates, above U+10FFFF), so their output is always well-formed.
void append_utf8(std::string& out, char32_t c) {
  if (!is_scalar_value(c)) c = kReplacement;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void append_utf16(std::u16string& out, char32_t c) {
  if (!is_scalar_value(c)) c = kReplacement;
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 | (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
  }
}

// Calls fn(code point) for each UTF-16 code point, unpaired surrogates
// replaced.
template <typename Fn>
void for_each_utf16(std::u16string_view s, Fn&& fn) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char32_t unit = s[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      fn(0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(s[i + 1]) - 0xDC00));
      ++i;
    } else {
      fn(is_surrogate(unit) ? kReplacement : unit);
    }
  }
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const Step step = decode_step(bytes, i);
    if (!step.valid) return false;
    i += step.length;
  }
  return true;
}

std::optional<std::u32string> decode_utf8(std::string_view bytes) {
  std::u32string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const Step step = decode_step(bytes, i);
    if (!step.valid) return std::nullopt;
    out.push_back(step.code_point);
    i += step.length;
  }
  return out;
}

std::u32string decode_utf8_lossy(std::string_view bytes) {
  std::u32string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const Step step = decode_step(bytes, i);
    out.push_back(step.valid ? step.code_point : kReplacement);
    i += step.length;
  }
  return out;
}

std::string encode_utf8(std::u32string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char32_t c : s) append_utf8(out, c);
  return out;
}

std::string encode_utf8(char32_t c) {
  std::string out;
  append_utf8(out, c);
  return out;
}

std::u32string decode_utf16_lossy(std::u16string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for_each_utf16(s, [&](char32_t c) { out.push_back(c); });
  return out;
}

std::string utf16_to_utf8_lossy(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for_each_utf16(s, [&](char32_t c) { append_utf8(out, c); });
  return out;
}

std::u16string encode_utf16(std::u32string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (char32_t c : s) append_utf16(out, c);
  return out;
}

std::u16string utf8_to_utf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const Step step = decode_step(utf8, i);
    append_utf16(out, step.valid ? step.code_point : kReplacement);
    i += step.length;
  }
  return out;
}

std::string ascii_lower(std::string_view s) {
  std::string out(s);
  for (char& ch : out) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return out;
}

std::string utf8_lower(std::string_view s) { return encode_utf8(unicode::to_lower(decode_utf8_lossy(s))); }

std::string utf8_upper(std::string_view s) { return encode_utf8(unicode::to_upper(decode_utf8_lossy(s))); }

}  // namespace harvel::text
