// The updater: the daily check loop, the commands' entry points (an
// interactive check, the cancellation of a download, the install step) and
// the version rules.
#pragma once

#include <string_view>

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

// The daily check loop's thread body.
void run_update_check_loop(App& app);

// 1 to 32 bytes of dot-separated parts of 1 to 9 ASCII digits each.
bool is_valid_version(std::string_view text);
// Compared part by part with the running version, missing parts counting as 0.
bool is_newer_than_current_version(std::string_view version);
// After a restart that followed an installer start: waits 3 s, then tells
// whether the update was installed (`newer`: the recorded version is still
// newer than the running one, so it was not).
void show_update_result_notice(App& app, bool newer);

}  // namespace harvel
