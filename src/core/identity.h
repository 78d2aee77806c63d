// The product's identity, fixed at build time.
#pragma once

#include <string_view>

namespace harvel {

inline constexpr std::string_view kProductName = "Harvel";
// The project's one version, set by the build (CMakeLists.txt's project()).
inline constexpr std::string_view kProductVersion = HARVEL_VERSION;
// Reverse-domain identifier; it also names the per-user data folder.
inline constexpr std::string_view kAppIdentifier = "uz.harvel.desktop";
inline constexpr std::string_view kPackageDescription =
    "Harvel \u2014 o\u2018zbekcha yangi harflarda yozish uchun klaviatura";
inline constexpr std::string_view kPackageShortName = "harvel";

}  // namespace harvel
