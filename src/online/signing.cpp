#include "online/signing.h"

namespace harvel {

const std::string_view kTrustedPublicKeyB64 = "";

bool has_trusted_public_key() { return !kTrustedPublicKeyB64.empty(); }

}  // namespace harvel
