#include <gcrypt.h>
#include <gtest/gtest.h>

#include <cstring>

#include "online/crypto.h"
#include "online/signing.h"
#include "test_signer.h"

namespace harvel {
namespace {

std::vector<uint8_t> from_hex(std::string_view hex) {
  std::vector<uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

struct Rfc8032Case {
  const char* secret;
  const char* key;
  const char* message;
  const char* signature;
};

// RFC 8032, section 7.1, tests 1 to 3.
const Rfc8032Case kRfc8032[] = {
    {"9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24"
     "655141438e7a100b"},
    {"4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aee"
     "b00d291612bb0c00"},
    {"c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
     "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
     "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28d"
     "c027beceea1ec40a"},
};

TEST(Ed25519, Rfc8032VectorsVerifyAndAnyChangeFails) {
  for (const auto& c : kRfc8032) {
    SCOPED_TRACE(c.message);
    PublicKey key;
    Signature sig;
    testing::TestSigner::Seed seed;
    const auto k = from_hex(c.key);
    const auto s = from_hex(c.signature);
    const auto d = from_hex(c.secret);
    std::copy(k.begin(), k.end(), key.begin());
    std::copy(s.begin(), s.end(), sig.begin());
    std::copy(d.begin(), d.end(), seed.begin());
    const auto m = from_hex(c.message);
    const std::string message(m.begin(), m.end());
    EXPECT_TRUE(ed25519_verify(key, message, sig));
    EXPECT_FALSE(ed25519_verify(key, message + "x", sig));
    Signature bad = sig;
    bad[10] ^= 1;
    EXPECT_FALSE(ed25519_verify(key, message, bad));
    // The tests' signer makes the same key and signature.
    const testing::TestSigner signer(seed);
    EXPECT_EQ(signer.key(), key);
    EXPECT_EQ(signer.sign_raw(message), sig);
  }
}

// libgcrypt's own signing, which takes the message in an S-expression (so
// only below 64 KiB): its signatures verify and are the ones the tests' signer
// makes.
Signature libgcrypt_signature(const testing::TestSigner::Seed& seed, const PublicKey& key, std::string_view message) {
  gcry_sexp_t secret = nullptr, data = nullptr, sig = nullptr;
  EXPECT_EQ(gcry_sexp_build(&secret, nullptr, "(private-key (ecc (curve Ed25519) (flags eddsa) (q %b) (d %b)))", 32,
                            key.data(), 32, seed.data()),
            0);
  EXPECT_EQ(gcry_sexp_build(&data, nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                            static_cast<int>(message.size()), message.data()),
            0);
  EXPECT_EQ(gcry_pk_sign(&sig, data, secret), 0);
  Signature out{};
  for (int part = 0; part < 2; ++part) {
    gcry_sexp_t t = gcry_sexp_find_token(sig, part == 0 ? "r" : "s", 0);
    std::size_t len = 0;
    const char* bytes = gcry_sexp_nth_data(t, 1, &len);
    std::memcpy(out.data() + part * 32 + (32 - len), bytes, len);  // leading zeros may be left out
    gcry_sexp_release(t);
  }
  gcry_sexp_release(secret);
  gcry_sexp_release(data);
  gcry_sexp_release(sig);
  return out;
}

TEST(Ed25519, AgreesWithLibgcryptsOwnSigning) {
  testing::TestSigner::Seed seed;
  for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<uint8_t>(i * 7 + 1);
  const testing::TestSigner signer(seed);
  for (const std::size_t n : {0u, 1u, 1000u, 65000u}) {
    SCOPED_TRACE(n);
    std::string message(n, '\0');
    for (std::size_t i = 0; i < n; ++i) message[i] = static_cast<char>(i * 31 + 7);
    const Signature theirs = libgcrypt_signature(seed, signer.key(), message);
    EXPECT_EQ(signer.sign_raw(message), theirs);
    EXPECT_TRUE(ed25519_verify(signer.key(), message, theirs));
  }
}

// libgcrypt aborted the whole process on a line of 65,533 bytes or more.
TEST(Ed25519, LinesOfEveryAllowedLengthVerify) {
  const testing::TestSigner signer;
  for (const std::size_t n : {65532u, 65533u, 65535u, 65536u + 100u, 262144u}) {
    SCOPED_TRACE(n);
    std::string message(n, 'p');
    message.front() = '{';
    message.back() = '}';
    const Signature sig = signer.sign_raw(message);
    EXPECT_TRUE(ed25519_verify(signer.key(), message, sig));
    std::string changed = message;
    changed[n / 2] = 'q';
    EXPECT_FALSE(ed25519_verify(signer.key(), changed, sig));
    EXPECT_FALSE(ed25519_verify(signer.key(), message + " ", sig));
    Signature bad = sig;
    bad[40] ^= 0x20;
    EXPECT_FALSE(ed25519_verify(signer.key(), message, bad));
  }
}

TEST(Ed25519, ScalarOfTheGroupOrderOrAboveFails) {
  const testing::TestSigner signer;
  const std::string message = "harvel-ads-v1|2026-03-02T00:00:00Z|{}";
  const Signature sig = signer.sign_raw(message);
  ASSERT_TRUE(ed25519_verify(signer.key(), message, sig));
  // S + L names the same point, but is not the signature's one form.
  static constexpr uint8_t kOrder[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7,
                                         0xa2, 0xde, 0xf9, 0xde, 0x14, 0,    0,    0,    0,    0,    0,
                                         0,    0,    0,    0,    0,    0,    0,    0,    0,    0x10};
  Signature malleated = sig;
  unsigned carry = 0;
  for (int i = 0; i < 32; ++i) {
    const unsigned sum = malleated[32 + i] + kOrder[i] + carry;
    malleated[32 + i] = static_cast<uint8_t>(sum);
    carry = sum >> 8;
  }
  EXPECT_FALSE(ed25519_verify(signer.key(), message, malleated));
  Signature all_ones = sig;
  std::fill(all_ones.begin() + 32, all_ones.end(), 0xFF);
  EXPECT_FALSE(ed25519_verify(signer.key(), message, all_ones));
}

TEST(Sha256, KnownDigests) {
  Sha256 empty;
  EXPECT_EQ(empty.hex_digest(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  Sha256 abc;
  abc.update(std::string_view("a"));
  abc.update(std::string_view("bc"));
  EXPECT_EQ(abc.hex_digest(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Base64, StrictCanonicalDecoding) {
  struct Case {
    const char* text;
    std::optional<std::string> bytes;
  };
  const Case cases[] = {
      {"", std::string()},
      {"Zm9v", std::string("foo")},
      {"Zm8=", std::string("fo")},
      {"Zg==", std::string("f")},
      {" \tZg==\n", std::string("f")},     // white space around is trimmed
      {"\u3000Zg==\u00A0", std::string("f")},  // Unicode white space too
      {"Zg", std::nullopt},                // padding required
      {"Zg=", std::nullopt},
      {"Zg===", std::nullopt},
      {"Zh==", std::nullopt},              // non-zero left-over bits
      {"Zm9=", std::nullopt},
      {"Zg==Zg==", std::nullopt},          // padding only at the very end
      {"Z===", std::nullopt},
      {"Zm-v", std::nullopt},              // URL-safe alphabet is not standard
      {"Zm 9v", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto got = decode_base64(c.text);
    ASSERT_EQ(got.has_value(), c.bytes.has_value());
    if (got) {
      EXPECT_EQ(std::string(got->begin(), got->end()), *c.bytes);
    }
  }
}

TEST(TrustedKeyList, FirstKeyLineDecides) {
  testing::TestSigner signer;
  const std::string key = signer.key_b64();
  EXPECT_EQ(parse_trusted_key_list(key + "\n"), signer.key());
  EXPECT_EQ(parse_trusted_key_list("# maker key\r\n\n  " + key + "  \r\n"), signer.key());
  EXPECT_EQ(parse_trusted_key_list(key), signer.key());
  // A bad first line is final even with a good key after it.
  EXPECT_FALSE(parse_trusted_key_list("not-base64!\n" + key + "\n"));
  EXPECT_FALSE(parse_trusted_key_list(key.substr(0, 40) + "\n" + key + "\n"));  // 30 bytes
  EXPECT_FALSE(parse_trusted_key_list("# only a comment\n\n"));
  EXPECT_FALSE(parse_trusted_key_list(""));
}

TEST(TrustedKey, BuiltInListHoldsTheMakersKey) {
  EXPECT_EQ(kTrustedPublicKeyB64.size(), 45u);
  EXPECT_TRUE(kTrustedPublicKeyB64.ends_with('\n'));
  const std::optional<PublicKey> key = load_trusted_public_key();
  ASSERT_TRUE(key);
  const auto raw = decode_base64(kTrustedPublicKeyB64);
  ASSERT_TRUE(raw);
  EXPECT_EQ(std::vector<uint8_t>(key->begin(), key->end()), *raw);
  EXPECT_TRUE(has_trusted_public_key());
  // Only the maker's private half signs for it: a key pair of our own does not.
  testing::TestSigner signer;
  EXPECT_FALSE(verify_signed_message("x", signer.sign("x")));
}

TEST(SignedMessage, SignatureTextRules) {
  testing::TestSigner signer;
  const std::string line = update_signed_line("0.2.0", std::string(64, 'a'));
  EXPECT_EQ(line, "harvel-update-v1|0.2.0|" + std::string(64, 'a'));
  const std::string sig = signer.sign(line);
  const auto key = std::optional<PublicKey>(signer.key());
  EXPECT_TRUE(verify_signed_message_with_key(key, line, sig));
  EXPECT_TRUE(verify_signed_message_with_key(key, line, sig + "\n"));
  EXPECT_TRUE(verify_signed_message_with_key(key, line, "  " + sig + " "));
  EXPECT_FALSE(verify_signed_message_with_key(key, line, sig.substr(0, sig.size() - 2)));  // "==" dropped
  EXPECT_FALSE(verify_signed_message_with_key(std::nullopt, line, sig));
  EXPECT_FALSE(verify_signed_message_with_key(key, line + " ", sig));
  // 63 and 65 bytes.
  const Signature raw = signer.sign_raw(line);
  EXPECT_FALSE(verify_signed_message_with_key(key, line, testing::base64_encode(raw.data(), 63)));
  std::vector<uint8_t> longer(raw.begin(), raw.end());
  longer.push_back(0);
  EXPECT_FALSE(verify_signed_message_with_key(key, line, testing::base64_encode(longer.data(), longer.size())));
  testing::TestSigner other;
  EXPECT_FALSE(verify_signed_message_with_key(std::optional<PublicKey>(other.key()), line, sig));
}

TEST(SignedLines, Layouts) {
  EXPECT_EQ(kill_signed_line("a", "b", "m|n"), "harvel-kill-v1|a|b|m|n");
  EXPECT_EQ(ads_signed_line("2026-01-01T00:00:00Z", "{}"), "harvel-ads-v1|2026-01-01T00:00:00Z|{}");
}

TEST(Rfc3339, ValuesAndRejections) {
  EXPECT_EQ(parse_rfc3339_millis("1970-01-01T00:00:00Z"), 0);
  EXPECT_EQ(parse_rfc3339_millis("2026-01-31T23:59:59.999Z").value() - parse_rfc3339_millis("2026-01-31T23:59:59Z").value(), 999);
  EXPECT_EQ(parse_rfc3339_millis("2026-01-01T24:00:00Z"), parse_rfc3339_millis("2026-01-02T00:00:00Z"));
  EXPECT_EQ(parse_rfc3339_millis("2001-09-09T01:46:40Z"), 1'000'000'000'000);
  EXPECT_EQ(parse_rfc3339_millis("2001-09-09T01:46:40.5Z"), 1'000'000'000'500);
  EXPECT_EQ(parse_rfc3339_millis("2001-09-09T01:46:40.05Z"), 1'000'000'000'050);
  EXPECT_EQ(parse_rfc3339_millis("1969-12-31T23:59:59Z"), -1000);
  EXPECT_TRUE(parse_rfc3339_millis("2028-02-29T00:00:00Z"));
  EXPECT_TRUE(parse_rfc3339_millis("2000-02-29T00:00:00Z"));
  EXPECT_TRUE(parse_rfc3339_millis("0004-02-29T00:00:00Z"));  // a year below 100 counts as 1900 + year
  const char* invalid[] = {
      "2026-02-29T00:00:00Z", "1900-02-29T00:00:00Z", "0000-02-29T00:00:00Z", "2026-04-31T00:00:00Z",
      "2026-13-01T00:00:00Z", "2026-00-01T00:00:00Z", "2026-01-00T00:00:00Z", "2026-01-01T24:00:00.001Z",
      "2026-01-01T24:00:01Z", "2026-01-01T23:60:00Z", "2026-01-01T23:59:60Z", "2026-01-01T00:00:00.Z",
      "2026-01-01T00:00:00.1234Z", "2026-01-01T00:00:00+05:00", "2026-01-01 00:00:00Z", "2026-01-01T00:00:00",
      "2026-01-01t00:00:00Z", "2026-01-01T00:00:00z", "2026-1-01T00:00:00Z", "2026-01-01T00:00:00.1a1Z",
      "",
  };
  for (const char* t : invalid) EXPECT_FALSE(parse_rfc3339_millis(t)) << t;
}

TEST(Rfc3339, OptionalTimestampKinds) {
  using J = nlohmann::ordered_json;
  EXPECT_EQ(parse_optional_timestamp(nullptr).kind, TimestampKind::NoBound);
  const J null_value = nullptr;
  EXPECT_EQ(parse_optional_timestamp(&null_value).kind, TimestampKind::NoBound);
  const J good = "1970-01-01T00:00:01Z";
  const auto bound = parse_optional_timestamp(&good);
  EXPECT_EQ(bound.kind, TimestampKind::Bound);
  EXPECT_EQ(bound.bound.millis, 1000);
  EXPECT_EQ(bound.bound.text, "1970-01-01T00:00:01Z");
  for (const J& bad : {J("tomorrow"), J(5), J(true), J::array(), J::object()}) {
    EXPECT_EQ(parse_optional_timestamp(&bad).kind, TimestampKind::Invalid) << bad.dump();
  }
}

TEST(Clock, FiletimeConversion) {
  EXPECT_EQ(filetime_to_unix_millis(0), 0u);
  EXPECT_EQ(filetime_to_unix_millis(116444736000000000ULL - 1), 0u);
  EXPECT_EQ(filetime_to_unix_millis(116444736000000000ULL), 0u);
  EXPECT_EQ(filetime_to_unix_millis(116444736000000000ULL + 10000000ULL + 19999), 1001u);
}

}  // namespace
}  // namespace harvel
