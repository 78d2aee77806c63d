#include "online/remote_disable.h"

#include <chrono>
#include <string>
#include <thread>

#include "core/app.h"
#include "core/state.h"
#include "core/text.h"
#include "core/unicode.h"
#include "keyboard/hook_flags.h"
#include "keyboard/hook_thread.h"
#include "online/signing.h"

namespace harvel {

std::string_view default_remote_disable_text() { return "Harvel vaqtincha o\u2018chirilgan."; }

namespace {

bool blank(std::string_view message) {
  for (char32_t c : text::decode_utf8_lossy(message)) {
    if (!unicode::is_white_space(c)) return false;
  }
  return true;
}

std::u32string trim_white(std::u32string s) {
  std::size_t b = 0, e = s.size();
  while (b < e && unicode::is_white_space(s[b])) ++b;
  while (e > b && unicode::is_white_space(s[e - 1])) --e;
  return s.substr(b, e - b);
}

constexpr std::size_t kMaxMessageChars = 200;

}  // namespace

ToastData build_remote_disable_notice(std::string_view message) {
  ToastData notice;
  notice.title = "Harvel vaqtincha to\u2018xtatildi";
  notice.kind = ToastKind::Error;
  if (blank(message) || message == default_remote_disable_text()) {
    notice.body = "Administrator tomonidan o\u2018chirilgan. Yozganingiz o\u2018zgarmaydi";
  } else {
    notice.body = std::string(message);
  }
  return notice;
}

std::optional<std::string> remote_disable_state_for(const std::optional<RemoteDisableOrder>& order) {
  if (!order || !order->enabled) return std::nullopt;
  if (!order->message) return std::string(default_remote_disable_text());
  const std::u32string trimmed = trim_white(text::decode_utf8_lossy(*order->message));
  if (trimmed.empty()) return std::string(default_remote_disable_text());
  std::u32string kept;
  for (char32_t c : trimmed) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) continue;
    if (kept.size() == kMaxMessageChars) break;
    kept.push_back(c);
  }
  return text::encode_utf8(kept);
}

void apply_remote_disable(App& app, const std::optional<RemoteDisableOrder>& order) {
  std::optional<std::string> next = remote_disable_state_for(order);
  bool became_active = false;
  const bool changed = app.ctx().remote_disable_message.with([&](std::optional<std::string>& current) {
    if (current == next) return false;
    became_active = !current && next;
    current = next;
    return true;
  });
  if (!changed) return;
  hook_flags().remote_disabled.store(next ? 1 : 0, std::memory_order_relaxed);
  start_keyboard_hook_thread(app);
  emit_state_changed(app);
  if (became_active) post_notice(app, build_remote_disable_notice(*next));
}

std::optional<RemoteDisableOrder> accept_kill_signed(const std::optional<KillSigned>& order, int64_t now_ms,
                                                     const std::optional<PublicKey>& key) {
  if (!order || !order->enabled) return std::nullopt;
  if (!order->message || !order->issued_at || !order->expires_at || !order->signature) return std::nullopt;
  const auto issued = parse_rfc3339_millis(*order->issued_at);
  const auto expires = parse_rfc3339_millis(*order->expires_at);
  if (!issued || !expires) return std::nullopt;
  if (*issued > now_ms + kKillMaxAheadMs) return std::nullopt;
  if (!(now_ms < *expires)) return std::nullopt;
  if (*expires - *issued > kKillMaxSpanMs) return std::nullopt;
  const std::string line = kill_signed_line(*order->issued_at, *order->expires_at, *order->message);
  if (!verify_signed_message_with_key(key, line, *order->signature)) return std::nullopt;
  return RemoteDisableOrder{true, order->message};
}

bool poll_kill_switch_once(App& app, const std::optional<PublicKey>& key) {
  const std::string site = app.ctx().settings.with([](const Settings& s) { return s.site_url; });
  const auto manifest = fetch_manifest(site);
  if (!manifest) return false;
  const int64_t now = static_cast<int64_t>(now_unix_millis());
  apply_remote_disable(app, accept_kill_signed(manifest->kill_signed, now, key));
  return true;
}

void run_kill_switch_poll(App& app) {
  using namespace std::chrono_literals;
  for (;;) {
    const bool fetched = poll_kill_switch_once(app, load_trusted_public_key());
    std::this_thread::sleep_for(fetched ? 21600s : 1800s);
  }
}

}  // namespace harvel
