#include <string>

#include <gtest/gtest.h>

#include "core/display_text.h"
#include "online/remote_disable.h"
#include "online/url_rules.h"

namespace harvel {
namespace {

TEST(HttpsUrlHost, AcceptsWellFormedLinksOnly) {
  struct Case {
    std::string url;
    std::optional<std::string> host;
  };
  const std::string label63(63, 'a');
  const Case cases[] = {
      {"https://harvel.uz", "harvel.uz"},
      {"https://Shop.Example.COM/x", "shop.example.com"},
      {"https://a-b.c0.example.org?q=1", "a-b.c0.example.org"},
      {"https://example.com#frag", "example.com"},
      {"https://example.com:1", "example.com"},
      {"https://example.com:99999/x", "example.com"},
      {"https://example.com/yo‘l/ş?ç=ö", "example.com"},
      {"https://" + label63 + ".com", label63 + ".com"},
      {"https://" + std::string(64, 'a') + ".com", std::nullopt},
      {"https://example." + std::string(63, 'z'), "example." + std::string(63, 'z')},
      {"https://example." + std::string(64, 'z'), std::nullopt},
      {"https://example.c", std::nullopt},
      {"https://example.c0m", std::nullopt},
      {"https://localhost", std::nullopt},
      {"https://.example.com", std::nullopt},
      {"https://a..com", std::nullopt},
      {"https://-a.com", std::nullopt},
      {"https://a-.com", std::nullopt},
      {"https://a_b.com", std::nullopt},
      {"https://127.0.0.1", std::nullopt},
      {"https://user@example.com", std::nullopt},
      {"https://example.com:", std::nullopt},
      {"https://example.com:/x", std::nullopt},
      {"https://example.com:123456", std::nullopt},
      {"https://example.com:80a", std::nullopt},
      {"https://example.com@evil.com", std::nullopt},
      {"https://example.com\\x", std::nullopt},
      {"https://example.com/a b", std::nullopt},
      {"https://example.com/\u00A0", std::nullopt},
      {"https://example.com/\uFEFF", std::nullopt},
      {"https://example.com/\u2028", std::nullopt},
      {"https://example.com/\u0085", std::nullopt},
      {"https://example.com/\u009F", std::nullopt},
      {"https://example.com/\x01", std::nullopt},
      {"https://example.com/\xFF", std::nullopt},
      {"HTTPS://example.com", std::nullopt},
      {"http://example.com", std::nullopt},
      {"https:/example.com", std::nullopt},
      {"https://", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(https_url_host(c.url), c.host) << c.url;

  // At most 2048 characters, counted as characters.
  const std::string head = "https://example.com/";
  EXPECT_TRUE(https_url_host(head + std::string(2048 - head.size(), 'a')));
  EXPECT_FALSE(https_url_host(head + std::string(2049 - head.size(), 'a')));
  std::string wide = head;
  for (std::size_t i = head.size(); i < 2048; ++i) wide += "ş";
  EXPECT_TRUE(https_url_host(wide));
  EXPECT_FALSE(https_url_host(wide + "ş"));
}

TEST(ExternalLinks, SiteBaseAddressAndPathsUnderIt) {
  // A site address that is no HTTPS link by itself shows the base-address rule alone.
  const std::string site = "http://127.0.0.1:8080";
  struct Case {
    const char* url;
    bool allowed;
  };
  const Case cases[] = {
      {"http://127.0.0.1:8080", true},
      {"http://127.0.0.1:8080/", true},
      {"http://127.0.0.1:8080/api/x?y", true},
      {"http://127.0.0.1:80801", false},
      {"http://127.0.0.1:8080x", false},
      {"http://127.0.0.1:808", false},
      {"http://127.0.0.1:8080/a b", false},
      {"http://127.0.0.1:8080/\"", false},
      {"https://harvel.uz/x", true},
  };
  for (const Case& c : cases) EXPECT_EQ(is_allowed_external_link(c.url, site), c.allowed) << c.url;
}

TEST(ExternalLinks, AnEmptySiteAddressAllowsNoPath) {
  for (const char* url : {"", "/", "/etc/passwd", "C:/Windows"}) EXPECT_FALSE(is_allowed_external_link(url, "")) << url;
  EXPECT_TRUE(is_allowed_external_link("https://harvel.uz", ""));
}

TEST(SpaceOrBom, IsWhiteSpaceWithoutNelPlusBom) {
  for (char32_t c : {U'\t', U'\r', U' ', U'\u00A0', U'\u1680', U'\u200A', U'\u2029', U'\u202F', U'\u3000', U'\uFEFF'}) {
    EXPECT_TRUE(is_space_or_bom(c)) << static_cast<uint32_t>(c);
  }
  for (char32_t c : {U'\u0085', U'\u200B', U'a', U'\u0000'}) EXPECT_FALSE(is_space_or_bom(c)) << static_cast<uint32_t>(c);
}

TEST(RemoteDisableNotice, ExplainsABlankOrDefaultMessage) {
  EXPECT_EQ(default_remote_disable_text(), "Harvel vaqtincha o‘chirilgan.");
  const char* const kExplained = "Administrator tomonidan o‘chirilgan. Yozganingiz o‘zgarmaydi";
  struct Case {
    std::string message;
    std::string body;
  };
  const Case cases[] = {
      {"Harvel vaqtincha o‘chirilgan.", kExplained},
      {"", kExplained},
      {" \u3000\n", kExplained},
      {"Harvel vaqtincha o‘chirilgan. ", "Harvel vaqtincha o‘chirilgan. "},
      {"Yangilanish kerak", "Yangilanish kerak"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(build_remote_disable_notice(c.message),
              (ToastData{"Harvel vaqtincha to‘xtatildi", c.body, ToastKind::Error}))
        << c.message;
  }
}

TEST(TrayText, ModeNamesAndShortcutLabels) {
  EXPECT_EQ(mode_name(0), "English");
  EXPECT_EQ(mode_name(1), "Fast");
  EXPECT_EQ(mode_name(2), "Hybrid");
  EXPECT_EQ(mode_name(3), "Zero-learning");
  EXPECT_EQ(mode_label(255), "O‘chiq");
  EXPECT_EQ(mode_label(3), "Zero-learning");
  struct Case {
    const char* accelerator;
    const char* label;
  };
  const Case cases[] = {
      {"Control+Shift+U", "Ctrl+Shift+U"}, {"Control+Control", "Ctrl+Ctrl"}, {"ControlControl", "CtrlCtrl"},
      {"Ctrl+Alt+U", "Ctrl+Alt+U"},        {"control+U", "control+U"},       {"", ""},
      {"Contro", "Contro"},
  };
  for (const Case& c : cases) EXPECT_EQ(hotkey_display_label(c.accelerator), c.label) << c.accelerator;
}

}  // namespace
}  // namespace harvel
