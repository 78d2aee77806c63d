#include "online/crypto.h"

#include <cstdarg>
#include <mutex>

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

// Releases an s-expression when it goes out of scope.
struct Sexp {
  gcry_sexp_t p = nullptr;
  ~Sexp() { gcry_sexp_release(p); }
};

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

bool ed25519_verify(const PublicKey& key, std::string_view message, const Signature& signature) {
  init_crypto();
  Sexp pub, data, sig;
  if (gcry_sexp_build(&pub.p, nullptr, "(public-key (ecc (curve Ed25519) (flags eddsa) (q %b)))",
                      static_cast<int>(key.size()), key.data()) != 0) {
    return false;
  }
  if (gcry_sexp_build(&data.p, nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                      static_cast<int>(message.size()), message.data()) != 0) {
    return false;
  }
  if (gcry_sexp_build(&sig.p, nullptr, "(sig-val (eddsa (r %b) (s %b)))", 32, signature.data(), 32,
                      signature.data() + 32) != 0) {
    return false;
  }
  return gcry_pk_verify(sig.p, data.p, pub.p) == 0;
}

}  // namespace harvel
