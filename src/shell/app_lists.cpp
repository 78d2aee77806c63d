#include "shell/app_lists.h"

#include <algorithm>
#include <array>
#include <memory>

#include "core/text.h"
#include "core/unicode.h"
#include "keyboard/foreground.h"
#include "shell/app_info.h"

namespace harvel {

namespace {

constexpr std::string_view kOwnExe = "harvel.exe";

constexpr std::array<std::string_view, 4> kRejectedRunning = {
    "textinputhost.exe", "searchhost.exe", "startmenuexperiencehost.exe", "applicationframehost.exe"};

constexpr std::array<std::string_view, 6> kRejectedInstalledPrefixes = {"unins",   "uninstall", "setup",
                                                                         "install", "update",    "crashpad"};

// The UTF-16 buffer that ExpandEnvironmentStringsW fills.
constexpr std::size_t kExpandUnits = 1024;

bool ends_with(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// The text after the last backslash or slash (the whole text without one),
// in lower case.
std::string lower_file_name(std::string_view path) {
  const std::size_t sep = path.find_last_of("\\/");
  return text::utf8_lower(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string trim_white_space(std::string_view s) {
  const std::u32string chars = text::decode_utf8_lossy(s);
  std::size_t begin = 0;
  std::size_t end = chars.size();
  while (begin < end && unicode::is_white_space(chars[begin])) ++begin;
  while (end > begin && unicode::is_white_space(chars[end - 1])) --end;
  return text::encode_utf8(std::u32string_view(chars).substr(begin, end - begin));
}

// Strict UTF-16: an unpaired surrogate gives none.
std::optional<std::string> utf16_to_utf8_strict(std::u16string_view units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return std::nullopt;
      ++i;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return std::nullopt;
    }
  }
  return text::utf16_to_utf8_lossy(units);
}

os::Apps* system_apps() { return os::platform().apps; }

}  // namespace

std::u16string to_wide_nul(std::string_view text) {
  std::u16string units = text::utf8_to_utf16(text);
  units.push_back(u'\0');
  return units;
}

std::strong_ordering compare_names_ignoring_case(std::string_view a, std::string_view b) {
  return text::utf8_lower(a) <=> text::utf8_lower(b);
}

bool name_less_ignoring_case(std::string_view a, std::string_view b) {
  return text::utf8_lower(a) < text::utf8_lower(b);
}

std::string expand_env_vars(std::string_view text) {
  if (text.find('%') == std::string_view::npos) return std::string(text);
  os::Apps* apps = system_apps();
  if (apps == nullptr) return std::string(text);
  std::array<char16_t, kExpandUnits> buffer{};
  const uint32_t n = apps->expand_environment_strings(to_wide_nul(text), buffer);
  if (n < 1 || n > kExpandUnits) return std::string(text);
  return text::utf16_to_utf8_lossy(std::u16string_view(buffer.data(), n - 1));
}

bool is_gui_pe_image(std::span<const uint8_t> head, std::size_t read) {
  if (read > head.size()) read = head.size();
  if (read < 64 || head[0] != 'M' || head[1] != 'Z') return false;
  const uint64_t e = uint64_t{head[60]} | (uint64_t{head[61]} << 8) | (uint64_t{head[62]} << 16) |
                     (uint64_t{head[63]} << 24);
  // 64-bit arithmetic: a hostile offset near 2^32 must not wrap around.
  if (e + 94 > read) return false;
  const uint8_t* pe = head.data() + e;
  if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return false;
  const uint16_t subsystem = static_cast<uint16_t>(pe[92] | (pe[93] << 8));
  return subsystem == 2;
}

bool is_user_gui_exe(std::string_view path) {
  if (path.empty()) return false;
  os::Apps* apps = system_apps();
  if (apps == nullptr) return false;
  const std::string root = text::utf8_lower(expand_env_vars("%SystemRoot%"));
  if (!root.empty() && root.find('%') == std::string::npos) {
    std::string prefix = root;
    prefix.push_back('\\');
    if (text::utf8_lower(path).starts_with(prefix)) return false;
  }
  std::array<uint8_t, kPeHeadBytes> head{};
  const std::optional<std::size_t> read = apps->read_file_start(to_wide_nul(path), head);
  if (!read) return false;
  return is_gui_pe_image(head, *read);
}

// ---- running programs ------------------------------------------------------

void enum_windows_collect_apps(const os::TopLevelWindow& window, std::vector<RunningEntry>& entries) {
  if (!window.visible || window.title_length == 0 || (window.ex_style & os::WS_EX_TOOLWINDOW) != 0) return;
  if (window.pid == 0) return;
  std::optional<std::string> path = process_image_path(window.pid);
  if (!path) return;
  std::string exe = lower_file_name(*path);
  if (exe.empty()) return;
  for (const RunningEntry& e : entries) {
    if (e.exe == exe) return;
  }
  entries.push_back({std::move(exe), std::move(*path)});
}

bool keep_running_app(std::string_view exe) {
  if (exe == kOwnExe) return false;
  return std::find(kRejectedRunning.begin(), kRejectedRunning.end(), exe) == kRejectedRunning.end();
}

std::vector<AppInfo> list_running_apps_blocking(const Settings& settings) {
  std::vector<RunningEntry> entries;
  if (os::Apps* apps = system_apps()) {
    for (const os::TopLevelWindow& w : apps->top_level_windows()) enum_windows_collect_apps(w, entries);
  }
  std::erase_if(entries, [](const RunningEntry& e) { return !keep_running_app(e.exe); });
  std::sort(entries.begin(), entries.end(), [](const RunningEntry& a, const RunningEntry& b) {
    return a.exe != b.exe ? a.exe < b.exe : a.path < b.path;
  });
  std::vector<AppInfo> out;
  out.reserve(entries.size());
  for (const RunningEntry& e : entries) {
    FriendlyName found = exe_friendly_name(e.path);
    AppInfo info = app_info_with_rule(settings.apps, e.exe);
    if (!info.mode && found.name) info.name = std::move(*found.name);
    info.icon = std::move(found.icon);
    out.push_back(std::move(info));
  }
  return out;
}

// ---- installed programs ----------------------------------------------------

std::optional<InstalledEntry> installed_entry_from_item(const os::ShellAppItem& item) {
  if (!item.target_path) return std::nullopt;
  const std::optional<std::string> display =
      item.display_name ? utf16_to_utf8_strict(*item.display_name) : std::nullopt;
  const std::string name = trim_white_space(display.value_or(std::string()));
  std::string target = trim_white_space(utf16_to_utf8_strict(*item.target_path).value_or(std::string()));
  const std::size_t first = target.find_first_not_of('"');
  if (first == std::string::npos) {
    target.clear();
  } else {
    target = target.substr(first, target.find_last_not_of('"') - first + 1);
  }
  InstalledEntry entry;
  entry.path = expand_env_vars(target);
  entry.exe = lower_file_name(entry.path);
  entry.name = name;
  os::Apps* apps = system_apps();
  const bool pe = apps == nullptr || apps->programs_are_pe_files();
  if (entry.exe.empty() || (pe && !ends_with(entry.exe, ".exe")) || entry.name.empty()) return std::nullopt;
  return entry;
}

bool keep_installed_app(std::set<std::string, std::less<>>& seen, const InstalledEntry& entry) {
  if (entry.exe == kOwnExe || entry.exe == "iexplore.exe") return false;
  for (std::string_view prefix : kRejectedInstalledPrefixes) {
    if (entry.exe.starts_with(prefix)) return false;
  }
  os::Apps* apps = system_apps();
  const bool pe = apps == nullptr || apps->programs_are_pe_files();
  if (pe && !is_user_gui_exe(entry.path)) return false;
  return seen.insert(entry.exe).second;
}

std::vector<AppInfo> list_installed_apps_blocking(const Settings& settings) {
  os::Apps* apps = system_apps();
  // The shell's items, version resources and icons are all read inside one
  // apartment, released only when the list is complete.
  const std::unique_ptr<os::ComApartment> apartment = apps ? apps->enter_com_apartment() : nullptr;
  std::vector<InstalledEntry> entries;
  if (apps) {
    for (const os::ShellAppItem& item : apps->applications_folder_items()) {
      if (auto entry = installed_entry_from_item(item)) entries.push_back(std::move(*entry));
    }
  }
  std::set<std::string, std::less<>> seen;
  std::erase_if(entries, [&seen](const InstalledEntry& e) { return !keep_installed_app(seen, e); });
  std::stable_sort(entries.begin(), entries.end(), [](const InstalledEntry& a, const InstalledEntry& b) {
    return name_less_ignoring_case(a.name, b.name);
  });
  std::vector<AppInfo> out;
  out.reserve(entries.size());
  for (InstalledEntry& e : entries) {
    FriendlyName found = exe_friendly_name(e.path);
    AppInfo info;
    info.exe = e.exe;
    info.name = found.name ? std::move(*found.name) : std::move(e.name);
    for (const AppRule& rule : settings.apps) {
      if (rule.exe == info.exe) {
        info.name = rule.name;
        info.mode = std::string(app_rule_text(rule.mode));
        break;
      }
    }
    info.icon = std::move(found.icon);
    out.push_back(std::move(info));
  }
  return out;
}

// ---- a chosen file ---------------------------------------------------------

std::optional<AppInfo> pick_exe_file_blocking() {
  os::Apps* apps = system_apps();
  if (apps == nullptr) return std::nullopt;
  const std::optional<std::u16string> chosen = apps->open_file_dialog(u"Dastur (*.exe)", u"*.exe");
  if (!chosen) return std::nullopt;
  const std::u16string_view units(chosen->data(), std::min(chosen->size(), chosen->find(u'\0')));
  const std::string exe = lower_file_name(text::utf16_to_utf8_lossy(units));
  if (exe.empty()) return std::nullopt;
  return build_app_info(nullptr, exe);
}

}  // namespace harvel
