// The product's identity, fixed at build time.
#pragma once

#include <string_view>

namespace harvel {

inline constexpr std::string_view kProductName = "Harvel";
inline constexpr std::string_view kProductVersion = "0.1.7";
// Reverse-domain identifier; it also names the per-user data folder.
inline constexpr std::string_view kAppIdentifier = "uz.harvel.desktop";
inline constexpr std::string_view kPackageDescription =
    "Harvel \u2014 o\u2018zbekcha yangi harflarda yozish uchun klaviatura";
inline constexpr std::string_view kPackageShortName = "harvel";

}  // namespace harvel
