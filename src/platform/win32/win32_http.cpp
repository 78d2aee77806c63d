#include "platform/win32/win32_http.h"

#include "platform/os.h"  // before windows.h: its constants clash with the macros

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/win32_text.h"

namespace harvel::win32 {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Handle {
  HINTERNET h = nullptr;
  Handle() = default;
  explicit Handle(HINTERNET v) : h(v) {}
  ~Handle() {
    if (h) WinHttpCloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

// A WinHTTP timeout in ms: 0 means "wait forever" there, so a spent budget
// becomes 1 ms.
int timeout_ms(std::optional<milliseconds> limit) {
  if (!limit) return 0;
  return static_cast<int>(std::clamp<int64_t>(limit->count(), 1, INT32_MAX));
}

class WinHttpResponse final : public os::HttpResponse {
 public:
  int status() const override { return status_; }
  const std::vector<std::pair<std::string, std::string>>& headers() const override { return headers_; }

  std::optional<std::size_t> read(std::span<uint8_t> buffer) override {
    if (buffer.empty()) return 0;
    std::optional<milliseconds> wait = read_timeout_;
    if (deadline_) {
      const auto left = std::chrono::duration_cast<milliseconds>(*deadline_ - Clock::now());
      if (left.count() <= 0) return std::nullopt;
      wait = wait ? std::min(*wait, left) : left;
    }
    int receive = timeout_ms(wait);
    WinHttpSetOption(request_.h, WINHTTP_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 20));
    if (!WinHttpReadData(request_.h, buffer.data(), want, &got)) return std::nullopt;
    return got;
  }

  Handle connect_;
  Handle request_;
  int status_ = 0;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::optional<milliseconds> read_timeout_;
  std::optional<Clock::time_point> deadline_;
};

void parse_raw_headers(const std::wstring& raw, std::vector<std::pair<std::string, std::string>>& out) {
  std::size_t pos = raw.find(L"\r\n");  // the status line comes first
  while (pos != std::wstring::npos) {
    pos += 2;
    const std::size_t end = raw.find(L"\r\n", pos);
    const std::wstring line = raw.substr(pos, end == std::wstring::npos ? std::wstring::npos : end - pos);
    pos = end;
    const std::size_t colon = line.find(L':');
    if (line.empty() || colon == std::wstring::npos) continue;
    std::wstring value = line.substr(colon + 1);
    const std::size_t first = value.find_first_not_of(L" \t");
    const std::size_t last = value.find_last_not_of(L" \t");
    value = first == std::wstring::npos ? std::wstring() : value.substr(first, last - first + 1);
    out.emplace_back(narrow(line.substr(0, colon)), narrow(value));
  }
}

}  // namespace

struct Win32Http::Impl {
  std::mutex mutex;
  HINTERNET session = nullptr;

  HINTERNET session_for(const std::string& user_agent) {
    std::lock_guard lock(mutex);
    if (!session) {
      session = WinHttpOpen(widen(user_agent).c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0);
    }
    return session;
  }
};

Win32Http::Win32Http() : impl_(std::make_unique<Impl>()) {}

Win32Http::~Win32Http() {
  if (impl_->session) WinHttpCloseHandle(impl_->session);
}

std::unique_ptr<os::HttpResponse> Win32Http::get(const os::HttpRequest& r) {
  HINTERNET session = impl_->session_for(r.user_agent);
  if (!session) return nullptr;
  std::optional<Clock::time_point> deadline;
  if (r.total_timeout) deadline = Clock::now() + *r.total_timeout;

  std::wstring url = widen(r.url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return nullptr;
  if (parts.nScheme != INTERNET_SCHEME_HTTPS && parts.nScheme != INTERNET_SCHEME_HTTP) return nullptr;
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  // The fragment is not sent.
  std::wstring extra(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (const std::size_t hash = extra.find(L'#'); hash != std::wstring::npos) extra.resize(hash);
  path += extra;
  if (path.empty()) path = L"/";

  auto response = std::make_unique<WinHttpResponse>();
  response->read_timeout_ = r.read_timeout;
  response->deadline_ = deadline;
  response->connect_.h = WinHttpConnect(session, host.c_str(), parts.nPort, 0);
  if (!response->connect_.h) return nullptr;
  response->request_.h =
      WinHttpOpenRequest(response->connect_.h, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                         WINHTTP_DEFAULT_ACCEPT_TYPES, parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
  HINTERNET req = response->request_.h;
  if (!req) return nullptr;

  DWORD features = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES;
  WinHttpSetOption(req, WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof(features));
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(req, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));

  const auto left = [&]() -> std::optional<milliseconds> {
    if (!deadline) return std::nullopt;
    return std::chrono::duration_cast<milliseconds>(*deadline - Clock::now());
  };
  const auto shorter = [](std::optional<milliseconds> a, std::optional<milliseconds> b) {
    if (!a) return b;
    if (!b) return a;
    return std::optional<milliseconds>(std::min(*a, *b));
  };
  const int resolve = timeout_ms(left());
  const int connect = timeout_ms(shorter(r.connect_timeout, left()));
  const int io = timeout_ms(shorter(r.read_timeout, left()));
  if (!WinHttpSetTimeouts(req, resolve, connect, io, io)) return nullptr;

  if (!WinHttpSendRequest(req, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) return nullptr;
  if (!WinHttpReceiveResponse(req, nullptr)) return nullptr;

  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(req, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                           &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return nullptr;
  }
  response->status_ = static_cast<int>(status);

  DWORD bytes = 0;
  WinHttpQueryHeaders(req, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                      &bytes, WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && bytes > 0) {
    std::wstring raw(bytes / sizeof(wchar_t) + 1, L'\0');
    if (WinHttpQueryHeaders(req, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, raw.data(), &bytes,
                            WINHTTP_NO_HEADER_INDEX)) {
      raw.resize(bytes / sizeof(wchar_t));
      parse_raw_headers(raw, response->headers_);
    }
  }
  return response;
}

}  // namespace harvel::win32
