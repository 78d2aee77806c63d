// A scripted HTTP transport: answers by address, records every request.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/os.h"

namespace harvel::fake {

struct FakeHttpAnswer {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // When set, the body is this many '#' bytes instead (large bodies without
  // holding them).
  std::optional<std::size_t> filler_size;
  // Bytes handed out per read (0: as many as the buffer holds).
  std::size_t chunk = 0;
  // A read error after this many body bytes; none: no error.
  std::optional<std::size_t> fail_after;
  // Called before each read with the bytes handed out so far.
  std::function<void(std::size_t)> on_read;
};

class FakeHttp final : public os::Http {
 public:
  std::unique_ptr<os::HttpResponse> get(const os::HttpRequest& request) override;

  // The answer for an address; an address without one fails to connect.
  void answer(const std::string& url, FakeHttpAnswer a);
  void answer(const std::string& url, int status, std::string body);
  void redirect(const std::string& url, int status, const std::string& location);
  void remove(const std::string& url);

  std::vector<os::HttpRequest> requests();
  std::vector<std::string> urls();
  void clear_requests();

 private:
  std::mutex mutex_;
  std::map<std::string, FakeHttpAnswer> answers_;
  std::vector<os::HttpRequest> requests_;
};

}  // namespace harvel::fake
