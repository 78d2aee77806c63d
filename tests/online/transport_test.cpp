// The system's real HTTP transport (libcurl on Linux, WinHTTP on Windows)
// against a small HTTP server on 127.0.0.1 started by the test.
#ifdef HARVEL_HTTP_TRANSPORT_TEST

#include "platform/os.h"  // before windows.h

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include "platform/win32/win32_http.h"
#else
#include "platform/linux/http.h"
#endif

namespace harvel {
namespace {

#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
void close_socket(Socket s) { closesocket(s); }
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
void close_socket(Socket s) { close(s); }
#endif

constexpr std::size_t kBigSize = 3 * 1024 * 1024 + 17;

char big_byte(std::size_t i) { return static_cast<char>('a' + (i * 7 + i / 4096) % 26); }

// Answers by path; every connection is closed after one answer.
class LocalServer {
 public:
  LocalServer() {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    listen(listener_, 16);
    socklen_t len = sizeof(addr);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~LocalServer() {
    stop_ = true;
    thread_.join();
    for (auto& t : workers_) t.join();
    close_socket(listener_);
  }
  std::string url(std::string_view path) const {
    std::string u = "http://127.0.0.1:";
    u.append(std::to_string(port_)).append(path);
    return u;
  }
  std::string last_request() {
    std::lock_guard lock(mutex_);
    return last_request_;
  }

 private:
  void serve() {
    while (!stop_) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(listener_, &set);
      timeval tv{0, 50000};
      if (select(static_cast<int>(listener_ + 1), &set, nullptr, nullptr, &tv) <= 0) continue;
      const Socket client = accept(listener_, nullptr, nullptr);
      if (client == kNoSocket) continue;
      workers_.emplace_back([this, client] { answer(client); });
    }
  }

  static void send_all(Socket s, std::string_view data) {
    while (!data.empty()) {
      const int n = static_cast<int>(send(s, data.data(), static_cast<int>(std::min<std::size_t>(data.size(), 65536)), 0));
      if (n <= 0) return;
      data.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  void answer(Socket s) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const int n = static_cast<int>(recv(s, buffer, sizeof(buffer), 0));
      if (n <= 0) break;
      request.append(buffer, static_cast<std::size_t>(n));
    }
    {
      std::lock_guard lock(mutex_);
      last_request_ = request;
    }
    const std::size_t sp = request.find(' ');
    const std::string path = request.substr(sp + 1, request.find(' ', sp + 1) - sp - 1);
    const auto head = [](const char* status, std::size_t length, const char* extra = "") {
      std::string h = "HTTP/1.1 ";
      h.append(status).append("\r\nContent-Length: ").append(std::to_string(length));
      h.append("\r\nConnection: close\r\n").append(extra).append("\r\n");
      return h;
    };
    if (path == "/text") {
      send_all(s, head("200 OK", 5, "X-Test:  padded value \r\n") + "hello");
    } else if (path == "/redirect") {
      send_all(s, head("302 Found", 0, "Location: /text\r\n"));
    } else if (path == "/missing") {
      send_all(s, head("404 Not Found", 4) + "nope");
    } else if (path == "/big") {
      std::string body(kBigSize, '\0');
      for (std::size_t i = 0; i < body.size(); ++i) body[i] = big_byte(i);
      send_all(s, head("200 OK", body.size()) + body);
    } else if (path == "/slow") {
      send_all(s, head("200 OK", 10) + "12345");
      for (int i = 0; i < 60 && !stop_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      send_all(s, "67890");
    } else {
      send_all(s, head("500 Internal Server Error", 0));
    }
#ifdef _WIN32
    shutdown(s, SD_SEND);
#else
    shutdown(s, SHUT_WR);
#endif
    close_socket(s);
  }

  Socket listener_ = kNoSocket;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::string last_request_;
};

os::Http& transport() {
#ifdef _WIN32
  static win32::Win32Http http;
  return http;
#else
  return linux_host::linux_http();
#endif
}

os::HttpRequest request(const std::string& url) {
  os::HttpRequest r;
  r.url = url;
  r.user_agent = "ureq/2.12.1";
  r.connect_timeout = std::chrono::milliseconds(5000);
  r.total_timeout = std::chrono::milliseconds(10000);
  return r;
}

std::optional<std::string> read_all(os::HttpResponse& response, std::size_t piece = 65536) {
  std::string body;
  std::vector<uint8_t> buffer(piece);
  for (;;) {
    const auto n = response.read(buffer);
    if (!n) return std::nullopt;
    if (*n == 0) return body;
    body.append(reinterpret_cast<const char*>(buffer.data()), *n);
  }
}

std::optional<std::string> header(const os::HttpResponse& r, std::string_view name) {
  for (const auto& [k, v] : r.headers()) {
    if (k.size() == name.size() && std::equal(k.begin(), k.end(), name.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        })) {
      return v;
    }
  }
  return std::nullopt;
}

TEST(HttpTransport, BodyHeadersAndUserAgent) {
  LocalServer server;
#ifndef _WIN32
  // The environment's proxy is never used.
  setenv("http_proxy", "http://127.0.0.1:1", 1);
  setenv("ALL_PROXY", "http://127.0.0.1:1", 1);
#endif
  auto r = transport().get(request(server.url("/text")));
#ifndef _WIN32
  unsetenv("http_proxy");
  unsetenv("ALL_PROXY");
#endif
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status(), 200);
  EXPECT_EQ(header(*r, "x-test"), "padded value");
  EXPECT_EQ(read_all(*r), "hello");
  EXPECT_NE(server.last_request().find("User-Agent: ureq/2.12.1\r\n"), std::string::npos) << server.last_request();
  EXPECT_EQ(server.last_request().rfind("GET /text HTTP/1.1\r\n", 0), 0u);
}

TEST(HttpTransport, RedirectsAndErrorStatusesAreHandedBack) {
  LocalServer server;
  auto moved = transport().get(request(server.url("/redirect")));
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->status(), 302);
  EXPECT_EQ(header(*moved, "location"), "/text");
  auto missing = transport().get(request(server.url("/missing")));
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status(), 404);
}

