#include "app/downloads.h"

#include <array>

#include "app/navigation.h"
#include "core/text.h"

namespace harvel {

bool is_app_download_url(std::string_view url) {
  const std::string lower = text::ascii_lower(url.substr(0, 5));
  if (lower == "blob:") url.remove_prefix(5);
  return is_app_navigation_url(url);
}

std::string safe_download_name(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    const bool bad = u < 0x20 || u == 0x7F || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
    out += bad ? '_' : c;
  }
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
  if (out.empty()) return "download";
  // Windows keeps these names for devices, whatever the extension.
  static constexpr std::array kDevices{"con",  "prn",  "aux",  "nul",  "com1", "com2", "com3", "com4",
                                       "com5", "com6", "com7", "com8", "com9", "lpt1", "lpt2", "lpt3",
                                       "lpt4", "lpt5", "lpt6", "lpt7", "lpt8", "lpt9"};
  std::string stem = text::ascii_lower(out.substr(0, out.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (const char* device : kDevices) {
    if (stem == device) return "_" + out;
  }
  return out;
}

std::string free_download_name(std::string_view name, const std::function<bool(const std::string&)>& taken) {
  std::string candidate(name);
  if (!taken(candidate)) return candidate;
  // A leading dot belongs to the stem (".profile").
  const std::size_t dot = name.find('.', 1);
  const std::string_view stem = name.substr(0, dot);
  const std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot);
  for (int n = 1;; ++n) {
    candidate = std::string(stem) + " (" + std::to_string(n) + ")" + std::string(ext);
    if (!taken(candidate) || n == 9999) return candidate;
  }
}

}  // namespace harvel
