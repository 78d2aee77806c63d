// The updater's entry points used by the commands: an interactive check, the
// cancellation of a download and the install step.
#pragma once

namespace harvel {

class App;

// Install results.
inline constexpr int kInstallNothing = 0;    // nothing installable
inline constexpr int kInstallIntegrity = 1;  // the downloaded installer failed its check
inline constexpr int kInstallStarted = 2;    // installer started, or already started

// Thread body: one interactive check (and download) run.
void run_update_check_once(App& app);
// Starts a short-lived thread running run_update_check_once.
void spawn_update_check_once(App& app);
// Forgets the version whose download the user cancelled, so it may start again.
void clear_cancelled_version(App& app);
// Asks a running download to stop.
void cancel_download(App& app);

int install_downloaded_update(App& app);

}  // namespace harvel
