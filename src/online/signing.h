// The maker's signed lines: the trusted key, base64, the signature check,
// the three line layouts, and the clock and timestamp helpers their
// acceptance rules use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "online/crypto.h"

namespace harvel {

// The built-in key list: the maker's key as one line of standard base64
// (the 32 raw Ed25519 bytes) and a line feed. A list without a usable key
// would turn every signed feature off.
extern const std::string_view kTrustedPublicKeyB64;

// The first key line of a key list (blank lines and "#" comments skipped);
// none when that line is not exactly 32 bytes of base64, or there is none.
std::optional<PublicKey> parse_trusted_key_list(std::string_view list);
// The built-in key, parsed at every call.
std::optional<PublicKey> load_trusted_public_key();
bool has_trusted_public_key();

// Strict standard base64 after trimming Unicode white space: canonical "="
// padding required, no other characters.
std::optional<std::vector<uint8_t>> decode_base64(std::string_view text);

// True only when `key` is present, the signature text decodes to 64 bytes
// and they sign the exact bytes of `message`.
bool verify_signed_message_with_key(const std::optional<PublicKey>& key, std::string_view message,
                                    std::string_view signature_b64);
// The same with the built-in key.
bool verify_signed_message(std::string_view message, std::string_view signature_b64);

// The signed lines.
std::string update_signed_line(std::string_view version, std::string_view sha256_lower);
std::string kill_signed_line(std::string_view issued_at, std::string_view expires_at, std::string_view message);
std::string ads_signed_line(std::string_view expires_at, std::string_view payload);

// 100-ns units since 1601-01-01 UTC to Unix milliseconds (0 before 1970).
uint64_t filetime_to_unix_millis(uint64_t filetime);
// The current time in Unix milliseconds (the platform's wall clock).
uint64_t now_unix_millis();

// "YYYY-MM-DDTHH:MM:SS[.f{1,3}]Z" to Unix milliseconds (negative before 1970).
std::optional<int64_t> parse_rfc3339_millis(std::string_view text);

struct TimestampBound {
  std::string text;
  int64_t millis = 0;
};
enum class TimestampKind { NoBound, Bound, Invalid };
struct OptionalTimestamp {
  TimestampKind kind = TimestampKind::NoBound;
  TimestampBound bound;  // set for Bound
};
// Absent or null: no bound; a string that parses: a bound; anything else: invalid.
OptionalTimestamp parse_optional_timestamp(const nlohmann::ordered_json* value);

}  // namespace harvel
