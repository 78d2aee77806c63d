#include "platform/fake/fake_http.h"

#include <algorithm>
#include <cstring>

namespace harvel::fake {

namespace {

class FakeResponse final : public os::HttpResponse {
 public:
  explicit FakeResponse(FakeHttpAnswer a) : a_(std::move(a)) {}
  int status() const override { return a_.status; }
  const std::vector<std::pair<std::string, std::string>>& headers() const override { return a_.headers; }
  std::optional<std::size_t> read(std::span<uint8_t> buffer) override {
    if (a_.on_read) a_.on_read(pos_);
    if (a_.fail_after && pos_ >= *a_.fail_after) return std::nullopt;
    const std::size_t size = a_.filler_size ? *a_.filler_size : a_.body.size();
    std::size_t n = std::min(buffer.size(), size - pos_);
    if (a_.chunk > 0) n = std::min(n, a_.chunk);
    if (a_.fail_after) n = std::min(n, *a_.fail_after - pos_);
    if (a_.filler_size) {
      std::memset(buffer.data(), '#', n);
    } else {
      std::memcpy(buffer.data(), a_.body.data() + pos_, n);
    }
    pos_ += n;
    return n;
  }

 private:
  FakeHttpAnswer a_;
  std::size_t pos_ = 0;
};

}  // namespace

std::unique_ptr<os::HttpResponse> FakeHttp::get(const os::HttpRequest& request) {
  FakeHttpAnswer a;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    const auto it = answers_.find(request.url);
    if (it == answers_.end()) return nullptr;
    a = it->second;
  }
  return std::make_unique<FakeResponse>(std::move(a));
}

void FakeHttp::answer(const std::string& url, FakeHttpAnswer a) {
  std::lock_guard lock(mutex_);
  answers_[url] = std::move(a);
}

void FakeHttp::answer(const std::string& url, int status, std::string body) {
  FakeHttpAnswer a;
  a.status = status;
  a.body = std::move(body);
  answer(url, std::move(a));
}

void FakeHttp::redirect(const std::string& url, int status, const std::string& location) {
  FakeHttpAnswer a;
  a.status = status;
  a.headers = {{"Location", location}};
  answer(url, std::move(a));
}

void FakeHttp::remove(const std::string& url) {
  std::lock_guard lock(mutex_);
  answers_.erase(url);
}

std::vector<os::HttpRequest> FakeHttp::requests() {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<std::string> FakeHttp::urls() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& r : requests_) out.push_back(r.url);
  return out;
}

void FakeHttp::clear_requests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

}  // namespace harvel::fake
