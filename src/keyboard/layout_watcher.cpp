#include "keyboard/layout_watcher.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "core/app.h"
#include "core/display_text.h"
#include "core/notice.h"
#include "core/settings.h"
#include "core/state.h"
#include "core/text.h"
#include "core/unicode.h"
#include "keyboard/foreground.h"
#include "keyboard/hook_flags.h"

namespace harvel {

Locked<std::string>& layout_name() {
  static Locked<std::string> name;
  return name;
}

Locked<std::string>& layout_reason() {
  static Locked<std::string> reason;
  return reason;
}

std::atomic<uint8_t>& popup_shown() {
  static std::atomic<uint8_t> shown{0};
  return shown;
}

LayoutInfo current_layout_info() {
  std::string name = layout_name().copy();
  if (name.empty()) return LayoutInfo{true, "English (US)", std::nullopt};
  LayoutInfo info;
  info.compatible = hook_flags().layout_compatible.load(std::memory_order_relaxed) != 0;
  info.name = std::move(name);
  if (!info.compatible) info.reason = layout_reason().copy();
  return info;
}

Mode mode_for_app(const Settings& s, std::string_view exe) {
  if (!s.enabled || hook_flags().remote_disabled.load(std::memory_order_relaxed)) return kModeOff;
  for (const AppRule& rule : s.apps) {
    if (rule.exe == exe) return rule.mode;
  }
  return s.mode;
}

namespace {

struct LanguageName {
  uint16_t primary;
  const char* name;
};

constexpr LanguageName kLanguageNames[] = {
    {0x01, "Arab"},    {0x04, "Xitoy"},  {0x07, "Nemis"},   {0x0A, "Ispan"},  {0x0C, "Fransuz"},
    {0x10, "Italyan"}, {0x11, "Yapon"},  {0x12, "Koreys"},  {0x15, "Polyak"}, {0x19, "Rus"},
    {0x1F, "Turk"},    {0x22, "Ukrain"}, {0x28, "Tojik"},   {0x29, "Fors"},   {0x3F, "Qozoq"},
};

constexpr std::pair<uint32_t, char> kProbes[] = {{0x57, 'w'}, {0x43, 'c'}, {0x53, 's'}, {0x4F, 'o'}, {0x47, 'g'}};

std::optional<std::string> table_name(uint16_t langid) {
  const uint16_t primary = langid & 0x3FF;
  const uint16_t sub = langid >> 10;
  if (primary == 0x09) return sub == 1 ? "English (US)" : sub == 2 ? "English (UK)" : "English";
  if (primary == 0x43) {
    return sub == 1 ? "O\u2018zbek (lotin)" : sub == 2 ? "O\u2018zbek (kirill)" : "O\u2018zbek";
  }
  for (const LanguageName& l : kLanguageNames) {
    if (l.primary == primary) return l.name;
  }
  return std::nullopt;
}

}  // namespace

std::string layout_display_name(uint16_t langid, const std::optional<std::string>& system_name) {
  if (auto name = table_name(langid)) return *name;
  if (system_name && system_name->find_first_not_of(" \t\r\n\v\f") != std::string::npos) return *system_name;
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%04X", static_cast<unsigned>(langid));
  return hex;
}

std::vector<char> missing_probe_letters(os::LayoutHandle layout) {
  os::KeyboardInput& kb = *os::platform().keyboard;
  const std::array<uint8_t, 256> no_keys{};
  std::vector<char> missing;
  for (const auto& [vk, expected] : kProbes) {
    std::array<char16_t, 8> out{};
    const uint32_t scan = kb.map_virtual_key(vk, os::MAPVK_VK_TO_VSC, layout);
    const int n = kb.to_unicode(vk, scan, no_keys, out, 4, layout);
    const bool produced = n == 1 && (out[0] < 0xD800 || out[0] > 0xDFFF);
    if (!produced || unicode::simple_lower(out[0]) != static_cast<char32_t>(expected)) {
      missing.push_back(static_cast<char>(expected - 'a' + 'A'));
    }
  }
  return missing;
}

void LayoutWatcher::poll() {
  os::Foreground& fg = *os::platform().foreground;
  // Asked once per poll: each question reads the window system's news.
  const os::WindowHandle window = fg.foreground_window();
  if (popup_shown() || is_shell_window(window)) return;
  if (!window) return;
  uint32_t pid = 0;
  const uint32_t thread = fg.window_thread_process_id(window, pid);
  if (!thread) return;
  const os::LayoutHandle hkl = os::platform().keyboard->keyboard_layout(thread);
  if (!hkl) return;

  if (!current_) return accept(hkl);
  if (hkl == *current_) {
    pending_ = false;
  } else if (hkl != candidate_ || !pending_) {
    candidate_ = hkl;
    pending_ = true;
  } else {
    pending_ = false;
    accept(hkl);
  }
}

void LayoutWatcher::accept(os::LayoutHandle hkl) {
  current_ = hkl;
  auto cached = cache_.find(hkl);
  if (cached == cache_.end()) cached = cache_.emplace(hkl, missing_probe_letters(hkl)).first;
  const std::vector<char>& missing = cached->second;
  const auto langid = static_cast<uint16_t>(hkl & 0xFFFF);

  std::string name;
  std::string reason;
  if (!missing.empty()) {
    std::optional<std::string> system_name;
    if (auto units = os::platform().keyboard->locale_language_name(langid)) {
      system_name = text::utf16_to_utf8_lossy(*units);
    }
    name = layout_display_name(langid, system_name);
    reason = "bu tartibda ";
    for (std::size_t i = 0; i < missing.size(); ++i) {
      if (i) reason += ' ';
      reason += missing[i];
    }
    reason += " harflari yo\u2018q";
  } else {
    name = layout_display_name(langid, std::nullopt);
  }
  const bool was_compatible = hook_flags().layout_compatible.exchange(missing.empty() ? 1 : 0) != 0;
  layout_name().set(name);
  layout_reason().set(reason);
  emit_state_changed(app_);

  const Settings settings = app_.ctx().settings.copy();
  const Mode m = mode_for_app(settings, foreground_app().exe);
  if (m != kModeFast && m != kModeHybrid) return;
  std::string title = "Tartib: ";
  title += name;
  if (was_compatible && !missing.empty()) {
    std::string body = "Fast/Hybrid pauzada: ";
    body += reason;
    post_notice(app_, std::move(title), std::move(body), ToastKind::Warn);
  } else if (!was_compatible && missing.empty()) {
    std::string body = "Harvel davom etmoqda: ";
    body += mode_name(m);
    post_notice(app_, std::move(title), std::move(body), ToastKind::Info);
  }
}

void run_layout_watcher(App& app) {
  LayoutWatcher watcher(app);
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    watcher.poll();
  }
}

}  // namespace harvel
