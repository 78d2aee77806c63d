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
      {"HARVEL://localhost/", true},
      {"harvel:anything", true},
      {"https://harvel.localhost/", true},
      {"http://harvel.localhost", true},
      {"https://harvel.localhost:8443/any/path?q=1#x", true},
      {"HTTPS://Harvel.LocalHost/index.html", true},
      {"https://user:pw@harvel.localhost/", true},
      {"https://harvel.localhost.evil.com/", false},
      {"https://evil.com/?harvel.localhost", false},
      {"https://evil.com#@harvel.localhost", false},
      {"https://harvel.localhost@evil.com/", false},
      {"https://sub.harvel.localhost/", false},
      {"https://harvel.uz/", false},
      {"https://localhost/", false},
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
}

}  // namespace
}  // namespace harvel
