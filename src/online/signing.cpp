#include "online/signing.h"

#include "core/text.h"
#include "core/unicode.h"
#include "platform/os.h"

namespace harvel {

const std::string_view kTrustedPublicKeyB64 = "zBNLR7OEa0/XetKH2/DBfXIP46nHxVNa0f0Nw6kXPcA=\n";

namespace {

// Trims Unicode white space from both ends of UTF-8 text (invalid bytes are
// kept as they are and so fail later checks).
std::string_view trim_unicode(std::string_view s) {
  auto leading = [](std::string_view t) -> std::size_t {
    // The length of the white-space character at the start, or 0.
    const std::size_t n = t.empty() ? 0
                          : (static_cast<uint8_t>(t[0]) < 0x80)            ? 1
                          : (static_cast<uint8_t>(t[0]) >> 5) == 0x6        ? 2
                          : (static_cast<uint8_t>(t[0]) >> 4) == 0xE        ? 3
                                                                            : 0;
    if (n == 0 || n > t.size()) return 0;
    const auto c = text::decode_utf8(t.substr(0, n));
    return c && c->size() == 1 && unicode::is_white_space((*c)[0]) ? n : 0;
  };
  auto trailing = [](std::string_view t) -> std::size_t {
    for (std::size_t n = 1; n <= 3 && n <= t.size(); ++n) {
      const auto c = text::decode_utf8(t.substr(t.size() - n));
      if (c) return c->size() == 1 && unicode::is_white_space((*c)[0]) ? n : 0;
    }
    return 0;
  };
  while (std::size_t n = leading(s)) s.remove_prefix(n);
  while (std::size_t n = trailing(s)) s.remove_suffix(n);
  return s;
}

int base64_value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int digits(std::string_view s, std::size_t pos, std::size_t count) {
  int v = 0;
  for (std::size_t i = pos; i < pos + count; ++i) v = v * 10 + (s[i] - '0');
  return v;
}

bool is_leap(int64_t year) {
  if (year < 100) year += 1900;
  return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

int month_length(int64_t year, int month) {
  if (month == 4 || month == 6 || month == 9 || month == 11) return 30;
  if (month == 2) return is_leap(year) ? 29 : 28;
  return 31;
}

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

}  // namespace

std::optional<std::vector<uint8_t>> decode_base64(std::string_view text) {
  const std::string_view s = trim_unicode(text);
  if (s.size() % 4 != 0) return std::nullopt;
  std::vector<uint8_t> out;
  out.reserve(s.size() / 4 * 3);
  for (std::size_t i = 0; i < s.size(); i += 4) {
    const bool last = i + 4 == s.size();
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = s[i + k];
      if (c == '=') {
        // Padding only at the end of the last group, in positions 3 and 4.
        if (!last || k < 2) return std::nullopt;
        ++pad;
        v[k] = 0;
      } else {
        if (pad > 0) return std::nullopt;
        v[k] = base64_value(c);
        if (v[k] < 0) return std::nullopt;
      }
    }
    const uint32_t bits = (static_cast<uint32_t>(v[0]) << 18) | (static_cast<uint32_t>(v[1]) << 12) |
                          (static_cast<uint32_t>(v[2]) << 6) | static_cast<uint32_t>(v[3]);
    // Left-over bits of the last character must be zero (canonical form).
    if (pad == 1 && (v[2] & 0x3) != 0) return std::nullopt;
    if (pad == 2 && (v[1] & 0xF) != 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(bits >> 16));
    if (pad < 2) out.push_back(static_cast<uint8_t>(bits >> 8));
    if (pad < 1) out.push_back(static_cast<uint8_t>(bits));
  }
  return out;
}

std::optional<PublicKey> parse_trusted_key_list(std::string_view list) {
  while (!list.empty()) {
    const std::size_t lf = list.find('\n');
    std::string_view line = list.substr(0, lf);
    list = lf == std::string_view::npos ? std::string_view{} : list.substr(lf + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    line = trim_unicode(line);
    if (line.empty() || line.front() == '#') continue;
    const auto bytes = decode_base64(line);
    if (!bytes || bytes->size() != 32) return std::nullopt;
    PublicKey key;
    std::copy(bytes->begin(), bytes->end(), key.begin());
    return key;
  }
  return std::nullopt;
}

std::optional<PublicKey> load_trusted_public_key() { return parse_trusted_key_list(kTrustedPublicKeyB64); }

bool has_trusted_public_key() { return load_trusted_public_key().has_value(); }

bool verify_signed_message_with_key(const std::optional<PublicKey>& key, std::string_view message,
                                    std::string_view signature_b64) {
  if (!key) return false;
  const auto bytes = decode_base64(signature_b64);
  if (!bytes || bytes->size() != 64) return false;
  Signature sig;
  std::copy(bytes->begin(), bytes->end(), sig.begin());
  return ed25519_verify(*key, message, sig);
}

bool verify_signed_message(std::string_view message, std::string_view signature_b64) {
  return verify_signed_message_with_key(load_trusted_public_key(), message, signature_b64);
}

std::string update_signed_line(std::string_view version, std::string_view sha256_lower) {
  std::string line = "harvel-update-v1|";
  line.append(version).append("|").append(sha256_lower);
  return line;
}

std::string kill_signed_line(std::string_view issued_at, std::string_view expires_at, std::string_view message) {
  std::string line = "harvel-kill-v1|";
  line.append(issued_at).append("|").append(expires_at).append("|").append(message);
  return line;
}

std::string ads_signed_line(std::string_view expires_at, std::string_view payload) {
  std::string line = "harvel-ads-v1|";
  line.append(expires_at).append("|").append(payload);
  return line;
}

uint64_t filetime_to_unix_millis(uint64_t filetime) {
  constexpr uint64_t kUnixEpoch = 116444736000000000ULL;
  if (filetime < kUnixEpoch) return 0;
  const uint64_t t = filetime - kUnixEpoch;
  return t / 10000000ULL * 1000ULL + (t % 10000000ULL) / 10000ULL;
}

uint64_t now_unix_millis() {
  os::Clock* clock = os::platform().clock;
  const int64_t ms = clock ? clock->unix_ms() : os::system_clock().unix_ms();
  return ms < 0 ? 0 : static_cast<uint64_t>(ms);
}

std::optional<int64_t> parse_rfc3339_millis(std::string_view s) {
  if (s.size() < 20) return std::nullopt;
  for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18}) {
    if (!is_digit(s[i])) return std::nullopt;
  }
  if (s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':') return std::nullopt;
  int ms = 0;
  if (s.size() == 20) {
    if (s[19] != 'Z') return std::nullopt;
  } else {
    if (s.size() > 24 || s[19] != '.' || s.back() != 'Z') return std::nullopt;
    const std::string_view frac = s.substr(20, s.size() - 21);
    if (frac.empty()) return std::nullopt;
    for (char c : frac) {
      if (!is_digit(c)) return std::nullopt;
    }
    ms = digits(frac, 0, frac.size());
    for (std::size_t i = frac.size(); i < 3; ++i) ms *= 10;
  }
  const int64_t year = digits(s, 0, 4);
  const int month = digits(s, 5, 2);
  const int day = digits(s, 8, 2);
  const int hour = digits(s, 11, 2);
  const int minute = digits(s, 14, 2);
  const int second = digits(s, 17, 2);
  if (month < 1 || month > 12 || day < 1 || day > month_length(year, month)) return std::nullopt;
  const bool end_of_day = hour == 24 && minute == 0 && second == 0 && ms == 0;
  if (!end_of_day && (hour > 23 || minute > 59 || second > 59)) return std::nullopt;

  const int64_t y = month <= 2 ? year - 1 : year;
  const int64_t era = floor_div(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t days = day - yoe / 100 + (((month + 9) % 12) * 153 + 2) / 5 + era * 146097 + yoe * 365 + yoe / 4;
  return int64_t{hour} * 3600000 + int64_t{minute} * 60000 + int64_t{second} * 1000 + ms + days * 86400000 -
         62162121600000;
}

OptionalTimestamp parse_optional_timestamp(const nlohmann::ordered_json* value) {
  OptionalTimestamp r;
  if (!value || value->is_null()) return r;
  if (value->is_string()) {
    const std::string& text = value->get_ref<const std::string&>();
    if (const auto ms = parse_rfc3339_millis(text)) {
      r.kind = TimestampKind::Bound;
      r.bound = {text, *ms};
      return r;
    }
  }
  r.kind = TimestampKind::Invalid;
  return r;
}

}  // namespace harvel
