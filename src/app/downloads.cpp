#include "app/downloads.h"

#include <array>

#include "app/navigation.h"
#include "core/text.h"

namespace harvel {

namespace {

constexpr std::size_t kNameMax = 255;  // bytes of one file name
constexpr char kFallbackName[] = "hujjat";
constexpr int kNumberMax = 9999;

// Where the extension starts: the last full stop after the first character
// (so ".profile" has none), else the end.
std::size_t extension_start(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot == 0 ? name.size() : dot;
}

// `text` cut to at most `bytes` bytes, at a character boundary.
std::string_view utf8_prefix(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t n = bytes;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

// `name` with `suffix` inserted where its extension starts (`ext`), cut to
// one file name's length: the stem is shortened and the extension kept,
// unless that would leave no stem, when the whole name is cut instead.
std::string fitted(std::string_view name, std::size_t ext, std::string_view suffix) {
  const std::string_view stem = name.substr(0, ext);
  const std::string_view extension = name.substr(ext);
  const std::size_t room = kNameMax - suffix.size();
  std::string out;
  if (name.size() <= room) {
    out = stem;
  } else if (extension.size() < room && !utf8_prefix(stem, room - extension.size()).empty()) {
    out = utf8_prefix(stem, room - extension.size());
  } else {
    return std::string(utf8_prefix(name, room)) + std::string(suffix);
  }
  out += suffix;
  out += extension;
  return out;
}

// Windows strips these from the end of a name, so "a. ." would not be the
// name it was saved under.
void drop_trailing_dots_and_blanks(std::string& name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
}

// Windows keeps these names for devices, in any case, with any extension
// and with blanks before it ("Con .txt").
bool is_device_name(std::string_view name) {
  std::string stem = text::ascii_lower(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static constexpr std::array<std::string_view, 6> kDevices{"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const std::string_view device : kDevices) {
    if (stem == device) return true;
  }
  if (!stem.starts_with("com") && !stem.starts_with("lpt")) return false;
  // COM0 to COM9 and LPT0 to LPT9, and with a superscript ¹, ² or ³.
  const std::string_view port = std::string_view(stem).substr(3);
  return (port.size() == 1 && port[0] >= '0' && port[0] <= '9') || port == "\u00B9" || port == "\u00B2" ||
         port == "\u00B3";
}

}  // namespace

bool is_app_download_url(std::string_view url) {
  constexpr std::string_view kBlob = "blob:";
  if (url.size() <= kBlob.size() || text::ascii_lower(url.substr(0, kBlob.size())) != kBlob) return false;
  return is_app_navigation_url(url.substr(kBlob.size()));
}

std::string safe_download_name(std::string_view name) {
  if (const std::size_t slash = name.find_last_of("/\\"); slash != std::string_view::npos) {
    name.remove_prefix(slash + 1);
  }
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) continue;
    out += std::string_view("<>:\"|?*").find(c) != std::string_view::npos ? '_' : c;
  }
  if (!text::is_valid_utf8(out)) out = text::encode_utf8(text::decode_utf8_lossy(out));
  // Cut first, then looked at: a cut can make a device name ("CONX." and a
  // long extension becomes "CON.…"), and leave a dot or blank at the end.
  const auto fit = [](std::string& n) {
    n = fitted(n, extension_start(n), "");
    drop_trailing_dots_and_blanks(n);
  };
  fit(out);
  if (is_device_name(out)) {
    out = "_" + out;
    fit(out);  // the '_' may need a byte of the stem
  }
  return out.empty() ? kFallbackName : out;
}

std::optional<std::string> free_download_name(std::string_view name,
                                              const std::function<bool(const std::string&)>& taken) {
  std::string candidate(name);
  if (!taken(candidate)) return candidate;
  const std::size_t ext = extension_start(name);
  for (int n = 1; n <= kNumberMax; ++n) {
    candidate = fitted(name, ext, " (" + std::to_string(n) + ")");
    if (!taken(candidate)) return candidate;
  }
  return std::nullopt;
}

}  // namespace harvel
