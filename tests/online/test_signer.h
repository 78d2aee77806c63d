// A key pair of the test's own and the base64 text of its signatures.
#pragma once

#include <gcrypt.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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

// Ed25519 signing (RFC 8032) in libgcrypt's curve arithmetic, so messages of
// any length can be signed: libgcrypt's own signing takes the message inside
// an S-expression, which cannot hold 64 KiB.
class TestSigner {
 public:
  using Seed = std::array<uint8_t, 32>;

  // A fresh random key pair.
  TestSigner() : TestSigner(random_seed()) {}
  // The key pair of a 32-byte secret seed.
  explicit TestSigner(const Seed& seed) {
    init_crypto();
    if (gcry_mpi_ec_new(&curve_, nullptr, "Ed25519") != 0) throw std::runtime_error("no Ed25519 curve");
    order_ = gcry_mpi_ec_get_mpi("n", curve_, 1);
    const auto h = sha512({std::string_view(reinterpret_cast<const char*>(seed.data()), seed.size())});
    std::array<uint8_t, 32> clamped;
    std::memcpy(clamped.data(), h.data(), 32);
    clamped[0] &= 248;
    clamped[31] &= 127;
    clamped[31] |= 64;
    secret_ = number(clamped.data(), 32);
    std::memcpy(prefix_.data(), h.data() + 32, 32);
    key_ = times_base(secret_);
  }
  ~TestSigner() {
    gcry_mpi_release(secret_);
    gcry_mpi_release(order_);
    gcry_ctx_release(curve_);
  }
  TestSigner(const TestSigner&) = delete;
  TestSigner& operator=(const TestSigner&) = delete;

  const PublicKey& key() const { return key_; }
  std::string key_b64() const { return base64_encode(key_.data(), key_.size()); }

  Signature sign_raw(std::string_view message) const {
    const auto bytes = [](const auto& a) { return std::string_view(reinterpret_cast<const char*>(a.data()), a.size()); };
    const auto rh = sha512({bytes(prefix_), message});
    gcry_mpi_t r = reduced(rh);
    const PublicKey big_r = times_base(r);
    const auto kh = sha512({bytes(big_r), bytes(key_), message});
    gcry_mpi_t k = reduced(kh);
    gcry_mpi_t s = gcry_mpi_new(0);
    gcry_mpi_mulm(s, k, secret_, order_);
    gcry_mpi_addm(s, s, r, order_);
    Signature out{};
    std::memcpy(out.data(), big_r.data(), 32);
    const auto s_bytes = little_endian(s);
    std::memcpy(out.data() + 32, s_bytes.data(), 32);
    gcry_mpi_release(r);
    gcry_mpi_release(k);
    gcry_mpi_release(s);
    return out;
  }
  std::string sign(std::string_view message) const {
    const Signature s = sign_raw(message);
    return base64_encode(s.data(), s.size());
  }

 private:
  static Seed random_seed() {
    init_crypto();
    Seed seed;
    gcry_randomize(seed.data(), seed.size(), GCRY_STRONG_RANDOM);
    return seed;
  }
  static std::array<uint8_t, 64> sha512(std::initializer_list<std::string_view> parts) {
    gcry_md_hd_t md = nullptr;
    if (gcry_md_open(&md, GCRY_MD_SHA512, 0) != 0) throw std::runtime_error("no SHA-512");
    for (std::string_view p : parts) gcry_md_write(md, p.data(), p.size());
    std::array<uint8_t, 64> out;
    std::memcpy(out.data(), gcry_md_read(md, GCRY_MD_SHA512), 64);
    gcry_md_close(md);
    return out;
  }
  // A little-endian number.
  static gcry_mpi_t number(const uint8_t* bytes, std::size_t n) {
    std::vector<uint8_t> big(bytes, bytes + n);
    std::reverse(big.begin(), big.end());
    gcry_mpi_t m = nullptr;
    if (gcry_mpi_scan(&m, GCRYMPI_FMT_USG, big.data(), big.size(), nullptr) != 0) throw std::runtime_error("scan");
    return m;
  }
  // 32 little-endian bytes of a number below 2^256.
  static std::array<uint8_t, 32> little_endian(gcry_mpi_t m) {
    uint8_t big[32];
    std::size_t n = 0;
    if (gcry_mpi_print(GCRYMPI_FMT_USG, big, sizeof big, &n, m) != 0) throw std::runtime_error("print");
    std::array<uint8_t, 32> out{};
    for (std::size_t i = 0; i < n; ++i) out[i] = big[n - 1 - i];
    return out;
  }
  gcry_mpi_t reduced(const std::array<uint8_t, 64>& hash) const {
    gcry_mpi_t m = number(hash.data(), hash.size());
    gcry_mpi_mod(m, m, order_);
    return m;
  }
  // The encoded point [scalar]B.
  PublicKey times_base(gcry_mpi_t scalar) const {
    gcry_mpi_point_t base = gcry_mpi_ec_get_point("g", curve_, 1);
    gcry_mpi_point_t p = gcry_mpi_point_new(0);
    gcry_mpi_ec_mul(p, scalar, base, curve_);
    gcry_mpi_t x = gcry_mpi_new(0), y = gcry_mpi_new(0);
    if (gcry_mpi_ec_get_affine(x, y, p, curve_) != 0) throw std::runtime_error("affine");
    PublicKey out = little_endian(y);
    if (gcry_mpi_test_bit(x, 0)) out[31] |= 0x80;
    gcry_mpi_release(x);
    gcry_mpi_release(y);
    gcry_mpi_point_release(p);
    gcry_mpi_point_release(base);
    return out;
  }

  gcry_ctx_t curve_ = nullptr;
  gcry_mpi_t order_ = nullptr;
  gcry_mpi_t secret_ = nullptr;
  std::array<uint8_t, 32> prefix_{};
  PublicKey key_{};
};

}  // namespace harvel::testing
