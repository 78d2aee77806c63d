#include "app/navigation.h"

#include <gtest/gtest.h>

namespace harvel {
namespace {

struct Case {
  const char* url;
  bool allowed;
};

TEST(IsAppNavigationUrl, OnlyTheApplicationsOrigin) {
  const Case cases[] = {
      {"harvel://localhost/index.html", true},
      {"harvel://localhost/index.html#/tray", true},
      {"HARVEL://LocalHost/", true},
      {"harvel://localhost", true},
      {"harvel://localhost?x", true},
      {"https://harvel.localhost/", true},
      {"https://harvel.localhost", true},
      {"https://harvel.localhost/any/path?q=1#x", true},
      {"HTTPS://Harvel.LocalHost/index.html", true},
      // Exactly the two origins: no other port (it reaches loopback), scheme,
      // host, user or form.
      {"https://harvel.localhost:8443/any/path?q=1#x", false},
      {"https://harvel.localhost:443/", false},
      {"harvel://localhost:1/", false},
      {"http://harvel.localhost/", false},
      {"http://harvel.localhost:8080/", false},
      {"https://user:pw@harvel.localhost/", false},
      {"harvel:anything", false},
      {"harvel://other/index.html", false},
      {"harvel://harvel.localhost/", false},
      {"https://localhost/", false},
      {"https://harvel.localhost.evil.com/", false},
      {"https://harvel.localhost@evil.com/", false},
      {"https://evil.com/?harvel.localhost", false},
      {"https://evil.com#@harvel.localhost", false},
      {"https://sub.harvel.localhost/", false},
      {"https://harvel.uz/", false},
      {"ftp://harvel.localhost/", false},
      {"file:///index.html", false},
      {"about:blank", false},
      {"data:text/html,hi", false},
      {"javascript:alert(1)", false},
      {"https://", false},
      {"https:///path", false},
      {"https:harvel.localhost", false},
      {"harvel.localhost", false},
      {"", false},
      {"://harvel.localhost", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_app_navigation_url(c.url), c.allowed) << c.url;
  }
  std::string_view rest;
  EXPECT_EQ(app_origin_of("HTTPS://harvel.localhost/a?b", &rest), "https://harvel.localhost");
  EXPECT_EQ(rest, "/a?b");
}

}  // namespace
}  // namespace harvel
