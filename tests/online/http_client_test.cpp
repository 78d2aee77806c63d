#include <gtest/gtest.h>

#include "online/http_client.h"
#include "online_fixture.h"

namespace harvel {
namespace {

TEST(RedirectTarget, Rules) {
  struct Case {
    const char* current;
    const char* location;
    std::optional<std::string> next;
  };
  const Case cases[] = {
      // An absolute path keeps only the origin (host and port) of the current address.
      {"https://a.uz:8443/old/path?q=1#f", "/new?x=2", "https://a.uz:8443/new?x=2"},
      {"https://a.uz?q=1", "/n", "https://a.uz/n"},
      {"https://a.uz", "/n", "https://a.uz/n"},
      {"https://a.uz/x", "https://b.uz/y", "https://b.uz/y"},
      {"http://a.uz/x", "http://b.uz/y", "http://b.uz/y"},
      {"http://a.uz/x", "https://b.uz/y", "https://b.uz/y"},
      {"http://a.uz/x", "/y", "http://a.uz/y"},
      {"https://a.uz/x", "http://b.uz/y", std::nullopt},  // no downgrade
      {"https://a.uz/x", "//b.uz/y", std::nullopt},
      {"https://a.uz/x", "y/z", std::nullopt},
      {"https://a.uz/x", "/a\\b", std::nullopt},
      {"https://a.uz/x", "HTTPS://b.uz/", std::nullopt},  // the scheme test is case-sensitive
      {"https://a.uz/x", "", std::nullopt},
      {"no-scheme", "/y", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.current) + " -> " + c.location);
    EXPECT_EQ(redirect_target(c.current, c.location), c.next);
  }
}

struct HttpGet : ::testing::Test {
  testing::OnlineFixture f;
  std::unique_ptr<os::HttpResponse> get(const std::string& url) {
    return http_get(init_http_agent(), url, HttpDeadline::TenSeconds);
  }
};

TEST_F(HttpGet, FollowsFiveRedirectsButNotSix) {
  for (int i = 0; i < 5; ++i) {
    f.http.redirect("https://a.uz/" + std::to_string(i), i % 2 ? 302 : 308, "/" + std::to_string(i + 1));
  }
  f.http.answer("https://a.uz/5", 200, "end");
  auto r = get("https://a.uz/0");
  ASSERT_TRUE(r);
  EXPECT_EQ(read_bounded_text(*r), "end");
  EXPECT_EQ(f.http.requests().size(), 6u);
  // Every request carries the agent's settings and its own 10 s.
  for (const auto& req : f.http.requests()) {
    EXPECT_EQ(req.user_agent, "ureq/2.12.1");
    EXPECT_EQ(req.connect_timeout, std::chrono::milliseconds(30000));
    EXPECT_EQ(req.total_timeout, std::chrono::milliseconds(10000));
    EXPECT_FALSE(req.read_timeout);
  }

  f.http.redirect("https://a.uz/5", 301, "/6");
  f.http.answer("https://a.uz/6", 200, "too far");
  EXPECT_FALSE(get("https://a.uz/0"));
}

TEST_F(HttpGet, StatusHandling) {
  f.http.answer("https://a.uz/404", 404, "not here");
  f.http.answer("https://a.uz/500", 500, "broken");
  f.http.answer("https://a.uz/304", 304, "");
  f.http.redirect("https://a.uz/300", 300, "/elsewhere");
  f.http.answer("https://a.uz/elsewhere", 200, "no");
  fake::FakeHttpAnswer no_location;
  no_location.status = 302;
  f.http.answer("https://a.uz/302", no_location);
  fake::FakeHttpAnswer lower;
  lower.status = 307;
  lower.headers = {{"LOCATION", "/ok"}};
  f.http.answer("https://a.uz/307", lower);
  f.http.answer("https://a.uz/ok", 200, "ok");

  EXPECT_FALSE(get("https://a.uz/404"));
  EXPECT_FALSE(get("https://a.uz/500"));
  EXPECT_FALSE(get("https://a.uz/302"));
  EXPECT_FALSE(get("https://a.uz/unreachable"));
  auto not_modified = get("https://a.uz/304");
  ASSERT_TRUE(not_modified);
  EXPECT_EQ(not_modified->status(), 304);
  auto multiple = get("https://a.uz/300");
  ASSERT_TRUE(multiple);
  EXPECT_EQ(multiple->status(), 300);
  auto followed = get("https://a.uz/307");
  ASSERT_TRUE(followed);
  EXPECT_EQ(followed->status(), 200);
}

TEST_F(HttpGet, DowngradeRefusedFromHttpsOnly) {
  f.http.redirect("https://a.uz/s", 302, "http://a.uz/plain");
  f.http.redirect("http://a.uz/p", 302, "http://a.uz/plain");
  f.http.answer("http://a.uz/plain", 200, "plain");
  EXPECT_FALSE(get("https://a.uz/s"));
  EXPECT_TRUE(get("http://a.uz/p"));
}

TEST_F(HttpGet, BoundedTextBody) {
  fake::FakeHttpAnswer a;
  a.body = std::string(kMaxTextBody, 'x');
  a.chunk = 1000;
  f.http.answer("https://a.uz/max", a);
  a.body.push_back('x');
  f.http.answer("https://a.uz/over", a);
  f.http.answer("https://a.uz/latin1", 200, "caf\xE9");
  fake::FakeHttpAnswer broken;
  broken.body = "{\"a\":1}";
  broken.fail_after = 3;
  f.http.answer("https://a.uz/broken", broken);

  EXPECT_EQ(fetch_small_document("https://a.uz/max").value().size(), kMaxTextBody);
  EXPECT_FALSE(fetch_small_document("https://a.uz/over"));
  EXPECT_FALSE(fetch_small_document("https://a.uz/latin1"));
  EXPECT_FALSE(fetch_small_document("https://a.uz/broken"));
}

TEST(HttpAgents, Configurations) {
  EXPECT_EQ(init_http_agent().connect_timeout, std::chrono::milliseconds(30000));
  EXPECT_FALSE(init_http_agent().read_timeout);
  EXPECT_EQ(&init_http_agent(), &init_http_agent());
  EXPECT_EQ(download_http_agent().connect_timeout, std::chrono::milliseconds(15000));
  EXPECT_EQ(download_http_agent().read_timeout, std::chrono::milliseconds(10000));
}

}  // namespace
}  // namespace harvel
