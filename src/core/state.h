// The state snapshot sent to the web application, and its broadcast.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/records.h"
#include "core/settings.h"

namespace harvel {

class App;

enum class HookStatus : uint8_t { On = 0, Error = 1, Off = 2 };

struct Snapshot {
  Settings settings;
  HookStatus hook = HookStatus::Off;
  std::optional<std::string> hook_error;
  bool hotkey_ok = false;
  KillInfo kill_switch;
  UpdateInfo update;
  std::optional<AppInfo> current_app;
  AdsInfo ads;
  LayoutInfo layout;
};

inline constexpr std::string_view kPlatformName = "win32";

// Whether the keyboard hook has work to do under these settings.
bool hook_needed(const Settings& s);
HookStatus hook_status(App& app);
const char* hook_status_name(HookStatus status);

Snapshot build_state_snapshot(App& app);
// The snapshot's JSON form: as compact text (what the broadcast sends), and
// as a JSON object.
std::string snapshot_json_text(const Snapshot& snap);
Json serialize_snapshot(const Snapshot& snap);

// Sends a fresh snapshot as "state-changed" to every web view, then calls the
// state-changed sink (the shell's tray refresh, which returns at once).
void emit_state_changed(App& app);

}  // namespace harvel
