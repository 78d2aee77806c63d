#include "online/http_client.h"

#include <array>
#include <mutex>

#include "core/text.h"

namespace harvel {

namespace {

bool is_redirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

const HttpAgent& init_http_agent() {
  static std::once_flag once;
  static HttpAgent agent;
  std::call_once(once, [] { agent = HttpAgent{std::chrono::milliseconds(30000), std::nullopt}; });
  return agent;
}

HttpAgent download_http_agent() { return HttpAgent{std::chrono::milliseconds(15000), std::chrono::milliseconds(10000)}; }

std::optional<std::string> redirect_target(std::string_view current, std::string_view location) {
  std::string next;
  if (location.starts_with("https://") || location.starts_with("http://")) {
    next = std::string(location);
  } else {
    if (!location.starts_with('/') || location.starts_with("//") || location.find('\\') != std::string_view::npos) {
      return std::nullopt;
    }
    const std::size_t scheme = current.find("://");
    if (scheme == std::string_view::npos) return std::nullopt;
    const std::size_t origin_end = current.find_first_of("/?#", scheme + 3);
    next = std::string(current.substr(0, origin_end));
    next.append(location);
  }
  // https may never move to http.
  if (!next.starts_with("https://") && !current.starts_with("http://")) return std::nullopt;
  return next;
}

std::optional<std::string> find_header(const os::HttpResponse& response, std::string_view name) {
  const std::string wanted = text::ascii_lower(name);
  for (const auto& [key, value] : response.headers()) {
    if (text::ascii_lower(key) == wanted) return value;
  }
  return std::nullopt;
}

std::unique_ptr<os::HttpResponse> http_get(const HttpAgent& agent, std::string_view url, HttpDeadline deadline) {
  os::Http* http = os::platform().http;
  if (!http) return nullptr;
  std::string current(url);
  for (int i = 0; i < kMaxRequests; ++i) {
    os::HttpRequest request;
    request.url = current;
    request.user_agent = std::string(kUserAgent);
    request.connect_timeout = agent.connect_timeout;
    request.read_timeout = agent.read_timeout;
    if (deadline == HttpDeadline::TenSeconds) request.total_timeout = std::chrono::milliseconds(10000);
    std::unique_ptr<os::HttpResponse> response = http->get(request);
    if (!response) return nullptr;
    const int status = response->status();
    if (status >= 400) return nullptr;
    if (!is_redirect(status)) return response;
    const auto location = find_header(*response, "location");
    if (!location) return nullptr;
    auto next = redirect_target(current, *location);
    if (!next) return nullptr;
    current = std::move(*next);
  }
  return nullptr;
}

std::optional<std::string> read_bounded_text(os::HttpResponse& response) {
  std::string body;
  std::array<uint8_t, 16384> buffer;
  for (;;) {
    const auto n = response.read(buffer);
    if (!n) return std::nullopt;
    if (*n == 0) break;
    body.append(reinterpret_cast<const char*>(buffer.data()), *n);
    if (body.size() > kMaxTextBody) return std::nullopt;
  }
  if (!text::is_valid_utf8(body)) return std::nullopt;
  return body;
}

std::optional<std::string> fetch_small_document(std::string_view url) {
  auto response = http_get(init_http_agent(), url, HttpDeadline::TenSeconds);
  if (!response) return std::nullopt;
  return read_bounded_text(*response);
}

}  // namespace harvel
