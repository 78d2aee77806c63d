// Which links the program accepts: HTTPS links of advertisement cards and
// links the pages ask to open in the browser.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace harvel {

// The trimming set of the online texts: Unicode white space without U+0085,
// plus the byte-order mark U+FEFF.
bool is_space_or_bom(char32_t c);

// The host, lower-cased, of a well-formed "https://" link with a dotted host
// name, an optional numeric port and a tail free of blanks and control
// characters; none for anything else (at most 2048 characters).
std::optional<std::string> https_url_host(std::string_view url);

// Whether a page may have `url` opened in the default browser: a text of at
// most 2048 characters with no white space, double quote or control
// character that is a valid HTTPS link, the site base URL itself, or a path
// under it.
bool is_allowed_external_link(std::string_view url, std::string_view site_url);

}  // namespace harvel
