#include "online/url_rules.h"

#include "core/text.h"
#include "core/unicode.h"

namespace harvel {

namespace {

constexpr std::size_t kMaxLinkChars = 2048;

bool is_control(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool ascii_digit(char c) { return c >= '0' && c <= '9'; }

bool valid_inner_label(std::string_view label) {
  if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
  for (char c : label) {
    if (!ascii_letter(c) && !ascii_digit(c) && c != '-') return false;
  }
  return true;
}

bool valid_last_label(std::string_view label) {
  if (label.size() < 2 || label.size() > 63) return false;
  for (char c : label) {
    if (!ascii_letter(c)) return false;
  }
  return true;
}

bool valid_host(std::string_view host) {
  std::size_t labels = 0;
  for (;;) {
    const std::size_t dot = host.find('.');
    if (dot == std::string_view::npos) return labels >= 1 && valid_last_label(host);
    if (!valid_inner_label(host.substr(0, dot))) return false;
    ++labels;
    host.remove_prefix(dot + 1);
  }
}

}  // namespace

bool is_space_or_bom(char32_t c) {
  return c == 0xFEFF || (c != 0x85 && unicode::is_white_space(c));
}

std::optional<std::string> https_url_host(std::string_view url) {
  const auto chars = text::decode_utf8(url);
  if (!chars || chars->size() > kMaxLinkChars) return std::nullopt;
  constexpr std::string_view kScheme = "https://";
  if (!url.starts_with(kScheme)) return std::nullopt;
  std::string_view rest = url.substr(kScheme.size());

  const std::size_t host_end = rest.find_first_of(":/?#");
  const std::string_view host = rest.substr(0, host_end);
  if (!valid_host(host)) return std::nullopt;
  rest.remove_prefix(host.size());

  if (rest.starts_with(':')) {
    std::size_t digits = 0;
    while (digits + 1 < rest.size() && ascii_digit(rest[digits + 1])) ++digits;
    if (digits < 1 || digits > 5) return std::nullopt;
    rest.remove_prefix(digits + 1);
  }
  if (!rest.empty()) {
    if (rest.front() != '/' && rest.front() != '?' && rest.front() != '#') return std::nullopt;
    const std::u32string tail = text::decode_utf8_lossy(rest);
    for (char32_t c : tail) {
      if (is_space_or_bom(c) || is_control(c) || c == 0x2028 || c == 0x2029) return std::nullopt;
    }
  }
  return text::ascii_lower(host);
}

bool is_allowed_external_link(std::string_view url, std::string_view site_url) {
  const auto chars = text::decode_utf8(url);
  if (!chars || chars->size() > kMaxLinkChars) return false;
  for (char32_t c : *chars) {
    if (unicode::is_white_space(c) || c == U'"' || is_control(c)) return false;
  }
  if (https_url_host(url)) return true;
  // An empty site address would turn every "/..." path into an allowed link.
  if (site_url.empty()) return false;
  if (url == site_url) return true;
  return url.size() > site_url.size() && url.starts_with(site_url) && url[site_url.size()] == '/';
}

}  // namespace harvel
