#include "core/app_info.h"

#include "core/text.h"
#include "core/unicode.h"

namespace harvel {

std::string exe_display_name(std::string_view exe) {
  constexpr std::string_view kSuffix = ".exe";
  while (exe.size() >= kSuffix.size() && exe.substr(exe.size() - kSuffix.size()) == kSuffix) {
    exe.remove_suffix(kSuffix.size());
  }
  if (exe.empty()) return {};
  const std::u32string chars = text::decode_utf8_lossy(exe);
  std::u32string out = unicode::full_upper(chars.front());
  out.append(chars, 1);
  return text::encode_utf8(out);
}

AppInfo build_app_info(const AppRule* rule, std::string_view exe) {
  AppInfo info;
  info.exe = std::string(exe);
  info.name = rule ? rule->name : exe_display_name(exe);
  if (rule) info.mode = std::string(app_rule_text(rule->mode));
  return info;
}

AppInfo app_info_with_rule(const std::vector<AppRule>& rules, std::string_view exe) {
  for (const AppRule& rule : rules) {
    if (rule.exe == exe) return build_app_info(&rule, exe);
  }
  return build_app_info(nullptr, exe);
}

Json serialize_app_info(const AppInfo& info) { return to_json(info); }

}  // namespace harvel
