// How a program is shown in the lists, beyond its record (core/app_info.h):
// the human name and icon read from the program file once per path and kept
// in a process-wide cache.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/app_info.h"
#include "platform/os.h"

namespace harvel {

// A program's name from its version resource and its icon as a PNG data URL.
struct FriendlyName {
  std::optional<std::string> name;
  std::optional<std::string> icon;
  bool operator==(const FriendlyName&) const = default;
};

// Name and icon of the executable at `path` (full path), from the cache when
// the path (ignoring case) was asked before. Absent values are cached too.
FriendlyName exe_friendly_name(std::string_view path);

// The FileDescription, else the ProductName, of the file's version resource,
// under the codes of its translation table and then 040904b0 and 040904e4;
// none when there is no usable text.
std::optional<std::string> version_resource_name(std::string_view path);

// The file's large shell icon as "data:image/png;base64,...".
std::optional<std::string> exe_icon_data_url(std::string_view path);

// An icon bitmap (B, G, R, A rows, top to bottom) as a PNG data URL: the
// colours put in R, G, B order and, when no pixel has any alpha, every pixel
// made opaque. None for an empty or inconsistent bitmap or a failed encoding.
std::optional<std::string> icon_data_url(os::IconBitmap bitmap);

// Standard Base64 with "=" padding.
std::string base64_encode(std::span<const uint8_t> bytes);

}  // namespace harvel
