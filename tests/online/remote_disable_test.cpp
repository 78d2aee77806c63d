#include <gtest/gtest.h>

#include "keyboard/hook_flags.h"
#include "online/http_client.h"
#include "online/remote_disable.h"
#include "online/signing.h"
#include "online_fixture.h"

namespace harvel {
namespace {

constexpr const char* kNow = "2026-03-01T12:00:00Z";

int64_t at(const char* text) { return parse_rfc3339_millis(text).value(); }

KillSigned signed_order(const testing::TestSigner& signer, std::string issued, std::string expires,
                        std::string message = "Texnik ishlar") {
  KillSigned k;
  k.enabled = true;
  k.message = message;
  k.issued_at = issued;
  k.expires_at = expires;
  k.signature = signer.sign(kill_signed_line(issued, expires, message));
  return k;
}

TEST(KillSigned, AcceptanceWindow) {
  testing::TestSigner signer;
  const auto key = std::optional<PublicKey>(signer.key());
  const int64_t now = at(kNow);
  struct Case {
    const char* issued;
    const char* expires;
    bool accepted;
  };
  const Case cases[] = {
      {"2026-03-01T12:09:00Z", "2026-03-02T00:00:00Z", true},   // 9 minutes ahead
      {"2026-03-01T12:10:00Z", "2026-03-02T00:00:00Z", true},   // exactly 10 minutes
      {"2026-03-01T12:11:00Z", "2026-03-02T00:00:00Z", false},  // 11 minutes ahead
      {"2026-02-28T00:00:00Z", "2026-03-01T12:00:00Z", false},  // expires exactly now
      {"2026-02-28T00:00:00Z", "2026-03-01T12:00:00.001Z", true},
      {"2026-03-01T00:00:00Z", "2026-04-01T00:00:00Z", true},   // span of exactly 31 days
      {"2026-03-01T00:00:00Z", "2026-04-01T00:00:00.001Z", false},
      {"2026-03-01", "2026-04-01T00:00:00Z", false},
      {"2026-03-01T00:00:00Z", "soon", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.issued) + " .. " + c.expires);
    EXPECT_EQ(accept_kill_signed(signed_order(signer, c.issued, c.expires), now, key).has_value(), c.accepted);
  }

