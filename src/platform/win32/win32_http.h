// HTTP GET over WinHTTP and the system's TLS (SChannel).
#pragma once

#include <memory>

#include "platform/os.h"

namespace harvel::win32 {

// One WinHTTP session for the whole process (created on first use, then
// shared by every thread; it keeps the connection pool). Redirects, cookies
// and proxies are off; each request sets its own timeouts.
class Win32Http final : public os::Http {
 public:
  Win32Http();
  ~Win32Http() override;
  Win32Http(const Win32Http&) = delete;
  Win32Http& operator=(const Win32Http&) = delete;
  std::unique_ptr<os::HttpResponse> get(const os::HttpRequest& request) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace harvel::win32
