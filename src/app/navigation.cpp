#include "app/navigation.h"

#include <string>

#include "core/text.h"

namespace harvel {

namespace {

bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_scheme_char(char c) { return is_alpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'; }

}  // namespace

bool is_app_navigation_url(std::string_view url) {
  const std::size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0 || !is_alpha(url[0])) return false;
  for (char c : url.substr(0, colon)) {
    if (!is_scheme_char(c)) return false;
  }
  const std::string scheme = text::ascii_lower(url.substr(0, colon));
  if (scheme == "harvel") return true;
  if (scheme != "http" && scheme != "https") return false;

  std::string_view rest = url.substr(colon + 1);
  if (!rest.starts_with("//")) return false;
  rest.remove_prefix(2);
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#\\"));
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  // A port follows the last ':' (a bracketed IPv6 host never matches anyway).
  const std::string_view host = authority.substr(0, authority.find(':'));
  return text::ascii_lower(host) == "harvel.localhost";
}

}  // namespace harvel
