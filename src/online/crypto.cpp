#include "online/crypto.h"

#include <algorithm>
#include <cstdarg>
#include <mutex>
#include <optional>
#include <utility>

#include <gcrypt.h>

namespace harvel {

// libgcrypt must be initialised once before any other call.
void init_crypto() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The library's log lines (such as the Windows entropy gatherer's notes)
    // are not for the user; every failure is reported by return values.
    gcry_set_log_handler([](void*, int, const char*, va_list) {}, nullptr);
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

namespace {

// Owners of libgcrypt's numbers, points and curve contexts.
struct Mpi {
  gcry_mpi_t p = nullptr;
  explicit Mpi(gcry_mpi_t value = nullptr) : p(value) {}
  Mpi(Mpi&& other) noexcept : p(std::exchange(other.p, nullptr)) {}
  Mpi(const Mpi&) = delete;
  Mpi& operator=(const Mpi&) = delete;
  ~Mpi() { gcry_mpi_release(p); }
};
struct Point {
  gcry_mpi_point_t p;
  explicit Point(gcry_mpi_point_t value = gcry_mpi_point_new(0)) : p(value) {}
  Point(const Point&) = delete;
  Point& operator=(const Point&) = delete;
  ~Point() { gcry_mpi_point_release(p); }
};
struct Curve {
  gcry_ctx_t p = nullptr;
  Curve() = default;
  Curve(const Curve&) = delete;
  Curve& operator=(const Curve&) = delete;
  ~Curve() { gcry_ctx_release(p); }
};

// The order of the Ed25519 group, 2^252 + 27742317777372353535851937790883648493,
// little-endian.
constexpr std::array<uint8_t, 32> kGroupOrder = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7,
                                                 0xa2, 0xde, 0xf9, 0xde, 0x14, 0,    0,    0,    0,    0,    0,
                                                 0,    0,    0,    0,    0,    0,    0,    0,    0,    0x10};

// A little-endian number of `n` bytes.
Mpi little_endian_number(const uint8_t* bytes, std::size_t n) {
  uint8_t big[64];
  for (std::size_t i = 0; i < n; ++i) big[i] = bytes[n - 1 - i];
  Mpi m;
  if (gcry_mpi_scan(&m.p, GCRYMPI_FMT_USG, big, n, nullptr) != 0) m.p = nullptr;
  return m;
}

bool below_group_order(const uint8_t* scalar) {
  for (std::size_t i = kGroupOrder.size(); i-- > 0;) {
    if (scalar[i] != kGroupOrder[i]) return scalar[i] < kGroupOrder[i];
  }
  return false;
}

// A point in its 32-byte Ed25519 form: y little-endian, x's low bit on top.
std::optional<std::array<uint8_t, 32>> encode_point(gcry_mpi_point_t point, gcry_ctx_t curve) {
  Mpi x(gcry_mpi_new(0));
  Mpi y(gcry_mpi_new(0));
  if (gcry_mpi_ec_get_affine(x.p, y.p, point, curve) != 0) return std::nullopt;
  uint8_t big[32];
  std::size_t n = 0;
  if (gcry_mpi_print(GCRYMPI_FMT_USG, big, sizeof big, &n, y.p) != 0 || n > 32) return std::nullopt;
  std::array<uint8_t, 32> out{};
  for (std::size_t i = 0; i < n; ++i) out[i] = big[n - 1 - i];
  if (gcry_mpi_test_bit(x.p, 0)) out[31] |= 0x80;
  return out;
}

}  // namespace

struct Sha256::Impl {
  gcry_md_hd_t hd = nullptr;
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
  init_crypto();
  if (gcry_md_open(&impl_->hd, GCRY_MD_SHA256, 0) != 0) impl_->hd = nullptr;
}

Sha256::~Sha256() {
  if (impl_->hd) gcry_md_close(impl_->hd);
}

void Sha256::update(std::span<const uint8_t> bytes) {
  if (impl_->hd && !bytes.empty()) gcry_md_write(impl_->hd, bytes.data(), bytes.size());
}

void Sha256::update(std::string_view bytes) {
  update(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

std::string Sha256::hex_digest() {
  // Without a digest handle the result is no valid hash (it matches nothing).
  if (!impl_->hd) return "-";
  const unsigned char* digest = gcry_md_read(impl_->hd, GCRY_MD_SHA256);
  std::string hex;
  hex.reserve(64);
  static constexpr char kDigits[] = "0123456789abcdef";
  for (int i = 0; i < 32; ++i) {
    hex.push_back(kDigits[digest[i] >> 4]);
    hex.push_back(kDigits[digest[i] & 0xF]);
  }
  gcry_md_close(impl_->hd);
  impl_->hd = nullptr;
  return hex;
}

// Verified in the curve's arithmetic rather than by gcry_pk_verify: that one
// takes the message inside an S-expression, whose atoms libgcrypt cannot
// hold from 64 KiB on (it aborts the process). Here the message is only
// hashed, in one streaming SHA-512, so every length is checked alike:
// encode([S]B - [SHA-512(R || A || M)]A) must equal R, with S below the
// group order.
bool ed25519_verify(const PublicKey& key, std::string_view message, const Signature& signature) {
  init_crypto();
  const uint8_t* r = signature.data();
  const uint8_t* s = signature.data() + 32;
  if (!below_group_order(s)) return false;

  Curve curve;
  if (gcry_mpi_ec_new(&curve.p, nullptr, "Ed25519") != 0) return false;
  const Mpi encoded_key(gcry_mpi_set_opaque_copy(nullptr, key.data(), 8 * key.size()));
  Point a;
  if (!encoded_key.p || gcry_mpi_ec_decode_point(a.p, encoded_key.p, curve.p) != 0 ||
      !gcry_mpi_ec_curve_point(a.p, curve.p)) {
    return false;
  }

  gcry_md_hd_t md = nullptr;
  if (gcry_md_open(&md, GCRY_MD_SHA512, 0) != 0) return false;
  gcry_md_write(md, r, 32);
  gcry_md_write(md, key.data(), key.size());
  gcry_md_write(md, message.data(), message.size());
  const Mpi k = little_endian_number(gcry_md_read(md, GCRY_MD_SHA512), 64);
  gcry_md_close(md);
  const Mpi scalar = little_endian_number(s, 32);
  if (!k.p || !scalar.p) return false;

  const Point base(gcry_mpi_ec_get_point("g", curve.p, 1));
  if (!base.p) return false;
  Point sb, ka, difference;
  gcry_mpi_ec_mul(sb.p, scalar.p, base.p, curve.p);
  gcry_mpi_ec_mul(ka.p, k.p, a.p, curve.p);
  gcry_mpi_ec_sub(difference.p, sb.p, ka.p, curve.p);
  const auto encoded = encode_point(difference.p, curve.p);
  return encoded && std::equal(encoded->begin(), encoded->end(), r);
}

}  // namespace harvel
