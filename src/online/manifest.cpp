#include "online/manifest.h"

#include <array>
#include <span>

#include "core/json_strict.h"
#include "online/http_client.h"

namespace harvel {

namespace {

using Json = nlohmann::ordered_json;

// One typed field of an object: reads `value` (null counts as absent unless
// the field says otherwise) or fails.
struct FieldReader {
  // The fields of an object in their record order; an object given as an
  // array holds its fields in this order.
  static const Json* member(const Json& obj, std::span<const std::string_view> names, std::size_t index) {
    if (obj.is_array()) return index < obj.size() ? &obj[index] : nullptr;
    const auto it = obj.find(names[index]);
    return it == obj.end() ? nullptr : &*it;
  }
};

bool shape_ok(const Json& v, std::size_t fields) {
  return v.is_object() || (v.is_array() && v.size() <= fields);
}

bool read_bool(const Json* v, bool& out) {
  if (!v) return true;
  if (!v->is_boolean()) return false;  // null included
  out = v->get<bool>();
  return true;
}

bool read_string(const Json* v, std::optional<std::string>& out) {
  if (!v || v->is_null()) return true;
  if (!v->is_string()) return false;
  out = v->get<std::string>();
  return true;
}

bool read_number(const Json* v, std::optional<double>& out) {
  if (!v || v->is_null()) return true;
  if (!v->is_number()) return false;
  out = v->get<double>();
  return true;
}

constexpr std::array<std::string_view, 2> kKillSwitchKeys = {"enabled", "message"};
constexpr std::array<std::string_view, 5> kKillSignedKeys = {"enabled", "message", "issuedAt", "expiresAt",
                                                             "signature"};
constexpr std::array<std::string_view, 11> kManifestKeys = {
    "available", "version",     "sizeMb",     "sha256",     "signature", "url",
    "mirrorUrl", "portableUrl", "minVersion", "killSwitch", "killSigned"};

bool read_kill_switch(const Json* v, std::optional<KillSwitch>& out) {
  if (!v || v->is_null()) return true;
  if (!shape_ok(*v, kKillSwitchKeys.size())) return false;
  KillSwitch k;
  if (!read_bool(FieldReader::member(*v, kKillSwitchKeys, 0), k.enabled)) return false;
  if (!read_string(FieldReader::member(*v, kKillSwitchKeys, 1), k.message)) return false;
  out = std::move(k);
  return true;
}

bool read_kill_signed(const Json* v, std::optional<KillSigned>& out) {
  if (!v || v->is_null()) return true;
  if (!shape_ok(*v, kKillSignedKeys.size())) return false;
  KillSigned k;
  const auto m = [&](std::size_t i) { return FieldReader::member(*v, kKillSignedKeys, i); };
  if (!read_bool(m(0), k.enabled) || !read_string(m(1), k.message) || !read_string(m(2), k.issued_at) ||
      !read_string(m(3), k.expires_at) || !read_string(m(4), k.signature)) {
    return false;
  }
  out = std::move(k);
  return true;
}

}  // namespace

std::optional<Manifest> parse_manifest(std::string_view text) {
  StrictJsonOptions options;
  options.max_depth = 127;  // 128 levels or more is an error
  // A repeated key discards only its value: a known field then has the wrong
  // type and rejects the manifest; an unknown key is skipped as always.
  options.duplicates = DuplicateKeys::MarkValue;
  const auto root = parse_json_strict(text, options);
  if (!root || !shape_ok(*root, kManifestKeys.size())) return std::nullopt;
  Manifest m;
  const auto f = [&](std::size_t i) { return FieldReader::member(*root, kManifestKeys, i); };
  if (!read_bool(f(0), m.available) || !read_string(f(1), m.version) || !read_number(f(2), m.size_mb) ||
      !read_string(f(3), m.sha256) || !read_string(f(4), m.signature) || !read_string(f(5), m.url) ||
      !read_string(f(6), m.mirror_url) || !read_string(f(7), m.portable_url) ||
      !read_string(f(8), m.min_version) || !read_kill_switch(f(9), m.kill_switch) ||
      !read_kill_signed(f(10), m.kill_signed)) {
    return std::nullopt;
  }
  if (m.portable_url && !m.portable_url->starts_with("https://")) m.portable_url.reset();
  return m;
}

std::optional<Manifest> fetch_manifest(std::string_view site_url) {
  std::string url(site_url);
  url.append("/api/manifest");
  const auto text = fetch_small_document(url);
  if (!text) return std::nullopt;
  return parse_manifest(*text);
}

}  // namespace harvel
