// UTF-8 inside the program, UTF-16 at the Windows calls (wchar_t is 16 bits
// on Windows).
#pragma once

#include <string>
#include <string_view>

#include "core/text.h"

namespace harvel::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

// Invalid UTF-8 becomes U+FFFD.
inline std::wstring widen(std::string_view utf8) {
  const std::u16string units = text::utf8_to_utf16(utf8);
  return std::wstring(units.begin(), units.end());
}

// Unpaired surrogates become U+FFFD.
inline std::string narrow(std::wstring_view wide) {
  return text::utf16_to_utf8_lossy(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

}  // namespace harvel::win32