  const KillSigned good = signed_order(signer, "2026-03-01T11:00:00Z", "2026-03-02T00:00:00Z", "a|b");
  const auto accepted = accept_kill_signed(good, now, key);
  ASSERT_TRUE(accepted);
  EXPECT_EQ(accepted->message, "a|b");
  EXPECT_FALSE(accept_kill_signed(good, now, std::nullopt));
  testing::TestSigner other;
  EXPECT_FALSE(accept_kill_signed(good, now, std::optional<PublicKey>(other.key())));
  KillSigned tampered = good;
  tampered.message = "a|c";
  EXPECT_FALSE(accept_kill_signed(tampered, now, key));
  KillSigned disabled = good;
  disabled.enabled = false;
  EXPECT_FALSE(accept_kill_signed(disabled, now, key));
  KillSigned unsigned_order = good;
  unsigned_order.signature.reset();
  EXPECT_FALSE(accept_kill_signed(unsigned_order, now, key));
  KillSigned no_message = good;
  no_message.message.reset();
  EXPECT_FALSE(accept_kill_signed(no_message, now, key));
  EXPECT_FALSE(accept_kill_signed(std::nullopt, now, key));
}

TEST(RemoteDisableState, MessageRules) {
  const auto state = [](std::optional<std::string> message, bool enabled = true) {
    return remote_disable_state_for(RemoteDisableOrder{enabled, std::move(message)});
  };
  EXPECT_EQ(state(std::nullopt), "Harvel vaqtincha o\u2018chirilgan.");
  EXPECT_EQ(state(" \t\u3000 "), "Harvel vaqtincha o\u2018chirilgan.");
  EXPECT_EQ(state("  Ta\u2019mir\n ishlari\t  "), "Ta\u2019mir ishlari");
  EXPECT_EQ(state(std::string(250, 'a')), std::string(200, 'a'));
  // Control characters go before counting; the limit is in characters.
  EXPECT_EQ(state("\x01" + std::string(10, '\t') + "x" + std::string(5, '\n') + std::string(199, 'y') + "z"),
            "x" + std::string(199, 'y'));
  std::string cyrillic;
  for (int i = 0; i < 210; ++i) cyrillic += "\u0436";
  std::string expect_cyr;
  for (int i = 0; i < 200; ++i) expect_cyr += "\u0436";
  EXPECT_EQ(state(cyrillic), expect_cyr);
  EXPECT_EQ(state("a\xC2\x85z"), "az");  // U+0085 is a control character
  EXPECT_EQ(state("m", false), std::nullopt);
  EXPECT_EQ(remote_disable_state_for(std::nullopt), std::nullopt);
}

TEST(RemoteDisableNotice, Texts) {
  const ToastData custom = build_remote_disable_notice("Yangilanmoqda");
  EXPECT_EQ(custom.title, "Harvel vaqtincha to\u2018xtatildi");
  EXPECT_EQ(custom.body, "Yangilanmoqda");
  EXPECT_EQ(custom.kind, ToastKind::Error);
  for (const std::string& m : {std::string("   "), std::string(default_remote_disable_text())}) {
    EXPECT_EQ(build_remote_disable_notice(m).body, "Administrator tomonidan o\u2018chirilgan. Yozganingiz o\u2018zgarmaydi");
  }
}

TEST(ApplyRemoteDisable, ChangesOnceAndClears) {
  testing::OnlineFixture f;
  const RemoteDisableOrder order{true, std::string("Texnik ishlar")};
  apply_remote_disable(f.t.app, order);
  apply_remote_disable(f.t.app, order);
  EXPECT_EQ(f.t.ctx().remote_disable_message.copy(), "Texnik ishlar");
  EXPECT_EQ(hook_flags().remote_disabled.load(), 1);
  EXPECT_EQ(f.broadcasts(), 1);
  ASSERT_EQ(f.t.notices.size(), 1u);
  EXPECT_EQ(f.t.notices[0].body, "Texnik ishlar");

  // A new message while active: stored and broadcast, no notice.
  apply_remote_disable(f.t.app, RemoteDisableOrder{true, std::string("Boshqa")});
  EXPECT_EQ(f.broadcasts(), 2);
  EXPECT_EQ(f.t.notices.size(), 1u);

  apply_remote_disable(f.t.app, RemoteDisableOrder{false, std::string("Boshqa")});
  EXPECT_FALSE(f.t.ctx().remote_disable_message.copy());
  EXPECT_EQ(hook_flags().remote_disabled.load(), 0);
  EXPECT_EQ(f.broadcasts(), 3);
  EXPECT_EQ(f.t.notices.size(), 1u);
}

TEST(KillSwitchPoll, AppliesSignedOrderAndKeepsStateOnFailedFetch) {
  testing::OnlineFixture f;
  f.t.sys.set_unix_ms(at(kNow));
  const KillSigned k = signed_order(f.signer, "2026-03-01T11:00:00Z", "2026-03-02T00:00:00Z");
  nlohmann::ordered_json manifest = {{"killSigned",
                                      {{"enabled", true},
                                       {"message", *k.message},
                                       {"issuedAt", *k.issued_at},
                                       {"expiresAt", *k.expires_at},
                                       {"signature", *k.signature}}}};
  f.http.answer("https://harvel.uz/api/manifest", 200, manifest.dump());
  EXPECT_TRUE(poll_kill_switch_once(f.t.app, f.key()));
  EXPECT_EQ(f.t.ctx().remote_disable_message.copy(), "Texnik ishlar");

  // No manifest: the state stays.
  f.http.remove("https://harvel.uz/api/manifest");
  EXPECT_FALSE(poll_kill_switch_once(f.t.app, f.key()));
  EXPECT_EQ(f.t.ctx().remote_disable_message.copy(), "Texnik ishlar");

  // The order has lapsed: cleared.
  f.http.answer("https://harvel.uz/api/manifest", 200, manifest.dump());
  f.t.sys.set_unix_ms(at("2026-03-02T00:00:00Z"));
  EXPECT_TRUE(poll_kill_switch_once(f.t.app, f.key()));
  EXPECT_FALSE(f.t.ctx().remote_disable_message.copy());

  // An unsigned order alone is not the poll's to apply.
  f.t.sys.set_unix_ms(at(kNow));
  f.http.answer("https://harvel.uz/api/manifest", 200, R"({"killSwitch":{"enabled":true}})");
  EXPECT_TRUE(poll_kill_switch_once(f.t.app, f.key()));
  EXPECT_FALSE(f.t.ctx().remote_disable_message.copy());
}

// Signed lines past 64 KiB, up to the largest manifest a fetch takes, verify
// like any other: the poll runs at every start, so libgcrypt's abort on such
// a line (from 65,533 bytes) ended every start.
TEST(KillSwitchPoll, LongSignedOrdersThroughTheFetch) {
  testing::OnlineFixture f;
  f.t.sys.set_unix_ms(at(kNow));
  const std::string issued = "2026-03-01T11:00:00Z";
  const std::string expires = "2026-03-02T00:00:00Z";
  const auto manifest_of = [&](const std::string& message, const std::string& signature) {
    return nlohmann::ordered_json{{"killSigned",
                                   {{"enabled", true},
                                    {"message", message},
                                    {"issuedAt", issued},
                                    {"expiresAt", expires},
                                    {"signature", signature}}}}
        .dump();
  };
  const std::string sig_shape(88, 's');
  struct Case {
    std::size_t bytes;
    bool whole_manifest;
  };
  for (const Case c : {Case{65535, false}, Case{65536 + 100, false}, Case{kMaxTextBody, true}}) {
    SCOPED_TRACE(c.bytes);
    const std::size_t base = c.whole_manifest ? manifest_of("Texnik ", sig_shape).size()
                                              : kill_signed_line(issued, expires, "Texnik ").size();
    const std::string message = "Texnik " + std::string(c.bytes - base, 'x');
    const std::string good = manifest_of(message, f.signer.sign(kill_signed_line(issued, expires, message)));
    ASSERT_EQ(c.whole_manifest ? good.size() : kill_signed_line(issued, expires, message).size(), c.bytes);

    f.http.answer("https://harvel.uz/api/manifest", 200, good);
    EXPECT_TRUE(poll_kill_switch_once(f.t.app, f.key()));
    EXPECT_EQ(f.t.ctx().remote_disable_message.copy(), "Texnik " + std::string(193, 'x'));

    // Signed for another message: refused, and the order clears.
    const std::string forged = manifest_of(message, f.signer.sign(kill_signed_line(issued, expires, message + "y")));
    f.http.answer("https://harvel.uz/api/manifest", 200, forged);
    EXPECT_TRUE(poll_kill_switch_once(f.t.app, f.key()));
    EXPECT_FALSE(f.t.ctx().remote_disable_message.copy());
  }
}

}  // namespace
}  // namespace harvel
