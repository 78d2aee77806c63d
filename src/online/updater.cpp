#include "online/updater.h"

#include <system_error>
#include <thread>

#include "core/app.h"

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
