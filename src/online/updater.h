// The updater: the daily check loop, the commands' entry points (an
// interactive check, the cancellation of a download, the install step), the
// installer files and the version rules.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.h"
#include "online/crypto.h"
#include "online/manifest.h"

namespace harvel::os {
class HeldProgram;
}  // namespace harvel::os

namespace harvel {

class App;

// Install results.
inline constexpr int kInstallNothing = 0;    // nothing installable
inline constexpr int kInstallIntegrity = 1;  // the downloaded installer failed its check
inline constexpr int kInstallStarted = 2;    // installer started, or already started

inline constexpr uint64_t kMaxInstallerBytes = 209'715'200;
// The record of an installer start, beside the settings file.
inline constexpr std::string_view kPendingUpdateFileName = "pending-update.txt";
inline constexpr std::size_t kDownloadPiece = 65536;

// Process-wide: one update run at a time, and one installer start per process.
struct UpdaterFlags {
  std::atomic<bool> busy{false};
  std::atomic<bool> install_started{false};
};
UpdaterFlags& updater_flags();
// Clears both flags (each test starts as a fresh process would).
void reset_updater_flags();

// Thread body: one interactive check (and download) run.
void run_update_check_once(App& app);
// Starts a short-lived thread running run_update_check_once.
void spawn_update_check_once(App& app);
// Waits until every thread spawn_update_check_once started has ended (the
// application must outlive them; tests call it before tearing theirs down).
void finish_update_threads();
// Forgets the version whose download the user cancelled, so it may start again.
void clear_cancelled_version(App& app);
// Asks a running download to stop.
void cancel_download(App& app);

// The whole check: manifest, offer, gate, download. True when the next
// automatic check may wait a day.
bool run_update_check_and_download(App& app, bool interactive, const std::optional<PublicKey>& key);

// Re-checks the ready installer and starts it; kInstall* result.
int install_downloaded_update(App& app);
int install_downloaded_update_with_key(App& app, const std::optional<PublicKey>& key);
// After an installer start: exit 600 ms later.
void run_delayed_exit(App& app);

// The daily check loop's thread body.
void run_update_check_loop(App& app);

// Sets phase and error under the record's lock, then broadcasts.
void set_update_phase(App& app, UpdatePhase phase, UpdateError error);
// Shows the ready or (portable) available notice, at most once per key.
void show_update_notice(App& app);

// The folder downloaded installers live in: the user's temporary folder as
// the system names it, empty when it names none (then nothing is downloaded).
std::filesystem::path installer_folder();
// "Harvel-Setup-<version>.exe" there; empty without the folder.
std::filesystem::path installer_path(std::string_view version);
// Deletes every "Harvel-Setup-*.exe" and "Harvel-Setup-*.exe.part" there but `keep`.
void clean_downloaded_installers(const std::optional<std::filesystem::path>& keep);
// Lower-case hex SHA-256 of a file; none when it cannot be opened or read.
std::optional<std::string> sha256_file(const std::filesystem::path& path);
// The same of a held program, read from where it stands to its end.
std::optional<std::string> sha256_held(os::HeldProgram& file);
// Whether an address may serve the installer: "https://..." or under the site.
bool next_download_candidate(const std::optional<std::string>& url, std::string_view site_url);
// "content-length" as an unsigned decimal (an optional leading "+"); none when unreadable.
std::optional<uint64_t> parse_content_length(std::string_view value);
// "pending-update.txt" in the data folder.
std::filesystem::path pending_update_file_path(App& app);

// 1 to 32 bytes of dot-separated parts of 1 to 9 ASCII digits each.
bool is_valid_version(std::string_view text);
std::vector<uint32_t> parse_version_parts(std::string_view text);
// Compared part by part with the running version, missing parts counting as 0.
bool is_newer_than_current_version(std::string_view version);
// After a restart that followed an installer start: waits 3 s, then tells
// whether the update was installed (`newer`: the recorded version is still
// newer than the running one, so it was not).
void show_update_result_notice(App& app, bool newer);

}  // namespace harvel
