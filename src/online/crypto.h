// The two primitives of the online services over libgcrypt: SHA-256 and
// Ed25519 signature verification.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace harvel {

using PublicKey = std::array<uint8_t, 32>;
using Signature = std::array<uint8_t, 64>;

// Initialises libgcrypt once (every routine here calls it first).
void init_crypto();

// A running SHA-256; `hex_digest` ends it.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void update(std::span<const uint8_t> bytes);
  void update(std::string_view bytes);
  // Lower-case hex of the digest; the object is spent afterwards.
  std::string hex_digest();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The pure Ed25519 check of `signature` over the exact bytes of `message`,
// of any length; S must be below the group order.
bool ed25519_verify(const PublicKey& key, std::string_view message, const Signature& signature);

}  // namespace harvel
