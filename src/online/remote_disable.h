// Remote disable: the maker's order that switches conversion off on every
// copy for a while, its acceptance rules, the state and its notice.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/notice.h"
#include "online/crypto.h"
#include "online/manifest.h"

namespace harvel {

class App;

// The message used when an order carries none.
std::string_view default_remote_disable_text();

// Title "Harvel vaqtincha to‘xtatildi", kind error; the text is the message,
// or a fixed explanation when the message is blank or the default one.
ToastData build_remote_disable_notice(std::string_view message);

struct RemoteDisableOrder {
  bool enabled = false;
  std::optional<std::string> message;
};

// The state an order asks for: absent unless enabled; the default message
// for a blank one; otherwise trimmed, control characters dropped, at most
// 200 characters.
std::optional<std::string> remote_disable_state_for(const std::optional<RemoteDisableOrder>& order);

// Replaces the state. A change sets REMOTE_DISABLED, re-applies the
// settings to the keyboard hook and broadcasts; becoming active shows the
// notice once.
void apply_remote_disable(App& app, const std::optional<RemoteDisableOrder>& order);

inline constexpr int64_t kKillMaxAheadMs = 600'000;
inline constexpr int64_t kKillMaxSpanMs = 2'678'400'000;

// The signed order, when it is enabled, complete, in its time window at
// `now_ms` and signed by `key`.
std::optional<RemoteDisableOrder> accept_kill_signed(const std::optional<KillSigned>& order, int64_t now_ms,
                                                     const std::optional<PublicKey>& key);

// One poll: fetches the manifest and applies its signed order (or clears
// the state without one). False when the manifest could not be had.
bool poll_kill_switch_once(App& app, const std::optional<PublicKey>& key);

// The remote-disable poll's thread body.
void run_kill_switch_poll(App& app);

}  // namespace harvel
