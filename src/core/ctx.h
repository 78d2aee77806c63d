// The shared state of the running program. Each field has its own lock, so a
// thread that changes one part never waits for an unrelated one; code that
// needs several parts takes their locks one at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "core/locked.h"
#include "core/settings.h"
#include "online/ads.h"
#include "online/update_record.h"
#include "platform/os.h"

namespace harvel {

// The running hook thread. `running` is set by its creator and cleared by the
// hook thread as its last act.
struct HookThread {
  std::thread join;
  std::shared_ptr<std::atomic<bool>> running;
  uint32_t thread_id = 0;
};

struct Ctx {
  explicit Ctx(std::filesystem::path path, Settings s) : settings_path(std::move(path)), settings(std::move(s)) {}

  const std::filesystem::path settings_path;
  Locked<Settings> settings;
  Locked<std::optional<HookThread>> hook_thread;
  Locked<std::optional<std::string>> hook_error;
  Locked<std::optional<os::Instant>> last_app_off_notice;
  Locked<std::string> foreground_exe;
  Locked<std::string> tray_signature;
  Locked<std::optional<std::string>> remote_disable_message;
  Locked<UpdateRecord> update;
  Locked<std::optional<Cache>> ads;
  std::atomic<bool> hotkey_ok{false};
  std::atomic<bool> quitting{false};
  std::atomic<bool> cancel_download{false};
  // The settings file did not load at start: the first save keeps its bytes
  // as "settings.json.bad" before replacing it. Read and cleared by saves,
  // under the settings lock.
  std::atomic<bool> settings_file_rejected{false};
};

}  // namespace harvel
