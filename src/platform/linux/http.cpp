// HTTP GET over libcurl's multi interface, so the body can be read piece by
// piece as the caller asks for it. Redirects are never followed here, no
// proxy is used (the environment's proxy variables included), and the
// system's certificate store validates TLS.
#include "platform/linux/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

namespace harvel::linux_host {

namespace {

// Above this much unread body, the transfer pauses until the reader catches up.
constexpr std::size_t kMaxBuffered = 1 << 20;

class CurlResponse final : public os::HttpResponse {
 public:
  CurlResponse() = default;
  ~CurlResponse() override {
    if (multi_ && easy_) curl_multi_remove_handle(multi_, easy_);
    if (easy_) curl_easy_cleanup(easy_);
    if (multi_) curl_multi_cleanup(multi_);
    if (headers_list_) curl_slist_free_all(headers_list_);
  }
  CurlResponse(const CurlResponse&) = delete;
  CurlResponse& operator=(const CurlResponse&) = delete;

  bool start(const os::HttpRequest& r) {
    multi_ = curl_multi_init();
    easy_ = curl_easy_init();
    if (!multi_ || !easy_) return false;
    curl_easy_setopt(easy_, CURLOPT_URL, r.url.c_str());
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_PROXY, "");
    curl_easy_setopt(easy_, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(easy_, CURLOPT_USERAGENT, r.user_agent.c_str());
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(r.connect_timeout.count()));
    if (r.total_timeout) curl_easy_setopt(easy_, CURLOPT_TIMEOUT_MS, static_cast<long>(r.total_timeout->count()));
    read_timeout_ = r.read_timeout;
    if (r.read_timeout) {
      // While the head is awaited: curl's own stall check (whole seconds);
      // the body's reads are timed in read().
      curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_LIMIT, 1L);
      curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_TIME,
                       std::max(1L, static_cast<long>((r.read_timeout->count() + 999) / 1000)));
    }
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlResponse::on_header);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlResponse::on_body);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) return false;
    while (!head_done_ && !done_) {
      if (!pump()) return false;
    }
    last_data_ = Clock::now();
    return head_done_;
  }

  int status() const override { return status_; }
  const std::vector<std::pair<std::string, std::string>>& headers() const override { return headers_; }

  std::optional<std::size_t> read(std::span<uint8_t> buffer) override {
    if (buffer.empty()) return 0;
    for (;;) {
      if (pos_ < body_.size()) {
        const std::size_t n = std::min(buffer.size(), body_.size() - pos_);
        std::memcpy(buffer.data(), body_.data() + pos_, n);
        pos_ += n;
        if (pos_ == body_.size()) {
          body_.clear();
          pos_ = 0;
          if (paused_) {
            paused_ = false;
            curl_easy_pause(easy_, CURLPAUSE_CONT);
          }
        }
        return n;
      }
      if (done_) {
        if (result_ != CURLE_OK) return std::nullopt;
        return 0;
      }
      if (read_timeout_ && Clock::now() - last_data_ > *read_timeout_) return std::nullopt;
      if (!pump()) return std::nullopt;
    }
  }

 private:
  static size_t on_header(char* data, size_t size, size_t count, void* self_ptr) {
    auto* self = static_cast<CurlResponse*>(self_ptr);
    const std::size_t n = size * count;
    std::string_view line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
      // A new head (after an interim 1xx answer): start over.
      self->headers_.clear();
      const std::size_t sp = line.find(' ');
      self->status_ = sp == std::string_view::npos ? 0 : std::atoi(std::string(line.substr(sp + 1, 3)).c_str());
    } else if (line.empty()) {
      if (self->status_ >= 200) self->head_done_ = true;
    } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
      std::string_view value = line.substr(colon + 1);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
      self->headers_.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    }
    return n;
  }

  static size_t on_body(char* data, size_t size, size_t count, void* self_ptr) {
    auto* self = static_cast<CurlResponse*>(self_ptr);
    const std::size_t n = size * count;
    if (self->body_.size() - self->pos_ >= kMaxBuffered) {
      self->paused_ = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    self->body_.append(data, n);
    self->last_data_ = Clock::now();
    return n;
  }

  // Moves the transfer on, waiting up to 100 ms for the socket; false on a
  // multi-interface error.
  bool pump() {
    int running = 0;
    if (curl_multi_perform(multi_, &running) != CURLM_OK) return false;
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &queued)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy_) {
        done_ = true;
        result_ = msg->data.result;
      }
    }
    if (done_ || (head_done_ && pos_ < body_.size())) return true;
    return curl_multi_poll(multi_, nullptr, 0, 100, nullptr) == CURLM_OK;
  }

  using Clock = std::chrono::steady_clock;
  std::optional<std::chrono::milliseconds> read_timeout_;
  Clock::time_point last_data_ = Clock::now();
  CURLM* multi_ = nullptr;
  CURL* easy_ = nullptr;
  curl_slist* headers_list_ = nullptr;
  int status_ = 0;
  std::vector<std::pair<std::string, std::string>> headers_;
  bool head_done_ = false;
  bool done_ = false;
  bool paused_ = false;
  CURLcode result_ = CURLE_OK;
  std::string body_;
  std::size_t pos_ = 0;
};

class LinuxHttp final : public os::Http {
 public:
  LinuxHttp() { curl_global_init(CURL_GLOBAL_DEFAULT); }
  std::unique_ptr<os::HttpResponse> get(const os::HttpRequest& request) override {
    auto response = std::make_unique<CurlResponse>();
    if (!response->start(request)) return nullptr;
    return response;
  }
};

}  // namespace

os::Http& linux_http() {
  static LinuxHttp http;
  return http;
}

}  // namespace harvel::linux_host