TEST(HttpTransport, LargeBodyStreamsIntact) {
  LocalServer server;
  auto r = transport().get(request(server.url("/big")));
  ASSERT_TRUE(r);
  // Read slowly at first so the transfer has to wait for the reader.
  std::vector<uint8_t> piece(1000);
  std::string body;
  for (int i = 0; i < 3; ++i) {
    const auto n = r->read(piece);
    ASSERT_TRUE(n);
    body.append(reinterpret_cast<const char*>(piece.data()), *n);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const auto rest = read_all(*r);
  ASSERT_TRUE(rest);
  body += *rest;
  ASSERT_EQ(body.size(), kBigSize);
  for (std::size_t i = 0; i < body.size(); i += 4099) ASSERT_EQ(body[i], big_byte(i)) << i;
}

TEST(HttpTransport, DeadlineCoversTheBody) {
  LocalServer server;
  os::HttpRequest req = request(server.url("/slow"));
  req.total_timeout = std::chrono::milliseconds(1000);
  const auto start = std::chrono::steady_clock::now();
  auto r = transport().get(req);
  if (r) {
    EXPECT_FALSE(read_all(*r));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2900));
}

TEST(HttpTransport, ReadTimeoutEndsAStalledBody) {
  LocalServer server;
  os::HttpRequest req = request(server.url("/slow"));
  req.total_timeout.reset();
  req.read_timeout = std::chrono::milliseconds(1000);
  const auto start = std::chrono::steady_clock::now();
  auto r = transport().get(req);
  if (r) {
    EXPECT_FALSE(read_all(*r));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2900));
}

TEST(HttpTransport, RefusedConnectionFails) {
  std::string url;
  {
    LocalServer server;
    url = server.url("/text");
  }
  EXPECT_FALSE(transport().get(request(url)));
}

}  // namespace
}  // namespace harvel

#endif  // HARVEL_HTTP_TRANSPORT_TEST
