#include "shell/app_info.h"

#include <array>
#include <mutex>
#include <unordered_map>

#include "core/text.h"
#include "core/unicode.h"
#include "shell/app_lists.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace harvel {

namespace {

// ---- version resource ------------------------------------------------------

uint16_t read_u16le(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// The bytes of a value that lie inside the block: a pointer outside it
// gives none, and a length running past its end is cut there, so a
// malformed resource can never make the reader leave the block.
std::span<const uint8_t> value_bytes(std::span<const uint8_t> block, const os::VersionValue& v,
                                     std::size_t unit_size) {
  if (v.data == nullptr || block.empty()) return {};
  const uint8_t* begin = block.data();
  const uint8_t* end = begin + block.size();
  if (v.data < begin || v.data >= end) return {};
  const std::size_t available = static_cast<std::size_t>(end - v.data);
  const std::size_t wanted = static_cast<std::size_t>(v.length) * unit_size;
  return {v.data, wanted < available ? wanted : available};
}

void append_hex4(std::u16string& out, uint16_t value) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(value >> shift) & 0xF]);
}

std::vector<std::u16string> translation_codes(os::Apps& apps, std::span<const uint8_t> block) {
  std::vector<std::u16string> codes;
  const auto table = apps.ver_query_value(block, u"\\VarFileInfo\\Translation\0");
  if (table && table->length >= 4 && table->data != nullptr) {
    const std::span<const uint8_t> bytes = value_bytes(block, *table, 1);
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
      std::u16string code;
      append_hex4(code, read_u16le(bytes.data() + i));
      append_hex4(code, read_u16le(bytes.data() + i + 2));
      codes.push_back(std::move(code));
    }
  }
  codes.emplace_back(u"040904b0");
  codes.emplace_back(u"040904e4");
  return codes;
}

std::string trim_white_space(std::u32string_view s) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && unicode::is_white_space(s[begin])) ++begin;
  while (end > begin && unicode::is_white_space(s[end - 1])) --end;
  return text::encode_utf8(s.substr(begin, end - begin));
}

// The text of a string value: trailing 0 characters removed, then white
// space trimmed at both ends; empty when nothing is left.
std::string version_string_text(std::span<const uint8_t> bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(read_u16le(bytes.data() + 2 * i));
  std::u32string chars = text::decode_utf16_lossy(units);
  while (!chars.empty() && chars.back() == U'\0') chars.pop_back();
  return trim_white_space(chars);
}

// ---- icon ------------------------------------------------------------------

void append_bytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (size > 0) out->insert(out->end(), bytes, bytes + size);
}

// ---- name and icon cache ---------------------------------------------------

// Lower-case full path -> name and icon; entries are added or replaced,
// never removed. The lock is held only to look up or store. (Nothing that
// can fail runs while it is held, so it cannot be left unusable.)
struct NameIconCache {
  std::mutex mutex;
  std::unordered_map<std::string, FriendlyName> entries;
};

NameIconCache& name_icon_cache() {
  static NameIconCache cache;
  return cache;
}

}  // namespace

std::optional<std::string> version_resource_name(std::string_view path) {
  os::Apps* apps = os::platform().apps;
  if (apps == nullptr) return std::nullopt;
  const std::optional<std::vector<uint8_t>> block = apps->file_version_info(to_wide_nul(path));
  if (!block || block->empty()) return std::nullopt;
  const std::vector<std::u16string> codes = translation_codes(*apps, *block);
  for (std::u16string_view key : {std::u16string_view(u"FileDescription"), std::u16string_view(u"ProductName")}) {
    for (const std::u16string& code : codes) {
      std::u16string sub_block = u"\\StringFileInfo\\";
      sub_block.append(code).append(u"\\").append(key).push_back(u'\0');
      const auto value = apps->ver_query_value(*block, sub_block);
      if (!value || value->length < 2 || value->data == nullptr) continue;
      std::string name = version_string_text(value_bytes(*block, *value, 2));
      if (!name.empty()) return name;
    }
  }
  return std::nullopt;
}

std::string base64_encode(std::span<const uint8_t> bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(kAlphabet[(v >> 6) & 63]);
    out.push_back(kAlphabet[v & 63]);
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = uint32_t{bytes[i]} << 16;
    if (rest == 2) v |= uint32_t{bytes[i + 1]} << 8;
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

std::optional<std::string> icon_data_url(os::IconBitmap bitmap) {
  constexpr uint32_t kMaxSide = 4096;  // far beyond any shell icon
  if (bitmap.width == 0 || bitmap.height == 0 || bitmap.width > kMaxSide || bitmap.height > kMaxSide) {
    return std::nullopt;
  }
  const std::size_t size = std::size_t{bitmap.width} * bitmap.height * 4;
  if (bitmap.bgra.size() != size) return std::nullopt;
  std::vector<uint8_t>& px = bitmap.bgra;
  bool any_alpha = false;
  for (std::size_t i = 0; i < size; i += 4) {
    std::swap(px[i], px[i + 2]);
    any_alpha = any_alpha || px[i + 3] != 0;
  }
  if (!any_alpha) {
    for (std::size_t i = 3; i < size; i += 4) px[i] = 255;
  }
  std::vector<uint8_t> png;
  const int w = static_cast<int>(bitmap.width);
  const int h = static_cast<int>(bitmap.height);
  if (stbi_write_png_to_func(append_bytes, &png, w, h, 4, px.data(), w * 4) == 0 || png.empty()) {
    return std::nullopt;
  }
  std::string url = "data:image/png;base64,";
  url.append(base64_encode(png));
  return url;
}

std::optional<std::string> exe_icon_data_url(std::string_view path) {
  os::Apps* apps = os::platform().apps;
  if (apps == nullptr) return std::nullopt;
  std::optional<os::IconBitmap> bitmap = apps->shell_icon(to_wide_nul(path));
  if (!bitmap) return std::nullopt;
  return icon_data_url(std::move(*bitmap));
}

FriendlyName exe_friendly_name(std::string_view path) {
  const std::string key = text::utf8_lower(path);
  NameIconCache& cache = name_icon_cache();
  {
    std::lock_guard lock(cache.mutex);
    if (auto it = cache.entries.find(key); it != cache.entries.end()) return it->second;
  }
  FriendlyName found{version_resource_name(path), exe_icon_data_url(path)};
  {
    std::lock_guard lock(cache.mutex);
    cache.entries.insert_or_assign(key, found);
  }
  return found;
}

}  // namespace harvel
