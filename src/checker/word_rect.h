// Where the word just typed is on the screen: through UI Automation (the
// bounding rectangle of the characters before the caret) or, when the
// control offers no text pattern, from the caret and the width of the word
// in the control's font. Overlay thread only; physical pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "checker/word_tracker.h"
#include "platform/os.h"

namespace harvel {

struct UiaWordRect {
  enum class Kind : uint8_t { Found, Password, Unavailable };
  Kind kind = Kind::Unavailable;
  os::Box rect;  // for Found
  bool operator==(const UiaWordRect&) const = default;
};

// Time the control's thread gets to answer WM_GETFONT.
inline constexpr uint32_t kFontQueryTimeoutMs = 60;

// The rectangle of the `n` characters before the caret without the last one
// (the word without its terminator); n is the suggestion's `erase`.
UiaWordRect uia_word_rect(uint64_t n);

// The rectangle ending where the terminator begins, from the caret.
std::optional<os::Box> caret_word_rect(const Suggestion& suggestion);

// A double taken to the nearest integer (halves away from zero), saturated
// to 32 bits; NaN gives 0.
int32_t round_to_i32(double v);

// The rectangle of a GetBoundingRectangles answer of exactly one line.
std::optional<os::Box> box_from_bounding_rectangles(std::span<const double> values);

}  // namespace harvel
