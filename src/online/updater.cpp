#include "online/updater.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

#include "core/app.h"
#include "online/update_record.h"
#include "shell/toast.h"

namespace harvel {

void run_update_check_once(App&) {
  // The manifest fetch, offer and download are added by the update subsystem.
}

void spawn_update_check_once(App& app) {
  try {
    std::thread([&app] { run_update_check_once(app); }).detach();
  } catch (const std::system_error&) {
    // No thread, no check; the next automatic one still comes.
  }
}

void clear_cancelled_version(App& app) {
  app.ctx().update.with([](UpdateRecord& r) { r.cancelled_version.reset(); });
}

void cancel_download(App& app) { app.ctx().cancel_download = true; }

int install_downloaded_update(App& app) {
  const bool ready = app.ctx().update.with(
      [](const UpdateRecord& r) { return r.installer.has_value() && r.phase == UpdatePhase::Ready; });
  if (!ready) return kInstallNothing;
  // Verifying and starting the installer is added by the update subsystem; until then nothing is installable.
  return kInstallNothing;
}

}  // namespace harvel

namespace harvel {

void run_update_check_loop(App& app) {
  // The daily manifest check comes with the online services; until then the
  // loop has nothing to do and its thread ends.
  (void)app;
}

namespace {

std::vector<uint32_t> version_parts(std::string_view text) {
  std::vector<uint32_t> parts;
  uint32_t value = 0;
  for (char c : text) {
    if (c == '.') {
      parts.push_back(value);
      value = 0;
    } else {
      value = value * 10 + static_cast<uint32_t>(c - '0');
    }
  }
  parts.push_back(value);
  return parts;
}

}  // namespace

bool is_valid_version(std::string_view text) {
  if (text.empty() || text.size() > 32) return false;
  std::size_t part = 0;
  for (char c : text) {
    if (c == '.') {
      if (part == 0) return false;
      part = 0;
    } else if (c >= '0' && c <= '9' && part < 9) {
      ++part;
    } else {
      return false;
    }
  }
  return part > 0;
}

bool is_newer_than_current_version(std::string_view version) {
  const std::vector<uint32_t> a = version_parts(version);
  const std::vector<uint32_t> b = version_parts(kRunningVersion);
  for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    const uint32_t x = i < a.size() ? a[i] : 0;
    const uint32_t y = i < b.size() ? b[i] : 0;
    if (x != y) return x > y;
  }
  return false;
}

void show_update_result_notice(App& app, bool newer) {
  std::this_thread::sleep_for(std::chrono::seconds(3));
  if (newer) {
    show_toast(app, "O\u2018rnatish muvaffaqiyatsiz",
               "Yangilanish o\u2018rnatilmadi. Oldingi versiya saqlandi, Harvel avvalgidek ishlayapti.",
               ToastKind::Error);
  } else {
    show_toast(app, "Yangilanish o\u2018rnatildi", "Harvel yangilandi va ishlayapti.", ToastKind::Ok);
  }
}

}  // namespace harvel
