#include "core/settings.h"

#include <optional>
#include <system_error>

#include <nlohmann/json.hpp>

#include "core/file_io.h"
#include "core/json_strict.h"
#include "core/json_text.h"
#include "core/text.h"
#include "keyboard/key_tables.h"

namespace harvel {

namespace {

using Json = nlohmann::ordered_json;

const std::string& str(const Json& v) { return v.get_ref<const std::string&>(); }

bool read_bool(const Json& v, bool& out) {
  if (!v.is_boolean()) return false;
  out = v.get<bool>();
  return true;
}

bool read_string(const Json& v, std::string& out) {
  if (!v.is_string()) return false;
  out = str(v);
  return true;
}

// "mode" never fails: anything but a known mode name reads as hybrid.
Mode read_mode(const Json& v) {
  if (v.is_string()) {
    const Mode mode = mode_from_name(str(v));
    if (mode != kModeOff) return mode;
  }
  return kModeHybrid;
}

// An object with the slots "sh", "ch", "o", "g", or up to four strings in that
// order; missing slots keep their defaults. A repeated key (a discarded value
// from the reader) or any other type is an error.
bool read_fast_keys(const Json& v, FastKeys& out) {
  out = default_fast_keys();
  const std::array<std::string*, 4> slots{&out.sh, &out.ch, &out.o, &out.g};
  if (v.is_array()) {
    if (v.size() > slots.size()) return false;
    for (std::size_t i = 0; i < v.size(); ++i) {
      if (!read_string(v[i], *slots[i])) return false;
    }
    return true;
  }
  if (!v.is_object()) return false;
  static constexpr std::array<std::string_view, 4> kSlotKeys{"sh", "ch", "o", "g"};
  for (const auto& [key, value] : v.get_ref<const Json::object_t&>()) {
    for (std::size_t i = 0; i < kSlotKeys.size(); ++i) {
      if (key == kSlotKeys[i] && !read_string(value, *slots[i])) return false;
    }
  }
  return true;
}

// One element of "apps": an object with "name", "exe", "mode" (other keys
// skipped) or an array of exactly those three values. None when it makes no
// valid rule; the element is then dropped.
std::optional<AppRule> read_app_rule(const Json& v) {
  std::array<const Json*, 3> fields{};
  if (v.is_object()) {
    static constexpr std::array<std::string_view, 3> kRuleKeys{"name", "exe", "mode"};
    for (const auto& [key, value] : v.get_ref<const Json::object_t&>()) {
      for (std::size_t i = 0; i < kRuleKeys.size(); ++i) {
        if (key == kRuleKeys[i]) fields[i] = &value;
      }
    }
  } else if (v.is_array() && v.size() == fields.size()) {
    for (std::size_t i = 0; i < fields.size(); ++i) fields[i] = &v[i];
  } else {
    return std::nullopt;  // a repeated key (discarded object) lands here too
  }
  for (const Json* field : fields) {
    if (!field || !field->is_string()) return std::nullopt;
  }
  const Mode mode = app_rule_from_text(str(*fields[2]));
  if (mode == kModeNoRule) return std::nullopt;
  return AppRule{str(*fields[0]), str(*fields[1]), mode};
}

bool read_apps(const Json& v, std::vector<AppRule>& out) {
  if (!v.is_array()) return false;
  out.clear();
  for (const Json& element : v) {
    if (auto rule = read_app_rule(element)) out.push_back(std::move(*rule));
  }
  return true;
}

// The thirteen keys in file order (also the order of the positional form),
// each with its reader; a reader returning false fails the whole file.
struct Field {
  std::string_view key;
  bool (*read)(const Json& v, Settings& s);
};

const std::array<Field, 13> kFields{{
    {"mode",
     [](const Json& v, Settings& s) {
       s.mode = read_mode(v);
       return true;
     }},
    {"enabled", [](const Json& v, Settings& s) { return read_bool(v, s.enabled); }},
    {"hotkey", [](const Json& v, Settings& s) { return read_string(v, s.hotkey); }},
    {"startup", [](const Json& v, Settings& s) { return read_bool(v, s.startup); }},
    {"theme", [](const Json& v, Settings& s) { return read_string(v, s.theme); }},
    {"offers", [](const Json& v, Settings& s) { return read_bool(v, s.offers); }},
    {"hybridKey", [](const Json& v, Settings& s) { return read_string(v, s.hybrid_key); }},
    {"fastKeys", [](const Json& v, Settings& s) { return read_fast_keys(v, s.fast_keys); }},
    {"onboarded", [](const Json& v, Settings& s) { return read_bool(v, s.onboarded); }},
    {"checker", [](const Json& v, Settings& s) { return read_bool(v, s.checker); }},
    {"checkerToast", [](const Json& v, Settings& s) { return read_bool(v, s.checker_toast); }},
    {"apps", [](const Json& v, Settings& s) { return read_apps(v, s.apps); }},
    {"siteUrl", [](const Json& v, Settings& s) { return read_string(v, s.site_url); }},
}};

std::optional<Settings> read_settings(const Json& root) {
  Settings s = default_settings();
  if (root.is_object()) {
    for (const auto& [key, value] : root.get_ref<const Json::object_t&>()) {
      for (const Field& field : kFields) {
        if (key == field.key && !field.read(value, s)) return std::nullopt;
      }
    }
    return s;
  }
  if (root.is_array()) {
    if (root.size() > kFields.size()) return std::nullopt;
    for (std::size_t i = 0; i < root.size(); ++i) {
      if (!kFields[i].read(root[i], s)) return std::nullopt;
    }
    return s;
  }
  return std::nullopt;  // a scalar, or an object with a repeated key
}

}  // namespace

std::string_view default_site_url() { return "https://harvel.uz"; }

FastKeys default_fast_keys() { return FastKeys{"KeyW", "KeyC", "BracketLeft", "BracketRight"}; }

Settings default_settings() {
  Settings s;
  s.mode = kModeHybrid;
  s.enabled = true;
  s.hotkey = "Control+Shift+U";
  s.startup = false;
  s.theme = "system";
  s.offers = true;
  s.hybrid_key = "ralt";
  s.fast_keys = default_fast_keys();
  s.onboarded = false;
  s.checker = false;
  s.checker_toast = false;
  s.apps.clear();
  s.site_url = std::string(default_site_url());
  return s;
}

Settings clone_settings(const Settings& s) { return s; }

FastKeys clone_fast_keys(const FastKeys& k) { return k; }

bool hybrid_key_conflicts_fast_key(uint32_t hybrid_index, const std::array<uint32_t, 4>& fast_indices) {
  if (hybrid_index >= kHybridKeyCount) return false;
  const std::string_view code = HYBRID_KEYS[hybrid_index].code;
  for (uint32_t index : fast_indices) {
    if (index < kFastKeyCount && FAST_KEYS[index].code == code) return true;
  }
  return false;
}

bool app_rule_exe_differs(const AppRule& rule, std::string_view exe) { return rule.exe != exe; }

std::optional<Settings> try_parse_settings_text(std::string_view text) {
  // Repeated keys are marked rather than fatal so that a rule with one only
  // drops that rule; everywhere else a marked object fails the whole file.
  const auto root = parse_json_strict(text, {.max_depth = 128, .duplicates = DuplicateKeys::MarkObject});
  if (!root) return std::nullopt;
  return read_settings(*root);
}

Settings parse_settings_text(std::string_view text) {
  return try_parse_settings_text(text).value_or(default_settings());
}

LoadedSettings load_settings_file(const std::filesystem::path& path) {
  const auto text = read_file_prefix(path, kSettingsReadLimit);
  if (!text) {
    // Missing is the usual first start; a file that is there but cannot be
    // read did not load.
    std::error_code ec;
    return {default_settings(), std::filesystem::is_regular_file(path, ec)};
  }
  std::optional<Settings> s;
  if (text::is_valid_utf8(*text)) s = try_parse_settings_text(*text);
  if (!s) return {default_settings(), true};
  return {std::move(*s), false};
}

Settings load_settings(const std::filesystem::path& path) { return load_settings_file(path).settings; }

void normalize_settings(Settings& s) {
  s.site_url = std::string(default_site_url());
  if (!find_hybrid_key(s.hybrid_key)) s.hybrid_key = "ralt";
  if (!resolve_fast_keys(s.fast_keys)) s.fast_keys = default_fast_keys();
  if (const auto fast = resolve_fast_keys(s.fast_keys);
      fast && hybrid_key_conflicts_fast_key(hybrid_key_index(s.hybrid_key), *fast)) {
    s.fast_keys = default_fast_keys();
  }
}

std::string settings_json_text(const Settings& s) {
  std::string out;
  out.reserve(320 + s.apps.size() * 64);
  const auto key = [&out](std::string_view name) {
    out += '"';
    out += name;
    out += "\":";
  };
  const auto text = [&](std::string_view name, std::string_view value) {
    key(name);
    append_json_string(out, value);
    out += ',';
  };
  const auto flag = [&](std::string_view name, bool value) {
    key(name);
    append_json_bool(out, value);
    out += ',';
  };
  out += '{';
  text("mode", s.mode <= kModeZero ? mode_to_name(s.mode) : mode_to_name(kModeEnglish));
  flag("enabled", s.enabled);
  text("hotkey", s.hotkey);
  flag("startup", s.startup);
  text("theme", s.theme);
  flag("offers", s.offers);
  text("hybridKey", s.hybrid_key);
  key("fastKeys");
  out += '{';
  text("sh", s.fast_keys.sh);
  text("ch", s.fast_keys.ch);
  text("o", s.fast_keys.o);
  text("g", s.fast_keys.g);
  out.back() = '}';
  out += ',';
  flag("onboarded", s.onboarded);
  flag("checker", s.checker);
  flag("checkerToast", s.checker_toast);
  key("apps");
  out += '[';
  for (const AppRule& rule : s.apps) {
    out += '{';
    text("name", rule.name);
    text("exe", rule.exe);
    text("mode", app_rule_text(rule.mode));
    out.back() = '}';
    out += ',';
  }
  if (out.back() == ',') out.pop_back();
  out += "],";
  text("siteUrl", s.site_url);
  out.back() = '}';
  return out;
}

Json settings_to_json(const Settings& s) { return Json::parse(settings_json_text(s)); }

std::string serialize_settings(const Settings& s) {
  // Texts that are not valid UTF-8 (none come from the file) are written with
  // U+FFFD instead of failing the save.
  return settings_to_json(s).dump(2, ' ', /*ensure_ascii=*/false, Json::error_handler_t::replace);
}

bool settings_file_fits(const Settings& s) { return serialize_settings(s).size() <= kSettingsReadLimit; }

std::filesystem::path rejected_settings_path(const std::filesystem::path& path) {
  std::filesystem::path bad = path;
  bad += ".bad";
  return bad;
}

bool write_settings_file(const std::filesystem::path& path, std::string_view text, bool keep_old) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  std::optional<std::filesystem::path> keep;
  if (keep_old) keep = rejected_settings_path(path);
  return replace_file(path, temp, text, keep);
}

}  // namespace harvel
