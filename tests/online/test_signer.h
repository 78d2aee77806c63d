// A key pair of the test's own, made with libgcrypt, and the base64 text of
// its signatures.
#pragma once

#include <gcrypt.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "online/crypto.h"

namespace harvel::testing {

inline std::string base64_encode(const uint8_t* data, std::size_t n) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < n; i += 3) {
    const uint32_t b = (uint32_t{data[i]} << 16) | (i + 1 < n ? uint32_t{data[i + 1]} << 8 : 0) |
                       (i + 2 < n ? uint32_t{data[i + 2]} : 0);
    out.push_back(kAlphabet[(b >> 18) & 63]);
    out.push_back(kAlphabet[(b >> 12) & 63]);
    out.push_back(i + 1 < n ? kAlphabet[(b >> 6) & 63] : '=');
    out.push_back(i + 2 < n ? kAlphabet[b & 63] : '=');
  }
  return out;
}

class TestSigner {
 public:
  TestSigner() {
    init_crypto();
    gcry_sexp_t params = nullptr;
    if (gcry_sexp_build(&params, nullptr, "(genkey (ecc (curve Ed25519) (flags eddsa)))") != 0 ||
        gcry_pk_genkey(&pair_, params) != 0) {
      throw std::runtime_error("key generation failed");
    }
    gcry_sexp_release(params);
    gcry_sexp_t q = gcry_sexp_find_token(pair_, "q", 0);
    std::size_t len = 0;
    const char* bytes = gcry_sexp_nth_data(q, 1, &len);
    // Some versions prefix the compressed point with 0x40.
    if (len == 33 && static_cast<uint8_t>(bytes[0]) == 0x40) {
      ++bytes;
      --len;
    }
    if (len != 32) throw std::runtime_error("unexpected public key length");
    std::memcpy(key_.data(), bytes, 32);
    gcry_sexp_release(q);
  }
  ~TestSigner() { gcry_sexp_release(pair_); }
  TestSigner(const TestSigner&) = delete;
  TestSigner& operator=(const TestSigner&) = delete;

  const PublicKey& key() const { return key_; }
  std::string key_b64() const { return base64_encode(key_.data(), key_.size()); }

  Signature sign_raw(std::string_view message) const {
    gcry_sexp_t data = nullptr, sig = nullptr;
    gcry_sexp_build(&data, nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                    static_cast<int>(message.size()), message.data());
    gcry_sexp_t secret = gcry_sexp_find_token(pair_, "private-key", 0);
    if (gcry_pk_sign(&sig, data, secret) != 0) throw std::runtime_error("signing failed");
    Signature out{};
    for (int part = 0; part < 2; ++part) {
      gcry_sexp_t t = gcry_sexp_find_token(sig, part == 0 ? "r" : "s", 0);
      std::size_t len = 0;
      const char* bytes = gcry_sexp_nth_data(t, 1, &len);
      // Leading zero bytes may be left out: right-align the value.
      std::memcpy(out.data() + part * 32 + (32 - len), bytes, len);
      gcry_sexp_release(t);
    }
    gcry_sexp_release(secret);
    gcry_sexp_release(data);
    gcry_sexp_release(sig);
    return out;
  }
  std::string sign(std::string_view message) const {
    const Signature s = sign_raw(message);
    return base64_encode(s.data(), s.size());
  }

 private:
  gcry_sexp_t pair_ = nullptr;
  PublicKey key_{};
};

}  // namespace harvel::testing
