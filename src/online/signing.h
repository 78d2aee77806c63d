// The trusted signing key of the maker's signed lines.
#pragma once

#include <string_view>

namespace harvel {

// The built-in public key (base64 of the 32 raw Ed25519 bytes); empty while
// no key is configured, which turns every signed feature off.
extern const std::string_view kTrustedPublicKeyB64;

bool has_trusted_public_key();

}  // namespace harvel
