// The program's HTTP client: the two agent configurations, the one GET
// routine with its own redirect rule, and the bounded reading of small
// documents.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os.h"

namespace harvel {

inline constexpr std::string_view kUserAgent = "ureq/2.12.1";
inline constexpr std::size_t kMaxTextBody = 262144;
inline constexpr int kMaxRequests = 6;  // so at most 5 redirects

struct HttpAgent {
  std::chrono::milliseconds connect_timeout{30000};
  std::optional<std::chrono::milliseconds> read_timeout;
};

// The shared agent, built once (connect 30 s, no read timeout).
const HttpAgent& init_http_agent();
// The installer download's agent (connect 15 s, each read at most 10 s).
HttpAgent download_http_agent();

enum class HttpDeadline { TenSeconds, None };

// The next address of a redirect from `current` to a "location" value;
// none when the value or the move is refused (relative forms other than an
// absolute path, a protocol-relative "//", a backslash, https to http).
std::optional<std::string> redirect_target(std::string_view current, std::string_view location);

// A header's value (names compared without regard to case).
std::optional<std::string> find_header(const os::HttpResponse& response, std::string_view name);

// GET with at most 5 redirects followed by our own rule; the final answer
// (status below 400 and not a followed redirect), or null on any failure.
std::unique_ptr<os::HttpResponse> http_get(const HttpAgent& agent, std::string_view url, HttpDeadline deadline);

// The whole body as UTF-8 text of at most 262144 bytes; none otherwise.
std::optional<std::string> read_bounded_text(os::HttpResponse& response);

// http_get with the shared agent and the 10 s deadline, then the bounded text.
std::optional<std::string> fetch_small_document(std::string_view url);

}  // namespace harvel
